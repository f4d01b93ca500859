#include "platform/linux/ffmpeg/movie_extends_header.h"

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/mp4_box.h"

namespace kelvane::platform::ffmpeg {
namespace {

constexpr std::uint32_t mehdSize = 20;  // version 1: a 64-bit duration

void growBox(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::uint32_t by) {
    const std::uint32_t size = readU32(bytes, static_cast<std::size_t>(offset)) + by;
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(offset) + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
}

}  // namespace

DurationField addMovieExtendsHeader(std::vector<std::uint8_t>& header) {
    const auto top = boxesIn(header);
    const Box* moov = findBox(top, "moov");
    if (moov == nullptr || moov->headerSize != 8) throw FfmpegError("The fragmented file has no movie header");
    const auto movieChildren = boxesIn(moov->body(header));
    const Box* mvex = findBox(movieChildren, "mvex");
    if (mvex == nullptr || mvex->headerSize != 8) throw FfmpegError("The fragmented file has no movie extends box");
    const std::uint64_t mvexOffset = moov->offset + moov->headerSize + mvex->offset;
    const std::uint64_t mvexBody = mvexOffset + mvex->headerSize;

    const auto extendsChildren = boxesIn(mvex->body(moov->body(header)));
    if (const Box* mehd = findBox(extendsChildren, "mehd")) {
        const bool wide = header[static_cast<std::size_t>(mvexBody + mehd->offset + mehd->headerSize)] == 1;
        return DurationField{static_cast<std::size_t>(mvexBody + mehd->offset + 12), wide ? 8u : 4u};
    }
    BoxWriter mehd;
    const std::size_t start = mehd.beginFull("mehd", 1, 0);
    mehd.u64(0);
    mehd.end(start);
    header.insert(header.begin() + static_cast<std::ptrdiff_t>(mvexBody), mehd.data().begin(), mehd.data().end());
    growBox(header, moov->offset, mehdSize);
    growBox(header, mvexOffset, mehdSize);
    return DurationField{static_cast<std::size_t>(mvexBody + 12), 8};
}

std::vector<std::uint8_t> durationBytes(const DurationField& field, std::uint64_t duration) {
    std::vector<std::uint8_t> bytes(field.width);
    for (std::size_t i = 0; i < field.width; ++i) bytes[i] = static_cast<std::uint8_t>(duration >> (8 * (field.width - 1 - i)));
    return bytes;
}

}  // namespace kelvane::platform::ffmpeg
