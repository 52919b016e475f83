// The arithmetic and the decisions the program makes without GL: the sphere
// field against its worked numbers and against an evaluation written
// straight from the formulas in double precision; which eye a pass is, the
// phase over days of frames, the pass counter, the report, the command line.
#include "app/keys.h"
#include "app/loop.h"
#include "app/options.h"
#include "app/results.h"
#include "field/field.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/rate.h"
#include "render/stereo.h"
#include "modes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;

std::vector<Vec3> sweep(float T, bool direct = false) {
    std::vector<Vec3> out;
    auto keep = [&](Vec3 p) { out.push_back(p); };
    direct ? forEachSphereDirect(T, keep) : forEachSphere(T, keep);
    return out;
}

// Every formula once more, in double precision, rounded to single wherever
// the program stores a value; the generator is written anew.
std::vector<Vec3> reference(float T) {
    const double s = T * 0.5, a1 = 5 * std::sin(1.4 * T), a2 = 5 * std::sin(1.2 * T), a3 = 5 * std::sin(1.6 * T);
    const float w = static_cast<float>((std::cos(s) + 1) / 2), wc = 1.0f - w;
    const bool coil = static_cast<long>((s + PI) / (2 * PI)) % 2 == 1;
    uint32_t state = 0;
    auto angle = [&] {
        state = state * 214013u + 2531011u;
        return static_cast<float>(((state >> 16) & 0x7FFF) % 6280) * 0.001f;
    };
    auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
    std::vector<Vec3> out;
    double next = 0;
    for (float t = 0.0f; next < 6.28318530717958; t = static_cast<float>(next)) {
        next = t + PI / 180;  // compared unrounded, stored rounded
        const double td = t, r = std::sin(14 * td) + 3;
        double ax = f(td * std::sin(2 * td) / (2 * PI)), ay = f(0.07 * td), az = f(td * std::cos(2 * td) / (2 * PI));
        double bx, by, bz;
        if (coil) {
            bx = f(0.4 * r * std::cos(td)), by = f(0.4 * std::cos(14 * td)), bz = f(0.4 * r * std::sin(td));
        } else {
            bx = f(std::sin(angle() + td)), by = f(std::cos(angle() + td)), bz = f(std::cos(angle() + td));
        }
        double x = f(wc * ax + w * bx), y = f(wc * ay + w * by), z = f(wc * az + w * bz);
        double x1 = f(x * std::cos(a1) - z * std::sin(a1)), z1 = f(x * std::sin(a1) + z * std::cos(a1));
        double y2 = f(y * std::cos(a2) - z1 * std::sin(a2)), z2 = f(z1 * std::cos(a2) + y * std::sin(a2));
        double x3 = f(x1 * std::cos(a3) - y2 * std::sin(a3)), y3 = f(x1 * std::sin(a3) + y2 * std::cos(a3));
        out.push_back({static_cast<float>(4 * x3), static_cast<float>(4 * y3), static_cast<float>(4 * z2)});
    }
    return out;
}

double distance(Vec3 a, Vec3 b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

TEST(Field, MatchesTheWorkedNumbers) {
    scatterSeed(0);
    for (int expected : {38, 7719, 21238, 2437, 8855, 11797})
        EXPECT_EQ(scatterNext(), expected);
    scatterSeed(0);
    for (double expected : {0.038, 1.439, 2.398})
        EXPECT_NEAR(randomAngle(), expected, 1e-6);
    EXPECT_LT(distance(spiralPoint(static_cast<float>(PI / 2)), {0.0f, 0.1100f, -0.2500f}), 1e-4);
    EXPECT_LT(distance(coilPoint(0.0f), {1.2f, 0.4f, 0.0f}), 1e-6);

    // Phase 0: the untumbled cloud at full weight; the second sphere takes
    // the generator's next three draws.
    const std::vector<Vec3> p = sweep(0.0f);
    const float t = 0.0174533f;
    EXPECT_LT(distance(p[0], {0.1520f, 0.5257f, -2.9442f}), 1e-4);
    EXPECT_LT(distance(p[1], {4 * std::sin(2.437f + t), 4 * std::cos(2.575f + t), 4 * std::cos(5.517f + t)}), 1e-4);

    // Single-precision accumulation of one-degree steps ends just below the
    // stored full turn, at the 361st sample.
    float last = 6.2657094f;  // the 360th
    EXPECT_TRUE(nextSample(last));
    EXPECT_NEAR(last, 6.2831626, 1e-6);
    EXPECT_FALSE(nextSample(last));
}

TEST(Field, EverySweepMatchesTheIndependentEvaluation) {
    // Pure cloud, spiral and coil, both changes of the alternate shape, and
    // uneven steps across one whole period of the picture and past it.
    std::vector<float> phases = {0.0f, static_cast<float>(2 * PI), static_cast<float>(2 * PI) + 0.01f,
                                 static_cast<float>(4 * PI), static_cast<float>(6 * PI) + 0.01f, 1000.123f};
    for (int i = 0; i < 200; ++i)
        phases.push_back(0.015f * static_cast<float>(i * 43));
    double worst = 0, nearest = 15, farthest = 15;
    for (float T : phases) {
        const std::vector<Vec3> table = sweep(T), direct = sweep(T, true), want = reference(T);
        ASSERT_EQ(table.size(), 361u) << T;
        ASSERT_EQ(want.size(), 361u) << T;
        // The table-driven sweep is the direct one, bit for bit; a direct
        // sweep that did not reseed its generator would drift from it.
        ASSERT_EQ(direct.size(), 361u) << T;
        ASSERT_EQ(0, std::memcmp(table.data(), direct.data(), table.size() * sizeof(Vec3))) << T;
        for (size_t i = 0; i < table.size(); ++i) {
            nearest = std::fmin(nearest, 15 - want[i].z), farthest = std::fmax(farthest, 15 - want[i].z);
            worst = std::fmax(worst, std::fmax(std::fabs(table[i].x - want[i].x),
                                               std::fmax(std::fabs(table[i].y - want[i].y), std::fabs(table[i].z - want[i].z))));
        }
    }
    EXPECT_LE(worst, 2e-5);
    // The depths --info reports hold every sphere of these phases, and not
    // by much more.
    const DepthRange range = fieldDepthRange();
    EXPECT_TRUE(range.nearest <= nearest && range.nearest > nearest - 0.3) << range.nearest << " " << nearest;
    EXPECT_TRUE(range.farthest >= farthest && range.farthest < farthest + 0.3) << range.farthest << " " << farthest;
}

TEST(Pass, EachDisplayCallCompletesOneFrameAndBeginsTheNext) {
    // Across 2^31 passes, where a 32-bit count would overflow.
    const int64_t start = (int64_t{1} << 31) - 1000;
    passCount = start;
    animPhase = 0.0f;
    float phase = 0.0f;
    for (int call = 1; call <= 1000; ++call) {
        for (int pass = 0; pass < 2; ++pass) {
            const Eye eye = beginPass();
            // The right eye's pass adds its image to the left one's drawn at
            // the end of the previous call, and shows the frame. (What each
            // eye draws is seen in the window tests.)
            ASSERT_EQ(eye.right, pass == 0);
            ASSERT_EQ(eye.completesFrame, eye.right);
            if (!eye.right)
                phase = advancePhase(phase);
            ASSERT_EQ(animPhase, phase) << "the phase advances once a frame, in the left eye's pass";
        }
    }
    EXPECT_EQ(passCount, start + 2000);
    EXPECT_EQ(aspectRatio(480, 0), 480.0) << "a zero height must not divide by zero";
}

TEST(Pass, ARunOfFramesShowsWholeFramesTheFirstAtItsPhase) {
    passCount = 0;       // a fresh clock, whose first pass would be a right eye's, alone in its frame
    countWholeFrames();  // but a run of frames, at --phase 2 pi
    ASSERT_TRUE(nextFrameAt(6.2831853f));
    float want = 6.2831853f, left = -1;  // the next frame's phase; its left eye's
    for (int64_t shown = 0; shown < 7; countWholeFrames()) {  // which does nothing once a pass has begun
        if (!beginPass().completesFrame) {
            left = animPhase;
            continue;
        }
        ASSERT_TRUE(left == want && animPhase == want) << "frame " << shown + 1 << ": both eyes, at its phase";
        left = -1, want = advancePhase(want), ++shown;
        EXPECT_TRUE(runComplete(passCount, shown) && !runComplete(passCount, shown + 1)) << shown;
    }
}

// The second sphere follows the first one's draws: enough to see movement.
Vec3 probe(float T) {
    const SweepFrame frame = sweepFrame(T);
    float t = 0.0f;
    placeSphere(t, frame);
    nextSample(t);
    return placeSphere(t, frame);
}

// A growing single-precision phase would stop changing at 2^18, some 17.5
// million frames in; it is taken back every 40 pi, where the picture
// repeats. Across the wrap, from places before it a little apart: the phase
// stays within the period, the sphere moves every frame, and where the
// phase is taken back it stands where it would have without. A run's first
// frame lands on its phase at either end of the period.
TEST(Pass, ThePhaseNeverFreezesAndItsWrapIsUnseen) {
    for (int k = 0; k < 5; ++k) {
        float phase = static_cast<float>(PHASE_PERIOD - 1 - 0.0037 * k);
        Vec3 last = probe(phase);
        int wraps = 0;
        for (int frame = 0; frame < 200; ++frame) {
            const float before = phase;
            phase = advancePhase(phase);
            const Vec3 now = probe(phase);
            ASSERT_TRUE(phase >= 0 && phase <= PHASE_PERIOD && distance(now, last) > 0) << phase;
            if (phase < before) {
                ++wraps;
                ASSERT_LT(distance(now, probe(before + PHASE_STEP)), 1e-3) << before;
            }
            last = now;
        }
        EXPECT_EQ(wraps, 1) << k;
    }
    for (float T : {0.0f, 0.005f, 125.66f})
        EXPECT_TRUE(nextFrameAt(T) && advancePhase(animPhase) == T) << T;
}

// The record written after pass number count, or nothing.
std::string report(int64_t count, int64_t start, int64_t now) {
    RateReport r;
    char line[96];
    return makeReport(count, start, now, &r) ? std::string(line, formatReport(r, line, sizeof line)) : "";
}

TEST(Report, IsDueEvery128PassesAndReadsAsTheWorkedExamples) {
    for (int64_t count = 0; count <= 1280; ++count)  // none at 0, the left eye that begins a run of frames
        ASSERT_EQ(report(count, 100, 120).empty(), count % 128 != 0 || count == 0) << count;
    EXPECT_EQ(report(256, 100, 105), "\r128 frames in 5s (25.6000fps)");
    EXPECT_EQ(report(1280, 100, 120), "\r640 frames in 20s (32.0000fps)");
    EXPECT_EQ(report(128, 100, 100), "") << "within the first clock second nothing is written";
    EXPECT_EQ(report(128, 100, 99), "") << "nor when the clock ran backwards";
}

std::string parse(std::vector<const char*> args, Options* options) {
    args.insert(args.begin(), "quendrix");
    int argc = static_cast<int>(args.size());
    args.push_back(nullptr);
    return parseOptions(&argc, const_cast<char**>(args.data()), options);
}

TEST(Options, TakesOursLeavesGlutsAndRefusesTheRest) {
    Options o;  // (what is printed for each fault: the window tests)
    EXPECT_EQ(parse({"--fullscreen", "-display", ":1", "-iconic", "-sync", "--info", "--check",
                     "--swap-interval", "0", "-geometry", "+30+40", "-direct", "-indirect", "-gldebug", "--"}, &o), "");
    EXPECT_TRUE(o.fullscreen && o.info && o.check && o.iconic && !o.help && !o.version && o.swapInterval == 0);
    EXPECT_TRUE(o.geometry.placed && !o.geometry.sized) << "a position alone keeps the default size";
    Options sized;
    EXPECT_EQ(parse({"-h", "--version", "--frames=1000000000", "-geometry", "640x360+30+40"}, &sized), "");
    EXPECT_TRUE(sized.help && sized.version && sized.geometry.sized && sized.frames == 1000000000);
    EXPECT_EQ(sized.swapInterval, -1) << "no interval asked for: the driver's stands";
    for (const char* bad : {"", "abc", "0", "-5", "+5", " 5", "12x", "1000000001", "99999999999999999999"})
        EXPECT_NE(parse({"--frames", bad}, &o).find("--frames"), std::string::npos) << "'" << bad << "'";
    EXPECT_EQ(parse({"--eye-separation", "0.25", "--convergence=1.5e1"}, &o), "");
    EXPECT_TRUE(o.stereo.eyeSeparation == 0.25 && o.stereo.convergence == 15);
    for (const char* bad : {"", "-1", "+1", " 1", ".", "1x", "nan", "inf", "1e999", "0x10", "100.5"})
        EXPECT_NE(parse({"--eye-separation", bad}, &o).find("--eye-separation"), std::string::npos) << "'" << bad << "'";
    for (const char* bad : {"0", "0.5", "-15", "infinity", "1e6"})
        EXPECT_NE(parse({"--convergence", bad}, &o).find("--convergence"), std::string::npos) << "'" << bad << "'";
    EXPECT_EQ(parse({"--frobnicate=x", "--frame"}, &o), "unrecognized option '--frobnicate=x'") << "the first fault";
    EXPECT_EQ(parse({"-"}, &o), "unexpected argument '-'");
    // Runs for scripts: off-screen, into files, from a phase; and what they cannot be given.
    Options s;
    EXPECT_EQ(parse({"--offscreen", "--frames", "5", "--phase=6.2831853", "--results", "r.json", "--save-images", "d",
                     "-geometry", "64x64"}, &s), "");
    EXPECT_TRUE(s.offscreen && s.phase == 6.2831853 && s.results == "r.json" && s.saveImages == "d");
    const std::pair<std::vector<const char*>, const char*> refused[] = {
        {{"--offscreen"}, "--offscreen needs"}, {{"--offscreen", "--check", "-iconic"}, "'-iconic'"},
        {{"--offscreen", "--frames", "5", "-display", ":1"}, "'-display'"},
        {{"--offscreen", "--check", "--fullscreen"}, "'--fullscreen'"},
        {{"--offscreen", "--check", "--swap-interval", "0"}, "--swap-interval"},
        {{"--offscreen", "--check", "--samples", "4"}, "--samples"}, {{"--results", "r"}, "--results needs"},
        {{"--save-images", "d"}, "--save-images needs"}, {{"--check", "--phase", "0"}, "--phase does not"},
        {{"--check", "--frames", "5"}, "--frames does not"},
        {{"--frames", "5", "--results="}, "--results needs a file"}, {{"--phase", "125.67"}, "not '125.67'"},
        {{"--phase", "-0"}, "not '-0'"}, {{"--phase", "1e400"}, "not '1e400'"}, {{"--phase", "nan"}, "not 'nan'"}};
    for (const auto& [args, fault] : refused)
        EXPECT_NE(parse(args, &(o = Options())).find(fault), std::string::npos) << args[0] << " " << fault;
}

TEST(Report, FrameTimesSpreadInAFixedHistogram) {
    FrameTimes t;  // frames of 1, 2, ... 100 ms, given out of order
    for (int64_t ms = 100; ms >= 1; --ms)
        addFrameTime(&t, ms * 1000000);
    EXPECT_EQ(t.least, 1000000);
    EXPECT_EQ(t.greatest, 100000000);
    const std::pair<double, double> ranks[] = {{0.5, 50}, {0.95, 95}, {0.99, 99}, {0, 1}, {1, 100}};
    for (const auto& [p, ms] : ranks)
        EXPECT_NEAR(frameTimeAt(t, p) / 1e6, ms, ms * 1e-3) << p;
    FrameTimes small;  // below 512 ns exactly
    for (int64_t ns : {300, 100, 200, 511})
        addFrameTime(&small, ns);
    EXPECT_EQ(frameTimeAt(small, 0.5), 200);
    EXPECT_EQ(frameTimeAt(small, 0.75), 300);
    EXPECT_EQ(frameTimeAt(FrameTimes(), 0.5), 0);
    // The results file takes them at the same ranks.
    const_cast<FrameTimes&>(frameTimes()) = t;
    noteFrames(100, 5050);
    const std::string document = resultsDocument(DONE, "");
    for (const auto& [name, ms] : {std::pair{"median", 50}, {"p95", 95}, {"p99", 99}}) {
        const size_t at = document.find("\"" + std::string(name) + "\": ");
        EXPECT_NEAR(at == std::string::npos ? 0 : std::stod(document.substr(at + std::strlen(name) + 4)), ms, ms * 1e-3)
            << name << "\n" << document;
    }
}

// X's geometry syntax, read as X reads it; what X cannot read is refused.
TEST(Options, GeometryAsXReadsIt) {
    const std::pair<const char*, std::vector<int>> read[] = {  // size, width, height; position, x, y, from far edges
        {"640x360+30+40", {1, 640, 360, 1, 30, 40, 0, 0}}, {"=10X20-0-5", {1, 10, 20, 1, 0, 5, 1, 1}},
        {"-100-100", {0, 0, 0, 1, 100, 100, 1, 1}},         {"+-5+10", {0, 0, 0, 1, -5, 10, 0, 0}}};
    for (const auto& [text, want] : read) {
        Geometry g;
        const bool parsed = parseGeometry(text, &g);
        EXPECT_TRUE(parsed && (std::vector<int>{g.sized, g.width, g.height, g.placed, g.x, g.y, g.fromRight,
                                                g.fromBottom}) == want) << text;
    }
    Geometry g;
    for (const char* bad : {"", "garbage", "=", "0x10", "10x", "x10", "10x10+5", "+5", "10x10+5+5junk", "10x10 ",
                            "99999999x1", "10*10"})
        EXPECT_FALSE(parseGeometry(bad, &g)) << "'" << bad << "'";
}

// The check waits for its window to be on the screen at its size, but not
// for one minimised on purpose, and not for ever.
TEST(Options, CheckWaitsForItsWindowOnlyWhileItMayCome) {
    EXPECT_TRUE(checkMayStart(true, true, false, 0));
    EXPECT_TRUE(checkMayStart(true, false, true, 0)) << "-iconic: nothing on the screen to wait for";
    EXPECT_FALSE(checkMayStart(true, false, false, 9.9));
    EXPECT_FALSE(checkMayStart(false, true, true, 9.9)) << "not yet its size";
    EXPECT_TRUE(checkMayStart(false, false, false, 10.1)) << "it waits ten seconds at most";
}

TEST(Options, TheRunKindAndItsBound) {
    Options check, offscreen, frames, plain;
    check.check = offscreen.check = offscreen.offscreen = true;
    frames.frames = 5;
    const Deadline waiting = runDeadline(check, false), shown = runDeadline(check, true), run = runDeadline(frames, false);
    EXPECT_TRUE(waiting.seconds == 30 && waiting.seconds + shown.seconds <= 120 && shown.seconds > 10)
        << "the manual: shown within 30 seconds, two minutes in all, after the check's own ten seconds' wait";
    EXPECT_EQ(runDeadline(offscreen, false).seconds, 120u);
    EXPECT_STREQ(waiting.why, "its window was not shown within 30 seconds");
    EXPECT_STREQ(shown.why, "it did not end within two minutes");
    EXPECT_TRUE(run.seconds == 30 && std::strcmp(run.why, "the window was not shown within 30 seconds") == 0);
    EXPECT_TRUE(runDeadline(frames, true).seconds == 0 && runDeadline(plain, false).seconds == 0)
        << "frames take as long as they take, and a plain run as long as its user likes";
    offscreen.frames = 5;  // refused on a command line; the check all the same, wherever it draws
    EXPECT_TRUE(runKind(offscreen) == CHECK_RUN && runKind(frames) == FRAMES_RUN && runKind(plain) == PLAIN_RUN);
}

TEST(Stereo, EachModePutsEachEyeWhereTheManualSays) {
    for (int mode = 0; mode < STEREO_MODES; ++mode) {
        const ModeStatement& m = MODES[mode];
        ASSERT_STREQ(STEREO_MODE_TABLE[mode].name, m.name);
        const std::string where = m.where;
        // Sizes odd and even, at places on the screen odd and even.
        for (auto [w, h, sx, sy] : {std::array{66, 37, 0, 0}, {65, 36, 1, 0}, {7, 5, 0, -1}, {1, 1, -1, -1}})
            for (bool swapped : {false, true})
                for (bool right : {false, true}) {
                    const EyeView v = eyeView({static_cast<StereoMode>(mode), swapped}, right, w, h, sx, sy);
                    const std::string channels = right ? m.right : m.left, at = m.name + (" " + std::to_string(w));
                    EXPECT_EQ(v.drawn, !channels.empty()) << at;
                    for (int c = 0; c < 3 && v.drawn; ++c)
                        EXPECT_EQ(v.channels[c], channels.find("rgb"[c]) != std::string::npos) << at;
                    EXPECT_EQ(v.shift, right == swapped ? 0.5 : -0.5) << at << " swapped " << swapped;
                    EXPECT_EQ(v.buffer, where != "buffers" ? BACK : right ? BACK_RIGHT : BACK_LEFT) << at;
                    // The left (top) half is the smaller of an odd size; a
                    // squeezed half keeps the whole window's proportions.
                    const bool halves = where.find("halves") != std::string::npos;
                    const bool stacked = where.find("top bottom") != std::string::npos;
                    const bool second = right != (where == "crossed halves");
                    const int left = halves && second ? w / 2 : 0, width = halves ? (second ? w - w / 2 : w / 2) : w;
                    const int height = stacked ? (second ? h - h / 2 : h / 2) : h;
                    const int y = stacked && !second ? h - h / 2 : 0;
                    EXPECT_EQ(std::vector<int>(v.viewport, v.viewport + 4), (std::vector<int>{left, y, width, height})) << at;
                    const bool squeezed = where.find("squeezed") == 0;
                    EXPECT_EQ(v.aspect, squeezed ? aspectRatio(w, h) : aspectRatio(width, height)) << at;
                    // Interleaved: the eye's rows, columns or squares, counted
                    // from the screen's top left, and the stipple that draws them.
                    unsigned char stipple[128];
                    stipplePattern(v.pixels, h, stipple);
                    for (int gy = 0; gy < h; ++gy)
                        for (int x = 0; x < w; ++x) {
                            const int top = h - 1 - gy, row = sy + top, column = sx + x;
                            const int parity = (where == "rows" ? row : where == "columns" ? column : row + column) & 1;
                            const bool owns = (where != "rows" && where != "columns" && where != "squares") ||
                                              parity == (right ? 1 : 0);
                            ASSERT_EQ(ownsPixel(v.pixels, x, top), owns) << at << " " << x << "," << top;
                            ASSERT_EQ((stipple[gy % 32 * 4 + x % 32 / 8] >> (7 - x % 8)) & 1, owns ? 1 : 0) << at;
                        }
                }
    }
}

// The parallax --info reports, against a worked number and against off-axis
// cameras: each eye a point on the baseline, its frustum's centre line
// through the middle of the convergence plane (or straight ahead), a point
// straight ahead seen through it, shown as wide as the display shows the
// eye's picture (a TV stretches a squeezed half to the whole width).
TEST(Stereo, ParallaxIsWhatTheCamerasGiveOnTheDisplay) {
    EXPECT_NEAR(screenParallax({}, 480, 480, 15).pixels, 240 / std::tan(25 * PI / 180) / 15, 1e-9);
    EXPECT_NEAR(screenParallax({}, 480, 480, 15).pixels, 34.3121, 1e-4);
    for (int mode = 0; mode < STEREO_MODES; ++mode)
        for (double separation : {0.0, 0.5, 3.0})
            for (double convergence : {0.0, 15.0, 40.0})
                for (double z : {9.0, 15.0, 23.0}) {
                    const std::string where = MODES[mode].name + std::string(" ") + MODES[mode].where;
                    const bool halves = where.find("halves") != std::string::npos;
                    const bool stacked = where.find("top bottom") != std::string::npos;
                    const bool squeezed = where.find("squeezed") != std::string::npos;
                    const int w = 960, h = 360, drawn = halves ? w / 2 : w;
                    const double aspect = squeezed ? w / double(h) : drawn / (stacked ? h / 2.0 : h);
                    auto across = [&](double eye) {  // in halves of the picture's width
                        const double centre = convergence > 0 ? -eye / convergence : 0;
                        return (-eye / z - centre) / (aspect * std::tan(25 * PI / 180));
                    };
                    const double share = (across(-separation / 2) - across(separation / 2)) / 2;
                    const Stereo stereo = {static_cast<StereoMode>(mode), mode % 2 == 1, separation, convergence};
                    const Parallax p = screenParallax(stereo, w, h, z);
                    EXPECT_NEAR(p.share, share, 1e-12) << where << " " << separation << " " << convergence << " " << z;
                    EXPECT_NEAR(p.pixels, share * (squeezed ? w : drawn), 1e-9) << where;
                }
}

TEST(Keys, EveryKeyThatTypesACharacterCountsInAnyScript) {
    // a, space, e acute, the euro sign (AltGr+E), Cyrillic ef, Greek alpha,
    // Hebrew alef, Ukrainian ghe with upturn, Thai ko kai, and U+0574 (Armenian).
    for (unsigned long keysym : {0x61ul, 0x20ul, 0xe9ul, 0x20acul, 0x6c6ul, 0x7e1ul, 0xce0ul, 0x6adul, 0xda1ul,
                                 0x1000574ul})
        EXPECT_TRUE(keysymTypesCharacter(keysym)) << std::hex << keysym;
    // Nothing, arrows, F1, Shift, Control, AltGr itself, a dead acute, Return.
    for (unsigned long keysym : {0x0ul, 0xff51ul, 0xffbeul, 0xffe1ul, 0xffe4ul, 0xfe03ul, 0xfe51ul, 0xff0dul})
        EXPECT_FALSE(keysymTypesCharacter(keysym)) << std::hex << keysym;
}

// The depth keys: steps of 0.1 and 1 unit within the options' ranges, the
// screen's plane first at the field's centre, Home the command line's.
TEST(Keys, DepthKeysStepWithinTheRangesAndHomeGoesBack) {
    const Stereo given = {ROWS, false, 1.0, 0.0};
    Stereo s = given;
    for (int i = 0; i < 5; ++i)
        s = depthAfterKey(s, LESS_SEPARATION, given);
    EXPECT_EQ(s.eyeSeparation, 0.5);
    for (int i = 0; i < 6; ++i)
        s = depthAfterKey(s, LESS_SEPARATION, given);
    EXPECT_EQ(s.eyeSeparation, 0.0) << "below 0, or dust of binary fractions";
    EXPECT_EQ(depthAfterKey({RED_BLUE, false, 99.95, 0}, MORE_SEPARATION, given).eyeSeparation, 100);
    EXPECT_EQ(depthAfterKey(s, MORE_SEPARATION, given).eyeSeparation, 0.1);
    EXPECT_EQ(depthAfterKey(given, NEARER_SCREEN, given).convergence, 15) << "parallel views converge on the centre";
    EXPECT_EQ(depthAfterKey(given, FARTHER_SCREEN, given).convergence, 15);
    for (auto [from, key, to] : {std::tuple{15.0, FARTHER_SCREEN, 16.0}, {15.0, NEARER_SCREEN, 14.0},
                                 {1.5, NEARER_SCREEN, 1.0}, {99999.5, FARTHER_SCREEN, 100000.0}})
        EXPECT_EQ(depthAfterKey({RED_BLUE, false, 1, from}, key, given).convergence, to) << from;
    s = depthAfterKey(depthAfterKey(s, SWAP_EYES, given), FARTHER_SCREEN, given);
    EXPECT_TRUE(s.swapEyes && s.mode == ROWS && !depthAfterKey(s, SWAP_EYES, given).swapEyes);
    s = depthAfterKey(s, COMMAND_LINE, given);
    EXPECT_TRUE(s.mode == ROWS && !s.swapEyes && s.eyeSeparation == 1 && s.convergence == 0);
}

// The line a key prints: the settings as the options take them, and the
// parallax in --info's words, of the nearest and the farthest sphere.
TEST(Keys, TheLineSaysTheSettingsAndTheirParallax) {
    const DepthRange d = fieldDepthRange();
    const double near = 240 / std::tan(25 * PI / 180) / d.nearest, far = 240 / std::tan(25 * PI / 180) / d.farthest;
    char words[160];
    std::snprintf(words, sizeof words, "parallax at 480 x 480: nearest sphere %.1f px in front (%.2f%% of the width), "
                  "farthest %.1f px in front (%.2f%%)\n", near, near / 4.8, far, far / 4.8);
    EXPECT_EQ(depthLine({}, 480, 480), "eye separation 1, convergence parallel; " + std::string(words));
    EXPECT_NE(depthLine({RED_BLUE, false, 1, 15}, 480, 480).find("px behind"), std::string::npos);
}

}  // namespace
