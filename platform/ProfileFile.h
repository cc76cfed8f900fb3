// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Profile (INI) files, read and written by section and key, as the programming-data files use
// them. All text is Windows-1252 bytes, as it stands on disk; file names are native (UTF-8).
//
// Reading rules:
// - section and key names are compared without regard to letter case (ASCII and the letters
//   of Windows-1252); blanks (space, tab) around names and values are ignored;
// - one pair of equal quotes ("..." or '...') around a value is removed;
// - blank lines and lines starting with ';' are skipped, as are lines without '=' inside a
//   section and everything before the first section;
// - CR LF, LF and a lone CR all end a line; the last line needs no line end; a leading UTF-8
//   byte order mark is skipped;
// - a line starting with '[' opens a section named by the text up to the first ']' (or up to
//   the line end when ']' is missing);
// - a key given twice: the first occurrence wins; a section given twice: its parts are read as
//   one section, in file order (so a key is found even when only the later part holds it);
// - a NUL byte ends the line's text, as in the system's C strings (so no read returns one);
//   any other byte is an ordinary character.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

// A save that failed; what() is "Unable to write to <full name>" (no period: the default error
// box adds it). The old file, if any, is unchanged and no temporary file is left behind.
class ProfileWriteError : public std::runtime_error {
public:
    ProfileWriteError(std::filesystem::path file, std::error_code cause);
    // The absolute name that the message quotes.
    const std::filesystem::path& file() const noexcept { return file_; }
    // Why it failed, for diagnostics only; the message does not include it.
    std::error_code cause() const noexcept { return cause_; }

private:
    std::filesystem::path file_;
    std::error_code cause_;
};

// Replaces a regular file's content (or creates it) without ever losing the old one: the
// content goes to a temporary file ".NAME.*.tmp" in the same folder, is flushed to disk (but in
// the system's temporary folder, whose files are not kept for good) and renamed over the target;
// temporary files there that a killed save left behind over an hour ago are removed then. A target
// that is not a regular file, or write-protected, is refused. Throws ProfileWriteError on any
// failure.
void replaceFileContent(const std::filesystem::path& file, std::string_view content);

class ProfileFile {
public:
    // Larger files are not profiles: they load as empty (and a read never ends up reading
    // gigabytes that the user picked by mistake).
    static constexpr std::uintmax_t maxFileSize = 64 * 1024 * 1024;

    ProfileFile() = default;
    // The profile that the given file content holds.
    static ProfileFile fromText(std::string_view text);
    // Reads a file. One that cannot be read (missing, a folder, a device or pipe, too large)
    // gives an empty profile, in which every read returns its default.
    static ProfileFile load(const std::filesystem::path& file);
    // Why load gave an empty profile.
    enum class LoadProblem { None, Missing, Folder, NotAFile, TooLarge, Unreadable };
    // As load, with a limit of maxSize bytes, telling why it read nothing. A folder, device or
    // pipe is not even opened.
    static ProfileFile load(const std::filesystem::path& file, std::uintmax_t maxSize,
                            LoadProblem& problem);

    // Whether a section of that name stands in the file (even without entries).
    bool hasSection(std::string_view section) const;

    // The value of key in section, or def when the section or key is missing.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;

    // Sets key in section. An existing key gets the new value in its line; a new key goes after
    // the last entry of its section, a new section to the end. Written as "key=value". A value
    // that the reader would change (blanks or a pair of quotes around it) is put in double
    // quotes, so that it reads back as written. Throws std::invalid_argument for a line break or
    // NUL in any argument, or a section or key name that could not be read back.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    // The file content: every line ended by CR LF (after the byte order mark, if one was read).
    std::string text() const;

    // Saves without ever losing the old file: the content goes to a temporary file in the same
    // folder, is flushed to disk and renamed over the target. A target that is write-protected
    // (its write permission denied, or no write permission bit set at all, as the read-only
    // attribute of the system) is not replaced. Throws ProfileWriteError on any failure.
    void save(const std::filesystem::path& file) const;

private:
    std::vector<std::string> lines_;
    bool byteOrderMark_ = false; // written back, so that text() reads as the original
};

} // namespace platform
