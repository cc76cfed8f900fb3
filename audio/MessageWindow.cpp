// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio.h"

#include <QCoreApplication>
#include <QEvent>

#include <mutex>

using namespace platform;

namespace {

QEvent::Type waveMessageType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class TWaveMessageEvent : public QEvent {
public:
    TWaveMessageEvent(unsigned msg, uintptr_t wParam, uintptr_t lParam)
        : QEvent(waveMessageType()), Msg(msg), WParam(wParam), LParam(lParam) {}
    const unsigned Msg;
    const uintptr_t WParam;
    const uintptr_t LParam;
};

} // namespace

TMessageWindow::TMessageWindow(Handler handler) : FHandler(std::move(handler)) {}

void TMessageWindow::post(unsigned msg, uintptr_t wParam, uintptr_t lParam) {
    auto* e = new TWaveMessageEvent(msg, wParam, lParam);
    FPosts.fetch_add(1, std::memory_order_release);
    // Qt already serialises posting, under a lock ThreadSanitizer cannot see; when a layer's
    // thread and the UI thread post at once, this one shows it that Qt's queue is guarded.
    static std::mutex postMutex;
    std::lock_guard lock(postMutex);
    QCoreApplication::postEvent(this, e);
}

bool TMessageWindow::event(QEvent* e) {
    FPosts.load(std::memory_order_acquire);
    if (e->type() != waveMessageType())
        return QObject::event(e);
    const auto* message = static_cast<TWaveMessageEvent*>(e);
    if (FHandler)
        FHandler(message->Msg, message->WParam, message->LParam);
    return true;
}
