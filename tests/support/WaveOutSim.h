// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted wave-output layer for tests: it records every call and every byte written, in
// order, fails any call on demand, and completes buffers only when told to. Completions run
// on the thread that asks for them; reset completes every queued buffer before it returns.
#include "WaveOut.h"
#include "support/WaveSimPlan.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

class WaveOutSim final : public WaveOut {
public:
    enum class Call { Open, Prepare, Unprepare, Write, Reset, Close };
    struct Record {
        Call call;
        WaveResult result;
        int deviceId = 0;                // Open
        const WaveHdr* header = nullptr; // Prepare, Unprepare, Write
        uint32_t length = 0;             // Write: bytes written
    };

    unsigned numDevs = 1;
    // Completes each buffer inside write, before write returns (a driver that is faster than
    // its caller).
    bool completeInWrite = false;

    // The next `times` calls of that kind (after `skip` successful ones) fail with `code`;
    // times < 0 fails every one from then on.
    void fail(Call call, WaveResult code, int times = 1, int skip = 0);
    void clearFailures();
    // Replaces the text of a code (an empty text stands for a code the system cannot name).
    void setErrorText(WaveResult code, std::string text);

    // The device goes away with `code`: every queued buffer comes back at once (on the
    // calling thread), later writes fail with the code, lostError reports it until close.
    void loseDevice(WaveResult code);

    // Completes the oldest queued buffer; false when none is queued.
    bool completeNext();
    int completeAll();

    size_t queued() const;
    bool isOpen() const;
    std::vector<Record> calls() const;
    int count(Call call) const;
    std::vector<uint8_t> written() const;
    WaveFormatEx lastFormat() const;
    uint32_t lastFlags() const;
    // Writes refused because the buffer was still queued (a buffer handed over twice).
    int doubleWrites() const;

    unsigned getNumDevs() override { return numDevs; }
    WaveResult open(HWaveOut* handle, int deviceId, const WaveFormatEx* format,
                    WaveOutProc callback, uintptr_t instance, uint32_t flags) override;
    WaveResult prepareHeader(HWaveOut, WaveHdr*, unsigned headerSize) override;
    WaveResult unprepareHeader(HWaveOut, WaveHdr*, unsigned headerSize) override;
    WaveResult write(HWaveOut, WaveHdr*, unsigned headerSize) override;
    WaveResult reset(HWaveOut) override;
    WaveResult close(HWaveOut) override;
    std::string getErrorText(WaveResult code) override;
    WaveResult lostError(HWaveOut) override;

private:
    WaveResult planned(Call call); // under the lock
    bool validHandle(HWaveOut handle) const;
    void record(Record r);

    mutable std::mutex mutex_;
    FailurePlans<Call> plans_;
    std::map<WaveResult, std::string> texts_;
    std::vector<Record> calls_;
    std::vector<uint8_t> written_;
    std::deque<WaveHdr*> queue_;
    int doubleWrites_ = 0;
    bool open_ = false;
    WaveResult lost_ = MMSYSERR_NOERROR;
    unsigned generation_ = 0; // handle value of the open device
    WaveOutProc callback_ = nullptr;
    uintptr_t instance_ = 0;
    WaveFormatEx format_{};
    uint32_t flags_ = 0;
};

} // namespace platform
