// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer view on a real ALSA mixer: the sound server's, reached through ALSA's control
// plugin. A volume moved by another client reaches OnMixerChange through ALSA's own event
// descriptors while the thread runs its event loop.
#include "Audio.h"
#include "WaveMixerAlsa.h"
#include "support/PipeWireServer.h"

#include <alsa/asoundlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace platform;

namespace {

struct Change {
    uint16_t destination;
    uint16_t source;
    bool operator==(const Change&) const = default;
};

// Another client of the server: sets the playback volume of "Master" to a fraction of its range.
bool setMasterVolume(double fraction) {
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return false;
    std::unique_ptr<snd_mixer_t, int (*)(snd_mixer_t*)> closer(mixer, snd_mixer_close);
    if (snd_mixer_attach(mixer, "default") < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0)
        return false;
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, "Master");
    snd_mixer_elem_t* master = snd_mixer_find_selem(mixer, id);
    long min = 0, max = 0;
    if (!master || snd_mixer_selem_get_playback_volume_range(master, &min, &max) < 0)
        return false;
    const auto value = min + static_cast<long>(static_cast<double>(max - min) * fraction);
    return snd_mixer_selem_set_playback_volume_all(master, value) >= 0;
}

TEST(PipeWireMixer, AVolumeMovedElsewhereIsReportedWithItsLine) {
    testsupport::PipeWireServer server;
    if (const QString missing = server.missing(); !missing.isEmpty())
        GTEST_SKIP() << missing.toStdString();
    ASSERT_TRUE(server.start()) << server.error().toStdString();

    const std::unique_ptr<WaveMixer> layer = alsaWaveMixerOn({"default"});
    TAudio audio(nullptr, {nullptr, nullptr, layer.get()});
    ASSERT_TRUE(audio.Mixer->Available());
    const TMixDetails* speakers = audio.Mixer->Lines()->Next;
    ASSERT_NE(speakers, nullptr);
    EXPECT_EQ(speakers->Name, "Master");
    EXPECT_TRUE(speakers->IsSpeakers);
    ASSERT_NE(speakers->VolumeControlID, 0xFFFFu);

    std::vector<Change> changes;
    audio.OnMixerChange = [&](TObject* sender, uint16_t destination, uint16_t source) {
        EXPECT_EQ(sender, audio.Mixer);
        changes.push_back({destination, source});
    };
    // The message names the control, the event after it the control's line; the server may
    // report other controls that moved with it (its capture side) around them.
    const auto masterReported = [&] {
        for (size_t i = 1; i < changes.size(); ++i)
            if (changes[i - 1].source == uint16_t(speakers->VolumeControlID & 0xFFFF) &&
                changes[i] == Change{0, 0})
                return true;
        return false;
    };
    for (const double volume : {0.25, 0.75}) {
        SCOPED_TRACE(volume);
        changes.clear();
        ASSERT_TRUE(setMasterVolume(volume));
        QElapsedTimer clock;
        clock.start();
        while (!masterReported() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_TRUE(masterReported()) << changes.size() << " changes";
    }
}

} // namespace
