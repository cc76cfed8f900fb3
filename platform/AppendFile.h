// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file that is only ever appended to, each line on the disk before the next is written: the
// record of a fleet list's sends. Plain POSIX, no Qt.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Opening or appending failed; what() is the German reason (systemErrorText).
class AppendFileError : public std::runtime_error {
public:
    explicit AppendFileError(int errnum);
    int errnum() const noexcept { return errnum_; }

private:
    int errnum_;
};

class AppendFile {
public:
    // Opens (or creates) file for appending, so that a file that cannot be written is found
    // before anything happens that needs it. Only a regular file is opened; a folder, a device
    // or a pipe is refused (EISDIR, ENODEV). Throws AppendFileError.
    explicit AppendFile(const std::filesystem::path& file);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Whether the file held nothing when it was opened (a new record needs its header).
    bool wasEmpty() const noexcept { return wasEmpty_; }
    // The open file, for a signal handler that must append a last line with write and fsync
    // alone (both safe there) before it ends the program.
    int descriptor() const noexcept { return fd_; }

    // Writes line (with its line end) at the end of the file and syncs it to the disk. When the
    // file ended in a line broken off (a killed program), that line is left as it is and a
    // line end goes first. Throws AppendFileError; what was written of a failed line stays.
    void append(std::string_view line);

private:
    int fd_ = -1;
    bool wasEmpty_ = true;
    bool needsLineEnd_ = false;
};

} // namespace platform
