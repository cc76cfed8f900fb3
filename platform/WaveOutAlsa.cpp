// SPDX-License-Identifier: GPL-3.0-or-later
// Wave output on ALSA. A thread of each open device plays the queued buffers in order and
// reports each one as done once ALSA has taken all of its frames, the last one once it has
// been played. A break in the sound (an underrun, a stall, a device clock that ran ahead of
// the frames played) ends the playback as lost with WAVERR_GAP. Only that thread calls
// ALSA for a running device, so ALSA never sees two threads on one PCM.
#include "WaveOutAlsa.h"
#include "WaveOut.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

// A sound server's plugin blocks in snd_pcm_drain until the server has played everything,
// whatever the stream's mode, and a stopped server never does. So the drain runs in a thread
// of its own and the play thread waits for it only until its deadline. A drain that is still
// pending when the device closes takes the stream with it and closes it when it comes back.
struct PendingDrain {
    std::mutex mutex;
    std::condition_variable finished;
    snd_pcm_t* pcm = nullptr;
    bool done = false;
    bool closeWhenDone = false;
};

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
    bool idle = true;                   // nothing was queued when the thread last looked
    std::thread thread;
    std::shared_ptr<PendingDrain> drain; // the last drain started, until it is seen done

    // The device's clock against the sample count (the play thread's own): frames handed to
    // ALSA since the stream was prepared, and the least seen of "now minus the played frames'
    // length", which stays put while the sound runs without a break.
    unsigned rate = 1;
    uint64_t framesWritten = 0;
    bool clockStarted = false;
    double leastOffset = 0;
};

namespace {
// ALSA prints its own errors on stderr by default; this program logs nothing.
// Variadic because ALSA's handler type is.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void silentErrorHandler(const char*, int, const char*, int, const char*, ...) {}
} // namespace

void silenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentErrorHandler); });
}

int alsaSampleFormat(const WaveFormatEx& format) {
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels < 1 || format.nChannels > 2 ||
        format.nSamplesPerSec == 0)
        return SND_PCM_FORMAT_UNKNOWN;
    if (format.wBitsPerSample == 8 && format.nBlockAlign == format.nChannels)
        return SND_PCM_FORMAT_U8;
    if (format.wBitsPerSample == 16 && format.nBlockAlign == 2 * format.nChannels)
        return SND_PCM_FORMAT_S16_LE;
    return SND_PCM_FORMAT_UNKNOWN;
}

namespace {

std::vector<AlsaDevice> pcmDevices(const char* direction) {
    silenceAlsa();
    std::vector<AlsaDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return devices;
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* desc = snd_device_name_get_hint(*hint, "DESC");
        char* ioid = snd_device_name_get_hint(*hint, "IOID");
        // No IOID means both directions.
        if (name && (!ioid || std::string(ioid) == direction)) {
            std::string description = desc ? desc : "";
            // Card name and device description come as two lines.
            for (std::size_t at; (at = description.find('\n')) != std::string::npos;)
                description.replace(at, 1, ": ");
            devices.push_back({name, std::move(description)});
        }
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::vector<std::string> pcmNames(const char* direction) {
    std::vector<std::string> names;
    for (AlsaDevice& device : pcmDevices(direction))
        names.push_back(std::move(device.name));
    return names;
}

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

std::atomic<unsigned> underrunCount{0};

// A device that takes nothing for this long while data waits has stalled (a server that was
// stopped or died without closing its socket, a stream suspended for good).
constexpr auto stallLimit = std::chrono::seconds(1);
// The sound fell behind the device's clock by this much: a break the receiver hears.
constexpr double gapLimitSeconds = 0.020;
// How long a reset, a close or more data waits for a drain to come back: long enough for a
// busy machine to run its thread, short enough that Ctrl+C still ends a send at once.
constexpr auto settleLimit = std::chrono::milliseconds(200);
// How long the last buffer may take to play beyond its own length.
constexpr auto drainMargin = std::chrono::seconds(2);

// Hands every queued buffer back, in order; called with the lock held, returns with it held.
void handBackAll(WaveOutDevice* dev, std::unique_lock<std::mutex>& lock) {
    std::deque<WaveHdr*> returned;
    returned.swap(dev->queue);
    dev->written = 0;
    dev->idle = true;
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

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// WAVERR_GAP when the device played fewer frames than the time since its start allows, by a
// break of gapLimitSeconds or more; ALSA then filled the break with silence, or the stream
// stood still. Only the play thread calls it.
WaveResult checkClock(WaveOutDevice* dev) {
    const snd_pcm_state_t state = snd_pcm_state(dev->pcm);
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_DRAINING)
        return MMSYSERR_NOERROR;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(dev->pcm, &delay) < 0)
        return MMSYSERR_NOERROR;
    const auto played = static_cast<int64_t>(dev->framesWritten) - delay;
    if (played <= 0)
        return MMSYSERR_NOERROR;
    const double offset = secondsNow() - double(played) / dev->rate;
    if (!dev->clockStarted || offset < dev->leastOffset) {
        dev->clockStarted = true;
        dev->leastOffset = offset;
    }
    return offset - dev->leastOffset >= gapLimitSeconds ? WAVERR_GAP : MMSYSERR_NOERROR;
}

void startDrain(WaveOutDevice* dev) {
    auto drain = std::make_shared<PendingDrain>();
    drain->pcm = dev->pcm;
    try {
        std::thread([drain] {
            snd_pcm_drain(drain->pcm);
            std::lock_guard lock(drain->mutex);
            drain->done = true;
            if (drain->closeWhenDone)
                snd_pcm_close(drain->pcm);
            drain->finished.notify_all();
        }).detach();
        dev->drain = std::move(drain);
    } catch (const std::system_error&) {
        snd_pcm_drain(dev->pcm); // no thread to be had: wait here, as ALSA's own players do
    }
}

// Whether a drain started earlier has come back, waiting for it at most this long (its
// thread may not even have been scheduled yet on a busy machine).
bool drainSettled(WaveOutDevice* dev, std::chrono::milliseconds within) {
    if (!dev->drain)
        return true;
    std::unique_lock lock(dev->drain->mutex);
    if (!dev->drain->finished.wait_for(lock, within, [&] { return dev->drain->done; }))
        return false;
    lock.unlock();
    dev->drain.reset();
    return true;
}

// Closes the stream, or leaves that to a drain that has not come back yet.
void closePcm(WaveOutDevice* dev) {
    if (dev->drain) {
        std::lock_guard lock(dev->drain->mutex);
        if (!dev->drain->done) {
            dev->drain->closeWhenDone = true;
            return;
        }
    }
    snd_pcm_close(dev->pcm);
}

void restartClock(WaveOutDevice* dev) {
    dev->framesWritten = 0;
    dev->clockStarted = false;
}

// The last queued buffer counts as done once ALSA has played it out (a drain, which the
// non-blocking stream only starts), so that "done" means heard and the close has nothing left
// to wait for. Returns a failure (WAVERR_GAP: a break, or the sound did not end within its
// length plus drainMargin), or MMSYSERR_NOERROR when it was played or when a reset, a close or
// more data came in. Called with the lock held and the played buffer still at the front of
// the queue.
WaveResult waitUntilPlayed(WaveOutDevice* dev, std::unique_lock<std::mutex>& lock) {
    using Clock = std::chrono::steady_clock;
    // In its last few milliseconds a stream's delay jumps about (a server's latency comes and
    // goes): the clock is not compared then.
    const snd_pcm_sframes_t tail = dev->rate / 20;
    lock.unlock();
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(dev->pcm, &delay) < 0)
        delay = 0;
    const auto deadline =
        Clock::now() +
        std::chrono::microseconds(1000000LL * std::max<snd_pcm_sframes_t>(delay, 0) / dev->rate) +
        drainMargin;
    // A sound shorter than ALSA's start threshold has not started yet.
    if (snd_pcm_state(dev->pcm) == SND_PCM_STATE_PREPARED)
        snd_pcm_start(dev->pcm);
    startDrain(dev);
    lock.lock();
    for (;;) {
        if (dev->resetRequested || dev->closing || dev->queue.size() > 1)
            return MMSYSERR_NOERROR;
        lock.unlock();
        WaveResult result = MMSYSERR_NOERROR;
        bool played = false;
        // While a server's drain is inside ALSA the stream is left alone: a concurrent update
        // there can stop it before its last samples were heard.
        if (drainSettled(dev, std::chrono::milliseconds(0))) {
            snd_pcm_avail_update(dev->pcm); // brings the state up to date
            const snd_pcm_state_t state = snd_pcm_state(dev->pcm);
            played = state != SND_PCM_STATE_DRAINING && state != SND_PCM_STATE_RUNNING;
            if (!played && snd_pcm_delay(dev->pcm, &delay) == 0 && delay > tail)
                result = checkClock(dev);
        }
        if (!played && result == MMSYSERR_NOERROR && Clock::now() > deadline)
            result = WAVERR_GAP; // the stream stands still
        lock.lock();
        if (played || result != MMSYSERR_NOERROR)
            return result;
        dev->wake.wait_for(lock, std::chrono::milliseconds(5));
    }
}

void playLoop(WaveOutDevice* dev) {
    std::unique_lock lock(dev->mutex);
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        dev->wake.wait(
            lock, [dev] { return dev->resetRequested || dev->closing || !dev->queue.empty(); });
        if (dev->resetRequested) {
            // Prepared again only when more is written: a server that stands still can hold
            // up a prepare, and the reset must come back.
            if (dev->lost == MMSYSERR_NOERROR && drainSettled(dev, settleLimit)) {
                snd_pcm_drop(dev->pcm);
                restartClock(dev);
            }
            handBackAll(dev, lock);
            dev->resetRequested = false;
            dev->resetDone.notify_all();
            continue;
        }
        if (dev->queue.empty()) { // closing: the last buffer has played already
            lock.unlock();
            if (drainSettled(dev, settleLimit))
                snd_pcm_drop(dev->pcm);
            return;
        }
        if (dev->lost != MMSYSERR_NOERROR) { // a write raced with the loss
            handBackAll(dev, lock);
            continue;
        }
        WaveHdr* header = dev->queue.front();
        size_t written = dev->written;
        if (dev->idle) { // the stall clock runs only while data waits
            dev->idle = false;
            lastProgress = std::chrono::steady_clock::now();
        }
        lock.unlock();

        // The owner leaves a queued header alone, so it is read without the lock.
        const size_t total = header->dwBufferLength - header->dwBufferLength % dev->frameBytes;
        WaveResult failure = MMSYSERR_NOERROR;
        if (written < total && !drainSettled(dev, settleLimit)) {
            failure =
                WAVERR_GAP; // more sound after the last had run out: the receiver heard a break
        } else if (written < total) {
            const snd_pcm_state_t state = snd_pcm_state(dev->pcm);
            if (state == SND_PCM_STATE_SETUP || state == SND_PCM_STATE_DRAINING)
                snd_pcm_prepare(dev->pcm); // after a reset, or more data after the last

            const snd_pcm_sframes_t frames =
                writeFrames(dev, header->lpData + written, (total - written) / dev->frameBytes);
            if (frames == -EAGAIN) {
                snd_pcm_wait(dev->pcm, 50); // bounded, so a reset or close is seen soon
                if (std::chrono::steady_clock::now() - lastProgress > stallLimit)
                    failure = WAVERR_GAP;
            } else if (frames == -EPIPE || frames == -ESTRPIPE) {
                // An underrun or a suspend: the receiver heard a break, so the send is spoilt.
                ++underrunCount;
                failure = WAVERR_GAP;
            } else if (frames < 0) {
                failure = static_cast<int>(frames); // gone or broken
            } else {
                written += static_cast<size_t>(frames) * dev->frameBytes;
                dev->framesWritten += static_cast<uint64_t>(frames);
                lastProgress = std::chrono::steady_clock::now();
            }
            if (failure == MMSYSERR_NOERROR &&
                snd_pcm_state(dev->pcm) == SND_PCM_STATE_DISCONNECTED)
                failure = -ENODEV;
            if (failure == MMSYSERR_NOERROR)
                failure = checkClock(dev);
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
                const WaveResult late = waitUntilPlayed(dev, lock);
                if (late != MMSYSERR_NOERROR) {
                    dev->lost = late;
                    handBackAll(dev, lock);
                    continue;
                }
                if (dev->resetRequested)
                    continue; // the reset hands this buffer back
            }
            dev->queue.pop_front();
            dev->written = 0;
            dev->idle = dev->queue.empty();
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
        if (!handle || !format)
            return MMSYSERR_INVALPARAM;
        if ((flags & 0x70000) != CALLBACK_FUNCTION || !callback)
            return MMSYSERR_INVALFLAG;
        const auto pcmFormat = static_cast<snd_pcm_format_t>(alsaSampleFormat(*format));
        if (pcmFormat == SND_PCM_FORMAT_UNKNOWN)
            return WAVERR_BADFORMAT;
        std::string name = "default";
        if (deviceId != WAVE_MAPPER) {
            const auto names = alsaPlaybackDeviceNames();
            if (deviceId < 0 || static_cast<size_t>(deviceId) >= names.size())
                return MMSYSERR_BADDEVICEID;
            name = names[static_cast<size_t>(deviceId)];
        }
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
        dev->rate = format->nSamplesPerSec;
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
        closePcm(dev);
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

std::vector<AlsaDevice> alsaPlaybackDevices() {
    return pcmDevices("Output");
}

std::vector<std::string> alsaPlaybackDeviceNames() {
    return pcmNames("Output");
}

bool alsaOutputOffered(const std::string& name) {
    if (name == "default" || name.starts_with("default:") || name == "null" ||
        name.starts_with("hw:"))
        return false;
    silenceAlsa();
    if (snd_config_update() < 0)
        return true;
    snd_config_t* definition = nullptr;
    if (snd_config_search_definition(snd_config, "pcm", name.c_str(), &definition) < 0)
        return true; // not ours to judge
    std::string type;
    snd_config_t* node = nullptr;
    const char* text = nullptr;
    if (snd_config_search(definition, "type", &node) >= 0 &&
        snd_config_get_string(node, &text) >= 0)
        type = text;
    snd_config_delete(definition);
    static const std::set<std::string> converters = {"null", "rate", "speex", "upmix", "vdownmix"};
    return !converters.contains(type);
}

std::vector<std::string> alsaCaptureDeviceNames() {
    return pcmNames("Input");
}

unsigned alsaUnderruns() {
    return underrunCount.load();
}

WaveOut& alsaWaveOut() {
    static AlsaWaveOut layer;
    return layer;
}

} // namespace platform
