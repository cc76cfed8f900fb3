// SPDX-License-Identifier: GPL-3.0-or-later
// batch's sending: each line of the list through the same sends as the send command.
#include "Commands.h"
#include "ProgEngine.h"
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
        [&](const FleetPager& pager, int record, const std::string& interrupted) {
            BatchSend outcome;
            const ProgTonesResult tones = progTones(pager.settings);
            const ExpertValues& e = request.expert.values();
            const std::vector<ToneSegment> segments = progSegments(tones.tones, e);
            try {
                if (request.output.speaker)
                    recordSpeakerInterrupt(record, interrupted);
                const int status =
                    request.output.speaker
                        ? sendToSpeaker(segments)
                        : sendToSoundCard(progSamples(tones.tones, e), request.output.device,
                                          &check, &segments, &outcome.check);
                recordSpeakerInterrupt(-1, {});
                if (status == kExitInterrupted) {
                    outcome.result = FleetResult::Aborted;
                    outcome.interrupted = true;
                }
                outcome.checkFailed = status == kExitFailure;
            } catch (const Failure& failure) {
                recordSpeakerInterrupt(-1, {});
                outcome.result = FleetResult::Aborted;
                outcome.reason = failure.what();
            }
            return outcome;
        });
}

} // namespace cli
