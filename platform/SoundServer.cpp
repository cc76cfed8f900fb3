// SPDX-License-Identifier: GPL-3.0-or-later
// The server is asked once per call, on a main loop of its own with a deadline, so that a
// server that hangs (or was stopped) costs a second and nothing more.
#include "SoundServer.h"
#include "WaveOutAlsa.h"

#include <alsa/asoundlib.h>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <memory>

namespace platform {

namespace {

constexpr const char* kPrefix = "pulse:";
constexpr auto kDeadline = std::chrono::seconds(1);

// Whether ALSA's configuration defines the PulseAudio plugin's pcm and ctl.
bool alsaHasPulsePlugin() {
    silenceAlsa();
    if (snd_config_update() < 0)
        return false;
    for (const char* kind : {"pcm", "ctl"}) {
        snd_config_t* definition = nullptr;
        if (snd_config_search_definition(snd_config, kind, "pulse", &definition) < 0)
            return false;
        snd_config_delete(definition);
    }
    return true;
}

struct Query {
    ServerSources result;
    bool failed = false;
    int pending = 0; // answers still to come once the context is ready
};

void sourceInfo(pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* query = static_cast<Query*>(data);
    if (eol != 0) {
        --query->pending;
        return;
    }
    if (info && info->name)
        query->result.sources.push_back({info->name, info->description ? info->description : "",
                                         info->monitor_of_sink != PA_INVALID_INDEX});
}

void serverInfo(pa_context*, const pa_server_info* info, void* data) {
    auto* query = static_cast<Query*>(data);
    if (info && info->default_source_name)
        query->result.defaultSource = info->default_source_name;
    --query->pending;
}

void stateChanged(pa_context* context, void* data) {
    auto* query = static_cast<Query*>(data);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        query->pending = 2;
        pa_operation_unref(pa_context_get_server_info(context, serverInfo, query));
        pa_operation_unref(pa_context_get_source_info_list(context, sourceInfo, query));
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        query->failed = true;
        break;
    default:
        break;
    }
}

} // namespace

ServerSources soundServerSources() {
    if (!alsaHasPulsePlugin())
        return {};
    Query query; // outlives the context, whose callbacks it serves
    std::unique_ptr<pa_mainloop, void (*)(pa_mainloop*)> loop(pa_mainloop_new(), pa_mainloop_free);
    if (!loop)
        return {};
    std::unique_ptr<pa_context, void (*)(pa_context*)> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "zuvela"), pa_context_unref);
    if (!context)
        return {};
    pa_context_set_state_callback(context.get(), stateChanged, &query);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return {};
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    bool answered = false;
    while (!query.failed && !answered) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || pa_mainloop_prepare(loop.get(), int(left.count())) < 0 ||
            pa_mainloop_poll(loop.get()) < 0 || pa_mainloop_dispatch(loop.get()) < 0)
            break;
        answered = pa_context_get_state(context.get()) == PA_CONTEXT_READY && query.pending == 0;
    }
    pa_context_set_state_callback(context.get(), nullptr, nullptr);
    pa_context_disconnect(context.get());
    if (!answered)
        return {};
    return query.result;
}

std::string alsaNameOfSource(const std::string& source) {
    return kPrefix + source;
}

std::string sourceOfAlsaName(const std::string& alsaName) {
    return alsaName.starts_with(kPrefix) ? alsaName.substr(std::char_traits<char>::length(kPrefix))
                                         : std::string();
}

} // namespace platform
