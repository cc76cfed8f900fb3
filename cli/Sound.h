// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What plays sound, in zuvela-cli's sound part: a program of its own (zuvela-cli-sound), the
// only one that loads Qt and ALSA. zuvela-cli itself, on reaching one of these, hands the whole
// command line over to it (SoundHandOver.cpp), before it has written any output; standard input
// that -f - read goes along. The sound part runs the same command again and plays. So the commands
// that play nothing start without them.
#include "Commands.h"
#include "ToneSequence.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The command line as main received it, for the hand-over.
void rememberCommandLine(char** argv);
// Set in the sound part's environment by the hand-over: the settings' notes were printed
// before it.
inline constexpr const char* kNotesShown = "ZUVELA_CLI_NOTES_SHOWN";

// Plays samples through the audio component's player on device (empty: the default), or
// segments through the PC-speaker module; the exit status of send.
int playOnSoundCard(const std::vector<uint8_t>& samples, const std::string& device);
int playOnSpeaker(const std::vector<ToneSegment>& segments);
// Plays samples as playOnSoundCard does, recording the input meanwhile, and compares what was
// heard with segments (send --check).
int playChecked(const std::vector<uint8_t>& samples, const std::vector<ToneSegment>& segments,
                const SendRequest& request);
// Plays the level check's samples on request.device, recording request.input meanwhile, and
// prints the level heard with its advice (level); exit status 0 when the level is good.
int playLevelCheck(const std::vector<uint8_t>& samples, const LevelRequest& request);
// Prints ALSA's output devices, the default first (devices).
// batch (Commands.h: runBatch) lives in the sound part too: it reads its answers there.
int listDevices();

} // namespace cli
