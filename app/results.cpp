#include "app/results.h"

#include "app/driver.h"
#include "app/options.h"
#include "app/window.h"
#include "check/check.h"
#include "platform/gl.h"
#include "platform/platform.h"
#include "render/rate.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Json = nlohmann::ordered_json;  // members in the order written

static std::vector<std::string> commandLine;

void keepCommandLine(int argc, char* const* argv) { commandLine.assign(argv, argv + argc); }

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

static Json orNull(double value) { return std::isnan(value) ? Json() : Json(value); }

// The check's member: its status and verdict, and its judgement of each
// frame with the figures of the frame's line.
static Json checkMember(int status) {
    Json frames = Json::array();
    for (const FrameReport& r : lastCheck().frames) {
        const FrameVerdict& v = r.verdict;
        frames.push_back({{"name", r.name},
                          {"phase", r.T},
                          {"outcome", r.outcome},
                          {"surface_channels", v.judged},
                          {"off", v.off},
                          {"lit_where_nothing_may_be", v.stray},
                          {"wrong_patch_px", v.patch},
                          {"spheres_seen", std::count_if(v.seen.begin(), v.seen.end(), [](unsigned char s) { return s; })},
                          {"spheres_missing", v.missing},
                          {"disparity_px", orNull(v.disparity)},
                          {"expected_disparity_px", orNull(v.expectedDisparity)},
                          {"screen_pixels_compared", r.screenCompared},
                          {"screen_pixels_differing", r.screenDiffer},
                          {"screen_pixels_changed_before_swap", r.screenChanged}});
    }
    return {{"status", status},
            {"verdict", status == 0 ? "passed" : status == 1 ? "FAILED" : "not judged"},
            {"last_line", lastCheck().verdict},
            {"frames", frames}};
}

bool writeCheckResults(int status) {
    if (options.results.empty())
        return true;
    Json doc = document("check");
    doc["check"] = checkMember(status);
    return write(doc);
}
