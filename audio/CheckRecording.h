// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording of a send for the check at the cable: an input, chosen by its ALSA name,
// recorded through the recorder of an audio component of its own (16-bit mono, 44100 samples
// per second) while another component plays. The programming dialog and zuvela-cli use it.
#include "Recording.h"

#include <QString>

#include <memory>
#include <string>

class TAudio;

class CheckRecording {
public:
    CheckRecording();
    ~CheckRecording();
    CheckRecording(const CheckRecording&) = delete;
    CheckRecording& operator=(const CheckRecording&) = delete;

    // Starts recording from the input (empty or "default": the default input); false with the
    // German message when the input is not there or does not open.
    bool start(const std::string& input, QString& message);
    bool recording() const { return audio_ != nullptr; }
    // Stops recording and hands over what it holds.
    Recording finish();
    // Stops recording and forgets it.
    void cancel();

private:
    std::unique_ptr<TAudio> audio_;
    Recording recording_;
};
