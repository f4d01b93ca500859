#pragma once
// Fakes of the small platform services the recorder asks at start-up: permissions,
// display geometry, microphones, the host clock and a shareable-content source whose
// answer can change while other threads query it.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/audio_devices.h"
#include "platform/display_mode.h"
#include "platform/host_clock.h"
#include "platform/permissions.h"
#include "platform/shareable_content.h"

namespace kelvane::testing {

class FakePermissions final : public platform::Permissions {
public:
    bool preflightAnswer = true;
    bool requestAnswer = true;
    platform::MicrophoneAuthorization microphoneStatus = platform::MicrophoneAuthorization::authorized;
    // The status the microphone prompt leaves behind.
    platform::MicrophoneAuthorization statusAfterPrompt = platform::MicrophoneAuthorization::authorized;
    int screenRequests = 0;
    int microphoneRequests = 0;

    bool preflightScreenCaptureAccess() override { return preflightAnswer; }
    bool requestScreenCaptureAccess() override {
        ++screenRequests;
        return requestAnswer;
    }
    platform::MicrophoneAuthorization microphoneAuthorizationStatus() override { return microphoneStatus; }
    void requestMicrophoneAccess(std::function<void(bool)> completion) override {
        ++microphoneRequests;
        microphoneStatus = statusAfterPrompt;
        completion(statusAfterPrompt == platform::MicrophoneAuthorization::authorized);
    }
};

class FakeDisplayModes final : public platform::DisplayModes {
public:
    std::uint32_t mainDisplay = 1;
    std::map<std::uint32_t, platform::Rect> bounds;
    std::map<std::uint32_t, platform::DisplayMode> modes;

    std::uint32_t mainDisplayID() override { return mainDisplay; }
    platform::Rect displayBounds(std::uint32_t id) override { return bounds.count(id) ? bounds[id] : platform::Rect{}; }
    std::optional<platform::DisplayMode> currentMode(std::uint32_t id) override {
        if (!modes.count(id)) return std::nullopt;
        return modes[id];
    }
};

class FakeAudioDevices final : public platform::AudioDevices {
public:
    std::vector<platform::AudioInputDevice> devices;
    std::vector<platform::AudioInputDevice> audioInputDevices() override { return devices; }
};

// Reads whatever the test set last; thread-safe.
class FakeHostClock final : public platform::HostClock {
public:
    void set(platform::MediaTime time) {
        std::lock_guard lock(mutex_);
        now_ = time;
    }
    platform::MediaTime now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

private:
    mutable std::mutex mutex_;
    platform::MediaTime now_ = platform::MediaTime::make(1, 1);
};

// Answers every query with the current answer; safe to change while others query.
class FakeLiveShareableContent final : public platform::ShareableContent {
public:
    struct Query {
        bool excludingDesktopWindows;
        bool onScreenWindowsOnly;
    };

    void setAnswer(platform::ShareableContentResult answer) {
        std::lock_guard lock(mutex_);
        answer_ = std::move(answer);
    }
    void getShareableContent(bool excludingDesktopWindows, bool onScreenWindowsOnly,
                             platform::ShareableContentHandler completion) override {
        std::optional<platform::ShareableContentResult> answer;
        {
            std::lock_guard lock(mutex_);
            queries_.push_back(Query{excludingDesktopWindows, onScreenWindowsOnly});
            answer = answer_;
        }
        completion(std::move(*answer));
    }
    std::vector<Query> queries() const {
        std::lock_guard lock(mutex_);
        return queries_;
    }

private:
    mutable std::mutex mutex_;
    platform::ShareableContentResult answer_ = platform::ShareableContentSnapshot{};
    std::vector<Query> queries_;
};

}  // namespace kelvane::testing
