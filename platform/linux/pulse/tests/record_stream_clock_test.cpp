#include "platform/linux/pulse/record_stream_clock.h"

#include <gtest/gtest.h>

namespace kelvane::platform::pulse {
namespace {

constexpr std::int64_t ms = 1'000'000;
constexpr std::int64_t second = 1000 * ms;
// 48000 Hz stereo float.
constexpr std::int64_t bytesPerSecond = 48000 * 2 * 4;
constexpr std::int64_t tenMsOfBytes = bytesPerSecond / 100;

ServerTiming report(std::int64_t takenAtNs, std::int64_t writeIndexBytes, std::int64_t sinkNs, std::int64_t sourceNs) {
    return ServerTiming{takenAtNs, writeIndexBytes, sourceNs, sinkNs};
}

TEST(RecordStreamClock, AMonitorsSoundIsStampedWhenTheSinkPlaysIt) {
    RecordStreamClock clock(bytesPerSecond);
    // 5 s written; the sink still holds 10 ms of what it rendered before it is heard.
    clock.report(report(100 * second, 5 * bytesPerSecond, 10 * ms, 0));
    // The newest written byte is heard 10 ms after the report; 10 ms before it, at the report.
    EXPECT_EQ(clock.timeOf(5 * bytesPerSecond), 100 * second + 10 * ms);
    EXPECT_EQ(clock.timeOf(5 * bytesPerSecond - tenMsOfBytes), 100 * second);
    // Bytes written after the report continue the same line, whenever they are read.
    EXPECT_EQ(clock.timeOf(5 * bytesPerSecond + 50 * tenMsOfBytes), 100 * second + 510 * ms);
}

TEST(RecordStreamClock, ASourcesSoundIsStampedWhenItWasCaptured) {
    RecordStreamClock clock(bytesPerSecond);
    // The newest written byte had waited 25 ms in the device.
    clock.report(report(100 * second, 5 * bytesPerSecond, 0, 25 * ms));
    EXPECT_EQ(clock.timeOf(5 * bytesPerSecond), 100 * second - 25 * ms);
    EXPECT_EQ(clock.timeOf(4 * bytesPerSecond), 99 * second - 25 * ms);
}

TEST(RecordStreamClock, ASinkHoldingMoreThanWasWrittenIsNotClampedAway) {
    RecordStreamClock clock(bytesPerSecond);
    // Just after the start: an idle sink rendered 655 ms ahead, 2.5 ms of it written so far.
    const std::int64_t written = tenMsOfBytes / 4;
    clock.report(report(100 * second, written, 655 * ms, 0));
    // The first byte is heard 652.5 ms after the report, not a whole sink's worth earlier.
    EXPECT_EQ(clock.timeOf(0), 100 * second + 652 * ms + ms / 2);
}

TEST(RecordStreamClock, OnlyReportsOfAFlowingStreamAreUsed) {
    RecordStreamClock clock(bytesPerSecond);
    EXPECT_EQ(clock.timeOf(0), std::nullopt);
    // Taken as the stream connected, before anything was written: describes sound rendered
    // for nobody, so it stamps nothing.
    clock.report(report(100 * second, 0, 655 * ms, 0));
    EXPECT_EQ(clock.timeOf(0), std::nullopt);

    clock.report(report(101 * second, tenMsOfBytes, 10 * ms, 0));
    EXPECT_EQ(clock.timeOf(0), 101 * second);
    // A later report re-anchors the line, so a device clock that drifts is followed.
    clock.report(report(102 * second, 100 * tenMsOfBytes + tenMsOfBytes, 10 * ms + ms / 5, 0));
    EXPECT_EQ(clock.timeOf(0), 101 * second + ms / 5);
    // A new stream forgets the old one's reports.
    clock.reset();
    EXPECT_EQ(clock.timeOf(0), std::nullopt);
}

TEST(RecordStreamClock, LongRecordingsKeepExactTimes) {
    RecordStreamClock clock(bytesPerSecond);
    // Ten hours of sound: positions of 13.8 GB do not overflow the arithmetic.
    const std::int64_t tenHours = 36'000 * bytesPerSecond;
    clock.report(report(40'000 * second, tenHours, 0, 0));
    EXPECT_EQ(clock.timeOf(tenHours - 3 * tenMsOfBytes), 40'000 * second - 30 * ms);
    EXPECT_EQ(clock.timeOf(0), 4'000 * second);
}

TEST(RecordStreamClock, WithoutAReportTheNewestWaitingSoundIsTakenAsHeardNow) {
    RecordStreamClock clock(bytesPerSecond);
    EXPECT_EQ(clock.timeFromWaitingSound(100 * second, 3 * tenMsOfBytes), 100 * second - 30 * ms);
    EXPECT_EQ(clock.timeFromWaitingSound(100 * second, 0), 100 * second);
}

}  // namespace
}  // namespace kelvane::platform::pulse
