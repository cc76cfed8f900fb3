// SPDX-License-Identifier: GPL-3.0-or-later
// The mixer layer on ALSA's simple mixer. ALSA tells of control changes through its own
// descriptors; the owner watches them in its event loop and calls handleEvents, which posts
// a change for each control whose value moved. Everything runs on the owner's thread.
#include "WaveMixerAlsa.h"
#include "SoundServer.h"
#include "WaveOutAlsa.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <set>

namespace platform {

namespace {

std::string lineName(const AlsaMixerElement& e) {
    return e.index == 0 ? e.name : e.name + ' ' + std::to_string(e.index);
}

AlsaMixerLine elementLine(const std::vector<AlsaMixerElement>& elements, size_t i, bool capture,
                          uint32_t componentType, uint32_t& nextId) {
    const AlsaMixerElement& e = elements[i];
    AlsaMixerLine line;
    line.name = lineName(e);
    line.componentType = componentType;
    line.channels = std::max(1u, capture ? e.captureChannels : e.playbackChannels);
    line.element = static_cast<int>(i);
    line.capture = capture;
    if (capture ? e.captureVolume : e.playbackVolume)
        line.controls.push_back({nextId++, MIXERCONTROL_CONTROLTYPE_VOLUME});
    if (capture ? e.captureSwitch : e.playbackSwitch)
        line.controls.push_back({nextId++, MIXERCONTROL_CONTROLTYPE_MUTE});
    return line;
}

} // namespace

std::vector<AlsaMixerDestination> alsaMixerLayout(const std::vector<AlsaMixerElement>& elements) {
    struct Side {
        bool capture;
        const char* own;
        uint32_t componentType;
    };
    const Side sides[] = {{false, "Master", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS},
                          {true, "Capture", MIXERLINE_COMPONENTTYPE_DST_WAVEIN}};
    std::vector<AlsaMixerDestination> layout;
    uint32_t nextId = 1;
    for (const Side& side : sides) {
        auto onSide = [&side](const AlsaMixerElement& e) {
            return side.capture ? e.captureVolume || e.captureSwitch
                                : e.playbackVolume || e.playbackSwitch;
        };
        int own = -1;
        for (size_t i = 0; i < elements.size() && own < 0; ++i)
            if (onSide(elements[i]) && elements[i].name == side.own && elements[i].index == 0)
                own = static_cast<int>(i);
        AlsaMixerDestination destination;
        if (own >= 0) {
            destination.line =
                elementLine(elements, size_t(own), side.capture, side.componentType, nextId);
        } else {
            destination.line.name = side.capture ? "Capture" : "Playback";
            destination.line.componentType = side.componentType;
            destination.line.capture = side.capture;
        }
        for (size_t i = 0; i < elements.size(); ++i)
            if (int(i) != own && onSide(elements[i]))
                destination.sources.push_back(elementLine(
                    elements, i, side.capture, MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED, nextId));
        layout.push_back(std::move(destination));
    }
    return layout;
}

struct MixerDevice {
    snd_mixer_t* mixer = nullptr;
    WaveWindow* window = nullptr;
    std::vector<snd_mixer_elem_t*> elements;
    std::vector<AlsaMixerDestination> layout;
    std::map<uint32_t, std::vector<uint32_t>> lastValues; // by control, for telling changes
    bool gone = false;                                    // the card went away
};

namespace {

std::mutex registryMutex;
std::set<MixerDevice*> registry;

bool known(HMixer device) {
    std::lock_guard lock(registryMutex);
    return device && registry.contains(device);
}

std::vector<int> soundCards() {
    std::vector<int> cards;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0)
        cards.push_back(card);
    return cards;
}

std::vector<snd_mixer_selem_channel_id_t> channelsOf(snd_mixer_elem_t* elem, bool capture) {
    if (capture ? snd_mixer_selem_is_capture_mono(elem) : snd_mixer_selem_is_playback_mono(elem))
        return {SND_MIXER_SCHN_MONO};
    std::vector<snd_mixer_selem_channel_id_t> channels;
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto id = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (capture ? snd_mixer_selem_has_capture_channel(elem, id)
                    : snd_mixer_selem_has_playback_channel(elem, id))
            channels.push_back(id);
    }
    if (channels.empty())
        channels.push_back(SND_MIXER_SCHN_MONO);
    return channels;
}

template <class F> void forEachLine(const std::vector<AlsaMixerDestination>& layout, F f) {
    for (const AlsaMixerDestination& d : layout) {
        f(d.line);
        for (const AlsaMixerLine& source : d.sources)
            f(source);
    }
}

const AlsaMixerLine* lineOfControl(const MixerDevice* dev, uint32_t id, uint32_t* type) {
    const AlsaMixerLine* found = nullptr;
    forEachLine(dev->layout, [&](const AlsaMixerLine& line) {
        for (const AlsaMixerControl& c : line.controls)
            if (!found && c.id == id) {
                *type = c.type;
                found = &line;
            }
    });
    return found;
}

// Volumes scaled to 0..65535; a mute control reads 1 when the switch is off.
std::vector<uint32_t> readValues(MixerDevice* dev, const AlsaMixerLine& line, uint32_t type,
                                 unsigned channels) {
    snd_mixer_elem_t* elem = dev->elements[size_t(line.element)];
    const auto ids = channelsOf(elem, line.capture);
    std::vector<uint32_t> values(channels, 0);
    if (type == MIXERCONTROL_CONTROLTYPE_MUTE) {
        int on = 1;
        if (line.capture)
            snd_mixer_selem_get_capture_switch(elem, ids.front(), &on);
        else
            snd_mixer_selem_get_playback_switch(elem, ids.front(), &on);
        std::fill(values.begin(), values.end(), on ? 0u : 1u);
        return values;
    }
    long min = 0, max = 0;
    if (line.capture)
        snd_mixer_selem_get_capture_volume_range(elem, &min, &max);
    else
        snd_mixer_selem_get_playback_volume_range(elem, &min, &max);
    for (unsigned i = 0; i < channels; ++i) {
        long raw = min;
        const auto id = ids[std::min<size_t>(i, ids.size() - 1)];
        if (line.capture)
            snd_mixer_selem_get_capture_volume(elem, id, &raw);
        else
            snd_mixer_selem_get_playback_volume(elem, id, &raw);
        values[i] = max > min ? uint32_t((raw - min) * 65535LL / (max - min)) : 0;
    }
    return values;
}

// The reverse of readValues: volumes from 0..65535 to the element's range, rounded; a mute
// control's 1 switches the element off.
int writeValues(MixerDevice* dev, const AlsaMixerLine& line, uint32_t type, unsigned channels,
                const uint32_t* values) {
    snd_mixer_elem_t* elem = dev->elements[size_t(line.element)];
    const auto ids = channelsOf(elem, line.capture);
    if (type == MIXERCONTROL_CONTROLTYPE_MUTE) {
        const int on = values[0] != 0 ? 0 : 1;
        return line.capture ? snd_mixer_selem_set_capture_switch_all(elem, on)
                            : snd_mixer_selem_set_playback_switch_all(elem, on);
    }
    long min = 0, max = 0;
    if (line.capture)
        snd_mixer_selem_get_capture_volume_range(elem, &min, &max);
    else
        snd_mixer_selem_get_playback_volume_range(elem, &min, &max);
    // Channels beyond those given take the last value given, as a uniform volume does.
    for (size_t i = 0; i < ids.size(); ++i) {
        const uint32_t value = std::min<uint32_t>(values[std::min<size_t>(i, channels - 1)], 65535);
        const long raw = min + long((int64_t(value) * (max - min) + 32767) / 65535);
        const int rc = line.capture ? snd_mixer_selem_set_capture_volume(elem, ids[i], raw)
                                    : snd_mixer_selem_set_playback_volume(elem, ids[i], raw);
        if (rc < 0)
            return rc;
    }
    return 0;
}

// Runs inside snd_mixer_handle_events.
int elementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    if (mask == SND_CTL_EVENT_MASK_REMOVE || !(mask & SND_CTL_EVENT_MASK_VALUE))
        return 0;
    auto* dev = static_cast<MixerDevice*>(snd_mixer_elem_get_callback_private(elem));
    forEachLine(dev->layout, [dev, elem](const AlsaMixerLine& line) {
        if (line.element < 0 || dev->elements[size_t(line.element)] != elem)
            return;
        for (const AlsaMixerControl& c : line.controls) {
            auto now = readValues(dev, line, c.type, line.channels);
            std::vector<uint32_t>& last = dev->lastValues[c.id];
            if (now == last)
                continue;
            last = std::move(now);
            dev->window->post(MM_MIXM_CONTROL_CHANGE, reinterpret_cast<uintptr_t>(dev), c.id);
        }
    });
    return 0;
}

void destroy(MixerDevice* dev) {
    if (dev->mixer)
        snd_mixer_close(dev->mixer);
    delete dev;
}

// A mixer device: the control device ALSA opens, and the name its capabilities give.
struct ControlDevice {
    std::string control;
    std::string name;
};

class AlsaWaveMixer final : public WaveMixer {
public:
    // Without control names, mixer device n is the n-th sound card.
    explicit AlsaWaveMixer(std::vector<std::string> controls = {})
        : controls_(std::move(controls)) {}

    unsigned getNumDevs() override { return static_cast<unsigned>(devices().size()); }

    WaveResult getDevCaps(unsigned device, MixerCaps* caps) override {
        if (!caps)
            return MMSYSERR_INVALPARAM;
        silenceAlsa();
        const auto all = devices();
        if (device >= all.size())
            return MMSYSERR_BADDEVICEID;
        if (all[device].name.empty())
            return -ENODEV;
        caps->szPname = all[device].name;
        caps->cDestinations = 2;
        return MMSYSERR_NOERROR;
    }

    WaveResult open(HMixer* handle, unsigned device, WaveWindow* window, uint32_t flags) override {
        if (!handle)
            return MMSYSERR_INVALPARAM;
        if ((flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW || !window)
            return MMSYSERR_INVALFLAG;
        silenceAlsa();
        const auto all = devices();
        if (device >= all.size())
            return MMSYSERR_BADDEVICEID;
        auto* dev = new (std::nothrow) MixerDevice;
        if (!dev)
            return MMSYSERR_NOMEM;
        dev->window = window;
        int rc = snd_mixer_open(&dev->mixer, 0);
        if (rc >= 0)
            rc = snd_mixer_attach(dev->mixer, all[device].control.c_str());
        if (rc >= 0)
            rc = snd_mixer_selem_register(dev->mixer, nullptr, nullptr);
        if (rc >= 0)
            rc = snd_mixer_load(dev->mixer);
        if (rc < 0) {
            destroy(dev);
            return rc;
        }
        std::vector<AlsaMixerElement> described;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(dev->mixer); e;
             e = snd_mixer_elem_next(e)) {
            if (!snd_mixer_selem_is_active(e))
                continue;
            AlsaMixerElement d;
            d.name = snd_mixer_selem_get_name(e);
            d.index = snd_mixer_selem_get_index(e);
            d.playbackVolume = snd_mixer_selem_has_playback_volume(e);
            d.playbackSwitch = snd_mixer_selem_has_playback_switch(e);
            d.captureVolume = snd_mixer_selem_has_capture_volume(e);
            d.captureSwitch = snd_mixer_selem_has_capture_switch(e);
            d.playbackChannels = unsigned(channelsOf(e, false).size());
            d.captureChannels = unsigned(channelsOf(e, true).size());
            described.push_back(std::move(d));
            dev->elements.push_back(e);
            snd_mixer_elem_set_callback(e, elementEvent);
            snd_mixer_elem_set_callback_private(e, dev);
        }
        dev->layout = alsaMixerLayout(described);
        forEachLine(dev->layout, [dev](const AlsaMixerLine& line) {
            for (const AlsaMixerControl& c : line.controls)
                dev->lastValues[c.id] = readValues(dev, line, c.type, line.channels);
        });
        {
            std::lock_guard lock(registryMutex);
            registry.insert(dev);
        }
        *handle = dev;
        return MMSYSERR_NOERROR;
    }

    WaveResult getLineInfo(HMixer dev, MixerLine* line, uint32_t flags) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (!line)
            return MMSYSERR_INVALPARAM;
        if (flags != MIXER_GETLINEINFOF_DESTINATION && flags != MIXER_GETLINEINFOF_SOURCE)
            return MMSYSERR_INVALFLAG;
        const uint32_t d = line->dwDestination;
        if (d >= dev->layout.size())
            return MIXERR_INVALLINE;
        const AlsaMixerDestination& destination = dev->layout[d];
        const bool source = flags == MIXER_GETLINEINFOF_SOURCE;
        if (source && line->dwSource >= destination.sources.size())
            return MIXERR_INVALLINE;
        const AlsaMixerLine& found =
            source ? destination.sources[line->dwSource] : destination.line;
        MixerLine info;
        info.dwDestination = d;
        info.dwSource = source ? line->dwSource : 0;
        info.dwLineID = (d << 16) | (source ? line->dwSource : 0xFFFF);
        info.dwComponentType = found.componentType;
        info.cChannels = found.channels;
        info.cConnections = source ? 0 : uint32_t(destination.sources.size());
        info.cControls = uint32_t(found.controls.size());
        info.szShortName = found.name.substr(0, 15);
        info.szName = found.name;
        *line = std::move(info);
        return MMSYSERR_NOERROR;
    }

    WaveResult getLineControls(HMixer dev, uint32_t lineId,
                               std::vector<MixerControl>* controls) override {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        if (!controls)
            return MMSYSERR_INVALPARAM;
        const uint32_t d = lineId >> 16;
        const uint32_t s = lineId & 0xFFFF;
        if (d >= dev->layout.size() || (s != 0xFFFF && s >= dev->layout[d].sources.size()))
            return MIXERR_INVALLINE;
        const AlsaMixerLine& line = s == 0xFFFF ? dev->layout[d].line : dev->layout[d].sources[s];
        controls->clear();
        for (const AlsaMixerControl& c : line.controls)
            controls->push_back({c.id, c.type, 0,
                                 c.type == MIXERCONTROL_CONTROLTYPE_MUTE ? 1 : 65535,
                                 c.type == MIXERCONTROL_CONTROLTYPE_MUTE ? "Mute" : "Volume"});
        return MMSYSERR_NOERROR;
    }

    // The line and type of a control asked for with channels values; the layer's error else.
    static WaveResult controlOf(HMixer dev, uint32_t controlId, unsigned channels,
                                const void* values, const AlsaMixerLine*& line, uint32_t& type) {
        if (!known(dev))
            return MMSYSERR_INVALHANDLE;
        line = lineOfControl(dev, controlId, &type);
        if (!line)
            return MIXERR_INVALCONTROL;
        if (!values || channels == 0 || channels > line->channels)
            return MMSYSERR_INVALPARAM;
        return MMSYSERR_NOERROR;
    }

    WaveResult getControlDetails(HMixer dev, uint32_t controlId, unsigned channels,
                                 uint32_t* values) override {
        const AlsaMixerLine* line = nullptr;
        uint32_t type = 0;
        if (const WaveResult rc = controlOf(dev, controlId, channels, values, line, type);
            rc != MMSYSERR_NOERROR)
            return rc;
        const auto read = readValues(dev, *line, type, channels);
        std::copy(read.begin(), read.end(), values);
        return MMSYSERR_NOERROR;
    }

    WaveResult setControlDetails(HMixer dev, uint32_t controlId, unsigned channels,
                                 const uint32_t* values) override {
        const AlsaMixerLine* line = nullptr;
        uint32_t type = 0;
        if (const WaveResult rc = controlOf(dev, controlId, channels, values, line, type);
            rc != MMSYSERR_NOERROR)
            return rc;
        if (dev->gone)
            return -ENODEV;
        const int rc = writeValues(dev, *line, type, channels, values);
        return rc < 0 ? rc : MMSYSERR_NOERROR;
    }

    WaveResult close(HMixer dev) override {
        {
            std::lock_guard lock(registryMutex);
            if (!dev || !registry.erase(dev))
                return MMSYSERR_INVALHANDLE;
        }
        destroy(dev);
        return MMSYSERR_NOERROR;
    }

    std::vector<pollfd> eventDescriptors(HMixer dev) override {
        if (!known(dev) || dev->gone)
            return {};
        const int count = snd_mixer_poll_descriptors_count(dev->mixer);
        std::vector<pollfd> fds(size_t(std::max(count, 0)));
        if (count > 0 && snd_mixer_poll_descriptors(dev->mixer, fds.data(), unsigned(count)) < 0)
            fds.clear();
        return fds;
    }

    bool handleEvents(HMixer dev) override {
        if (!known(dev) || dev->gone)
            return false;
        // What is ready, without waiting: the owner was told that something is.
        std::vector<pollfd> fds = eventDescriptors(dev);
        if (poll(fds.data(), fds.size(), 0) < 0)
            return true;
        unsigned short revents = 0;
        snd_mixer_poll_descriptors_revents(dev->mixer, fds.data(), unsigned(fds.size()), &revents);
        if (revents & (POLLERR | POLLNVAL | POLLHUP)) {
            dev->gone = true; // the card went away; the device stays open until closed
            return false;
        }
        if (revents & (POLLIN | POLLOUT))
            snd_mixer_handle_events(dev->mixer);
        return true;
    }

private:
    std::vector<ControlDevice> devices() const {
        std::vector<ControlDevice> all;
        if (!controls_.empty()) {
            for (const std::string& control : controls_)
                all.push_back({control, control});
            return all;
        }
        for (int card : soundCards()) {
            char* name = nullptr;
            ControlDevice device{"hw:" + std::to_string(card), {}};
            if (snd_card_get_name(card, &name) >= 0 && name)
                device.name = name;
            std::free(name);
            all.push_back(std::move(device));
        }
        return all;
    }

    const std::vector<std::string> controls_;
};

} // namespace

WaveMixer& alsaWaveMixer() {
    static AlsaWaveMixer layer;
    return layer;
}

std::unique_ptr<WaveMixer> alsaWaveMixerOn(std::vector<std::string> controls) {
    return std::make_unique<AlsaWaveMixer>(std::move(controls));
}

std::string alsaMixerControlOf(const std::string& input) {
    // A source of the server: its own control. Any other input that is not a card's goes to the
    // server's default source where the server answers; PipeWire's control for "default" would
    // set the output's volume when that source is an output's monitor.
    if (!sourceOfAlsaName(input).empty())
        return input;
    const std::size_t colon = input.find(':');
    const std::string plugin = input.substr(0, colon);
    if (colon == std::string::npos ||
        (plugin != "hw" && plugin != "plughw" && plugin != "sysdefault")) {
        const ServerSources server = soundServerSources();
        return server.defaultSource.empty() ? "default" : alsaNameOfSource(server.defaultSource);
    }
    // "hw:CARD=X,DEV=0", "hw:X,0" or "sysdefault:CARD=X": the card is the first argument.
    std::string card = input.substr(colon + 1);
    card = card.substr(0, card.find(','));
    if (card.starts_with("CARD="))
        card.erase(0, 5);
    return card.empty() ? "default" : "hw:CARD=" + card;
}

} // namespace platform
