// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The sends that send, call and batch share: through the audio component's player, as the
// programming dialog sends, or through the PC-speaker module, with Ctrl+C and the progress bar.
#include "Commands.h"

#include <memory>
#include <string>
#include <vector>

class QCoreApplication;

namespace cli {

// The application object the player's messages need, and Ctrl+C armed: one for the whole
// process, made before the first send.
class SendSession {
public:
    SendSession();
    ~SendSession();
    SendSession(const SendSession&) = delete;
    SendSession& operator=(const SendSession&) = delete;

private:
    std::unique_ptr<QCoreApplication> application_;
};

// Plays samples on device (empty: the default); with check->check, records them back and
// compares them with segments, printing the check's report and putting its first line into
// checkSummary. kExitOk, kExitInterrupted (Ctrl+C), or kExitFailure when the check finds a
// fault; a send that fails throws Failure with the sound card's message.
int sendToSoundCard(const std::vector<uint8_t>& samples, const std::string& device,
                    const SendRequest* check = nullptr,
                    const std::vector<ToneSegment>* segments = nullptr,
                    std::string* checkSummary = nullptr);
// Walks segments on the PC speaker (Ctrl+C ends the program there); throws Failure when no
// speaker is reachable.
int sendToSpeaker(const std::vector<ToneSegment>& sequence);
// The line that Ctrl+C during a speaker send appends to the record open as fd (synced) before
// it ends the program, so that even that send is recorded; fd -1: none.
void recordSpeakerInterrupt(int fd, std::string line);

// Reads one line of standard input (without its line end) for batch, or ends with Ctrl+C,
// also when it came just before the read began. Needs a SendSession.
AnswerEnd readAnswerLine(std::string& line);

} // namespace cli
