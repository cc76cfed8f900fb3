// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted wave-input layer for tests: it records every call, fails any call on demand,
// and fills queued buffers only when told to, posting to the window as the real layer does.
#include "WaveIn.h"
#include "support/WaveSimPlan.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

class WaveInSim final : public WaveIn {
public:
    enum class Call { Open, Prepare, Unprepare, AddBuffer, Start, Reset, Close };
    struct Record {
        Call call;
        WaveResult result;
        int deviceId = 0;                // Open
        const WaveHdr* header = nullptr; // Prepare, Unprepare, AddBuffer
    };

    explicit WaveInSim(unsigned devices = 1) : numDevs(devices) {}
    unsigned numDevs;

    // The next `times` calls of that kind (after `skip` successful ones) fail with `code`;
    // times < 0 fails every one from then on.
    void fail(Call call, WaveResult code, int times = 1, int skip = 0);
    // Replaces the text of a code (an empty text stands for a code the system cannot name).
    void setErrorText(WaveResult code, std::string text);

    // Fills the oldest queued buffer with `data` (as much as fits) and hands it back; false
    // when recording has not started or no buffer is queued.
    bool fillNext(const std::vector<uint8_t>& data);

    bool isOpen() const;
    bool isStarted() const;
    size_t queued() const;
    std::vector<const WaveHdr*> queue() const;
    std::vector<Record> calls() const;
    int count(Call call) const;
    WaveFormatEx lastFormat() const;
    uint32_t lastFlags() const;
    HWaveIn handle() const;

    unsigned getNumDevs() override { return numDevs; }
    WaveResult open(HWaveIn* handle, int deviceId, const WaveFormatEx* format, WaveWindow* window,
                    uint32_t flags) override;
    WaveResult prepareHeader(HWaveIn, WaveHdr*, unsigned headerSize) override;
    WaveResult unprepareHeader(HWaveIn, WaveHdr*, unsigned headerSize) override;
    WaveResult addBuffer(HWaveIn, WaveHdr*, unsigned headerSize) override;
    WaveResult start(HWaveIn) override;
    WaveResult reset(HWaveIn) override;
    WaveResult close(HWaveIn) override;
    std::string getErrorText(WaveResult code) override;

private:
    WaveResult planned(Call call);                 // under the lock
    WaveResult checked(Call call, HWaveIn handle); // planned, then the handle
    WaveResult checked(Call call, HWaveIn, WaveHdr*, unsigned headerSize);
    void handBack(WaveHdr* header, std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    FailurePlans<Call> plans_;
    std::map<WaveResult, std::string> texts_;
    std::vector<Record> calls_;
    std::deque<WaveHdr*> queue_;
    bool open_ = false;
    bool started_ = false;
    unsigned generation_ = 0; // handle value of the open device
    WaveWindow* window_ = nullptr;
    WaveFormatEx format_{};
    uint32_t flags_ = 0;
};

} // namespace platform
