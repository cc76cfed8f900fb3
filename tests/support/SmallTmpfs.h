// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small tmpfs of the test's own over a fresh folder, to run a file system full on purpose.
// Mounting needs root; skipReason() says why it could not be had.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

class SmallTmpfs {
public:
    SmallTmpfs(const std::filesystem::path& dir, std::size_t bytes) : dir_(dir) {
        std::filesystem::create_directories(dir_);
        const std::string options = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
        else
            reason_ = std::string("cannot mount a tmpfs (needs root): ") + std::strerror(errno);
    }
    ~SmallTmpfs() {
        if (mounted_)
            ::umount2(dir_.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    const std::string& skipReason() const { return reason_; }
    const std::filesystem::path& dir() const { return dir_; }

    // Fills it with a file of its own until about `room` bytes are left.
    void leave(std::size_t room) {
        struct statvfs st {};
        ::statvfs(dir_.c_str(), &st);
        const std::size_t free = std::size_t(st.f_bavail) * st.f_frsize;
        const int fd = ::open((dir_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const std::vector<char> block(free > room ? free - room : 0, 'f');
        [[maybe_unused]] const ssize_t n = ::write(fd, block.data(), block.size());
        ::close(fd);
    }

private:
    std::filesystem::path dir_;
    bool mounted_ = false;
    std::string reason_;
};
