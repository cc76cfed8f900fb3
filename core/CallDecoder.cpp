// SPDX-License-Identifier: GPL-3.0-or-later
#include "CallDecoder.h"

#include "Addresses.h"
#include "TestCall.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

// Tones of one call follow without a pause: the pieces of one run share their edges.
constexpr double kJoined = 0.002;
// The mean tone length within a fifth of the system's, each tone within two fifths of the mean:
// the edges inside a call are read from the frequency, to about 5 ms. Networks of the 70 ms
// and 100 ms systems also send tones of 55 to 100 ms: there the mean may lie anywhere from
// 50 to 120 ms.
constexpr double kMeanLength = 0.2, kEachLength = 0.4;
constexpr double kShortestMean = 0.050, kLongestMean = 0.120;
// A piece of tone shorter than this is no tone of a call: a run's edge that the frequency
// split off (speech or noise against the call), which must not keep the call's tones apart
// from one another or join them to more.
constexpr double kShortestTone = 0.015;

std::optional<CallReading> readAs(uint8_t tonsys, const FoundTone* first, std::size_t count,
                                  const TToneTable& table) {
    const double length = toneLengthMs(toneLengthButtonFor(tonsys)) / 1000.0;
    const double mean =
        (first[count - 1].start + first[count - 1].length - first->start) / double(count);
    const bool fits = length >= kShortestMean ? mean >= kShortestMean && mean <= kLongestMean
                                              : std::fabs(mean / length - 1) <= kMeanLength;
    if (!fits)
        return std::nullopt;
    for (std::size_t k = 0; k < count; ++k)
        if (std::fabs(first[k].length / mean - 1) > kEachLength)
            return std::nullopt;
    std::string address;
    for (std::size_t k = 0; k < count; ++k) {
        const auto i = toneIndex(table, tonsys, first[k].frequency);
        if (!i)
            return std::nullopt;
        address += addressCharacter(*i);
    }
    // A repeat tone stands for the character before it; an address never starts with one.
    if (address.front() == 'R' || normaliseRepeats(address, static_cast<uint8_t>(count)) != address)
        return std::nullopt;
    return CallReading{address, {tonsys}};
}

} // namespace

std::vector<DecodedCall> findCalls(const std::vector<FoundTone>& found, const TToneTable& table) {
    std::vector<FoundTone> tones;
    std::copy_if(found.begin(), found.end(), std::back_inserter(tones),
                 [](const FoundTone& t) { return t.length >= kShortestTone; });
    std::vector<DecodedCall> calls;
    for (std::size_t i = 0; i < tones.size();) {
        std::size_t end = i + 1;
        while (end < tones.size() &&
               tones[end].start - (tones[end - 1].start + tones[end - 1].length) < kJoined)
            ++end;
        const std::size_t count = end - i;
        if (count >= 3 && count <= 5) {
            DecodedCall call;
            call.start = tones[i].start;
            call.toneLength =
                1000 * (tones[end - 1].start + tones[end - 1].length - tones[i].start) / count;
            for (uint8_t tonsys = 1; tonsys <= kToneSystems; ++tonsys) {
                const auto reading = readAs(tonsys, &tones[i], count, table);
                if (!reading)
                    continue;
                auto same = std::find_if(
                    call.readings.begin(), call.readings.end(),
                    [&](const CallReading& r) { return r.address == reading->address; });
                if (same == call.readings.end())
                    call.readings.push_back(*reading);
                else
                    same->systems.push_back(tonsys);
            }
            if (!call.readings.empty())
                calls.push_back(std::move(call));
        }
        i = end;
    }
    return calls;
}

std::string callTime(double seconds) {
    const auto hundredths = static_cast<long long>(std::llround(std::max(seconds, 0.0) * 100));
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld,%02lld", hundredths / 360000,
                  hundredths / 6000 % 60, hundredths / 100 % 60, hundredths % 100);
    return text;
}
