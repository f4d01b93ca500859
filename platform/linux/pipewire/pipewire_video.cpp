#include "platform/linux/pipewire/pipewire_video.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <vector>

#include "platform/linux/capture/capture_stream_error.h"

namespace kelvane::platform::pipewire {
namespace {

// Damage rectangles a buffer may carry; a compositor with more sends one around them.
constexpr int mostDamageRects = 16;
constexpr int largestSide = 16384;

}  // namespace

struct PipeWireVideo::Listeners {
    spa_hook core{};
    spa_hook stream{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};
};

PipeWireVideo::PipeWireVideo(int remoteFd, std::uint32_t nodeId, int framesPerSecond,
                             std::function<void(const VideoBuffer&)> onBuffer,
                             std::function<void(const std::string&)> onError)
    : onBuffer_(std::move(onBuffer)), onError_(std::move(onError)), listeners_(new Listeners) {
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("kelvane-screencast", nullptr);
    if (!loop_) {
        close(remoteFd);
        release();
        throw capture::CaptureStreamError("Cannot start PipeWire's thread");
    }
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) {
        close(remoteFd);
        release();
        throw capture::CaptureStreamError("Cannot start PipeWire");
    }
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect_fd(context_, remoteFd, nullptr, 0);
    if (!core_) {
        pw_thread_loop_unlock(loop_);
        release();
        throw capture::CaptureStreamError("Cannot connect to the screen cast's PipeWire remote");
    }
    listeners_->coreEvents.version = PW_VERSION_CORE_EVENTS;
    listeners_->coreEvents.error = [](void* self, std::uint32_t id, int, int, const char* message) {
        if (id == PW_ID_CORE) static_cast<PipeWireVideo*>(self)->fail(std::string("PipeWire: ") + message);
    };
    pw_core_add_listener(core_, &listeners_->core, &listeners_->coreEvents, this);

    stream_ = pw_stream_new(core_, "kelvane-screencast",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                              PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    listeners_->streamEvents.version = PW_VERSION_STREAM_EVENTS;
    listeners_->streamEvents.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char* error) {
        if (state == PW_STREAM_STATE_ERROR) {
            static_cast<PipeWireVideo*>(self)->fail(std::string("The screen cast stream failed: ") +
                                                     (error ? error : "unknown error"));
        } else if (state == PW_STREAM_STATE_UNCONNECTED) {
            static_cast<PipeWireVideo*>(self)->fail("The screen cast stream ended");
        }
    };
    listeners_->streamEvents.param_changed = [](void* self, std::uint32_t id, const spa_pod* param) {
        if (id == SPA_PARAM_Format && param) static_cast<PipeWireVideo*>(self)->formatChanged(param);
    };
    listeners_->streamEvents.process = [](void* self) { static_cast<PipeWireVideo*>(self)->process(); };
    pw_stream_add_listener(stream_, &listeners_->stream, &listeners_->streamEvents, this);

    std::uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const spa_rectangle defaultSize = SPA_RECTANGLE(1920, 1080);
    const spa_rectangle smallest = SPA_RECTANGLE(1, 1);
    const spa_rectangle largest = SPA_RECTANGLE(largestSide, largestSide);
    const spa_fraction anyRate = SPA_FRACTION(0, 1);
    const spa_fraction wantedRate = SPA_FRACTION(static_cast<std::uint32_t>(std::max(framesPerSecond, 1)), 1);
    const spa_fraction highestRate = SPA_FRACTION(1000, 1);
    const spa_pod* formats = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&anyRate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&wantedRate, &anyRate, &highestRate)));
    const int connected = pw_stream_connect(
        stream_, PW_DIRECTION_INPUT, nodeId,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &formats, 1);
    pw_thread_loop_unlock(loop_);
    if (connected < 0) {
        release();
        throw capture::CaptureStreamError("Cannot connect to the screen cast's PipeWire stream");
    }
}

PipeWireVideo::~PipeWireVideo() { release(); }

void PipeWireVideo::release() {
    if (loop_) {
        pw_thread_loop_lock(loop_);
        if (stream_) {
            spa_hook_remove(&listeners_->stream);
            pw_stream_destroy(stream_);
        }
        if (core_) {
            spa_hook_remove(&listeners_->core);
            pw_core_disconnect(core_);
        }
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        if (context_) pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }
    stream_ = nullptr;
    core_ = nullptr;
    context_ = nullptr;
    loop_ = nullptr;
    delete listeners_;
    listeners_ = nullptr;
}

void PipeWireVideo::fail(const std::string& description) {
    if (failed_) return;
    failed_ = true;
    onError_(description);
}

void PipeWireVideo::formatChanged(const spa_pod* format) {
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(format, &info) < 0) return;
    width_ = static_cast<int>(info.size.width);
    height_ = static_cast<int>(info.size.height);

    std::uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const spa_pod* params[3];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
        SPA_POD_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
        SPA_PARAM_META_size,
        SPA_POD_CHOICE_RANGE_Int(sizeof(spa_meta_region) * mostDamageRects, sizeof(spa_meta_region),
                                 sizeof(spa_meta_region) * mostDamageRects)));
    pw_stream_update_params(stream_, params, 3);
}

void PipeWireVideo::process() {
    // Only the newest picture is read, with what changed in it and in the pictures queued
    // before it, which go straight back.
    pw_buffer* newest = nullptr;
    std::vector<PixelRect> damage;
    bool wholeDamage = false;
    while (pw_buffer* next = pw_stream_dequeue_buffer(stream_)) {
        if (newest) pw_stream_queue_buffer(stream_, newest);
        newest = next;
        auto* regions = static_cast<spa_meta*>(spa_buffer_find_meta(next->buffer, SPA_META_VideoDamage));
        if (!regions) {
            wholeDamage = true;
            continue;
        }
        spa_meta_region* region = nullptr;
        spa_meta_for_each(region, regions) {
            if (!spa_meta_region_is_valid(region)) break;
            damage.push_back({region->region.position.x, region->region.position.y,
                              static_cast<int>(region->region.size.width),
                              static_cast<int>(region->region.size.height)});
        }
    }
    if (!newest) return;
    const spa_buffer* buffer = newest->buffer;
    if (buffer->n_datas == 0) {
        pw_stream_queue_buffer(stream_, newest);
        return;
    }
    const spa_data& data = buffer->datas[0];
    const bool mapped = (data.type == SPA_DATA_MemFd || data.type == SPA_DATA_MemPtr) && data.data && data.chunk;
    if (mapped && width_ > 0 && height_ > 0 && !(data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED)) {
        const int stride = data.chunk->stride > 0 ? data.chunk->stride : width_ * 4;
        // The rows must lie wholly inside the mapping, whatever the producer claims.
        const std::uint64_t needed = static_cast<std::uint64_t>(data.chunk->offset) +
                                     static_cast<std::uint64_t>(stride) * (height_ - 1) +
                                     static_cast<std::uint64_t>(width_) * 4;
        if (stride >= width_ * 4 && needed <= data.maxsize) {
            VideoBuffer view;
            view.pixels = {static_cast<const std::uint8_t*>(data.data) + data.chunk->offset, width_, height_, stride};
            if (!wholeDamage) view.damage = std::span<const PixelRect>(damage);
            const auto* header = static_cast<const spa_meta_header*>(
                spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)));
            if (header && header->pts > 0) view.presentedNs = header->pts;
            onBuffer_(view);
        }
    }
    pw_stream_queue_buffer(stream_, newest);
}

}  // namespace kelvane::platform::pipewire
