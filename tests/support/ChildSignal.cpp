// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ChildSignal.h"

#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace testsupport {

bool isChildPid(qint64 pid) {
    return pid > 0 && pid != qint64(::getpid());
}

bool signalChild(const QProcess& process, int signal) {
    // QProcess reaps its child only from its own calls (the event loop, waitFor...), which run
    // on this thread: while it still reports the child running, the PID is the child's, a
    // zombie at worst, and cannot have been handed to another process.
    if (process.state() != QProcess::Running)
        return false;
    const qint64 pid = process.processId();
    if (!isChildPid(pid))
        return false;
    return ::kill(static_cast<pid_t>(pid), signal) == 0;
}

} // namespace testsupport
