#pragma once
// The one place that says how screen video is encoded: what the settings assistant
// proposes for a capture size, how those settings become libx264 parameters, what each
// search effort changes, and how the stream is described to the muxer.
#include <optional>

extern "C" {
#include <stdint.h>
#include <x264.h>
}

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg {

using VideoEncoderSettings = VideoOutputSettings;

// The settings proposed for a source of `width` x `height` pixels; nothing when no H.264
// file of that size can be made.
std::optional<VideoOutputSettings> proposeVideoSettings(int width, int height);

// H.264 in 4:2:0 needs even dimensions: an odd last column or row is left out.
int encodedDimension(int dimension);

// libx264 parameters for `settings`, at search effort 0, with times in `timeBase`.
// Throws FfmpegError when libx264 refuses them.
x264_param_t videoEncoderParameters(const VideoOutputSettings& settings, AVRational timeBase);

// Sets the search options of `level` (0 the most thorough, EncoderEffort::fastestLevel
// the cheapest) in `parameters`; everything else stays.
void applySearchEffort(x264_param_t& parameters, int level);

// Describes the encoded stream in `description` for the muxer: size, pixel format,
// colours, profile, time base.
void describeVideoStream(const x264_param_t& parameters, AVRational timeBase, AVCodecContext& description);

}  // namespace kelvane::platform::ffmpeg
