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
#include <sys/mman.h>
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

// The sound part reads the settings again, but says nothing of them that was said here.
// Standard input that -f - has read is used up: the sound part gets the same bytes as its
// standard input, in a memory file.
void handOverStandardInput() {
    ::setenv(kNotesShown, "1", 1);
    const std::string* bytes = standardInputRead();
    if (bytes == nullptr)
        return;
    const int fd = memfd_create("zuvela-cli-standardeingabe", 0);
    int error = fd < 0 ? errno : 0;
    for (std::size_t done = 0; error == 0 && done < bytes->size();) {
        const ssize_t n = ::write(fd, bytes->data() + done, bytes->size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            error = errno;
    }
    if (error == 0 && (::lseek(fd, 0, SEEK_SET) != 0 || ::dup2(fd, STDIN_FILENO) < 0))
        error = errno;
    if (fd >= 0)
        ::close(fd);
    if (error != 0)
        throw Failure("Die Standardeingabe lässt sich nicht an den Tonteil von zuvela-cli "
                      "übergeben (" +
                      platform::systemErrorText(error) + ").");
}

[[noreturn]] void handOver() {
    const std::string folder = ownFolder();
    handOverStandardInput();
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
