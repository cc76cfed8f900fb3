// SPDX-License-Identifier: GPL-3.0-or-later
// Wave input on ALSA. A thread of each open device fills the queued buffers in order while
// recording runs and posts each full one to the device's window. Only that thread calls ALSA
// for an open device, so ALSA never sees two threads on one PCM.
#include "WaveIn.h"
#include "WaveOutAlsa.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <set>
#include <thread>

namespace platform {

struct WaveInDevice {
    snd_pcm_t* pcm = nullptr;
    WaveWindow* window = nullptr;
    unsigned frameBytes = 1;
    snd_pcm_uframes_t chunkFrames = 1; // at most a period per read

    std::mutex mutex;
    std::condition_variable wake;      // work for the thread
    std::condition_variable resetDone; // the thread has handed everything back
    std::deque<WaveHdr*> queue;
    bool started = false;
    bool resetRequested = false;
    bool closing = false;
    std::thread thread;
};

namespace {

std::mutex registryMutex;
std::set<WaveInDevice*> registry;

bool known(HWaveIn device) {
    std::lock_guard lock(registryMutex);
    return device && registry.contains(device);
}

void handBack(WaveInDevice* dev, WaveHdr* header) {
    dev->window->post(MM_WIM_DATA, reinterpret_cast<uintptr_t>(dev),
                      reinterpret_cast<uintptr_t>(header));
}

void markDone(WaveHdr* header) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

void captureLoop(WaveInDevice* dev) {
    std::unique_lock lock(dev->mutex);
    for (;;) {
        dev->wake.wait(lock, [dev] {
            return dev->resetRequested || dev->closing || (dev->started && !dev->queue.empty());
        });
        if (dev->resetRequested) {
            snd_pcm_drop(dev->pcm);
            snd_pcm_prepare(dev->pcm);
            dev->started = false;
            std::deque<WaveHdr*> returned;
            returned.swap(dev->queue);
            for (WaveHdr* header : returned)
                markDone(header);
            lock.unlock();
            for (WaveHdr* header : returned)
                handBack(dev, header);
            lock.lock();
            dev->resetRequested = false;
            dev->resetDone.notify_all();
            continue;
        }
        if (dev->closing) // close is refused while buffers are queued
            return;
        WaveHdr* header = dev->queue.front();
        size_t recorded = header->dwBytesRecorded;
        lock.unlock();

        // The owner leaves a queued header alone, so its data is written without the lock.
        const size_t total = header->dwBufferLength - header->dwBufferLength % dev->frameBytes;
        bool stalled = false;
        if (recorded < total) {
            const auto frames =
                std::min<snd_pcm_uframes_t>((total - recorded) / dev->frameBytes, dev->chunkFrames);
            const snd_pcm_sframes_t n = snd_pcm_readi(dev->pcm, header->lpData + recorded, frames);
            if (n == -EAGAIN)
                snd_pcm_wait(dev->pcm, 50); // bounded, so a reset or close is seen soon
            else if (n < 0)
                stalled = snd_pcm_recover(dev->pcm, static_cast<int>(n), 1) < 0;
            else
                recorded += static_cast<size_t>(n) * dev->frameBytes;
        }

        lock.lock();
        header->dwBytesRecorded = static_cast<uint32_t>(recorded);
        if (dev->resetRequested)
            continue; // the reset hands this buffer back with what it holds
        if (stalled) {
            // A device that is gone records nothing more; wait for the owner's reset.
            dev->wake.wait_for(lock, std::chrono::milliseconds(50));
            continue;
        }
        if (recorded >= total) {
            dev->queue.pop_front();
            markDone(header);
            lock.unlock();
            handBack(dev, header);
            lock.lock();
        }
    }
}

class AlsaWaveIn final : public WaveIn {
public:
    unsigned getNumDevs() override {
        return static_cast<unsigned>(alsaCaptureDeviceNames().size());
    }

    WaveResult open(HWaveIn* handle, int deviceId, const WaveFormatEx* format, WaveWindow* window,
                    uint32_t flags) override {
        if (!handle || !format)
            return MMSYSERR_INVALPARAM;
        if ((flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW || !window)
            return MMSYSERR_INVALFLAG;
        const auto pcmFormat = static_cast<snd_pcm_format_t>(alsaSampleFormat(*format));
        if (pcmFormat == SND_PCM_FORMAT_UNKNOWN)
            return WAVERR_BADFORMAT;
        std::string name = "default";
        if (deviceId != WAVE_MAPPER) {
            const auto names = alsaCaptureDeviceNames();
            if (deviceId < 0 || static_cast<size_t>(deviceId) >= names.size())
                return MMSYSERR_BADDEVICEID;
            name = names[static_cast<size_t>(deviceId)];
        }
        silenceAlsa();
        snd_pcm_t* pcm = nullptr;
        // Non-blocking, so that a busy device fails at once and reads never wait unbounded.
        int rc = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (rc < 0)
            return rc;
        rc = snd_pcm_set_params(pcm, pcmFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format->nChannels,
                                format->nSamplesPerSec, 1, 200000);
        snd_pcm_uframes_t bufferFrames = 0;
        snd_pcm_uframes_t periodFrames = 0;
        if (rc >= 0)
            rc = snd_pcm_get_params(pcm, &bufferFrames, &periodFrames);
        if (rc < 0) {
            snd_pcm_close(pcm);
            return rc;
        }
        auto* dev = new (std::nothrow) WaveInDevice;
        if (!dev) {
            snd_pcm_close(pcm);
            return MMSYSERR_NOMEM;
        }
        dev->pcm = pcm;
        dev->window = window;
        dev->frameBytes = format->nBlockAlign;
        dev->chunkFrames =
            std::max<snd_pcm_uframes_t>(1, periodFrames ? periodFrames : bufferFrames);
        try {
            dev->thread = std::thread(captureLoop, dev);
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
        window->post(MM_WIM_OPEN, reinterpret_cast<uintptr_t>(dev), 0);
        return MMSYSERR_NOERROR;
    }

    WaveResult prepareHeader(HWaveIn dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        return setHeaderPrepared(header, headerSize, true);
    }

    WaveResult unprepareHeader(HWaveIn dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        return setHeaderPrepared(header, headerSize, false);
    }

    WaveResult addBuffer(HWaveIn dev, WaveHdr* header, unsigned headerSize) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (!header || headerSize < sizeof(WaveHdr) || !header->lpData)
            return MMSYSERR_INVALPARAM;
        std::lock_guard lock(dev->mutex);
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING; // never queue a buffer twice
        if (dev->closing)
            return MMSYSERR_INVALHANDLE;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        dev->queue.push_back(header);
        dev->wake.notify_one();
        return MMSYSERR_NOERROR;
    }

    WaveResult start(HWaveIn dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(dev->mutex);
        dev->started = true;
        dev->wake.notify_one();
        return MMSYSERR_NOERROR;
    }

    WaveResult reset(HWaveIn dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        std::unique_lock lock(dev->mutex);
        dev->resetRequested = true;
        dev->wake.notify_one();
        dev->resetDone.wait(lock, [dev] { return !dev->resetRequested; });
        return MMSYSERR_NOERROR;
    }

    WaveResult close(HWaveIn dev) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        {
            std::lock_guard lock(dev->mutex);
            if (!dev->queue.empty())
                return WAVERR_STILLPLAYING;
            dev->closing = true;
            dev->wake.notify_one();
        }
        dev->thread.join();
        {
            std::lock_guard lock(registryMutex);
            registry.erase(dev);
        }
        snd_pcm_close(dev->pcm);
        dev->window->post(MM_WIM_CLOSE, reinterpret_cast<uintptr_t>(dev), 0);
        delete dev;
        return MMSYSERR_NOERROR;
    }

    std::string getErrorText(WaveResult code) override { return waveErrorText(code); }
};

} // namespace

WaveIn& alsaWaveIn() {
    static AlsaWaveIn layer;
    return layer;
}

} // namespace platform
