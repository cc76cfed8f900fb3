// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps a test process away from the user's own folders and from the other test processes:
// it works in a fresh folder of its own, settings go to a folder inside it, and the cache
// folder is a plain file, so that the player falls back to the working directory (a test that
// wants the cache folder sets XDG_CACHE_HOME itself). Plain C++: the mains with and without
// Qt share it.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unistd.h>

namespace testsupport {

class OwnWorkFolder {
public:
    // Creates run-XXXXXX in the current folder (ctest's working folder of the program) and
    // makes it the current folder.
    OwnWorkFolder() {
        std::string pattern = (std::filesystem::current_path() / "run-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a working folder in " +
                                     std::filesystem::current_path().string());
        dir_ = pattern;
        std::filesystem::current_path(dir_);
        const std::filesystem::path config = dir_ / "config";
        std::filesystem::create_directories(config);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        const std::filesystem::path noCache = dir_ / "no-cache";
        const std::ofstream created(noCache);
        ::setenv("XDG_CACHE_HOME", noCache.c_str(), 1);
    }
    // Leaves it and removes it with what the tests left there.
    ~OwnWorkFolder() {
        std::error_code ignored;
        std::filesystem::current_path(dir_.parent_path(), ignored);
        std::filesystem::remove_all(dir_, ignored);
    }
    OwnWorkFolder(const OwnWorkFolder&) = delete;
    OwnWorkFolder& operator=(const OwnWorkFolder&) = delete;

    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path dir_;
};

} // namespace testsupport
