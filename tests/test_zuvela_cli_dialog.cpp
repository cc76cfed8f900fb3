// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli against the real windows: the same settings give the listing the programming
// dialog shows and the very bytes it sends to ALSA (its file plugin, no sound card).
#include "UNT_Main.h"
#include "UNT_Prog.h"
#include "support/AlsaCapture.h"
#include "support/CapturedProgramTest.h"
#include "support/RunProcess.h"
#include "support/SmallTmpfs.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <array>
#include <filesystem>
#include <iostream>

namespace {

using testsupport::AlsaCapture;
using testsupport::ProcessResult;

// One set of settings, as clicks in the main window and as options of zuvela-cli.
struct Settings {
    int tonsys;                           // 1 to 7
    bool langton;                         // "Langton" instead of "Normal"
    int evaluator;                        // 1 "5 Ton" to 3 "3 Ton"
    int switchMode;                       // 1 to 4
    std::array<const char*, 4> addresses; // typed into the ticked fields; nullptr: not ticked
    std::array<int, 4> sliders = {10, 3, 7, 10}; // the expert sliders' positions

    void enterInWindow() const {
        TFRM_Main& w = *FRM_Main;
        QRadioButton* systems[] = {w.OPT_Tonsys_01, w.OPT_Tonsys_02, w.OPT_Tonsys_03,
                                   w.OPT_Tonsys_04, w.OPT_Tonsys_05, w.OPT_Tonsys_06,
                                   w.OPT_Tonsys_07};
        QRadioButton* evaluators[] = {w.OPT_Auswerter_01, w.OPT_Auswerter_02, w.OPT_Auswerter_03};
        QRadioButton* modes[] = {w.OPT_Schalter_01, w.OPT_Schalter_02, w.OPT_Schalter_03,
                                 w.OPT_Schalter_04};
        click(systems[tonsys - 1]);
        click(langton ? w.OPT_Len_02 : w.OPT_Len_01);
        click(evaluators[evaluator - 1]);
        click(modes[switchMode - 1]);
        QCheckBox* boxes[] = {w.CHK_Adresse_01, w.CHK_Adresse_02, w.CHK_Adresse_03,
                              w.CHK_Adresse_04};
        QLineEdit* edits[] = {w.TXT_Adresse_01, w.TXT_Adresse_02, w.TXT_Adresse_03,
                              w.TXT_Adresse_04};
        for (int n = 0; n < 4; ++n) {
            if ((addresses[n] != nullptr) != boxes[n]->isChecked())
                click(boxes[n]);
            if (addresses[n] != nullptr)
                retype(edits[n], QString::fromLatin1(addresses[n]));
        }
    }

    void setSliders() const {
        TFRM_Prog& d = *FRM_Prog;
        QSlider* bars[] = {d.BAR_Tonlen, d.BAR_TonPause, d.BAR_BlockPause, d.BAR_Amplitude};
        for (int n = 0; n < 4; ++n)
            bars[n]->setValue(sliders[n]);
    }

    std::vector<std::string> options(bool expert) const {
        std::vector<std::string> args = {"--system",    std::to_string(tonsys),
                                         "--evaluator", std::to_string(6 - evaluator),
                                         "--mode",      std::to_string(switchMode)};
        if (langton)
            args.emplace_back("--long");
        for (int n = 0; n < 4; ++n)
            if (addresses[n] != nullptr)
                args.push_back("--address=" + std::to_string(n + 1) + "=" + addresses[n]);
        if (expert) {
            const char* names[] = {"--tone-length", "--tone-pause", "--block-pause", "--amplitude"};
            const int steps[] = {10, 10, 100, 10};
            for (int n = 0; n < 4; ++n) {
                args.emplace_back(names[n]);
                args.push_back(std::to_string(sliders[n] * steps[n]));
            }
        }
        return args;
    }
};

const Settings kRows[] = {
    {1, false, 1, 1, {"57434", nullptr, nullptr, nullptr}},
    {6, true, 2, 4, {"1234", nullptr, "4444", nullptr}, {4, 1, 5, 3}},
    {2, false, 3, 2, {"12G", "999", nullptr, "321"}, {20, 10, 10, 7}},
    {7, true, 1, 3, {"11223", "90817", "6G789", "55555"}, {13, 6, 8, 1}},
};

ProcessResult cli(const std::string& command, const std::vector<std::string>& options) {
    std::vector<std::string> args = {command};
    args.insert(args.end(), options.begin(), options.end());
    return testsupport::runProcess(ZUVELA_CLI, args);
}

class CliAgainstDialog : public CapturedProgramTest {};

TEST_F(CliAgainstDialog, ListingIsTheDialogsListing) {
    for (const Settings& row : kRows) {
        SCOPED_TRACE(row.tonsys);
        destroyApplicationWindows();
        ProgramTest::SetUp();
        row.enterInWindow();
        QString shown;
        ASSERT_TRUE(whileProgramming([&] { shown = FRM_Prog->TXT_Daten->toPlainText(); }));
        const ProcessResult r = cli("listing", row.options(false));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, shown.toStdString() + "\n");
    }
}

TEST_F(CliAgainstDialog, RenderedBytesAreWhatTheDialogSendsToAlsa) {
    for (const Settings& row : kRows) {
        SCOPED_TRACE(row.tonsys);
        destroyApplicationWindows();
        ProgramTest::SetUp();
        capture->clear();
        row.enterInWindow();
        std::vector<uint8_t> sent;
        ASSERT_TRUE(whileProgramming([&] {
            row.setSliders();
            click(FRM_Prog->BTN_Go);
            ASSERT_TRUE(QTest::qWaitFor([] { return FRM_Prog->BTN_Go->isEnabled(); }, 20000));
            sent = capture->read();
        }));
        const ProcessResult r = cli("render", [&] {
            auto args = row.options(true);
            args.insert(args.end(), {"-o", "-"});
            return args;
        }());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_FALSE(sent.empty());
        EXPECT_TRUE(std::string(sent.begin(), sent.end()) == r.out)
            << sent.size() << " bytes sent, " << r.out.size() << " rendered";
    }
}

} // namespace

namespace {

TEST_F(CliAgainstDialog, SendPlaysTheRenderedBytesAndFailsWhenTheDeviceDoesNot) {
    // The child process finds ALSA's file plugin through the environment it inherits.
    auto with = [](std::vector<std::string> extra) {
        std::vector<std::string> args = kRows[3].options(true);
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const ProcessResult rendered = cli("render", with({"-o", "-"}));
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;

    for (const char* device : {"", "default"}) {
        SCOPED_TRACE(device);
        capture->clear();
        const ProcessResult sent =
            cli("send", with(*device ? std::vector<std::string>{"--device", device}
                                     : std::vector<std::string>{}));
        EXPECT_EQ(sent.exitCode, 0) << sent.err;
        EXPECT_EQ(sent.out, "");
        EXPECT_EQ(sent.err, "") << "no progress bar when stderr is no terminal";
        const std::vector<uint8_t> played = capture->read();
        EXPECT_TRUE(std::string(played.begin(), played.end()) == rendered.out)
            << played.size() << " bytes played, " << rendered.out.size() << " rendered";
    }

    // At a terminal, a progress bar on stderr, full at the end; stdout stays empty.
    capture->clear();
    const ProcessResult atTerminal = testsupport::runProcess(
        ZUVELA_CLI,
        [&] {
            std::vector<std::string> args = {"send"};
            const std::vector<std::string> rest = with({});
            args.insert(args.end(), rest.begin(), rest.end());
            return args;
        }(),
        true);
    EXPECT_EQ(atTerminal.exitCode, 0) << atTerminal.err;
    EXPECT_EQ(atTerminal.out, "");
    const std::string full = "\r[##############################] 100 %";
    EXPECT_NE(atTerminal.err.find(full), std::string::npos) << atTerminal.err;
    EXPECT_TRUE(atTerminal.err.ends_with(" s\r\n")) << atTerminal.err;
    EXPECT_EQ(capture->size(), rendered.out.size());

    const ProcessResult unusable = cli("send", with({"--device", AlsaCapture::unusablePcm}));
    EXPECT_EQ(unusable.exitCode, 1);
    EXPECT_EQ(unusable.err.substr(0, unusable.err.find('\n')),
              "zuvela-cli send: Die Soundkarte steht nicht zur Verfügung!");
    EXPECT_EQ(unusable.out, "");

    // The play file cannot be written (its folder is full): nothing plays, and it says why.
    SmallTmpfs small(std::filesystem::absolute("cache"), 64 * 1024);
    if (!small.skipReason().empty()) {
        std::cout << "skipped: " << small.skipReason() << '\n';
        return;
    }
    std::filesystem::create_directories(small.dir() / "zuvela-cli");
    small.leave(0);
    const QByteArray keep = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", small.dir().c_str());
    capture->clear();
    const ProcessResult noRoom = cli("send", with({}));
    qputenv("XDG_CACHE_HOME", keep);
    EXPECT_EQ(noRoom.exitCode, 1);
    EXPECT_EQ(noRoom.err, "zuvela-cli send: Die Datei \"" +
                              (small.dir() / "zuvela-cli" / "PLAY.TMP").string() +
                              "\" kann nicht geschrieben werden: kein Speicherplatz mehr.\n");
    EXPECT_EQ(capture->size(), 0u);
}

TEST_F(CliAgainstDialog, DevicesListsNamesAndDescriptionsTheDefaultFirst) {
    const ProcessResult r = testsupport::runProcess(ZUVELA_CLI, {"devices"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().substr(0, lines.front().find(' ')), "default");
    // The test configuration's device that never opens, with its description.
    const auto unusable = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with(std::string(AlsaCapture::unusablePcm) + " ");
    });
    ASSERT_NE(unusable, lines.end()) << r.out;
    EXPECT_TRUE(unusable->ends_with("  never opens")) << *unusable;
}

TEST_F(CliAgainstDialog, CallPlaysWhatItWritesAndFailsWhenTheDeviceDoesNot) {
    const std::vector<std::string> call = {"--system", "ccir", "11111", "--siren"};
    auto with = [&](std::vector<std::string> extra) {
        extra.insert(extra.end(), call.begin(), call.end());
        return extra;
    };
    const ProcessResult written = cli("call", with({"-o", "-"}));
    ASSERT_EQ(written.exitCode, 0) << written.err;
    capture->clear();
    const ProcessResult sent = cli("call", with({}));
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_EQ(sent.out + sent.err, "");
    const std::vector<uint8_t> played = capture->read();
    EXPECT_TRUE(std::string(played.begin(), played.end()) == written.out)
        << played.size() << " bytes played, " << written.out.size() << " written";

    const ProcessResult unusable = cli("call", with({"--device", AlsaCapture::unusablePcm}));
    EXPECT_EQ(unusable.exitCode, 1);
    EXPECT_EQ(unusable.err.substr(0, unusable.err.find('\n')),
              "zuvela-cli call: Die Soundkarte steht nicht zur Verfügung!");
}

} // namespace
