// The check's run: whole frames drawn by the program's own passes at fixed
// phases, read back from the back buffer before the swap, the screen looked
// at between the two eyes and after the swap, each frame judged, and the
// verdict written.
#include "check/check.h"

#include "platform/gl.h"
#include "platform/platform.h"
#include "render/pass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

struct Phase {
    const char* name;
    const char* file;  // in the names of its pictures
    float T;
};

// The three shapes are always judged; then clouds of other tumbles, until
// every sphere has been seen in some frame (at 480 x 480 one or two more
// are enough in every mode).
const Phase PHASES[] = {
    {"cloud (T = 0)", "cloud-0pi", 0.0f},
    {"spiral (T = 2 pi)", "spiral-2pi", static_cast<float>(2 * PI_APPROX)},
    {"coil (T = 4 pi)", "coil-4pi", static_cast<float>(4 * PI_APPROX)},
    {"cloud (T = 8 pi)", "cloud-8pi", static_cast<float>(8 * PI_APPROX)},
    {"cloud (T = 16 pi)", "cloud-16pi", static_cast<float>(16 * PI_APPROX)},
    {"cloud (T = 24 pi)", "cloud-24pi", static_cast<float>(24 * PI_APPROX)},
    {"cloud (T = 32 pi)", "cloud-32pi", static_cast<float>(32 * PI_APPROX)},
};
constexpr int SHAPES = 3;

Buffers readBuffers() {
    Buffers b;
    glGetIntegerv(GL_RED_BITS, &b.channelBits[0]);
    glGetIntegerv(GL_GREEN_BITS, &b.channelBits[1]);
    glGetIntegerv(GL_BLUE_BITS, &b.channelBits[2]);
    glGetIntegerv(GL_DEPTH_BITS, &b.depthBits);
    glGetIntegerv(GL_SAMPLES, &b.samples);
    return b;
}

// What the screen shows of the drawable once everything drawn so far is done.
ScreenRead lookAtScreen(int side, Image* screen) {
    glFinish();
    screen->width = screen->height = side;
    screen->rgb.assign(static_cast<size_t>(side) * side * 3, 0);
    return readScreen(side, side, screen->rgb.data());
}

const char* whyUnseen(ScreenRead state) {
    switch (state) {
    case SCREEN_PARTLY_OFF: return "part of the window lay off the screen";
    case SCREEN_COVERED: return "another window lay over part of the check's window";
    case SCREEN_UNREADABLE: return "the window system would not give the window's pixels";
    default: return "the window was not on the screen to show its frames";
    }
}

bool nothingLit(const Image& image) {
    return std::all_of(image.rgb.begin(), image.rgb.end(), [](unsigned char v) { return v == 0; });
}

std::string sphereList(const std::vector<int>& spheres) {
    std::string text;
    for (size_t i = 0; i < spheres.size() && i < 8; ++i)
        text += (i ? ", " : "") + std::to_string(spheres[i]);
    return text + (spheres.size() > 8 ? ", ..." : "");
}

bool say(const std::string& line) { return writeOutput((line + "\n").c_str()); }

// The frame's line: its figures, and its outcome.
std::string frameLine(const FrameReport& r, bool judgeScreenOnly) {
    const FrameVerdict& v = r.verdict;
    if (!r.drawn)
        return r.name + ": not drawn: FAILED";
    if (r.outcome == "not judged" && v.seen.empty() && !judgeScreenOnly)
        return r.name + ": nothing drawn in the minimised window: not judged";
    const long seen = std::count(v.seen.begin(), v.seen.end(), true);
    const std::string spheres = std::to_string(seen) + " spheres seen, " +
                                (v.missing.empty() ? std::string("none missing")
                                                   : std::to_string(v.missing.size()) + " missing (" +
                                                         sphereList(v.missing) + ")");
    char views[96];
    if (std::isnan(v.disparity) || std::isnan(v.expectedDisparity))  // one view drawn, or none lit
        std::snprintf(views, sizeof views, "one view");
    else
        std::snprintf(views, sizeof views, "left view %.2f px right of the right (%.2f expected)", v.disparity,
                      v.expectedDisparity);
    std::string onTheScreen = "on the screen not judged";
    if (r.screenCompared > 0 && judgeScreenOnly)
        onTheScreen = "on the screen " + std::to_string(r.screenCompared) + " pixels";
    else if (r.screenCompared > 0)
        onTheScreen = "on the screen " + std::to_string(r.screenDiffer) + " of " + std::to_string(r.screenCompared) +
                      " pixels differ";
    if (r.screenChanged > 0)
        onTheScreen += ", " + std::to_string(r.screenChanged) + " changed before the swap";
    char line[512];
    std::snprintf(line, sizeof line,
                  "%s: %ld of %ld surface pixel channels off, %ld lit where nothing may be, %s, %s, %s: %s",
                  r.name.c_str(), v.off, v.judged, v.stray, spheres.c_str(), views, onTheScreen.c_str(),
                  r.outcome.c_str());
    return line;
}

// The frame's pictures, as --save-images keeps them: what it must show,
// what was drawn (or shown, where the screen is judged), and where they
// differ. False, after a message, when one cannot be written.
bool keepPictures(const std::string& dir, const Phase& phase, const Stereo& stereo, const Image* pictures) {
    static const char* const kinds[3] = {"expected", "drawn", "difference"};
    std::error_code made;  // a folder that cannot be made fails the first picture
    std::filesystem::create_directories(dir, made);
    for (int k = 0; k < 3; ++k) {
        const std::string path = dir + "/check-" + STEREO_MODE_TABLE[stereo.mode].name + "-" + phase.file + "-" +
                                 kinds[k] + ".png";
        if (!writePng(path, pictures[k])) {
            const std::string message = "quendrix: cannot write '" + path + "': " + std::strerror(errno) + "\n";
            writeError(message.data(), message.size());
            return false;
        }
    }
    return true;
}

CheckReport report;  // what the last run found

}  // namespace

const CheckReport& lastCheck() { return report; }

int runCheck(const CheckRun& run, const Stereo& stereo) {
    report = CheckReport();
    const int side = run.side, screenX = run.screenX, screenY = run.screenY;
    const bool judgeScreen = run.screen == SCREEN_SHOWS_FRAMES;
    const Buffers buffers = readBuffers();
    // Read back, a multisampled window's back buffer may not be resolved yet
    // (Mesa's software drivers give one sample a pixel): there the frames
    // are judged as the screen shows them.
    const bool judgeScreenOnly = buffers.samples > 1 && !quadBuffered(stereo.mode);
    char line[512];
    std::snprintf(line, sizeof line,
                  "frames of %d x %d pixels, stereo mode %s%s, channels of %d, %d and %d bits, depth of %d bits%s%s",
                  run.width, run.height, STEREO_MODE_TABLE[stereo.mode].name,
                  stereo.swapEyes ? " with the eyes swapped" : "", buffers.channelBits[0], buffers.channelBits[1],
                  buffers.channelBits[2], buffers.depthBits, judgeScreenOnly ? ", multisampled: judged on the screen" : "",
                  run.screen == NO_SCREEN ? ", off-screen: judged as drawn, with no screen to compare" : "");
    if (!say(line))
        return 1;
    if (run.width != side || run.height != side) {
        std::snprintf(line, sizeof line, "the window system did not let the frames be %d x %d: not judged", side, side);
        report.verdict = "check not judged";
        return say(line) && say(report.verdict) ? 2 : 1;
    }
    // The screen is judged only while all of the frame can be seen on it;
    // the first reason it could not be stands.
    ScreenRead screenState = judgeScreen ? SCREEN_READ : SCREEN_NOT_VIEWABLE;
    Image shown;  // what the screen showed last
    showBegunFrame(stereo, side, side, screenX, screenY);
    if (judgeScreen)
        screenState = lookAtScreen(side, &shown);
    std::vector<bool> seen(SWEEP_SAMPLES, false);
    bool passed = true, undrawnWhileHidden = false, picturesKept = !run.imagesDir.empty();
    for (const Phase& phase : PHASES) {
        if (report.frames.size() >= SHAPES && std::find(seen.begin(), seen.end(), false) == seen.end())
            break;
        FrameReport r;
        r.name = phase.name, r.T = phase.T;
        // Between the two eyes the screen must still show the frame before:
        // a stack that draws where the screen shows it flickers.
        r.drawn = beginFrameAt(phase.T, stereo, side, side, screenX, screenY);
        Image planes[2], screen, pictures[3];
        // The pictures are made only to be kept.
        Image* expected = picturesKept ? &pictures[0] : nullptr;
        Image* difference = picturesKept ? &pictures[2] : nullptr;
        if (r.drawn && screenState == SCREEN_READ && (screenState = lookAtScreen(side, &screen)) == SCREEN_READ)
            r.screenChanged = screenDifferences(shown, screen, buffers, &r.screenCompared);
        if (r.drawn) {
            completeFrame(stereo, side, side, screenX, screenY);
            planes[0] = readBack(quadBuffered(stereo.mode) ? BACK_LEFT : BACK, side, side);
            if (quadBuffered(stereo.mode))
                planes[1] = readBack(BACK_RIGHT, side, side);
            swapBuffers();
        }
        const bool onScreen =
            r.drawn && screenState == SCREEN_READ && (screenState = lookAtScreen(side, &screen)) == SCREEN_READ;
        // A system may leave a minimised window's pixels undrawn: they are
        // no one's to see.
        const bool undrawn = r.drawn && run.screen != NO_SCREEN && !windowViewable() && nothingLit(planes[0]);
        undrawnWhileHidden = undrawnWhileHidden || undrawn;
        FrameVerdict& v = r.verdict;
        if (!judgeScreenOnly && r.drawn && !undrawn) {
            v = judgeFrame(planes, phase.T, stereo, screenX, screenY, buffers, nullptr, expected, difference);
            if (picturesKept)
                pictures[1] = planes[0];
            r.screenDiffer = onScreen ? screenDifferences(planes[0], screen, buffers, &r.screenCompared) : 0;
        } else if (onScreen) {
            v = judgeFrame(&screen, phase.T, stereo, screenX, screenY, buffers, nullptr, expected, difference);
            if (picturesKept)
                pictures[1] = screen;
            r.screenCompared = static_cast<long>(side) * side;
        }
        if (onScreen)
            shown = screen;
        for (int s = 0; s < SWEEP_SAMPLES && !v.seen.empty(); ++s)
            seen[s] = seen[s] || v.seen[s];
        const bool judged = !undrawn && !(judgeScreenOnly && !onScreen);
        const bool ok = r.drawn && (v.ok || !judged) && r.screenDiffer == 0 && r.screenChanged == 0;
        r.outcome = !judged && ok ? "not judged" : ok ? "ok" : "FAILED";
        passed = passed && ok;
        if (!say(frameLine(r, judgeScreenOnly)))
            return 1;
        if (picturesKept && !pictures[1].rgb.empty())
            picturesKept = keepPictures(run.imagesDir, phase, stereo, pictures);
        report.frames.push_back(std::move(r));
    }
    if (!passed) {
        report.verdict = "check FAILED";
        say(report.verdict + (picturesKept ? ": what each frame must show, what was drawn and where they differ are "
                                             "in " + run.imagesDir
                                           : run.imagesDir.empty() ? " (--save-images DIR keeps what each frame must "
                                                                     "show, what was drawn and where they differ)"
                                                                   : ""));
        return 1;
    }
    const std::string unseenScreen =
        run.screen == SCREEN_MINIMISED ? "the window started minimised, with nothing on the screen" : whyUnseen(screenState);
    std::vector<int> unseen;
    for (int s = 0; s < SWEEP_SAMPLES; ++s)
        if (!seen[s])
            unseen.push_back(s);
    std::string notJudged;
    if (undrawnWhileHidden)
        notJudged = "the window was minimised, and the system drew nothing into it";
    else if (judgeScreenOnly && screenState != SCREEN_READ)
        notJudged = unseenScreen;
    else if (!unseen.empty())
        notJudged = std::to_string(unseen.size()) + " spheres never seen at this size (" + sphereList(unseen) + ")";
    else if (!say("spheres: all " + std::to_string(SWEEP_SAMPLES) + " seen and found in " +
                  std::to_string(report.frames.size()) + " frames"))
        return 1;
    else if (screenState != SCREEN_READ && run.screen != NO_SCREEN)
        notJudged = unseenScreen;
    report.verdict = notJudged.empty() ? "check passed" : "check not judged: " + notJudged;
    if (!say(report.verdict))
        return 1;
    return !picturesKept && !run.imagesDir.empty() ? 1 : notJudged.empty() ? 0 : 2;
}
