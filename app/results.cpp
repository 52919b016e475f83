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
#include <chrono>
#include <ctime>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Json = nlohmann::ordered_json;  // members in the order written

static std::vector<std::string> commandLine;
static std::string started;  // ISO 8601, UTC, to the millisecond

// The version of the document's format: within one, members are only ever
// added; a new one may rename, remove or change the meaning of a member.
constexpr int FORMAT_VERSION = 2;

void keepCommandLine(int argc, char* const* argv) {
    commandLine.assign(argv, argv + argc);
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    started = text + std::string(".") + std::to_string(1000 + ms).substr(1) + "Z";
}

// What every run's document holds.
static Json document(const char* run) {
    Json gl = {{"renderer", glText(GL_RENDERER)}, {"version", glText(GL_VERSION)}, {"vendor", glText(GL_VENDOR)}};
    if (options.offscreen)
        gl["egl_platform"] = offscreenPlatform();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    const int interval = swapInterval();
    return {{"program", "quendrix"},
            {"version", QUENDRIX_VERSION},
            {"format_version", FORMAT_VERSION},
            {"started", started},
            {"command_line", commandLine},
            {"run", run},
            {"drawable", options.offscreen ? "off-screen" : "window"},
            {"gl", gl},
            {"stereo_mode", STEREO_MODE_TABLE[options.stereo.mode].name},
            {"eye_order", options.stereo.swapEyes ? "swapped" : "normal"},
            {"samples", samples},
            {"swap_interval", interval >= 0 ? Json(interval) : Json()},
            {"frame_size", {{"width", winWidth}, {"height", winHeight}}}};
}

static double milliseconds(int64_t nanoseconds) { return std::round(static_cast<double>(nanoseconds) / 1e3) / 1e3; }

static bool write(const Json& doc) {
    // Arguments need not be UTF-8: a byte that is not becomes U+FFFD.
    const std::string text = doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    if (options.results == "-")
        return writeDocument(text);  // which says so when it cannot
    if (writeFileWhole(options.results, text))
        return true;
    const std::string message = "quendrix: cannot write the results to '" + options.results +
                                "': " + std::strerror(errno ? errno : EIO) + "\n";
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
                          {"outcome", r.outcome == "FAILED" ? "failed" : r.outcome == "ok" ? "ok" : "not_judged"},
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
            {"verdict", status == 0 ? "passed" : status == 1 ? "failed" : "not_judged"},
            {"reason", lastCheck().reason},
            {"last_line", lastCheck().verdict},
            {"seconds", lastCheck().seconds},
            {"frames", frames}};
}

bool writeCheckResults(int status) {
    if (options.results.empty())
        return true;
    Json doc = document("check");
    doc["check"] = checkMember(status);
    return write(doc);
}
