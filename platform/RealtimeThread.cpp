// SPDX-License-Identifier: GPL-3.0-or-later
#include "RealtimeThread.h"

#include <dbus/dbus.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace platform {

namespace {

// Below a sound server's own threads, which must keep their turn before ours.
constexpr int fifoPriority = 5;
constexpr int niceLevel = -11;
// The real-time service grants nothing to a process whose real-time CPU time is unlimited;
// a feeding thread that blocks between writes never comes near this.
constexpr rlim_t realtimeMicroseconds = 200000;
constexpr int replyMilliseconds = 300;

// Calls a method of the real-time service with the thread and one more argument; true when
// it agreed.
bool askRealtimeService(const char* method, pid_t thread, int type, const void* value) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
    if (!bus) {
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    bool granted = false;
    if (DBusMessage* call = dbus_message_new_method_call("org.freedesktop.RealtimeKit1",
                                                         "/org/freedesktop/RealtimeKit1",
                                                         "org.freedesktop.RealtimeKit1", method)) {
        const dbus_uint64_t id = static_cast<dbus_uint64_t>(thread);
        if (dbus_message_append_args(call, DBUS_TYPE_UINT64, &id, type, value, DBUS_TYPE_INVALID)) {
            DBusMessage* reply =
                dbus_connection_send_with_reply_and_block(bus, call, replyMilliseconds, &error);
            granted = reply && !dbus_error_is_set(&error);
            if (reply)
                dbus_message_unref(reply);
        }
        dbus_message_unref(call);
    }
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return granted;
}

bool limitRealtimeTime() {
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= realtimeMicroseconds)
        return true;
    limit.rlim_cur = limit.rlim_max = realtimeMicroseconds;
    return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

} // namespace

void makeThisThreadRealtime() {
    sched_param param{};
    param.sched_priority = std::clamp(fifoPriority, sched_get_priority_min(SCHED_FIFO),
                                      sched_get_priority_max(SCHED_FIFO));
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0)
        return;
    const pid_t thread = gettid();
    const dbus_uint32_t priority = static_cast<dbus_uint32_t>(param.sched_priority);
    if (limitRealtimeTime() &&
        askRealtimeService("MakeThreadRealtime", thread, DBUS_TYPE_UINT32, &priority))
        return;
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), niceLevel) == 0)
        return;
    const dbus_int32_t nice = niceLevel;
    askRealtimeService("MakeThreadHighPriority", thread, DBUS_TYPE_INT32, &nice);
}

} // namespace platform
