// SPDX-License-Identifier: GPL-3.0-or-later
// The call command: a pager's own address as a test call, written to a file or sent.
#include "Commands.h"
#include "Sound.h"

#include "Cp1252.h"
#include "TestCall.h"

namespace cli {

namespace {

// The slot number of "--address N"; "--address N=TEXT" is the settings option.
int parseSlot(const std::string& value) {
    int n = 0;
    if (!parseNumber(value, n) || n < 1 || n > 4)
        throw UsageError("--address: \"" + value +
                         "\" ist nicht erlaubt (erwartet: N von 1 bis 4 oder N=TEXT).");
    return n;
}

} // namespace

CallRequest parseCall(Args& args) {
    SettingsOptions settings;
    ExpertOptions expert;
    CallRequest r;
    std::string address, value;
    bool haveAddress = false, siren = false;
    int slot = 0;
    while (!args.done()) {
        if (args.takeValue("--address", value)) {
            if (value.find('=') != std::string::npos)
                settings.setAddress(value);
            else
                slot = parseSlot(value);
        } else if (args.takeFlag("--siren")) {
            siren = true;
        } else if (args.takeValue({"-o", "--output"}, r.file)) {
            r.toFile = true;
        } else if (settings.take(args) || expert.takeAmplitude(args) || r.output.take(args)) {
            continue;
        } else if (!haveAddress && args.takeArgument(address)) {
            haveAddress = true;
        } else {
            args.reject();
        }
    }
    r.output.check();
    if (r.toFile && (r.output.speaker || !r.output.device.empty()))
        throw UsageError("-o und --device/--speaker schließen einander aus.");
    if (r.toFile && r.file.empty())
        throw UsageError("-o braucht einen Dateinamen.");
    if (haveAddress == (slot != 0))
        throw UsageError(haveAddress ? "ADRESSE und --address N schließen einander aus."
                                     : "Rufadresse fehlt (ADRESSE oder --address N).");
    if (siren && r.output.speaker)
        throw UsageError("--siren geht nicht mit --speaker: der PC-Lautsprecher spielt nur "
                         "einen Ton zugleich.");

    const ProgSettings& s = settings.stored();
    const std::string text = haveAddress ? platform::utf8ToCp1252(address)
                                         : s.addresses.at(static_cast<std::size_t>(slot - 1)).text;
    TToneTable table;
    fillToneTable(table);
    const TestCallPlan plan = planTestCall(s, text, expert.values().amplitude, siren, table);
    if (!plan.call)
        throw Failure(slot != 0 ? "Ruf " + std::to_string(slot) + ": " + plan.problem
                                : plan.problem);
    r.call = *plan.call;
    return r;
}

int runCall(Args& args) {
    const CallRequest r = parseCall(args);
    TToneTable table;
    fillToneTable(table);
    if (r.toFile) {
        writeSamples(r.file, renderTestCall(r.call, table));
        return kExitOk;
    }
    if (r.output.speaker)
        return playOnSpeaker(testCallSegments(r.call, table));
    return playOnSoundCard(renderTestCall(r.call, table), r.output.device);
}

} // namespace cli
