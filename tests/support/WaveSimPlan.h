// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The failures a test plans for a scripted sound layer: call by call, after a number of
// successes, a number of times (negative: for good).
#include "WaveOut.h"

#include <map>

namespace platform {

template <typename Call> class FailurePlans {
public:
    void fail(Call call, WaveResult code, int times, int skip) {
        plans_[call] = Plan{skip, times, code};
    }
    void clear() { plans_.clear(); }

    // The result the next such call gives.
    WaveResult next(Call call) {
        auto it = plans_.find(call);
        if (it == plans_.end())
            return MMSYSERR_NOERROR;
        Plan& plan = it->second;
        if (plan.skip > 0) {
            --plan.skip;
            return MMSYSERR_NOERROR;
        }
        if (plan.times == 0)
            return MMSYSERR_NOERROR;
        if (plan.times > 0)
            --plan.times;
        return plan.code;
    }

private:
    struct Plan {
        int skip;
        int times;
        WaveResult code;
    };
    std::map<Call, Plan> plans_;
};

} // namespace platform
