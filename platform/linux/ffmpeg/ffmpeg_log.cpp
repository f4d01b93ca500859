#include "platform/linux/ffmpeg/ffmpeg_log.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace kelvane::platform::ffmpeg {

void quietFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace kelvane::platform::ffmpeg
