// Placeholder until the X11 capture stream exists: a stream can be configured but never
// starts, so a recording fails at start with a clear error instead of writing nothing.
#include "platform/capture_stream.h"

namespace kelvane::platform {
namespace {

class UnavailableStream final : public CaptureStream {
public:
    void addStreamOutput(std::weak_ptr<CaptureStreamOutput>, StreamOutputType, SampleHandlerQueue) override {}
    void startCapture(StreamCompletion completion) override {
        completion(std::string("Screen capture is not available in this build"));
    }
    void stopCapture(StreamCompletion completion) override { completion(std::nullopt); }
};

class UnavailableStreams final : public CaptureStreams {
public:
    bool supportsMicrophoneCapture() const override { return false; }
    std::unique_ptr<CaptureStream> makeStream(const ContentFilter&, const StreamConfiguration&,
                                              std::weak_ptr<CaptureStreamDelegate>) override {
        return std::make_unique<UnavailableStream>();
    }
};

}  // namespace

std::unique_ptr<CaptureStreams> makeCaptureStreams() { return std::make_unique<UnavailableStreams>(); }

}  // namespace kelvane::platform
