// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a program as a child process and collects what it wrote and how it ended.
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1; // -1 when it ended by a signal
    std::string out;
    std::string err;
};

// Runs program with args in the current folder, stdin from /dev/null; waits for its end.
// With stderrTerminal, its stderr is a pseudo-terminal (what a user at a terminal sees).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         bool stderrTerminal = false);

} // namespace testsupport
