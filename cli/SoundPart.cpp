// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli's sound part: the tone sequence through the audio component's player, as the
// programming dialog sends it, or through the PC-speaker module; and the list of ALSA's output
// devices. Only the program zuvela-cli-sound holds it.
#include "Audio.h"
#include "CheckRecording.h"
#include "Commands.h"
#include "LevelCheck.h"
#include "ProgEngine.h"
#include "SendCheck.h"
#include "SendTimeline.h"
#include "Sending.h"
#include "Sound.h"
#include "SoundCardSend.h"
#include "SpeakerSafety.h"
#include "ToneSequence.h"
#include "UNT_Bleeper.h"
#include "WaveOutAlsa.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <unistd.h>

namespace cli {

namespace {

// Ctrl+C (and SIGTERM, SIGHUP): the handler notes the signal and writes to this pipe, which
// the event loop watches; the program ends by the signal once it has cleaned up
// (endByStopSignal). During a speaker send, which blocks, the handler switches the speaker off
// and ends the program by the signal itself.
int interruptPipe[2] = {-1, -1};
std::atomic<bool> speakerSending{false};
// What the handler appends to a record before it ends a speaker send of batch: set before the
// send, so that the handler only reads it.
std::atomic<int> interruptRecordFd{-1};
std::string interruptRecordLine;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onInterrupt(int signal) {
    if (stopSignal() == 0)
        noteStopSignal(signal);
    if (speakerSending.load()) {
        platform::speakerOffNow();
        if (const int fd = interruptRecordFd.load(); fd >= 0) {
            (void)!write(fd, interruptRecordLine.data(), interruptRecordLine.size());
            (void)fsync(fd);
        }
        constexpr char message[] = "\nAbgebrochen.\n";
        (void)!write(STDERR_FILENO, message, sizeof message - 1);
        // All of it is safe in a handler; the signal, blocked while it runs, ends the program.
        ::signal(signal, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signal);
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
        raise(signal);
        _exit(128 + signal);
    }
    const char byte = 1;
    (void)!write(interruptPipe[1], &byte, 1);
}

void armInterrupt() {
    if (pipe(interruptPipe) != 0)
        throw Failure("Kein Signalkanal.");
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal); // one handler at a time
    for (const int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

// A progress bar on stderr, drawn only when stderr is a terminal.
class Progress {
public:
    explicit Progress(double totalSeconds)
        : total_(totalSeconds), shown_(isatty(STDERR_FILENO) != 0) {}

    void draw(double fraction) {
        if (!shown_)
            return;
        fraction = std::clamp(fraction, 0.0, 1.0);
        constexpr int width = 30;
        const auto filled = std::lround(fraction * width);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(width, '-');
        std::fprintf(stderr, "\r[%s] %3d %%  %.1f / %.1f s", bar.c_str(),
                     static_cast<int>(std::lround(fraction * 100)), fraction * total_, total_);
        std::fflush(stderr);
        drawn_ = true;
    }
    // Ends the bar's line after a whole send; after a failure or a stop, wipes it.
    void finish(bool complete) {
        if (!drawn_)
            return;
        std::fputs(complete ? "\n" : "\r\033[K", stderr);
        drawn_ = false;
    }

private:
    double total_;
    bool shown_;
    bool drawn_ = false;
};

std::string cliText(QString message) {
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return message.toStdString();
}

// Waits in the event loop for ms, the recorder's buffers coming in meanwhile.
void settle(int ms) {
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    wait.exec();
}

} // namespace

int sendToSoundCard(const std::vector<uint8_t>& samples, const std::string& device,
                    const SendRequest* check, const std::vector<ToneSegment>* segments,
                    std::string* checkSummary) {
    // Before anything is sent: the recording that checks it, begun a little before.
    std::optional<CheckRecording> recording;
    if (check != nullptr && check->check) {
        QString message;
        if (!recording.emplace().start(check->input, message))
            throw Failure(cliText(message));
        settle(300);
    }
    // Before the component: the component's last Stop raises OnPlayed into it.
    QEventLoop loop;
    TAudio audio(nullptr);
    audio.Player->SetSampleRate(static_cast<uint16_t>(kSampleRate));
    if (!device.empty() && device != "default") {
        const std::vector<std::string> names = platform::alsaPlaybackDeviceNames();
        const auto found = std::find(names.begin(), names.end(), device);
        if (found == names.end())
            throw Failure(std::string(kSoundCardUnavailable) + "\nDas Ausgabegerät \"" + device +
                          "\" ist nicht vorhanden (die Geräte listet zuvela-cli devices).");
        audio.SetAudioDeviceName(device); // opened by its name, not by its place in the list
    }

    bool played = false;
    // Buffers back from the device, for the progress bar (counted in the sound layer's thread).
    std::atomic<int> buffersPlayed{0};
    audio.OnBufferPlayed = [&](TObject*) { ++buffersPlayed; };
    audio.OnPlayed = [&](TObject*) {
        played = true;
        loop.quit();
    };
    bool interrupted = false;
    QSocketNotifier notifier(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        interrupted = true;
        loop.quit();
    });

    Progress progress(static_cast<double>(samples.size()) / kSampleRate);
    const TSendStatus start = startSend(audio, samples);
    if (start.result == TSendResult::NotStarted)
        throw Failure(cliText(start.message));

    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const double done = static_cast<double>(buffersPlayed.load()) * audio.Player->BufferSize();
        progress.draw(done / static_cast<double>(samples.size()));
    });
    ticker.start(100);
    // A player that never reports the end must not keep the program waiting for ever.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool stuck = false;
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        stuck = true;
        loop.quit();
    });
    watchdog.start(static_cast<int>(samples.size() * 1000 / kSampleRate) + 10000);
    if (!played)
        loop.exec();
    ticker.stop();

    if (interrupted || stuck) {
        audio.Player->Stop();
        progress.finish(false);
        if (interrupted) {
            // batch (the one caller that takes the check's summary) names the end itself.
            if (checkSummary == nullptr)
                std::fputs("Abgebrochen.\n", stderr);
            return kExitInterrupted;
        }
        throw Failure("Die Wiedergabe endet nicht.");
    }
    const TSendStatus end = sendEnd(audio);
    if (end.result != TSendResult::Sent) {
        progress.finish(false);
        throw Failure(cliText(end.message));
    }
    progress.draw(1.0);
    progress.finish(true);
    if (!recording)
        return kExitOk;
    // A little after the last tone, then the recording against what was sent.
    settle(400);
    const SendCheck result = checkSend(*segments, recording->finish());
    if (checkSummary != nullptr)
        *checkSummary = result.summary;
    std::string text = result.summary + "\n";
    for (const std::string& line : sendCheckDetails(result))
        text += line + "\n";
    writeAll(stdout, text, "Standardausgabe");
    return result.ok ? kExitOk : kExitFailure;
}

void recordSpeakerInterrupt(int fd, std::string line) {
    interruptRecordFd = -1;
    interruptRecordLine = std::move(line);
    interruptRecordFd = fd;
}

int sendToSpeaker(const std::vector<ToneSegment>& sequence) {
    UNT_Bleeper::initBleeper();
    if (UNT_Bleeper::speakerMethod() == platform::SpeakerMethod::Silent)
        throw Failure("Der PC-Lautsprecher ist nicht erreichbar (weder /dev/input noch die "
                      "Konsole noch die Ports).");
    // The progress by the send's timeline: each walked segment ends at its last sample.
    const std::vector<TimelineSegment> timeline = segmentTimeline(sequence);
    const auto total = static_cast<double>(timelineSamples(timeline));
    Progress progress(total / kSampleRate);
    std::size_t walked = 0;
    speakerSending = true;
    const auto walk = UNT_Bleeper::WalkSegments(sequence, [&](const ToneSegment&) {
        if (walked < timeline.size() && total > 0)
            progress.draw(static_cast<double>(timeline[walked++].endSample) / total);
    });
    speakerSending = false;
    const bool toneFailed = walk.end == UNT_Bleeper::WalkResult::End::ToneFailed;
    progress.finish(!toneFailed);
    if (toneFailed)
        throw Failure(cliText(QString::fromStdString(walk.message)));
    return kExitOk;
}

AnswerEnd readAnswerLine(std::string& line) {
    // Read here rather than through std::cin, so that a line that came with the one before
    // is not hidden in a buffer that poll cannot see.
    static std::string pending;
    for (;;) {
        const std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return AnswerEnd::Line;
        }
        pollfd fds[2] = {{interruptPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return AnswerEnd::End;
        }
        if (fds[0].revents != 0) {
            // The terminal echoed "^C" on the prompt's line: what follows starts a line anew.
            if (isatty(STDOUT_FILENO) != 0)
                std::fputs("\n", stdout);
            return AnswerEnd::Interrupted;
        }
        char block[4096];
        const ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A Ctrl+C that came with the end of the input (its handler ran as poll returned).
            pollfd interrupt = {interruptPipe[0], POLLIN, 0};
            if (::poll(&interrupt, 1, 0) > 0)
                return AnswerEnd::Interrupted;
            if (pending.empty())
                return AnswerEnd::End;
            line = std::move(pending);
            pending.clear();
            return AnswerEnd::Line;
        }
        pending.append(block, static_cast<std::size_t>(n));
    }
}

namespace {
int sessionArgc = 1;
char sessionName[] = "zuvela-cli";
char* sessionArgv[] = {sessionName, nullptr};
} // namespace

SendSession::SendSession()
    : application_(std::make_unique<QCoreApplication>(sessionArgc, sessionArgv)) {
    armInterrupt();
}

SendSession::~SendSession() = default;

int playOnSoundCard(const std::vector<uint8_t>& samples, const std::string& device) {
    SendSession session;
    return sendToSoundCard(samples, device);
}

int playOnSpeaker(const std::vector<ToneSegment>& segments) {
    SendSession session;
    return sendToSpeaker(segments);
}

int playChecked(const std::vector<uint8_t>& samples, const std::vector<ToneSegment>& segments,
                const SendRequest& request) {
    SendSession session;
    return sendToSoundCard(samples, request.output.device, &request, &segments);
}

int playLevelCheck(const std::vector<uint8_t>& samples, const LevelRequest& request) {
    SendSession session;
    CheckRecording recording;
    QString message;
    if (!recording.start(request.input, message))
        throw Failure(cliText(message));
    settle(300);
    if (const int status = sendToSoundCard(samples, request.device); status != kExitOk)
        return status;
    settle(400);
    const LevelAdvice advice =
        adviseLevel(readLevel(recording.finish()), request.expert.values().amplitude);
    writeAll(stdout, advice.text + "\n", "Standardausgabe");
    return advice.ok() ? kExitOk : kExitFailure;
}

int listDevices() {
    std::vector<platform::AlsaDevice> devices = platform::alsaPlaybackDevices();
    if (devices.empty())
        throw Failure("ALSA nennt keine Ausgabegeräte.");
    // The system's default first: it is what send uses without --device.
    std::stable_partition(devices.begin(), devices.end(),
                          [](const platform::AlsaDevice& d) { return d.name == "default"; });
    std::size_t width = 0;
    for (const platform::AlsaDevice& d : devices)
        width = std::max(width, d.name.size());
    std::string text;
    for (const platform::AlsaDevice& d : devices) {
        std::string line = d.name;
        if (!d.description.empty())
            line += std::string(width - d.name.size() + 2, ' ') + d.description;
        text += line + '\n';
    }
    writeAll(stdout, text, "Standardausgabe");
    return kExitOk;
}

} // namespace cli
