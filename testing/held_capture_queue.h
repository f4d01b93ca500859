#pragma once
// What the capture-stream desktop tests hand a stream: a serial sample queue that runs
// nothing until told to, so a test decides when frames are taken, and a consumer that
// keeps every screen sample (and so holds its frame) and every error it is told of.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/capture_stream.h"

namespace kelvane::testing {

class HeldQueue {
public:
    platform::SampleHandlerQueue queue() {
        return [this](std::function<void()> work) {
            std::lock_guard lock(mutex_);
            work_.push_back(std::move(work));
        };
    }
    std::size_t size() {
        std::lock_guard lock(mutex_);
        return work_.size();
    }
    void runAll() {
        std::vector<std::function<void()>> work;
        {
            std::lock_guard lock(mutex_);
            work.swap(work_);
        }
        for (auto& item : work) item();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> work_;
};

// Samples arrive on the held queue's caller; errors on the stream's own thread.
struct ReceivedScreenSamples : platform::CaptureStreamOutput, platform::CaptureStreamDelegate {
    void didOutputSampleBuffer(const platform::SampleBuffer& buffer, platform::StreamOutputType type) override {
        EXPECT_EQ(type, platform::StreamOutputType::screen);
        samples.push_back(buffer);
    }
    void didStopWithError(const std::string& description) override {
        std::lock_guard lock(mutex);
        errors.push_back(description);
    }

    std::vector<platform::SampleBuffer> samples;
    std::mutex mutex;
    std::vector<std::string> errors;
};

}  // namespace kelvane::testing
