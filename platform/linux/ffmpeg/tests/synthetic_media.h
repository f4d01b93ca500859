#pragma once
// Synthetic frames and tones for writing real files in tests, a scratch folder, and a
// way to wait for a writer to finish.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/media_writer.h"
#include "platform/sample_buffer.h"

namespace kelvane::platform::ffmpeg::testing {

// A BGRA frame of `width` x `height` whose content depends on `index` (a moving bar over
// a gradient), shown at `time` for `duration`.
SampleBuffer videoSample(int width, int height, int index, MediaTime time,
                         MediaTime duration = MediaTime::make(1, 60));

// `frames` stereo float samples at 48000 Hz starting at `time`; sample i of the buffer
// has the value `wave(i)` on both channels.
SampleBuffer audioSample(MediaTime time, int frames, const std::function<float(int)>& wave);
// A quiet 440 Hz tone continuing from sample `firstSample` of the tone.
SampleBuffer toneSample(MediaTime time, int frames, std::int64_t firstSample);

// Calls finishWriting and waits for its completion (at most a minute): its outcome, or
// nothing on time-out.
std::optional<Result<void>> finishAndWait(MediaWriter& writer);

// A folder of its own under the system's temporary folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace kelvane::platform::ffmpeg::testing
