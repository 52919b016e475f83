// Runs for scripts and CI: off-screen with no display server at all (no
// DISPLAY, no WAYLAND_DISPLAY), the check there on correct and broken GL
// stacks, and the results file and the picture of the last frame, read by
// a reader written apart from the program.
#include <gtest/gtest.h>

#include "harness.h"
#include "picture.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string NO_DISPLAY = "DISPLAY WAYLAND_DISPLAY";  // removed from the environment


// Python's json and zlib read the results file (argv[1]) and the PNG file
// (argv[2]): the JSON parses, its command line is the one given (argv[4:]),
// its rate the frames over its seconds, its frame times in order; each
// chunk's CRC holds, and the pixels, unfiltered, go to argv[3].
const char* const READER = R"(import json, struct, sys, zlib
d = json.load(open(sys.argv[1])); f = d["frames"]; t = f["frame_time_ms"]
)" VALIDATE R"(
assert d["command_line"][1:] == sys.argv[4:], d["command_line"]
assert abs(f["rate"] - f["frames"] / f["seconds"]) <= 1e-9 * f["rate"], f
assert 0 < t["min"] <= t["median"] <= t["p95"] <= t["p99"] <= t["max"], t
png, at, data = open(sys.argv[2], "rb").read(), 8, b""
assert png[:8] == b"\x89PNG\r\n\x1a\n"
while at < len(png):
    n, kind = struct.unpack(">I4s", png[at:at + 8]); body = png[at + 8:at + 8 + n]
    assert struct.unpack(">I", png[at + 8 + n:at + 12 + n])[0] == zlib.crc32(kind + body), kind
    if kind == b"IHDR": w, h, depth, colour = struct.unpack(">IIBB", body[:10])
    data, at = data + (body if kind == b"IDAT" else b""), at + 12 + n
assert depth == 8 and colour == 2
raw, stride, prev, rows = zlib.decompress(data), 3 * w, bytearray(3 * w), []
for y in range(h):
    kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a, b, c = row[i - 3] if i >= 3 else 0, prev[i], prev[i - 3] if i >= 3 else 0
        pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
        row[i] = (row[i] + [0, a, b, (a + b) // 2, a if pa <= pb and pa <= pc else b if pb <= pc else c][kind]) % 256
    rows.append(row); prev = row
open(sys.argv[3], "wb").write(b"".join(rows))
print(d["drawable"], d["frame_size"]["width"], d["frame_size"]["height"], f["frames"], "%.3f" % f["seconds"],
      d["stereo_mode"], d["eye_order"], d["samples"], "egl_platform" in d["gl"], w, h))";

// What the reader says of a run's files, its last line; the picture in *pic.
std::string readOutputs(const std::string& results, const std::string& png, const std::vector<std::string>& args,
                        Picture* pic) {
    const std::string script = ::testing::TempDir() + "quendrix-reader.py", raw = png + ".rgb";
    std::ofstream(script) << READER;
    std::string command = PYTHON + " " + quote(script);
    for (const std::string& a : std::vector<std::string>{results, png, raw})
        command += " " + quote(a);
    for (const std::string& a : args)
        command += " " + quote(a);
    const std::string out = shell(command + " 2>&1");
    std::ifstream pixels(raw, std::ios::binary);
    pic->rgb.assign(std::istreambuf_iterator<char>(pixels), std::istreambuf_iterator<char>());
    std::sscanf(out.c_str() + out.rfind(' ', out.rfind(' ') - 1), "%d %d", &pic->width, &pic->height);
    if (pic->rgb.size() != static_cast<size_t>(pic->width) * pic->height * 3)
        pic->width = pic->height = 0;  // nothing to judge
    return out;
}


// The seconds of the result line on standard output.
std::string seconds(const Program& p) {
    std::smatch m;
    const std::string out = slurp(p.outPath);
    return std::regex_search(out, m, std::regex(" in ([0-9.]+)s ")) ? m[1].str() : "?";
}

// A run of frames with no display server: --info names the EGL platform,
// the results file and the picture say what was run and drawn; files that
// cannot be written give status 1 after the result line. The check passes
// in several modes, and fails on stacks broken one way at a time.
TEST(Scripts, OffScreenWithNoDisplayServer) {
    const std::string run = runCommand(NO_DISPLAY);
    if (WINDOWS) {
        EXPECT_EQ(shell(run + " --offscreen --frames 5 2>&1; echo $?"),
                  "quendrix: --offscreen draws through EGL, which this system does not have\n77\n");
        return;
    }
    const std::string dir = ::testing::TempDir() + "quendrix-offscreen-" + std::to_string(getpid());
    const std::string results = dir + "/it's \"1\" \\ 2.json";  // quoted in the command line it records
    shell("rm -rf " + quote(dir) + "; mkdir " + quote(dir));
    const std::vector<std::string> args = {"--offscreen", "--frames", "300", "-geometry", "321x200", "--info",
                                           "--stereo", "red-cyan", "--results", results, "--save-images", dir};
    Program p(args, ErrorTo::File, NO_DISPLAY);
    ASSERT_EQ(p.status(120), 0) << slurp(p.errPath);
    std::string info, rest;
    expectResult(p, 300, &info);
    EXPECT_TRUE(std::regex_match(info, std::regex("GL_RENDERER: .+\nGL_VERSION: .+\nGL_VENDOR: .+\nswap interval: 0\n"
                                                  "samples: 0\nparallax at 321 x 200: [^\n]*\n"
                                                  "EGL platform: (device [0-9]+ of [0-9]+ \\(.+\\)|"
                                                  "surfaceless), EGL [0-9.]+.*\n"))) << info;
    Picture pic;
    EXPECT_EQ(readOutputs(results, dir + "/frame-300-red-cyan.png", args, &pic),
              "off-screen 321 200 300 " + seconds(p) + " red-cyan normal 0 True 321 200\n");
    expectEyes(pic, MODES[1]);
    // A run's first frame has both eyes, in modes of each kind (the picture
    // read back is the window's whole frame whatever its layout).
    for (const ModeStatement& m : {MODES[2], MODES[5], MODES[6], MODES[8], MODES[9], MODES[10], MODES[11], MODES[14]}) {
        SCOPED_TRACE(m.name);
        const std::vector<std::string> one = {"--offscreen", "--frames", "1", "--phase", "12.566371", "-geometry",
                                              "240x240", "--stereo", m.name, "--results", dir + "/one.json",
                                              "--save-images", dir};
        ASSERT_EQ(Program(one, ErrorTo::File, NO_DISPLAY).status(60), 0);
        readOutputs(dir + "/one.json", dir + "/frame-1-" + m.name + ".png", one, &pic);
        expectEyes(pic, m);
    }

    Program lost({"--offscreen", "--frames", "20", "--results", "/"}, ErrorTo::File, NO_DISPLAY);  // the result line all the same
    EXPECT_EQ(lost.status(120), 99 << 8);
    expectResult(lost, 20, &info);
    const std::vector<long> records20 = records(lost, &rest);
    EXPECT_EQ(rest, lineEnd(records20) + "quendrix: cannot write the results to '/': Is a directory\n");

    const std::regex passed("frames of 480 x 480 pixels, stereo mode [a-z-]+, channels of 8, 8 and 8 bits, depth of "
                            "[0-9]+ bits, off-screen: judged as drawn, with no screen to compare\n"
                            "([a-z, ]+ \\(T = [^\n]*: ok\n){8,13}spheres: [^\n]*\ncheck passed\n0\n");
    const std::string out = outputAndStatus({"--offscreen", "--check"}, NO_DISPLAY);  // every mode: Scripts/Outcomes
    EXPECT_TRUE(std::regex_match(out, passed)) << out;
    // A failed check's results name the sphere left out; its pictures, three
    // a frame judged, say where to look.
    const std::string last = shell(
        runCommand(NO_DISPLAY + " BROKEN_SPHERE=27 " BROKEN_GL("drop")) +
        " --offscreen --check --results " + quote(dir + "/check.json") + " --save-images " + quote(dir + "/check") + " 2>/dev/null | tail -n 1");
    EXPECT_EQ(last, "check FAILED: what each frame must show, what was drawn and where they differ are in " + dir + "/check\n");
    const std::string frames = shell("ls " + quote(dir + "/check") + " | grep -c '^check-red-blue-.*png$'");
    EXPECT_EQ(validDocument(dir + "/check.json", ", d['check']['verdict'], [27] in [f['spheres_missing'] for f in "
                                                 "d['check']['frames']], 3 * len(d['check']['frames']), d['check']"
                                                 "['last_line']"),
              "valid failed True " + frames.substr(0, frames.size() - 1) + " " + last);
}

// The results document alone on standard output with '-', after what was
// written there with /dev/stdout; a file that cannot be written whole
// (1 KiB of file allowed, ulimit -f) leaves the old one as it was and no
// part of the new one behind.
TEST(Scripts, ResultsDeliveredWholeOrNotAtAll) {
    if (WINDOWS)
        GTEST_SKIP() << "no EGL";
    const std::string dir = ::testing::TempDir() + "quendrix-whole-" + std::to_string(getpid());
    const std::string run = "cd " + quote(dir) + " && " + runCommand(NO_DISPLAY) + " --offscreen --frames 5";
    shell("rm -rf " + quote(dir) + "; mkdir " + quote(dir) + "; echo old > " + quote(dir + "/r.json") + "; ln -s r.json " + quote(dir + "/link"));
    EXPECT_EQ(shell(run + " --results - >" + quote(dir + "/doc.json") + " 2>" + quote(dir + "/err") + "; echo $?"), "0\n");
    EXPECT_EQ(validDocument(dir + "/doc.json", ", d['frames']['frames']"), "valid 5\n");
    EXPECT_TRUE(std::regex_search(slurp(dir + "/err"), std::regex("\n5 frames in [0-9.]+s \\([0-9.]+fps\\)\n$")));
    EXPECT_TRUE(std::regex_search(shell("(echo before; " + run + " --results /dev/stdout) >" + quote(dir + "/out") + " 2>/dev/null; cat " +
                                        quote(dir + "/out")), std::regex("^before\n5 frames in [^\n]+\n\\{\n")));
    EXPECT_EQ(shell("(trap '' XFSZ; ulimit -f 1; " + run + " --results r.json --save-images .; echo $? >s) 2>&1 "
                    ">/dev/null | grep ^quendrix:; cat " + quote(dir + "/s") + "; rm " + quote(dir + "/s") + ""),
              "quendrix: cannot write './frame-5-red-blue.png': File too large\n"
              "quendrix: cannot write the results to 'r.json': File too large\n99\n");
    EXPECT_EQ(shell("cd " + quote(dir) + " && ls && cat r.json"), "doc.json\nerr\nlink\nout\nr.json\nold\n");
    shell(run + " --results link 2>/dev/null");  // a link stays one, to the document
    EXPECT_EQ(validDocument(dir + "/link", ", __import__('os').path.islink(sys.argv[1])"), "valid True\n");
}

// Each way a run ends, its status as test harnesses read it, and the
// results document that says the same (none where the command line was
// refused: nothing was read).
struct Ending {
    const char* name;
    const char* env;       // removed (a name alone) and added
    const char* args;      // and --results, unless these name where
    const char* document;  // the status, then what the validator prints of the document (empty: none written)
};
class Outcomes : public testing::TestWithParam<Ending> {};

TEST_P(Outcomes, StatusAndResultsSayTheSame) {
    const Ending& e = GetParam();
    const std::string results = ::testing::TempDir() + "quendrix-outcome.json", args = e.args;
    if (WINDOWS && (args.find("--offscreen") != std::string::npos || std::strstr(e.env, "DISPLAY")))
        GTEST_SKIP() << "no EGL, and with no display Wine itself cannot start";
    unlink(results.c_str());
    Program p(words(args.find("--results") == std::string::npos ? args + " --results " + results : args), ErrorTo::File, e.env);
    const int status = p.status(180);
    const bool written = std::strstr(e.document, "valid");  // or "1", the count of "No such file"
    EXPECT_EQ(std::to_string(WEXITSTATUS(status)) + "\n" +
                  (written ? validDocument(results, ", d['status'], d['outcome'], d['reason'] != '', d['check']"
                                                    "['verdict'] if 'check' in d else d.get('frames', {}).get('frames')")
                           : shell("ls " + quote(results) + " 2>&1 | grep -c 'No such'")),
              e.document);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Outcomes,
    testing::Values(Ending{"FramesDone", "DISPLAY", "--offscreen --frames 5", "0\nvalid 0 done False 5\n"},
                    Ending{"CheckPassed", "DISPLAY", "--offscreen --check", "0\nvalid 0 done False passed\n"},
                    Ending{"CheckEveryMode", "DISPLAY", "--offscreen --check --stereo all", "0\nvalid 0 done False passed\n"},
                    Ending{"CheckJudgedWrong", BROKEN_GL("mask"), "--offscreen --check", "1\nvalid 1 failed False failed\n"},
                    Ending{"CommandLineRefused", "DISPLAY", "--offscreen --check --frames 5", "2\n1\n"},
                    Ending{"NoQuadOffScreen", "DISPLAY", "--offscreen --check --stereo quad", "77\nvalid 77 skipped True not_judged\n"},
                    Ending{"NoEgl", "DISPLAY __EGL_VENDOR_LIBRARY_FILENAMES=/none.json", "--offscreen --frames 5", "77\nvalid 77 skipped True None\n"},
                    Ending{"OffScreenLargerThanEglMakes", "DISPLAY", "--offscreen --frames 5 -geometry 8000x8000", "77\nvalid 77 skipped True None\n"},
                    Ending{"NoDisplayForAWindow", "DISPLAY WAYLAND_DISPLAY", "--check", "77\nvalid 77 skipped True not_judged\n"},
                    Ending{"PictureNotWritten", "DISPLAY", "--offscreen --frames 5 --save-images /dev/null/x", "99\nvalid 99 error True 5\n"},
                    Ending{"CheckResultsNotWritten", "DISPLAY", "--offscreen --check --results /dev/full", "99\n1\n"}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

// The same files from a run of one frame in a window, its eyes swapped.
TEST(Scripts, ResultsAndPictureOfARunInAWindow) {
    const std::string dir = ::testing::TempDir() + "quendrix-window-" + std::to_string(getpid());
    const std::string results = dir + "/results.json";
    shell("rm -rf " + quote(dir) + "; mkdir " + quote(dir));
    const std::vector<std::string> args = {"--frames", "1", "-geometry", "640x360", "--stereo", "side-by-side",
                                           "--swap-eyes", "--results", results, "--save-images", dir};
    Program p(args);
    ASSERT_EQ(p.status(120), 0) << slurp(p.errPath);
    Picture pic;
    EXPECT_EQ(readOutputs(results, dir + "/frame-1-side-by-side.png", args, &pic),
              "window 640 360 1 " + seconds(p) + " side-by-side swapped 0 False 640 360\n");
    expectEyes(pic, MODES[4], true);
}

}  // namespace
