// The frame-rate report's decision and text, driven without a window or a
// real clock.
#include "render/report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string text(const RateReport& r) {
    char buf[96];
    size_t n = formatReport(r, buf, sizeof buf);
    return std::string(buf, n);
}

TEST(Report, NoneBeforeThe128thPassHoweverLongItRan) {
    RateReport r;
    for (int64_t count = 1; count < 128; ++count)
        EXPECT_FALSE(makeReport(count, 1000, 1000 + 3600, &r)) << count;
    EXPECT_TRUE(makeReport(128, 1000, 1000 + 3600, &r));
    EXPECT_EQ(r.frames, 64);
}

TEST(Report, SkippedWithinTheFirstClockSecondThenWrittenNormally) {
    RateReport r;
    EXPECT_FALSE(makeReport(128, 5000, 5000, &r));
    EXPECT_FALSE(makeReport(128, 5000, 4999, &r)) << "a clock that ran backwards writes nothing";
    ASSERT_TRUE(makeReport(256, 5000, 5001, &r));
    EXPECT_EQ(text(r), "\r128 frames in 1s (128.0000fps)");
}

TEST(Report, MatchesTheWorkedExamples) {
    RateReport r;
    ASSERT_TRUE(makeReport(256, 100, 105, &r));
    EXPECT_EQ(r.frames, 128);
    EXPECT_EQ(r.seconds, 5);
    EXPECT_EQ(text(r), "\r128 frames in 5s (25.6000fps)");
    ASSERT_TRUE(makeReport(1280, 100, 120, &r));
    EXPECT_EQ(text(r), "\r640 frames in 20s (32.0000fps)");
    ASSERT_TRUE(makeReport(384, 0, 7, &r));
    EXPECT_EQ(text(r), "\r192 frames in 7s (27.4286fps)");
}

TEST(Report, FramesAreAlwaysAMultipleOf64) {
    RateReport r;
    int reports = 0;
    for (int64_t count = 1; count <= 128 * 50; ++count) {
        if (!makeReport(count, 0, 10, &r))
            continue;
        ++reports;
        EXPECT_EQ(r.frames % 64, 0);
        EXPECT_EQ(r.frames, 64 * reports);
    }
    EXPECT_EQ(reports, 50);
}

TEST(Report, TextFitsASmallBuffer) {
    RateReport r = {640, 20, 32.0};
    char buf[8];
    size_t n = formatReport(r, buf, sizeof buf);
    EXPECT_EQ(n, 7u);
    EXPECT_EQ(std::string(buf, n), "\r640 fr");
}

}  // namespace
