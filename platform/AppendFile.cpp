// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppendFile.h"

#include "SystemErrorText.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

AppendFileError::AppendFileError(int errnum)
    : std::runtime_error(systemErrorText(errnum)), errnum_(errnum) {}

AppendFileError::AppendFileError(int errnum, const std::string& reason)
    : std::runtime_error(reason), errnum_(errnum) {}

namespace {

// A name that could not be opened: a link is called so, not "too many levels of links".
[[noreturn]] void refuseOpen(const std::filesystem::path& file, int errnum) {
    struct stat st {};
    if (errnum == ELOOP && ::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        throw AppendFileError(ELOOP, "ist ein Verweis");
    throw AppendFileError(errnum); // a folder: "ist ein Ordner"
}

// O_NONBLOCK: opening a pipe must not wait for its other end; it is refused right after.
int openChecked(const std::filesystem::path& file, int flags, bool ownOnly) {
    const int fd =
        ::open(file.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int errnum = errno;
        ::close(fd);
        throw AppendFileError(errnum);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (S_ISDIR(st.st_mode))
            throw AppendFileError(EISDIR);
        throw AppendFileError(ENODEV, "ist keine Datei");
    }
    if (ownOnly && st.st_uid != ::geteuid()) {
        ::close(fd);
        throw AppendFileError(EPERM, "gehört einem anderen Benutzer");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return; // the file is there; only its survival of a power cut is less certain
    (void)::fsync(fd);
    ::close(fd);
}

} // namespace

AppendFile::AppendFile(const std::filesystem::path& file) {
    fd_ = openChecked(file, O_RDWR | O_APPEND | O_CREAT | O_EXCL, true);
    const bool created = fd_ >= 0;
    if (!created && errno == EEXIST)
        fd_ = openChecked(file, O_RDWR | O_APPEND, true);
    if (fd_ < 0)
        refuseOpen(file, errno);
    if (created)
        syncFolderOf(file);
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    wasEmpty_ = size <= 0;
    if (!wasEmpty_) {
        char last = 0;
        if (::pread(fd_, &last, 1, size - 1) == 1)
            needsLineEnd_ = last != '\n';
    }
}

AppendFile::~AppendFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void AppendFile::append(std::string_view line) {
    std::string bytes = needsLineEnd_ ? std::string("\r\n") : std::string();
    bytes += line;
    struct stat before {};
    if (::fstat(fd_, &before) != 0)
        throw AppendFileError(errno);
    // One write for the whole line, so that a line is never split by another program's; only
    // a short write (a full disk) needs a second for its error.
    std::size_t done = 0;
    int errnum = 0;
    while (done < bytes.size() && errnum == 0) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0)
            errnum = EIO;
        else if (errno != EINTR)
            errnum = errno;
    }
    if (errnum == 0 && ::fsync(fd_) != 0)
        errnum = errno;
    if (errnum != 0) {
        // Nothing of a line that failed stays: the record holds whole lines only.
        if (::ftruncate(fd_, before.st_size) == 0)
            (void)::fsync(fd_);
        throw AppendFileError(errnum);
    }
    needsLineEnd_ = !bytes.empty() && bytes.back() != '\n';
}

std::string readRecordBytes(const std::filesystem::path& file, std::size_t limit) {
    const int fd = openChecked(file, O_RDONLY, false);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        refuseOpen(file, errno);
    }
    std::string bytes;
    char block[65536];
    int errnum = 0;
    while (bytes.size() <= limit) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n > 0)
            bytes.append(block, static_cast<std::size_t>(n));
        else if (n == 0)
            break;
        else if (errno != EINTR) {
            errnum = errno;
            break;
        }
    }
    ::close(fd);
    if (errnum != 0)
        throw AppendFileError(errnum);
    if (bytes.size() > limit)
        throw AppendFileError(EFBIG,
                              "ist größer als " + std::to_string(limit / (1024 * 1024)) + " MB");
    return bytes;
}

} // namespace platform
