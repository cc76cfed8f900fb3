// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file that is only ever appended to, each line on the disk before the next is written: the
// record of a fleet list's sends. Plain POSIX, no Qt.
//
// A record lies in a list's folder, which others may write too; so only a regular file of the
// user's own is opened, never what a link points to, a pipe or a device.
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// Opening, reading or appending failed; what() is the German reason (systemErrorText, or what
// the name is instead of a file: "ist ein Verweis", "ist ein Ordner", "ist keine Datei" for a
// pipe or a device, "gehört einem anderen Benutzer").
class AppendFileError : public std::runtime_error {
public:
    explicit AppendFileError(int errnum);
    AppendFileError(int errnum, const std::string& reason);
    int errnum() const noexcept { return errnum_; }

private:
    int errnum_;
};

class AppendFile {
public:
    // Opens (or creates) file for appending, so that a file that cannot be written is found
    // before anything happens that needs it. Only a regular file of the user's own is opened:
    // a link, a folder, a device, a pipe or another user's file is refused. A new file's folder
    // is synced, so that the file itself survives a power cut. Throws AppendFileError.
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
    // line end goes first. The line is written whole or not at all: what a failed write left
    // is cut off again. Throws AppendFileError.
    void append(std::string_view line);

private:
    int fd_ = -1;
    bool wasEmpty_ = true;
    bool needsLineEnd_ = false;
};

// The bytes of an existing record, for reading its last results; empty when there is none.
// Refuses as AppendFile does (but reads another user's file) and a file larger than limit, so
// that neither a pipe nor a huge file can stop the program. Throws AppendFileError.
std::string readRecordBytes(const std::filesystem::path& file, std::size_t limit);

} // namespace platform
