#pragma once
// A file on disk that this backend created itself, never one that existed before, with
// AVIOContexts over its descriptor so libavformat muxes into it and demuxes from it.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/linux/ffmpeg/av_handles.h"

namespace kelvane::platform::ffmpeg {

class MediaFile {
public:
    // Creates `path`; throws FfmpegError naming the path when something is already there
    // or it cannot be created. An existing file is left untouched.
    static std::unique_ptr<MediaFile> createExclusive(const std::string& path);
    // Creates a new hidden file in the folder of `path`, for writing a replacement of it.
    static std::unique_ptr<MediaFile> createBeside(const std::string& path);

    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;
    ~MediaFile();

    const std::string& path() const { return path_; }

    // The writing context (seekable), made on first use.
    AVIOContext* output();
    // A fresh reading context positioned at the start of the file.
    AVIOContext* input();

    // From now on, a thread of its own forces written data to the disk every `interval`,
    // so a power loss costs only the last seconds of a recording and no writer ever waits
    // for the disk.
    void keepSyncing(std::chrono::milliseconds interval);
    // Flushes the writing context and forces everything to the disk; throws FfmpegError.
    void syncToDisk();
    // Moves this file over `target` in one step (and syncs the folder); throws FfmpegError.
    void replace(const std::string& target);
    // Removes this file from its folder (for a replacement that was abandoned).
    void unlink();

private:
    MediaFile(int fd, std::string path);

    static int writePacket(void* opaque, std::uint8_t* data, int size);
    static int readPacket(void* opaque, std::uint8_t* data, int size);
    static std::int64_t seekOutput(void* opaque, std::int64_t offset, int whence);
    static std::int64_t seekInput(void* opaque, std::int64_t offset, int whence);
    std::int64_t seekTo(std::int64_t& position, std::int64_t offset, int whence) const;
    void freeContext(AVIOContext*& context);

    int fd_;
    std::string path_;
    AVIOContext* output_ = nullptr;
    AVIOContext* input_ = nullptr;
    std::int64_t writePosition_ = 0;
    std::int64_t readPosition_ = 0;
    std::mutex syncMutex_;
    std::condition_variable_any syncWake_;
    std::jthread syncer_;
};

}  // namespace kelvane::platform::ffmpeg
