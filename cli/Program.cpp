// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of zuvela-cli in one table: their names, help texts and what runs them, and the
// conventions around them (--help, --version, help, the shell's completion).
#include "Commands.h"
#include "OptionGroups.h"

#include <algorithm>
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

int runHelp(cli::Args& args);
int runCompletion(cli::Args& args);

const Command kCommands[] = {
    {"listing", "Programmiertöne als Liste ausgeben, wie der Programmierdialog sie zeigt",
     "Aufruf: zuvela-cli listing [Einstellungen]\n\n"
     "Gibt die Liste der Programmiertöne aus, Zeile für Zeile wie im Programmierdialog.\n",
     true, false, cli::runListing},
    {"render", "die Tonfolge als WAV-Datei oder Rohdaten schreiben",
     "Aufruf: zuvela-cli render [Einstellungen] [Expertenwerte] -o DATEI\n\n"
     "Schreibt die Tonfolge, die der Programmierdialog sendet (8 Bit ohne Vorzeichen, mono,\n"
     "22050 Hz):\n"
     "  -o, --output DATEI.wav\n"
     "                        als WAV-Datei (RIFF/WAVE, PCM)\n"
     "  -o DATEI              jede andere Endung: die Rohdaten, genau wie PLAY.TMP\n"
     "  -o -                  die Rohdaten auf die Standardausgabe\n",
     true, true, cli::runRender},
    {"send", "die Tonfolge über die Soundkarte oder den PC-Lautsprecher senden",
     "Aufruf: zuvela-cli send [Einstellungen] [Expertenwerte] [--device NAME | --speaker]\n"
     "                        [--check [--input NAME]]\n\n"
     "Sendet die Tonfolge wie \"OK und los !\" im Programmierdialog: über die Soundkarte\n"
     "aus der Abspieldatei PLAY.TMP, die dafür im Cache-Ordner des Benutzers entsteht\n"
     "(~/.cache/zuvela-cli, sonst im aktuellen Ordner), oder über den PC-Lautsprecher. Der\n"
     "Rückgabewert ist 0 nur, wenn die ganze Tonfolge gespielt wurde; Strg+C bricht sofort\n"
     "ab (Rückgabewert 130). Ist die Fehlerausgabe ein Terminal, zeigt sie den Fortschritt.\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices);\n"
     "                        ohne die Option über das Standardgerät\n"
     "  --speaker             über den PC-Lautsprecher (ohne Amplitude, wie im Dialog)\n"
     "  --check               beim Senden vom Eingang aufnehmen und Ton für Ton mit dem\n"
     "                        Gesendeten vergleichen; Rückgabewert 1, wenn ein Ton fehlt\n"
     "                        oder die Aufnahme übersteuert ist\n"
     "  --input NAME          mit --check: von diesem Eingangsgerät (ALSA-Name) aufnehmen;\n"
     "                        ohne die Option vom Standardeingang\n",
     true, true, cli::runSend},
    {"level", "den Pegel am Eingang mit einem Prüfton messen und die Amplitude empfehlen",
     "Aufruf: zuvela-cli level [--device NAME] [--input NAME] [--amplitude PROZENT]\n\n"
     "Prüft vor dem Senden den Pegel: spielt 1 s lang einen Prüfton von 1060 Hz über das\n"
     "Ausgabegerät, nimmt ihn dabei vom Eingang auf und nennt den Pegel am Eingang in dBFS mit\n"
     "einem Rat: die Amplitude, mit der er gut ankommt (um −12 dBFS), oder, wenn die Amplitude\n"
     "dafür nicht reicht, den Eingangspegel zu erhöhen oder zu senken. Rückgabewert 0 nur,\n"
     "wenn der Pegel gut ist; sonst 1.\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices);\n"
     "                        ohne die Option über das Standardgerät\n"
     "  --input NAME          von diesem Eingangsgerät (ALSA-Name) aufnehmen; ohne die\n"
     "                        Option vom Standardeingang\n"
     "  --amplitude PROZENT   10 bis 100 in Schritten von 10 (Vorgabe 100)\n",
     false, false, cli::runLevel},
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
     "  --siren               nach weiteren 600 ms Stille 5 s Sirenendoppelton\n"
     "                        (675 Hz + 1240 Hz); nicht mit --speaker\n"
     "  --amplitude PROZENT   10 bis 100 in Schritten von 10 (Vorgabe 100)\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices)\n"
     "  --speaker             über den PC-Lautsprecher\n"
     "  -o, --output DATEI    schreiben statt senden, wie render: DATEI.wav als WAV-Datei,\n"
     "                        sonst die Rohdaten, - auf die Standardausgabe\n",
     true, false, cli::runCall},
    {"devices", "die Ausgabegeräte auflisten (Name, Beschreibung), das Standardgerät zuerst",
     "Aufruf: zuvela-cli devices\n\n"
     "Listet die Ausgabegeräte mit Namen und Beschreibung auf, das Standardgerät zuerst.\n"
     "Die Namen gelten für send --device.\n",
     false, false, cli::runDevices},
    {"decode", "eine Aufnahme lesen: Programmiersequenz mit Einstellungen, oder Rufe",
     "Aufruf: zuvela-cli decode DATEI [--rate HZ] [-o DATEI.740 | --calls]\n"
     "                        [--system TONSYSTEM] [--min-length N]\n\n"
     "Sucht in einer Aufnahme die Töne einer Programmiersequenz und gibt sie als Liste aus,\n"
     "wie der Programmierdialog sie zeigt, dazu die Einstellungen, die sie tragen. Enthält\n"
     "die Aufnahme keine Sequenz, aber Fünftonrufe (etwa einen Testruf), nennt der Befehl\n"
     "jeden Ruf: wo er beginnt, die Rufadresse, wie das Adressfeld sie zeigt, und die\n"
     "Tonsysteme, die sie so lesen. Sonst sagt er, was er gefunden hat und wo er aufhört\n"
     "(Rückgabewert 1). Die Aufnahme darf beliebig lang sein; sie wird stückweise gelesen.\n"
     "  DATEI                 eine WAV-Datei (PCM mit 8, 16, 24 oder 32 Bit oder Gleitkomma,\n"
     "                        jede Abtastrate, mono oder stereo: der erste Kanal zählt) oder\n"
     "                        Rohdaten, 8 Bit ohne Vorzeichen, mono, wie PLAY.TMP;\n"
     "                        - liest die Standardeingabe\n"
     "  --rate HZ             Abtastrate der Rohdaten (Vorgabe 22050)\n"
     "  -o, --output DATEI.740\n"
     "                        die Einstellungen als Programmierdaten-Datei schreiben;\n"
     "                        - schreibt sie statt der Liste auf die Standardausgabe\n"
     "  --calls               nur die Rufe suchen und jeden mit seiner Zeit nennen, sobald\n"
     "                        er gelesen ist (etwa einen Alarmierungskanal über Stunden)\n"
     "  --system TONSYSTEM    nur Rufe, die dieses Tonsystem liest (1 bis 7 oder sein Wort,\n"
     "                        wie bei den Einstellungen), und nur seine Lesart\n"
     "  --min-length N        nur Rufe mit mindestens N Tönen (3 bis 5, Vorgabe 3)\n",
     false, false, cli::runDecode},
    {"list", "eine Liste von Empfängern (CSV) prüfen und ausgeben",
     "Aufruf: zuvela-cli list LISTE.csv [--log PROTOKOLL.csv]\n\n"
     "Liest eine Liste von Empfängern, wie eine Tabellenkalkulation sie als CSV speichert\n"
     "(getrennt durch ; oder ,, UTF-8 mit oder ohne BOM oder Windows-1252), prüft jede Zeile\n"
     "wie \"Programmieren\" und gibt sie aus, mit dem letzten Ergebnis aus dem Protokoll.\n"
     "Spalten der ersten Zeile (groß oder klein geschrieben): Kennung (eindeutig), Träger,\n"
     "Tonsystem (\"ZVEI 1\" bis \"CCIR / EEA\"), Auswertung (\"5 Ton\", \"4 Ton\", \"3 Ton\"),\n"
     "Schaltermodus (\"Schaltbar\", \"Immer ein\", \"Immer lautlos\", \"Ein + Mithören\"),\n"
     "Langton (ja, nein), Ruf 1 bis Ruf 4 (leer: nicht angekreuzt), Bemerkung. Eine fehlende\n"
     "Spalte gilt wie im Startzustand des Hauptfensters. Jede fehlerhafte Zeile wird mit\n"
     "Nummer, Kennung und Meldung genannt (Rückgabewert 1).\n"
     "  --log PROTOKOLL.csv   das Protokoll; ohne die Option LISTE-Protokoll.csv daneben\n",
     false, false, cli::runList},
    {"batch", "die Empfänger einer Liste nacheinander programmieren, mit Protokoll",
     "Aufruf: zuvela-cli batch LISTE.csv [--log PROTOKOLL.csv] [--from KENNUNG]\n"
     "                        [Expertenwerte] [--device NAME | --speaker]\n"
     "                        [--check [--input NAME]]\n\n"
     "Geht die Liste (wie bei list) Zeile für Zeile durch: nennt Nummer, Kennung, Träger und\n"
     "Rufe (\"3/50 W1-07 Jürgen Müß – Ruf 1 12345\") und liest eine Zeile von der\n"
     "Standardeingabe: Enter sendet wie send, s überspringt, q beendet. Jedes Senden und\n"
     "Überspringen kommt als Zeile ins Protokoll (Zeit, Kennung, Träger, Einstellungen,\n"
     "Rufe, Ausgabegerät, Expertenwerte, Ergebnis, Prüfung); es wird nur angehängt. Ein\n"
     "Protokoll, das sich nicht schreiben lässt, hält die Liste vor dem ersten Senden an.\n"
     "Am Ende steht die Summe (\"48 gesendet, 1 übersprungen, 1 fehlgeschlagen\").\n"
     "Rückgabewert 0 nur, wenn jede Zeile gesendet wurde; Strg+C bricht ab (130).\n"
     "  --log PROTOKOLL.csv   das Protokoll; ohne die Option LISTE-Protokoll.csv daneben\n"
     "  --from KENNUNG        bei der Zeile mit dieser Kennung beginnen\n"
     "  --device NAME         über dieses Ausgabegerät (Namen: zuvela-cli devices)\n"
     "  --speaker             über den PC-Lautsprecher\n"
     "  --check               jedes Senden vom Eingang aufnehmen und prüfen wie send --check\n"
     "  --input NAME          mit --check: von diesem Eingangsgerät aufnehmen\n",
     false, true, cli::runBatch},
    {"help", "Hilfe zu allen Befehlen oder zu einem",
     "Aufruf: zuvela-cli help [BEFEHL]\n\n"
     "Zeigt die Übersicht der Befehle oder die Hilfe zu BEFEHL.\n",
     false, false, runHelp},
    {"completion", "die Vervollständigung für die Bash ausgeben",
     "Aufruf: zuvela-cli completion\n\n"
     "Gibt das Skript aus, mit dem die Bash Befehle, Optionen, Tonsysteme und Dateien\n"
     "ergänzt; das Paket installiert es. Von Hand: source <(zuvela-cli completion)\n",
     false, false, runCompletion},
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
    text += "\nHilfe zu einem Befehl: zuvela-cli help BEFEHL oder zuvela-cli BEFEHL --help\n"
            "Version: zuvela-cli --version\n"
            "Rückgabewerte: 0 erfolgreich, 1 fehlgeschlagen, 2 falscher Aufruf, 130 abgebrochen.\n";
    cli::writeAll(stdout, text, "Standardausgabe");
}

std::string helpText(const Command& c) {
    std::string text = c.usage;
    if (c.settings)
        text += std::string("\n") + cli::SettingsOptions::help();
    if (c.expert)
        text += std::string("\n") + cli::ExpertOptions::help();
    return text;
}

const Command* findCommand(std::string_view name) {
    for (const Command& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

bool isHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

int usageError(const std::string& where, const std::string& message, const std::string& help) {
    std::fprintf(stderr, "%s: %s\nHilfe: %s\n", where.c_str(), message.c_str(), help.c_str());
    return cli::kExitUsage;
}

// The options a command's help lists: the words at the start of its option lines ("  -o,
// --output DATEI" gives -o and --output), so that completion offers what the help names.
std::vector<std::string> helpOptions(const Command& c) {
    std::vector<std::string> options;
    const std::string text = helpText(c);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.starts_with("  -"))
            continue;
        std::size_t p = 2;
        while (p < line.size() && line[p] == '-') {
            const std::size_t stop = line.find_first_of(" ,=", p);
            const std::string word = line.substr(p, stop - p);
            if (std::find(options.begin(), options.end(), word) == options.end() && word != "-")
                options.push_back(word);
            p = stop == std::string::npos ? line.size() : line.find_first_not_of(" ,", stop);
            if (p == std::string::npos || line[p] != '-')
                break;
        }
    }
    options.emplace_back("--help");
    return options;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

// The bash completion: commands, each command's options, the tone-system words, and .740 or
// .wav files where those are read or written; any file for decode, which reads raw samples too.
std::string completionScript() {
    std::vector<std::string> names;
    std::string perCommand;
    for (const Command& c : kCommands) {
        names.emplace_back(c.name);
        perCommand +=
            std::string("        ") + c.name + ") options=\"" + joined(helpOptions(c)) + "\" ;;\n";
    }
    // The words of each option group's option from its table; a tone system also by number.
    std::string wordCases;
    for (const OptionGroup& group : kOptionGroups) {
        if (group.cliOption == nullptr)
            continue;
        std::vector<std::string> words;
        if (&group == &optionGroup(OptionGroupId::Tonsys))
            for (int n = 1; n <= group.count; ++n)
                words.push_back(std::to_string(n));
        for (int n = 1; n <= group.count; ++n)
            words.emplace_back(group.words[static_cast<std::size_t>(n - 1)]);
        wordCases += std::string("        ") + group.cliOption + ") COMPREPLY=($(compgen -W \"" +
                     joined(words) + "\" -- \"$cur\")); return ;;\n";
    }
    return "# bash completion for zuvela-cli; made by \"zuvela-cli completion\"\n"
           "_zuvela_cli_files() {\n"
           "    local IFS=$'\\n'\n"
           "    COMPREPLY=($(compgen -d -- \"$cur\") $(compgen -f -X \"!*.$1\" -- \"$cur\"))\n"
           "}\n"
           "_zuvela_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local commands=\"" +
           joined(names) +
           "\" command=\"\" options=\"\" w\n"
           "    for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
           "        case \" $commands \" in *\" $w \"*) command=$w; break ;; esac\n"
           "    done\n"
           "    case $prev in\n" +
           wordCases +
           "        -f) _zuvela_cli_files 740; return ;;\n"
           "        --log) _zuvela_cli_files '[cC][sS][vV]'; return ;;\n"
           "        -o|--output)\n"
           "            if [[ $command == decode ]]; then _zuvela_cli_files 740\n"
           "            else _zuvela_cli_files '[wW][aA][vV]'; fi\n"
           "            return ;;\n"
           "        "
           "--address|--tone-length|--tone-pause|--block-pause|--amplitude|--device|--input|"
           "--rate|--from|--min-length)\n"
           "            return ;;\n"
           "    esac\n"
           "    if [[ -z $command ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$commands --help --version\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    case $command in\n" +
           perCommand +
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "    elif [[ $command == list || $command == batch ]]; then\n"
           "        _zuvela_cli_files '[cC][sS][vV]'\n"
           "    elif [[ $command == decode ]]; then\n"
           "        local IFS=$'\\n'\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    elif [[ $command == help ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -o filenames -F _zuvela_cli zuvela-cli\n";
}

int runHelp(cli::Args& args) {
    std::string name;
    if (!args.takeArgument(name)) {
        if (!args.done())
            args.reject();
        printOverview();
        return cli::kExitOk;
    }
    if (!args.done())
        args.reject();
    const Command* c = findCommand(name);
    if (c == nullptr)
        throw cli::UsageError("Unbekannter Befehl: " + name);
    cli::writeAll(stdout, helpText(*c), "Standardausgabe");
    return cli::kExitOk;
}

int runCompletion(cli::Args& args) {
    if (!args.done())
        args.reject();
    cli::writeAll(stdout, completionScript(), "Standardausgabe");
    return cli::kExitOk;
}

} // namespace

namespace cli {

namespace {

// The first option before "--" that no command knows, or empty: without a command it is named,
// not taken for a missing command.
std::string unknownOption(const std::vector<std::string>& args) {
    std::vector<std::string> known = {"--version"};
    for (const Command& c : kCommands) {
        const std::vector<std::string> options = helpOptions(c);
        known.insert(known.end(), options.begin(), options.end());
    }
    for (std::size_t at = 0; at < args.size() && args[at] != "--";) {
        const std::string& arg = args[at];
        const std::string name = arg.starts_with("--") ? arg.substr(0, arg.find('=')) : arg;
        if (isValueOption(name)) {
            at += name == arg ? 2 : 1;
            continue;
        }
        // "-fDATEI": a short value option with its value.
        if (!arg.starts_with("--") && arg.size() > 2 && isValueOption(arg.substr(0, 2))) {
            ++at;
            continue;
        }
        if (std::find(known.begin(), known.end(), name) == known.end())
            return arg;
        ++at;
    }
    return {};
}

int runCommand(int argc, char** argv);

} // namespace

int runProgram(int argc, char** argv) {
    const int status = runCommand(argc, argv);
    endByStopSignal();
    return status;
}

namespace {

int runCommand(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    // The command is the first argument that is neither an option nor an option's value;
    // options before it apply first, as if they followed it.
    std::size_t at = 0;
    while (at < all.size() && all[at] != "--" && all[at].starts_with("-") && all[at] != "-")
        at += isValueOption(all[at]) ? 2 : 1;
    at = std::min(at, all.size()); // a value option at the end has no value
    // After "--" the command is the first operand, and the rest are operands too.
    const bool afterEnd = at < all.size() && all[at] == "--";
    const std::size_t commandAt = afterEnd ? at + 1 : at;
    const bool haveCommand = commandAt < all.size();
    std::vector<std::string> rest(all.begin(), all.begin() + std::ptrdiff_t(at));
    if (afterEnd)
        rest.emplace_back("--");
    if (haveCommand)
        rest.insert(rest.end(), all.begin() + std::ptrdiff_t(commandAt) + 1, all.end());

    const auto end = std::find(rest.begin(), rest.end(), "--");
    const bool help = std::any_of(rest.begin(), end, isHelp);
    const bool version = std::find(rest.begin(), end, "--version") != end;
    const Command* command = haveCommand ? findCommand(all[commandAt]) : nullptr;
    if (haveCommand && command == nullptr)
        return usageError("zuvela-cli", "Unbekannter Befehl: " + all[commandAt],
                          "zuvela-cli --help");
    try {
        if (version) {
            writeAll(stdout, "zuvela-cli " ZUVELA_VERSION "\n", "Standardausgabe");
            return kExitOk;
        }
        if (help) {
            if (command == nullptr)
                printOverview();
            else
                writeAll(stdout, helpText(*command), "Standardausgabe");
            return kExitOk;
        }
    } catch (const Failure& e) {
        std::fprintf(stderr, "zuvela-cli: %s\n", e.what());
        return kExitFailure;
    }
    if (command == nullptr) {
        const std::string unknown = unknownOption(rest);
        return usageError("zuvela-cli",
                          unknown.empty() ? "Befehl fehlt." : "Unbekannte Option: " + unknown,
                          "zuvela-cli --help");
    }

    const std::string where = std::string("zuvela-cli ") + command->name;
    try {
        Args args(std::move(rest));
        return command->run(args);
    } catch (const UsageError& e) {
        return usageError(where, e.what(), where + " --help");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", where.c_str(), e.what());
        return kExitFailure;
    }
}

} // namespace

} // namespace cli
