// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The speaker is never left sounding: whatever real device is open is switched off when the
// program ends, normally or by SIGTERM, SIGINT, SIGHUP or SIGQUIT.

namespace platform {

enum class SpeakerOffKind : int { None, EventDevice, Console, Ports };

// Remembers how to silence the device just opened (the devices call these themselves).
void armSpeakerOff(SpeakerOffKind kind, int fd);
// Forgets it, unless another device has been armed since.
void disarmSpeakerOff(SpeakerOffKind kind, int fd);
// Switches the armed device off. Async-signal-safe: plain system calls or port instructions.
void speakerOffNow();
// Once per process: speakerOffNow at exit and on the four termination signals, which then end
// the program as they would have. A signal the program ignores or handles itself is left alone.
void installSpeakerOffOnExit();

} // namespace platform
