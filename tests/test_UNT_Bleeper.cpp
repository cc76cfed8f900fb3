// SPDX-License-Identifier: GPL-3.0-or-later
// The speaker module against the scripted ports, tone service and clock; one real-clock wait.
#include "UNT_Bleeper.h"
#include "support/ScriptedTickSource.h"
#include "support/SpeakerScripted.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

using namespace UNT_Bleeper;
using platform::PortAccess;
using platform::ScriptedPorts;
using platform::ScriptedTickSource;
using platform::ScriptedToneService;

namespace {

// The port protocol as text, "R61=30 W61=33 W43=B6 ...", so a failure shows where it differs.
std::string protocol(const std::vector<PortAccess>& accesses) {
    std::string text;
    char one[16];
    for (const PortAccess& a : accesses) {
        std::snprintf(one, sizeof one, "%s%c%02X=%02X", text.empty() ? "" : " ",
                      a.write ? 'W' : 'R', a.port, a.value);
        text += one;
    }
    return text;
}

// The accesses one tone makes when the speaker starts off: switch on, program, switch off.
std::string toneFromOff(uint8_t initial, uint16_t divisor) {
    const auto on = static_cast<uint8_t>(initial | 0x03);
    return protocol({{{}, false, 0x61, initial},
                     {{}, true, 0x61, on},
                     {{}, true, 0x43, 0xB6},
                     {{}, true, 0x42, static_cast<uint8_t>(divisor & 0xFF)},
                     {{}, true, 0x42, static_cast<uint8_t>(divisor >> 8)},
                     {{}, false, 0x61, on},
                     {{}, true, 0x61, initial}});
}

// A retune: the speaker was on already, so no switch-on and no control byte.
std::string retune(uint8_t initial, uint16_t divisor) {
    return protocol({{{}, false, 0x61, initial},
                     {{}, true, 0x42, static_cast<uint8_t>(divisor & 0xFF)},
                     {{}, true, 0x42, static_cast<uint8_t>(divisor >> 8)},
                     {{}, false, 0x61, initial},
                     {{}, true, 0x61, static_cast<uint8_t>(initial & 0xFC)}});
}

struct PortsFixture : ::testing::Test {
    void install(uint8_t initial) {
        ports.emplace(clock, initial);
        scope.emplace(Platform{.ports = &*ports, .ticks = &clock});
    }
    ScriptedTickSource clock{1000};
    std::optional<ScriptedPorts> ports;
    std::optional<ScopedPlatform> scope;
};

using PortProtocol = PortsFixture;

TEST_F(PortProtocol, ATonePrograms0xB6AndTheDivisorAndPreservesTheOtherBits) {
    struct Row {
        uint8_t initial;
        uint16_t frequency;
        uint16_t divisor;
    };
    for (const Row& row : {Row{0x30, 20, 59659}, Row{0x30, 5000, 238}, Row{0x30, 1000, 1193},
                           Row{0x00, 1000, 1193}, Row{0xFC, 2400, 497}, Row{0xA4, 825, 1446},
                           Row{0x30, 1903, 627}}) { // 1903 divides 1193181, not 1193180
        SCOPED_TRACE(row.frequency);
        install(row.initial);
        ASSERT_FALSE(IsNT());
        const uint64_t before = clock.elapsedUs();
        Bleep(row.frequency, 40);
        const auto& log = ports->accesses();
        EXPECT_EQ(protocol(log), toneFromOff(row.initial, row.divisor));
        EXPECT_EQ(ports->divisor(), row.divisor);
        EXPECT_EQ(ports->systemControl(), row.initial);
        EXPECT_EQ(ports->foreignAccesses(), 0u);
        // Sounding from the high byte to the switch-off: the tone's 40 ms, less than 1 ms more.
        const int64_t sounded = platform::nanosBetween(log[4].at, log[6].at);
        EXPECT_GE(sounded, 40'000'000);
        EXPECT_LT(sounded, 41'000'000);
        EXPECT_LT(clock.elapsedUs() - before, 41'000u);
    }
}

TEST_F(PortProtocol, OutOfRangeFrequenciesLeaveThePortsAloneAndTakeNoTime) {
    install(0x30);
    for (const uint16_t frequency : {19, 5001, 0, 65535}) {
        Bleep(frequency, 100);
    }
    EXPECT_TRUE(ports->accesses().empty());
    EXPECT_EQ(clock.elapsedUs(), 0u);
}

TEST_F(PortProtocol, ASpeakerAlreadyOnIsOnlyRetuned) {
    for (const uint8_t initial : {0x01, 0x02, 0x33}) {
        SCOPED_TRACE(initial);
        install(initial);
        Bleep(1000, 10);
        EXPECT_EQ(protocol(ports->accesses()), retune(initial, 1193));
    }
}

TEST_F(PortProtocol, TwoTonesInARowEachWriteTheControlByte) {
    install(0x30);
    Bleep(1000, 10);
    Bleep(2000, 10);
    EXPECT_EQ(protocol(ports->accesses()), toneFromOff(0x30, 1193) + " " + toneFromOff(0x30, 596));
    EXPECT_FALSE(ports->sounding());
}

TEST_F(PortProtocol, DurationsBelowMinusOneActAsZeroAndMinusOneLeavesTheToneOn) {
    for (const int32_t duration : {-2, -5, INT32_MIN, 0}) {
        SCOPED_TRACE(duration);
        install(0x30);
        const uint64_t before = clock.elapsedUs();
        Bleep(1000, duration);
        EXPECT_EQ(protocol(ports->accesses()), toneFromOff(0x30, 1193));
        EXPECT_LT(clock.elapsedUs() - before, 1000u);
    }
    install(0x30);
    Bleep(1000, -1);
    EXPECT_TRUE(ports->sounding());
    EXPECT_EQ(ports->accesses().size(), 5u);
    // The next tone finds the speaker on: retuned, no control byte, and off when it ends.
    ports->clearAccesses();
    Bleep(2000, 10);
    EXPECT_EQ(protocol(ports->accesses()), retune(0x33, 596));
    EXPECT_FALSE(ports->sounding());
}

TEST(ToneService, EveryFrequencyGoesToTheServiceForItsFullDuration) {
    ScriptedTickSource clock{0};
    ScriptedToneService service{clock};
    ScopedPlatform scope{{.toneService = &service, .ticks = &clock}};
    ASSERT_TRUE(IsNT());
    struct Row {
        uint16_t frequency;
        int32_t duration;
        int32_t waitedMs;
    };
    for (const Row& row : {Row{1000, 100, 100}, Row{19, 30, 30}, Row{5001, 30, 30}, Row{0, 20, 20},
                           Row{2400, -5, 0}, Row{2400, 0, 0}}) {
        SCOPED_TRACE(row.frequency);
        service.clear();
        Bleep(row.frequency, row.duration);
        const auto& events = service.events();
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].frequency, row.frequency);
        EXPECT_EQ(events[1].frequency, 0);
        const int64_t sounded = platform::nanosBetween(events[0].at, events[1].at);
        EXPECT_GE(sounded, row.waitedMs * 1'000'000);
        EXPECT_LT(sounded, row.waitedMs * 1'000'000 + 1'000'000);
    }
    // -1 leaves the tone sounding without waiting, until the next tone ends.
    service.clear();
    const uint64_t before = clock.elapsedUs();
    Bleep(1500, -1);
    EXPECT_TRUE(service.sounding());
    EXPECT_EQ(clock.elapsedUs(), before);
    Bleep(1600, 10);
    EXPECT_FALSE(service.sounding());
}

TEST(ToneService, AToneThatWillNotSwitchOnEndsTheWalkWithItsMessage) {
    ScriptedTickSource clock{0};
    ScriptedToneService service{clock};
    ScopedPlatform scope{{.toneService = &service, .ticks = &clock}};
    const std::vector<ToneSegment> walk{{1000, 50}, {0, 20}, {1500, 50}, {2000, 50}};
    const struct {
        int failAfter; // tones switched on before the service refuses
        size_t segmentsWalked;
        const char* failed; // the tone named, or nullptr for a whole walk
    } rows[] = {{0, 0, "1000 Hz"}, {1, 2, "1500 Hz"}, {2, 3, "2000 Hz"}, {-1, 4, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.failAfter);
        service.clear();
        service.failAfter(row.failAfter);
        size_t walked = 0;
        const WalkResult result = WalkSegments(walk, [&](const ToneSegment&) { ++walked; });
        EXPECT_EQ(walked, row.segmentsWalked + (row.failed ? 1 : 0));
        EXPECT_FALSE(service.sounding());
        EXPECT_FALSE(Interrupted());
        if (!row.failed) {
            EXPECT_TRUE(result);
            continue;
        }
        EXPECT_EQ(result.end, WalkResult::End::ToneFailed);
        EXPECT_NE(result.message.find(row.failed), std::string::npos) << result.message;
        EXPECT_NE(result.message.find("nicht vollständig programmiert"), std::string::npos);
    }
}

TEST(Silence, NoSpeakerStillKeepsEveryWait) {
    ScriptedTickSource clock{0};
    ScopedPlatform scope{{.ticks = &clock}};
    EXPECT_TRUE(IsNT());
    Bleep(1000, 250);
    Bleep(19, 100);
    Delay(30);
    EXPECT_GE(clock.elapsedUs(), 380'000u);
    EXPECT_LT(clock.elapsedUs(), 383'000u);
}

TEST(DelayWait, LastsTheRequestedTimeFromAnyStartIncludingAcrossTheWrap) {
    struct Row {
        uint32_t startMs;
        uint32_t startUs; // how far into a millisecond the wait starts
        int32_t duration;
    };
    for (const Row& row :
         {Row{0xFFFF'FFFA, 0, 100}, Row{0xFFFF'FFFF, 999, 1}, Row{0xFFFF'F000, 300, 5000},
          Row{0, 0, 0}, Row{123, 500, 1000}, Row{7, 0, 1001}}) {
        SCOPED_TRACE(row.startMs);
        ScriptedTickSource clock{row.startMs};
        clock.advance(row.startUs);
        ScopedPlatform scope{{.ticks = &clock, .pumpMessages = [] {}}};
        const uint64_t before = clock.elapsedUs();
        Delay(row.duration);
        const uint64_t waited = clock.elapsedUs() - before;
        EXPECT_GE(waited, row.duration * 1000u);
        EXPECT_LE(waited, row.duration * 1000u + 1000u);
    }
}

// A clock whose sleeps end lateUs late, like a busy machine that wakes sleepers at its next tick.
struct LateWakingClock : ScriptedTickSource {
    explicit LateWakingClock(uint32_t lateUs) : lateUs(lateUs) {}
    void sleepFor(uint32_t microseconds) override {
        ScriptedTickSource::sleepFor(microseconds + lateUs);
    }
    uint32_t lateUs;
};

TEST(DelayWait, LearnsHowLateSleepsEndAndStopsOvershooting) {
    LateWakingClock clock{3000};
    ScopedPlatform scope{{.ticks = &clock}};
    std::vector<uint64_t> overshoots;
    for (int i = 0; i < 5; ++i) {
        const uint64_t before = clock.elapsedUs();
        Delay(50);
        ASSERT_GE(clock.elapsedUs() - before, 50'000u);
        overshoots.push_back(clock.elapsedUs() - before - 50'000u);
    }
    EXPECT_GT(overshoots[0], 1000u); // the first late wake-up is what teaches the margin
    for (size_t i = 1; i < overshoots.size(); ++i) {
        EXPECT_LE(overshoots[i], 1000u) << "wait " << i;
    }
}

TEST(DelayWait, NegativeDurationsReturnAtOnce) {
    ScriptedTickSource clock{0};
    ScopedPlatform scope{{.ticks = &clock}};
    for (const int32_t duration : {-1, -1000, INT32_MIN}) {
        Delay(duration);
    }
    EXPECT_EQ(clock.reads(), 0u);
}

// Counts the posted events it receives.
struct Receiver : QObject {
    int received = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) {
            ++received;
            return true;
        }
        return QObject::event(e);
    }
};

TEST(DelayWait, OnlyWaitsAbove1000msHandleWindowMessages) {
    for (const int32_t duration : {1000, 1001}) {
        SCOPED_TRACE(duration);
        ScriptedTickSource clock{0};
        ScopedPlatform scope{{.ticks = &clock}};
        Receiver receiver;
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        Delay(duration);
        EXPECT_EQ(receiver.received, duration > 1000 ? 1 : 0);
        QCoreApplication::sendPostedEvents(&receiver);
    }
}

TEST(DelayWait, LongWaitsKeepHandlingMessagesThroughout) {
    ScriptedTickSource clock{0};
    std::vector<uint64_t> pumpedAt;
    ScopedPlatform scope{
        {.ticks = &clock, .pumpMessages = [&] { pumpedAt.push_back(clock.elapsedUs()); }}};
    Bleep(1000, 1500); // a tone waits as Delay does
    ASSERT_GE(pumpedAt.size(), 100u);
    for (size_t i = 1; i < pumpedAt.size(); ++i) {
        EXPECT_LE(pumpedAt[i] - pumpedAt[i - 1], 11'000u);
    }
    EXPECT_GE(pumpedAt.back(), 1'499'000u);
}

TEST(Requests, EveryToneAndWaitIsReportedAsPassed) {
    ScriptedTickSource clock{0};
    std::vector<Request> seen;
    ScopedPlatform scope{
        {.ticks = &clock, .onRequest = [&](const Request& r) { seen.push_back(r); }}};
    Bleep(1060, 100);
    Delay(30);
    Bleep(19, -5);
    Delay(-3);
    using K = Request::Kind;
    EXPECT_EQ(
        seen,
        (std::vector<Request>{
            {K::Bleep, 1060, 100}, {K::Delay, 0, 30}, {K::Bleep, 19, -5}, {K::Delay, 0, -3}}));
}

TEST(StartUp, TheDetectedWayToTheSpeakerIsTheOneUsed) {
    using platform::SpeakerMethod;
    ScriptedTickSource clock{0};
    for (const SpeakerMethod method : {SpeakerMethod::EventDevice, SpeakerMethod::Console,
                                       SpeakerMethod::Ports, SpeakerMethod::Silent}) {
        SCOPED_TRACE(platform::speakerMethodName(method));
        platform::SpeakerAccess found;
        found.method = method;
        ScriptedToneService* service = nullptr;
        ScriptedPorts* ports = nullptr;
        if (method == SpeakerMethod::Ports) {
            found.ports = std::make_unique<ScriptedPorts>(clock, 0x30);
            ports = static_cast<ScriptedPorts*>(found.ports.get());
        } else {
            found.tone = std::make_unique<ScriptedToneService>(clock);
            service = static_cast<ScriptedToneService*>(found.tone.get());
        }
        UseSpeaker(std::move(found));
        EXPECT_EQ(speakerMethod(), method);
        EXPECT_EQ(IsNT(), method != SpeakerMethod::Ports);
        Bleep(1000, 5); // on the system's clock
        if (ports) {
            EXPECT_EQ(protocol(ports->accesses()), toneFromOff(0x30, 1193));
        } else {
            ASSERT_EQ(service->events().size(), 2u);
            EXPECT_EQ(service->events()[0].frequency, 1000);
        }
    }
    UseSpeaker({}); // silent again; the scripted parts go with the clock
    EXPECT_EQ(speakerMethod(), SpeakerMethod::Silent);
}

TEST(RealClock, ADelayNeverEndsEarly) {
    using std::chrono::steady_clock;
    ScopedPlatform scope{{}}; // silent, on the system's clock
    std::chrono::microseconds leastOvershoot{INT32_MAX};
    for (int repeat = 0; repeat < 40; ++repeat) {
        for (const int32_t duration : {1, 2, 3, 7, 20}) {
            const auto start = steady_clock::now();
            Delay(duration);
            const auto waited =
                std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start);
            ASSERT_GE(waited.count(), duration * 1000) << duration << " ms";
            leastOvershoot = std::min(leastOvershoot, waited - std::chrono::milliseconds(duration));
        }
    }
    EXPECT_LE(leastOvershoot.count(), 1000);
}

} // namespace
