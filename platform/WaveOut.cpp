// SPDX-License-Identifier: GPL-3.0-or-later
#include "WaveOut.h"

#include "SystemErrorText.h"

namespace platform {

std::string waveErrorText(WaveResult code) {
    std::string text;
    switch (code) {
    case MMSYSERR_NOERROR:
        text = "kein Fehler";
        break;
    case MMSYSERR_ERROR:
        text = "unbestimmter Fehler";
        break;
    case MMSYSERR_BADDEVICEID:
        text = "Gerät nicht vorhanden";
        break;
    case MMSYSERR_INVALHANDLE:
        text = "Gerät nicht geöffnet";
        break;
    case MMSYSERR_NOMEM:
        text = "nicht genug Arbeitsspeicher";
        break;
    case MMSYSERR_INVALFLAG:
        text = "nicht unterstützte Einstellung";
        break;
    case MMSYSERR_INVALPARAM:
        text = "ungültiger Wert";
        break;
    case WAVERR_BADFORMAT:
        text = "Tonformat nicht unterstützt";
        break;
    case WAVERR_STILLPLAYING:
        text = "es wird noch abgespielt";
        break;
    case WAVERR_UNPREPARED:
        text = "Puffer nicht vorbereitet";
        break;
    case WAVERR_GAP:
        text = "Lücke in der Wiedergabe";
        break;
    case WAVERR_UNDERRUN:
        text = "Lücke in der Wiedergabe: dem Gerät ging der Ton aus (Unterlauf)";
        break;
    case WAVERR_STALLED:
        text = "das Gerät oder der Soundserver nimmt keinen Ton mehr an";
        break;
    case WAVERR_LATE:
        text = "Lücke in der Wiedergabe: der Ton stockte";
        break;
    case WAVERR_SKIPPED:
        text = "Lücke in der Wiedergabe: ein Stück des Tons wurde übersprungen";
        break;
    default:
        // ALSA's codes are negative error numbers; its own texts are English.
        if (code < 0)
            text = systemErrorText(-code);
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
