// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The test call: a pager's own address as alerting networks send it, so that a technician can
// check that the programmed pager alerts. 600 ms of silence, the call, 600 ms of silence, the
// call again, optionally 600 ms of silence and the siren double tone for 5 s, then 70 ms of
// silence. One tone per
// address character, back to back, with the phase running on from tone to tone (no click).
#include "ProgEncoder.h"
#include "ToneSequence.h"
#include "ToneTable.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

constexpr uint16_t kCallLeadIn = 600; // ms of silence before each call
constexpr uint16_t kCallTail = 70;    // ms of silence after the last call or the siren
constexpr uint16_t kSirenLow = 675;   // Hz; both siren tones at half the amplitude
constexpr uint16_t kSirenHigh = 1240;
constexpr uint16_t kSirenLength = 5000; // ms
// Silence between the second call and the siren, in ms. Five-tone decoders end a call only at a
// pause: glued to it, the siren's low tone (a symbol of their tables) reads as a sixth character.
// About 40 ms would do for them; the pause between the two calls is taken, well clear of that.
constexpr uint16_t kSirenPause = kCallLeadIn;

// An address that cannot be sent; the message is German, for the user.
class TestCallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The tone length in ms of tone-length button 1 "40 ms", 2 "70 ms" or 3 "100 ms".
uint16_t toneLengthMs(int button);

// Why the completed address cannot be sent as a test call with addresses of len characters in
// tone system tonsys, or nothing when it can.
std::optional<std::string> testCallProblem(const std::string& address, uint8_t len, uint8_t tonsys,
                                           const TToneTable& table);

// One frequency per character: digits from columns 0 to 9, 'R' from column 10, 'G' from
// column 11. Throws TestCallError for any other character and for a 'G' the system has no
// tone for.
std::vector<uint16_t> testCallTones(const std::string& address, uint8_t tonsys,
                                    const TToneTable& table);

struct TestCall {
    std::string address;      // completed, as the field holds it
    uint8_t tonsys = 1;       // 1 to 7
    uint16_t toneLength = 70; // ms per character
    uint8_t amplitude = 100;  // peak deviation from the silence level 127
    bool siren = false;
};

// The test call of an address as every front-end sends it, from the user's settings: the address
// completed as leaving its field completes it (repeats become 'R'), the settings' tone system
// with its tone length, the amplitude given. The call, or why it cannot be sent (problem, the
// message of testCallProblem) with no call.
struct TestCallPlan {
    std::optional<TestCall> call;
    std::string problem;
};
TestCallPlan planTestCall(const ProgSettings& settings, const std::string& address,
                          uint8_t amplitude, bool siren, const TToneTable& table);

// The test call's samples (renderTestCall of planTestCall), or the problem as message.
struct TestCallSamples {
    std::vector<uint8_t> samples;
    std::string message; // empty when the samples are there
};
TestCallSamples testCallSamples(const ProgSettings& settings, const std::string& address,
                                uint8_t amplitude, bool siren, const TToneTable& table);

// The whole call as 8-bit unsigned mono samples at 22050 per second. Throws TestCallError as
// testCallTones does.
std::vector<uint8_t> renderTestCall(const TestCall& call, const TToneTable& table);

// The call for an output of one tone at a time (the PC speaker): the silences and one segment
// per tone, without the siren. Throws TestCallError as testCallTones does.
std::vector<ToneSegment> testCallSegments(const TestCall& call, const TToneTable& table);

// How many samples renderTestCall gives for an address of that many characters.
std::size_t testCallSampleCount(std::size_t characters, uint16_t toneLength, bool siren);
