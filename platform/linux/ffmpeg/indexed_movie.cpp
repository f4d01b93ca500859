#include "platform/linux/ffmpeg/indexed_movie.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

#include "platform/linux/ffmpeg/av_handles.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace kelvane::platform::ffmpeg {
namespace {

constexpr std::uint64_t largestU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t largestI32 = std::numeric_limits<std::int32_t>::max();
constexpr std::uint32_t rateOfOne = 0x00010000;

Bytes slice(Bytes bytes, std::size_t at, std::size_t count) {
    if (at > bytes.size() || bytes.size() - at < count) throw FfmpegError("A box of the media file is cut short");
    return bytes.subspan(at, count);
}

void copyBox(BoxWriter& out, const Box& box, Bytes holder) { out.bytes(slice(holder, box.offset, box.size)); }

// mvhd, mdhd and tkhd share a layout: version and flags, creation and modification times
// (32 or 64 bits), `fieldsBefore` bytes (the timescale, or the track ID and a reserved
// word), the duration (32 or 64 bits), then fields that do not change here.
struct TimedHeader {
    std::uint32_t flags = 0;
    std::uint64_t creation = 0;
    std::uint64_t modification = 0;
    Bytes fieldsBefore;
    Bytes rest;
};

TimedHeader readTimedHeader(Bytes body, std::size_t fieldsBefore) {
    TimedHeader header;
    const std::uint32_t versionAndFlags = readU32(body, 0);
    const bool wide = (versionAndFlags >> 24) == 1;
    const std::size_t timeSize = wide ? 8 : 4;
    header.flags = versionAndFlags & 0xFFFFFF;
    header.creation = wide ? readU64(body, 4) : readU32(body, 4);
    header.modification = wide ? readU64(body, 4 + timeSize) : readU32(body, 4 + timeSize);
    const std::size_t at = 4 + 2 * timeSize;
    header.fieldsBefore = slice(body, at, fieldsBefore);
    const std::size_t restAt = at + fieldsBefore + timeSize;
    header.rest = slice(body, restAt, body.size() - std::min(body.size(), restAt));
    return header;
}

// The first field after the times: the timescale of an mvhd or mdhd, the track ID of a tkhd.
std::uint32_t fieldAfterTimes(Bytes body) { return readU32(body, (readU32(body, 0) >> 24) == 1 ? 20 : 12); }

// `nextTrackId`, for an mvhd: the last field, which must exceed every track's ID.
void writeTimedHeader(BoxWriter& out, const Box& box, Bytes holder, std::size_t fieldsBefore, std::uint64_t duration,
                      std::optional<std::uint32_t> nextTrackId = std::nullopt) {
    const TimedHeader header = readTimedHeader(box.body(holder), fieldsBefore);
    const bool wide = duration > largestU32 || header.creation > largestU32 || header.modification > largestU32;
    const std::size_t start = out.beginFull(box.type, wide ? 1 : 0, header.flags);
    for (const std::uint64_t time : {header.creation, header.modification}) {
        wide ? out.u64(time) : out.u32(static_cast<std::uint32_t>(time));
    }
    out.bytes(header.fieldsBefore);
    wide ? out.u64(duration) : out.u32(static_cast<std::uint32_t>(duration));
    if (nextTrackId && header.rest.size() >= 4) {
        out.bytes(header.rest.first(header.rest.size() - 4));
        out.u32(std::max(*nextTrackId, readU32(header.rest, header.rest.size() - 4)));
    } else {
        out.bytes(header.rest);
    }
    out.end(start);
}

void writeEditList(BoxWriter& out, const EditList& edit) {
    const bool wide = edit.emptyDuration > largestI32 || edit.duration > largestI32 || edit.mediaTime > largestI32;
    const auto field = [&](std::int64_t value) {
        wide ? out.u64(static_cast<std::uint64_t>(value)) : out.u32(static_cast<std::uint32_t>(value));
    };
    const std::size_t edts = out.begin("edts");
    const std::size_t elst = out.beginFull("elst", wide ? 1 : 0, 0);
    out.u32(edit.emptyDuration > 0 ? 2 : 1);
    if (edit.emptyDuration > 0) {
        field(edit.emptyDuration);
        field(-1);  // nothing plays
        out.u32(rateOfOne);
    }
    field(edit.duration);
    field(edit.mediaTime);
    out.u32(rateOfOne);
    out.end(elst);
    out.end(edts);
}

std::uint32_t narrow(std::int64_t value) {
    if (value < 0 || static_cast<std::uint64_t>(value) > largestU32)
        throw FfmpegError("A sample's timing does not fit the media file's index");
    return static_cast<std::uint32_t>(value);
}

// Runs of equal values as (count, value) pairs, the shape of stts and ctts.
std::vector<std::pair<std::uint32_t, std::int64_t>> runsOf(const std::vector<std::int64_t>& values) {
    std::vector<std::pair<std::uint32_t, std::int64_t>> runs;
    for (const std::int64_t value : values) {
        if (!runs.empty() && runs.back().second == value) {
            ++runs.back().first;
        } else {
            runs.emplace_back(1, value);
        }
    }
    return runs;
}

void writeTimeToSample(BoxWriter& out, const std::vector<SampleTiming>& samples) {
    std::vector<std::int64_t> deltas;
    for (std::size_t i = 0; i < samples.size(); ++i)
        deltas.push_back(i + 1 < samples.size() ? samples[i + 1].dts - samples[i].dts : samples[i].duration);
    const auto runs = runsOf(deltas);
    const std::size_t stts = out.beginFull("stts", 0, 0);
    out.u32(narrow(static_cast<std::int64_t>(runs.size())));
    for (const auto& [count, delta] : runs) {
        out.u32(count);
        out.u32(narrow(delta));
    }
    out.end(stts);

    std::vector<std::int64_t> offsets;
    for (const SampleTiming& sample : samples) offsets.push_back(sample.pts - sample.dts);
    if (std::all_of(offsets.begin(), offsets.end(), [](std::int64_t offset) { return offset == 0; })) return;
    const bool negative = std::any_of(offsets.begin(), offsets.end(), [](std::int64_t offset) { return offset < 0; });
    const auto offsetRuns = runsOf(offsets);
    const std::size_t ctts = out.beginFull("ctts", negative ? 1 : 0, 0);
    out.u32(narrow(static_cast<std::int64_t>(offsetRuns.size())));
    for (const auto& [count, offset] : offsetRuns) {
        out.u32(count);
        out.u32(static_cast<std::uint32_t>(offset));
    }
    out.end(ctts);
}

void writeSyncSamples(BoxWriter& out, const std::vector<SampleTiming>& samples) {
    const auto keyframes = std::count_if(samples.begin(), samples.end(), [](const SampleTiming& s) { return s.keyframe; });
    if (static_cast<std::size_t>(keyframes) == samples.size()) return;  // every sample is one
    const std::size_t stss = out.beginFull("stss", 0, 0);
    out.u32(static_cast<std::uint32_t>(keyframes));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i].keyframe) out.u32(static_cast<std::uint32_t>(i + 1));
    }
    out.end(stss);
}

// Chunks, sizes and offsets of the first `count` samples placed in the fragments.
void writeSamplePlaces(BoxWriter& out, const TrackPlacement& placement, std::size_t count) {
    std::vector<SampleRun> chunks;
    std::size_t remaining = count;
    for (const SampleRun& run : placement.runs) {
        if (remaining == 0) break;
        const auto taken = static_cast<std::uint32_t>(std::min<std::size_t>(run.samples, remaining));
        chunks.push_back(SampleRun{run.offset, taken});
        remaining -= taken;
    }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> firstChunkAndSamples;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (firstChunkAndSamples.empty() || firstChunkAndSamples.back().second != chunks[i].samples)
            firstChunkAndSamples.emplace_back(static_cast<std::uint32_t>(i + 1), chunks[i].samples);
    }
    const std::size_t stsc = out.beginFull("stsc", 0, 0);
    out.u32(static_cast<std::uint32_t>(firstChunkAndSamples.size()));
    for (const auto& [firstChunk, samples] : firstChunkAndSamples) {
        out.u32(firstChunk);
        out.u32(samples);
        out.u32(1);  // sample description
    }
    out.end(stsc);

    const std::size_t stsz = out.beginFull("stsz", 0, 0);
    out.u32(0);  // sizes differ
    out.u32(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) out.u32(placement.sampleSizes[i]);
    out.end(stsz);

    // 64-bit chunk offsets only where a file has grown past 4 GiB.
    const bool wide = std::any_of(chunks.begin(), chunks.end(), [](const SampleRun& c) { return c.offset > largestU32; });
    const std::size_t offsets = out.beginFull(wide ? "co64" : "stco", 0, 0);
    out.u32(static_cast<std::uint32_t>(chunks.size()));
    for (const SampleRun& chunk : chunks) wide ? out.u64(chunk.offset) : out.u32(static_cast<std::uint32_t>(chunk.offset));
    out.end(offsets);
}

// AAC needs the frame before a seek target decoded first: one roll group over all samples.
void writeAudioRollGroup(BoxWriter& out, std::size_t count) {
    const std::size_t sgpd = out.beginFull("sgpd", 1, 0);
    out.type("roll");
    out.u32(2);  // bytes per entry
    out.u32(1);
    out.u16(0xFFFF);  // roll distance -1
    out.end(sgpd);
    const std::size_t sbgp = out.beginFull("sbgp", 0, 0);
    out.type("roll");
    out.u32(1);
    out.u32(static_cast<std::uint32_t>(count));
    out.u32(1);
    out.end(sbgp);
}

bool describesAac(Bytes stsdBody) {
    const auto entries = boxesIn(slice(stsdBody, 8, stsdBody.size() - std::min<std::size_t>(8, stsdBody.size())));
    return !entries.empty() && entries.front().type == "mp4a";
}

struct TrackContext {
    const IndexedTrack& track;
    const TrackPlacement& placement;
    std::uint64_t mediaDuration;
};

bool isSampleTable(const std::string& type) {
    for (const char* table : {"stts", "ctts", "stss", "stsc", "stsz", "stz2", "stco", "co64", "sgpd", "sbgp", "sdtp"}) {
        if (type == table) return true;
    }
    return false;
}

void writeSampleTable(BoxWriter& out, const Box& stbl, Bytes holder, const TrackContext& context) {
    const Bytes body = stbl.body(holder);
    const auto children = boxesIn(body);
    const Box* stsd = findBox(children, "stsd");
    if (stsd == nullptr) throw FfmpegError("A track of the media file has no sample description");
    const std::vector<SampleTiming>& samples = context.track.samples;
    const std::size_t start = out.begin("stbl");
    copyBox(out, *stsd, body);
    writeTimeToSample(out, samples);
    writeSyncSamples(out, samples);
    writeSamplePlaces(out, context.placement, samples.size());
    if (!samples.empty() && describesAac(stsd->body(body))) writeAudioRollGroup(out, samples.size());
    for (const Box& child : children) {
        if (child.type != "stsd" && !isSampleTable(child.type)) copyBox(out, child, body);
    }
    out.end(start);
}

// Copies `box` with the children `rewrite` answers for rewritten by it.
template <typename Rewrite>
void rewriteChildren(BoxWriter& out, const Box& box, Bytes holder, Rewrite rewrite) {
    const Bytes body = box.body(holder);
    const std::size_t start = out.begin(box.type);
    for (const Box& child : boxesIn(body)) {
        if (!rewrite(child, body)) copyBox(out, child, body);
    }
    out.end(start);
}

void writeMedia(BoxWriter& out, const Box& mdia, Bytes holder, const TrackContext& context) {
    rewriteChildren(out, mdia, holder, [&](const Box& child, Bytes body) {
        if (child.type == "mdhd") {
            writeTimedHeader(out, child, body, 4, context.mediaDuration);
            return true;
        }
        if (child.type != "minf") return false;
        rewriteChildren(out, child, body, [&](const Box& grandchild, Bytes minfBody) {
            if (grandchild.type != "stbl") return false;
            writeSampleTable(out, grandchild, minfBody, context);
            return true;
        });
        return true;
    });
}

struct BuiltTrack {
    std::vector<std::uint8_t> bytes;
    std::int64_t presentedDuration = 0;
    std::uint32_t trackId = 0;
};

BuiltTrack buildTrack(const Box& trak, Bytes holder, const IndexedTrack& track,
                      const std::map<std::uint32_t, TrackPlacement>& placements, std::int64_t movieTimescale) {
    const Bytes body = trak.body(holder);
    const auto children = boxesIn(body);
    const Box* tkhd = findBox(children, "tkhd");
    const Box* mdia = findBox(children, "mdia");
    if (tkhd == nullptr || mdia == nullptr) throw FfmpegError("A track of the media file has no header");
    const Bytes mdiaBody = mdia->body(body);
    const auto mdiaChildren = boxesIn(mdiaBody);
    const Box* mdhd = findBox(mdiaChildren, "mdhd");
    if (mdhd == nullptr) throw FfmpegError("A track of the media file has no media header");
    const std::int64_t trackTimescale = fieldAfterTimes(mdhd->body(mdiaBody));

    static const TrackPlacement nowhere;
    const std::uint32_t trackId = fieldAfterTimes(tkhd->body(body));
    const auto placed = placements.find(trackId);
    const TrackPlacement& placement = placed == placements.end() ? nowhere : placed->second;
    if (placement.sampleSizes.size() != track.written || track.samples.size() > track.written)
        throw FfmpegError("The fragments of the media file do not hold every packet written");

    const std::vector<SampleTiming>& samples = track.samples;
    EditList edit;
    std::uint64_t mediaDuration = 0;
    if (!samples.empty()) {
        if (trackTimescale <= 0) throw FfmpegError("A track of the media file has no timescale");
        edit = editListFor(samples, trackTimescale, movieTimescale);
        mediaDuration = static_cast<std::uint64_t>(samples.back().dts + samples.back().duration - samples.front().dts);
    }
    BuiltTrack built;
    built.presentedDuration = edit.emptyDuration + edit.duration;
    built.trackId = trackId;
    BoxWriter out;
    const TrackContext context{track, placement, mediaDuration};
    rewriteChildren(out, trak, holder, [&](const Box& child, Bytes trakBody) {
        if (child.type == "tkhd") {
            writeTimedHeader(out, child, trakBody, 8, static_cast<std::uint64_t>(built.presentedDuration));
            if (!samples.empty()) writeEditList(out, edit);
            return true;
        }
        if (child.type == "edts") return true;  // replaced above
        if (child.type != "mdia") return false;
        writeMedia(out, child, trakBody, context);
        return true;
    });
    built.bytes = out.data();
    return built;
}

}  // namespace

EditList editListFor(const std::vector<SampleTiming>& samples, std::int64_t trackTimescale, std::int64_t movieTimescale) {
    const SampleTiming& first = samples.front();
    std::int64_t end = first.pts;
    for (const SampleTiming& sample : samples) end = std::max(end, sample.pts + sample.duration);
    const std::int64_t length = av_rescale_rnd(end - first.pts, movieTimescale, trackTimescale, AV_ROUND_UP);
    const std::int64_t delay = av_rescale_rnd(first.pts, movieTimescale, trackTimescale, AV_ROUND_DOWN);
    if (delay > 0) return EditList{delay, length, first.pts - first.dts};
    // A track that starts at or before zero: its media from the sample presented at zero,
    // the priming before it skipped.
    return EditList{0, length + delay, -std::min<std::int64_t>(first.dts, 0)};
}

std::vector<std::uint8_t> buildIndexedMovie(Bytes fragmentedMovie, const std::vector<IndexedTrack>& tracks,
                                            const std::map<std::uint32_t, TrackPlacement>& placements) {
    const auto top = boxesIn(fragmentedMovie);
    if (top.size() != 1 || top.front().type != "moov") throw FfmpegError("The media file's movie header is damaged");
    const Bytes body = top.front().body(fragmentedMovie);
    const auto children = boxesIn(body);
    const Box* mvhd = findBox(children, "mvhd");
    if (mvhd == nullptr) throw FfmpegError("The media file's movie header is damaged");
    const std::int64_t movieTimescale = fieldAfterTimes(mvhd->body(body));

    std::vector<BuiltTrack> built;
    std::int64_t movieDuration = 0;
    std::uint32_t lastTrackId = 0;
    for (const Box& child : children) {
        if (child.type != "trak") continue;
        if (built.size() == tracks.size()) throw FfmpegError("The media file has more tracks than were written");
        built.push_back(buildTrack(child, body, tracks[built.size()], placements, movieTimescale));
        movieDuration = std::max(movieDuration, built.back().presentedDuration);
        lastTrackId = std::max(lastTrackId, built.back().trackId);
    }
    if (built.size() != tracks.size()) throw FfmpegError("The media file has fewer tracks than were written");

    BoxWriter out;
    const std::size_t moov = out.begin("moov");
    std::size_t nextTrack = 0;
    for (const Box& child : children) {
        if (child.type == "mvhd") {
            writeTimedHeader(out, child, body, 4, static_cast<std::uint64_t>(movieDuration), lastTrackId + 1);
        } else if (child.type == "trak") {
            out.bytes(built[nextTrack++].bytes);
        } else if (child.type != "mvex") {  // fragments are gone
            copyBox(out, child, body);
        }
    }
    out.end(moov);
    return out.data();
}

}  // namespace kelvane::platform::ffmpeg
