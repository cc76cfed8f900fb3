// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli keeps the manners of a command-line tool: standard input is read once, also when
// the sound part plays; a signal ends it as the shell expects, after its clean-up; a full
// output is an error; binary sound does not go to a terminal.
#include "support/AlsaCapture.h"
#include "support/ChildSignal.h"
#include "support/RunProcess.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::AlsaCapture;

void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
}

struct Ended {
    bool bySignal = false;
    int code = -1; // the exit status, or the signal
    std::string out, err;
};

// zuvela-cli with args, standard input from a file (empty: none), until it ends; or, with
// afterStart, started, handed to afterStart, and then waited for.
Ended run(const std::vector<std::string>& args, const std::string& input = {},
          const std::function<void(QProcess&)>& afterStart = {}) {
    QProcess p;
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    if (!input.empty())
        p.setStandardInputFile(QString::fromStdString(input));
    p.start(QStringLiteral(ZUVELA_CLI), list);
    EXPECT_TRUE(p.waitForStarted(10000));
    if (afterStart)
        afterStart(p);
    if (input.empty())
        p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::CrashExit, p.exitCode(),
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

// A program at a terminal of its own: what the terminal shows, what is typed into it, and how
// the program ended.
class AtTerminal {
public:
    explicit AtTerminal(const std::vector<std::string>& argv) {
        // Made before the fork: the child of a process with threads only calls exec.
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~AtTerminal() { finish(); }
    // Waits until the terminal shows text; false at the deadline or the program's end.
    bool waitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (shown_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !readSome(200))
                return false;
        }
        return true;
    }
    void type(const std::string& keys) {
        ASSERT_EQ(::write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    // Reads to the program's end; the signal that ended it, or 0.
    int finish() {
        if (pid_ <= 0)
            return signal_;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline && readSome(200)) {
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        ::close(master_);
        signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return signal_;
    }
    const std::string& shown() const { return shown_; }
    int exitCode() const { return exitCode_; }

private:
    // False once the program's side of the terminal is closed.
    bool readSome(int ms) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, ms) <= 0)
            return true;
        char block[4096];
        const ssize_t n = ::read(master_, block, sizeof block);
        if (n <= 0)
            return false;
        shown_.append(block, std::size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int master_ = -1;
    int signal_ = 0;
    int exitCode_ = -1;
    std::string shown_;
};

const char* const kOdd = "[A]\r\nTS=9\r\nAW=1\r\nSM=7\r\n[B I]\r\nRP=1\r\nAD=12345\r\n";

} // namespace

// -f - is read by zuvela-cli before the sound part takes over: it plays what the file plays,
// and what loading noted is said once.
TEST(ZuvelaCliManners, StandardInputIsReadOnceAndPlaysWhatTheFilePlays) {
    const AlsaCapture capture;
    writeFile("odd.740", kOdd);
    const auto notes = [](const std::string& name) {
        return "Hinweis: " + name + ": [A] TS=9 wird ignoriert (erlaubt: 1 bis 7).\n" +
               "Hinweis: " + name + ": [A] SM=7 wird ignoriert (erlaubt: 1 bis 4).\n";
    };
    const struct {
        std::vector<std::string> fromFile, fromInput;
    } rows[] = {
        {{"send", "-f", "odd.740", "--tone-length", "40"},
         {"send", "-f", "-", "--tone-length", "40"}},
        {{"call", "-f", "odd.740", "--address", "1"}, {"call", "-f", "-", "--address", "1"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fromFile[0]);
        capture.clear();
        const Ended file = run(row.fromFile);
        ASSERT_EQ(file.code, 0) << file.err;
        EXPECT_EQ(file.err, notes("odd.740"));
        const std::vector<uint8_t> played = capture.read();
        ASSERT_FALSE(played.empty());

        capture.clear();
        const Ended input = run(row.fromInput, "odd.740");
        EXPECT_EQ(input.code, 0) << input.err;
        EXPECT_FALSE(input.bySignal);
        EXPECT_EQ(input.err, notes("Standardeingabe"));
        EXPECT_TRUE(capture.read() == played);
    }
}

// Each row: a signal at batch's prompt. The program ends by it, after the summary, so that a
// shell sees the signal and not an exit status.
TEST(ZuvelaCliManners, StopSignalsEndTheProgramByTheSignalAfterItsSummary) {
    writeFile("l.csv", "Kennung;Tonsystem;Ruf 1\r\nA;ZVEI 1;12345\r\n");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        std::remove("l-Protokoll.csv");
        const Ended ended = run({"batch", "l.csv"}, {}, [&](QProcess& p) {
            std::string out;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (out.find("1/1 A") == std::string::npos &&
                   std::chrono::steady_clock::now() < deadline && p.waitForReadyRead(200))
                out += p.peek(1 << 16).toStdString();
            EXPECT_TRUE(testsupport::signalChild(p, signal));
        });
        EXPECT_TRUE(ended.bySignal);
        EXPECT_EQ(ended.code, signal);
        EXPECT_TRUE(ended.out.ends_with("0 gesendet, 0 übersprungen, 0 fehlgeschlagen, 1 offen\n"))
            << ended.out;
    }

    // Ctrl+C at a terminal stops a shell's loop too; the summary starts a line of its own
    // after the "^C" that the terminal shows.
    AtTerminal loop({"/bin/bash", "-c",
                     "for i in 1 2 3; do '" ZUVELA_CLI "' batch l.csv; echo weiter; done; "
                     "echo fertig"});
    ASSERT_TRUE(loop.waitFor("1/1 A")) << loop.shown();
    loop.type("\x03");
    EXPECT_EQ(loop.finish(), SIGINT) << loop.shown();
    EXPECT_NE(loop.shown().find("^C\r\n0 gesendet, 0 übersprungen, 0 fehlgeschlagen, 1 offen\r\n"),
              std::string::npos)
        << loop.shown();
    EXPECT_EQ(loop.shown().find("weiter"), std::string::npos) << loop.shown();
    EXPECT_EQ(loop.shown().find("fertig"), std::string::npos) << loop.shown();
}

// What GNU tools do: an output that cannot be written is an error, and sound as bytes is not
// written to a terminal.
TEST(ZuvelaCliManners, AFullOutputFailsAndSoundBytesStayOffTheTerminal) {
    for (const char* args : {"--help", "--version", "help", "render --help"}) {
        SCOPED_TRACE(args);
        const testsupport::ProcessResult r = testsupport::runProcess(
            "/bin/bash", {"-c", std::string("'" ZUVELA_CLI "' ") + args + " >/dev/full"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(": Schreiben fehlgeschlagen: Standardausgabe (kein Speicherplatz "
                             "mehr)\n"),
                  std::string::npos)
            << r.err;
    }
    for (const char* command : {"render", "call"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {ZUVELA_CLI, command, "-o", "-"};
        if (std::string(command) == "call")
            args.emplace_back("57434");
        AtTerminal terminal(args);
        EXPECT_EQ(terminal.finish(), 0);
        EXPECT_EQ(terminal.exitCode(), 1);
        EXPECT_EQ(terminal.shown(), "zuvela-cli " + std::string(command) +
                                        ": Die Tonfolge wird nicht auf ein Terminal geschrieben; "
                                        "-o - braucht eine Umleitung in eine Datei oder ein "
                                        "Programm.\r\n");
    }
}
