// SPDX-License-Identifier: GPL-3.0-or-later
// The send command: its options, and the tone sequence handed to the sound part.
#include "Commands.h"
#include "LevelCheck.h"
#include "ProgEngine.h"
#include "Sound.h"
#include "ToneSequence.h"

namespace cli {

SendRequest parseSend(Args& args) {
    SendRequest r;
    bool haveInput = false;
    while (!args.done()) {
        if (args.takeFlag("--check"))
            r.check = true;
        else if (args.takeValue("--input", r.input))
            haveInput = true;
        else if (!r.settings.take(args) && !r.expert.take(args) && !r.output.take(args))
            args.reject();
    }
    r.output.check();
    if (haveInput && r.input.empty())
        throw UsageError("--input braucht einen Gerätenamen.");
    if (haveInput && !r.check)
        throw UsageError("--input gilt nur mit --check.");
    if (r.check && r.output.speaker)
        throw UsageError("--check und --speaker schließen einander aus: geprüft wird, was die "
                         "Soundkarte sendet.");
    return r;
}

int runSend(Args& args) {
    const SendRequest request = parseSend(args);
    const TProgTones tones = request.settings.progTones();
    const ExpertValues& e = request.expert.values();
    if (request.output.speaker)
        return playOnSpeaker(progSegments(tones, e));
    if (request.check)
        return playChecked(progSamples(tones, e), progSegments(tones, e), request);
    return playOnSoundCard(progSamples(tones, e), request.output.device);
}

LevelRequest parseLevel(Args& args) {
    LevelRequest r;
    bool haveInput = false;
    while (!args.done()) {
        if (args.takeValue("--input", r.input))
            haveInput = true;
        else if (args.takeValue("--device", r.device)) {
            if (r.device.empty())
                throw UsageError("--device braucht einen Gerätenamen.");
        } else if (!r.expert.takeAmplitude(args)) {
            args.reject();
        }
    }
    if (haveInput && r.input.empty())
        throw UsageError("--input braucht einen Gerätenamen.");
    return r;
}

int runLevel(Args& args) {
    const LevelRequest request = parseLevel(args);
    return playLevelCheck(renderSequence(levelToneSegments(), request.expert.values().amplitude),
                          request);
}

} // namespace cli
