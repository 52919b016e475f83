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

// What the driver said once its context drew: kept, so that a document
// written after the window system failed asks nothing of it.
static Json driver = {{"gl", {{"renderer", ""}, {"version", ""}, {"vendor", ""}}}, {"samples", 0}, {"swap_interval", nullptr}};

void noteDriver() {
    Json gl = {{"renderer", glText(GL_RENDERER)}, {"version", glText(GL_VERSION)}, {"vendor", glText(GL_VENDOR)}};
    if (options.offscreen)
        gl["egl_platform"] = offscreenPlatform();
    const int interval = swapInterval();
    driver = {{"gl", gl}, {"samples", drawableSamples()}, {"swap_interval", interval >= 0 ? Json(interval) : Json()}};
}

// What every run's document holds.
static Json document(Outcome outcome, const std::string& reason) {
    return {{"program", "quendrix"},
            {"version", QUENDRIX_VERSION},
            {"format_version", FORMAT_VERSION},
            {"started", started},
            {"command_line", commandLine},
            {"run", options.check ? "check" : "frames"},
            {"status", exitStatus(outcome)},
            {"outcome", OUTCOME_TABLE[outcome].word},
            {"reason", reason},
            {"drawable", options.offscreen ? "off-screen" : "window"},
            {"gl", driver["gl"]},
            {"stereo_mode", options.allModes ? "all" : STEREO_MODE_TABLE[options.stereo.mode].name},
            {"eye_order", options.stereo.swapEyes ? "swapped" : "normal"},
            {"samples", driver["samples"]},
            {"swap_interval", driver["swap_interval"]},
            {"frame_size", {{"width", winWidth}, {"height", winHeight}}}};
}

static double milliseconds(int64_t nanoseconds) { return std::round(static_cast<double>(nanoseconds) / 1e3) / 1e3; }

static Json framesRun;  // a run of frames that finished

void noteFrames(int64_t frames, int64_t ms) {
    const FrameTimes& times = frameTimes();
    framesRun = {{"frames", frames},
                 {"seconds", static_cast<double>(ms) / 1000.0},
                 {"rate", static_cast<double>(frames) * 1000.0 / static_cast<double>(ms)},
                 {"frame_time_ms",
                  {{"min", milliseconds(times.least)},
                   {"median", milliseconds(frameTimeAt(times, 0.5))},
                   {"p95", milliseconds(frameTimeAt(times, 0.95))},
                   {"p99", milliseconds(frameTimeAt(times, 0.99))},
                   {"max", milliseconds(times.greatest)}}}};
}

static Json orNull(double value) { return std::isnan(value) ? Json() : Json(value); }

// One check's verdict, and its judgement of each frame with the figures of
// the frame's line.
static Json judgement(const CheckReport& c) {
    Json frames = Json::array();
    for (const FrameReport& r : c.frames) {
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
    return {{"verdict", c.judged == DONE ? "passed" : c.judged == JUDGED_WRONG ? "failed" : "not_judged"},
            {"reason", c.reason},
            {"last_line", c.verdict},
            {"seconds", c.seconds},
            {"frames", frames}};
}

// The check's member: its status and judgement; with --stereo all, each
// mode's too. A check that never ran (the deadline's document is made
// before it does) says so as any that could not be run.
static Json checkMember(Outcome outcome, const std::string& reason) {
    CheckReport c = lastCheck();
    if (c.verdict.empty())
        c.reason = reason, c.verdict = "check not judged: " + reason;
    Json member = {{"status", exitStatus(outcome)}};
    member.update(judgement(c));
    if (options.allModes) {
        member["modes"] = Json::array();
        for (const CheckReport& m : everyModeReport()) {
            Json mode = {{"mode", m.mode}};
            mode.update(judgement(m));
            member["modes"].push_back(mode);
        }
    }
    return member;
}

std::string resultsDocument(Outcome outcome, const std::string& reason) {
    Json doc = document(outcome, reason);
    if (options.check)
        doc["check"] = checkMember(outcome, reason);
    else if (!framesRun.is_null())
        doc["frames"] = framesRun;
    // Arguments need not be UTF-8: a byte that is not becomes U+FFFD.
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool writeResults(Outcome outcome, const std::string& reason) {
    const std::string text = resultsDocument(outcome, reason);
    if (options.results == "-")
        return writeDocument(text);  // which says so when it cannot
    if (writeFileWhole(options.results, text))
        return true;
    complain("cannot write the results to '" + options.results + "': " + std::strerror(errno ? errno : EIO));
    return false;
}
