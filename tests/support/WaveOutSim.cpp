// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WaveOutSim.h"

namespace platform {

namespace {
HWaveOut handleOf(unsigned generation) {
    return reinterpret_cast<HWaveOut>(static_cast<uintptr_t>(generation));
}
} // namespace

void WaveOutSim::fail(Call call, WaveResult code, int times, int skip) {
    std::lock_guard lock(mutex_);
    plans_.fail(call, code, times, skip);
}

void WaveOutSim::clearFailures() {
    std::lock_guard lock(mutex_);
    plans_.clear();
}

void WaveOutSim::setErrorText(WaveResult code, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[code] = std::move(text);
}

WaveResult WaveOutSim::planned(Call call) {
    return plans_.next(call);
}

bool WaveOutSim::validHandle(HWaveOut handle) const {
    return open_ && handle == handleOf(generation_);
}

void WaveOutSim::record(Record r) {
    calls_.push_back(r);
}

WaveResult WaveOutSim::open(HWaveOut* handle, int deviceId, const WaveFormatEx* format,
                            WaveOutProc callback, uintptr_t instance, uint32_t flags) {
    std::unique_lock lock(mutex_);
    WaveResult rc = planned(Call::Open);
    if (rc == MMSYSERR_NOERROR && (!handle || !format))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && (deviceId < WAVE_MAPPER || deviceId >= int(numDevs)))
        rc = MMSYSERR_BADDEVICEID;
    if (rc == MMSYSERR_NOERROR && open_)
        rc = -16; // one device, and it is busy: as ALSA's EBUSY
    record({Call::Open, rc, deviceId});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    open_ = true;
    lost_ = MMSYSERR_NOERROR;
    ++generation_;
    callback_ = callback;
    instance_ = instance;
    format_ = *format;
    flags_ = flags;
    *handle = handleOf(generation_);
    const HWaveOut h = *handle;
    lock.unlock();
    callback(h, MM_WOM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

WaveResult WaveOutSim::prepareHeader(HWaveOut handle, WaveHdr* header, unsigned headerSize) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::Prepare);
    if (rc == MMSYSERR_NOERROR && !validHandle(handle))
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && (!header || headerSize < sizeof(WaveHdr)))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && (header->dwFlags & WHDR_INQUEUE))
        rc = WAVERR_STILLPLAYING;
    record({Call::Prepare, rc, 0, header});
    if (rc == MMSYSERR_NOERROR)
        header->dwFlags |= WHDR_PREPARED;
    return rc;
}

WaveResult WaveOutSim::unprepareHeader(HWaveOut handle, WaveHdr* header, unsigned headerSize) {
    std::lock_guard lock(mutex_);
    WaveResult rc = planned(Call::Unprepare);
    if (rc == MMSYSERR_NOERROR && !validHandle(handle))
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && (!header || headerSize < sizeof(WaveHdr)))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && (header->dwFlags & WHDR_INQUEUE))
        rc = WAVERR_STILLPLAYING;
    record({Call::Unprepare, rc, 0, header});
    if (rc == MMSYSERR_NOERROR)
        header->dwFlags &= ~WHDR_PREPARED;
    return rc;
}

WaveResult WaveOutSim::write(HWaveOut handle, WaveHdr* header, unsigned headerSize) {
    std::unique_lock lock(mutex_);
    WaveResult rc = planned(Call::Write);
    if (rc == MMSYSERR_NOERROR && !validHandle(handle))
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && (!header || headerSize < sizeof(WaveHdr)))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && !(header->dwFlags & WHDR_PREPARED))
        rc = WAVERR_UNPREPARED;
    if (rc == MMSYSERR_NOERROR && (header->dwFlags & WHDR_INQUEUE)) {
        rc = WAVERR_STILLPLAYING;
        ++doubleWrites_;
    }
    if (rc == MMSYSERR_NOERROR && lost_ != MMSYSERR_NOERROR)
        rc = lost_;
    record({Call::Write, rc, 0, header, header ? header->dwBufferLength : 0});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    written_.insert(written_.end(), header->lpData, header->lpData + header->dwBufferLength);
    queue_.push_back(header);
    if (completeInWrite) {
        lock.unlock();
        completeNext();
    }
    return MMSYSERR_NOERROR;
}

void WaveOutSim::loseDevice(WaveResult code) {
    {
        std::lock_guard lock(mutex_);
        lost_ = code;
    }
    completeAll();
}

WaveResult WaveOutSim::lostError(HWaveOut handle) {
    std::lock_guard lock(mutex_);
    return validHandle(handle) ? lost_ : MMSYSERR_INVALHANDLE;
}

bool WaveOutSim::completeNext() {
    std::unique_lock lock(mutex_);
    if (queue_.empty())
        return false;
    WaveHdr* header = queue_.front();
    queue_.pop_front();
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    const HWaveOut h = handleOf(generation_);
    const WaveOutProc callback = callback_;
    const uintptr_t instance = instance_;
    lock.unlock();
    callback(h, MM_WOM_DONE, instance, reinterpret_cast<uintptr_t>(header), 0);
    return true;
}

int WaveOutSim::completeAll() {
    int n = 0;
    while (completeNext())
        ++n;
    return n;
}

WaveResult WaveOutSim::reset(HWaveOut handle) {
    {
        std::lock_guard lock(mutex_);
        WaveResult rc = planned(Call::Reset);
        if (rc == MMSYSERR_NOERROR && !validHandle(handle))
            rc = MMSYSERR_INVALHANDLE;
        record({Call::Reset, rc});
        if (rc != MMSYSERR_NOERROR)
            return rc;
    }
    completeAll();
    return MMSYSERR_NOERROR;
}

WaveResult WaveOutSim::close(HWaveOut handle) {
    std::unique_lock lock(mutex_);
    WaveResult rc = planned(Call::Close);
    if (rc == MMSYSERR_NOERROR && !validHandle(handle))
        rc = MMSYSERR_INVALHANDLE;
    if (rc == MMSYSERR_NOERROR && !queue_.empty())
        rc = WAVERR_STILLPLAYING;
    record({Call::Close, rc});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    open_ = false;
    lost_ = MMSYSERR_NOERROR;
    const WaveOutProc callback = callback_;
    const uintptr_t instance = instance_;
    lock.unlock();
    callback(handle, MM_WOM_CLOSE, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

std::string WaveOutSim::getErrorText(WaveResult code) {
    std::lock_guard lock(mutex_);
    auto it = texts_.find(code);
    return it != texts_.end() ? it->second : waveErrorText(code);
}

size_t WaveOutSim::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

bool WaveOutSim::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

std::vector<WaveOutSim::Record> WaveOutSim::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int WaveOutSim::count(Call call) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const Record& r : calls_)
        n += r.call == call;
    return n;
}

std::vector<uint8_t> WaveOutSim::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

WaveFormatEx WaveOutSim::lastFormat() const {
    std::lock_guard lock(mutex_);
    return format_;
}

uint32_t WaveOutSim::lastFlags() const {
    std::lock_guard lock(mutex_);
    return flags_;
}

int WaveOutSim::doubleWrites() const {
    std::lock_guard lock(mutex_);
    return doubleWrites_;
}

} // namespace platform
