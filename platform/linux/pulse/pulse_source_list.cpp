#include "platform/linux/pulse/pulse_source_list.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <memory>

namespace kelvane::platform::pulse {
namespace {

struct MainLoopDeleter {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextDeleter {
    void operator()(pa_context* context) const {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

struct Listing {
    std::vector<PulseSource> sources;
    bool done = false;
};

// Runs the loop until the context is ready; false when it failed.
bool waitUntilReady(pa_mainloop* loop, pa_context* context) {
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(state)) return false;
        if (pa_mainloop_iterate(loop, 1, nullptr) < 0) return false;
    }
}

}  // namespace

std::optional<std::vector<PulseSource>> listPulseSources() {
    std::unique_ptr<pa_mainloop, MainLoopDeleter> loop(pa_mainloop_new());
    if (!loop) return std::nullopt;
    std::unique_ptr<pa_context, ContextDeleter> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Kelvane device list"));
    if (!context) return std::nullopt;
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return std::nullopt;
    if (!waitUntilReady(loop.get(), context.get())) return std::nullopt;

    Listing listing;
    pa_operation* operation = pa_context_get_source_info_list(
        context.get(),
        [](pa_context*, const pa_source_info* info, int endOfList, void* data) {
            auto* collected = static_cast<Listing*>(data);
            if (endOfList || !info) {
                collected->done = true;
                return;
            }
            collected->sources.push_back({info->index, info->name ? info->name : "",
                                        info->description ? info->description : "",
                                        info->monitor_of_sink != PA_INVALID_INDEX});
        },
        &listing);
    if (!operation) return std::nullopt;
    while (!listing.done && pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        if (pa_mainloop_iterate(loop.get(), 1, nullptr) < 0) break;
    }
    pa_operation_unref(operation);
    if (!listing.done) return std::nullopt;
    std::stable_sort(listing.sources.begin(), listing.sources.end(),
                     [](const PulseSource& a, const PulseSource& b) { return a.index < b.index; });
    return listing.sources;
}

}  // namespace kelvane::platform::pulse
