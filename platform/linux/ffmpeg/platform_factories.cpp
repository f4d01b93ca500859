// The factories of the media writer and the settings assistant.

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
    return std::make_unique<FfmpegOutputSettingsAssistant>();
}

std::unique_ptr<MediaWriter> makeMediaWriter(const std::string& path, MediaFileType fileType) {
    ffmpeg::quietFfmpegLog();
    return std::make_unique<ffmpeg::FfmpegMediaWriter>(path, fileType);
}

}  // namespace kelvane::platform
