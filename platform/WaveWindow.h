// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A receiver of device notifications: the wave-input and mixer layers post to it from any
// thread; it hands the messages to its owner on the UI thread, in the order they were posted.
#include <cstdint>

namespace platform {

class WaveWindow {
public:
    virtual void post(unsigned msg, uintptr_t wParam = 0, uintptr_t lParam = 0) = 0;

protected:
    ~WaveWindow() = default;
};

// Notifications go to a window given at open: the callback kind of the open flags.
constexpr uint32_t CALLBACK_TYPEMASK = 0x70000;
constexpr uint32_t CALLBACK_WINDOW = 0x10000;

} // namespace platform
