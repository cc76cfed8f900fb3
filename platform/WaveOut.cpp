// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveOut.h"

#include <alsa/asoundlib.h>

namespace platform {

std::string waveErrorText(WaveResult code) {
    std::string text;
    switch (code) {
    case MMSYSERR_NOERROR:
        text = "No error";
        break;
    case MMSYSERR_ERROR:
        text = "Unspecified error";
        break;
    case MMSYSERR_BADDEVICEID:
        text = "There is no wave device with this number";
        break;
    case MMSYSERR_INVALHANDLE:
        text = "The device handle is not valid";
        break;
    case MMSYSERR_NOMEM:
        text = "Not enough memory";
        break;
    case MMSYSERR_INVALFLAG:
        text = "Unsupported flags";
        break;
    case MMSYSERR_INVALPARAM:
        text = "Invalid parameter";
        break;
    case WAVERR_BADFORMAT:
        text = "The sample format is not supported";
        break;
    case WAVERR_STILLPLAYING:
        text = "Buffers are still queued on the device";
        break;
    case WAVERR_UNPREPARED:
        text = "The buffer header is not prepared";
        break;
    default:
        if (code < 0)
            text = snd_strerror(code);
        break;
    }
    // The caller's area holds 255 characters.
    if (text.size() > 255)
        text.resize(255);
    return text;
}

WaveResult setHeaderPrepared(WaveHdr* header, unsigned headerSize, bool prepared) {
    if (!header || headerSize < sizeof(WaveHdr) || (prepared && !header->lpData))
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (prepared)
        header->dwFlags |= WHDR_PREPARED;
    else
        header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

} // namespace platform
