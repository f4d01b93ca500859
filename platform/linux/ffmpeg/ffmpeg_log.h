#pragma once

namespace kelvane::platform::ffmpeg {

// Stops FFmpeg's own log lines (encoder banners, statistics): the programs' standard error
// belongs to their host. Failures reach the caller through the writer's error instead.
void quietFfmpegLog();

}  // namespace kelvane::platform::ffmpeg
