#include "render/pass.h"

#include "platform/gl.h"
#include "platform/platform.h"
#include "render/clock.h"
#include "render/rate.h"
#include "render/scene.h"

// The interleaved modes keep each eye to its pixels with the stencil buffer.
// A polygon stipple in every pass costs Mesa's software renderer half as
// much again as the whole anaglyph frame: it sends each triangle down its
// slow per-primitive path and samples the pattern as a texture in each
// fragment (docs/benchmarks.md). So the first pass of a frame marks its own
// pixels with 1 through the stipple, one rectangle, and each pass then tests
// the stencil: 1 in the first pass, 0 in the second. The mark is made anew
// every frame, as a stencil buffer need not keep what was hidden or swapped.
// A window with no stencil buffer takes the stipple in every pass.
static void keepToPixels(PixelPattern pixels, bool firstPass, int width, int height) {
    static GLint stencilBits = -1;
    if (stencilBits < 0)
        glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    // The pattern counts from the screen's top left: a window moved by one
    // pixel gives each eye the other pixels, so no frame keeps the mark of
    // the one before.
    GLubyte stipple[128];
    if (stencilBits == 0 || firstPass) {
        stipplePattern(pixels, height, stipple);
        glPolygonStipple(stipple);
        glEnable(GL_POLYGON_STIPPLE);
    }
    if (stencilBits == 0)
        return;
    glEnable(GL_STENCIL_TEST);
    if (firstPass) {
        // The stencil was cleared with the frame.
        glStencilFunc(GL_ALWAYS, 1, 1);
        glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
        glDisable(GL_DEPTH_TEST);
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glRectf(-1.0f, -1.0f, 1.0f, 1.0f);  // every pixel's centre; the modelview is the identity
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_POLYGON_STIPPLE);
        glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    }
    glStencilFunc(GL_EQUAL, firstPass ? 1 : 0, 1);
}

bool drawPass(const Stereo& stereo, int width, int height, int screenX, int screenY) {
    // The frame-rate report: its start before the first pass is counted,
    // its line once the count says one is due.
    reportRateStart(passesBegun());
    const Eye eye = beginPass();
    reportRate(passCount);
    const EyeView view = eyeView(stereo, eye.right, width, height, screenX, screenY);
    glLoadIdentity();
    if (eye.clearsColour) {
        // A frame begins: the whole window, in every channel and buffer.
        if (view.buffer != BACK)
            glDrawBuffer(GL_BACK);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | (view.pixels != ALL_PIXELS ? GL_STENCIL_BUFFER_BIT : 0));
    } else {
        // The right eye keeps the left eye's image: it clears depth only.
        glClear(GL_DEPTH_BUFFER_BIT);
    }
    if (!view.drawn)
        return eye.completesFrame;
    if (view.buffer != BACK)
        glDrawBuffer(view.buffer == BACK_LEFT ? GL_BACK_LEFT : GL_BACK_RIGHT);
    if (view.pixels != ALL_PIXELS)
        keepToPixels(view.pixels, eye.clearsColour, width, height);
    glViewport(view.viewport[0], view.viewport[1], view.viewport[2], view.viewport[3]);
    glColorMask(view.channels[0], view.channels[1], view.channels[2], GL_TRUE);

    // The shift multiplies onto the perspective, moving the scene sideways in
    // eye space: parallel, symmetric frusta one eye separation apart. With a
    // convergence, a translation before the perspective moves the picture
    // in normalized device x: the frustum sheared.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (view.offset != 0.0)
        glTranslated(view.offset, 0.0, 0.0);
    gluPerspective(FIELD_OF_VIEW, view.aspect, NEAR_PLANE, FAR_PLANE);
    glTranslated(view.shift, 0.0, 0.0);
    glMatrixMode(GL_MODELVIEW);

    // A light of the eye's colours: red or blue in the anaglyph, white where
    // the eye sees every channel.
    const GLfloat diffuse[4] = {view.channels[0] ? 1.0f : 0.0f, view.channels[1] ? 1.0f : 0.0f,
                                view.channels[2] ? 1.0f : 0.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glTranslatef(0.0f, 0.0f, -FIELD_DISTANCE);

    drawSpheres(animPhase);
    if (view.pixels != ALL_PIXELS) {
        glDisable(GL_STENCIL_TEST);
        glDisable(GL_POLYGON_STIPPLE);
    }
    return eye.completesFrame;
}

void showBegunFrame(const Stereo& stereo, int width, int height, int screenX, int screenY) {
    if (eyeForPass(passCount + 1).right && drawPass(stereo, width, height, screenX, screenY))
        swapBuffers();
}

bool beginFrameAt(float T, const Stereo& stereo, int width, int height, int screenX, int screenY) {
    if (!nextFrameAt(T))
        return false;
    drawPass(stereo, width, height, screenX, screenY);  // the left eye: the phase advances to T, the buffer is cleared
    return true;
}

void completeFrame(const Stereo& stereo, int width, int height, int screenX, int screenY) {
    drawPass(stereo, width, height, screenX, screenY);
}
