// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli as a user runs it: exit statuses and messages, what render writes, how the
// settings options combine with a file.
#include "TestCall.h"
#include "support/ProgDataCases.h"
#include "support/RunProcess.h"
#include "support/SmallTmpfs.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <numbers>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;

ProcessResult cli(const std::vector<std::string>& args) {
    return testsupport::runProcess(ZUVELA_CLI, args);
}

void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ZuvelaCli, BadInputIsReportedWithItsStatusAndNothingElseIsWritten) {
    writeFile("bad-bool.740", "[B II]\r\nRP=ja\r\n");
    fs::create_directory("folder.740");
    fs::remove("out.raw"); // an earlier test may have left one
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        const char* message; // the first line of stderr
    };
    const Row rows[] = {
        {{}, 2, "zuvela-cli: Befehl fehlt."},
        {{"frobnicate"}, 2, "zuvela-cli: Unbekannter Befehl: frobnicate"},
        {{"listing", "--frobnicate"}, 2, "zuvela-cli listing: Unbekannte Option: --frobnicate"},
        {{"listing", "extra"}, 2, "zuvela-cli listing: Unerwartetes Argument: extra"},
        {{"listing", "--system"}, 2, "zuvela-cli listing: Option --system braucht einen Wert."},
        {{"listing", "--system", "8"},
         2,
         "zuvela-cli listing: --system: \"8\" ist kein Tonsystem (erlaubt: 1 bis 7, zvei1, "
         "zvei1-gb, zvei2, zvei-f, zvei-depr, ccir, ccir-eea)."},
        {{"listing", "--evaluator", "6"},
         2,
         "zuvela-cli listing: --evaluator: \"6\" ist nicht erlaubt (erlaubt: 5, 4, 3)."},
        {{"listing", "--mode=0"},
         2,
         "zuvela-cli listing: --mode: \"0\" ist nicht erlaubt (erlaubt: 1 bis 4)."},
        {{"listing", "--address", "5=12345"},
         2,
         "zuvela-cli listing: --address: \"5=12345\" ist nicht erlaubt (erwartet: N=TEXT mit N "
         "von 1 bis 4)."},
        {{"listing", "--tone-length", "100"},
         2,
         "zuvela-cli listing: Unbekannte Option: --tone-length"},
        {{"render", "--tone-length", "45", "-o", "out.raw"},
         2,
         "zuvela-cli render: --tone-length: \"45\" ist nicht erlaubt (erlaubt: 40 bis 200 in "
         "Schritten von 10)."},
        {{"render", "--tone-pause", "110", "-o", "out.raw"},
         2,
         "zuvela-cli render: --tone-pause: \"110\" ist nicht erlaubt (erlaubt: 10 bis 100 in "
         "Schritten von 10)."},
        {{"render", "--block-pause=750", "-o", "out.raw"},
         2,
         "zuvela-cli render: --block-pause: \"750\" ist nicht erlaubt (erlaubt: 500 bis 1000 in "
         "Schritten von 100)."},
        {{"render", "--amplitude", "0", "-o", "out.raw"},
         2,
         "zuvela-cli render: --amplitude: \"0\" ist nicht erlaubt (erlaubt: 10 bis 100 in "
         "Schritten von 10)."},
        {{"render"}, 2, "zuvela-cli render: -o DATEI fehlt."},
        {{"send", "--device", "null", "--speaker"},
         2,
         "zuvela-cli send: --device und --speaker schließen einander aus."},
        {{"devices", "--all"}, 2, "zuvela-cli devices: Unbekannte Option: --all"},
        {{"listing", "-f", "missing.740"},
         1,
         "zuvela-cli listing: Datei nicht gefunden: missing.740"},
        {{"listing", "-f", "folder.740"}, 1, "zuvela-cli listing: Keine Datei: folder.740"},
        {{"listing", "-f", "bad-bool.740"},
         1,
         "zuvela-cli listing: 'ja' is not a valid boolean value."},
        {{"listing", "--address", "4=12"},
         1,
         "zuvela-cli listing: Rufadresse 4 ist unnvollständig."},
        {{"listing", "--address", "1=1234"},
         1,
         "zuvela-cli listing: Rufadresse 1 ist unnvollständig."},
        {{"listing", "--address", "3=57434"},
         1,
         "zuvela-cli listing: Rufadresse doppelt vorhanden."},
        {{"listing", "--address", "1=123456"}, 1, "zuvela-cli listing: Rufadresse 1 ist zu lang."},
        {{"listing", "--address", "2=12a45"},
         1,
         "zuvela-cli listing: Rufadresse 2: Das Zeichen \"a\" gehört in keine Rufadresse."},
        {{"listing", "-f", "empty.740"},
         1,
         "zuvela-cli listing: Die Datei empty.740 enthält keine Programmierdaten."},
        {{"listing", "-f", "utf16.740"},
         1,
         "zuvela-cli listing: Die Datei utf16.740 enthält keine Programmierdaten."},
        {{"listing", "-fjunk.740"},
         1,
         "zuvela-cli listing: Die Datei junk.740 enthält keine Programmierdaten."},
        {{"listing", "--system", "zvei-f", "--address", "1=1234G"},
         1,
         "zuvela-cli listing: Rufadresse 1: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {{"listing", "--", "--system"}, 2, "zuvela-cli listing: Unerwartetes Argument: --system"},
        {{"help", "frobnicate"}, 2, "zuvela-cli help: Unbekannter Befehl: frobnicate"},
        {{"--system", "ccir"}, 2, "zuvela-cli: Befehl fehlt."},
        {{"--system", "ccir", "--bogus"}, 2, "zuvela-cli: Unbekannte Option: --bogus"},
        {{"decode", "sequence.raw", "-o", "no-such-folder/x.740"},
         1,
         "zuvela-cli decode: Datei kann nicht geschrieben werden: no-such-folder/x.740 (nicht "
         "vorhanden)"},
        {{"list", "l.csv", "--log", "-"},
         2,
         "zuvela-cli list: --log braucht einen Dateinamen; das Protokoll kann nicht die "
         "Standardeingabe oder -ausgabe sein."},
        {{"decode", "--calls", "-o", "x.740", "a.wav"},
         2,
         "zuvela-cli decode: -o und --calls schließen einander aus: Rufe tragen keine "
         "Programmierdaten."},
        {{"render", "-o", "no-such-folder/out.raw"},
         1,
         "zuvela-cli render: Datei kann nicht geschrieben werden: no-such-folder/out.raw (nicht "
         "vorhanden)"},
        {{"send", "--device", "no-such-device"},
         1,
         "zuvela-cli send: Die Soundkarte steht nicht zur Verfügung!\nDas Ausgabegerät "
         "\"no-such-device\" ist nicht vorhanden (die Geräte listet zuvela-cli devices)."},
        {{"call", "-o", "out.raw"},
         2,
         "zuvela-cli call: Rufadresse fehlt (ADRESSE oder --address N)."},
        {{"call", "57434", "--address", "1"},
         2,
         "zuvela-cli call: ADRESSE und --address N schließen einander aus."},
        {{"call", "57434", "12345"}, 2, "zuvela-cli call: Unerwartetes Argument: 12345"},
        {{"call", "--address", "5", "-o", "out.raw"},
         2,
         "zuvela-cli call: --address: \"5\" ist nicht erlaubt (erwartet: N von 1 bis 4 oder "
         "N=TEXT)."},
        {{"call", "--tone-length", "40", "57434", "-o", "out.raw"},
         2,
         "zuvela-cli call: Unbekannte Option: --tone-length"},
        {{"call", "57434", "--siren", "--speaker"},
         2,
         "zuvela-cli call: --siren geht nicht mit --speaker: der PC-Lautsprecher spielt nur einen "
         "Ton zugleich."},
        {{"call", "57434", "-o", "out.raw", "--device", "default"},
         2,
         "zuvela-cli call: -o und --device/--speaker schließen einander aus."},
        {{"call", "5743", "-o", "out.raw"},
         1,
         "zuvela-cli call: Die Rufadresse braucht für \"5 Ton\" genau 5 Zeichen (sie hat 4)."},
        {{"call", "--address", "2", "-o", "out.raw"},
         1,
         "zuvela-cli call: Ruf 2: Die Rufadresse braucht für \"5 Ton\" genau 5 Zeichen (sie hat "
         "0)."},
        {{"call", "--system", "zvei-f", "1234G", "-o", "out.raw"},
         1,
         "zuvela-cli call: Im Tonsystem ZVEI F gibt es keinen Ton für \"G\"."},
        {{"call", "12a45", "-o", "out.raw"},
         1,
         "zuvela-cli call: Das Zeichen \"a\" gehört in keine Rufadresse."},
    };
    ASSERT_EQ(cli({"render", "-o", "sequence.raw"}).exitCode, 0);
    writeFile("empty.740", "");
    writeFile("utf16.740", std::string("\xff\xfe[\0A\0]\0\r\0\n\0T\0S\0=\0\x36\0", 20));
    writeFile("junk.740", std::string("\x7f"
                                      "ELF\x02\x01\x01\0\0\0 TS=6 AD=1",
                                      20));
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& arg : row.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        const ProcessResult r = cli(row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        // The message is whole lines (a usage error's hint follows).
        EXPECT_EQ(r.err.substr(0, std::string(row.message).size() + 1),
                  std::string(row.message) + "\n");
        if (row.exitCode == 2) {
            EXPECT_NE(r.err.find("\nHilfe: zuvela-cli"), std::string::npos) << r.err;
        }
        EXPECT_EQ(r.out, "");
    }
}

// zuvela-cli alone, without its sound part beside it: what plays nothing works as before, what
// plays says what is missing and sends nothing.
TEST(ZuvelaCli, WithoutItsSoundPartOnlyTheCommandsThatPlayFail) {
    fs::create_directory("alone");
    fs::copy_file(ZUVELA_CLI, "alone/zuvela-cli");
    const std::string alone = fs::absolute("alone/zuvela-cli").string();
    const ProcessResult render = testsupport::runProcess(alone, {"render", "-o", "alone.raw"});
    EXPECT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(readFile("alone.raw"), cli({"render", "-o", "-"}).out);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"send", "--device", "null"}, {"devices"}, {"call", "57434"}}) {
        const ProcessResult r = testsupport::runProcess(alone, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "zuvela-cli " + args[0] +
                             ": Der Tonteil von zuvela-cli (zuvela-cli-sound) lässt sich nicht "
                             "starten (nicht vorhanden).\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST(ZuvelaCli, RenderWritesWaveFilesRawFilesAndStandardOutputAlike) {
    const std::vector<std::string> settings = {"--system", "ccir",        "--address",
                                               "1=12345",  "--amplitude", "60"};
    auto render = [&](const std::string& output) {
        std::vector<std::string> args = {"render"};
        args.insert(args.end(), settings.begin(), settings.end());
        args.insert(args.end(), {"-o", output});
        return cli(args);
    };
    const ProcessResult toStdout = render("-");
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_EQ(toStdout.err, "");
    const std::string& raw = toStdout.out;
    ASSERT_FALSE(raw.empty());

    for (const char* name : {"out.raw", "out.tmp", "out"}) {
        ASSERT_EQ(render(name).exitCode, 0);
        EXPECT_EQ(readFile(name), raw) << name;
    }
    for (const char* name : {"out.wav", "OUT.WAV"}) {
        const ProcessResult r = render(name);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, "");
        const std::string wav = readFile(name);
        ASSERT_GE(wav.size(), 44u);
        auto le32 = [&](std::size_t at) {
            return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 |
                   uint32_t(uint8_t(wav[at + 2])) << 16 | uint32_t(uint8_t(wav[at + 3])) << 24;
        };
        auto le16 = [&](std::size_t at) {
            return uint16_t(uint8_t(wav[at]) | uint8_t(wav[at + 1]) << 8);
        };
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(le32(4), wav.size() - 8);
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le32(16), 16u);
        EXPECT_EQ(le16(20), 1u);     // PCM
        EXPECT_EQ(le16(22), 1u);     // mono
        EXPECT_EQ(le32(24), 22050u); // samples per second
        EXPECT_EQ(le32(28), 22050u); // bytes per second
        EXPECT_EQ(le16(32), 1u);     // block align
        EXPECT_EQ(le16(34), 8u);     // bits per sample
        EXPECT_EQ(wav.substr(36, 4), "data");
        EXPECT_EQ(le32(40), raw.size());
        EXPECT_EQ(wav.substr(44, raw.size()), raw);
        EXPECT_EQ(wav.size(), 44 + raw.size() + raw.size() % 2); // RIFF pads odd chunks
    }
}

// -o onto what cannot take the sound: the path holds afterwards what it held before.
TEST(ZuvelaCli, RenderKeepsWhatWasThereWhenTheWriteFails) {
    fs::remove_all("o");
    fs::create_directories("o");
    SmallTmpfs small(fs::absolute("o/small"), 64 * 1024);
    auto node = [](const char* name, unsigned minor) {
        fs::remove(name);
        return ::mknod(name, S_IFCHR | 0666, makedev(1, minor)) == 0;
    };
    struct Row {
        const char* what;
        std::string path;
        std::function<bool()> setUp; // false: cannot be had here
        int exitCode;
        const char* reason; // in the message, for a failure
    } rows[] = {
        {"a device node that is full", "o/full", [&] { return node("o/full", 7); }, 1,
         "kein Speicherplatz mehr"},
        {"a device node that takes everything", "o/null", [&] { return node("o/null", 3); }, 0, ""},
        {"a file on a full file system", "o/small/out.raw",
         [&] {
             if (!small.skipReason().empty())
                 return false;
             writeFile("o/small/out.raw", "old");
             small.leave(0);
             return true;
         },
         1, "kein Speicherplatz mehr"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.setUp()) {
            std::cout << "skipped (needs root for mknod and mount): " << row.what << '\n';
            continue;
        }
        struct stat before {};
        ASSERT_EQ(::stat(row.path.c_str(), &before), 0);
        const ProcessResult r = cli({"render", "--address", "1=12345", "-o", row.path});
        EXPECT_EQ(r.exitCode, row.exitCode);
        if (row.exitCode != 0) {
            EXPECT_EQ(r.err, "zuvela-cli render: Datei kann nicht geschrieben werden: " + row.path +
                                 " (" + row.reason + ")\n");
        }
        struct stat after {};
        ASSERT_EQ(::stat(row.path.c_str(), &after), 0) << "the path is still there";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_rdev, before.st_rdev);
        if (S_ISREG(before.st_mode)) {
            EXPECT_EQ(readFile(row.path), "old");
        }
        for (const auto& entry : fs::directory_iterator(fs::path(row.path).parent_path()))
            EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
    }
}

TEST(ZuvelaCli, OptionsApplyInOrderAroundTheFile) {
    // The file: CCIR, Langton, 4 Ton, Ein + Mithören, Ruf 2 = 4711.
    writeFile("ccir.740", "[A]\r\nTS=6\r\nTL=2\r\nAW=2\r\nSM=4\r\n[B II]\r\nRP=1\r\nAD=4711\r\n");
    auto listing = [](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"listing"};
        all.insert(all.end(), args.begin(), args.end());
        const ProcessResult r = cli(all);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    // A listing's first line after the header: the tone-system tone (1981 for CCIR, 2400 for
    // ZVEI 1); the address block names what was ticked.
    const std::string fromFile = listing({"-f", "ccir.740"});
    EXPECT_NE(fromFile.find("01 : 1981 : Tonsystem"), std::string::npos) << fromFile;
    EXPECT_EQ(listing({"--system", "1", "-f", "ccir.740"}), fromFile);
    const std::string overridden = listing({"-f", "ccir.740", "--system", "zvei1"});
    EXPECT_NE(overridden.find("01 : 2400 : Tonsystem"), std::string::npos) << overridden;
    EXPECT_EQ(listing({"-f", "ccir.740", "--normal", "--evaluator", "4", "--mode", "4"}),
              listing({"--system", "6", "--evaluator", "4", "--mode", "4", "--address", "1=4711"}))
        << "Ruf 2 stands in slot 1 of the listing as the only address";

    // Another evaluator cuts the addresses as its click does; completion then normalises.
    EXPECT_EQ(listing({"--address", "1=11111", "--evaluator", "3"}),
              listing({"--evaluator", "3", "--address", "1=1R1"}));
    EXPECT_EQ(listing({"--address", "1=11111"}), listing({"--address", "1=1R1R1"}));
}

TEST(ZuvelaCli, EveryCommandHasItsGermanHelp) {
    struct Row {
        std::vector<std::string> args;
        const char* firstLine;
    };
    const Row rows[] = {
        {{"--help"}, "Aufruf: zuvela-cli BEFEHL [OPTIONEN]"},
        {{"listing", "--help"}, "Aufruf: zuvela-cli listing [Einstellungen]"},
        {{"render", "-h"}, "Aufruf: zuvela-cli render [Einstellungen] [Expertenwerte] -o DATEI"},
        {{"send", "--system", "9", "--help"},
         "Aufruf: zuvela-cli send [Einstellungen] [Expertenwerte] [--device NAME | --speaker]"},
        {{"devices", "--help"}, "Aufruf: zuvela-cli devices"},
        {{"call", "--help"},
         "Aufruf: zuvela-cli call [Einstellungen] ADRESSE|--address N [--siren]"},
    };
    for (const Row& row : rows) {
        const ProcessResult r = cli(row.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), row.firstLine);
        EXPECT_EQ(r.err, "");
    }
}

} // namespace

namespace {

TEST(ZuvelaCli, DecodeReadsWhatRenderWrote) {
    const std::vector<std::string> settings = {
        "--system",  "zvei2",  "--evaluator", "4",      "--mode",    "4",     "--long",
        "--address", "2=1123", "--address",   "4=9870", "--address", "1=5743"};
    std::vector<std::string> listing = {"listing"};
    listing.insert(listing.end(), settings.begin(), settings.end());
    const ProcessResult expected = cli(listing);
    ASSERT_EQ(expected.exitCode, 0) << expected.err;

    for (const std::string file : {"sent.wav", "sent.raw"}) {
        SCOPED_TRACE(file);
        std::vector<std::string> render = {"render", "--tone-length", "40", "--tone-pause", "10"};
        render.insert(render.end(), settings.begin(), settings.end());
        render.insert(render.end(), {"-o", file});
        ASSERT_EQ(cli(render).exitCode, 0);

        const ProcessResult decoded = cli({"decode", file, "-o", "read.740"});
        ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
        EXPECT_EQ(decoded.err, "");
        EXPECT_EQ(decoded.out.substr(0, expected.out.size()), expected.out);
        EXPECT_EQ(decoded.out.substr(expected.out.size()),
                  "\nTonsystem:      ZVEI 2\n"
                  "Tonlänge:       70 ms\n"
                  "Normal/Langton: Langton\n"
                  "Auswerter:      4 Ton\n"
                  "Schaltermodus:  Ein + Mithören\n"
                  "Rufadresse 1:   [x] 5743\n"
                  "Rufadresse 2:   [x] 1R23\n"
                  "Rufadresse 3:   [x] 9870\n"
                  "Rufadresse 4:   [ ] \n"
                  "\nGemessen: Tonlänge 40 ms, Tonpause 10 ms, Blockpause 700 ms\n"
                  "Hinweis: Dieselben Töne ergeben auch ZVEI DEPR.; gewählt ist ZVEI 2.\n");
        // The file written gives the same tones again.
        EXPECT_EQ(cli({"listing", "-f", "read.740"}).out, expected.out);
        fs::remove("read.740");
    }
    // Raw samples at another rate: the tones come out lower and are no sequence any more.
    const ProcessResult slow = cli({"decode", "sent.raw", "--rate", "16000"});
    EXPECT_EQ(slow.exitCode, 1);
    EXPECT_EQ(slow.out, "");
}

TEST(ZuvelaCli, DecodeReportsWhatIsNoSequence) {
    writeFile("fake.wav", std::string(100, '\x7f'));
    writeFile("silence.raw", std::string(22050, '\x7f'));
    struct Row {
        std::vector<std::string> args;
        int exitCode;
        const char* message; // the first line of stderr
    };
    const Row rows[] = {
        {{"decode"}, 2, "zuvela-cli decode: DATEI fehlt."},
        {{"decode", "a.wav", "b.wav"}, 2, "zuvela-cli decode: Unerwartetes Argument: b.wav"},
        {{"decode", "silence.raw", "--rate", "100"},
         2,
         "zuvela-cli decode: --rate: \"100\" ist nicht erlaubt (erlaubt: 6000 bis 1000000 Hz)."},
        {{"decode", "silence.raw", "--rate", "22k"},
         2,
         "zuvela-cli decode: --rate: \"22k\" ist nicht erlaubt (erlaubt: 6000 bis 1000000 Hz)."},
        {{"decode", "missing.wav"}, 1, "zuvela-cli decode: Datei nicht gefunden: missing.wav"},
        {{"decode", "."}, 1, "zuvela-cli decode: Keine Datei: ."},
        {{"decode", "fake.wav"},
         1,
         "zuvela-cli decode: Die Datei ist keine WAV-Datei (RIFF/WAVE fehlt)."},
        {{"decode", "silence.raw", "-o", "out.740"},
         1,
         "zuvela-cli decode: Keine gültige Programmiersequenz. In der Aufnahme sind keine Töne "
         "zu finden."},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& arg : row.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        const ProcessResult r = cli(row.args);
        EXPECT_EQ(r.exitCode, row.exitCode);
        // The message is whole lines (a usage error's hint follows).
        EXPECT_EQ(r.err.substr(0, std::string(row.message).size() + 1),
                  std::string(row.message) + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists("out.740"));
    }

    // A recording that stops inside the sequence: what was found, and where it stops.
    ASSERT_EQ(cli({"render", "--address", "2=12345", "-o", "two.raw"}).exitCode, 0);
    const std::string two = readFile("two.raw");
    writeFile("cut.raw", two.substr(0, two.size() * 3 / 4));
    const ProcessResult cut = cli({"decode", "cut.raw", "-o", "out.740"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_EQ(cut.err, "zuvela-cli decode: Keine gültige Programmiersequenz. Gefunden: 11 Töne in "
                       "2 Blöcken (6, 5).\nBlock A kündigt 2 Rufadressen an, gefunden ist 1; "
                       "nach 2,77 s folgt kein Block B II.\n");
    EXPECT_FALSE(fs::exists("out.740"));
}

} // namespace

namespace {

TEST(ZuvelaCli, CallWritesTheTestCallOfTheSettingsAddress) {
    TToneTable table;
    fillToneTable(table);
    auto expected = [&](const char* address, uint8_t tonsys, uint16_t toneLength, uint8_t amplitude,
                        bool siren) {
        const std::vector<uint8_t> s =
            renderTestCall({address, tonsys, toneLength, amplitude, siren}, table);
        return std::string(s.begin(), s.end());
    };
    writeFile("eea.740", "[A]\r\nTS=7\r\nAW=2\r\n[B III]\r\nRP=1\r\nAD=1123\r\n");
    struct Row {
        std::vector<std::string> args;
        std::string samples;
    };
    const Row rows[] = {
        {{"57434"}, expected("57434", 1, 70, 100, false)},
        // Completed as leaving the field completes it; the tone length is the system's.
        {{"--system", "ccir", "11111", "--amplitude", "30"}, expected("1R1R1", 6, 100, 30, false)},
        {{"--evaluator", "3", "--siren", "12G"}, expected("12G", 1, 70, 100, true)},
        // The address of a slot, from the file or the options after it.
        {{"-f", "eea.740", "--address", "3"}, expected("1R23", 7, 40, 100, false)},
        {{"-f", "eea.740", "--address", "2=9870", "--address", "2"},
         expected("9870", 7, 40, 100, false)},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& arg : row.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        std::vector<std::string> args = {"call"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"-o", "-"});
        const ProcessResult r = cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out == row.samples)
            << r.out.size() << " bytes, " << row.samples.size() << " expected";
    }
    // Files as render writes them.
    ASSERT_EQ(cli({"call", "57434", "-o", "call.raw"}).exitCode, 0);
    EXPECT_TRUE(readFile("call.raw") == rows[0].samples);
    ASSERT_EQ(cli({"call", "57434", "-o", "call.wav"}).exitCode, 0);
    const std::string wav = readFile("call.wav");
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_TRUE(wav.substr(44, rows[0].samples.size()) == rows[0].samples);
}

} // namespace

namespace {

// Runs a shell command line in which $CLI is zuvela-cli.
ProcessResult shell(const std::string& command) {
    return testsupport::runProcess("/bin/bash", {"-c", "CLI='" ZUVELA_CLI "'; " + command});
}

TEST(ZuvelaCli, ConventionsOfTheShellGiveWhatTheLongFormGives) {
    writeFile("ccir.740", "[A]\r\nTS=6\r\nAW=1\r\n[B I]\r\nRP=1\r\nAD=12345\r\n");
    ASSERT_EQ(
        cli({"render", "--address", "1=12345", "--tone-length", "40", "-o", "sent.raw"}).exitCode,
        0);
    fs::copy_file("sent.raw", "-sent.raw", fs::copy_options::overwrite_existing);
    struct Row {
        std::string command, sameAs; // two command lines with the same output
    };
    const Row rows[] = {
        {"$CLI --version", "echo zuvela-cli " ZUVELA_VERSION},
        {"$CLI help", "$CLI --help"},
        {"$CLI help decode", "$CLI decode --help"},
        {"$CLI --system ccir -- listing", "$CLI listing --system ccir"},
        {"$CLI --system ccir listing --address 1=12345",
         "$CLI listing --address=1=12345 -f ccir.740"},
        {"$CLI render -or.raw && cat r.raw", "$CLI render -o -"},
        {"$CLI render --output r.raw && cat r.raw", "$CLI render -o-"},
        {"$CLI render --output=r.raw && cat r.raw", "$CLI render --output -"},
        {"$CLI call -o - --system ccir 12345", "$CLI call --output=- -f ccir.740 --address 1"},
        {"$CLI listing -f - < ccir.740", "$CLI listing -f ccir.740"},
        {"cat sent.raw | $CLI decode -", "$CLI decode sent.raw"},
        {"$CLI decode <(cat sent.raw)", "$CLI decode sent.raw"},
        {"$CLI decode -- -sent.raw", "$CLI decode sent.raw"},
        {"$CLI decode -o - sent.raw",
         "$CLI decode sent.raw -o read.740 > /dev/null && cat read.740"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        const ProcessResult r = shell(row.command), expected = shell(row.sameAs);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        ASSERT_EQ(expected.exitCode, 0) << expected.err;
        EXPECT_FALSE(r.out.empty());
        EXPECT_TRUE(r.out == expected.out) << r.out.substr(0, 200);
    }
}

TEST(ZuvelaCli, ValuesThatLoadingIgnoresAreNamedAndTheResultStays) {
    writeFile("odd.740", "[A]\r\nTS=9\r\nAW=1\r\nSM=7\r\n[B I]\r\nRP=1\r\nAD=12345\r\n");
    ASSERT_EQ(cli({"render", "-o", "sent.wav"}).exitCode, 0);
    struct Row {
        std::vector<std::string> args, sameAs;
        std::string err;
    };
    const Row rows[] = {
        {{"listing", "-f", "odd.740"},
         {"listing", "--address", "1=12345"},
         "Hinweis: odd.740: [A] TS=9 wird ignoriert (erlaubt: 1 bis 7).\n"
         "Hinweis: odd.740: [A] SM=7 wird ignoriert (erlaubt: 1 bis 4).\n"},
        {{"decode", "sent.wav", "--rate", "8000"},
         {"decode", "sent.wav"},
         "Hinweis: --rate gilt nur für Rohdaten; die WAV-Datei nennt ihre Abtastrate (22050 "
         "Hz).\n"},
    };
    for (const Row& row : rows) {
        const ProcessResult r = cli(row.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(r.out, cli(row.sameAs).out);
    }
}

// The table every front-end runs: refused with the window's message (the file named in the
// command line's way), or loaded as the window loads it.
TEST(ZuvelaCli, FilesOfTheSharedTableLoadOrAreRefusedAlike) {
    for (const testsupport::ProgDataCase& row : testsupport::progDataCases()) {
        SCOPED_TRACE(row.file);
        writeFile(row.file, row.bytes);
        const ProcessResult r = cli({"listing", "-f", row.file});
        if (!row.refusal.empty()) {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err,
                      "zuvela-cli listing: " + row.refusalFor("Die Datei " + row.file) + "\n");
            EXPECT_EQ(r.out, "");
            continue;
        }
        writeFile("expected.740", row.expectedProfile());
        const ProcessResult expected = cli({"listing", "-f", "expected.740"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, expected.out);
        EXPECT_FALSE(r.out.empty());
    }
}

TEST(ZuvelaCli, BashCompletionIsValidAndCompletes) {
    EXPECT_EQ(shell("bash -n '" ZUVELA_COMPLETION "'").exitCode, 0);
    // The installed script is what the program writes.
    EXPECT_EQ(readFile(ZUVELA_COMPLETION), cli({"completion"}).out);
    writeFile("pager.740", "");
    writeFile("pager.wav", "");
    writeFile("pager.csv", "");
    struct Row {
        std::string words; // the command line so far, the last word being completed
        std::string completions;
    };
    const Row rows[] = {
        {"zuvela-cli dec", "decode"},
        {"zuvela-cli listing --system cc", "ccir ccir-eea"},
        {"zuvela-cli --system zvei1 decode --c", "--calls"},
        {"zuvela-cli listing -f pag", "pager.740"},
        {"zuvela-cli render -o pag", "pager.wav"},
        {"zuvela-cli batch pag", "pager.csv"},
        {"zuvela-cli batch pager.csv --log pag", "pager.csv"},
        {"zuvela-cli batch --f", "--from"},
        // decode reads raw samples of any name too; a number is no file.
        {"zuvela-cli decode pag", "pager.740 pager.csv pager.wav"},
        {"zuvela-cli decode pager.wav --min-length ''", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words);
        const ProcessResult r = shell("source '" ZUVELA_COMPLETION "'; COMP_WORDS=(" + row.words +
                                      "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _zuvela_cli; "
                                      "echo $(printf '%s\\n' \"${COMPREPLY[@]}\" | sort)");
        EXPECT_EQ(r.out, row.completions + "\n") << r.err;
    }
}

// Three calls on three minutes of an alerting channel at 48 kHz: noise 20 dB below the tones,
// which are at -20 dB, and mains hum as loud as the tones; a call lies across the edge between
// two of the stretches the decoder reads.
TEST(ZuvelaCli, DecodeListsEveryCallOfALongRecordingWithItsTime) {
    TToneTable table;
    fillToneTable(table);
    struct Call {
        double start; // seconds
        const char* address;
        uint8_t tonsys;
        const char* line; // after the time
    };
    const Call calls[] = {
        {14.98, "57434", 1,
         "57434 in ZVEI 1, ZVEI 1 (GB), ZVEI F; 68545 in ZVEI 2, ZVEI DEPR. (70 ms)"},
        {90.2, "1R0G9", 6, "1R0G9 in CCIR (100 ms)"},
        {175.5, "12345", 7, "12345 in CCIR / EEA (40 ms)"},
    };
    constexpr double kRate = 48000, kSeconds = 180;
    std::vector<float> samples(static_cast<std::size_t>(kRate * kSeconds));
    std::mt19937 random(22);
    std::normal_distribution<float> noise(0, 0.0055f);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = noise(random) + float(0.078 * std::sin(2 * std::numbers::pi * 50 * i / kRate));
    for (const Call& c : calls) {
        // The first call of the test call, resampled from 22050 Hz.
        const uint16_t toneLength = toneLengthMs(toneLengthButtonFor(c.tonsys));
        const std::vector<uint8_t> s =
            renderTestCall({c.address, c.tonsys, toneLength, 100, false}, table);
        const std::size_t from = sampleCount(kCallLeadIn), count = 5 * sampleCount(toneLength);
        const auto at = static_cast<std::size_t>(c.start * kRate);
        for (std::size_t i = 0; double(i) < (count - 1) * kRate / kSampleRate; ++i) {
            const double x = from + i * kSampleRate / kRate;
            const auto k = static_cast<std::size_t>(x);
            samples[at + i] += float((s[k] + (x - k) * (s[k + 1] - s[k]) - 127) / 1280);
        }
    }
    std::string wav = "RIFF....WAVEfmt ";
    auto le = [&](uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            wav += char(v >> (8 * b));
    };
    le(16, 4), le(1, 2), le(1, 2), le(48000, 4), le(96000, 4), le(2, 2), le(16, 2);
    wav += "data";
    le(uint32_t(samples.size() * 2), 4);
    for (const float v : samples)
        le(uint16_t(int16_t(std::lround(std::clamp(v, -1.f, 1.f) * 32767))), 2);
    writeFile("channel.wav", wav);

    // Narrowed to a tone system: its calls only, in its reading only.
    const std::pair<const char*, const char*> narrowed[] = {
        {"--system zvei2", "68545 in ZVEI 2 (70 ms)"}, {"--system 6", "1R0G9 in CCIR (100 ms)"}};
    for (const auto& [option, only] : narrowed) {
        const ProcessResult n =
            shell(std::string("$CLI decode --calls ") + option + " channel.wav");
        EXPECT_EQ(n.out.substr(std::min(n.out.size(), std::size_t(12))), std::string(only) + "\n")
            << option << ": " << n.out << n.err;
    }
    const ProcessResult r = shell("cat channel.wav | $CLI decode --calls -");
    fs::remove("channel.wav");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    for (const Call& c : calls) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << r.out;
        // "H:MM:SS,CC  reading"
        const double seconds = std::stoi(line.substr(0, 1)) * 3600 +
                               std::stoi(line.substr(2, 2)) * 60 + std::stoi(line.substr(5, 2)) +
                               std::stoi(line.substr(8, 2)) / 100.0;
        EXPECT_NEAR(seconds, c.start, 0.015) << line;
        EXPECT_EQ(line.substr(12), c.line);
    }
    std::string extra;
    EXPECT_FALSE(std::getline(lines, extra)) << extra;
}

// Forty calls of all tone systems on a channel whose noise changes every few seconds, from
// below the tones to above them, where the decoder's finder tells noise as tones too: decode
// lists the very calls that decode --calls lists, with the same times and readings.
TEST(ZuvelaCli, DecodeListsEveryCallThatDecodeCallsLists) {
    TToneTable table;
    fillToneTable(table);
    std::mt19937 random(39);
    std::vector<float> samples;
    std::uniform_real_distribution<double> gap(0.0, 1.0);
    std::uniform_int_distribution<int> digit(0, 9), system(1, 7);
    for (int n = 0; n < 40; ++n) {
        std::string address;
        for (int k = 0; k < 5; ++k)
            address += char('0' + digit(random));
        const auto tonsys = uint8_t(system(random));
        const uint16_t length = toneLengthMs(toneLengthButtonFor(tonsys));
        std::vector<uint8_t> call;
        try {
            call = renderTestCall({address, tonsys, length, 100, false}, table);
        } catch (const std::exception&) {
            continue; // an address that the system cannot call
        }
        samples.resize(samples.size() + std::size_t(gap(random) * 22050), 0.f);
        // The first call of the test call, without its lead-in.
        const std::size_t from = sampleCount(kCallLeadIn), count = 5 * sampleCount(length);
        for (std::size_t i = from; i < from + count; ++i)
            samples.push_back(float(call[i] - 127) / 1280);
    }
    const float levels[] = {0.002f, 0.01f, 0.05f, 0.1f, 0.2f};
    std::uniform_int_distribution<int> level(0, 4);
    std::uniform_real_distribution<double> stretch(1, 8);
    for (std::size_t i = 0; i < samples.size();) {
        const std::size_t end = std::min(samples.size(), i + std::size_t(stretch(random) * 22050));
        std::normal_distribution<float> noise(0, levels[level(random)]);
        for (; i < end; ++i)
            samples[i] += noise(random);
    }
    std::string wav = "RIFF....WAVEfmt ";
    auto le = [&](uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            wav += char(v >> (8 * b));
    };
    le(16, 4), le(1, 2), le(1, 2), le(22050, 4), le(44100, 4), le(2, 2), le(16, 2);
    wav += "data";
    le(uint32_t(samples.size() * 2), 4);
    for (const float v : samples)
        le(uint16_t(int16_t(std::lround(std::clamp(v, -1.f, 1.f) * 32767))), 2);
    writeFile("noisy.wav", wav);

    const ProcessResult calls = cli({"decode", "--calls", "noisy.wav"});
    ASSERT_EQ(calls.exitCode, 0) << calls.err;
    const auto count = std::count(calls.out.begin(), calls.out.end(), '\n');
    EXPECT_GT(count, 15) << calls.out;
    const ProcessResult all = cli({"decode", "noisy.wav"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out,
              "Keine Programmiersequenz; " + std::to_string(count) + " Rufe:\n" + calls.out);
}

} // namespace

namespace {

// 1.5 s of the channel, the test call of 57434 in ZVEI 1 (two calls), 1.5 s more: 16-bit
// samples at 22050 Hz, the tones at -20 dB, with white noise of the given RMS.
std::string channelWithTestCall(double noiseRms) {
    TToneTable table;
    fillToneTable(table);
    const std::vector<uint8_t> call = renderTestCall({"57434", 1, 70, 100, false}, table);
    std::vector<uint8_t> bytes(33075 + call.size() + 33075, 127);
    std::copy(call.begin(), call.end(), bytes.begin() + 33075);
    std::mt19937 random(30);
    std::normal_distribution<double> noise(0, noiseRms);
    std::string samples;
    for (const uint8_t b : bytes) {
        const double v = (b - 127) / 1280.0 + (noiseRms > 0 ? noise(random) : 0);
        const auto s = uint16_t(int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767)));
        samples += char(s & 0xFF);
        samples += char(s >> 8);
    }
    return samples;
}
constexpr double kCallEnds[] = {1.5 + 0.6 + 0.35, 1.5 + 0.6 + 0.35 + 0.6 + 0.35};

// A header as a WAV writer puts it: RIFF and data sizes for dataBytes, 16-bit mono 22050 Hz.
std::string wavHeader(uint32_t dataBytes) {
    std::string h = "RIFF";
    auto le = [&](uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            h += char(v >> (8 * b));
    };
    le(dataBytes + 36, 4);
    h += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(22050, 4), le(44100, 4), le(2, 2), le(16, 2);
    h += "data";
    le(dataBytes, 4);
    return h;
}

} // namespace

// A live channel on standard input, with the header sox writes to a pipe (its data size a
// placeholder), fed block by block as a sound card delivers it: each call is printed before more
// than half a second of sound after its end has been written; on a clean channel (the band's
// energy) and on one with noise as loud as the tones (their spectrum).
TEST(ZuvelaCli, DecodeOfALiveChannelPrintsEachCallBeforeHalfASecondMoreArrives) {
    // sox writing to a pipe: the header cannot hold the size.
    const ProcessResult sox =
        shell("sox -q -n -r 22050 -b 16 -c 1 -t wav - synth 0.01 sine 1000 | cat");
    ASSERT_EQ(sox.exitCode, 0) << sox.err;
    ASSERT_GE(sox.out.size(), 44u);
    const std::string header = sox.out.substr(0, 44);
    ASSERT_EQ(header.substr(36, 4), "data");
    for (const double noiseRms : {0.0, 0.055}) {
        const std::string samples = channelWithTestCall(noiseRms);
        QProcess decoder;
        decoder.start(ZUVELA_CLI, {"decode", "--calls", "-"});
        ASSERT_TRUE(decoder.waitForStarted(10000));
        decoder.write(header.data(), qint64(header.size()));
        std::string out;
        std::size_t printed = 0;
        constexpr std::size_t kBlock = 2 * 220; // 10 ms
        for (std::size_t at = 0; at < samples.size(); at += kBlock) {
            const double after = double(at + kBlock) / 2 / 22050;
            // Half a second past a call's end: its line must be there before more is written.
            while (printed < std::size(kCallEnds) && after > kCallEnds[printed] + 0.5) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (std::count(out.begin(), out.end(), '\n') <= std::ptrdiff_t(printed) &&
                       std::chrono::steady_clock::now() < deadline) {
                    decoder.waitForReadyRead(100);
                    out += decoder.readAllStandardOutput().toStdString();
                }
                ASSERT_GT(std::count(out.begin(), out.end(), '\n'), std::ptrdiff_t(printed))
                    << "noise " << noiseRms << ": call " << printed << " not printed: " << out;
                ++printed;
            }
            decoder.write(samples.data() + at, qint64(std::min(kBlock, samples.size() - at)));
            decoder.waitForBytesWritten(10000);
        }
        decoder.closeWriteChannel();
        ASSERT_TRUE(decoder.waitForFinished(30000));
        out += decoder.readAllStandardOutput().toStdString();
        EXPECT_EQ(decoder.exitCode(), 0);
        std::istringstream lines(out);
        std::string line;
        for (const double end : kCallEnds) {
            ASSERT_TRUE(std::getline(lines, line)) << out;
            EXPECT_NEAR(std::stod(line.substr(5, 2)) + std::stod(line.substr(8, 2)) / 100,
                        end - 0.35, 0.015)
                << line;
            EXPECT_EQ(line.substr(12, 16), "57434 in ZVEI 1,") << line;
        }
        EXPECT_FALSE(std::getline(lines, line)) << out;
    }
}

// The samples after a data chunk are read, from a pipe and from a file, when no other chunk
// follows it; decode says that there were more than the header declared (arecord writes the
// length it was asked for, whatever follows).
TEST(ZuvelaCli, DecodeReadsPastTheDeclaredSizeUnlessAChunkFollows) {
    const std::string samples = channelWithTestCall(0);
    writeFile("short-header.wav", wavHeader(22050 * 2) + samples);
    const std::string info("INFOISFT\x0e\0\0\0Lavf60.16.100\0", 26);
    writeFile("listed.wav", wavHeader(uint32_t(samples.size())) + samples +
                                std::string("LIST\x1a\0\0\0", 8) + info);
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%.2f", double(samples.size()) / 2 / 22050);
    std::string read = seconds;
    std::replace(read.begin(), read.end(), '.', ',');
    const std::string note = "Hinweis: Die WAV-Datei hat mehr Daten, als ihr Kopf angibt: gelesen "
                             "sind " +
                             read + " s statt 1,00 s.\n";
    const struct {
        std::string command, err;
    } rows[] = {
        {"cat short-header.wav | $CLI decode --calls -", note},
        {"$CLI decode --calls short-header.wav", note},
        {"$CLI decode --calls listed.wav", ""},
    };
    for (const auto& r : rows) {
        const ProcessResult result = shell(r.command);
        EXPECT_EQ(result.exitCode, 0) << r.command << result.err;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 2) << r.command;
        EXPECT_EQ(result.err, r.err) << r.command;
    }
}
