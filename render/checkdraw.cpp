// The GL part of the self-check: whole frames drawn by the program's own
// passes at fixed phases, read back from the back buffer before the swap and
// from the screen after it.
#include "render/check.h"

#include "platform/gl.h"
#include "platform/platform.h"
#include "render/pass.h"
#include "render/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

// The back buffer (or one of the two of quad-buffered stereo), as GL holds it.
static Image readBack(GLenum buffer) {
    Image image;
    image.width = winWidth;
    image.height = winHeight;
    const size_t row = static_cast<size_t>(image.width) * 3;
    std::vector<unsigned char> rows(row * image.height);
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    // GL gives the bottom row first.
    image.rgb.resize(rows.size());
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.rgb[y * row], &rows[(image.height - 1 - y) * row], row);
    return image;
}

bool drawFrame(float T, Image* planes) {
    animPhase = phaseBefore(T);
    if (eyeForPass(passCount + 1).right)
        drawPass();  // as the display handler does: completes the frame before and shows it
    drawPass();      // the left eye: the phase advances to T, the buffer is cleared
    if (animPhase != T || !drawPassUnswapped())
        return false;
    planes[0] = readBack(stereoMode == QUAD ? GL_BACK_LEFT : GL_BACK);
    if (stereoMode == QUAD)
        planes[1] = readBack(GL_BACK_RIGHT);
    glutSwapBuffers();
    glFinish();
    return true;
}

// What the window shows after the swap; false when it is not on the screen.
static bool readScreen(Image* screen, std::vector<unsigned char>* shown) {
    screen->width = winWidth;
    screen->height = winHeight;
    screen->rgb.assign(static_cast<size_t>(winWidth) * winHeight * 3, 0);
    shown->assign(static_cast<size_t>(winWidth) * winHeight, 0);
    return readShownPixels(winWidth, winHeight, screen->rgb.data(), shown->data());
}

int runCheck(int side, bool judgeScreen) {
    static const struct {
        const char* name;
        float T;
    } phases[] = {{"cloud (T = 0)", 0.0f},
                  {"spiral (T = 2 pi)", static_cast<float>(2 * PI_APPROX)},
                  {"coil (T = 4 pi)", static_cast<float>(4 * PI_APPROX)}};
    frameLimit = 0;  // the check ends the run
    int bits[3] = {0, 0, 0};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    // Read back, a multisampled window's back buffer may not be resolved yet
    // (Mesa's software drivers give one sample a pixel): there the frames
    // are judged as the screen shows them.
    const bool judgeShown = samples > 1 && stereoMode != QUAD;
    char line[400];
    std::snprintf(line, sizeof line, "frames of %d x %d pixels, stereo mode %s%s, channels of %d, %d and %d bits%s\n",
                  winWidth, winHeight, STEREO_MODE_NAMES[stereoMode].name, swapEyes ? " with the eyes swapped" : "",
                  bits[0], bits[1], bits[2], judgeShown ? ", multisampled: judged on the screen" : "");
    if (!writeOutput(line))
        return 1;
    if (winWidth != side || winHeight != side) {
        std::snprintf(line, sizeof line, "the window system did not let the frames be %d x %d: not judged\n", side,
                      side);
        return writeOutput(line) && writeOutput("check not judged\n") ? 2 : 1;
    }
    bool passed = true, screenJudged = judgeScreen;
    for (const auto& phase : phases) {
        Image planes[2], screen;
        std::vector<unsigned char> shown;
        const bool drawn = drawFrame(phase.T, planes);
        const bool onScreen = drawn && judgeScreen && readScreen(&screen, &shown);
        FrameVerdict v;
        long compared = 0, differ = 0;
        if (!judgeShown) {
            v = judgeFrame(planes, phase.T, stereoMode, swapEyes, bits, nullptr, false);
            differ = onScreen ? shownDifferences(planes[0], screen, shown, bits, &compared) : 0;
        } else if (onScreen) {
            v = judgeFrame(&screen, phase.T, stereoMode, swapEyes, bits, &shown, true);
            compared = static_cast<long>(std::count(shown.begin(), shown.end(), 1));
        }
        screenJudged = screenJudged && compared > 0;
        const bool ok = drawn && (v.ok || (judgeShown && !onScreen)) && differ == 0;
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
        else if (judgeShown)
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
    if (!screenJudged)
        return writeOutput(judgeScreen ? "check not judged: the window was not on the screen to show its frames\n"
                                       : "check not judged: the window started minimised, with nothing on the screen\n")
                   ? 2
                   : 1;
    return writeOutput("check passed\n") ? 0 : 1;
}
