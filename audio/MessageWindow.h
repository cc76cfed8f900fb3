// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The component's message receivers: each takes the messages that the wave layers (from any
// thread) or the component itself post to it, and hands them to its handler on the UI thread.
#include "WaveWindow.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>

class TMessageWindow : public QObject, public platform::WaveWindow {
public:
    using Handler = std::function<void(unsigned Msg, uintptr_t WParam, uintptr_t LParam)>;
    explicit TMessageWindow(Handler handler);
    // Safe from any thread: it only posts an event to the UI thread.
    void post(unsigned msg, uintptr_t wParam = 0, uintptr_t lParam = 0) override;

protected:
    bool event(QEvent* e) override;

private:
    Handler FHandler;
    // Qt's event queue hands the event over under a lock that ThreadSanitizer cannot see;
    // this release/acquire pair makes the hand-over visible to it (and to the reader).
    std::atomic<unsigned> FPosts{0};
};
