#pragma once
// The mixer service as far as the component uses it so far: how many mixer devices exist.
// The ALSA mixer comes with recording; until then the program uses the empty layer.

namespace platform {

class WaveMixer {
public:
    virtual ~WaveMixer() = default;
    virtual unsigned getNumDevs() = 0;
};

// A system without mixer devices.
class EmptyWaveMixer final : public WaveMixer {
public:
    unsigned getNumDevs() override { return 0; }
};

WaveMixer& emptyWaveMixer();

} // namespace platform
