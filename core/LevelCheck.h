// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The level check before a batch: a test tone played through the output at the amplitude
// slider's value while the input records it; from the level heard, the amplitude that brings
// the input to a good level, or, where the slider's range is not enough, which way to turn
// the input's level. The dialog and zuvela-cli show the same advice, and the check at the cable
// judges a send's level by the same rule (judgeLevel).
#include "Recording.h"
#include "ToneSequence.h"

#include <string>
#include <vector>

// The test tone: 1060 Hz (the tone table's ZVEI 1 digit 1) for a second.
std::vector<ToneSegment> levelToneSegments();

inline constexpr double kLevelTarget = -12;  // dBFS at the input: room above, well clear of noise
inline constexpr double kLevelTolerance = 4; // dB either side that are still good
inline constexpr double kLevelSilenceFloor = -60; // dBFS; quieter is nothing heard

// A level check whose tone did not go out whole says so in words of its own: the receiver
// is not what it was about.
inline constexpr const char* kLevelToneNotSent = "✘ Prüfton nicht gesendet";
inline constexpr const char* kLevelToneStopped = "✘ Pegelprüfung abgebrochen";
inline constexpr const char* kLevelToneBroken = "✘ Pegelprüfung unterbrochen";
inline constexpr const char* kLevelToneInterrupted =
    "Der Prüfton wurde unterbrochen, der Pegel ist nicht geprüft. Bitte erneut prüfen.";

struct LevelReading {
    bool heard = false;
    double level = -200; // dBFS of the tone's amplitude (a full-scale sine is 0 dBFS)
    bool clipped = false;
};

// What the recording of the test tone holds.
LevelReading readLevel(const Recording& recording);

// Where a level heard lies: the one rule for the level check and the check at the cable.
enum class LevelBand { Silent, Clipped, TooQuiet, Good, TooLoud };
LevelBand judgeLevel(const LevelReading& reading);

enum class LevelVerdict { Good, SetAmplitude, InputUp, InputDown, Silent, Clipped };

struct LevelAdvice {
    LevelVerdict verdict = LevelVerdict::Silent;
    int amplitude = 0; // the amplitude to send with, in percent
    // One line: "✔ Pegel −12 dBFS bei 30 % – gut", "✘ Pegel −2 dBFS bei 100 % – Amplitude
    // auf 30 % stellen", "✘ Nichts gehört – Kabel und Eingang prüfen", ...
    std::string text;
    bool ok() const { return verdict == LevelVerdict::Good; }
};

// The judgement: the level heard with the tone sent at amplitude percent (a value the
// amplitude slider allows).
LevelAdvice adviseLevel(const LevelReading& reading, int amplitude);
