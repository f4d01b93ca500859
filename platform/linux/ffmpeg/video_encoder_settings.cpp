#include "platform/linux/ffmpeg/video_encoder_settings.h"

#include <string>

#include "platform/linux/ffmpeg/encoder_effort.h"

namespace kelvane::platform::ffmpeg {
namespace {

// Screen recordings are mostly still text and interface with bursts of motion. These
// choices were measured with bench/writer (600 frames of 1920x1080 scrolling text at
// 60 fps, against `ffmpeg -c:v libx264 -preset veryfast` with its three B-frames, on two
// cores) and bench/recorder (live scenes against ffmpeg's x11grab). veryfast at CRF 31,
// tuned for zero latency, came to 1.09x the peer's size at an SSIM 0.004 below it for
// under half its CPU time; CRF 29 and 30 kept more detail (SSIM 0.0017 and 0.003 below)
// at 1.26x and 1.20x the size; superfast needed 1.2x to 1.7x the size for the same SSIM.
// Those figures are for veryfast's own motion search; the one used, and what it changed,
// is described in videoEncoderParameters.
// The encoder holds no frame back, so a frame reaches the file (and survives a crash) as
// soon as the next one shows how long it lasted, even when a still screen sends one
// frame a second.
constexpr const char* x264Preset = "veryfast";
constexpr const char* x264Tune = "zerolatency";
constexpr float constantRateFactor = 31;
// One thread encodes a 1080p screen at 60 fps with the cheapest search in about half a
// core; slices would cost a third more CPU on mostly still screens. Larger pictures get
// two slice threads so they keep up.
constexpr int singleThreadPixels = 1920 * 1200;
// No B-frames: packets leave the encoder in presentation order, so the last frame's
// duration, and with it the exact end of the track, can be set when the session ends.
constexpr int maxBFrames = 0;
// Nominal rate for rate control; frames still carry their own times (variable rate).
constexpr int nominalFrameRate = 60;
// Two seconds at the nominal rate; the encoder also forces one every two seconds of
// media time, for frames that arrive irregularly.
constexpr int keyFrameIntervalFrames = 120;
// Largest side x264 and common decoders handle comfortably.
constexpr int largestDimension = 8192;

const char* profileName(const std::string& profileLevel) {
    if (profileLevel.find("Baseline") != std::string::npos) return "baseline";
    if (profileLevel.find("Main") != std::string::npos) return "main";
    return "high";
}

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

x264_param_t videoEncoderParameters(const VideoOutputSettings& settings, AVRational timeBase) {
    x264_param_t parameters;
    if (x264_param_default_preset(&parameters, x264Preset, x264Tune) < 0) {
        throw FfmpegError("libx264 does not know its preset " + std::string(x264Preset));
    }
    parameters.i_log_level = X264_LOG_NONE;
    parameters.i_width = encodedDimension(settings.width);
    parameters.i_height = encodedDimension(settings.height);
    parameters.i_csp = X264_CSP_I420;
    const bool large = static_cast<long>(parameters.i_width) * parameters.i_height > singleThreadPixels;
    parameters.i_threads = large ? 2 : 1;
    parameters.b_sliced_threads = 1;
    // Each frame says which macroblocks are unchanged; those are coded as skipped.
    parameters.analyse.b_mb_info = 1;
    // Screen motion (scrolling, dragging) moves whole pixels, so the motion search stays on
    // them, with the diamond pattern. Without a sub-pixel search libx264 also leaves out
    // interpolating every reference frame at half-pixel positions, its largest fixed cost
    // on frames where little changed. The 8x8 partitions of moving blocks (see
    // applySearchEffort) win back more than the size the sub-pixel search saved. On
    // bench/writer at effort 0: veryfast's own search 0.59 of the peer's CPU, 1.09x its
    // size, SSIM 0.0041 below it; this one 0.43, 1.04x, 0.0045 below. On a 1080p screen
    // where only a word-sized strip changed the encoder works about 45 % less. Footage that
    // moves by fractions of a pixel (a video playing) comes out larger at the same quality:
    // 1.4x on ffmpeg's moving test pattern. This cannot change while encoding: libx264
    // does not turn a sub-pixel search back on.
    parameters.analyse.i_subpel_refine = 0;
    parameters.analyse.i_me_method = X264_ME_DIA;
    parameters.i_bframe = maxBFrames;
    parameters.i_keyint_max = settings.maxKeyFrameInterval > 0 ? settings.maxKeyFrameInterval : keyFrameIntervalFrames;
    parameters.i_fps_num = nominalFrameRate;
    parameters.i_fps_den = 1;
    parameters.i_timebase_num = static_cast<std::uint32_t>(timeBase.num);
    parameters.i_timebase_den = static_cast<std::uint32_t>(timeBase.den);
    // SPS and PPS once, in the file's track description.
    parameters.b_repeat_headers = 0;
    parameters.b_annexb = 1;
    parameters.vui.i_colorprim = 1;  // BT.709
    parameters.vui.i_transfer = 1;
    parameters.vui.i_colmatrix = 1;
    parameters.vui.b_fullrange = 0;
    if (settings.averageBitRate > 0) {
        parameters.rc.i_rc_method = X264_RC_ABR;
        parameters.rc.i_bitrate = static_cast<int>(settings.averageBitRate / 1000);
    } else {
        parameters.rc.i_rc_method = X264_RC_CRF;
        parameters.rc.f_rf_constant = constantRateFactor;
    }
    if (x264_param_apply_profile(&parameters, profileName(settings.profileLevel)) < 0) {
        throw FfmpegError("libx264 cannot encode " + std::to_string(parameters.i_width) + "x" +
                          std::to_string(parameters.i_height) + " in the " + profileName(settings.profileLevel) +
                          " profile");
    }
    return parameters;
}

void applySearchEffort(x264_param_t& parameters, int level) {
    // Level 0 tries 8x8 partitions for moving blocks and 8x8 and 4x4 intra blocks in
    // P-frames; level 1 leaves out the 4x4 intra blocks (about a tenth of the encoder's
    // time on screen content), the cheapest level all of them. CABAC, 8x8 transforms and
    // deblocking stay, since they decide the size far more than the time.
    if (level <= 0) {
        parameters.analyse.inter = X264_ANALYSE_I8x8 | X264_ANALYSE_I4x4 | X264_ANALYSE_PSUB16x16;
    } else if (level < EncoderEffort::fastestLevel) {
        parameters.analyse.inter = X264_ANALYSE_I8x8 | X264_ANALYSE_PSUB16x16;
    } else {
        parameters.analyse.inter = 0;
    }
}

void describeVideoStream(const x264_param_t& parameters, AVRational timeBase, AVCodecContext& description) {
    description.codec_type = AVMEDIA_TYPE_VIDEO;
    description.codec_id = AV_CODEC_ID_H264;
    description.width = parameters.i_width;
    description.height = parameters.i_height;
    description.pix_fmt = AV_PIX_FMT_YUV420P;
    description.time_base = timeBase;
    description.framerate = AVRational{parameters.i_fps_num > 0 ? static_cast<int>(parameters.i_fps_num) : 1,
                                       parameters.i_fps_den > 0 ? static_cast<int>(parameters.i_fps_den) : 1};
    description.color_range = AVCOL_RANGE_MPEG;
    description.colorspace = AVCOL_SPC_BT709;
    description.color_primaries = AVCOL_PRI_BT709;
    description.color_trc = AVCOL_TRC_BT709;
    description.has_b_frames = 0;
}

}  // namespace kelvane::platform::ffmpeg
