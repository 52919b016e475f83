// GL through GLX on X11: the swap interval, through whichever of the GLX
// extensions the driver has, and the entries of GL's extensions (or EGL's,
// off-screen).
#include "platform/platform.h"
#include "platform/system.h"

#include "platform/gl.h"

#include <GL/freeglut_ext.h>
#include <GL/glx.h>

typedef void (*SwapIntervalExt)(Display*, GLXDrawable, int);
typedef int (*SwapIntervalMesa)(unsigned);
typedef int (*GetSwapIntervalMesa)();
typedef int (*SwapIntervalSgi)(int);

static bool glxHas(const char* name) {
    Display* display = glXGetCurrentDisplay();
    return display && hasExtension(glXQueryExtensionsString(display, DefaultScreen(display)), name);
}

template <typename Entry>
static Entry glxEntry(const char* name) {
    return reinterpret_cast<Entry>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

bool setSwapInterval(int interval) {
    if (offscreenOpen())
        return interval == 0;  // a pbuffer's swap never waits for a screen
    if (glxHas("GLX_EXT_swap_control")) {
        glxEntry<SwapIntervalExt>("glXSwapIntervalEXT")(glXGetCurrentDisplay(), glXGetCurrentDrawable(), interval);
        return swapInterval() == interval;
    }
    if (glxHas("GLX_MESA_swap_control"))
        return glxEntry<SwapIntervalMesa>("glXSwapIntervalMESA")(static_cast<unsigned>(interval)) == 0;
    if (glxHas("GLX_SGI_swap_control") && interval > 0)  // it cannot turn the wait off
        return glxEntry<SwapIntervalSgi>("glXSwapIntervalSGI")(interval) == 0;
    return false;
}

int swapInterval() {
    if (offscreenOpen())
        return 0;
    if (glxHas("GLX_EXT_swap_control")) {
        unsigned value = 0;
        glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_SWAP_INTERVAL_EXT, &value);
        return static_cast<int>(value);
    }
    if (glxHas("GLX_MESA_swap_control"))
        return glxEntry<GetSwapIntervalMesa>("glXGetSwapIntervalMESA")();
    return -1;
}

// GLX's loader hands out an entry for any name, and so may EGL's.
GlEntry extensionEntry(const char* name) {
    return offscreenOpen() ? offscreenEntry(name) : reinterpret_cast<GlEntry>(glutGetProcAddress(name));
}
