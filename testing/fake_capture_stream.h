#pragma once
// A capture stream for tests: remembers its filter, configuration and outputs, delivers
// the samples a test hands it onto the registered queues, and completes start and stop
// either at once or when the test releases them.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture_stream.h"

namespace kelvane::testing {

class FakeCaptureStream final : public platform::CaptureStream {
public:
    struct Output {
        std::weak_ptr<platform::CaptureStreamOutput> output;
        platform::StreamOutputType type;
        platform::SampleHandlerQueue queue;
    };

    FakeCaptureStream(platform::ContentFilter streamFilter, platform::StreamConfiguration streamConfiguration,
                      std::weak_ptr<platform::CaptureStreamDelegate> streamDelegate)
        : filter(std::move(streamFilter)),
          configuration(std::move(streamConfiguration)),
          delegate(std::move(streamDelegate)) {}

    const platform::ContentFilter filter;
    const platform::StreamConfiguration configuration;
    const std::weak_ptr<platform::CaptureStreamDelegate> delegate;
    std::optional<std::string> startError;
    std::optional<std::string> addOutputError;
    // When set, startCapture and stopCapture wait for releaseStart() and releaseStop().
    bool holdStart = false;
    bool holdStop = false;

    void addStreamOutput(std::weak_ptr<platform::CaptureStreamOutput> output, platform::StreamOutputType type,
                         platform::SampleHandlerQueue queue) override {
        if (addOutputError) throw platform::CaptureStreamError(*addOutputError);
        std::lock_guard lock(mutex_);
        outputs_.push_back(Output{std::move(output), type, std::move(queue)});
    }
    void startCapture(platform::StreamCompletion completion) override {
        {
            std::lock_guard lock(mutex_);
            if (holdStart) {
                pendingStart_ = std::move(completion);
                return;
            }
            started_ = !startError;
        }
        completion(startError);
    }
    bool startHeld() const {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(pendingStart_);
    }
    void releaseStart() {
        platform::StreamCompletion completion;
        {
            std::lock_guard lock(mutex_);
            started_ = !startError;
            completion = std::move(pendingStart_);
        }
        if (completion) completion(startError);
    }
    void stopCapture(platform::StreamCompletion completion) override {
        std::unique_lock lock(mutex_);
        ++stopRequests_;
        if (holdStop) {
            pendingStop_ = std::move(completion);
            return;
        }
        stopped_ = true;
        lock.unlock();
        completion(std::nullopt);
    }
    void releaseStop(std::optional<std::string> error = std::nullopt) {
        platform::StreamCompletion completion;
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
            completion = std::move(pendingStop_);
        }
        if (completion) completion(std::move(error));
    }

    // Hands `buffer` to the output registered for `type`, on its queue; false when no
    // output of that type was registered or the stream has stopped.
    bool deliver(const platform::SampleBuffer& buffer, platform::StreamOutputType type) {
        std::lock_guard lock(mutex_);
        if (stopped_) return false;
        for (const auto& output : outputs_) {
            if (output.type != type) continue;
            output.queue([weak = output.output, buffer, type] {
                if (const auto target = weak.lock()) target->didOutputSampleBuffer(buffer, type);
            });
            return true;
        }
        return false;
    }
    std::vector<platform::StreamOutputType> outputTypes() const {
        std::lock_guard lock(mutex_);
        std::vector<platform::StreamOutputType> types;
        for (const auto& output : outputs_) types.push_back(output.type);
        return types;
    }
    bool started() const {
        std::lock_guard lock(mutex_);
        return started_;
    }
    int stopRequests() const {
        std::lock_guard lock(mutex_);
        return stopRequests_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Output> outputs_;
    bool started_ = false;
    bool stopped_ = false;
    int stopRequests_ = 0;
    platform::StreamCompletion pendingStart_;
    platform::StreamCompletion pendingStop_;
};

class FakeCaptureStreams final : public platform::CaptureStreams {
public:
    bool microphoneSupported = true;
    std::optional<std::string> nextStartError;
    std::optional<std::string> nextAddOutputError;
    bool holdStarts = false;
    bool holdStops = false;

    bool supportsMicrophoneCapture() const override { return microphoneSupported; }
    std::unique_ptr<platform::CaptureStream> makeStream(const platform::ContentFilter& filter,
                                                        const platform::StreamConfiguration& configuration,
                                                        std::weak_ptr<platform::CaptureStreamDelegate> delegate) override {
        auto stream = std::make_shared<FakeCaptureStream>(filter, configuration, std::move(delegate));
        stream->startError = nextStartError;
        stream->addOutputError = nextAddOutputError;
        stream->holdStart = holdStarts;
        stream->holdStop = holdStops;
        {
            std::lock_guard lock(mutex_);
            streams_.push_back(stream);
        }
        // The recorder owns what it is given; the test keeps its own reference.
        return std::make_unique<Forwarder>(stream);
    }

    std::shared_ptr<FakeCaptureStream> last() const {
        std::lock_guard lock(mutex_);
        return streams_.empty() ? nullptr : streams_.back();
    }

private:
    class Forwarder final : public platform::CaptureStream {
    public:
        explicit Forwarder(std::shared_ptr<FakeCaptureStream> stream) : stream_(std::move(stream)) {}
        void addStreamOutput(std::weak_ptr<platform::CaptureStreamOutput> output, platform::StreamOutputType type,
                             platform::SampleHandlerQueue queue) override {
            stream_->addStreamOutput(std::move(output), type, std::move(queue));
        }
        void startCapture(platform::StreamCompletion completion) override { stream_->startCapture(std::move(completion)); }
        void stopCapture(platform::StreamCompletion completion) override { stream_->stopCapture(std::move(completion)); }

    private:
        std::shared_ptr<FakeCaptureStream> stream_;
    };

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeCaptureStream>> streams_;
};

}  // namespace kelvane::testing
