// The index written when finishing, and the declared length of a fragmented file, checked
// box by box on small movies made here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/ffmpeg/av_handles.h"
#include "platform/linux/ffmpeg/indexed_movie.h"
#include "platform/linux/ffmpeg/movie_extends_header.h"

namespace kelvane::platform::ffmpeg {
namespace {

constexpr std::uint64_t fiveGiB = 5ull << 30;

void zeros(BoxWriter& out, int count) {
    for (int i = 0; i < count; ++i) out.u8(0);
}

// A moov as FFmpeg writes it before the first fragment: one video track (ID 7, 1/90000 s)
// with empty sample tables, a movie timescale of 1/48000 s, and an mvex.
std::vector<std::uint8_t> fragmentedMovie() {
    BoxWriter out;
    const auto moov = out.begin("moov");
    const auto mvhd = out.beginFull("mvhd", 0, 0);
    zeros(out, 8);
    out.u32(48000);
    out.u32(0);
    zeros(out, 80);
    out.end(mvhd);
    const auto trak = out.begin("trak");
    const auto tkhd = out.beginFull("tkhd", 0, 3);
    zeros(out, 8);
    out.u32(7);
    zeros(out, 8);
    zeros(out, 60);
    out.end(tkhd);
    const auto mdia = out.begin("mdia");
    const auto mdhd = out.beginFull("mdhd", 0, 0);
    zeros(out, 8);
    out.u32(90000);
    out.u32(0);
    out.u32(0x55c40000);
    out.end(mdhd);
    const auto minf = out.begin("minf");
    const auto stbl = out.begin("stbl");
    const auto stsd = out.beginFull("stsd", 0, 0);
    out.u32(1);
    out.end(out.begin("avc1"));
    out.end(stsd);
    for (const char* table : {"stts", "stsc", "stco"}) {
        const auto box = out.beginFull(table, 0, 0);
        out.u32(0);
        out.end(box);
    }
    out.end(stbl);
    out.end(minf);
    out.end(mdia);
    out.end(trak);
    const auto mvex = out.begin("mvex");
    const auto trex = out.beginFull("trex", 0, 0);
    out.u32(7);
    zeros(out, 16);
    out.end(trex);
    out.end(mvex);
    out.end(moov);
    return out.data();
}

// The body of the box at `path` ("trak/mdia/mdhd") inside the moov `movie`.
Bytes bodyAt(Bytes movie, const std::string& path) {
    Bytes body = boxesIn(movie).front().body(movie);
    std::size_t from = 0;
    while (from <= path.size()) {
        const std::size_t slash = std::min(path.find('/', from), path.size());
        const auto children = boxesIn(body);
        const Box* child = findBox(children, path.substr(from, slash - from));
        if (child == nullptr) throw std::runtime_error("no " + path);
        body = child->body(body);
        from = slash + 1;
    }
    return body;
}

std::vector<std::uint32_t> words(Bytes body, std::size_t from) {
    std::vector<std::uint32_t> values;
    for (std::size_t at = from; at + 4 <= body.size(); at += 4) values.push_back(readU32(body, at));
    return values;
}

std::vector<SampleTiming> timings(std::int64_t firstPts, std::int64_t firstDts, std::int64_t step, int count,
                                  std::int64_t lastDuration) {
    std::vector<SampleTiming> samples;
    for (int i = 0; i < count; ++i)
        samples.push_back(SampleTiming{firstPts + i * step, firstDts + i * step, i + 1 < count ? step : lastDuration, i % 3 == 0});
    return samples;
}

TEST(IndexedMovie, EditListsSkipPrimingDelayLateStartsAndEndWithTheLastSample) {
    struct Case {
        const char* name;
        std::vector<SampleTiming> samples;
        std::int64_t trackTimescale;
        EditList expected;
    };
    const std::vector<Case> cases = {
        // AAC: 1024 samples of priming before zero, the last frame cut to end at 3 s.
        {"priming", timings(-1024, -1024, 1024, 142, 640), 48000, {0, 144000, 1024}},
        // The first picture half a second into the session: that much of nothing first.
        {"late start", timings(45000, 45000, 1500, 150, 1500), 90000, {24000, 120000, 0}},
        // Reordered pictures decode before they show: the first shows at zero.
        {"reordered", timings(0, -3000, 1500, 180, 1500), 90000, {0, 144000, 3000}},
        // An end between two movie ticks is rounded up, never cut.
        {"rounded up", timings(0, 0, 1500, 180, 1501), 90000, {0, 144001, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EditList edit = editListFor(c.samples, c.trackTimescale, 48000);
        EXPECT_EQ(edit.emptyDuration, c.expected.emptyDuration);
        EXPECT_EQ(edit.duration, c.expected.duration);
        EXPECT_EQ(edit.mediaTime, c.expected.mediaTime);
    }
}

TEST(IndexedMovie, SampleTablesPointIntoTheFragmentsPast4GiB) {
    const auto fragmented = fragmentedMovie();
    // Seven samples were written in two fragments; the track ends after five, the fifth
    // cut to 1000 ticks. The second picture is shown after the third.
    IndexedTrack track;
    track.written = 7;
    track.samples = {{0, 0, 1500, true}, {4500, 1500, 1500, false}, {3000, 3000, 1500, false},
                     {6000, 4500, 1500, true}, {7500, 6000, 1000, false}};
    const std::map<std::uint32_t, TrackPlacement> placements = {
        {7, TrackPlacement{{{fiveGiB, 3}, {fiveGiB + 100000, 4}}, {10, 11, 12, 13, 14, 15, 16}}}};
    const auto movie = buildIndexedMovie(fragmented, {track}, placements);

    EXPECT_EQ(findBox(boxesIn(boxesIn(movie).front().body(movie)), "mvex"), nullptr);
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/co64"), 4),
              (std::vector<std::uint32_t>{2, 1, 1 << 30, 1, (1u << 30) + 100000}));
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/stsc"), 4), (std::vector<std::uint32_t>{2, 1, 3, 1, 2, 2, 1}));
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/stsz"), 4), (std::vector<std::uint32_t>{0, 5, 10, 11, 12, 13, 14}));
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/stts"), 4), (std::vector<std::uint32_t>{2, 4, 1500, 1, 1000}));
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/ctts"), 4),
              (std::vector<std::uint32_t>{4, 1, 0, 1, 3000, 1, 0, 2, 1500}));
    EXPECT_EQ(words(bodyAt(movie, "trak/mdia/minf/stbl/stss"), 4), (std::vector<std::uint32_t>{2, 1, 4}));
    // Media from 0 to 7000 ticks of 1/90000 s; presented from 0 to 8500, which is 4533⅓
    // ticks of the movie, rounded up.
    EXPECT_EQ(readU32(bodyAt(movie, "trak/mdia/mdhd"), 16), 7000u);
    EXPECT_EQ(words(bodyAt(movie, "trak/edts/elst"), 4), (std::vector<std::uint32_t>{1, 4534, 0, 0x10000}));
    EXPECT_EQ(readU32(bodyAt(movie, "trak/tkhd"), 20), 4534u);
    EXPECT_EQ(readU32(bodyAt(movie, "mvhd"), 16), 4534u);
    // The next free track ID follows the track's, whatever the fragmented header said.
    const Bytes mvhd = bodyAt(movie, "mvhd");
    EXPECT_EQ(readU32(mvhd, mvhd.size() - 4), 8u);
    // The sample description is kept.
    EXPECT_EQ(boxesIn(bodyAt(movie, "trak/mdia/minf/stbl/stsd").subspan(8)).front().type, "avc1");
}

TEST(IndexedMovie, RefusesFragmentsThatLackPacketsWritten) {
    const auto fragmented = fragmentedMovie();
    IndexedTrack track;
    track.written = 3;
    track.samples = timings(0, 0, 1500, 3, 1500);
    const std::map<std::uint32_t, TrackPlacement> twoPlaced = {{7, TrackPlacement{{{4096, 2}}, {10, 11}}}};
    EXPECT_THROW(buildIndexedMovie(fragmented, {track}, twoPlaced), FfmpegError);
    // A track with nothing written needs no fragments, and gets no edit list.
    const auto empty = buildIndexedMovie(fragmented, {IndexedTrack{}}, {});
    EXPECT_EQ(findBox(boxesIn(bodyAt(empty, "trak")), "edts"), nullptr);
    EXPECT_EQ(readU32(bodyAt(empty, "trak/mdia/minf/stbl/stsz"), 8), 0u);
}

TEST(MovieExtendsHeader, IsAddedOnceAndItsDurationIsWritable) {
    BoxWriter ftyp;
    ftyp.end(ftyp.begin("ftyp"));
    std::vector<std::uint8_t> header = ftyp.data();
    const auto movie = fragmentedMovie();
    header.insert(header.end(), movie.begin(), movie.end());

    const DurationField field = addMovieExtendsHeader(header);
    EXPECT_EQ(field.width, 8u);
    // Sizes stay consistent: the boxes still fill the header, and the mehd sits in mvex.
    EXPECT_EQ(boxesIn(header).back().end(), header.size());
    const auto bytes = durationBytes(field, 0x0102030405ull);
    std::copy(bytes.begin(), bytes.end(), header.begin() + static_cast<std::ptrdiff_t>(field.offset));
    const Bytes moov = Bytes(header).subspan(8);
    EXPECT_EQ(readU64(bodyAt(moov, "mvex/mehd"), 4), 0x0102030405ull);
    // A second call finds the one there.
    const std::size_t size = header.size();
    EXPECT_EQ(addMovieExtendsHeader(header).offset, field.offset);
    EXPECT_EQ(header.size(), size);
}

}  // namespace
}  // namespace kelvane::platform::ffmpeg
