// Turning screen frames into H.264 input: the banded 4:2:0 conversion that only redoes
// changed rows, the colours it produces, and the search effort that follows how busy the
// encoder is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/linux/ffmpeg/banded_yuv_converter.h"
#include "platform/linux/ffmpeg/encoder_effort.h"
#include "platform/linux/ffmpeg/video_encoder.h"
#include "platform/linux/ffmpeg/video_encoder_settings.h"
#include "platform/linux/ffmpeg/video_track.h"

namespace kelvane::platform::ffmpeg {
namespace {

VideoFrame noiseFrame(int width, int height, unsigned seed) {
    VideoFrame frame{width, height, width * 4, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    std::mt19937 random(seed);
    for (auto& byte : frame.pixels) byte = static_cast<std::uint8_t>(random());
    return frame;
}

VideoFrame solidFrame(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    VideoFrame frame{width, height, width * 4, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    for (std::size_t i = 0; i < frame.pixels.size(); i += 4) {
        frame.pixels[i] = blue;
        frame.pixels[i + 1] = green;
        frame.pixels[i + 2] = red;
        frame.pixels[i + 3] = 255;
    }
    return frame;
}

SampleBuffer sample(VideoFrame frame) { return SampleBuffer::video(std::move(frame), SampleTiming{}); }

void paintRectangle(VideoFrame& frame, int x, int y, int width, int height, std::uint8_t value) {
    for (int row = y; row < y + height; ++row) {
        std::memset(frame.pixels.data() + static_cast<std::size_t>(row) * frame.stride + x * 4, value,
                    static_cast<std::size_t>(width) * 4);
    }
}

// Compares the visible part of the three planes of two pictures of the same size.
void expectSamePicture(const AVFrame& a, const AVFrame& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane == 0 ? a.width : a.width / 2;
        const int height = plane == 0 ? a.height : a.height / 2;
        for (int row = 0; row < height; ++row) {
            ASSERT_EQ(std::memcmp(a.data[plane] + static_cast<std::ptrdiff_t>(row) * a.linesize[plane],
                                  b.data[plane] + static_cast<std::ptrdiff_t>(row) * b.linesize[plane],
                                  static_cast<std::size_t>(width)),
                      0)
                << "plane " << plane << " row " << row;
        }
    }
}

int sampleAt(const AVFrame& picture, int plane, int x, int y) {
    return picture.data[plane][static_cast<std::ptrdiff_t>(y) * picture.linesize[plane] + x];
}

TEST(BandedYuvConverter, UpdatingOnlyChangedBandsGivesThePictureOfAWholeConversion) {
    constexpr int width = 320, height = 180;  // 11 whole bands and one of 4 rows
    BandedYuvConverter incremental(width, height);
    EXPECT_EQ(incremental.bandCount(), 12);
    VideoFrame frame = noiseFrame(width, height, 1);
    EXPECT_EQ(incremental.update(sample(frame)), 12);
    EXPECT_EQ(incremental.update(sample(frame)), 0) << "an unchanged frame converts nothing";

    // Rows 30 to 37 straddle bands 1 and 2; the first and last columns change in two
    // more bands.
    paintRectangle(frame, 100, 30, 40, 8, 200);
    paintRectangle(frame, 0, 178, 2, 2, 7);
    paintRectangle(frame, 317, 100, 3, 1, 9);
    const SampleBuffer changed = sample(frame);
    EXPECT_EQ(incremental.update(changed), 4);
    EXPECT_EQ(incremental.update(*changed.copyWithTiming(SampleTiming{})), 0) << "a retimed copy is the same frame";

    BandedYuvConverter whole(width, height);
    whole.update(sample(frame));
    expectSamePicture(incremental.picture(), whole.picture());
}

// Frames that list what changed since the frame before are compared only where the list
// says; a list that is not about the frame converted before is not trusted.
TEST(BandedYuvConverter, ListedChangesGiveThePictureOfAWholeConversion) {
    constexpr int width = 320, height = 180;
    BandedYuvConverter incremental(width, height);
    VideoFrame frame = noiseFrame(width, height, 2);
    frame.serial = 10;
    incremental.update(sample(frame));

    struct Step {
        std::uint64_t since;
        std::vector<FrameRect> rects;
        int expectedBands;
    };
    // Odd edges widen to whole pairs of columns; rows 30 to 37 straddle two bands.
    const std::vector<Step> steps = {
        {10, {{101, 30, 39, 8}, {317, 100, 3, 1}}, 3},
        {11, {}, 0},
        {12, {{0, 178, 1, 2}}, 1},
        // Listed but drawn the same again: compared there, and nothing converted.
        {13, {{0, 178, 1, 2}}, 0},
        // About some other frame: everything painted is found by comparing.
        {5, {}, 2},
    };
    std::uint64_t serial = 11;
    for (const Step& step : steps) {
        for (const FrameRect& rect : step.rects) paintRectangle(frame, rect.x, rect.y, rect.width, rect.height, 77);
        if (step.since == 5) {
            paintRectangle(frame, 10, 60, 4, 4, 1);
            paintRectangle(frame, 10, 120, 4, 4, 1);
        }
        frame.serial = serial++;
        frame.changes = FrameChanges{step.since, step.rects};
        EXPECT_EQ(incremental.update(sample(frame)), step.expectedBands) << "since " << step.since;
        BandedYuvConverter whole(width, height);
        whole.update(sample(frame));
        expectSamePicture(incremental.picture(), whole.picture());
    }
}

TEST(BandedYuvConverter, MakesLimitedRangeBt709Colours) {
    BandedYuvConverter converter(64, 32);
    converter.update(sample(solidFrame(64, 32, 255, 255, 255)));
    EXPECT_NEAR(sampleAt(converter.picture(), 0, 10, 10), 235, 1);
    EXPECT_NEAR(sampleAt(converter.picture(), 1, 5, 5), 128, 1);
    EXPECT_NEAR(sampleAt(converter.picture(), 2, 5, 5), 128, 1);

    converter.update(sample(solidFrame(64, 32, 0, 0, 0)));
    EXPECT_NEAR(sampleAt(converter.picture(), 0, 10, 10), 16, 1);

    // Pure red tells the matrices apart: BT.709 puts its luma at 63, BT.601 at 81.
    converter.update(sample(solidFrame(64, 32, 0, 0, 255)));
    EXPECT_NEAR(sampleAt(converter.picture(), 0, 10, 10), 63, 1);
    EXPECT_NEAR(sampleAt(converter.picture(), 1, 5, 5), 102, 1);
    EXPECT_NEAR(sampleAt(converter.picture(), 2, 5, 5), 240, 1);
}

TEST(BandedYuvConverter, MatchesTheBt709FormulaForEveryChannel) {
    // Worked out in floating point from the standard's constants: luma from each pixel,
    // chroma from the average of each 2x2 block.
    constexpr double kr = 0.2126, kb = 0.0722, kg = 1 - kr - kb;
    const VideoFrame frame = noiseFrame(64, 32, 4);
    BandedYuvConverter converter(64, 32);
    converter.update(sample(frame));
    auto channel = [&](int x, int y, int shift) {
        return frame.pixels[static_cast<std::size_t>(y) * frame.stride + x * 4 + shift] / 255.0;
    };
    auto luma = [&](int x, int y) { return kr * channel(x, y, 2) + kg * channel(x, y, 1) + kb * channel(x, y, 0); };
    int worst = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            const double expected = 16 + 219 * luma(x, y);
            worst = std::max(worst, static_cast<int>(std::lround(std::abs(sampleAt(converter.picture(), 0, x, y) - expected))));
        }
    }
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            double blue = 0, red = 0, y709 = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    blue += channel(2 * x + dx, 2 * y + dy, 0) / 4;
                    red += channel(2 * x + dx, 2 * y + dy, 2) / 4;
                    y709 += luma(2 * x + dx, 2 * y + dy) / 4;
                }
            }
            const double cb = 128 + 224 * (blue - y709) / (2 * (1 - kb));
            const double cr = 128 + 224 * (red - y709) / (2 * (1 - kr));
            worst = std::max(worst, static_cast<int>(std::lround(std::abs(sampleAt(converter.picture(), 1, x, y) - cb))));
            worst = std::max(worst, static_cast<int>(std::lround(std::abs(sampleAt(converter.picture(), 2, x, y) - cr))));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST(BandedYuvConverter, CropsAnOddLastColumnAndRowAndScalesOtherSizes) {
    const VideoFrame odd = noiseFrame(321, 181, 2);
    VideoFrame cropped{320, 180, odd.stride, odd.pixels};
    BandedYuvConverter fromOdd(320, 180), fromCropped(320, 180);
    fromOdd.update(sample(odd));
    fromCropped.update(sample(cropped));
    expectSamePicture(fromOdd.picture(), fromCropped.picture());

    // A frame of another size fills the whole picture, and the next frame of the picture's
    // own size is converted whole again since the rows kept no longer match the picture.
    EXPECT_EQ(fromOdd.update(sample(solidFrame(640, 360, 0, 0, 0))), 12);
    EXPECT_NEAR(sampleAt(fromOdd.picture(), 0, 319, 179), 16, 1);
    EXPECT_EQ(fromOdd.update(sample(odd)), 12);
    expectSamePicture(fromOdd.picture(), fromCropped.picture());
}

TEST(VideoTrack, RepeatedPicturesAreNotEncodedYetTheTrackKeepsItsTimes) {
    VideoTrack track(*proposeVideoSettings(64, 32));
    std::vector<std::pair<std::int64_t, std::int64_t>> packets;  // start and duration, 1/90000 s
    track.connect([&packets](AVPacket& packet) { packets.emplace_back(packet.pts, packet.duration); });
    auto at = [](int milliseconds, const VideoFrame& frame) {
        SampleTiming timing;
        timing.presentationTimeStamp = MediaTime::make(milliseconds, 1000);
        return SampleBuffer::video(frame, timing);
    };
    const MediaTime start = MediaTime::zero();
    const VideoFrame still = noiseFrame(64, 32, 5);
    VideoFrame changed = still;
    changed.pixels[0] ^= 1;
    for (int milliseconds : {0, 100, 200}) track.encode(at(milliseconds, still), start, std::nullopt);
    // A still screen keeps reaching the file once a second, however alike its frames.
    for (int milliseconds : {500, 1600, 1700}) track.encode(at(milliseconds, changed), start, std::nullopt);
    track.flush(start, MediaTime::make(2, 1));
    using Packet = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(packets, (std::vector<Packet>{{0, 45000}, {45000, 99000}, {144000, 36000}}));
}

// The mean luma of a 8x8 patch of a decoded picture.
double meanLuma(const AVFrame& picture, int x, int y) {
    double sum = 0;
    for (int row = y; row < y + 8; ++row) {
        for (int column = x; column < x + 8; ++column) sum += sampleAt(picture, 0, column, row);
    }
    return sum / 64;
}

// On a mostly still picture the encoder skips the blocks that did not change. A box
// moving over it must show where it is in every decoded frame, and be gone from where
// it was: a block wrongly taken as unchanged would keep the old picture.
TEST(VideoEncoder, ABoxMovingOverAStillPictureIsDecodedWhereItIsInEveryFrame) {
    constexpr int width = 320, height = 192, side = 24;
    VideoEncoder encoder(*proposeVideoSettings(width, height));
    CodecContextPtr decoder(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_H264)));
    ASSERT_TRUE(decoder);
    const AVCodecContext& stream = encoder.context();
    decoder->extradata = static_cast<std::uint8_t*>(
        av_mallocz(static_cast<std::size_t>(stream.extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(decoder->extradata, stream.extradata, static_cast<std::size_t>(stream.extradata_size));
    decoder->extradata_size = stream.extradata_size;
    ASSERT_EQ(avcodec_open2(decoder.get(), decoder->codec, nullptr), 0);
    std::vector<FramePtr> decoded;
    auto receive = [&] {
        for (FramePtr picture(av_frame_alloc()); avcodec_receive_frame(decoder.get(), picture.get()) == 0;
             picture.reset(av_frame_alloc())) {
            decoded.push_back(std::move(picture));
        }
    };
    const PacketSink sink = [&](AVPacket& packet) {
        ASSERT_EQ(avcodec_send_packet(decoder.get(), &packet), 0);
        receive();
    };

    std::vector<std::pair<int, int>> boxes;
    for (int step = 0; step < 16; ++step) {
        VideoFrame frame = solidFrame(width, height, 40, 40, 40);
        const int x = 8 + step * 18, y = 40 + (step % 4) * 30;
        paintRectangle(frame, x, y, side, side, 255);
        boxes.emplace_back(x, y);
        ASSERT_TRUE(encoder.encode(sample(frame), step * 1500, sink)) << "step " << step;
    }
    encoder.flush(sink);
    avcodec_send_packet(decoder.get(), nullptr);
    receive();

    ASSERT_EQ(decoded.size(), boxes.size());
    for (std::size_t step = 0; step < boxes.size(); ++step) {
        const auto [x, y] = boxes[step];
        EXPECT_GT(meanLuma(*decoded[step], x + 8, y + 8), 200) << "the box is missing at step " << step;
        if (step == 0) continue;
        // The box moves 18 pixels right each step, so the middle of where it was is uncovered.
        const auto [oldX, oldY] = boxes[step - 1];
        EXPECT_LT(meanLuma(*decoded[step], oldX + 8, oldY + 8), 80) << "the box stayed at step " << step;
    }
}

TEST(EncoderEffort, SearchesLessWhileBusyAndMoreWhenIdleOncePerSecondOfMedia) {
    constexpr std::int64_t frameNs = 16'666'667;
    EncoderEffort effort;
    std::int64_t media = 0;
    // Runs `frames` frames at 60 fps, each costing `busy` of its interval; returns the
    // levels announced.
    auto run = [&](int frames, double busy) {
        std::vector<int> announced;
        for (int i = 0; i < frames; ++i) {
            if (auto level = effort.record(static_cast<std::int64_t>(busy * frameNs), media)) announced.push_back(*level);
            media += frameNs;
        }
        return announced;
    };
    EXPECT_TRUE(run(60, 0.9).empty()) << "no decision before a second of media";
    EXPECT_EQ(run(200, 0.9), (std::vector<int>{1, 2})) << "one step a second, never past the cheapest";
    EXPECT_EQ(effort.level(), EncoderEffort::fastestLevel);
    EXPECT_TRUE(run(240, 0.5).empty()) << "between the thresholds the level holds";
    EXPECT_EQ(run(200, 0.2), (std::vector<int>{1, 0}));
    EXPECT_TRUE(run(120, 0.2).empty());
    EXPECT_TRUE(run(240, 0.65).empty()) << "two thirds of a core keeps the thorough search";

    // A second in which few frames came costs little: one heavy frame a second is no reason
    // to search less.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(effort.record(300'000'000, media).has_value());
        media += 1'000'000'000;
    }
}

TEST(EncoderEffort, EveryLevelIsAcceptedByLibx264WhileEncoding) {
    VideoOutputSettings settings = *proposeVideoSettings(320, 180);
    x264_param_t parameters = videoEncoderParameters(settings, AVRational{1, 90000});
    x264_t* encoder = x264_encoder_open(&parameters);
    ASSERT_NE(encoder, nullptr);
    BandedYuvConverter converter(320, 180);
    converter.update(sample(noiseFrame(320, 180, 3)));
    for (int level : {EncoderEffort::fastestLevel, 1, 0}) {
        applySearchEffort(parameters, level);
        EXPECT_EQ(x264_encoder_reconfig(encoder, &parameters), 0) << "level " << level;
        x264_picture_t input, output;
        x264_picture_init(&input);
        input.img.i_csp = X264_CSP_I420;
        input.img.i_plane = 3;
        for (int plane = 0; plane < 3; ++plane) {
            input.img.plane[plane] = converter.picture().data[plane];
            input.img.i_stride[plane] = converter.picture().linesize[plane];
        }
        input.i_pts = level;
        x264_nal_t* units = nullptr;
        int count = 0;
        EXPECT_GT(x264_encoder_encode(encoder, &units, &count, &input, &output), 0) << "level " << level;
        x264_param_t inUse;
        x264_encoder_parameters(encoder, &inUse);
        EXPECT_EQ(inUse.analyse.inter, parameters.analyse.inter) << "level " << level;
    }
    x264_encoder_close(encoder);
}

}  // namespace
}  // namespace kelvane::platform::ffmpeg
