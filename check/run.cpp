// The check's run: whole frames drawn by the program's own passes at fixed
// phases, read back from the back buffer before the swap and from the
// screen after it, judged, and the verdict written.
#include "check/check.h"

#include "platform/gl.h"
#include "platform/platform.h"
#include "render/pass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

// The frame at phase T, drawn and read back (both back buffers for
// quad-buffered stereo), then shown.
static bool drawFrame(float T, const Stereo& stereo, int side, Image* planes) {
    if (!drawFrameAt(T, stereo, side, side))
        return false;
    const bool quad = quadBuffered(stereo.mode);
    planes[0] = readBack(quad ? BACK_LEFT : BACK, side, side);
    if (quad)
        planes[1] = readBack(BACK_RIGHT, side, side);
    swapBuffers();
    glFinish();
    return true;
}

// What the drawable shows after the swap; false when it is not on the
// screen.
static bool readScreen(int side, Image* screen, std::vector<unsigned char>* onScreen) {
    screen->width = side;
    screen->height = side;
    screen->rgb.assign(static_cast<size_t>(side) * side * 3, 0);
    onScreen->assign(static_cast<size_t>(side) * side, 0);
    return readScreen(side, side, screen->rgb.data(), onScreen->data());
}

int runCheck(int width, int height, int side, Screen screen, const Stereo& stereo) {
    const bool judgeScreen = screen == SCREEN_SHOWS_FRAMES;
    static const struct {
        const char* name;
        float T;
    } phases[] = {{"cloud (T = 0)", 0.0f},
                  {"spiral (T = 2 pi)", static_cast<float>(2 * PI_APPROX)},
                  {"coil (T = 4 pi)", static_cast<float>(4 * PI_APPROX)}};
    int bits[3] = {0, 0, 0};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    // Read back, a multisampled window's back buffer may not be resolved yet
    // (Mesa's software drivers give one sample a pixel): there the frames
    // are judged as the screen shows them.
    const bool judgeScreenOnly = samples > 1 && !quadBuffered(stereo.mode);
    char line[400];
    std::snprintf(line, sizeof line, "frames of %d x %d pixels, stereo mode %s%s, channels of %d, %d and %d bits%s%s\n",
                  width, height, STEREO_MODE_TABLE[stereo.mode].name, stereo.swapEyes ? " with the eyes swapped" : "",
                  bits[0], bits[1], bits[2], judgeScreenOnly ? ", multisampled: judged on the screen" : "",
                  screen == NO_SCREEN ? ", off-screen: judged as drawn, with no screen to compare" : "");
    if (!writeOutput(line))
        return 1;
    if (width != side || height != side) {
        std::snprintf(line, sizeof line, "the window system did not let the frames be %d x %d: not judged\n", side,
                      side);
        return writeOutput(line) && writeOutput("check not judged\n") ? 2 : 1;
    }
    bool passed = true, screenJudged = judgeScreen;
    for (const auto& phase : phases) {
        Image planes[2], screen;
        std::vector<unsigned char> onScreen;
        const bool drawn = drawFrame(phase.T, stereo, side, planes);
        const bool seen = drawn && judgeScreen && readScreen(side, &screen, &onScreen);
        FrameVerdict v;
        long compared = 0, differ = 0;
        if (!judgeScreenOnly) {
            v = judgeFrame(planes, phase.T, stereo, bits, nullptr, false);
            differ = seen ? screenDifferences(planes[0], screen, onScreen, bits, &compared) : 0;
        } else if (seen) {
            v = judgeFrame(&screen, phase.T, stereo, bits, &onScreen, true);
            compared = static_cast<long>(std::count(onScreen.begin(), onScreen.end(), 1));
        }
        screenJudged = screenJudged && compared > 0;
        const bool ok = drawn && (v.ok || (judgeScreenOnly && !seen)) && differ == 0;
        passed = passed && ok;
        char viewsText[96];
        if (std::isnan(v.disparity) || std::isnan(v.expectedDisparity))  // one view drawn, or none lit
            std::snprintf(viewsText, sizeof viewsText, "one view");
        else
            std::snprintf(viewsText, sizeof viewsText, "left view %.2f px right of the right (%.2f expected)",
                          v.disparity, v.expectedDisparity);
        char screenText[96];
        if (compared == 0)
            std::snprintf(screenText, sizeof screenText, "on the screen not judged");
        else if (judgeScreenOnly)
            std::snprintf(screenText, sizeof screenText, "on the screen %ld pixels", compared);
        else
            std::snprintf(screenText, sizeof screenText, "on the screen %ld of %ld pixels differ", differ, compared);
        if (!drawn)
            std::snprintf(line, sizeof line, "%s: not drawn: FAILED\n", phase.name);
        else
            std::snprintf(line, sizeof line,
                          "%s: %ld of %ld surface pixel channels off, %ld lit where nothing may be, %s, %s: %s\n",
                          phase.name, v.off, v.judged, v.stray, viewsText, screenText, ok ? "ok" : "FAILED");
        if (!writeOutput(line))
            return 1;
    }
    if (!passed) {
        writeOutput("check FAILED\n");
        return 1;
    }
    if (!screenJudged && screen != NO_SCREEN)
        return writeOutput(judgeScreen ? "check not judged: the window was not on the screen to show its frames\n"
                                       : "check not judged: the window started minimised, with nothing on the screen\n")
                   ? 2
                   : 1;
    return writeOutput("check passed\n") ? 0 : 1;
}
