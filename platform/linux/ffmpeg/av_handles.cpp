#include "platform/linux/ffmpeg/av_handles.h"

#include <stdexcept>

extern "C" {
#include <libavutil/error.h>
}

namespace kelvane::platform::ffmpeg {

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int checkAv(int code, const std::string& what) {
    if (code < 0) throw FfmpegError(what + ": " + avErrorText(code));
    return code;
}

}  // namespace kelvane::platform::ffmpeg
