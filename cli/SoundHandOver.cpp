// SPDX-License-Identifier: GPL-3.0-or-later
// zuvela-cli's side of the sound part: a command that plays hands its command line over to
// zuvela-cli-sound, which replaces this process (same process, same input and output, same exit
// status and signals). It lies beside zuvela-cli in the build and in ../libexec/zuvela when
// installed.
#include "Sound.h"

#include "SystemErrorText.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace cli {

namespace {

char** commandLine = nullptr;

// The folder this program was started from, with a final slash; empty when it cannot be named.
std::string ownFolder() {
    std::array<char, PATH_MAX> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0)
        return {};
    const std::string self(path.data(), static_cast<std::size_t>(length));
    return self.substr(0, self.rfind('/') + 1);
}

[[noreturn]] void handOver() {
    const std::string folder = ownFolder();
    std::fflush(stdout);
    std::fflush(stderr);
    int error = ENOENT;
    for (const char* place : {"zuvela-cli-sound", "../libexec/zuvela/zuvela-cli-sound"}) {
        const std::string program = folder + place;
        if (!folder.empty() && commandLine != nullptr)
            execv(program.c_str(), commandLine);
        if (errno != ENOENT)
            error = errno;
    }
    throw Failure("Der Tonteil von zuvela-cli (zuvela-cli-sound) lässt sich nicht starten (" +
                  platform::systemErrorText(error) + ").");
}

} // namespace

void rememberCommandLine(char** argv) {
    commandLine = argv;
}

int playOnSoundCard(const std::vector<uint8_t>& /*samples*/, const std::string& /*device*/) {
    handOver();
}

int playOnSpeaker(const std::vector<ToneSegment>& /*segments*/) {
    handOver();
}

int playChecked(const std::vector<uint8_t>& /*samples*/,
                const std::vector<ToneSegment>& /*segments*/, const SendRequest& /*request*/) {
    handOver();
}

int playLevelCheck(const std::vector<uint8_t>& /*samples*/, const LevelRequest& /*request*/) {
    handOver();
}

int listDevices() {
    handOver();
}

// batch reads its answers and sends in the sound part; here its options are only checked.
int runBatch(Args& args) {
    (void)parseBatch(args);
    handOver();
}

} // namespace cli
