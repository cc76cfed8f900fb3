// SPDX-License-Identifier: GPL-3.0-or-later
// Wave output on ALSA. A thread of each open device plays the queued buffers in order and
// reports each one as done once ALSA has taken all of its frames, the last one once it has
// been heard: the stream goes on with silence until ALSA's position is past the sound's end.
// The verdict is ALSA's: an underrun, a suspend or a device gone, and a position that stood
// still against the status's own time stamps, end the playback as lost (WAVERR_GAP and its
// causes). Only that thread calls ALSA for a running device, so ALSA never sees two threads
// on one PCM, and no drain is ever waited for.
#include "WaveOutAlsa.h"
#include "AlsaStreamJudge.h"
#include "WaveOut.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

struct WaveOutDevice {
    snd_pcm_t* pcm = nullptr;
    WaveOutProc callback = nullptr;
    uintptr_t instance = 0;
    unsigned frameBytes = 1;
    // 8-bit data goes to ALSA widened to signed 16 bits: a plugin or server that fills a gap
    // with zero bytes then fills it with silence, not with full-scale unsigned samples.
    bool widen = false;
    unsigned channels = 1;
    std::vector<int16_t> wide;

    std::mutex mutex;
    std::condition_variable wake;      // work for the thread
    std::condition_variable resetDone; // the thread has handed everything back
    std::deque<WaveHdr*> queue;
    size_t written = 0; // bytes of the front buffer already taken by ALSA
    bool resetRequested = false;
    bool closing = false;
    WaveResult lost = MMSYSERR_NOERROR; // the device failed for good
    std::thread thread;
    StreamJudge judge; // the stream as the play thread sees it
};

namespace {

// Open devices, so that a stale or foreign handle is refused instead of followed.
std::mutex registryMutex;
std::set<WaveOutDevice*> registry;

bool known(HWaveOut device) {
    std::lock_guard lock(registryMutex);
    return device && registry.contains(device);
}

void markDone(WaveHdr* header) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

// The silence after the sound that must have played before the sound counts as heard: more
// than a server's position runs ahead of what it has played. A break that begins later than
// that is in the silence and spoils nothing.
constexpr double confirmSeconds = 0.080;
// After a buffer that is not marked as the last, the silence begins once the device holds
// less than this of the sound and no more came for paddingGrace, so that a buffer the writer
// queues a little late still joins the sound without a break.
constexpr double paddingStartSeconds = 0.080;
constexpr auto paddingGrace = std::chrono::milliseconds(50);
// How long a stream that stood still after the whole sound was written may take to report
// its underrun.
constexpr auto underrunGrace = std::chrono::milliseconds(150);
// One write of silence at most.
constexpr double silenceChunkSeconds = 0.020;

// Hands every queued buffer back, in order; called with the lock held, returns with it held.
void handBackAll(WaveOutDevice* dev, std::unique_lock<std::mutex>& lock) {
    std::deque<WaveHdr*> returned;
    returned.swap(dev->queue);
    dev->written = 0;
    for (WaveHdr* header : returned)
        markDone(header);
    lock.unlock();
    for (WaveHdr* header : returned)
        dev->callback(dev, MM_WOM_DONE, dev->instance, reinterpret_cast<uintptr_t>(header), 0);
    lock.lock();
}

// Writes frames of the buffer from `data`, widened if the device needs it; ALSA's result.
snd_pcm_sframes_t writeFrames(WaveOutDevice* dev, const uint8_t* data, size_t frames) {
    if (!dev->widen)
        return snd_pcm_writei(dev->pcm, data, frames);
    const size_t limit = dev->wide.size() / dev->channels;
    frames = std::min(frames, limit);
    const size_t samples = frames * dev->channels;
    for (size_t i = 0; i < samples; ++i)
        dev->wide[i] = static_cast<int16_t>((int(data[i]) - 128) * 256);
    return snd_pcm_writei(dev->pcm, dev->wide.data(), frames);
}

// Silence after the sound (ALSA gets 16-bit samples, whose zero is silence): as much as the
// device takes now, up to one chunk.
snd_pcm_sframes_t writeSilence(WaveOutDevice* dev) {
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(dev->pcm);
    if (avail <= 0)
        return avail;
    const auto chunk = static_cast<snd_pcm_sframes_t>(silenceChunkSeconds * dev->judge.rate);
    const std::vector<int16_t> zeros(
        static_cast<size_t>(std::min(avail, std::max<snd_pcm_sframes_t>(chunk, 1))) *
        dev->channels);
    return snd_pcm_writei(dev->pcm, zeros.data(), zeros.size() / dev->channels);
}

// The last queued buffer is all with ALSA. It counts as played once the device has played
// confirmSeconds of the silence that follows it, so that "done" means heard and what is left
// to drop at the close is silence. Until then the stream is fed with silence and judged as
// while the sound was written. Returns a failure, or MMSYSERR_NOERROR when the sound was heard
// or a reset came in, or more sound that joins it without a break. Called with the lock held
// and the played buffer still at the front of the queue.
WaveResult finishSound(WaveOutDevice* dev, std::unique_lock<std::mutex>& lock) {
    const uint64_t heard = dev->judge.framesWritten + uint64_t(confirmSeconds * dev->judge.rate);
    const auto padStart = uint64_t(paddingStartSeconds * dev->judge.rate);
    const bool last = (dev->queue.front()->dwFlags & WHDR_LAST) != 0;
    const auto since = std::chrono::steady_clock::now();
    // When the position stood still, the stream is given a moment to report the underrun that
    // tells whether the sound ran out only after its end.
    std::optional<std::chrono::steady_clock::time_point> stoodStill;
    for (;;) {
        if (dev->resetRequested)
            return MMSYSERR_NOERROR;
        if (dev->queue.size() > 1) // more sound: after silence, that is a break
            return dev->judge.padding ? WAVERR_GAP : MMSYSERR_NOERROR;
        lock.unlock();
        uint64_t played = 0;
        WaveResult result = dev->judge.check(dev->pcm, &played);
        // All of the sound is with ALSA now: an underrun means that it ran out after all of it
        // had played, and a position that stood still past its end stood still in silence.
        if (result == WAVERR_UNDERRUN ||
            (result != MMSYSERR_NOERROR && dev->judge.lastPlayed >= heard)) {
            result = MMSYSERR_NOERROR;
            played = heard;
        } else if (result == WAVERR_LATE || result == WAVERR_STALLED) {
            const auto clock = std::chrono::steady_clock::now();
            if (!stoodStill)
                stoodStill = clock;
            if (clock - *stoodStill < underrunGrace)
                result = MMSYSERR_NOERROR;
        }
        const bool done = result == MMSYSERR_NOERROR && played >= heard;
        if (result == MMSYSERR_NOERROR && !done) {
            // A sound shorter than ALSA's start threshold has not started yet.
            if (snd_pcm_state(dev->pcm) == SND_PCM_STATE_PREPARED)
                snd_pcm_start(dev->pcm);
            // A timeless device never runs dry, so a late buffer is no break there.
            const auto grace = dev->judge.timeless ? stallLimit : paddingGrace;
            if (dev->judge.padding || last ||
                (dev->judge.framesWritten - played < padStart &&
                 std::chrono::steady_clock::now() - since >= grace)) {
                const snd_pcm_sframes_t frames = writeSilence(dev);
                if (frames > 0) {
                    dev->judge.framesWritten += static_cast<uint64_t>(frames);
                    dev->judge.padding = true;
                } else if (frames < 0 && frames != -EAGAIN && frames != -EPIPE) {
                    result = static_cast<int>(frames);
                }
            }
        }
        lock.lock();
        if (result != MMSYSERR_NOERROR || done)
            return result;
        dev->wake.wait_for(lock, std::chrono::milliseconds(5));
    }
}

void playLoop(WaveOutDevice* dev) {
    std::unique_lock lock(dev->mutex);
    for (;;) {
        dev->wake.wait(
            lock, [dev] { return dev->resetRequested || dev->closing || !dev->queue.empty(); });
        if (dev->resetRequested) {
            // Prepared again only when more is written: a server that stands still can hold
            // up a prepare, and the reset must come back.
            if (dev->lost == MMSYSERR_NOERROR)
                snd_pcm_drop(dev->pcm);
            dev->judge.restart();
            handBackAll(dev, lock);
            dev->resetRequested = false;
            dev->resetDone.notify_all();
            continue;
        }
        if (dev->queue.empty()) { // closing: the sound was heard, only silence is left
            lock.unlock();
            snd_pcm_drop(dev->pcm);
            return;
        }
        if (dev->lost != MMSYSERR_NOERROR) { // a write raced with the loss
            handBackAll(dev, lock);
            continue;
        }
        WaveHdr* header = dev->queue.front();
        size_t written = dev->written;
        lock.unlock();

        // The owner leaves a queued header alone, so it is read without the lock.
        const size_t total = header->dwBufferLength - header->dwBufferLength % dev->frameBytes;
        WaveResult failure = MMSYSERR_NOERROR;
        if (written < total && dev->judge.padding) {
            failure = WAVERR_GAP; // more sound after the silence had begun: a break
        } else if (written < total) {
            if (snd_pcm_state(dev->pcm) == SND_PCM_STATE_SETUP) { // after a reset
                snd_pcm_prepare(dev->pcm);
                dev->judge.restart();
            }
            const snd_pcm_sframes_t frames =
                writeFrames(dev, header->lpData + written, (total - written) / dev->frameBytes);
            if (frames == -EAGAIN) {
                snd_pcm_wait(dev->pcm, 50); // bounded, so a reset or close is seen soon
            } else if (frames == -EPIPE) {
                countUnderrun();
                failure = WAVERR_UNDERRUN;
            } else if (frames < 0) {
                failure = static_cast<int>(frames); // suspended, gone or broken
            } else {
                written += static_cast<size_t>(frames) * dev->frameBytes;
                dev->judge.framesWritten += static_cast<uint64_t>(frames);
            }
            if (failure == MMSYSERR_NOERROR)
                failure = dev->judge.check(dev->pcm, nullptr);
        }

        lock.lock();
        if (failure != MMSYSERR_NOERROR) {
            dev->lost = failure;
            handBackAll(dev, lock);
            if (dev->resetRequested) {
                dev->resetRequested = false;
                dev->resetDone.notify_all();
            }
            continue;
        }
        if (dev->resetRequested)
            continue; // the reset hands this buffer back
        dev->written = written;
        if (written >= total) {
            if (dev->queue.size() == 1) {
                const WaveResult end = finishSound(dev, lock);
                if (end != MMSYSERR_NOERROR) {
                    dev->lost = end;
                    handBackAll(dev, lock);
                    continue;
                }
                if (dev->resetRequested)
                    continue; // the reset hands this buffer back
            }
            dev->queue.pop_front();
            dev->written = 0;
            markDone(header);
            lock.unlock();
            dev->callback(dev, MM_WOM_DONE, dev->instance, reinterpret_cast<uintptr_t>(header), 0);
            lock.lock();
        }
    }
}

class AlsaWaveOut final : public WaveOut {
public:
    unsigned getNumDevs() override {
        return static_cast<unsigned>(alsaPlaybackDeviceNames().size());
    }

    WaveResult open(HWaveOut* handle, int deviceId, const WaveFormatEx* format,
                    WaveOutProc callback, uintptr_t instance, uint32_t flags) override {
        std::string name;
        if (deviceId != WAVE_MAPPER) {
            const auto names = alsaPlaybackDeviceNames();
            if (deviceId < 0 || static_cast<size_t>(deviceId) >= names.size())
                return MMSYSERR_BADDEVICEID;
            name = names[static_cast<size_t>(deviceId)];
        }
        return openNamed(handle, name, format, callback, instance, flags);
    }

    WaveResult openNamed(HWaveOut* handle, const std::string& deviceName,
                         const WaveFormatEx* format, WaveOutProc callback, uintptr_t instance,
                         uint32_t flags) override {
        if (!handle || !format)
            return MMSYSERR_INVALPARAM;
        if ((flags & 0x70000) != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        const auto pcmFormat = static_cast<snd_pcm_format_t>(alsaSampleFormat(*format));
        if (pcmFormat == SND_PCM_FORMAT_UNKNOWN)
            return WAVERR_BADFORMAT;
        const std::string name = deviceName.empty() ? std::string("default") : deviceName;
        silenceAlsa();
        snd_pcm_t* pcm = nullptr;
        // Non-blocking, so that a busy device fails at once instead of waiting.
        int rc = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (rc < 0)
            return rc;
        const bool widen = pcmFormat == SND_PCM_FORMAT_U8;
        rc = snd_pcm_set_params(pcm, widen ? SND_PCM_FORMAT_S16_LE : pcmFormat,
                                SND_PCM_ACCESS_RW_INTERLEAVED, format->nChannels,
                                format->nSamplesPerSec, 1, 200000);
        if (rc < 0) {
            snd_pcm_close(pcm);
            return rc;
        }
        auto* dev = new (std::nothrow) WaveOutDevice;
        if (!dev) {
            snd_pcm_close(pcm);
            return MMSYSERR_NOMEM;
        }
        dev->pcm = pcm;
        dev->callback = callback;
        dev->instance = instance;
        dev->frameBytes = format->nBlockAlign;
        dev->widen = widen;
        dev->channels = format->nChannels;
        dev->judge.attach(pcm, format->nSamplesPerSec);
        try {
            if (widen)
                dev->wide.resize(4096 * dev->channels);
            dev->thread = std::thread(playLoop, dev);
        } catch (...) {
            snd_pcm_close(pcm);
            delete dev;
            return MMSYSERR_NOMEM;
        }
        {
            std::lock_guard lock(registryMutex);
            registry.insert(dev);
        }
        *handle = dev;
        callback(dev, MM_WOM_OPEN, instance, 0, 0);
        return MMSYSERR_NOERROR;
    }

    WaveResult prepareHeader(HWaveOut dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        return setHeaderPrepared(header, headerSize, true);
    }

    WaveResult unprepareHeader(HWaveOut dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        return setHeaderPrepared(header, headerSize, false);
    }

    WaveResult write(HWaveOut dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (!header || headerSize < sizeof(WaveHdr))
            return MMSYSERR_INVALPARAM;
        std::lock_guard lock(dev->mutex);
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING; // never queue a buffer twice
        if (dev->closing)
            return MMSYSERR_INVALHANDLE;
        if (dev->lost != MMSYSERR_NOERROR)
            return dev->lost;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        dev->queue.push_back(header);
        dev->wake.notify_one();
        return MMSYSERR_NOERROR;
    }

    WaveResult reset(HWaveOut dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (std::this_thread::get_id() == dev->thread.get_id())
            return MMSYSERR_ERROR; // from inside the callback it could never finish
        std::unique_lock lock(dev->mutex);
        dev->resetRequested = true;
        dev->wake.notify_one();
        dev->resetDone.wait(lock, [dev] { return !dev->resetRequested; });
        return MMSYSERR_NOERROR;
    }

    WaveResult close(HWaveOut dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (std::this_thread::get_id() == dev->thread.get_id())
            return MMSYSERR_ERROR;
        {
            std::lock_guard lock(dev->mutex);
            if (!dev->queue.empty())
                return WAVERR_STILLPLAYING;
            dev->closing = true;
            dev->wake.notify_one();
        }
        dev->thread.join(); // the thread drains before it ends
        {
            std::lock_guard lock(registryMutex);
            registry.erase(dev);
        }
        snd_pcm_close(dev->pcm);
        dev->callback(dev, MM_WOM_CLOSE, dev->instance, 0, 0);
        delete dev;
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(WaveResult code) override { return waveErrorText(code); }

    WaveResult lostError(HWaveOut dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        return dev->lost;
    }
};

} // namespace

WaveOut& alsaWaveOut() {
    static AlsaWaveOut layer;
    return layer;
}

} // namespace platform
