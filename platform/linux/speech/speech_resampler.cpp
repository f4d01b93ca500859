#include "platform/linux/speech/speech_resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <climits>

namespace kelvane::platform::speech {

SpeechResampler::~SpeechResampler() { swr_free(&context_); }

bool SpeechResampler::configure(const AudioFormat& format) {
    if (context_ && format.channelCount == format_.channelCount && format.sampleRate == format_.sampleRate)
        return true;
    swr_free(&context_);
    format_ = format;
    if (format.channelCount == 0 || format.channelCount > 64 || !(format.sampleRate >= 1) ||
        format.sampleRate > INT_MAX)
        return false;

    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, static_cast<int>(format.channelCount));
    AVChannelLayout monoLayout = AV_CHANNEL_LAYOUT_MONO;
    const int result = swr_alloc_set_opts2(&context_, &monoLayout, AV_SAMPLE_FMT_S16, decoderSampleRate,
                                           &inputLayout, AV_SAMPLE_FMT_FLT, static_cast<int>(format.sampleRate), 0,
                                           nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (result < 0 || swr_init(context_) < 0) {
        swr_free(&context_);
        return false;
    }
    return true;
}

void SpeechResampler::run(const std::uint8_t** input, int frames, std::vector<std::int16_t>& out) {
    const int room = swr_get_out_samples(context_, frames);
    if (room <= 0) return;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(room));
    auto* target = reinterpret_cast<std::uint8_t*>(out.data() + start);
    const int written = swr_convert(context_, &target, room, input, frames);
    out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
}

void SpeechResampler::convert(const AudioChunk& chunk, std::vector<std::int16_t>& out) {
    const bool formatChanged = context_ && (chunk.format.channelCount != format_.channelCount ||
                                            chunk.format.sampleRate != format_.sampleRate);
    if (formatChanged) flush(out);
    if (!configure(chunk.format)) return;
    const std::size_t frames = chunk.samples.size() / chunk.format.channelCount;
    if (frames == 0 || frames > INT_MAX) return;
    const auto* input = reinterpret_cast<const std::uint8_t*>(chunk.samples.data());
    run(&input, static_cast<int>(frames), out);
}

void SpeechResampler::flush(std::vector<std::int16_t>& out) {
    if (!context_) return;
    run(nullptr, 0, out);
}

}  // namespace kelvane::platform::speech
