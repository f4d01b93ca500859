#pragma once
// ISO base media boxes (the structure of MP4, MOV and M4A files) in memory: the boxes that
// follow one another in a run of bytes, big-endian fields, and boxes built with their sizes
// filled in once their contents are known.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform::ffmpeg {

using Bytes = std::span<const std::uint8_t>;

struct Box {
    std::string type;            // four characters
    std::uint64_t offset = 0;    // of its first byte, within what was read
    std::uint64_t size = 0;      // header included
    std::uint32_t headerSize = 0;  // 8, or 16 with a 64-bit size

    std::uint64_t end() const { return offset + size; }
    // Its contents within `bytes`, the run it was found in.
    Bytes body(Bytes bytes) const;
};

// The box that starts at `offset` of a file or run, read from its first bytes `header` (at
// least 8, and 16 where it has a 64-bit size), with `room` bytes from its start to the end
// of what holds it. Throws FfmpegError when it does not fit there.
Box boxAt(Bytes header, std::uint64_t offset, std::uint64_t room);
// The boxes that fill `bytes` one after another; throws FfmpegError when one overruns it.
std::vector<Box> boxesIn(Bytes bytes);
// The first box of `type` in `boxes`, or nullptr.
const Box* findBox(const std::vector<Box>& boxes, std::string_view type);

// Big-endian fields at `at`; throw FfmpegError past the end of `bytes`.
std::uint16_t readU16(Bytes bytes, std::size_t at);
std::uint32_t readU32(Bytes bytes, std::size_t at);
std::uint64_t readU64(Bytes bytes, std::size_t at);

class BoxWriter {
public:
    void u8(std::uint8_t value) { data_.push_back(value); }
    void u16(std::uint16_t value);
    void u32(std::uint32_t value);
    void u64(std::uint64_t value);
    void bytes(Bytes bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }
    void type(std::string_view fourCharacters);

    // Opens a box (a full box with a version and flags) and returns its start for end().
    std::size_t begin(std::string_view type);
    std::size_t beginFull(std::string_view type, std::uint8_t version, std::uint32_t flags);
    // Closes the box opened at `start`, writing its size.
    void end(std::size_t start);

    const std::vector<std::uint8_t>& data() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

}  // namespace kelvane::platform::ffmpeg
