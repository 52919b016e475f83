// The check's run: whole frames drawn by the program's own passes at fixed
// phases, read back from the back buffer before the swap, the screen looked
// at between the two eyes and after the swap, each frame judged, and the
// verdict written.
#include "check/check.h"

#include "platform/gl.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/pass.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Phase {
    std::string name;
    std::string file;  // in the names of its pictures
    float T;
    bool always = true;  // else only while some sphere is still unseen
};

Phase named(const std::string& name, const std::string& file, float T) {
    char at[32], in[32];
    std::snprintf(at, sizeof at, " (T = %.9g)", T);
    std::snprintf(in, sizeof in, "-%.9g", T);
    return {name + at, file + in, T};
}

// The three shapes are always judged; then the phases at which the sphere
// centres reach farthest left, right, down, up, away and near over one whole
// period of the animation, as it steps through it, so that what a stack
// loses at the edges of the space shows; then clouds of other tumbles, until
// every sphere has been seen in every eye's view.
std::vector<Phase> checkPhases() {
    std::vector<Phase> phases = {{"cloud (T = 0)", "cloud-0pi", 0.0f},
                                 {"spiral (T = 2 pi)", "spiral-2pi", static_cast<float>(2 * PI_APPROX)},
                                 {"coil (T = 4 pi)", "coil-4pi", static_cast<float>(4 * PI_APPROX)}};
    // One whole period, frame by frame, as the animation steps through it.
    static const Reach reach = [] {
        Reach r;
        for (float T = 0, last = -1; T > last; last = T, T = advancePhase(T))
            widenReach(r, T);
        return r;
    }();
    const Extreme extremes[6] = {reach.least[0], reach.most[0], reach.least[1],
                                 reach.most[1],  reach.most[2], reach.least[2]};
    static const char* const names[6][2] = {{"farthest left", "left"}, {"farthest right", "right"},
                                            {"lowest", "low"},          {"highest", "high"},
                                            {"nearest", "near"},        {"farthest", "far"}};
    // An extreme reached in the same frame as another shares its line.
    for (int i = 0; i < 6; ++i) {
        std::string name = names[i][0], file = names[i][1];
        bool shared = false;
        for (int k = 0; k < i; ++k)
            if (extremes[k].T == extremes[i].T)
                shared = true;
        for (int k = i + 1; k < 6 && !shared; ++k)
            if (extremes[k].T == extremes[i].T)
                name += std::string(", ") + names[k][0], file += std::string("-") + names[k][1];
        if (!shared)
            phases.push_back(named(name, file, extremes[i].T));
    }
    for (int k = 1; k <= 4; ++k)
        phases.push_back({"cloud (T = " + std::to_string(8 * k) + " pi)", "cloud-" + std::to_string(8 * k) + "pi",
                          static_cast<float>(8 * k * PI_APPROX), false});
    return phases;
}

Buffers readBuffers(int samples) {
    Buffers b;
    b.samples = samples;
    glGetIntegerv(GL_RED_BITS, &b.channelBits[0]);
    glGetIntegerv(GL_GREEN_BITS, &b.channelBits[1]);
    glGetIntegerv(GL_BLUE_BITS, &b.channelBits[2]);
    glGetIntegerv(GL_DEPTH_BITS, &b.depthBits);
    return b;
}

// What the screen shows of the drawable once everything drawn so far is done.
ScreenRead lookAtScreen(int width, int height, Image* screen) {
    glFinish();
    *screen = {width, height, std::vector<unsigned char>(static_cast<size_t>(width) * height * 3, 0)};
    return readScreen(width, height, screen->rgb.data());
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

// Checking every mode, each says only its verdict, after its name.
std::string verdictPrefix;
bool say(const std::string& line) { return !verdictPrefix.empty() || writeOutput((line + "\n").c_str()); }
bool sayVerdict(const std::string& line) { return writeOutput((verdictPrefix + line + "\n").c_str()); }

// The spheres missing from a frame, and from which view where only one of
// two drawn lost them.
std::string missingList(const FrameVerdict& v, unsigned char eyes) {
    std::string text;
    for (size_t i = 0; i < v.missing.size() && i < 8; ++i) {
        const int s = v.missing[i];
        text += (i ? ", " : "") + std::to_string(s);
        if (eyes == 3 && v.missingIn[s] != 3)
            text += v.missingIn[s] == 1 ? " left" : " right";
    }
    return text + (v.missing.size() > 8 ? ", ..." : "");
}

// The frame's line: its figures, and its outcome.
std::string frameLine(const FrameReport& r, const Stereo& stereo, bool judgeScreenOnly) {
    const FrameVerdict& v = r.verdict;
    if (!r.drawn)
        return r.name + ": not drawn: FAILED";
    if (r.outcome == "not judged" && v.seen.empty() && !judgeScreenOnly)
        return r.name + ": nothing drawn in the minimised window: not judged";
    const long seen = std::count_if(v.seen.begin(), v.seen.end(), [](unsigned char s) { return s != 0; });
    std::string spheres = std::to_string(seen) + " spheres seen, " +
                          (v.missing.empty() ? std::string("none missing")
                                             : std::to_string(v.missing.size()) + " missing (" +
                                                   missingList(v, eyesDrawn(stereo)) + ")");
    if (v.patch >= WRONG_PATCH)
        spheres += ", " + std::to_string(v.patch) + " wrong pixels side by side";
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
    for (int k = 0; k < 3; ++k)
        if (!keepPicture(dir, std::string("check-") + STEREO_MODE_TABLE[stereo.mode].name + "-" + phase.file + "-" +
                                  kinds[k] + ".png", pictures[k]))
            return false;
    return true;
}

CheckReport report;  // what the last run found

// The check under way: what it has found so far, frame by frame.
struct Checking {
    const CheckRun& run;
    const Stereo& stereo;
    Buffers buffers;
    bool judgeScreenOnly;            // multisampled: the frames are judged as the screen shows them
    ScreenRead screenState;          // the first reason the screen could not be judged stands
    Image shown;                     // what the screen showed last
    std::vector<unsigned char> seen; // each sphere, the eyes' views it was seen in
    bool passed = true, undrawnWhileHidden = false, picturesKept;
};

// Looks at the screen while it can still be judged: the first reason it
// cannot stands for the rest of the check.
bool lookWhileSeen(Checking& c, Image* screen) {
    if (c.screenState == SCREEN_READ)
        c.screenState = lookAtScreen(c.run.frames.width, c.run.frames.height, screen);
    return c.screenState == SCREEN_READ;
}

// A frame as drawn: the planes read back before the swap, and the screen
// after it.
struct Drawn {
    Image planes[2], screen;
    bool onScreen = false;  // the screen after the swap was read
};

// Draws one frame at the phase and reads it back, looking at the screen
// between the eyes and after the swap. False where no frame lands on the
// phase.
bool drawFrame(Checking& c, const Phase& phase, Drawn* d, FrameReport* r) {
    const int w = c.run.frames.width, h = c.run.frames.height, x = c.run.screenX, y = c.run.screenY;
    if (!beginFrameAt(phase.T, c.stereo, w, h, x, y))
        return false;
    // Between the two eyes the screen must still show the frame before: a
    // stack that draws where the screen shows it flickers.
    if (lookWhileSeen(c, &d->screen))
        r->screenChanged = screenDifferences(c.shown, d->screen, c.buffers, &r->screenCompared);
    completeFrame(c.stereo, w, h, x, y);
    readFrame(c.stereo.mode, w, h, d->planes);
    swapBuffers();
    d->onScreen = lookWhileSeen(c, &d->screen);
    return true;
}

// Judges what was drawn, or where the frames are judged as the screen
// shows them (or nothing was drawn into a minimised window), what the
// screen showed; null when neither can be. With pictures, keeps what the
// frame must show, what was judged and where they differ.
const Image* judgeDrawn(Checking& c, const Drawn& d, float T, FrameReport* r, Image* pictures) {
    // A system may leave a minimised window's pixels undrawn: they are no
    // one's to see.
    const bool undrawn = c.run.screen != NO_SCREEN && !windowViewable() && nothingLit(d.planes[0]);
    c.undrawnWhileHidden = c.undrawnWhileHidden || undrawn;
    const Image* judged = !c.judgeScreenOnly && !undrawn ? d.planes : d.onScreen ? &d.screen : nullptr;
    if (!judged)
        return nullptr;
    for (int p = 0; p < (quadBuffered(c.stereo.mode) ? 2 : 1); ++p)
        c.buffers = bitsBorneOut(c.buffers, judged[p]);
    r->verdict = judgeFrame(judged, T, c.stereo, c.run.screenX, c.run.screenY, c.buffers, nullptr,
                            pictures ? &pictures[0] : nullptr, pictures ? &pictures[2] : nullptr);
    if (pictures)
        pictures[1] = judged[0];
    if (judged != d.planes)
        r->screenCompared = static_cast<long>(c.run.frames.width) * c.run.frames.height;
    else if (d.onScreen)
        r->screenDiffer = screenDifferences(d.planes[0], d.screen, c.buffers, &r->screenCompared);
    return judged;
}

// One frame of the check: drawn, judged, and its outcome.
FrameReport checkFrame(Checking& c, const Phase& phase, Image* pictures) {
    FrameReport r;
    r.name = phase.name, r.T = phase.T;
    Drawn d;
    r.drawn = drawFrame(c, phase, &d, &r);
    const Image* judged = r.drawn ? judgeDrawn(c, d, phase.T, &r, pictures) : nullptr;
    if (d.onScreen)
        c.shown = d.screen;
    const FrameVerdict& v = r.verdict;
    for (int s = 0; s < SWEEP_SAMPLES && !v.seen.empty(); ++s)
        c.seen[s] |= v.seen[s];
    // Where something was to be seen and nothing could be judged, the frame
    // says nothing either way.
    const bool unjudged = !judged || (v.judged == 0 && v.expected);
    const bool ok = r.drawn && (v.ok || unjudged) && r.screenDiffer == 0 && r.screenChanged == 0;
    r.outcome = !ok ? "FAILED" : unjudged ? "not judged" : "ok";
    c.passed = c.passed && ok;
    return r;
}

// Whether every sphere has been seen in every view the mode draws.
bool everySphereSeen(const Checking& c) {
    const unsigned char eyes = eyesDrawn(c.stereo);
    return std::all_of(c.seen.begin(), c.seen.end(), [&](unsigned char s) { return (s & eyes) == eyes; });
}

// The last line, once every frame is judged; the outcome.
Outcome concludeCheck(Checking& c) {
    const CheckRun& run = c.run;
    if (!c.passed) {
        report.judged = JUDGED_WRONG;
        report.verdict = "check FAILED";
        if (c.picturesKept)
            report.verdict += ": what each frame must show, what was drawn and where they differ are in " + run.imagesDir;
        else if (run.imagesDir.empty())
            report.verdict += " (--save-images DIR keeps what each frame must show, what was drawn and where they differ)";
        return sayVerdict(report.verdict) && (c.picturesKept || run.imagesDir.empty()) ? JUDGED_WRONG : UNDELIVERED;
    }
    const std::string unseenScreen = run.screen == SCREEN_MINIMISED
                                         ? "the window started minimised, with nothing on the screen"
                                         : whyUnseen(c.screenState);
    const unsigned char eyes = eyesDrawn(c.stereo);
    std::vector<int> unseen;
    for (int s = 0; s < SWEEP_SAMPLES; ++s)
        if ((c.seen[s] & eyes) != eyes)
            unseen.push_back(s);
    std::string notJudged;
    if (c.undrawnWhileHidden)
        notJudged = "the window was minimised, and the system drew nothing into it";
    else if (c.judgeScreenOnly && c.screenState != SCREEN_READ)
        notJudged = unseenScreen;
    else if (!unseen.empty())
        notJudged = std::to_string(unseen.size()) + " spheres never seen in every view at this size (" +
                    sphereList(unseen) + ")";
    else if (!say("spheres: all " + std::to_string(SWEEP_SAMPLES) + " seen and found in " +
                  std::to_string(report.frames.size()) + " frames"))
        return UNDELIVERED;
    else if (c.screenState != SCREEN_READ && run.screen != NO_SCREEN)
        notJudged = unseenScreen;
    report.verdict = notJudged.empty() ? "check passed" : "check not judged: " + notJudged;
    report.reason = notJudged;
    report.judged = notJudged.empty() ? DONE : SKIPPED;
    if (!sayVerdict(report.verdict) || (!c.picturesKept && !run.imagesDir.empty()))
        return UNDELIVERED;
    return report.judged;
}

}  // namespace

const CheckReport& lastCheck() { return report; }

static std::vector<CheckReport> modeReports;  // --stereo all: each mode judged
const std::vector<CheckReport>& everyModeReport() { return modeReports; }

// The worse of two outcomes: what was not delivered, then a wrong frame,
// then what could not be judged.
static Outcome worse(Outcome a, Outcome b) {
    const auto rank = [](Outcome o) { return o == UNDELIVERED ? 3 : o == JUDGED_WRONG ? 2 : o == SKIPPED ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

Outcome runEveryMode(const CheckRun& run, const Stereo& stereo, bool quadOffered) {
    Outcome outcome = DONE;
    std::string failed, unjudged;
    double seconds = 0;
    for (int m = 0; m < STEREO_MODES; ++m) {
        verdictPrefix = std::string(STEREO_MODE_TABLE[m].name) + ": ";
        if (quadBuffered(static_cast<StereoMode>(m)) && !quadOffered) {
            if (!sayVerdict("not offered"))
                outcome = UNDELIVERED;
            continue;
        }
        Stereo one = stereo;
        one.mode = static_cast<StereoMode>(m);
        const Outcome o = runCheck(run, one);
        report.mode = STEREO_MODE_TABLE[m].name, seconds += report.seconds;
        modeReports.push_back(report);
        outcome = worse(outcome, o);
        if (report.judged != DONE)
            (report.judged == JUDGED_WRONG ? failed : unjudged) += ", " + report.mode;
    }
    verdictPrefix.clear();
    report = CheckReport();
    report.mode = "all", report.seconds = seconds;
    report.judged = !failed.empty() ? JUDGED_WRONG : !unjudged.empty() ? SKIPPED : DONE;
    report.reason = report.judged == SKIPPED ? "not judged in " + unjudged.substr(2) : "";
    report.verdict = report.judged == JUDGED_WRONG ? "check FAILED in " + failed.substr(2)
                     : report.judged == SKIPPED  ? "check not judged: " + report.reason
                                                 : "check passed";
    return sayVerdict(report.verdict) ? outcome : UNDELIVERED;
}

bool sayNotJudged(const std::string& why) {
    report.verdict = "check not judged: " + why;
    report.reason = why;
    report.judged = SKIPPED;
    return sayVerdict(report.verdict);
}

Outcome runCheck(const CheckRun& run, const Stereo& stereo) {
    report = CheckReport();
    const Buffers buffers = readBuffers(run.samples);
    // Read back, a multisampled window's back buffer may not be resolved yet
    // (Mesa's software drivers give one sample a pixel): there the frames
    // are judged as the screen shows them.
    Checking c = {run, stereo, buffers, buffers.samples > 1 && !quadBuffered(stereo.mode),
                  run.screen == SCREEN_SHOWS_FRAMES ? SCREEN_READ : SCREEN_NOT_VIEWABLE, Image(),
                  std::vector<unsigned char>(SWEEP_SAMPLES, 0), true, false, !run.imagesDir.empty()};
    char line[512];
    std::snprintf(line, sizeof line,
                  "frames of %d x %d pixels, stereo mode %s%s, channels of %d, %d and %d bits, depth of %d bits%s%s",
                  run.width, run.height, STEREO_MODE_TABLE[stereo.mode].name,
                  stereo.swapEyes ? " with the eyes swapped" : "", buffers.channelBits[0], buffers.channelBits[1],
                  buffers.channelBits[2], buffers.depthBits, c.judgeScreenOnly ? ", multisampled: judged on the screen" : "",
                  run.screen == NO_SCREEN ? ", off-screen: judged as drawn, with no screen to compare" : "");
    if (!say(line))
        return UNDELIVERED;
    const FrameSize f = run.frames;
    if (run.width != f.width || run.height != f.height) {
        std::snprintf(line, sizeof line, "the window system did not let the frames be %d x %d", f.width, f.height);
        return sayNotJudged(line) ? SKIPPED : UNDELIVERED;
    }
    showBegunFrame(stereo, f.width, f.height, run.screenX, run.screenY);
    lookWhileSeen(c, &c.shown);
    const auto start = std::chrono::steady_clock::now();
    for (const Phase& phase : checkPhases()) {
        if (!phase.always && everySphereSeen(c))
            break;
        Image pictures[3];  // made only to be kept
        FrameReport r = checkFrame(c, phase, c.picturesKept ? pictures : nullptr);
        if (!say(frameLine(r, stereo, c.judgeScreenOnly)))
            return UNDELIVERED;
        if (c.picturesKept && !pictures[1].rgb.empty())
            c.picturesKept = keepPictures(run.imagesDir, phase, stereo, pictures);
        report.frames.push_back(std::move(r));
    }
    const Outcome outcome = concludeCheck(c);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}
