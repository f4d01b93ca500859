#pragma once
// A file on disk that this backend created itself, never one that existed before, with an
// AVIOContext over its descriptor so libavformat muxes into it, and direct reads and writes
// at given offsets for the boxes this backend edits in place.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"

namespace kelvane::platform::ffmpeg {

class MediaFile {
public:
    // Creates `path`; throws FfmpegError naming the path when something is already there
    // or it cannot be created. An existing file is left untouched.
    static std::unique_ptr<MediaFile> createExclusive(const std::string& path);

    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;
    ~MediaFile();

    const std::string& path() const { return path_; }

    // The writing context (seekable), made on first use.
    AVIOContext* output();
    // How far the writing context has written into the file (its highest position).
    std::int64_t writtenEnd() const { return writtenEnd_; }

    // `size` bytes from `offset`; throws FfmpegError when they cannot all be read.
    std::vector<std::uint8_t> readAt(std::int64_t offset, std::size_t size) const;
    // Writes `bytes` at `offset`, past the writing context; throws FfmpegError.
    void writeAt(std::int64_t offset, std::span<const std::uint8_t> bytes);
    // The file's size on disk; throws FfmpegError.
    std::int64_t size() const;

    // From now on, a thread of its own forces written data to the disk every `interval`,
    // so a power loss costs only the last seconds of a recording and no writer ever waits
    // for the disk.
    void keepSyncing(std::chrono::milliseconds interval);
    // Flushes the writing context and forces everything to the disk; throws FfmpegError.
    void syncToDisk();

private:
    MediaFile(int fd, std::string path);

    static int writePacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t seekOutput(void* opaque, std::int64_t offset, int whence);
    std::int64_t seekTo(std::int64_t& position, std::int64_t offset, int whence) const;
    void freeContext(AVIOContext*& context);

    int fd_;
    std::string path_;
    AVIOContext* output_ = nullptr;
    std::int64_t writePosition_ = 0;
    std::int64_t writtenEnd_ = 0;
    std::mutex syncMutex_;
    std::condition_variable_any syncWake_;
    std::jthread syncer_;
};

}  // namespace kelvane::platform::ffmpeg
