#include "platform/linux/pipewire/screencast_portal.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>

namespace kelvane::platform::pipewire {
namespace {

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* screenCastInterface = "org.freedesktop.portal.ScreenCast";
// A portal that is there answers at once; one that takes longer is treated as absent.
constexpr int callTimeoutMs = 5000;
constexpr guint stepTimeoutMs = 5000;
// The chooser waits for the user.
constexpr guint chooserTimeoutMs = 180000;
constexpr std::uint32_t cursorModeHidden = 1;
constexpr std::uint32_t persistUntilRevoked = 2;
constexpr std::uint32_t responseCancelled = 1;

std::string takeMessage(GError* error) {
    std::string message = error ? error->message : "unknown error";
    g_clear_error(&error);
    return message;
}

GDBusConnection* sessionBus() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) throw ScreenCastFailed("Cannot reach the D-Bus session bus: " + takeMessage(error));
    return bus;
}

// A property of the ScreenCast interface, or nothing when it cannot be read.
std::optional<std::uint32_t> portalProperty(GDBusConnection* bus, const char* name, GError** error) {
    GVariant* reply = g_dbus_connection_call_sync(bus, portalName, portalPath, "org.freedesktop.DBus.Properties",
                                                  "Get", g_variant_new("(ss)", screenCastInterface, name),
                                                  G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs,
                                                  nullptr, error);
    if (!reply) return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    std::optional<std::uint32_t> number;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) number = g_variant_get_uint32(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return number;
}

std::vector<PortalStream> parseStreams(GVariant* results) {
    std::vector<PortalStream> streams;
    GVariantIter* iter = nullptr;
    if (!g_variant_lookup(results, "streams", "a(ua{sv})", &iter)) return streams;
    std::uint32_t node = 0;
    GVariant* properties = nullptr;
    while (g_variant_iter_loop(iter, "(u@a{sv})", &node, &properties)) {
        PortalStream stream;
        stream.nodeId = node;
        std::int32_t a = 0, b = 0;
        if (g_variant_lookup(properties, "position", "(ii)", &a, &b)) {
            stream.x = a;
            stream.y = b;
        }
        if (g_variant_lookup(properties, "size", "(ii)", &a, &b)) {
            stream.width = a;
            stream.height = b;
        }
        g_variant_lookup(properties, "source_type", "u", &stream.sourceType);
        streams.push_back(stream);
    }
    g_variant_iter_free(iter);
    return streams;
}

}  // namespace

struct ScreenCastSession::Loop {
    GMainContext* context = g_main_context_new();
    GMainLoop* mainLoop = g_main_loop_new(context, FALSE);
    GDBusConnection* bus = nullptr;
    std::string sessionHandle;
    std::vector<PortalStream> streams;
    std::optional<std::string> restoreToken;
    int pipewireFd = -1;
    std::function<void(const std::string&)> onEnded;
    bool started = false;
    bool ended = false;
    bool portalGone = false;
    guint ownerSubscription = 0;
    guint closedSubscription = 0;
    int requests = 0;
    std::thread thread;

    ~Loop() {
        if (pipewireFd >= 0) close(pipewireFd);
        g_main_loop_unref(mainLoop);
        g_main_context_unref(context);
    }

    void run(const ScreenCastRequest& request, std::promise<void>& ready) {
        g_main_context_push_thread_default(context);
        try {
            handshake(request);
            started = true;
            ready.set_value();
        } catch (...) {
            ready.set_exception(std::current_exception());
            finish();
            return;
        }
        g_main_loop_run(mainLoop);
        finish();
    }

    void finish() {
        if (ownerSubscription) g_dbus_connection_signal_unsubscribe(bus, ownerSubscription);
        if (closedSubscription) g_dbus_connection_signal_unsubscribe(bus, closedSubscription);
        if (bus && !sessionHandle.empty() && !portalGone) {
            GVariant* reply = g_dbus_connection_call_sync(bus, portalName, sessionHandle.c_str(),
                                                          "org.freedesktop.portal.Session", "Close", nullptr, nullptr,
                                                          G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, nullptr);
            if (reply) g_variant_unref(reply);
        }
        if (bus) g_object_unref(bus);
        bus = nullptr;
        // Runs what the unsubscriptions left queued, so nothing refers to this loop later.
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_main_context_pop_thread_default(context);
    }

    void end(const std::string& description) {
        if (ended || !started) return;
        ended = true;
        if (onEnded) onEnded(description);
    }

    std::string nextToken() { return "kelvane_" + std::to_string(getpid()) + "_" + std::to_string(++requests); }

    std::string requestPath(const std::string& token) const {
        std::string sender = g_dbus_connection_get_unique_name(bus) + 1;
        std::replace(sender.begin(), sender.end(), '.', '_');
        return std::string(portalPath) + "/request/" + sender + "/" + token;
    }

    struct Answer {
        bool done = false;
        std::uint32_t code = 2;
        GVariant* results = nullptr;
    };

    static void onResponse(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                           gpointer data) {
        auto* answer = static_cast<Answer*>(data);
        if (answer->done) return;
        g_variant_get(parameters, "(u@a{sv})", &answer->code, &answer->results);
        answer->done = true;
    }

    static gboolean onTimeout(gpointer data) {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
    }

    // Calls `method` with `parameters` (whose options carry `token`) and waits for the
    // request's Response; returns its results (owned by the caller).
    GVariant* call(const char* method, GVariant* parameters, const std::string& token, guint timeoutMs) {
        Answer answer;
        const guint subscription = g_dbus_connection_signal_subscribe(
            bus, portalName, "org.freedesktop.portal.Request", "Response", requestPath(token).c_str(), nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &answer, nullptr);
        GError* error = nullptr;
        GVariant* reply =
            g_dbus_connection_call_sync(bus, portalName, portalPath, screenCastInterface, method, parameters,
                                        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, callTimeoutMs, nullptr, &error);
        if (reply) g_variant_unref(reply);
        bool timedOut = false;
        GSource* timer = g_timeout_source_new(timeoutMs);
        g_source_set_callback(timer, onTimeout, &timedOut, nullptr);
        g_source_attach(timer, context);
        while (reply && !answer.done && !timedOut && !portalGone) g_main_context_iteration(context, TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
        g_dbus_connection_signal_unsubscribe(bus, subscription);

        const std::string step = std::string("The desktop portal's screen cast (") + method + ")";
        if (!reply) throw ScreenCastFailed(step + " failed: " + takeMessage(error));
        if (!answer.done) throw ScreenCastFailed(step + (portalGone ? " left the session bus" : " did not answer"));
        if (answer.code == responseCancelled) {
            g_variant_unref(answer.results);
            throw ScreenCastRefused();
        }
        if (answer.code != 0) {
            g_variant_unref(answer.results);
            throw ScreenCastFailed(step + " failed (response " + std::to_string(answer.code) + ")");
        }
        return answer.results;
    }

    static void onOwnerChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant* parameters, gpointer data) {
        const char* newOwner = nullptr;
        g_variant_get(parameters, "(&s&s&s)", nullptr, nullptr, &newOwner);
        if (newOwner && *newOwner) return;
        auto* self = static_cast<Loop*>(data);
        self->portalGone = true;
        self->end("The desktop portal left the session");
    }

    static void onClosed(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant*,
                         gpointer data) {
        static_cast<Loop*>(data)->end("The desktop portal closed the screen cast");
    }

    void handshake(const ScreenCastRequest& request) {
        bus = sessionBus();
        ownerSubscription = g_dbus_connection_signal_subscribe(
            bus, "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged", "/org/freedesktop/DBus",
            portalName, G_DBUS_SIGNAL_FLAGS_NONE, onOwnerChanged, this, nullptr);
        GError* error = nullptr;
        const auto version = portalProperty(bus, "version", &error);
        if (!version) throw ScreenCastFailed("No desktop portal for screen casts answers: " + takeMessage(error));

        GVariantBuilder options;
        std::string token = nextToken();
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
        g_variant_builder_add(&options, "{sv}", "session_handle_token", g_variant_new_string(nextToken().c_str()));
        GVariant* results = call("CreateSession", g_variant_new("(a{sv})", &options), token, stepTimeoutMs);
        const char* handle = nullptr;
        if (g_variant_lookup(results, "session_handle", "&s", &handle) ||
            g_variant_lookup(results, "session_handle", "&o", &handle)) {
            sessionHandle = handle;
        }
        g_variant_unref(results);
        if (sessionHandle.empty()) throw ScreenCastFailed("The desktop portal made a screen cast without a session");
        closedSubscription = g_dbus_connection_signal_subscribe(bus, portalName, "org.freedesktop.portal.Session",
                                                                "Closed", sessionHandle.c_str(), nullptr,
                                                                G_DBUS_SIGNAL_FLAGS_NONE, onClosed, this, nullptr);

        token = nextToken();
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
        g_variant_builder_add(&options, "{sv}", "types",
                              g_variant_new_uint32(static_cast<std::uint32_t>(request.sourceType)));
        g_variant_builder_add(&options, "{sv}", "multiple", g_variant_new_boolean(FALSE));
        const auto cursorModes = *version >= 2 ? portalProperty(bus, "AvailableCursorModes", nullptr) : std::nullopt;
        if (cursorModes && (*cursorModes & cursorModeHidden)) {
            g_variant_builder_add(&options, "{sv}", "cursor_mode", g_variant_new_uint32(cursorModeHidden));
        }
        if (*version >= 4 && request.persist) {
            g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(persistUntilRevoked));
            if (request.restoreToken) {
                g_variant_builder_add(&options, "{sv}", "restore_token",
                                      g_variant_new_string(request.restoreToken->c_str()));
            }
        }
        g_variant_unref(call("SelectSources", g_variant_new("(oa{sv})", sessionHandle.c_str(), &options), token,
                             stepTimeoutMs));

        token = nextToken();
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
        results = call("Start", g_variant_new("(osa{sv})", sessionHandle.c_str(), "", &options), token,
                       chooserTimeoutMs);
        streams = parseStreams(results);
        const char* restore = nullptr;
        if (g_variant_lookup(results, "restore_token", "&s", &restore)) restoreToken = restore;
        g_variant_unref(results);
        if (streams.empty()) throw ScreenCastFailed("The desktop portal started a screen cast without a stream");

        openRemote();
    }

    void openRemote() {
        GVariantBuilder options;
        g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
        GUnixFDList* fds = nullptr;
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
            bus, portalName, portalPath, screenCastInterface, "OpenPipeWireRemote",
            g_variant_new("(oa{sv})", sessionHandle.c_str(), &options), G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE,
            callTimeoutMs, nullptr, &fds, nullptr, &error);
        if (!reply) throw ScreenCastFailed("The desktop portal gave no PipeWire remote: " + takeMessage(error));
        gint32 index = 0;
        g_variant_get(reply, "(h)", &index);
        g_variant_unref(reply);
        pipewireFd = fds ? g_unix_fd_list_get(fds, index, &error) : -1;
        if (fds) g_object_unref(fds);
        if (pipewireFd < 0) throw ScreenCastFailed("The desktop portal's PipeWire remote is unusable: " + takeMessage(error));
    }
};

ScreenCastSession::ScreenCastSession(const ScreenCastRequest& request, std::function<void(const std::string&)> onEnded)
    : loop_(std::make_unique<Loop>()) {
    loop_->onEnded = std::move(onEnded);
    std::promise<void> ready;
    auto outcome = ready.get_future();
    loop_->thread = std::thread([this, request, &ready] { loop_->run(request, ready); });
    try {
        outcome.get();
    } catch (...) {
        loop_->thread.join();
        throw;
    }
}

ScreenCastSession::~ScreenCastSession() {
    g_main_context_invoke(
        loop_->context,
        [](gpointer data) {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return G_SOURCE_REMOVE;
        },
        loop_->mainLoop);
    loop_->thread.join();
}

const std::vector<PortalStream>& ScreenCastSession::streams() const { return loop_->streams; }

const std::optional<std::string>& ScreenCastSession::restoreToken() const { return loop_->restoreToken; }

int ScreenCastSession::takePipeWireFd() { return std::exchange(loop_->pipewireFd, -1); }

bool screenCastPortalReachable() {
    try {
        GDBusConnection* bus = sessionBus();
        const bool answers = portalProperty(bus, "version", nullptr).has_value();
        g_object_unref(bus);
        return answers;
    } catch (const ScreenCastFailed&) {
        return false;
    }
}

}  // namespace kelvane::platform::pipewire
