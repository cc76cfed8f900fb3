// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wave-input layer the recorder records through: a device is opened by number with a
// format record and a window that receives its notifications; buffer headers are prepared,
// added, filled in order and handed back. Result codes and their texts are those of the
// output side.
#include "WaveOut.h"
#include "WaveWindow.h"

namespace platform {

struct WaveInDevice; // opaque, one per open device
using HWaveIn = WaveInDevice*;

// Posted to the window given to open: MM_WIM_OPEN before open returns; MM_WIM_DATA (wParam
// the device, lParam the header) once per added buffer, when it is full or handed back by
// reset; MM_WIM_CLOSE before close returns. One device's notifications arrive in order.
class WaveIn {
public:
    virtual ~WaveIn() = default;
    virtual unsigned getNumDevs() = 0;
    // flags must name CALLBACK_WINDOW.
    virtual WaveResult open(HWaveIn* handle, int deviceId, const WaveFormatEx* format,
                            WaveWindow* window, uint32_t flags) = 0;
    virtual WaveResult prepareHeader(HWaveIn, WaveHdr*, unsigned headerSize) = 0;
    // Unpreparing a header that is not prepared does nothing and succeeds.
    virtual WaveResult unprepareHeader(HWaveIn, WaveHdr*, unsigned headerSize) = 0;
    // Queues an empty buffer (dwBytesRecorded := 0); buffers fill in the order added.
    virtual WaveResult addBuffer(HWaveIn, WaveHdr*, unsigned headerSize) = 0;
    virtual WaveResult start(HWaveIn) = 0;
    // Stops recording and hands back every queued buffer with what it holds so far, one
    // MM_WIM_DATA each, before it returns.
    virtual WaveResult reset(HWaveIn) = 0;
    // Refused with WAVERR_STILLPLAYING while buffers are queued.
    virtual WaveResult close(HWaveIn) = 0;
    // The text for a result code, at most 255 characters; empty when there is none.
    virtual std::string getErrorText(WaveResult code) = 0;
};

// The program's layer (ALSA capture PCMs), one per process.
WaveIn& alsaWaveIn();

} // namespace platform
