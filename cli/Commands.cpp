// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that print or write: listing, render, devices (its list from the sound part).
#include "Commands.h"

#include "ProgEngine.h"
#include "ProgListing.h"
#include "Sound.h"
#include "ToneSequence.h"
#include "WaveWriter.h"

#include "ProfileFile.h"
#include "SystemErrorText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
        // Sound as bytes only garbles a terminal.
        if (isatty(STDOUT_FILENO) != 0)
            throw Failure("Die Tonfolge wird nicht auf ein Terminal geschrieben; -o - braucht "
                          "eine Umleitung in eine Datei oder ein Programm.");
        writeAll(stdout, std::string(samples.begin(), samples.end()), "Standardausgabe");
        return;
    }
    const std::string bytes = endsWithWav(output) ? waveFileBytes(samples, kSampleRate)
                                                  : std::string(samples.begin(), samples.end());
    auto failed = [&output](int err) {
        return Failure("Datei kann nicht geschrieben werden: " + output + " (" +
                       platform::systemErrorText(err) + ")");
    };
    struct stat st {};
    if (::stat(output.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        // A device or a pipe takes the bytes as they come; it is never replaced or removed.
        const int fd = ::open(output.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            throw failed(errno);
        std::string_view rest(bytes);
        int err = 0;
        while (!rest.empty() && err == 0) {
            const ssize_t n = ::write(fd, rest.data(), rest.size());
            if (n > 0)
                rest.remove_prefix(static_cast<std::size_t>(n));
            else if (n == 0)
                err = EIO;
            else if (errno != EINTR)
                err = errno;
        }
        if (::close(fd) != 0 && err == 0)
            err = errno;
        if (err != 0)
            throw failed(err);
        return;
    }
    // A file is replaced only when the new content is complete: what was there stays else.
    try {
        platform::replaceFileContent(output, bytes);
    } catch (const platform::ProfileWriteError& e) {
        throw failed(e.cause().value());
    }
}

int runDevices(Args& args) {
    if (!args.done())
        args.reject();
    return listDevices();
}

} // namespace cli
