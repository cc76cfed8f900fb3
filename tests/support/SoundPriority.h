// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sound that is checked sample for sample must not wait for the CPU: on a busy machine (CI,
// other builds, stress-ng beside the tests) a playing thread that is held up breaks the sound
// up, whatever the change under test. So a test that sets up real sound (ALSA's file plugin,
// a PipeWire server) raises its process to the priority that PipeWire gives the threads it
// cannot make real-time (nice -11), when it may (as root, as CI runs; otherwise it stays as
// it is). Linux keeps the priority per thread: it is set on the calling thread, and the
// threads and processes started from it afterwards (the player's thread, zuvela-cli, the
// sound server) inherit it.
#include <sys/resource.h>

namespace testsupport {

inline void raiseToSoundPriority() {
    constexpr int kSoundNice = -11;
    if (::getpriority(PRIO_PROCESS, 0) > kSoundNice)
        static_cast<void>(::setpriority(PRIO_PROCESS, 0, kSoundNice));
}

} // namespace testsupport
