// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/WaveInSim.h"

#include <algorithm>

namespace platform {

namespace {
HWaveIn handleOf(unsigned generation) {
    return reinterpret_cast<HWaveIn>(static_cast<uintptr_t>(generation));
}
} // namespace

void WaveInSim::fail(Call call, WaveResult code, int times, int skip) {
    std::lock_guard lock(mutex_);
    plans_.fail(call, code, times, skip);
}

void WaveInSim::setErrorText(WaveResult code, std::string text) {
    std::lock_guard lock(mutex_);
    texts_[code] = std::move(text);
}

WaveResult WaveInSim::planned(Call call) {
    return plans_.next(call);
}

WaveResult WaveInSim::checked(Call call, HWaveIn handle) {
    WaveResult rc = planned(call);
    if (rc == MMSYSERR_NOERROR && !(open_ && handle == handleOf(generation_)))
        rc = MMSYSERR_INVALHANDLE;
    return rc;
}

WaveResult WaveInSim::checked(Call call, HWaveIn handle, WaveHdr* header, unsigned headerSize) {
    WaveResult rc = checked(call, handle);
    if (rc == MMSYSERR_NOERROR && (!header || headerSize < sizeof(WaveHdr) || !header->lpData))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && (header->dwFlags & WHDR_INQUEUE))
        rc = WAVERR_STILLPLAYING;
    calls_.push_back({call, rc, 0, header});
    return rc;
}

// Marks the header done and posts its notification, outside the lock as a driver would.
void WaveInSim::handBack(WaveHdr* header, std::unique_lock<std::mutex>& lock) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    WaveWindow* window = window_;
    const HWaveIn h = handleOf(generation_);
    lock.unlock();
    window->post(MM_WIM_DATA, reinterpret_cast<uintptr_t>(h), reinterpret_cast<uintptr_t>(header));
    lock.lock();
}

WaveResult WaveInSim::open(HWaveIn* handle, int deviceId, const WaveFormatEx* format,
                           WaveWindow* window, uint32_t flags) {
    std::unique_lock lock(mutex_);
    WaveResult rc = planned(Call::Open);
    if (rc == MMSYSERR_NOERROR && (!handle || !format))
        rc = MMSYSERR_INVALPARAM;
    if (rc == MMSYSERR_NOERROR && ((flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW || !window))
        rc = MMSYSERR_INVALFLAG;
    if (rc == MMSYSERR_NOERROR && (deviceId < WAVE_MAPPER || deviceId >= int(numDevs)))
        rc = MMSYSERR_BADDEVICEID;
    if (rc == MMSYSERR_NOERROR && open_)
        rc = -16; // one device, and it is busy: as ALSA's EBUSY
    calls_.push_back({Call::Open, rc, deviceId});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    open_ = true;
    started_ = false;
    ++generation_;
    window_ = window;
    format_ = *format;
    flags_ = flags;
    *handle = handleOf(generation_);
    const HWaveIn h = *handle;
    lock.unlock();
    window->post(MM_WIM_OPEN, reinterpret_cast<uintptr_t>(h), 0);
    return MMSYSERR_NOERROR;
}

WaveResult WaveInSim::prepareHeader(HWaveIn handle, WaveHdr* header, unsigned headerSize) {
    std::lock_guard lock(mutex_);
    const WaveResult rc = checked(Call::Prepare, handle, header, headerSize);
    if (rc == MMSYSERR_NOERROR)
        header->dwFlags |= WHDR_PREPARED;
    return rc;
}

WaveResult WaveInSim::unprepareHeader(HWaveIn handle, WaveHdr* header, unsigned headerSize) {
    std::lock_guard lock(mutex_);
    const WaveResult rc = checked(Call::Unprepare, handle, header, headerSize);
    if (rc == MMSYSERR_NOERROR)
        header->dwFlags &= ~WHDR_PREPARED;
    return rc;
}

WaveResult WaveInSim::addBuffer(HWaveIn handle, WaveHdr* header, unsigned headerSize) {
    std::lock_guard lock(mutex_);
    WaveResult rc = checked(Call::AddBuffer, handle, header, headerSize);
    if (rc == MMSYSERR_NOERROR && !(header->dwFlags & WHDR_PREPARED)) {
        rc = WAVERR_UNPREPARED;
        calls_.back().result = rc;
    }
    if (rc != MMSYSERR_NOERROR)
        return rc;
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    queue_.push_back(header);
    return MMSYSERR_NOERROR;
}

WaveResult WaveInSim::start(HWaveIn handle) {
    std::lock_guard lock(mutex_);
    const WaveResult rc = checked(Call::Start, handle);
    calls_.push_back({Call::Start, rc});
    if (rc == MMSYSERR_NOERROR)
        started_ = true;
    return rc;
}

bool WaveInSim::fillNext(const std::vector<uint8_t>& data) {
    std::unique_lock lock(mutex_);
    if (!open_ || !started_ || queue_.empty())
        return false;
    WaveHdr* header = queue_.front();
    queue_.pop_front();
    const size_t n = std::min<size_t>(data.size(), header->dwBufferLength);
    std::copy_n(data.begin(), n, header->lpData);
    header->dwBytesRecorded = static_cast<uint32_t>(n);
    handBack(header, lock);
    return true;
}

WaveResult WaveInSim::reset(HWaveIn handle) {
    std::unique_lock lock(mutex_);
    const WaveResult rc = checked(Call::Reset, handle);
    calls_.push_back({Call::Reset, rc});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    started_ = false;
    while (!queue_.empty()) {
        WaveHdr* header = queue_.front();
        queue_.pop_front();
        handBack(header, lock);
    }
    return MMSYSERR_NOERROR;
}

WaveResult WaveInSim::close(HWaveIn handle) {
    std::unique_lock lock(mutex_);
    WaveResult rc = checked(Call::Close, handle);
    if (rc == MMSYSERR_NOERROR && !queue_.empty())
        rc = WAVERR_STILLPLAYING;
    calls_.push_back({Call::Close, rc});
    if (rc != MMSYSERR_NOERROR)
        return rc;
    open_ = false;
    started_ = false;
    WaveWindow* window = window_;
    lock.unlock();
    window->post(MM_WIM_CLOSE, reinterpret_cast<uintptr_t>(handle), 0);
    return MMSYSERR_NOERROR;
}

std::string WaveInSim::getErrorText(WaveResult code) {
    std::lock_guard lock(mutex_);
    auto it = texts_.find(code);
    return it != texts_.end() ? it->second : waveErrorText(code);
}

bool WaveInSim::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

bool WaveInSim::isStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
}

size_t WaveInSim::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::vector<const WaveHdr*> WaveInSim::queue() const {
    std::lock_guard lock(mutex_);
    return {queue_.begin(), queue_.end()};
}

std::vector<WaveInSim::Record> WaveInSim::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

int WaveInSim::count(Call call) const {
    std::lock_guard lock(mutex_);
    return int(std::count_if(calls_.begin(), calls_.end(),
                             [call](const Record& r) { return r.call == call; }));
}

WaveFormatEx WaveInSim::lastFormat() const {
    std::lock_guard lock(mutex_);
    return format_;
}

uint32_t WaveInSim::lastFlags() const {
    std::lock_guard lock(mutex_);
    return flags_;
}

HWaveIn WaveInSim::handle() const {
    std::lock_guard lock(mutex_);
    return handleOf(generation_);
}

} // namespace platform
