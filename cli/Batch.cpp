// SPDX-License-Identifier: GPL-3.0-or-later
// batch's sending: each line of the list through the same sends as the send command.
#include "Commands.h"
#include "ProgSession.h"
#include "Sending.h"

#include <optional>

namespace cli {

int runBatch(Args& args) {
    const BatchRequest request = parseBatch(args);
    SendRequest check;
    check.check = request.check;
    check.input = request.input;
    std::optional<SendSession> session;
    return runBatchWith(
        request, [&] { session.emplace(); }, readAnswerLine,
        [&](const SendPlan& plan, int record, const std::string& interrupted) {
            BatchSend sent;
            const std::vector<ToneSegment> segments = plan.segments();
            try {
                if (request.output.speaker)
                    recordSpeakerInterrupt(record, interrupted);
                std::string checkSummary;
                const int status = request.output.speaker
                                       ? sendToSpeaker(segments)
                                       : sendToSoundCard(plan.samples, request.output.device,
                                                         &check, &segments, &checkSummary);
                recordSpeakerInterrupt(-1, {});
                sent.interrupted = status == kExitInterrupted;
                sent.outcome.check = checkSummary;
                if (status == kExitFailure)
                    sent.outcome.end = SendEnd::CheckFailed;
            } catch (const Failure& failure) {
                recordSpeakerInterrupt(-1, {});
                sent.outcome.end = SendEnd::Broken;
                sent.outcome.reason = failure.what();
            }
            return sent;
        });
}

} // namespace cli
