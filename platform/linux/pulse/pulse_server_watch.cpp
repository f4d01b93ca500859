#include "platform/linux/pulse/pulse_server_watch.h"

#include <utility>

namespace kelvane::platform::pulse {

PulseServerWatch::PulseServerWatch() = default;

PulseServerWatch::~PulseServerWatch() {
    if (!mainLoop_) return;
    pa_threaded_mainloop_lock(mainLoop_);
    onLost_ = nullptr;
    if (context_) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_unlock(mainLoop_);
    pa_threaded_mainloop_stop(mainLoop_);
    pa_threaded_mainloop_free(mainLoop_);
}

void PulseServerWatch::onContextState(pa_context* context, void* data) {
    auto* self = static_cast<PulseServerWatch*>(data);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) self->ready_ = true;
    if (self->ready_ && !PA_CONTEXT_IS_GOOD(state) && self->onLost_) {
        auto onLost = std::exchange(self->onLost_, nullptr);
        onLost(pa_strerror(pa_context_errno(context)));
    }
    pa_threaded_mainloop_signal(self->mainLoop_, 0);
}

std::optional<std::string> PulseServerWatch::watch(std::function<void(const std::string&)> onLost) {
    if (mainLoop_) return std::string("The sound server is already watched");
    mainLoop_ = pa_threaded_mainloop_new();
    if (!mainLoop_ || pa_threaded_mainloop_start(mainLoop_) < 0) return std::string(pa_strerror(PA_ERR_INTERNAL));
    pa_threaded_mainloop_lock(mainLoop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainLoop_), "Kelvane server watch");
    std::optional<std::string> error;
    if (!context_) {
        error = pa_strerror(PA_ERR_INTERNAL);
    } else {
        pa_context_set_state_callback(context_, &PulseServerWatch::onContextState, this);
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            error = pa_strerror(pa_context_errno(context_));
        } else {
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(context_);
                if (state == PA_CONTEXT_READY) break;
                if (!PA_CONTEXT_IS_GOOD(state)) {
                    error = pa_strerror(pa_context_errno(context_));
                    break;
                }
                pa_threaded_mainloop_wait(mainLoop_);
            }
        }
    }
    if (!error) onLost_ = std::move(onLost);
    pa_threaded_mainloop_unlock(mainLoop_);
    return error;
}

bool pulseServerReachable() {
    PulseServerWatch probe;
    return !probe.watch([](const std::string&) {});
}

}  // namespace kelvane::platform::pulse
