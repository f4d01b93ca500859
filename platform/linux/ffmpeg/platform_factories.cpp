// The factories of the media writer and the settings assistant. Without an H.264 encoder
// in this FFmpeg there is no assistant.

#include "platform/linux/ffmpeg/ffmpeg_log.h"
#include "platform/linux/ffmpeg/ffmpeg_media_writer.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"
#include "platform/media_writer.h"

namespace kelvane::platform {
namespace {

class FfmpegOutputSettingsAssistant final : public OutputSettingsAssistant {
public:
    void setSourceVideoFormat(const VideoFormatDescription& format) override { source_ = format; }

    std::optional<VideoOutputSettings> videoSettings() const override {
        if (!source_) return ffmpeg::proposeVideoSettings(presetWidth, presetHeight);
        if (source_->codec != VideoCodec::h264) return std::nullopt;
        return ffmpeg::proposeVideoSettings(source_->width, source_->height);
    }

private:
    static constexpr int presetWidth = 3840;
    static constexpr int presetHeight = 2160;
    std::optional<VideoFormatDescription> source_;
};

}  // namespace

std::unique_ptr<OutputSettingsAssistant> makeOutputSettingsAssistant(OutputSettingsPreset) {
    ffmpeg::quietFfmpegLog();
    if (avcodec_find_encoder_by_name(ffmpeg::h264EncoderName) == nullptr) return nullptr;
    return std::make_unique<FfmpegOutputSettingsAssistant>();
}

std::unique_ptr<MediaWriter> makeMediaWriter(const std::string& path, MediaFileType fileType) {
    ffmpeg::quietFfmpegLog();
    return std::make_unique<ffmpeg::FfmpegMediaWriter>(path, fileType);
}

}  // namespace kelvane::platform
