// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real-time scheduling for the thread that feeds a sound device, as sound programs on Linux
// desktops ask for it.

namespace platform {

// Asks for SCHED_FIFO for the calling thread: directly where the process may, otherwise from
// the desktop's real-time service over the system bus; failing both, for a higher priority.
// Says nothing where everything is refused: the thread then plays as it is.
void makeThisThreadRealtime();

} // namespace platform
