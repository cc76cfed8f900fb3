// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wave-output layer the player plays through: a device is opened by number with a
// format record and a callback with an instance value; buffer headers are prepared, written
// and handed back one by one. Result codes: 0 is success; positive codes are our own
// (below); negative codes are ALSA's (negative errno). Their texts are German.
#include <cstdint>
#include <string>

namespace platform {

using WaveResult = int;

constexpr WaveResult MMSYSERR_NOERROR = 0;
constexpr WaveResult MMSYSERR_ERROR = 1;
constexpr WaveResult MMSYSERR_BADDEVICEID = 2;
constexpr WaveResult MMSYSERR_INVALHANDLE = 5;
constexpr WaveResult MMSYSERR_NOMEM = 7;
constexpr WaveResult MMSYSERR_INVALFLAG = 10;
constexpr WaveResult MMSYSERR_INVALPARAM = 11;
constexpr WaveResult WAVERR_BADFORMAT = 32;
constexpr WaveResult WAVERR_STILLPLAYING = 33;
constexpr WaveResult WAVERR_UNPREPARED = 34;
// Our own: the device played with a break, so what arrived is not what was sent. The generic
// code, and the causes the layer can tell apart.
constexpr WaveResult WAVERR_GAP = 64;
constexpr WaveResult WAVERR_UNDERRUN = 65; // the device ran out of sound (ALSA's underrun)
constexpr WaveResult WAVERR_STALLED = 66;  // the device took nothing for seconds
constexpr WaveResult WAVERR_LATE = 67;     // the sound fell behind the device's clock
constexpr WaveResult WAVERR_SKIPPED = 68;  // the device's position jumped ahead of its clock
// Whether a code says that the sound had a break (rather than that the device failed).
constexpr bool isBreak(WaveResult code) {
    return code >= WAVERR_GAP && code <= WAVERR_SKIPPED;
}

// Device number of ALSA's "default" PCM.
constexpr int WAVE_MAPPER = -1;

// Notifications of the wave and mixer layers; the component also posts them to itself as
// requests.
constexpr unsigned MM_WOM_OPEN = 0x3BB;
constexpr unsigned MM_WOM_CLOSE = 0x3BC;
constexpr unsigned MM_WOM_DONE = 0x3BD;
constexpr unsigned MM_WIM_OPEN = 0x3BE;
constexpr unsigned MM_WIM_CLOSE = 0x3BF;
constexpr unsigned MM_WIM_DATA = 0x3C0;
constexpr unsigned MM_MIXM_CONTROL_CHANGE = 0x3D1;

constexpr uint32_t CALLBACK_FUNCTION = 0x30000;
constexpr uint32_t WAVE_ALLOWSYNC = 0x2;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

// Header flags.
constexpr uint32_t WHDR_DONE = 0x01;
constexpr uint32_t WHDR_PREPARED = 0x02;
constexpr uint32_t WHDR_INQUEUE = 0x10;
// Our own: the writer's last buffer of a sound, so that the layer need not wait for more.
constexpr uint32_t WHDR_LAST = 0x100;

#pragma pack(push, 1)
// The format record: 18 bytes, as the component allocates it.
struct WaveFormatEx {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

// A buffer header. The layer writes dwFlags while the buffer is queued; the owner touches
// the header again only after its completion.
struct WaveHdr {
    uint8_t* lpData;
    uint32_t dwBufferLength;
    uint32_t dwBytesRecorded;
    uintptr_t dwUser;
    uint32_t dwFlags;
    uint32_t dwLoops;
    WaveHdr* lpNext;
    uintptr_t reserved;
};

struct WaveOutDevice; // opaque, one per open device
using HWaveOut = WaveOutDevice*;

// Called with the device, the message (MM_WOM_*), the instance value given to open, and
// two parameters (for MM_WOM_DONE the first is the header). Runs on the layer's own
// thread for completions; it must not call back into the layer.
using WaveOutProc = void (*)(HWaveOut, unsigned msg, uintptr_t instance, uintptr_t p1,
                             uintptr_t p2);

class WaveOut {
public:
    virtual ~WaveOut() = default;
    virtual unsigned getNumDevs() = 0;
    // Sends MM_WOM_OPEN before it returns successfully.
    virtual WaveResult open(HWaveOut* handle, int deviceId, const WaveFormatEx* format,
                            WaveOutProc callback, uintptr_t instance, uint32_t flags) = 0;
    // Opens the device of that ALSA name as open does by number (empty: ALSA's default). A
    // name that is not there fails; no other device is opened in its place. A layer without
    // names knows only the default.
    virtual WaveResult openNamed(HWaveOut* handle, const std::string& name,
                                 const WaveFormatEx* format, WaveOutProc callback,
                                 uintptr_t instance, uint32_t flags) {
        if (!name.empty())
            return MMSYSERR_BADDEVICEID;
        return open(handle, WAVE_MAPPER, format, callback, instance, flags);
    }
    virtual WaveResult prepareHeader(HWaveOut, WaveHdr*, unsigned headerSize) = 0;
    virtual WaveResult unprepareHeader(HWaveOut, WaveHdr*, unsigned headerSize) = 0;
    // Queues the buffer; buffers play in the order written, without gaps.
    virtual WaveResult write(HWaveOut, WaveHdr*, unsigned headerSize) = 0;
    // Stops at once and hands back every queued buffer, with one MM_WOM_DONE each,
    // before it returns.
    virtual WaveResult reset(HWaveOut) = 0;
    // Lets what was written finish playing, then sends MM_WOM_CLOSE. Refused with
    // WAVERR_STILLPLAYING while buffers are queued.
    virtual WaveResult close(HWaveOut) = 0;
    // The text for a result code, at most 255 characters; empty when there is none.
    virtual std::string getErrorText(WaveResult code) = 0;
    // The failure that ended the device's playback for good (the device went away or broke
    // beyond recovery, or WAVERR_GAP and its causes: the sound had a break), or
    // MMSYSERR_NOERROR. From then on
    // every queued buffer has been handed back, later writes fail with this code, and only close is
    // left to do.
    virtual WaveResult lostError(HWaveOut) = 0;
};

// The prepare (prepared true) or unprepare step of a header that both ALSA layers share:
// the header must be complete, and one that is queued on its device stays as it is.
WaveResult setHeaderPrepared(WaveHdr* header, unsigned headerSize, bool prepared);
// Texts of our own codes and ALSA's codes; empty for an unknown code.
std::string waveErrorText(WaveResult code);

// The layer of the program (ALSA), one per process.
WaveOut& alsaWaveOut();

} // namespace platform
