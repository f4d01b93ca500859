#include "platform/linux/ffmpeg/video_encoder_settings.h"

extern "C" {
#include <libavutil/dict.h>
}

namespace kelvane::platform::ffmpeg {
namespace {

// Screen recordings are mostly still text and interface with bursts of motion. These
// choices were measured with bench/writer (600 frames of 1920x1080 scrolling text at
// 60 fps, against `ffmpeg -c:v libx264 -preset veryfast` with its three B-frames, on two
// cores): veryfast, tuned for zero latency, at CRF 29 on two slice threads took 0.74x the
// peer's CPU time for 1.08x its size at an SSIM 0.0024 below it, in 174 MiB, and kept up
// with 60 fps (8.3 s for 10 s). The encoder then holds no frame back, so a frame reaches
// the file (and survives a crash) as soon as the next one shows how long it lasted, even
// when a still screen sends one frame a second. The preset's own look-ahead and frame
// threads at CRF 25 gave the same size and SSIM at 0.73x to 0.80x the CPU time in
// 267 MiB, but held a dozen frames back; CRF 23 there gave 1.18x the size (no B-frames
// costs bits); superfast needed 1.2x to 1.7x the size for the same SSIM.
constexpr const char* x264Preset = "veryfast";
constexpr const char* constantRateFactor = "29";
// No look-ahead, slice threads instead of frame threads, rate control by the nominal
// frame rate rather than by the next frame's time: every frame leaves the encoder as it
// goes in.
constexpr const char* x264Tune = "zerolatency";
constexpr int encoderThreads = 2;
// No B-frames: packets leave the encoder in presentation order, so the last frame's
// duration, and with it the exact end of the track, can be set when the session ends.
constexpr int maxBFrames = 0;
// Nominal rate for rate control; frames still carry their own times (variable rate).
constexpr AVRational nominalFrameRate{60, 1};
// Two seconds at the nominal rate; the encoder also forces one every two seconds of
// media time, for frames that arrive irregularly.
constexpr int keyFrameIntervalFrames = 120;
// Largest side x264 and common decoders handle comfortably.
constexpr int largestDimension = 8192;

}  // namespace

int encodedDimension(int dimension) { return dimension & ~1; }

std::optional<VideoOutputSettings> proposeVideoSettings(int width, int height) {
    if (encodedDimension(width) < 2 || encodedDimension(height) < 2) return std::nullopt;
    if (width > largestDimension || height > largestDimension) return std::nullopt;
    VideoOutputSettings settings;
    settings.codec = VideoCodec::h264;
    settings.width = width;
    settings.height = height;
    settings.averageBitRate = 0;  // quality-based rate control
    settings.maxKeyFrameInterval = keyFrameIntervalFrames;
    settings.profileLevel = "H264_High_AutoLevel";
    return settings;
}

void configureVideoEncoder(const VideoOutputSettings& settings, AVCodecContext& context, AVDictionary** options) {
    context.width = encodedDimension(settings.width);
    context.height = encodedDimension(settings.height);
    context.pix_fmt = AV_PIX_FMT_YUV420P;
    context.framerate = nominalFrameRate;
    context.gop_size = settings.maxKeyFrameInterval > 0 ? settings.maxKeyFrameInterval : keyFrameIntervalFrames;
    context.max_b_frames = maxBFrames;
    context.thread_count = encoderThreads;
    context.thread_type = FF_THREAD_SLICE;
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    context.color_range = AVCOL_RANGE_MPEG;
    context.colorspace = AVCOL_SPC_BT709;
    context.color_primaries = AVCOL_PRI_BT709;
    context.color_trc = AVCOL_TRC_BT709;

    av_dict_set(options, "preset", x264Preset, 0);
    av_dict_set(options, "tune", x264Tune, 0);
    av_dict_set(options, "forced-idr", "1", 0);
    if (settings.profileLevel.find("Baseline") != std::string::npos) {
        av_dict_set(options, "profile", "baseline", 0);
    } else if (settings.profileLevel.find("Main") != std::string::npos) {
        av_dict_set(options, "profile", "main", 0);
    } else {
        av_dict_set(options, "profile", "high", 0);
    }
    if (settings.averageBitRate > 0) {
        context.bit_rate = settings.averageBitRate;
    } else {
        av_dict_set(options, "crf", constantRateFactor, 0);
    }
}

}  // namespace kelvane::platform::ffmpeg
