// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real sound server for a test: a private D-Bus session bus, PipeWire and WirePlumber in a
// runtime folder of their own, a null sink running at 22050 Hz, and a recorder of the sink's
// monitor. ALSA's "default" is routed to this server through the test's own ALSA
// configuration (ALSA_CONFIG_PATH), for as long as the object lives. Every process is started
// and stopped by its PID.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace testsupport {

class PipeWireServer {
public:
    // Starts nothing yet; see start().
    PipeWireServer();
    ~PipeWireServer();
    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    // Why the server cannot run here (a program or the ALSA plugin is not installed); empty
    // when it can.
    QString missing() const;

    // Starts bus, server, session manager and sink, then the recorder; false with error()
    // when something did not come up in time.
    bool start();
    // Stops everything started, the recorder first.
    void stop();
    // Kills the server process alone (SIGKILL), as a crash would.
    void killServer();
    // Sends signal (SIGSTOP, SIGCONT) to the server process while it runs; false when it does
    // not run, and then nothing is signalled.
    bool signalServer(int signal) const;
    const QString& error() const { return error_; }

    // The recorded monitor of the sink so far: signed 16-bit mono samples at 22050 Hz, from
    // when the recorder started.
    std::vector<int16_t> recorded() const;
    // The same from sample `from` on (empty when it holds no more).
    std::vector<int16_t> recorded(std::size_t from) const;
    // How many samples the recording holds so far (by the file's size, without reading it).
    std::size_t recordedCount() const;
    // Process ids of the server and the session manager (0 when not running), for
    // measuring what they cost; never for signalling them (signalServer does that).
    qint64 serverPid() const;
    qint64 sessionManagerPid() const;
    // The file the recorder writes (grows while it runs).
    const std::filesystem::path& recordFile() const { return record_; }
    // ALSA configurations for a child process (ALSA_CONFIG_PATH): "default" through PipeWire's
    // ALSA plugin (as this process has it), or through ALSA's PulseAudio plugin into the
    // server's PulseAudio layer. The latter is empty when that layer or plugin is not
    // installed. The children find the server through the runtime folder in their environment.
    const std::filesystem::path& alsaConfig() const { return alsaConfig_; }
    std::filesystem::path pulseAlsaConfig() const;
    // The environment a child needs to reach the server on either path.
    QStringList childEnvironment(const std::filesystem::path& alsaConfig) const;

    static constexpr int sampleRate = 22050;

private:
    std::unique_ptr<QProcess> spawn(const QString& program, const QStringList& args);
    bool run(const QString& program, const QStringList& args, int timeoutMs);
    bool waitFor(const std::function<bool()>& ready, int timeoutMs);
    static void end(std::unique_ptr<QProcess>& process, int signal);

    std::filesystem::path dir_;
    std::filesystem::path record_;
    std::filesystem::path alsaConfig_;
    std::unique_ptr<QProcess> bus_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> sessionManager_;
    std::unique_ptr<QProcess> recorder_;
    std::unique_ptr<QProcess> pulse_; // PipeWire's PulseAudio layer, where installed
    QString error_;
    bool hadAlsaConfig_ = false;
    std::string previousAlsaConfig_;
    bool hadRuntimeDir_ = false;
    std::string previousRuntimeDir_;
};

} // namespace testsupport
