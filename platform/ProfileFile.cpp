// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF"; // UTF-8

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Lower case of a Windows-1252 letter; other bytes stay.
unsigned char foldCase(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A: // S with caron
    case 0x8C: // OE
    case 0x8E: // Z with caron
        return static_cast<unsigned char>(c + 0x10);
    case 0x9F: // Y with diaeresis
        return 0xFF;
    default:
        return c;
    }
}

bool equalNames(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldCase(static_cast<unsigned char>(a[i])) !=
            foldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isQuotedPair(std::string_view v) {
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

struct Line {
    enum Kind { Skipped, Section, Entry } kind = Skipped;
    std::string_view name;  // section or key, trimmed
    std::string_view value; // entry value, trimmed and unquoted
};

Line parseLine(std::string_view raw) {
    // As in the system's C strings, a NUL ends the text; it never reaches a caller.
    const std::string_view line = trim(raw.substr(0, raw.find('\0')));
    if (line.empty() || line.front() == ';')
        return {};
    if (line.front() == '[') {
        const std::string_view inner = line.substr(1);
        return {Line::Section, trim(inner.substr(0, inner.find(']'))), {}};
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return {};
    const std::string_view key = trim(line.substr(0, eq));
    if (key.empty())
        return {};
    std::string_view value = trim(line.substr(eq + 1));
    if (isQuotedPair(value))
        value = value.substr(1, value.size() - 2);
    return {Line::Entry, key, value};
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Closes a descriptor and removes the temporary file unless the save went through.
class TempFile {
public:
    TempFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0)
            ::close(fd_);
        if (!name_.empty())
            ::unlink(name_.c_str());
    }
    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void keep() { name_.clear(); }

private:
    int fd_;
    std::string name_;
};

[[noreturn]] void fail(const std::filesystem::path& shown, int err) {
    throw ProfileWriteError(shown, std::error_code(err, std::generic_category()));
}

// A new file in folder, created exclusively so that nothing else is ever overwritten; its
// permissions follow the process's umask, as a newly created target's would.
TempFile createTemp(const std::filesystem::path& folder, const std::string& base,
                    const std::filesystem::path& shown) {
    static std::atomic<unsigned> counter{0};
    const auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict) about "." + string at -O2.
        std::string hidden(1, '.');
        hidden += base.substr(0, 100);
        hidden += '.' + std::to_string(::getpid());
        hidden += '.' + std::to_string(seed % 1000000);
        hidden += '.' + std::to_string(counter++);
        hidden += ".tmp";
        const std::string name = (folder / hidden).string();
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0)
            return TempFile(fd, name);
        if (errno != EEXIST)
            fail(shown, errno);
    }
    fail(shown, EEXIST);
}

// 0, or the error that stopped the writing.
int writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace

ProfileWriteError::ProfileWriteError(std::filesystem::path file, std::error_code cause)
    : std::runtime_error("Unable to write to " + file.string()), file_(std::move(file)),
      cause_(cause) {}

ProfileFile ProfileFile::fromText(std::string_view text) {
    ProfileFile profile;
    profile.byteOrderMark_ = text.starts_with(byteOrderMark);
    if (profile.byteOrderMark_)
        text.remove_prefix(byteOrderMark.size());
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            profile.lines_.emplace_back(text);
            break;
        }
        profile.lines_.emplace_back(text.substr(0, end));
        const std::size_t next =
            (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? end + 2
                                                                                  : end + 1;
        text.remove_prefix(next);
    }
    return profile;
}

ProfileFile ProfileFile::load(const std::filesystem::path& file) {
    LoadProblem problem = LoadProblem::None;
    return load(file, maxFileSize, problem);
}

namespace {

ProfileFile::LoadProblem kindProblem(const struct stat& st, std::uintmax_t maxSize) {
    using P = ProfileFile::LoadProblem;
    if (S_ISDIR(st.st_mode))
        return P::Folder;
    if (!S_ISREG(st.st_mode))
        return P::NotAFile;
    return static_cast<std::uintmax_t>(st.st_size) > maxSize ? P::TooLarge : P::None;
}

} // namespace

ProfileFile ProfileFile::load(const std::filesystem::path& file, std::uintmax_t maxSize,
                              LoadProblem& problem) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        problem =
            errno == ENOENT || errno == ENOTDIR ? LoadProblem::Missing : LoadProblem::Unreadable;
        return {};
    }
    if ((problem = kindProblem(st, maxSize)) != LoadProblem::None)
        return {};
    // Non-blocking, so that a file replaced by a pipe since cannot hang the program.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem = LoadProblem::Unreadable;
        return {};
    }
    std::string content;
    if (::fstat(fd, &st) != 0)
        problem = LoadProblem::Unreadable;
    else
        problem = kindProblem(st, maxSize);
    if (problem == LoadProblem::None) {
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (problem == LoadProblem::None) {
            if (done == content.size()) {
                // The file may have grown since fstat; read on, within the limit.
                if (content.size() > maxSize)
                    problem = LoadProblem::TooLarge;
                else
                    content.resize(content.size() + 4096);
                continue;
            }
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                problem = LoadProblem::Unreadable;
            else if (n == 0)
                break;
            else
                done += static_cast<std::size_t>(n);
        }
        content.resize(done);
    }
    ::close(fd);
    return problem == LoadProblem::None ? fromText(content) : ProfileFile{};
}

bool ProfileFile::hasSection(std::string_view section) const {
    // std::any_of, not std::ranges: the engine's WebAssembly build has an older libc++.
    return std::any_of(lines_.begin(), lines_.end(), [section](const std::string& raw) {
        const Line line = parseLine(raw);
        return line.kind == Line::Section && equalNames(line.name, section);
    });
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    bool inSection = false;
    for (const std::string& raw : lines_) {
        const Line line = parseLine(raw);
        if (line.kind == Line::Section)
            inSection = equalNames(line.name, section);
        else if (inSection && line.kind == Line::Entry && equalNames(line.name, key))
            return std::string(line.value);
    }
    return std::string(def);
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (hasLineBreak(section) || section.find(']') != std::string_view::npos ||
        trim(section) != section)
        throw std::invalid_argument("profile section name cannot be written");
    if (hasLineBreak(key) || key.find('=') != std::string_view::npos || key.empty() ||
        trim(key) != key || key.front() == ';' || key.front() == '[')
        throw std::invalid_argument("profile key name cannot be written");
    if (hasLineBreak(value))
        throw std::invalid_argument("profile value cannot hold a line break or NUL");

    std::string encoded(value);
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || isQuotedPair(value)))
        encoded = "\"" + encoded + "\"";

    // Where a new key goes: after the section's last entry, else after its first header.
    std::size_t insertAt = 0;
    bool found = false;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line line = parseLine(lines_[i]);
        if (line.kind == Line::Section) {
            inSection = equalNames(line.name, section);
            if (inSection && !found) {
                found = true;
                insertAt = i + 1;
            }
        } else if (inSection && line.kind == Line::Entry) {
            if (equalNames(line.name, key)) {
                lines_[i] = std::string(line.name) + "=" + encoded;
                return;
            }
            insertAt = i + 1;
        }
    }
    std::string entry = std::string(key) + "=" + encoded;
    if (found) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    } else {
        std::string header(1, '[');
        header.append(section);
        header += ']';
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(entry));
    }
}

std::string ProfileFile::text() const {
    std::string out(byteOrderMark_ ? byteOrderMark : "");
    for (const std::string& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void ProfileFile::save(const std::filesystem::path& file) const {
    replaceFileContent(file, text());
}

namespace {

// "." NAME "." pid "." seed "." counter ".tmp", as createTemp names them.
bool isOurTemp(const std::string& name) {
    if (name.size() < 12 || name.front() != '.' || !name.ends_with(".tmp"))
        return false;
    std::string_view rest(name);
    rest.remove_suffix(4);
    for (int field = 0; field < 3; ++field) {
        const std::size_t dot = rest.rfind('.');
        if (dot == std::string_view::npos || dot + 1 == rest.size() || dot == 0)
            return false;
        for (char c : rest.substr(dot + 1))
            if (c < '0' || c > '9')
                return false;
        rest = rest.substr(0, dot);
    }
    return true;
}

// Temporary files of a save that was killed half-way; an hour leaves a running save alone.
void removeStaleTemps(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto limit = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (isOurTemp(path.filename().string()) && it->is_regular_file(ec) && !it->is_symlink(ec) &&
            it->last_write_time(ec) < limit && !ec)
            fs::remove(path, ec);
    }
}

} // namespace

namespace {

// Whether the folder is the system's temporary folder or lies in it: what is written there is
// not kept for good, so it is not forced to the disk.
bool inTemporaryFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::weakly_canonical(folder, ec);
    if (ec)
        return false;
    std::vector<std::filesystem::path> temporary = {"/tmp", "/var/tmp", "/dev/shm"};
    if (const std::filesystem::path system = std::filesystem::temp_directory_path(ec); !ec)
        temporary.push_back(std::filesystem::weakly_canonical(system, ec));
    return std::any_of(temporary.begin(), temporary.end(), [&](const std::filesystem::path& t) {
        const auto [end, rest] = std::mismatch(t.begin(), t.end(), real.begin(), real.end());
        return !t.empty() && end == t.end();
    });
}

} // namespace

void replaceFileContent(const std::filesystem::path& file, std::string_view content) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path shown = fs::absolute(file, ec);
    if (ec)
        shown = file;
    if (file.empty() || !file.has_filename())
        fail(shown, EISDIR);

    // Through a symbolic link the linked file is replaced, not the link.
    fs::path target = shown;
    if (fs::is_symlink(target, ec)) {
        const fs::path real = fs::canonical(target, ec);
        if (!ec)
            target = real;
    }

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        fail(shown, errno);
    if (exists) {
        if (!S_ISREG(st.st_mode))
            fail(shown, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        // Renaming would replace even a file we may not write: honour its protection.
        if ((st.st_mode & 0222) == 0)
            fail(shown, EACCES);
        const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            fail(shown, errno);
        ::close(probe);
    }

    TempFile temp = createTemp(target.parent_path(), target.filename().string(), shown);
    if (exists) {
        // The replacement keeps the old file's permissions and, where allowed, its owner.
        if (::fchmod(temp.fd(), st.st_mode & 07777) != 0)
            fail(shown, errno);
        [[maybe_unused]] const int ignored = ::fchown(temp.fd(), st.st_uid, st.st_gid);
    }
    if (const int err = writeAll(temp.fd(), content))
        fail(shown, err);
    const bool durable = !inTemporaryFolder(target.parent_path());
    if (durable && ::fsync(temp.fd()) != 0)
        fail(shown, errno);
    if (temp.close() != 0)
        fail(shown, errno);
    if (::rename(temp.name().c_str(), target.c_str()) != 0)
        fail(shown, errno);
    temp.keep();
    removeStaleTemps(target.parent_path());

    // Make the rename itself durable; the content is already safe, so a failure here is moot.
    const int dir =
        durable ? ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace platform
