// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer view against the scripted mixer layer, the ALSA mixer on this machine, and the
// layout of ALSA's elements as lines.
#include "Audio.h"
#include "support/WaveInSim.h"
#include "WaveMixerAlsa.h"
#include "support/WaveMixerSim.h"
#include "support/WaveOutSim.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>

using namespace platform;
using Sim = WaveMixerSim;
using Call = Sim::Call;

namespace {

void pump() {
    for (int i = 0; i < 8; ++i)
        QCoreApplication::processEvents();
}

constexpr uint32_t VOL = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr uint32_t MUTE = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr uint32_t METER = MIXERCONTROL_CONTROLTYPE_PEAKMETER;
constexpr uint32_t SRC = MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;

// Destination 0 speakers with two sources, destination 1 another type with one.
Sim::Device exampleDevice(const std::string& name = "Sim Mixer") {
    return {name,
            {{{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
               "Speakers",
               2,
               {{0x10001, VOL, {30000, 40000}}, {0x10002, MUTE, {0}}}},
              {{SRC, "Wave", 2, {{0x20003, VOL, {1000, 2000}}}},
               {SRC, "CD Audio", 1, {{0x20004, VOL, {500}}, {0x20005, MUTE, {1}}}}}},
             {{MIXERLINE_COMPONENTTYPE_DST_WAVEIN, "Recording Control", 2, {}},
              {{SRC, "Microphone", 1, {{0x30006, VOL, {123}}}}}}}};
}

struct Change {
    TObject* sender;
    uint16_t destination;
    uint16_t source;
    bool operator==(const Change&) const = default;
};

struct MixerTest : ::testing::Test {
    WaveOutSim out;
    WaveInSim in{1};
    Sim mixer;
    QObject form;
    std::vector<Change> changes;

    std::unique_ptr<TAudio> make() {
        auto audio = std::make_unique<TAudio>(&form, TAudio::Layers{&out, &in, &mixer});
        audio->OnMixerChange = [this](TObject* s, uint16_t d, uint16_t src) {
            changes.push_back({s, d, src});
        };
        return audio;
    }
    static std::vector<const TMixDetails*> chain(const TAudio& audio) {
        std::vector<const TMixDetails*> records;
        for (const TMixDetails* r = audio.Mixer->Lines(); r; r = r->Next)
            records.push_back(r);
        return records;
    }
    uint16_t handleLow() const {
        return static_cast<uint16_t>(reinterpret_cast<uintptr_t>(mixer.lastHandle()));
    }
};

TEST_F(MixerTest, theChainHoldsTheDeviceThenEachDestinationWithItsSources) {
    mixer.devices = {exampleDevice()};
    auto audio = make();
    EXPECT_TRUE(audio->Mixer->Available());
    EXPECT_TRUE(audio->ErrorMessage.isEmpty());
    struct Row {
        uint16_t destination, source;
        const char* name;
        bool speakers;
    } rows[] = {{0xFFFF, 0xFFFF, "Sim Mixer", false},
                {0, 0, "Speakers", true},
                {0, 1, "Wave", true},
                {0, 2, "CD Audio", true},
                {1, 0, "Recording Control", false},
                {1, 1, "Microphone", false}};
    const auto records = chain(*audio);
    ASSERT_EQ(records.size(), std::size(rows));
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(records[i]->Destination, rows[i].destination);
        EXPECT_EQ(records[i]->Source, rows[i].source);
        EXPECT_EQ(records[i]->Name, rows[i].name);
        EXPECT_EQ(records[i]->IsSpeakers, rows[i].speakers);
    }
    const TMixDetails& device = *records[0];
    EXPECT_EQ(device.VolumeControlID, 0xFFFFu);
    EXPECT_EQ(device.MuteControlID, 0xFFFFu);
    EXPECT_EQ(device.MeterControlID, 0xFFFFu);
    EXPECT_EQ(device.LineFlags, 0);
    EXPECT_FALSE(device.HasControls);
    EXPECT_EQ(mixer.calls()[1].call, Call::Open) << "after the capabilities";
}

TEST_F(MixerTest, eachLineRecordsItsVolumeMuteAndMeter) {
    struct Row {
        const char* what;
        uint32_t channels;
        std::vector<Sim::Control> controls;
        uint32_t volumeId, muteId, meterId;
        uint16_t left, right, meterChannels, flags;
        bool muted, uniform, hasControls;
    } rows[] = {
        {"stereo volume",
         2,
         {{11, VOL, {30000, 40000}}},
         11,
         0xFFFF,
         0xFFFF,
         30000,
         40000,
         0,
         0x80,
         false,
         false,
         true},
        {"mono volume",
         1,
         {{12, VOL, {500}}},
         12,
         0xFFFF,
         0xFFFF,
         500,
         0,
         0,
         0xC0,
         false,
         true,
         true},
        {"mono volume, muted",
         1,
         {{13, VOL, {7}}, {14, MUTE, {1}}},
         13,
         14,
         0xFFFF,
         7,
         0,
         0,
         0x40,
         true,
         true,
         true},
        {"mute only, not muted",
         2,
         {{15, MUTE, {0}}},
         0xFFFF,
         15,
         0xFFFF,
         0,
         0,
         0,
         0,
         false,
         false,
         true},
        {"two mutes: the first stays",
         2,
         {{16, MUTE, {1}}, {17, MUTE, {0}}},
         0xFFFF,
         16,
         0xFFFF,
         0,
         0,
         0,
         0,
         true,
         false,
         true},
        {"two volumes: the later replaces",
         2,
         {{18, VOL, {1, 2}}, {19, VOL, {3, 4}}},
         19,
         0xFFFF,
         0xFFFF,
         3,
         4,
         0,
         0x80,
         false,
         false,
         true},
        {"values keep their low 16 bits",
         2,
         {{20, VOL, {0x12345, 0x1FFFF}}},
         20,
         0xFFFF,
         0xFFFF,
         0x2345,
         0xFFFF,
         0,
         0x80,
         false,
         false,
         true},
        {"stereo peak meter",
         2,
         {{21, METER, {0, 0}}},
         0xFFFF,
         0xFFFF,
         21,
         0,
         0,
         2,
         0x80,
         false,
         false,
         false},
        {"mono peak meter",
         1,
         {{22, METER, {0}}},
         0xFFFF,
         0xFFFF,
         22,
         0,
         0,
         1,
         0x80,
         false,
         false,
         false},
        {"four channels",
         4,
         {{23, VOL, {10, 20, 30, 40}}},
         23,
         0xFFFF,
         0xFFFF,
         10,
         20,
         0,
         0x80,
         false,
         false,
         true},
        {"another control type",
         2,
         {{24, 0x50030002, {9, 9}}},
         0xFFFF,
         0xFFFF,
         0xFFFF,
         0,
         0,
         0,
         0x80,
         false,
         false,
         false},
        {"no controls", 2, {}, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0x80, false, false, false},
    };
    Sim::Device device{"Lines", {{{MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, "Out", 2, {}}, {}}}};
    for (const Row& row : rows)
        device.destinations[0].sources.push_back({SRC, row.what, row.channels, row.controls});
    mixer.devices = {device};
    auto audio = make();
    ASSERT_TRUE(audio->Mixer->Available());
    const auto records = chain(*audio);
    ASSERT_EQ(records.size(), 2 + std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        const TMixDetails& r = *records[i + 2];
        SCOPED_TRACE(row.what);
        EXPECT_EQ(r.Name, row.what);
        EXPECT_EQ(r.VolumeControlID, row.volumeId);
        EXPECT_EQ(r.MuteControlID, row.muteId);
        EXPECT_EQ(r.MeterControlID, row.meterId);
        EXPECT_EQ(r.VolumeLeft, row.left);
        EXPECT_EQ(r.VolumeRight, row.right);
        EXPECT_EQ(r.MeterChannels, row.meterChannels);
        EXPECT_EQ(r.LineFlags, row.flags);
        EXPECT_EQ(r.Muted, row.muted);
        EXPECT_EQ(r.UniformVolume, row.uniform);
        EXPECT_EQ(r.HasControls, row.hasControls);
    }
    // Volumes and meters are read for every channel of the line, mutes for one.
    for (const auto& c : mixer.calls()) {
        if (c.call == Call::GetControlDetails && c.id == 23) {
            EXPECT_EQ(c.channels, 4u);
        } else if (c.call == Call::GetControlDetails && (c.id == 15 || c.id == 16)) {
            EXPECT_EQ(c.channels, 1u);
        }
    }
}

TEST_F(MixerTest, aControlOrLineThatCannotBeReadIsSkipped) {
    mixer.devices = {exampleDevice()};
    // The speakers' volume read fails; then the Wave line's control list.
    mixer.fail(Call::GetControlDetails, MMSYSERR_ERROR, 1);
    mixer.fail(Call::GetLineControls, MMSYSERR_ERROR, 1, 1);
    auto audio = make();
    EXPECT_TRUE(audio->Mixer->Available()) << "the lines were all read";
    const auto records = chain(*audio);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[1]->VolumeControlID, 0xFFFFu);
    EXPECT_EQ(records[1]->MuteControlID, 0x10002u);
    EXPECT_EQ(records[2]->Name, "Wave");
    EXPECT_FALSE(records[2]->HasControls);
    EXPECT_EQ(records[2]->LineFlags, 0x80);
    EXPECT_EQ(records[3]->VolumeControlID, 0x20004u);
}

TEST_F(MixerTest, openFailuresKeepWhatWasReadAndLeaveTheMixerUnavailable) {
    struct Row {
        const char* what;
        bool devices;
        Call call;
        int skip;
        size_t records;
        const char* deviceName;
    } rows[] = {
        {"no mixer device", false, Call::Open, 0, 0, ""},
        {"open fails", true, Call::Open, 0, 0, ""},
        {"capabilities fail: no destinations", true, Call::GetDevCaps, 0, 1, ""},
        {"destination 1 cannot be read", true, Call::GetLineInfo, 3, 4, "Sim Mixer"},
        {"a source cannot be read", true, Call::GetLineInfo, 1, 2, "Sim Mixer"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Sim sim;
        if (row.devices)
            sim.devices = {exampleDevice()};
        sim.fail(row.call, MMSYSERR_ERROR, 1, row.skip);
        TAudio audio(nullptr, {&out, &in, &sim});
        EXPECT_FALSE(audio.Mixer->Available());
        EXPECT_TRUE(audio.ErrorMessage.isEmpty()) << "mixer failures are not reported";
        const auto records = chain(audio);
        ASSERT_EQ(records.size(), row.records);
        if (!records.empty()) {
            EXPECT_EQ(records[0]->Name, row.deviceName);
        }
    }
    Sim empty;
    empty.devices = {{"Empty", {}}};
    TAudio audio(nullptr, {&out, &in, &empty});
    EXPECT_FALSE(audio.Mixer->Available()) << "a device without destinations";
    ASSERT_EQ(chain(audio).size(), 1u);
    EXPECT_EQ(audio.Mixer->Lines()->Name, "Empty");
}

TEST_F(MixerTest, aDeviceChangeClosesThePreviousDeviceAndAvailableFollowsTheLastOpen) {
    mixer.devices = {exampleDevice("First"), exampleDevice("Second")};
    auto audio = make();
    const HMixer first = mixer.lastHandle();
    audio->SetMixerDeviceID(1);
    EXPECT_TRUE(audio->Mixer->Available());
    EXPECT_EQ(mixer.openHandles(), 1u);
    const auto calls = mixer.calls();
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [first](const Sim::Record& r) {
        return r.call == Call::Close && r.handle == reinterpret_cast<uintptr_t>(first);
    }));
    EXPECT_EQ(audio->Mixer->Lines()->Name, "Second");
    EXPECT_EQ(chain(*audio).size(), 6u);

    audio->SetMixerDeviceID(7);
    EXPECT_FALSE(audio->Mixer->Available()) << "the last Open failed";
    EXPECT_EQ(audio->Mixer->Lines(), nullptr);
    EXPECT_EQ(mixer.openHandles(), 0u);

    audio->SetMixerDeviceID(0);
    EXPECT_TRUE(audio->Mixer->Available());
    audio.reset();
    EXPECT_EQ(mixer.openHandles(), 0u) << "closed with the component";
}

TEST_F(MixerTest, aControlChangeNamesTheMessageAndThenTheLine) {
    mixer.devices = {exampleDevice()};
    auto audio = make();
    TObject* sender = audio->Mixer;
    using Line = std::pair<uint16_t, uint16_t>;
    struct Row {
        const char* what;
        uint32_t control;
        std::optional<Line> line; // none: not a recorded control
    } rows[] = {
        {"volume of (0, 2)", 0x20004, Line{0, 2}},
        {"mute of (0, 2)", 0x20005, Line{0, 2}},
        {"volume of (1, 1)", 0x30006, Line{1, 1}},
        {"speakers' volume", 0x10001, Line{0, 0}},
        {"not a recorded control", 0x40007, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        changes.clear();
        if (row.line)
            ASSERT_TRUE(mixer.changeControl(row.control, {1, 1}));
        else
            mixer.postChange(row.control);
        pump();
        // First the low 16 bits of the mixer handle and of the control identifier.
        std::vector<Change> expected{{sender, handleLow(), uint16_t(row.control & 0xFFFF)}};
        if (row.line)
            expected.push_back({sender, row.line->first, row.line->second});
        EXPECT_EQ(changes, expected);
    }
}

// Setting a line's volume or mute: the layer gets the values, the record holds them, and the
// change comes back like anyone else's; a refused set leaves the record as it was.
TEST_F(MixerTest, aSetVolumeOrMuteReachesTheDeviceAndTheRecordAndIsReportedAsAChange) {
    mixer.devices = {exampleDevice()};
    auto audio = make();
    TMixerSettings& m = *audio->Mixer;
    EXPECT_TRUE(m.SetVolume(0, 0, 1111, 2222)); // two channels
    EXPECT_TRUE(m.SetVolume(1, 1, 4444, 9999)); // uniform: one value
    EXPECT_TRUE(m.SetMuted(0, 2, false));
    EXPECT_FALSE(m.SetMuted(0, 1, true)) << "Wave has no mute control";
    EXPECT_FALSE(m.SetVolume(5, 0, 1, 1)) << "no such line";
    mixer.fail(Call::SetControlDetails, MMSYSERR_ERROR);
    EXPECT_FALSE(m.SetVolume(0, 1, 7, 7));
    std::vector<std::pair<uint32_t, unsigned>> sets;
    for (const Sim::Record& r : mixer.calls())
        if (r.call == Call::SetControlDetails && r.result == MMSYSERR_NOERROR)
            sets.emplace_back(r.id, r.channels);
    EXPECT_EQ(sets, (std::vector<std::pair<uint32_t, unsigned>>{
                        {0x10001, 2}, {0x30006, 1}, {0x20005, 1}}));
    const TMixDetails* speakers = m.Line(0, 0);
    EXPECT_EQ(speakers->VolumeLeft, 1111);
    EXPECT_EQ(speakers->VolumeRight, 2222);
    EXPECT_EQ(m.Line(1, 1)->VolumeLeft, 4444);
    EXPECT_FALSE(m.Line(0, 2)->Muted);
    EXPECT_EQ(m.Line(0, 1)->VolumeLeft, 1000) << "the refused set";
    pump();
    EXPECT_NE(std::find(changes.begin(), changes.end(), Change{audio->Mixer, 1, 1}), changes.end());
    // Moved elsewhere: the record follows only when read again.
    ASSERT_TRUE(mixer.changeControl(0x30006, {777}));
    EXPECT_EQ(m.Line(1, 1)->VolumeLeft, 4444);
    EXPECT_TRUE(m.ReadLine(1, 1));
    EXPECT_EQ(m.Line(1, 1)->VolumeLeft, 777);
}

// The mixer of an input: its card's for a card's own devices, the default one otherwise.
TEST(AlsaMixer, anInputsMixerIsItsCardsOrTheDefault) {
    const std::pair<const char*, const char*> rows[] = {
        {"hw:CARD=PCH,DEV=0", "hw:CARD=PCH"},
        {"plughw:CARD=USB,DEV=1", "hw:CARD=USB"},
        {"sysdefault:CARD=PCH", "hw:CARD=PCH"},
        {"hw:1,0", "hw:CARD=1"},
        {"plughw:Device", "hw:CARD=Device"},
        {"", "default"},
        {"default", "default"},
        {"pulse", "default"},
        {"dsnoop:CARD=PCH,DEV=0", "default"},
        {"hw:", "default"},
    };
    for (const auto& [input, control] : rows)
        EXPECT_EQ(alsaMixerControlOf(input), control) << input;
}

TEST_F(MixerTest, changesReachNoOneWhileUnavailableOrFromAClosedDevice) {
    mixer.devices = {exampleDevice("First"), exampleDevice("Second")};
    mixer.fail(Call::GetLineInfo, MMSYSERR_ERROR, 1, 4); // the first Open stops short
    auto audio = make();
    ASSERT_FALSE(audio->Mixer->Available());
    mixer.changeControl(0x20004, {1});
    pump();
    EXPECT_TRUE(changes.empty()) << "unavailable";

    audio->SetMixerDeviceID(1);
    ASSERT_TRUE(audio->Mixer->Available());
    audio->SetMixerDeviceID(0);
    ASSERT_TRUE(audio->Mixer->Available());
    mixer.changeControl(0x20004, {2}); // posted by device 0's handle
    audio->SetMixerDeviceID(1);        // and that handle is closed before it arrives
    pump();
    EXPECT_TRUE(changes.empty());
}

// --- ALSA ------------------------------------------------------------------------------------

TEST(AlsaMixer, withoutASoundCardTheChainIsEmptyAtOnce) {
    WaveMixer& layer = alsaWaveMixer();
    const auto start = std::chrono::steady_clock::now();
    TAudio audio(nullptr, {nullptr, nullptr, &layer});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_TRUE(audio.ErrorMessage.isEmpty());
    if (layer.getNumDevs() > 0) {
        // A machine with a card: its mixer opens with the two sides.
        ASSERT_NE(audio.Mixer->Lines(), nullptr);
        EXPECT_EQ(audio.Mixer->Lines()->Destination, 0xFFFF);
        return;
    }
    EXPECT_EQ(audio.Mixer->Lines(), nullptr);
    EXPECT_FALSE(audio.Mixer->Available());
    MixerCaps caps;
    EXPECT_EQ(layer.getDevCaps(0, &caps), MMSYSERR_BADDEVICEID);
    HMixer handle = nullptr;
    EXPECT_EQ(layer.open(&handle, 0, audio.componentWindow(), CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(layer.close(handle), MMSYSERR_INVALHANDLE);
    MixerLine line;
    EXPECT_EQ(layer.getLineInfo(handle, &line, MIXER_GETLINEINFOF_DESTINATION),
              MMSYSERR_INVALHANDLE);
}

TEST(AlsaMixer, elementsAreLaidOutAsPlaybackAndCaptureLines) {
    const std::vector<AlsaMixerElement> elements = {
        {"PCM", 0, true, false, 2, false, false, 0},
        {"Master", 0, true, true, 2, false, false, 0},
        {"Mic", 0, true, true, 1, true, true, 1},
        {"Capture", 0, false, false, 0, true, true, 2},
        {"Beep", 0, false, true, 1, false, false, 0},
        {"Mic", 1, false, false, 0, true, false, 2},
        {"Auto-Mute Mode", 0, false, false, 0, false, false, 0},
    };
    const auto layout = alsaMixerLayout(elements);
    ASSERT_EQ(layout.size(), 2u);
    using Controls = std::vector<std::pair<uint32_t, uint32_t>>;
    auto controls = [](const AlsaMixerLine& line) {
        Controls c;
        for (const AlsaMixerControl& control : line.controls)
            c.emplace_back(control.id, control.type);
        return c;
    };
    struct Row {
        const AlsaMixerLine* line;
        const char* name;
        uint32_t type;
        unsigned channels;
        int element;
        bool capture;
        Controls controls;
    };
    ASSERT_EQ(layout[0].sources.size(), 3u);
    ASSERT_EQ(layout[1].sources.size(), 2u);
    const Row rows[] = {
        {&layout[0].line,
         "Master",
         MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
         2,
         1,
         false,
         {{1, VOL}, {2, MUTE}}},
        {&layout[0].sources[0], "PCM", SRC, 2, 0, false, {{3, VOL}}},
        {&layout[0].sources[1], "Mic", SRC, 1, 2, false, {{4, VOL}, {5, MUTE}}},
        {&layout[0].sources[2], "Beep", SRC, 1, 4, false, {{6, MUTE}}},
        {&layout[1].line,
         "Capture",
         MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
         2,
         3,
         true,
         {{7, VOL}, {8, MUTE}}},
        {&layout[1].sources[0], "Mic", SRC, 1, 2, true, {{9, VOL}, {10, MUTE}}},
        {&layout[1].sources[1], "Mic 1", SRC, 2, 5, true, {{11, VOL}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.line->name, row.name);
        EXPECT_EQ(row.line->componentType, row.type);
        EXPECT_EQ(row.line->channels, row.channels);
        EXPECT_EQ(row.line->element, row.element);
        EXPECT_EQ(row.line->capture, row.capture);
        EXPECT_EQ(controls(*row.line), row.controls);
    }

    // Without a master or capture element a side has a line of its own with no controls.
    const auto bare = alsaMixerLayout({{"PCM", 0, true, false, 2, false, false, 0}});
    EXPECT_EQ(bare[0].line.name, "Playback");
    EXPECT_EQ(bare[0].line.element, -1);
    EXPECT_TRUE(bare[0].line.controls.empty());
    ASSERT_EQ(bare[0].sources.size(), 1u);
    EXPECT_EQ(controls(bare[0].sources[0]), (Controls{{1, VOL}}));
    EXPECT_EQ(bare[1].line.name, "Capture");
    EXPECT_TRUE(bare[1].sources.empty());
}

} // namespace
