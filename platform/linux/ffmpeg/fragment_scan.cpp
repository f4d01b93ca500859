#include "platform/linux/ffmpeg/fragment_scan.h"

#include <algorithm>

#include "platform/linux/ffmpeg/mp4_box.h"

namespace kelvane::platform::ffmpeg {
namespace {

// Flags of the track fragment header and the track run.
constexpr std::uint32_t baseDataOffsetPresent = 0x1;
constexpr std::uint32_t sampleDescriptionIndexPresent = 0x2;
constexpr std::uint32_t defaultDurationPresent = 0x8;
constexpr std::uint32_t defaultSizePresent = 0x10;
constexpr std::uint32_t defaultFlagsPresent = 0x20;
constexpr std::uint32_t defaultBaseIsMoof = 0x20000;
constexpr std::uint32_t dataOffsetPresent = 0x1;
constexpr std::uint32_t firstSampleFlagsPresent = 0x4;
constexpr std::uint32_t sampleDurationPresent = 0x100;
constexpr std::uint32_t sampleSizePresent = 0x200;
constexpr std::uint32_t sampleFlagsPresent = 0x400;
constexpr std::uint32_t sampleCompositionPresent = 0x800;

struct FragmentDefaults {
    std::uint32_t trackId = 0;
    std::uint64_t base = 0;
    std::uint32_t sampleSize = 0;
    bool hasSampleSize = false;
};

FragmentDefaults readTrackFragmentHeader(Bytes body, std::uint64_t moofOffset, std::uint64_t previousDataEnd) {
    const std::uint32_t flags = readU32(body, 0) & 0xFFFFFF;
    FragmentDefaults defaults;
    defaults.trackId = readU32(body, 4);
    std::size_t at = 8;
    // Without an explicit base, the first track's data counts from the moof and each next
    // one's from where the previous track's data ended, unless the moof is named the base.
    defaults.base = (flags & defaultBaseIsMoof) != 0 ? moofOffset : previousDataEnd;
    if ((flags & baseDataOffsetPresent) != 0) {
        defaults.base = readU64(body, at);
        at += 8;
    }
    if ((flags & sampleDescriptionIndexPresent) != 0) at += 4;
    if ((flags & defaultDurationPresent) != 0) at += 4;
    if ((flags & defaultSizePresent) != 0) {
        defaults.sampleSize = readU32(body, at);
        defaults.hasSampleSize = true;
        at += 4;
    }
    if ((flags & defaultFlagsPresent) != 0) at += 4;
    return defaults;
}

// Adds the run described by one trun to `track`; returns where its data ends.
std::uint64_t readTrackRun(Bytes body, const FragmentDefaults& defaults, std::uint64_t start, TrackPlacement& track) {
    const std::uint32_t flags = readU32(body, 0) & 0xFFFFFF;
    const std::uint32_t count = readU32(body, 4);
    std::size_t at = 8;
    if ((flags & dataOffsetPresent) != 0) {
        start = defaults.base + static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(readU32(body, at))));
        at += 4;
    }
    if ((flags & firstSampleFlagsPresent) != 0) at += 4;
    if ((flags & sampleSizePresent) == 0 && !defaults.hasSampleSize)
        throw FfmpegError("A fragment of the media file does not give the size of its samples");
    std::uint64_t end = start;
    for (std::uint32_t i = 0; i < count; ++i) {
        if ((flags & sampleDurationPresent) != 0) at += 4;
        std::uint32_t size = defaults.sampleSize;
        if ((flags & sampleSizePresent) != 0) {
            size = readU32(body, at);
            at += 4;
        }
        if ((flags & sampleFlagsPresent) != 0) at += 4;
        if ((flags & sampleCompositionPresent) != 0) at += 4;
        track.sampleSizes.push_back(size);
        end += size;
    }
    if (count > 0) track.runs.push_back(SampleRun{start, count});
    return end;
}

void readMovieFragment(Bytes moof, std::uint64_t moofOffset, FragmentedLayout& layout) {
    std::uint64_t previousDataEnd = moofOffset;
    for (const Box& traf : boxesIn(moof)) {
        if (traf.type != "traf") continue;
        const Bytes trafBody = traf.body(moof);
        const std::vector<Box> children = boxesIn(trafBody);
        const Box* tfhd = findBox(children, "tfhd");
        if (tfhd == nullptr) throw FfmpegError("A fragment of the media file has no track fragment header");
        const FragmentDefaults defaults = readTrackFragmentHeader(tfhd->body(trafBody), moofOffset, previousDataEnd);
        TrackPlacement& track = layout.tracks[defaults.trackId];
        std::uint64_t next = defaults.base;
        for (const Box& trun : children) {
            if (trun.type == "trun") next = readTrackRun(trun.body(trafBody), defaults, next, track);
        }
        previousDataEnd = next;
    }
}

}  // namespace

FragmentedLayout scanFragmentedFile(const MediaFile& file) {
    FragmentedLayout layout;
    const auto fileSize = static_cast<std::uint64_t>(file.size());
    std::uint64_t offset = 0;
    while (offset < fileSize) {
        const std::uint64_t room = fileSize - offset;
        const auto header = file.readAt(static_cast<std::int64_t>(offset), static_cast<std::size_t>(std::min<std::uint64_t>(16, room)));
        const Box box = boxAt(header, offset, room);
        if ((box.type == "moov" && layout.movie.empty()) || box.type == "moof") {
            const auto bytes = file.readAt(static_cast<std::int64_t>(offset), static_cast<std::size_t>(box.size));
            if (box.type == "moov") {
                layout.movieOffset = offset;
                layout.movie = bytes;
            } else {
                readMovieFragment(Bytes(bytes).subspan(box.headerSize), offset, layout);
            }
        }
        offset = box.end();
    }
    if (layout.movie.empty()) throw FfmpegError("The media file \"" + file.path() + "\" has no movie header");
    layout.end = offset;
    return layout;
}

}  // namespace kelvane::platform::ffmpeg
