#include "app/results.h"

#include "app/options.h"
#include "app/window.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/rate.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Json = nlohmann::ordered_json;  // members in the order written

static std::vector<std::string> commandLine;

void keepCommandLine(int argc, char* const* argv) { commandLine.assign(argv, argv + argc); }

static std::string glText(GLenum name) {
    const char* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

// What every run's document holds.
static Json document(const char* run) {
    Json gl = {{"renderer", glText(GL_RENDERER)}, {"version", glText(GL_VERSION)}, {"vendor", glText(GL_VENDOR)}};
    if (options.offscreen)
        gl["egl_platform"] = offscreenPlatform();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    return {{"program", "quendrix"},
            {"version", QUENDRIX_VERSION},
            {"command_line", commandLine},
            {"run", run},
            {"drawable", options.offscreen ? "off-screen" : "window"},
            {"gl", gl},
            {"stereo_mode", STEREO_MODE_TABLE[options.stereo.mode].name},
            {"eye_order", options.stereo.swapEyes ? "swapped" : "normal"},
            {"samples", samples},
            {"frame_size", {{"width", winWidth}, {"height", winHeight}}}};
}

static double milliseconds(int64_t nanoseconds) { return std::round(static_cast<double>(nanoseconds) / 1e3) / 1e3; }

static bool write(const Json& doc) {
    // Arguments need not be UTF-8: a byte that is not becomes U+FFFD.
    const std::string text = doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    std::FILE* file = std::fopen(options.results.c_str(), "wb");
    int error = file ? 0 : errno;
    if (file && (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0))
        error = errno;
    if (file && std::fclose(file) != 0 && error == 0)
        error = errno;
    if (file && error == 0)
        return true;
    const std::string message = "quendrix: cannot write the results to '" + options.results +
                                "': " + std::strerror(error ? error : EIO) + "\n";
    endErrorLine();
    writeError(message.data(), message.size());
    return false;
}

bool writeFramesResults(int64_t frames, int64_t ms) {
    if (options.results.empty())
        return true;
    const FrameTimes& times = frameTimes();
    Json doc = document("frames");
    doc["frames"] = {{"frames", frames},
                     {"seconds", static_cast<double>(ms) / 1000.0},
                     {"rate", static_cast<double>(frames) * 1000.0 / static_cast<double>(ms)},
                     {"frame_time_ms",
                      {{"min", milliseconds(times.least)},
                       {"median", milliseconds(frameTimeAt(times, 0.5))},
                       {"p95", milliseconds(frameTimeAt(times, 0.95))},
                       {"p99", milliseconds(frameTimeAt(times, 0.99))},
                       {"max", milliseconds(times.greatest)}}}};
    return write(doc);
}

// The check's member: its status and verdict. The place for its judgement
// of each frame, with the figures of the frame's line, as "frames".
static Json checkMember(int status) {
    return {{"status", status}, {"verdict", status == 0 ? "passed" : status == 1 ? "FAILED" : "not judged"}};
}

bool writeCheckResults(int status) {
    if (options.results.empty())
        return true;
    Json doc = document("check");
    doc["check"] = checkMember(status);
    return write(doc);
}
