// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/RunProcess.h"

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         bool stderrTerminal) {
    // Files, not pipes: the child can write any amount without waiting for us.
    // Named per test process: ctest runs the tests of one program side by side in its folder.
    const std::string stem = "process-" + std::to_string(getpid());
    const std::string outFile = stem + ".out";
    const std::string errFile = stem + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    int master = -1;
    int terminal = -1;
    if (stderrTerminal) {
        if (openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("no pseudo-terminal");
        posix_spawn_file_actions_adddup2(&actions, terminal, 2);
        posix_spawn_file_actions_addclose(&actions, master);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    ProcessResult result;
    if (stderrTerminal) {
        close(terminal);
        // Read until the child's side is gone, so that the terminal never fills up.
        char buffer[4096];
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
            result.err.append(buffer, static_cast<std::size_t>(n));
        close(master);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        ;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outFile);
    if (!stderrTerminal)
        result.err = slurp(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return result;
}

} // namespace testsupport
