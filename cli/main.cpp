// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli: the programming data of the KV 740 / QMR 52 from the command line.
#include "Commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

namespace {

struct Command {
    const char* name;
    const char* summary; // one line of the overview
    const char* usage;   // the command's own help, before the option groups it takes
    bool settings;       // takes the settings options
    bool expert;         // takes the expert values
    int (*run)(cli::Args&);
};

const Command kCommands[] = {
    {"listing", "Programmiertöne als Liste ausgeben, wie der Programmierdialog sie zeigt",
     "Aufruf: zuvela-cli listing [Einstellungen]\n\n"
     "Gibt die Liste der Programmiertöne aus, Zeile für Zeile wie im Programmierdialog.\n",
     true, false, cli::runListing},
    {"render", "die Tonfolge als WAV-Datei oder Rohdaten schreiben",
     "Aufruf: zuvela-cli render [Einstellungen] [Expertenwerte] -o DATEI\n\n"
     "Schreibt die Tonfolge, die der Programmierdialog sendet (8 Bit ohne Vorzeichen, mono,\n"
     "22050 Hz):\n"
     "  -o DATEI.wav          als WAV-Datei (RIFF/WAVE, PCM)\n"
     "  -o DATEI              jede andere Endung: die Rohdaten, genau wie PLAY.TMP\n"
     "  -o -                  die Rohdaten auf die Standardausgabe\n",
     true, true, cli::runRender},
    {"send", "die Tonfolge über die Soundkarte oder den PC-Lautsprecher senden",
     "Aufruf: zuvela-cli send [Einstellungen] [Expertenwerte] [--device NAME | --speaker]\n\n"
     "Sendet die Tonfolge wie \"OK und los !\" im Programmierdialog (die Soundkarte schreibt\n"
     "dabei PLAY.TMP in den aktuellen Ordner). Der Rückgabewert ist 0 nur, wenn die ganze\n"
     "Tonfolge gespielt wurde; Strg+C bricht sofort ab (Rückgabewert 130). Ist die\n"
     "Fehlerausgabe ein Terminal, zeigt sie den Fortschritt.\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices);\n"
     "                        ohne die Option über das Standardgerät\n"
     "  --speaker             über den PC-Lautsprecher (ohne Amplitude, wie im Dialog)\n",
     true, true, cli::runSend},
    {"call", "einen Testruf an die eigene Rufadresse senden oder schreiben",
     "Aufruf: zuvela-cli call [Einstellungen] ADRESSE|--address N [--siren]\n"
     "                        [--amplitude PROZENT] [--device NAME | --speaker | -o DATEI]\n\n"
     "Sendet einen Testruf, mit dem ein programmierter Empfänger auslösen muss: 600 ms Stille,\n"
     "der Ruf, 600 ms Stille, der Ruf noch einmal, 70 ms Stille. Der Ruf ist ein Ton je Zeichen\n"
     "der Rufadresse, ohne Pause, so lang wie die Tonlänge des Tonsystems (40, 70 oder 100 ms).\n"
     "Die Rufadresse wird ergänzt wie beim Verlassen des Adressfelds (ein wiederholtes Zeichen\n"
     "wird R) und braucht so viele Zeichen, wie die Auswertung verlangt. Gesendet wird wie mit\n"
     "send (Rückgabewerte, Fortschritt, Strg+C).\n"
     "  ADRESSE               die Rufadresse: Ziffern, R und G\n"
     "  --address N           die Rufadresse von Ruf N (1 bis 4) aus den Einstellungen\n"
     "  --siren               danach 5 s Sirenendoppelton (675 Hz + 1240 Hz); nicht mit\n"
     "                        --speaker\n"
     "  --amplitude PROZENT   10 bis 100 in Schritten von 10 (Vorgabe 100)\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices)\n"
     "  --speaker             über den PC-Lautsprecher\n"
     "  -o DATEI              schreiben statt senden, wie render: DATEI.wav als WAV-Datei,\n"
     "                        sonst die Rohdaten, - auf die Standardausgabe\n",
     true, false, cli::runCall},
    {"devices", "die Ausgabegeräte auflisten (Name, Beschreibung), das Standardgerät zuerst",
     "Aufruf: zuvela-cli devices\n\n"
     "Listet die Ausgabegeräte mit Namen und Beschreibung auf, das Standardgerät zuerst.\n"
     "Die Namen gelten für send --device.\n",
     false, false, cli::runDevices},
    {"decode", "eine Aufnahme der Tonfolge lesen: Töne und Einstellungen ausgeben",
     "Aufruf: zuvela-cli decode DATEI [--rate HZ] [-o DATEI.740]\n\n"
     "Sucht in einer Aufnahme die Töne einer Programmiersequenz und gibt sie als Liste aus,\n"
     "wie der Programmierdialog sie zeigt, dazu die Einstellungen, die sie tragen. Bilden die\n"
     "Töne keine gültige Sequenz, sagt der Befehl, was er gefunden hat und wo er aufhört\n"
     "(Rückgabewert 1).\n"
     "  DATEI                 eine WAV-Datei (PCM mit 8, 16, 24 oder 32 Bit oder Gleitkomma,\n"
     "                        jede Abtastrate, mono oder stereo: der erste Kanal zählt) oder\n"
     "                        Rohdaten, 8 Bit ohne Vorzeichen, mono, wie PLAY.TMP\n"
     "  --rate HZ             Abtastrate der Rohdaten (Vorgabe 22050)\n"
     "  -o DATEI.740          die Einstellungen als Programmierdaten-Datei schreiben\n",
     false, false, cli::runDecode},
};

const char* const kOverview = "Aufruf: zuvela-cli BEFEHL [OPTIONEN]\n\n"
                              "Programmierdaten für den Funkmeldeempfänger KV 740 / QMR 52.\n\n"
                              "Befehle:\n";

void printOverview() {
    std::string text = kOverview;
    for (const Command& c : kCommands) {
        std::string name = c.name;
        name.resize(12, ' ');
        text += "  " + name + c.summary + "\n";
    }
    text += "\nHilfe zu einem Befehl: zuvela-cli BEFEHL --help\n"
            "Rückgabewerte: 0 erfolgreich, 1 fehlgeschlagen, 2 falscher Aufruf, 130 abgebrochen.\n";
    std::fputs(text.c_str(), stdout);
}

void printHelp(const Command& c) {
    std::string text = c.usage;
    if (c.settings)
        text += std::string("\n") + cli::SettingsOptions::help();
    if (c.expert)
        text += std::string("\n") + cli::ExpertOptions::help();
    std::fputs(text.c_str(), stdout);
}

bool isHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

int usageError(const std::string& where, const std::string& message, const std::string& help) {
    std::fprintf(stderr, "%s: %s\nHilfe: %s\n", where.c_str(), message.c_str(), help.c_str());
    return cli::kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usageError("zuvela-cli", "Befehl fehlt.", "zuvela-cli --help");
    const std::string name = argv[1];
    if (isHelp(name)) {
        printOverview();
        return cli::kExitOk;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (name == c.name)
            command = &c;
    if (command == nullptr)
        return usageError("zuvela-cli", "Unbekannter Befehl: " + name, "zuvela-cli --help");

    std::vector<std::string> rest(argv + 2, argv + argc);
    for (const std::string& arg : rest) {
        if (isHelp(arg)) {
            printHelp(*command);
            return cli::kExitOk;
        }
    }
    const std::string where = "zuvela-cli " + name;
    try {
        cli::Args args(std::move(rest));
        return command->run(args);
    } catch (const cli::UsageError& e) {
        return usageError(where, e.what(), where + " --help");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", where.c_str(), e.what());
        return cli::kExitFailure;
    }
}
