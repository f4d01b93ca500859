#pragma once
// Media writers for tests: record every call, keep appended buffers in memory, and can
// be told to refuse inputs, fail to start, report a failure or hold their finish.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media_writer.h"

namespace kelvane::testing {

class FakeWriterInput final : public platform::MediaWriterInput {
public:
    explicit FakeWriterInput(platform::OutputSettings outputSettings) : settings(std::move(outputSettings)) {}

    const platform::OutputSettings settings;
    std::atomic<bool> ready{true};
    std::atomic<bool> accepts{true};

    platform::MediaType mediaType() const override {
        return std::holds_alternative<platform::VideoOutputSettings>(settings) ? platform::MediaType::video
                                                                              : platform::MediaType::audio;
    }
    bool isReadyForMoreMediaData() const override { return ready; }
    bool append(const platform::SampleBuffer& buffer) override {
        std::lock_guard lock(mutex_);
        offered_.push_back(buffer);
        if (accepts) appended_.push_back(buffer);
        return accepts;
    }
    void markAsFinished() override { finished_ = true; }

    // Every buffer handed to append, accepted or not, and the accepted ones.
    std::vector<platform::SampleBuffer> offered() const {
        std::lock_guard lock(mutex_);
        return offered_;
    }
    std::vector<platform::SampleBuffer> appended() const {
        std::lock_guard lock(mutex_);
        return appended_;
    }
    bool finished() const { return finished_; }
    std::int64_t bitRate() const { return std::get<platform::AudioOutputSettings>(settings).bitRate; }

private:
    mutable std::mutex mutex_;
    std::vector<platform::SampleBuffer> offered_;
    std::vector<platform::SampleBuffer> appended_;
    std::atomic<bool> finished_{false};
};

// Shared by every writer of one factory, so tests can check the order of calls across files.
struct WriterEventLog {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(std::string event) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
};

class FakeMediaWriter final : public platform::MediaWriter {
public:
    FakeMediaWriter(std::string path, platform::MediaFileType type, std::shared_ptr<WriterEventLog> log)
        : path_(std::move(path)), type_(type), log_(std::move(log)) {}

    bool refuseInputs = false;
    bool startSucceeds = true;
    std::optional<std::string> errorText;
    bool failOnFinish = false;

    const std::string& path() const override { return path_; }
    platform::MediaFileType fileType() const override { return type_; }
    std::shared_ptr<platform::MediaWriterInput> makeInput(const platform::OutputSettings& settings,
                                                          bool realTime) override {
        expectsRealTime = expectsRealTime && realTime;
        return std::make_shared<FakeWriterInput>(settings);
    }
    bool canAdd(const platform::MediaWriterInput&) const override { return !refuseInputs; }
    void add(std::shared_ptr<platform::MediaWriterInput> input) override {
        std::lock_guard lock(mutex_);
        inputs_.push_back(std::static_pointer_cast<FakeWriterInput>(input));
    }
    bool startWriting() override {
        log_->add("startWriting " + path_);
        if (startSucceeds) status_ = platform::MediaWriterStatus::writing;
        return startSucceeds;
    }
    void startSession(platform::MediaTime time) override {
        std::lock_guard lock(mutex_);
        sessionStart_ = time;
    }
    void endSession(platform::MediaTime time) override {
        std::lock_guard lock(mutex_);
        sessionEnd_ = time;
    }
    void finishWriting(std::function<void()> completion) override {
        log_->add("finishWriting " + path_);
        if (failOnFinish) {
            status_ = platform::MediaWriterStatus::failed;
            std::lock_guard lock(mutex_);
            errorText = "Disk full while writing " + path_;
        } else {
            status_ = platform::MediaWriterStatus::completed;
        }
        completion();
    }
    platform::MediaWriterStatus status() const override { return status_; }
    std::optional<std::string> error() const override {
        std::lock_guard lock(mutex_);
        return errorText;
    }

    std::vector<std::shared_ptr<FakeWriterInput>> inputs() const {
        std::lock_guard lock(mutex_);
        return inputs_;
    }
    std::shared_ptr<FakeWriterInput> input(platform::MediaType type) const {
        for (const auto& input : inputs()) {
            if (input->mediaType() == type) return input;
        }
        return nullptr;
    }
    std::optional<platform::MediaTime> sessionStart() const {
        std::lock_guard lock(mutex_);
        return sessionStart_;
    }
    std::optional<platform::MediaTime> sessionEnd() const {
        std::lock_guard lock(mutex_);
        return sessionEnd_;
    }
    bool expectsRealTime = true;

private:
    mutable std::mutex mutex_;
    std::string path_;
    platform::MediaFileType type_;
    std::shared_ptr<WriterEventLog> log_;
    std::vector<std::shared_ptr<FakeWriterInput>> inputs_;
    std::atomic<platform::MediaWriterStatus> status_{platform::MediaWriterStatus::unknown};
    std::optional<platform::MediaTime> sessionStart_;
    std::optional<platform::MediaTime> sessionEnd_;
};

// Makes writers and keeps them by path; `configure` runs on each new writer.
class FakeWriterFactory {
public:
    std::shared_ptr<WriterEventLog> log = std::make_shared<WriterEventLog>();
    std::function<void(FakeMediaWriter&)> configure;
    // Paths whose writer cannot be created.
    std::map<std::string, std::string> creationErrors;

    std::unique_ptr<platform::MediaWriter> make(const std::string& path, platform::MediaFileType type) {
        if (creationErrors.count(path)) throw platform::MediaWriterError(creationErrors.at(path));
        auto writer = std::make_shared<FakeMediaWriter>(path, type, log);
        if (configure) configure(*writer);
        {
            std::lock_guard lock(mutex_);
            writers_.push_back(writer);
        }
        return std::make_unique<Forwarder>(writer);
    }

    std::shared_ptr<FakeMediaWriter> writer(const std::string& path) const {
        std::lock_guard lock(mutex_);
        for (auto it = writers_.rbegin(); it != writers_.rend(); ++it) {
            if ((*it)->path() == path) return *it;
        }
        return nullptr;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return writers_.size();
    }

private:
    // The recorder owns its writer; the test keeps the fake to inspect it afterwards.
    class Forwarder final : public platform::MediaWriter {
    public:
        explicit Forwarder(std::shared_ptr<FakeMediaWriter> writer) : w_(std::move(writer)) {}
        const std::string& path() const override { return w_->path(); }
        platform::MediaFileType fileType() const override { return w_->fileType(); }
        std::shared_ptr<platform::MediaWriterInput> makeInput(const platform::OutputSettings& s, bool r) override {
            return w_->makeInput(s, r);
        }
        bool canAdd(const platform::MediaWriterInput& input) const override { return w_->canAdd(input); }
        void add(std::shared_ptr<platform::MediaWriterInput> input) override { w_->add(std::move(input)); }
        bool startWriting() override { return w_->startWriting(); }
        void startSession(platform::MediaTime t) override { w_->startSession(t); }
        void endSession(platform::MediaTime t) override { w_->endSession(t); }
        void finishWriting(std::function<void()> completion) override { w_->finishWriting(std::move(completion)); }
        platform::MediaWriterStatus status() const override { return w_->status(); }
        std::optional<std::string> error() const override { return w_->error(); }

    private:
        std::shared_ptr<FakeMediaWriter> w_;
    };

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeMediaWriter>> writers_;
};

class FakeSettingsAssistant final : public platform::OutputSettingsAssistant {
public:
    explicit FakeSettingsAssistant(bool hasSettings) : hasSettings_(hasSettings) {}
    void setSourceVideoFormat(const platform::VideoFormatDescription& format) override { source_ = format; }
    std::optional<platform::VideoOutputSettings> videoSettings() const override {
        if (!hasSettings_ || !source_) return std::nullopt;
        // A 3840 x 2160 preset proposes its own size; the recorder must replace it.
        return platform::VideoOutputSettings{platform::VideoCodec::h264, 3840, 2160, 12'000'000, 120, "High"};
    }

private:
    bool hasSettings_;
    std::optional<platform::VideoFormatDescription> source_;
};

}  // namespace kelvane::testing
