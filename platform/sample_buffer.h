#pragma once
// A captured media sample: an immutable, shared payload (one BGRA video frame or a block
// of interleaved float PCM) plus its own timing. Copies with new timing share the
// payload, so retiming a frame for a writer never copies pixels.
//
// Ownership: every copy of a buffer holds the payload; it is never changed while any
// copy exists. A producer may pass a recycler with a video frame: once the last copy is
// gone, the frame (pixels, serial and all) is handed to it to be filled again.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/media_time.h"

namespace kelvane::platform {

// A rectangle of a video frame, in pixels.
struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const FrameRect&, const FrameRect&) = default;
};

// The rectangles outside which a frame equals the earlier frame numbered `since`.
struct FrameChanges {
    std::uint64_t since = 0;
    std::vector<FrameRect> rects;
};

// Rows top to bottom, `stride` bytes per row (at least width * 4), pixels B, G, R, A.
struct VideoFrame {
    VideoFrame() = default;
    VideoFrame(int frameWidth, int frameHeight, int rowBytes, std::vector<std::uint8_t> bytes)
        : width(frameWidth), height(frameHeight), stride(rowBytes), pixels(std::move(bytes)) {}

    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> pixels;
    // Which picture this is, unique within the process; 0 when the producer does not say.
    std::uint64_t serial = 0;
    // What changed since the stream's previous frame; nothing when anything may have.
    std::optional<FrameChanges> changes;
};

// Interleaved 32-bit float samples: frames * channels values.
struct AudioPcm {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    std::size_t frameCount() const { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};

struct SampleTiming {
    MediaTime duration = MediaTime::invalid();
    MediaTime presentationTimeStamp = MediaTime::invalid();
    MediaTime decodeTimeStamp = MediaTime::invalid();
};

// What a capture stream says about one screen frame, under `frameStatusAttachmentKey`.
enum class FrameStatus : std::int64_t { complete = 0, idle = 1, blank = 2, suspended = 3, started = 4, stopped = 5 };
inline constexpr const char* frameStatusAttachmentKey = "status";

// Per-sample attachment dictionaries. Values keep the type the producer gave them, so a
// consumer can tell an integer status from anything else.
using AttachmentValue = std::variant<std::int64_t, double, std::string>;
using SampleAttachments = std::vector<std::map<std::string, AttachmentValue>>;

class SampleBuffer {
public:
    using Media = std::variant<VideoFrame, AudioPcm>;

    // An invalid, empty buffer.
    SampleBuffer() = default;

    static SampleBuffer video(VideoFrame frame, SampleTiming timing,
                              std::optional<SampleAttachments> attachments = std::nullopt) {
        return SampleBuffer(std::make_shared<const Payload>(Payload{std::move(frame), std::move(attachments)}), timing);
    }
    // Gives the frame to `recycle` once no copy of the buffer holds it any longer, from
    // whichever thread drops the last copy.
    using VideoRecycler = std::function<void(VideoFrame&&)>;
    static SampleBuffer video(VideoFrame frame, SampleTiming timing, std::optional<SampleAttachments> attachments,
                              VideoRecycler recycle) {
        auto* payload = new Payload{std::move(frame), std::move(attachments)};
        return SampleBuffer(std::shared_ptr<const Payload>(payload,
                                                           [recycle = std::move(recycle)](Payload* owned) {
                                                               if (recycle) recycle(std::move(std::get<VideoFrame>(owned->media)));
                                                               delete owned;
                                                           }),
                            timing);
    }
    static SampleBuffer audio(AudioPcm pcm, SampleTiming timing) {
        return SampleBuffer(std::make_shared<const Payload>(Payload{std::move(pcm), std::nullopt}), timing);
    }

    // False for an empty buffer and for one marked unusable by its producer.
    bool isValid() const { return payload_ != nullptr && !invalidated_; }
    SampleBuffer invalidated() const {
        SampleBuffer copy = *this;
        copy.invalidated_ = true;
        return copy;
    }

    const MediaTime& presentationTimeStamp() const { return timing_.presentationTimeStamp; }
    const MediaTime& duration() const { return timing_.duration; }
    const MediaTime& decodeTimeStamp() const { return timing_.decodeTimeStamp; }
    const SampleTiming& timing() const { return timing_; }

    // Nothing when the producer attached no array at all (never created on demand).
    const std::optional<SampleAttachments>& attachments() const {
        static const std::optional<SampleAttachments> none;
        return payload_ ? payload_->attachments : none;
    }

    const VideoFrame* videoFrame() const { return payload_ ? std::get_if<VideoFrame>(&payload_->media) : nullptr; }
    const AudioPcm* audioPcm() const { return payload_ ? std::get_if<AudioPcm>(&payload_->media) : nullptr; }
    // True when both buffers carry the very same payload (one is a retimed copy of the other).
    bool sharesPayloadWith(const SampleBuffer& other) const { return payload_ && payload_ == other.payload_; }

    // The same payload and attachments with only the new timing; nothing when this
    // buffer is not valid.
    std::optional<SampleBuffer> copyWithTiming(const SampleTiming& timing) const {
        if (!isValid()) return std::nullopt;
        return SampleBuffer(payload_, timing);
    }

private:
    struct Payload {
        Media media;
        std::optional<SampleAttachments> attachments;
    };

    SampleBuffer(std::shared_ptr<const Payload> payload, SampleTiming timing)
        : payload_(std::move(payload)), timing_(timing) {}

    std::shared_ptr<const Payload> payload_;
    SampleTiming timing_;
    bool invalidated_ = false;
};

}  // namespace kelvane::platform
