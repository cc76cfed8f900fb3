#include "platform/WaveMixer.h"

namespace platform {

WaveMixer& emptyWaveMixer() {
    static EmptyWaveMixer layer;
    return layer;
}

} // namespace platform
