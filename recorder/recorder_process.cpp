#include "recorder/recorder_process.h"

#include <csignal>
#include <future>
#include <optional>
#include <string>

#include "common/unicode_text.h"
#include "recorder/capture_config.h"
#include "recorder/recorder_service.h"

namespace kelvane::recorder {
namespace {

bool microphoneWanted(const std::string& configJSON) {
    if (!common::isValidUtf8(configJSON)) return false;
    try {
        return decodeCaptureConfig(configJSON).capturesMicrophone.value_or(false);
    } catch (const CaptureConfigError&) {
        // Reported by the start, which decodes again.
        return false;
    }
}

bool microphoneAccessGranted(platform::Permissions& permissions) {
    using platform::MicrophoneAuthorization;
    switch (permissions.microphoneAuthorizationStatus()) {
        case MicrophoneAuthorization::authorized:
            return true;
        case MicrophoneAuthorization::notDetermined: {
            std::promise<void> answered;
            permissions.requestMicrophoneAccess([&answered](bool) { answered.set_value(); });
            answered.get_future().wait();
            return permissions.microphoneAuthorizationStatus() == MicrophoneAuthorization::authorized;
        }
        default:
            return false;
    }
}

std::string lowerCased(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The threads and the service live until the process ends; they are never torn down
// because the stdin reader may still be blocked in read() when the process exits.
struct Runtime {
    explicit Runtime(RecorderPlatform platform)
        : pool(2), service(std::move(platform), pool.get_executor()), signals(pool, SIGTERM, SIGINT, SIGHUP) {}

    asio::thread_pool pool;
    RecorderService service;
    asio::signal_set signals;
};

void readCommands(RecorderService& service, common::LineReader& reader) {
    while (const auto line = reader.next()) {
        const std::string command = lowerCased(*line);
        if (command == "pause") {
            service.pause();
        } else if (command == "resume") {
            service.resume();
        } else if (command == "stop") {
            service.stop();
            return;
        }
    }
}

}  // namespace

int runRecorder(std::span<const char* const> arguments, RecorderPlatform platform,
                const common::ProgramDescriptors& descriptors) {
    if (arguments.size() < 2) {
        descriptors.writeErrorLine("Missing config JSON");
        return 1;
    }
    if (!platform.permissions->preflightScreenCaptureAccess() && !platform.permissions->requestScreenCaptureAccess()) {
        descriptors.writeErrorLine("SCREEN_RECORDING_PERMISSION_DENIED");
        return 1;
    }
    const std::string configJSON = arguments[1];
    if (microphoneWanted(configJSON) && !microphoneAccessGranted(*platform.permissions)) {
        descriptors.writeErrorLine("MICROPHONE_PERMISSION_DENIED");
        return 1;
    }

    auto* runtime = new Runtime(std::move(platform));
    RecorderService& service = runtime->service;
    // A host that ends the recorder with a signal still gets a finished file: the signal
    // is handled as "stop". The signals get their default action back at once, so a
    // second one ends a finishing that takes too long; the movie file is readable up to
    // its last fragment whenever the process ends.
    runtime->signals.async_wait([runtime](const asio::error_code& error, int) {
        if (error) return;
        asio::error_code ignored;
        runtime->signals.clear(ignored);
        runtime->service.stopOnSignal();
    });
    service.start(configJSON);
    common::readInputDetached(descriptors.input,
                              [&service](common::LineReader& reader) { readCommands(service, reader); });
    service.waitUntilFinished();
    // Declining when the system asks at the start is the same refusal as having no access.
    return service.screenAccessDeclined() ? 1 : 0;
}

}  // namespace kelvane::recorder
