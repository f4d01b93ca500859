#include "platform/linux/ffmpeg/media_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/mem.h>
}

namespace kelvane::platform::ffmpeg {
namespace {

constexpr int ioBufferSize = 64 * 1024;

FfmpegError fileError(const std::string& what, const std::string& path, int error) {
    return FfmpegError(what + " \"" + path + "\": " + std::strerror(error));
}

}  // namespace

MediaFile::MediaFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

MediaFile::~MediaFile() {
    if (syncer_.joinable()) {
        syncer_.request_stop();
        syncer_.join();
    }
    if (output_ != nullptr) avio_flush(output_);
    freeContext(output_);
    ::close(fd_);
}

std::unique_ptr<MediaFile> MediaFile::createExclusive(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST) throw FfmpegError("Cannot create media file \"" + path + "\": a file already exists there");
        throw fileError("Cannot create media file", path, error);
    }
    return std::unique_ptr<MediaFile>(new MediaFile(fd, path));
}

AVIOContext* MediaFile::output() {
    if (output_ == nullptr) {
        auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
        output_ = avio_alloc_context(buffer, ioBufferSize, 1, this, nullptr, &MediaFile::writePacket,
                                     &MediaFile::seekOutput);
        if (output_ == nullptr) {
            av_free(buffer);
            throw FfmpegError("Cannot set up writing to \"" + path_ + "\": out of memory");
        }
    }
    return output_;
}

std::vector<std::uint8_t> MediaFile::readAt(std::int64_t offset, std::size_t size) const {
    std::vector<std::uint8_t> bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, size - done, offset + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fileError("Cannot read", path_, errno);
        if (n == 0) throw FfmpegError("Cannot read \"" + path_ + "\": it ends early");
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

void MediaFile::writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, offset + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fileError("Cannot write", path_, errno);
        done += static_cast<std::size_t>(n);
    }
}

std::int64_t MediaFile::size() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) throw fileError("Cannot read", path_, errno);
    return status.st_size;
}

void MediaFile::keepSyncing(std::chrono::milliseconds interval) {
    syncer_ = std::jthread([this, interval](std::stop_token stop) {
        std::unique_lock lock(syncMutex_);
        while (!syncWake_.wait_for(lock, stop, interval, [] { return false; })) {
            if (stop.stop_requested()) return;
            ::fdatasync(fd_);
        }
    });
}

void MediaFile::syncToDisk() {
    if (output_ != nullptr) {
        avio_flush(output_);
        if (output_->error < 0) throw FfmpegError("Cannot write \"" + path_ + "\": " + avErrorText(output_->error));
    }
    if (::fsync(fd_) != 0) throw fileError("Cannot write", path_, errno);
}

int MediaFile::writePacket(void* opaque, std::uint8_t* data, int size) {
    auto& file = *static_cast<MediaFile*>(opaque);
    int written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(file.fd_, data + written, static_cast<std::size_t>(size - written),
                                   file.writePosition_);
        if (n < 0) {
            if (errno == EINTR) continue;
            return AVERROR(errno);
        }
        written += static_cast<int>(n);
        file.writePosition_ += n;
    }
    file.writtenEnd_ = std::max(file.writtenEnd_, file.writePosition_);
    return written;
}

std::int64_t MediaFile::seekOutput(void* opaque, std::int64_t offset, int whence) {
    auto& file = *static_cast<MediaFile*>(opaque);
    return file.seekTo(file.writePosition_, offset, whence);
}

std::int64_t MediaFile::seekTo(std::int64_t& position, std::int64_t offset, int whence) const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return AVERROR(errno);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return status.st_size;
    case SEEK_SET: break;
    case SEEK_CUR: offset += position; break;
    case SEEK_END: offset += status.st_size; break;
    default: return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    position = offset;
    return offset;
}

void MediaFile::freeContext(AVIOContext*& context) {
    if (context == nullptr) return;
    av_freep(&context->buffer);
    avio_context_free(&context);
}

}  // namespace kelvane::platform::ffmpeg
