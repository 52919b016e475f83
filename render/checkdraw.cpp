// The GL part of the self-check: whole frames drawn by the program's own
// passes at fixed phases, read back from the back buffer before the swap.
#include "render/check.h"

#include "platform/gl.h"
#include "render/pass.h"
#include "render/report.h"

#include <cstdio>
#include <cstring>

Image readBack() {
    Image image;
    image.width = winWidth;
    image.height = winHeight;
    const size_t row = static_cast<size_t>(image.width) * 3;
    std::vector<unsigned char> rows(row * image.height);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    // GL gives the bottom row first.
    image.rgb.resize(rows.size());
    for (int y = 0; y < image.height; ++y)
        std::memcpy(&image.rgb[y * row], &rows[(image.height - 1 - y) * row], row);
    return image;
}

Image drawFrame(float T) {
    animPhase = phaseBefore(T);
    if (eyeForPass(passCount + 1).blue)
        drawPass();  // as the display handler does: completes the frame before and shows it
    drawPass();      // the red pass: the phase advances to T, the buffer is cleared, the left eye drawn
    if (animPhase != T || !drawPassUnswapped())
        return Image();
    Image frame = readBack();
    glutSwapBuffers();
    return frame;
}

int runCheck() {
    static const struct {
        const char* name;
        float T;
    } phases[] = {{"cloud (T = 0)", 0.0f},
                  {"spiral (T = 2 pi)", static_cast<float>(2 * PI_APPROX)},
                  {"coil (T = 4 pi)", static_cast<float>(4 * PI_APPROX)}};
    frameLimit = 0;  // the check ends the run
    bool passed = true;
    for (const auto& phase : phases) {
        const Image frame = drawFrame(phase.T);
        const FrameVerdict v = judgeFrame(frame, phase.T);
        char line[320];
        if (frame.rgb.empty())
            std::snprintf(line, sizeof line, "%s: not drawn: FAILED\n", phase.name);
        else
            std::snprintf(line, sizeof line,
                          "%s: sphere centres lit %d of %d, green pixels %ld, stray pixels %ld, red right of blue by "
                          "%.2f px (%.2f expected), images %.2f px off: %s\n",
                          phase.name, v.lit, v.centres, v.green, v.stray, v.disparity, v.expectedDisparity,
                          v.misplaced, v.ok ? "ok" : "FAILED");
        passed = passed && v.ok;
        if (!writeOutput(line))
            return 1;
    }
    if (!writeOutput(passed ? "check passed\n" : "check FAILED\n"))
        return 1;
    return passed ? 0 : 1;
}
