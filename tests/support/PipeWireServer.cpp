// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PipeWireServer.h"
#include "support/ChildSignal.h"
#include "support/SoundPriority.h"

#include <alsa/asoundlib.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {

const char* const sinkName = "zuvela_sink";
const char* const alsaPlugin =
    "/usr/lib/x86_64-linux-gnu/alsa-lib/libasound_module_pcm_pipewire.so";
const char* const alsaPluginConfig = "/usr/share/alsa/alsa.conf.d/50-pipewire.conf";
const char* const programs[] = {"dbus-daemon", "pipewire",    "wireplumber",
                                "pw-cli",      "pw-metadata", "pw-record"};
const char* const pulsePluginConfig = "/usr/share/alsa/alsa.conf.d/50-pulseaudio.conf";

void restoreEnv(const char* name, bool had, const std::string& value) {
    if (had)
        setenv(name, value.c_str(), 1);
    else
        unsetenv(name);
}

} // namespace

PipeWireServer::PipeWireServer() {
    raiseToSoundPriority();
    std::string pattern = (std::filesystem::temp_directory_path() / "zuvela-pw-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary directory");
    dir_ = pattern;
    record_ = dir_ / "monitor.raw";
    alsaConfig_ = dir_ / "asound.conf";
    // The server's own plugin configuration, and "default" routed to it whatever the
    // system's configuration folders say (their loading hook is replaced).
    std::ofstream(alsaConfig_) << "</usr/share/alsa/alsa.conf>\n"
                                  "@hooks.!0 { func load files [ ] errors false }\n"
                                  "<"
                               << alsaPluginConfig
                               << ">\n"
                                  "pcm.!default { type pipewire playback_node \"-1\" "
                                  "capture_node \"-1\" }\n"
                                  "ctl.!default { type pipewire }\n";
    if (const char* old = std::getenv("ALSA_CONFIG_PATH")) {
        hadAlsaConfig_ = true;
        previousAlsaConfig_ = old;
    }
    if (const char* old = std::getenv("PIPEWIRE_RUNTIME_DIR")) {
        hadRuntimeDir_ = true;
        previousRuntimeDir_ = old;
    }
    setenv("ALSA_CONFIG_PATH", alsaConfig_.c_str(), 1);
    setenv("PIPEWIRE_RUNTIME_DIR", dir_.c_str(), 1);
    // ALSA unloads its plugin when a device closes; kept loaded, what the plugin leaves
    // allocated stays reachable instead of showing up as leaks of an unknown module.
    dlopen(alsaPlugin, RTLD_NOW | RTLD_NODELETE);
}

PipeWireServer::~PipeWireServer() {
    stop();
    restoreEnv("ALSA_CONFIG_PATH", hadAlsaConfig_, previousAlsaConfig_);
    restoreEnv("PIPEWIRE_RUNTIME_DIR", hadRuntimeDir_, previousRuntimeDir_);
    snd_config_update_free_global();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

QString PipeWireServer::missing() const {
    QStringList absent;
    for (const char* program : programs)
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            absent << QString::fromLatin1(program);
    for (const char* file : {alsaPlugin, alsaPluginConfig})
        if (!std::filesystem::exists(file))
            absent << QString::fromLatin1(file);
    if (absent.isEmpty())
        return {};
    return QStringLiteral("not installed: ") + absent.join(QStringLiteral(", ")) +
           QStringLiteral(" (Debian packages dbus, pipewire, wireplumber, pipewire-alsa)");
}

std::unique_ptr<QProcess> PipeWireServer::spawn(const QString& program, const QStringList& args) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString dir = QString::fromStdString(dir_.string());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + dir + QStringLiteral("/bus"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), dir + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
    env.remove(QStringLiteral("ALSA_CONFIG_PATH"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(QString::fromStdString((dir_ / "log.txt").string()),
                                   QIODevice::Append);
    process->start(program, args);
    if (!process->waitForStarted(5000)) {
        error_ = program + QStringLiteral(" did not start: ") + process->errorString();
        return nullptr;
    }
    return process;
}

bool PipeWireServer::run(const QString& program, const QStringList& args, int timeoutMs) {
    std::unique_ptr<QProcess> process = spawn(program, args);
    if (!process)
        return false;
    if (!process->waitForFinished(timeoutMs) || process->exitCode() != 0) {
        error_ =
            program + QStringLiteral(" ") + args.join(QLatin1Char(' ')) + QStringLiteral(" failed");
        end(process, SIGKILL);
        return false;
    }
    return true;
}

bool PipeWireServer::waitFor(const std::function<bool()>& ready, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QThread::msleep(10);
    }
    return true;
}

void PipeWireServer::end(std::unique_ptr<QProcess>& process, int signal) {
    if (!process)
        return;
    // A process that was stopped (SIGSTOP) ends only once it runs again.
    if (signalChild(*process, signal) && signal != SIGKILL)
        signalChild(*process, SIGCONT);
    if (!process->waitForFinished(3000) && signalChild(*process, SIGKILL))
        process->waitForFinished(3000);
    process.reset();
}

bool PipeWireServer::start() {
    error_.clear();
    const QString dir = QString::fromStdString(dir_.string());
    std::filesystem::remove(dir_ / "pipewire-0");
    std::filesystem::remove(dir_ / "bus");
    bus_ = spawn(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--address=unix:path=") + dir + QStringLiteral("/bus")});
    if (!bus_ || !waitFor([this] { return std::filesystem::exists(dir_ / "bus"); }, 5000)) {
        error_ = QStringLiteral("no session bus: ") + error_;
        return false;
    }
    server_ = spawn(QStringLiteral("pipewire"), {});
    if (!server_ ||
        !waitFor([this] { return std::filesystem::exists(dir_ / "pipewire-0"); }, 5000)) {
        error_ = QStringLiteral("PipeWire did not come up: ") + error_;
        return false;
    }
    // The graph runs at the program's rate, so nothing is resampled on the way to the sink.
    if (!run(QStringLiteral("pw-metadata"),
             {QStringLiteral("-n"), QStringLiteral("settings"), QStringLiteral("0"),
              QStringLiteral("clock.force-rate"), QString::number(sampleRate)},
             5000))
        return false;
    sessionManager_ = spawn(QStringLiteral("wireplumber"), {});
    if (!sessionManager_)
        return false;
    if (!QStandardPaths::findExecutable(QStringLiteral("pipewire-pulse")).isEmpty()) {
        std::filesystem::remove(dir_ / "pulse" / "native");
        pulse_ = spawn(QStringLiteral("pipewire-pulse"), {});
        if (pulse_ &&
            !waitFor([this] { return std::filesystem::exists(dir_ / "pulse" / "native"); }, 5000)) {
            error_ = QStringLiteral("PipeWire's PulseAudio layer did not come up");
            return false;
        }
    }
    if (!run(QStringLiteral("pw-cli"),
             {QStringLiteral("create-node"), QStringLiteral("adapter"),
              QStringLiteral("{ factory.name=support.null-audio-sink node.name=%1 "
                             "media.class=Audio/Sink object.linger=true "
                             "audio.position=[ MONO ] audio.rate=%2 }")
                  .arg(QLatin1String(sinkName))
                  .arg(sampleRate)},
             5000))
        return false;
    // The session manager takes the sink as the default once it is running.
    if (!waitFor(
            [this] {
                return run(QStringLiteral("wpctl"),
                           {QStringLiteral("inspect"), QStringLiteral("@DEFAULT_AUDIO_SINK@")},
                           2000);
            },
            10000)) {
        error_ = QStringLiteral("WirePlumber did not choose the sink: ") + error_;
        return false;
    }
    error_.clear();
    std::filesystem::remove(record_);
    // pw-record writes its file from an ordinary thread, which a busy machine starves until
    // samples are lost: where the test may, it runs ahead of every ordinary thread.
    QStringList recorder = {QStringLiteral("pw-record")};
    if (::geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("chrt")).isEmpty())
        recorder = QStringList{QStringLiteral("chrt"), QStringLiteral("-f"), QStringLiteral("10")} +
                   recorder;
    const QString program = recorder.takeFirst();
    recorder_ =
        spawn(program, recorder + QStringList{QStringLiteral("--target"), QLatin1String(sinkName),
                                              QStringLiteral("-P"),
                                              QStringLiteral("stream.capture.sink=true"),
                                              QStringLiteral("--rate"), QString::number(sampleRate),
                                              QStringLiteral("--channels"), QStringLiteral("1"),
                                              QStringLiteral("--format"), QStringLiteral("s16"),
                                              QString::fromStdString(record_.string())});
    // The sink runs on its own clock, so its monitor delivers silence from the start.
    if (!recorder_ || !waitFor(
                          [this] {
                              std::error_code ec;
                              return std::filesystem::file_size(record_, ec) > 0 && !ec;
                          },
                          10000)) {
        error_ = QStringLiteral("the monitor recording did not start: ") + error_;
        return false;
    }
    return true;
}

void PipeWireServer::killServer() {
    end(server_, SIGKILL);
}

bool PipeWireServer::signalServer(int signal) const {
    return server_ && signalChild(*server_, signal);
}

std::filesystem::path PipeWireServer::pulseAlsaConfig() const {
    if (!pulse_ || !std::filesystem::exists(pulsePluginConfig))
        return {};
    std::filesystem::path config = dir_ / "asound-pulse.conf";
    if (!std::filesystem::exists(config))
        std::ofstream(config) << "</usr/share/alsa/alsa.conf>\n"
                                 "@hooks.!0 { func load files [ ] errors false }\n"
                                 "<"
                              << pulsePluginConfig
                              << ">\n"
                                 "pcm.!default { type pulse }\n"
                                 "ctl.!default { type pulse }\n";
    return config;
}

QStringList PipeWireServer::childEnvironment(const std::filesystem::path& alsaConfig) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString dir = QString::fromStdString(dir_.string());
    env.insert(QStringLiteral("ALSA_CONFIG_PATH"), QString::fromStdString(alsaConfig.string()));
    env.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("PULSE_SERVER"),
               QStringLiteral("unix:") + dir + QStringLiteral("/pulse/native"));
    return env.toStringList();
}

void PipeWireServer::stop() {
    end(recorder_, SIGINT); // lets it write out what it holds
    end(pulse_, SIGTERM);
    end(sessionManager_, SIGTERM);
    end(server_, SIGTERM);
    end(bus_, SIGTERM);
}

qint64 PipeWireServer::serverPid() const {
    return server_ ? server_->processId() : 0;
}

qint64 PipeWireServer::sessionManagerPid() const {
    return sessionManager_ ? sessionManager_->processId() : 0;
}

std::vector<int16_t> PipeWireServer::recorded() const {
    return recorded(0);
}

std::size_t PipeWireServer::recordedCount() const {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(record_, ec);
    return ec ? 0 : std::size_t(bytes / 2);
}

std::vector<int16_t> PipeWireServer::recorded(std::size_t from) const {
    std::ifstream in(record_, std::ios::binary);
    in.seekg(std::streamoff(2 * from));
    if (!in)
        return {};
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::vector<int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
    return samples;
}

} // namespace testsupport
