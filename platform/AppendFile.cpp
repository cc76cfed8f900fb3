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

AppendFile::AppendFile(const std::filesystem::path& file) {
    // O_NONBLOCK: opening a pipe must not wait for a reader; it is refused below anyway.
    fd_ = ::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd_ < 0)
        throw AppendFileError(errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int errnum = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
        ::close(fd_);
        throw AppendFileError(errnum);
    }
    ::fcntl(fd_, F_SETFL, O_APPEND);
    wasEmpty_ = st.st_size == 0;
    if (!wasEmpty_) {
        char last = 0;
        if (::pread(fd_, &last, 1, st.st_size - 1) == 1)
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
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int errnum = errno;
            if (done > 0)
                needsLineEnd_ = bytes[done - 1] != '\n';
            throw AppendFileError(errnum);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd_) != 0)
        throw AppendFileError(errno);
    needsLineEnd_ = !bytes.empty() && bytes.back() != '\n';
}

} // namespace platform
