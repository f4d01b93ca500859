#include "platform/linux/ffmpeg/audio_encoder.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace kelvane::platform::ffmpeg {

AudioEncoder::AudioEncoder(std::int64_t bitRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) throw FfmpegError("This FFmpeg build has no AAC encoder");
    context_.reset(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!context_ || !frame_ || !packet_) throw FfmpegError("Cannot set up the AAC encoder: out of memory");

    context_->sample_rate = sampleRate;
    context_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context_->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
    context_->bit_rate = bitRate;
    context_->time_base = timeBase;
    context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    checkAv(avcodec_open2(context_.get(), codec, nullptr),
            "Cannot open the AAC encoder at " + std::to_string(bitRate) + " bit/s");

    frame_->format = context_->sample_fmt;
    frame_->sample_rate = sampleRate;
    checkAv(av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout), "Cannot set up audio frames");
    frame_->nb_samples = context_->frame_size;
    checkAv(av_frame_get_buffer(frame_.get(), 0), "Cannot allocate an audio frame");

    fifo_.reset(av_audio_fifo_alloc(context_->sample_fmt, channels, context_->frame_size * 4));
    if (!fifo_) throw FfmpegError("Cannot set up the AAC encoder: out of memory");
}

void AudioEncoder::prepareConverter(const AudioPcm& pcm) {
    if (converter_ && converterRate_ == pcm.sampleRate && converterChannels_ == pcm.channels) return;
    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, pcm.channels);
    SwrContext* converter = nullptr;
    const int result = swr_alloc_set_opts2(&converter, &context_->ch_layout, AV_SAMPLE_FMT_FLTP, sampleRate,
                                           &inputLayout, AV_SAMPLE_FMT_FLT, pcm.sampleRate, 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    checkAv(result, "Cannot convert audio of " + std::to_string(pcm.channels) + " channels at " +
                        std::to_string(pcm.sampleRate) + " Hz");
    converter_.reset(converter);
    checkAv(swr_init(converter_.get()), "Cannot convert audio at " + std::to_string(pcm.sampleRate) + " Hz");
    converterRate_ = pcm.sampleRate;
    converterChannels_ = pcm.channels;
}

void AudioEncoder::encode(const AudioPcm& pcm, std::int64_t start, const PacketSink& sink) {
    if (pcm.sampleRate <= 0 || pcm.channels <= 0) throw FfmpegError("Audio buffer without a sample rate or channels");
    const int inputFrames = static_cast<int>(pcm.frameCount());
    if (inputFrames == 0) return;
    prepareConverter(pcm);

    // A resampler holds some samples back; what comes out now started that much earlier.
    const std::int64_t held = swr_get_delay(converter_.get(), sampleRate);
    const int capacity = swr_get_out_samples(converter_.get(), inputFrames);
    checkAv(capacity, "Cannot convert audio");
    converted_.resize(channels);
    std::uint8_t* outputs[channels];
    for (int c = 0; c < channels; ++c) {
        converted_[c].resize(static_cast<std::size_t>(capacity));
        outputs[c] = reinterpret_cast<std::uint8_t*>(converted_[c].data());
    }
    const auto* input = reinterpret_cast<const std::uint8_t*>(pcm.samples.data());
    const int produced = checkAv(swr_convert(converter_.get(), outputs, capacity, &input, inputFrames),
                                 "Cannot convert audio");

    const AudioTimeline::Placement placement = timeline_.place(start - held, produced);
    writeSilence(placement.silence);
    if (placement.take > 0) {
        void* from[channels];
        for (int c = 0; c < channels; ++c) from[c] = converted_[c].data() + placement.skip;
        if (av_audio_fifo_write(fifo_.get(), from, static_cast<int>(placement.take)) < placement.take)
            throw FfmpegError("Cannot buffer audio: out of memory");
    }
    encodeWholeFrames(sink);
}

void AudioEncoder::writeSilence(std::int64_t samples) {
    static const std::vector<float> zeros(4096, 0.0f);
    void* from[channels];
    for (int c = 0; c < channels; ++c) from[c] = const_cast<float*>(zeros.data());
    while (samples > 0) {
        const int chunk = static_cast<int>(std::min<std::int64_t>(samples, static_cast<std::int64_t>(zeros.size())));
        if (av_audio_fifo_write(fifo_.get(), from, chunk) < chunk) throw FfmpegError("Cannot buffer audio: out of memory");
        samples -= chunk;
    }
}

void AudioEncoder::encodeWholeFrames(const PacketSink& sink) {
    while (av_audio_fifo_size(fifo_.get()) >= context_->frame_size) encodeFrame(context_->frame_size, sink);
}

void AudioEncoder::encodeFrame(int samples, const PacketSink& sink) {
    frame_->nb_samples = context_->frame_size;
    checkAv(av_frame_make_writable(frame_.get()), "Cannot write an audio frame");
    frame_->nb_samples = samples;
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), samples) < samples)
        throw FfmpegError("Cannot read buffered audio");
    frame_->pts = nextFramePts_;
    nextFramePts_ += samples;
    send(frame_.get(), sink);
}

void AudioEncoder::flush(const PacketSink& sink) {
    encodeWholeFrames(sink);
    const int rest = av_audio_fifo_size(fifo_.get());
    if (rest > 0) encodeFrame(rest, sink);
    send(nullptr, sink);
}

void AudioEncoder::send(AVFrame* frame, const PacketSink& sink) {
    checkAv(avcodec_send_frame(context_.get(), frame), "Cannot encode audio");
    for (;;) {
        const int result = avcodec_receive_packet(context_.get(), packet_.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        checkAv(result, "Cannot encode audio");
        sink(*packet_);
        av_packet_unref(packet_.get());
    }
}

}  // namespace kelvane::platform::ffmpeg
