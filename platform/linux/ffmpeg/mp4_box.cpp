#include "platform/linux/ffmpeg/mp4_box.h"

#include <limits>

#include "platform/linux/ffmpeg/av_handles.h"

namespace kelvane::platform::ffmpeg {
namespace {

void need(Bytes bytes, std::size_t at, std::size_t count) {
    if (at > bytes.size() || bytes.size() - at < count) throw FfmpegError("A box of the media file is cut short");
}

}  // namespace

Bytes Box::body(Bytes bytes) const { return bytes.subspan(offset + headerSize, size - headerSize); }

Box boxAt(Bytes header, std::uint64_t offset, std::uint64_t room) {
    Box box;
    box.offset = offset;
    box.size = readU32(header, 0);
    box.type.assign(reinterpret_cast<const char*>(header.data()) + 4, 4);
    box.headerSize = 8;
    if (box.size == 1) {
        box.size = readU64(header, 8);
        box.headerSize = 16;
    } else if (box.size == 0) {
        box.size = room;  // to the end of the file
    }
    if (box.size < box.headerSize || box.size > room)
        throw FfmpegError("A \"" + box.type + "\" box of the media file does not fit where it lies");
    return box;
}

std::vector<Box> boxesIn(Bytes bytes) {
    std::vector<Box> boxes;
    std::uint64_t offset = 0;
    while (offset < bytes.size()) {
        const Bytes rest = bytes.subspan(offset);
        boxes.push_back(boxAt(rest, offset, rest.size()));
        offset = boxes.back().end();
    }
    return boxes;
}

const Box* findBox(const std::vector<Box>& boxes, std::string_view type) {
    for (const Box& box : boxes) {
        if (box.type == type) return &box;
    }
    return nullptr;
}

std::uint16_t readU16(Bytes bytes, std::size_t at) {
    need(bytes, at, 2);
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

std::uint32_t readU32(Bytes bytes, std::size_t at) {
    need(bytes, at, 4);
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) | (std::uint32_t{bytes[at + 2]} << 8) |
           bytes[at + 3];
}

std::uint64_t readU64(Bytes bytes, std::size_t at) {
    return (std::uint64_t{readU32(bytes, at)} << 32) | readU32(bytes, at + 4);
}

void BoxWriter::u16(std::uint16_t value) {
    u8(static_cast<std::uint8_t>(value >> 8));
    u8(static_cast<std::uint8_t>(value));
}

void BoxWriter::u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value >> 16));
    u16(static_cast<std::uint16_t>(value));
}

void BoxWriter::u64(std::uint64_t value) {
    u32(static_cast<std::uint32_t>(value >> 32));
    u32(static_cast<std::uint32_t>(value));
}

void BoxWriter::type(std::string_view fourCharacters) {
    for (std::size_t i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(i < fourCharacters.size() ? fourCharacters[i] : ' '));
}

std::size_t BoxWriter::begin(std::string_view boxType) {
    const std::size_t start = data_.size();
    u32(0);
    type(boxType);
    return start;
}

std::size_t BoxWriter::beginFull(std::string_view boxType, std::uint8_t version, std::uint32_t flags) {
    const std::size_t start = begin(boxType);
    u32((std::uint32_t{version} << 24) | (flags & 0xFFFFFF));
    return start;
}

void BoxWriter::end(std::size_t start) {
    const std::size_t size = data_.size() - start;
    if (size > std::numeric_limits<std::uint32_t>::max()) throw FfmpegError("A box of the media file grew too large");
    for (int i = 0; i < 4; ++i) data_[start + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
}

}  // namespace kelvane::platform::ffmpeg
