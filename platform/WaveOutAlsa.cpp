// SPDX-License-Identifier: GPL-3.0-or-later
// Wave output on ALSA. A thread of each open device plays the queued buffers in order and
// reports each one as done once ALSA has taken all of its frames, the last one once it has
// been heard. The sound is framed by silence of the layer's own, long enough for the judge
// to see the stream steady before its first sample and after its last. The verdict is
// ALSA's: an underrun, a suspend or a device gone, and a position that stood still or jumped
// against the status's own time stamps, end the playback as lost (WAVERR_GAP and its causes).
// Only that thread calls ALSA for a running device, so ALSA never sees two threads on one
// PCM, and no drain is ever waited for. The buffer holds a whole sequence where the device
// allows, so that a busy machine has seconds, not milliseconds, to keep it fed.
#include "WaveOutAlsa.h"
#include "AlsaStreamJudge.h"
#include "RealtimeThread.h"
#include "WaveOut.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
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
    AlsaStreamReadings readings;
    bool reportsLate = false;     // the position is the plugin's guess between the server's reports
    std::vector<int16_t> history; // every sample of this stream so far, for the fade at a stop
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

// On a device that plays in time, the silence after the sound that must have played steady
// before the sound counts as heard: both of the judge's windows and a little more, so that a
// break in the last tone shows. Written with room to spare, so that a late play thread
// does not run the stream dry first. A timeless device only needs more than its position
// runs ahead.
constexpr double confirmSeconds = 2 * judgeWindowSeconds + 0.050;
constexpr double trailSeconds = 1.0;
// Through a plugin that reports late, until its next report has surely come.
constexpr double lateReportConfirmSeconds = 2.0;
constexpr double lateReportTrailSeconds = 2.6;
constexpr double timelessConfirmSeconds = 0.080;
// The most the layer keeps with ALSA: a whole sequence and the silence around it. (Through
// PulseAudio's plugin the buffer is the server's, and a server that stood still then never
// shows: its stream does not run dry, and the plugin's position runs on by the clock. A
// buffer small enough to show it breaks under load, which matters more.)
constexpr unsigned maxBufferMicroseconds = 20'000'000;
// A stop fades the sound out over this long, beyond what the device may already hold.
constexpr double fadeSeconds = 0.005;
constexpr double fadeMarginSeconds = 0.030;
// After a buffer that is not marked as the last, the silence begins once the device holds
// less than this of the sound and no more came for paddingGrace, so that a buffer the writer
// queues a little late still joins the sound without a break.
constexpr double paddingStartSeconds = 0.080;
constexpr auto paddingGrace = std::chrono::milliseconds(50);

uint64_t framesOf(const WaveOutDevice* dev, double seconds) {
    return uint64_t(seconds * dev->judge.rate);
}

// A new stream begins (the PCM was opened or prepared again).
void beginStream(WaveOutDevice* dev) {
    StreamJudge& judge = dev->judge;
    judge.restart(steadySeconds());
    judge.soundStart = judge.timeless ? 0 : framesOf(dev, edgeSilenceSeconds);
    judge.showsLate = dev->reportsLate ? framesOf(dev, lateReportConfirmSeconds) : 0;
    judge.heardAfter = framesOf(dev, judge.timeless     ? timelessConfirmSeconds
                                     : dev->reportsLate ? lateReportConfirmSeconds
                                                        : confirmSeconds);
    dev->history.clear();
}

WaveResult judgeNow(WaveOutDevice* dev, uint64_t* played = nullptr) {
    return dev->judge.check(dev->readings.read(), steadySeconds(), played);
}

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

// Writes 16-bit samples and keeps what ALSA took, and counts it; ALSA's result.
snd_pcm_sframes_t writeSamples(WaveOutDevice* dev, const int16_t* samples, size_t frames) {
    const snd_pcm_sframes_t taken = snd_pcm_writei(dev->pcm, samples, frames);
    if (taken > 0) {
        dev->history.insert(dev->history.end(), samples, samples + size_t(taken) * dev->channels);
        dev->judge.framesWritten += static_cast<uint64_t>(taken);
    }
    return taken;
}

// Writes frames of the buffer from `data` (16-bit samples), widened first if the device needs
// it; ALSA's result.
snd_pcm_sframes_t writeFrames(WaveOutDevice* dev, const uint8_t* data, size_t frames) {
    if (!dev->widen) {
        std::vector<int16_t> samples(frames * dev->channels);
        std::memcpy(samples.data(), data, samples.size() * sizeof(int16_t));
        return writeSamples(dev, samples.data(), frames);
    }
    const size_t limit = dev->wide.size() / dev->channels;
    frames = std::min(frames, limit);
    const size_t samples = frames * dev->channels;
    for (size_t i = 0; i < samples; ++i)
        dev->wide[i] = static_cast<int16_t>((int(data[i]) - 128) * 256);
    return writeSamples(dev, dev->wide.data(), frames);
}

// Silence around the sound (ALSA gets 16-bit samples, whose zero is silence): as much as the
// device takes now, up to `wanted` frames.
snd_pcm_sframes_t writeSilence(WaveOutDevice* dev, uint64_t wanted) {
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(dev->pcm);
    if (avail <= 0 || wanted == 0)
        return avail;
    const std::vector<int16_t> zeros(
        static_cast<size_t>(std::min<uint64_t>(uint64_t(avail), wanted)) * dev->channels);
    return writeSamples(dev, zeros.data(), zeros.size() / dev->channels);
}

// Before a stop drops the stream: what the device does not hold yet is written again, faded
// out over a few milliseconds, so that the line hears no click. Where ALSA cannot take back
// what it was given, the stream is dropped as it is.
void fadeOut(WaveOutDevice* dev) {
    if (snd_pcm_state(dev->pcm) != SND_PCM_STATE_RUNNING || dev->judge.timeless)
        return;
    const auto margin = snd_pcm_sframes_t(framesOf(dev, fadeMarginSeconds));
    const auto fade = size_t(std::max<uint64_t>(framesOf(dev, fadeSeconds), 1));
    const snd_pcm_sframes_t rewindable = snd_pcm_rewindable(dev->pcm);
    if (rewindable <= margin)
        return;
    const snd_pcm_sframes_t back =
        snd_pcm_rewind(dev->pcm, static_cast<snd_pcm_uframes_t>(rewindable - margin));
    if (back <= 0)
        return;
    dev->judge.framesWritten -= static_cast<uint64_t>(back);
    // The samples that would have followed, faded, then silence for the rest of the margin.
    const auto from = size_t(dev->judge.framesWritten);
    std::vector<int16_t> tail((fade + size_t(margin)) * dev->channels, 0);
    for (size_t i = 0; i < fade; ++i)
        for (unsigned c = 0; c < dev->channels; ++c)
            if (const size_t at = (from + i) * dev->channels + c; at < dev->history.size())
                tail[i * dev->channels + c] =
                    static_cast<int16_t>(dev->history[at] * double(fade - i) / double(fade + 1));
    dev->history.resize(from * dev->channels);
    if (writeSamples(dev, tail.data(), tail.size() / dev->channels) <= 0)
        return;
    // Until the fade has been heard, for a moment at most.
    const uint64_t faded = from + fade;
    const double until = steadySeconds() + 4 * fadeMarginSeconds;
    uint64_t played = 0;
    while (judgeNow(dev, &played) == MMSYSERR_NOERROR && played < faded && steadySeconds() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// The last queued buffer is all with ALSA. It counts as played once the device has played
// the silence that confirms it (so that "done" means heard and what is left to drop at the
// close is silence); until then the stream is fed with silence and judged as while the sound
// was written. Returns a failure, or MMSYSERR_NOERROR when the sound was heard or a reset came
// in, or more sound that joins it without a break. Called with the lock held and the played
// buffer still at the front of the queue.
WaveResult finishSound(WaveOutDevice* dev, std::unique_lock<std::mutex>& lock) {
    StreamJudge& judge = dev->judge;
    const auto padStart = framesOf(dev, paddingStartSeconds);
    const bool last = (dev->queue.front()->dwFlags & WHDR_LAST) != 0;
    const auto since = std::chrono::steady_clock::now();
    const uint64_t trail =
        judge.timeless ? judge.heardAfter
                       : framesOf(dev, dev->reportsLate ? lateReportTrailSeconds : trailSeconds);
    for (;;) {
        if (dev->resetRequested)
            return MMSYSERR_NOERROR;
        if (dev->queue.size() > 1) // more sound: after silence, that is a break
            return judge.padding ? WAVERR_GAP : MMSYSERR_NOERROR;
        lock.unlock();
        uint64_t played = 0;
        WaveResult result = judgeNow(dev, &played);
        if (result == MMSYSERR_NOERROR && !judge.ended) {
            // A sound shorter than ALSA's start threshold has not started yet.
            if (snd_pcm_state(dev->pcm) == SND_PCM_STATE_PREPARED)
                snd_pcm_start(dev->pcm);
            // A timeless device never runs dry, so a late buffer is no break there.
            const auto grace = judge.timeless ? stallLimit : paddingGrace;
            if (judge.padding || last ||
                (judge.framesWritten - played < padStart &&
                 std::chrono::steady_clock::now() - since >= grace)) {
                const uint64_t end = judge.padding ? judge.soundEnd : judge.framesWritten;
                const uint64_t target = end + trail;
                const snd_pcm_sframes_t frames =
                    writeSilence(dev, target - std::min(target, judge.framesWritten));
                if (frames > 0 && !judge.padding) {
                    judge.padding = true;
                    judge.soundEnd = end;
                } else if (frames < 0 && frames != -EAGAIN && frames != -EPIPE) {
                    result = static_cast<int>(frames);
                }
            }
        }
        lock.lock();
        if (result != MMSYSERR_NOERROR || judge.ended)
            return result;
        dev->wake.wait_for(lock, std::chrono::milliseconds(5));
    }
}

void playLoop(WaveOutDevice* dev) {
    // Where the system allows it, as sound programs do: a busy desktop then still gives this
    // thread its turn in time.
    makeThisThreadRealtime();
    std::unique_lock lock(dev->mutex);
    for (;;) {
        dev->wake.wait(
            lock, [dev] { return dev->resetRequested || dev->closing || !dev->queue.empty(); });
        if (dev->resetRequested) {
            // Prepared again only when more is written: a server that stands still can hold
            // up a prepare, and the reset must come back.
            if (dev->lost == MMSYSERR_NOERROR) {
                fadeOut(dev);
                snd_pcm_drop(dev->pcm);
            }
            dev->judge.writeReadings(-1); // stopped
            beginStream(dev);
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
                beginStream(dev);
            }
            // The silence before the sound, then the sound.
            const bool lead = dev->judge.framesWritten < dev->judge.soundStart;
            const snd_pcm_sframes_t frames =
                lead ? writeSilence(dev, dev->judge.soundStart - dev->judge.framesWritten)
                     : writeFrames(dev, header->lpData + written,
                                   (total - written) / dev->frameBytes);
            if (frames == -EAGAIN) {
                snd_pcm_wait(dev->pcm, 50); // bounded, so a reset or close is seen soon
            } else if (frames == -EPIPE) {
                countUnderrun();
                failure = WAVERR_UNDERRUN;
            } else if (frames < 0) {
                failure = static_cast<int>(frames); // suspended, gone or broken
            } else if (!lead) {
                written += static_cast<size_t>(frames) * dev->frameBytes;
            }
            if (failure == MMSYSERR_NOERROR)
                failure = judgeNow(dev);
        }

        lock.lock();
        if (failure != MMSYSERR_NOERROR) {
            dev->judge.writeReadings(failure);
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
                if (end != MMSYSERR_NOERROR || dev->judge.ended)
                    dev->judge.writeReadings(end);
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

// The format, and a buffer as large as the device gives, up to a whole sequence; as ALSA's own
// simple set-up where the device refuses that.
int setHardware(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels, unsigned rate,
                unsigned longest) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    int rc = snd_pcm_hw_params_any(pcm, params);
    if (rc >= 0)
        rc = snd_pcm_hw_params_set_rate_resample(pcm, params, 1);
    if (rc >= 0)
        rc = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (rc >= 0)
        rc = snd_pcm_hw_params_set_format(pcm, params, format);
    if (rc >= 0)
        rc = snd_pcm_hw_params_set_channels(pcm, params, channels);
    if (rc >= 0)
        rc = snd_pcm_hw_params_set_rate(pcm, params, rate, 0);
    if (rc < 0)
        return rc;
    unsigned most = 0;
    int dir = 0;
    if (snd_pcm_hw_params_get_buffer_time_max(params, &most, &dir) < 0 || most == 0)
        most = maxBufferMicroseconds;
    unsigned bufferTime = std::min(most, longest);
    unsigned periodTime = 20000;
    if (snd_pcm_hw_params_set_buffer_time_near(pcm, params, &bufferTime, &dir) >= 0 &&
        snd_pcm_hw_params_set_period_time_near(pcm, params, &periodTime, &dir) >= 0 &&
        snd_pcm_hw_params(pcm, params) >= 0)
        return 0;
    return snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1,
                              200000);
}

// The stream starts with the first write that holds the silence before the sound, and the
// status's time stamps are taken on the steady clock where the device can.
int setSoftware(snd_pcm_t* pcm, uint64_t startFrames, bool* monotonic) {
    snd_pcm_sw_params_t* params = nullptr;
    snd_pcm_sw_params_alloca(&params);
    snd_pcm_uframes_t buffer = 0, period = 0;
    int rc = snd_pcm_get_params(pcm, &buffer, &period);
    if (rc >= 0)
        rc = snd_pcm_sw_params_current(pcm, params);
    if (rc >= 0)
        rc = snd_pcm_sw_params_set_start_threshold(
            pcm, params,
            std::max<snd_pcm_uframes_t>(std::min<snd_pcm_uframes_t>(startFrames, buffer), 1));
    if (rc < 0)
        return rc;
    *monotonic = stampOnSteadyClock(params, pcm);
    rc = snd_pcm_sw_params(pcm, params);
    if (rc < 0 && *monotonic) { // a device that refuses the stamps still plays
        *monotonic = false;
        snd_pcm_sw_params_current(pcm, params);
        snd_pcm_sw_params_set_start_threshold(
            pcm, params,
            std::max<snd_pcm_uframes_t>(std::min<snd_pcm_uframes_t>(startFrames, buffer), 1));
        rc = snd_pcm_sw_params(pcm, params);
    }
    return rc;
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
        const bool late = reportsLate(pcm);
        rc = setHardware(pcm, widen ? SND_PCM_FORMAT_S16_LE : pcmFormat, format->nChannels,
                         format->nSamplesPerSec, maxBufferMicroseconds);
        const bool timeless = rc >= 0 && endsInNull(pcm);
        bool monotonic = false;
        if (rc >= 0)
            rc = setSoftware(pcm,
                             timeless ? 1 : uint64_t(edgeSilenceSeconds * format->nSamplesPerSec),
                             &monotonic);
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
        dev->judge.rate = format->nSamplesPerSec;
        dev->judge.timeless = timeless;
        dev->reportsLate = late;
        dev->readings.pcm = pcm;
        dev->readings.monotonicStamps = monotonic;
        if (const char* file = std::getenv("ZUVELA_STREAM_READINGS"))
            dev->judge.readingsFile = file;
        beginStream(dev);
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
