#include "platform/linux/ffmpeg/packet_durations.h"

namespace kelvane::platform::ffmpeg {

PacketDurations::PacketDurations(PacketSink sink) : sink_(std::move(sink)), held_(av_packet_alloc()) {
    if (!held_) throw FfmpegError("Cannot hold video packets: out of memory");
}

void PacketDurations::push(const AVPacket& packet) {
    if (holding_) {
        held_->duration = packet.pts - held_->pts;
        sink_(*held_);
        av_packet_unref(held_.get());
        holding_ = false;
    }
    checkAv(av_packet_ref(held_.get(), &packet), "Cannot hold a video packet");
    holding_ = true;
}

void PacketDurations::finish(std::int64_t lastDuration) {
    if (!holding_) return;
    held_->duration = lastDuration;
    sink_(*held_);
    av_packet_unref(held_.get());
    holding_ = false;
}

}  // namespace kelvane::platform::ffmpeg
