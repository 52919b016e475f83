// The off-screen surface on Linux and the BSDs: a pbuffer through EGL, on
// the first EGL device that initialises (a GPU where there is one, Mesa's
// software device otherwise), or on Mesa's surfaceless platform where EGL
// lists no devices. No display server is needed, and GLUT plays no part.
#include "platform/platform.h"
#include "platform/system.h"

#include "platform/gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <string>

static EGLDisplay display = EGL_NO_DISPLAY;
static EGLSurface surface = EGL_NO_SURFACE;
static std::string platformName;

template <typename Entry>
static Entry eglEntry(const char* name) {
    return reinterpret_cast<Entry>(eglGetProcAddress(name));
}

static bool initialised(EGLDisplay candidate) {
    EGLint major = 0, minor = 0;
    return candidate != EGL_NO_DISPLAY && eglInitialize(candidate, &major, &minor);
}

// What a device is, as EGL tells it: its DRM node, or software.
static std::string deviceName(EGLDeviceEXT device) {
    auto query = eglEntry<PFNEGLQUERYDEVICESTRINGEXTPROC>("eglQueryDeviceStringEXT");
    const char* extensions = query ? query(device, EGL_EXTENSIONS) : nullptr;
    const char* node = nullptr;
    if (hasExtension(extensions, "EGL_EXT_device_drm_render_node"))
        node = query(device, EGL_DRM_RENDER_NODE_FILE_EXT);
    if (!node && hasExtension(extensions, "EGL_EXT_device_drm"))
        node = query(device, EGL_DRM_DEVICE_FILE_EXT);
    if (node)
        return node;
    return hasExtension(extensions, "EGL_MESA_device_software") ? "software" : "unnamed";
}

// The first device that initialises and draws OpenGL; else the surfaceless
// platform. Empty when there is neither.
static std::string openDisplay() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto platformDisplay = eglEntry<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");
    auto queryDevices = eglEntry<PFNEGLQUERYDEVICESEXTPROC>("eglQueryDevicesEXT");
    if (!platformDisplay || !hasExtension(client, "EGL_EXT_platform_base"))
        return "EGL offers no platform but the window systems' (no EGL_EXT_platform_base)";
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (queryDevices && hasExtension(client, "EGL_EXT_platform_device") && !queryDevices(16, devices, &count))
        count = 0;
    for (EGLint i = 0; i < count; ++i) {
        EGLDisplay candidate = platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (!initialised(candidate))
            continue;
        const char* apis = eglQueryString(candidate, EGL_CLIENT_APIS);
        if (apis && hasExtension(apis, "OpenGL")) {
            display = candidate;
            platformName = "device " + std::to_string(i + 1) + " of " + std::to_string(count) + " (" +
                           deviceName(devices[i]) + ")";
            return std::string();
        }
        eglTerminate(candidate);
    }
    if (hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay candidate = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (initialised(candidate)) {
            display = candidate;
            platformName = "surfaceless";
            return std::string();
        }
    }
    return count > 0 ? "no EGL device here draws OpenGL, and EGL has no surfaceless platform"
                     : "EGL lists no device and has no surfaceless platform";
}

// A pbuffer config with 8-bit red, green and blue where there is one, as a
// window has; EGL would list deeper colour first.
static bool chooseConfig(int samples, bool stencil, int depth, EGLConfig* chosen) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, depth,
                             EGL_STENCIL_SIZE, stencil ? 1 : 0, EGL_SAMPLE_BUFFERS, samples > 0 ? 1 : 0,
                             EGL_SAMPLES, samples, EGL_NONE};
    EGLConfig configs[64];
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, configs, 64, &count) || count == 0)
        return false;
    *chosen = configs[0];
    for (EGLint i = 0; i < count; ++i) {
        EGLint bits[3] = {0, 0, 0};
        eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &bits[0]);
        eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &bits[1]);
        eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &bits[2]);
        if (bits[0] == 8 && bits[1] == 8 && bits[2] == 8) {
            *chosen = configs[i];
            break;
        }
    }
    return true;
}

std::string openOffscreen(int* width, int* height, int samples, bool stencil) {
    const std::string unopened = openDisplay();
    if (!unopened.empty())
        return unopened;
    if (!eglBindAPI(EGL_OPENGL_API))
        return "EGL does not serve OpenGL on " + platformName;
    // A depth buffer of 24 bits where there is one: EGL lists the shallowest
    // first, and 16 bits cannot keep spheres 15 units away apart.
    EGLConfig config;
    if (!chooseConfig(samples, stencil, 24, &config) && !chooseConfig(samples, stencil, 1, &config)) {
        if (samples > 0 && chooseConfig(0, stencil, 1, &config))
            return "EGL offers no off-screen surface with " + std::to_string(samples) +
                   " samples a pixel; try fewer --samples";
        return "EGL offers no off-screen surface with red, green, blue and depth for OpenGL on " + platformName;
    }
    EGLint largest[2] = {0, 0};
    eglGetConfigAttrib(display, config, EGL_MAX_PBUFFER_WIDTH, &largest[0]);
    eglGetConfigAttrib(display, config, EGL_MAX_PBUFFER_HEIGHT, &largest[1]);
    *width = largest[0] > 0 && *width > largest[0] ? largest[0] : *width;
    *height = largest[1] > 0 && *height > largest[1] ? largest[1] : *height;
    const EGLint size[] = {EGL_WIDTH, *width, EGL_HEIGHT, *height, EGL_NONE};
    surface = eglCreatePbufferSurface(display, config, size);
    // No version asked for: any context serves OpenGL 1.0 calls, and a
    // driver gives a compatibility profile or a legacy context for it.
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT || !eglMakeCurrent(display, surface, surface, context))
        return "EGL cannot make an OpenGL context on an off-screen surface of " + std::to_string(*width) + " x " +
               std::to_string(*height) + " pixels on " + platformName;
    return std::string();
}

std::string offscreenPlatform() {
    if (surface == EGL_NO_SURFACE)
        return std::string();
    const char* version = eglQueryString(display, EGL_VERSION);
    const char* vendor = eglQueryString(display, EGL_VENDOR);
    return platformName + ", EGL " + (version ? version : "") + ", " + (vendor ? vendor : "");
}

bool offscreenOpen() { return surface != EGL_NO_SURFACE; }

// A pbuffer has no screen to show a frame on, and EGL's swap does nothing
// there: the frame is finished instead, so that each one is drawn whole
// before the next begins, as the software renderer's swap to a window does.
void swapOffscreen() {
    eglSwapBuffers(display, surface);
    glFinish();
}

GlEntry offscreenEntry(const char* name) { return reinterpret_cast<GlEntry>(eglGetProcAddress(name)); }
