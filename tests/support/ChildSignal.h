// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one way the tests signal a child process. ::kill with a PID of 0 signals the whole
// process group (the test, ctest, the test script and CI with it), -1 every process we may
// signal, and a PID whose child has ended and been reaped may already belong to another
// process. So a signal goes only to a child that QProcess still runs, by its own PID (> 0).
#include <QtGlobal>

class QProcess;

namespace testsupport {

// Sends signal to the child that process runs. Sends nothing and returns false when the
// child is not running (not started, or ended and reaped: QProcess then reports PID 0).
bool signalChild(const QProcess& process, int signal);

// The check itself: whether a PID may be signalled as one child's (> 0, and not this
// process's own).
bool isChildPid(qint64 pid);

} // namespace testsupport
