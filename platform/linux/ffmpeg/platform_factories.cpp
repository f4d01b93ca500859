// The factories of the media writer and the settings assistant.

#include "platform/linux/ffmpeg/ffmpeg_log.h"
#include "platform/linux/ffmpeg/ffmpeg_media_writer.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"
#include "platform/linux/result_of.h"
#include "platform/media_writer.h"

namespace kelvane::platform {
namespace {

class FfmpegOutputSettingsAssistant final : public OutputSettingsAssistant {
public:
    void setSourceVideoFormat(const VideoFormatDescription& format) override { source_ = format; }

    Result<VideoOutputSettings> videoSettings() const override {
        if (source_ && source_->codec != VideoCodec::h264) return Error{"Only H.264 settings can be proposed"};
        auto settings = source_ ? ffmpeg::proposeVideoSettings(source_->width, source_->height)
                                : ffmpeg::proposeVideoSettings(presetWidth, presetHeight);
        if (!settings) return Error{"The encoder cannot take a picture of this size"};
        return std::move(*settings);
    }

private:
    static constexpr int presetWidth = 3840;
    static constexpr int presetHeight = 2160;
    std::optional<VideoFormatDescription> source_;
};

}  // namespace

Result<std::unique_ptr<OutputSettingsAssistant>> makeOutputSettingsAssistant(OutputSettingsPreset) {
    return std::make_unique<FfmpegOutputSettingsAssistant>();
}

Result<std::unique_ptr<MediaWriter>> makeMediaWriter(const std::string& path, MediaFileType fileType) {
    ffmpeg::quietFfmpegLog();
    return resultOf<ffmpeg::FfmpegError, std::unique_ptr<MediaWriter>>(
        [&] { return std::make_unique<ffmpeg::FfmpegMediaWriter>(path, fileType); });
}

}  // namespace kelvane::platform
