// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that print or write: listing, render, devices.
#include "Commands.h"

#include "ProgEngine.h"
#include "ProgListing.h"
#include "ToneSequence.h"
#include "WaveOutAlsa.h"
#include "WaveWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

bool endsWithWav(const std::string& name) {
    if (name.size() < 4)
        return false;
    std::string ending = name.substr(name.size() - 4);
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ending == ".wav";
}

} // namespace

SettingsOptions parseListing(Args& args) {
    SettingsOptions settings;
    while (!args.done())
        if (!settings.take(args))
            args.reject();
    return settings;
}

int runListing(Args& args) {
    const SettingsOptions settings = parseListing(args);
    std::string text;
    for (const std::string& line : progListingLines(settings.progTones()))
        text += line + '\n';
    writeAll(stdout, text, "Standardausgabe");
    return kExitOk;
}

RenderRequest parseRender(Args& args) {
    RenderRequest r;
    bool haveOutput = false;
    while (!args.done()) {
        if (r.settings.take(args) || r.expert.take(args))
            continue;
        if (args.takeValue({"-o", "--output"}, r.output))
            haveOutput = true;
        else
            args.reject();
    }
    if (!haveOutput || r.output.empty())
        throw UsageError("-o DATEI fehlt.");
    return r;
}

int runRender(Args& args) {
    const RenderRequest request = parseRender(args);
    writeSamples(request.output,
                 progSamples(request.settings.progTones(), request.expert.values()));
    return kExitOk;
}

void writeSamples(const std::string& output, const std::vector<uint8_t>& samples) {
    if (output == "-") {
        writeAll(stdout, std::string(samples.begin(), samples.end()), "Standardausgabe");
        return;
    }
    const std::string bytes = endsWithWav(output) ? waveFileBytes(samples, kSampleRate)
                                                  : std::string(samples.begin(), samples.end());
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (file == nullptr)
        throw Failure("Datei kann nicht geschrieben werden: " + output + " (" +
                      std::strerror(errno) + ")");
    try {
        writeAll(file, bytes, output);
    } catch (const Failure&) {
        std::fclose(file);
        std::remove(output.c_str()); // no half-written file is left behind
        throw;
    }
    if (std::fclose(file) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(output.c_str());
        throw Failure("Schreiben fehlgeschlagen: " + output + " (" + reason + ")");
    }
}

int runDevices(Args& args) {
    if (!args.done())
        args.reject();
    std::vector<platform::AlsaDevice> devices = platform::alsaPlaybackDevices();
    if (devices.empty())
        throw Failure("ALSA nennt keine Ausgabegeräte.");
    // The system's default first: it is what send uses without --device.
    std::stable_partition(devices.begin(), devices.end(),
                          [](const platform::AlsaDevice& d) { return d.name == "default"; });
    std::size_t width = 0;
    for (const platform::AlsaDevice& d : devices)
        width = std::max(width, d.name.size());
    std::string text;
    for (const platform::AlsaDevice& d : devices) {
        std::string line = d.name;
        if (!d.description.empty())
            line += std::string(width - d.name.size() + 2, ' ') + d.description;
        text += line + '\n';
    }
    writeAll(stdout, text, "Standardausgabe");
    return kExitOk;
}

} // namespace cli
