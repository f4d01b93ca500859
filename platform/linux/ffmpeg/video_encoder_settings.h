#pragma once
// The one place that says how screen video is encoded: what the settings assistant
// proposes for a capture size, and how those settings become libx264 options.
#include <optional>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/media_writer.h"

namespace kelvane::platform::ffmpeg {

using VideoEncoderSettings = VideoOutputSettings;

// The name of the H.264 encoder this backend uses.
inline constexpr const char* h264EncoderName = "libx264";

// The settings proposed for a source of `width` x `height` pixels; nothing when no H.264
// file of that size can be made.
std::optional<VideoOutputSettings> proposeVideoSettings(int width, int height);

// H.264 in 4:2:0 needs even dimensions: an odd last column or row is left out.
int encodedDimension(int dimension);

// Applies `settings` to an encoder context about to be opened, and the x264 options to
// `options`.
void configureVideoEncoder(const VideoOutputSettings& settings, AVCodecContext& context, AVDictionary** options);

}  // namespace kelvane::platform::ffmpeg
