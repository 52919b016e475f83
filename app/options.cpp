#include "app/options.h"

#include "check/check.h"
#include "render/clock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

Options options;

// Whole numbers only: no sign, no blanks, no fractions.
static bool readNumber(const char* text, int64_t least, int64_t most, int64_t* value) {
    if (!text || *text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || n < least || n > most)
        return false;
    *value = n;
    return true;
}

// Decimal numbers: digits, a point and an exponent; no sign, no blanks, no
// hexadecimal, no infinity or NaN.
static bool readReal(const char* text, double least, double most, double* value) {
    if (!text || !((*text >= '0' && *text <= '9') || *text == '.') || std::strpbrk(text, "xX"))
        return false;
    char* end = nullptr;
    errno = 0;
    const double x = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || x < least || x > most)
        return false;
    *value = x;
    return true;
}

// Digits, and a sign before them where allowed, as X reads a number.
static bool readGeometryNumber(const char*& p, bool sign, int* value) {
    bool negative = false;
    if (sign && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    long n = 0;
    while (*p >= '0' && *p <= '9' && n < 1000000)
        n = n * 10 + (*p++ - '0');
    if (*p >= '0' && *p <= '9')
        return false;  // no window is that large
    *value = static_cast<int>(negative ? -n : n);
    return true;
}

bool parseGeometry(const char* text, Geometry* out) {
    Geometry g;
    const char* p = text + (*text == '=');
    if (*p >= '0' && *p <= '9') {
        g.sized = readGeometryNumber(p, false, &g.width) && (*p == 'x' || *p == 'X') &&
                  readGeometryNumber(++p, false, &g.height) && g.width > 0 && g.height > 0;
        if (!g.sized)
            return false;
    }
    if (*p == '+' || *p == '-') {
        g.placed = true;
        g.fromRight = *p++ == '-';
        if (!readGeometryNumber(p, true, &g.x) || (*p != '+' && *p != '-'))
            return false;
        g.fromBottom = *p++ == '-';
        if (!readGeometryNumber(p, true, &g.y))
            return false;
    }
    if (*p != '\0' || (!g.sized && !g.placed))
        return false;
    *out = g;
    return true;
}

static bool is(const char* arg, const char* name) { return std::strcmp(arg, name) == 0; }

// "--info=yes" and the like: one of our options that take no value, given one.
static bool isFlagWithValue(const char* arg) {
    if (!std::strchr(arg, '='))
        return false;
    const std::string name(arg, std::strcspn(arg, "="));
    return name == "--help" || name == "--version" || name == "--fullscreen" || name == "--info" || name == "--check" ||
           name == "--swap-eyes" || name == "--offscreen";
}

// "--name" or "--name=value" for an option that takes a value.
static bool takesValue(const char* arg, const char* name, const char** inlineValue) {
    const size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0 || (arg[length] != '\0' && arg[length] != '='))
        return false;
    *inlineValue = arg[length] == '=' ? arg + length + 1 : nullptr;
    return true;
}

// Off-screen, into files: work for a script, which only a run that ends
// does. The first option at fault, or nothing.
static std::string scriptedRunFault(const Options& o, int glutArgs, char* const* argv) {
    const bool ends = o.frames > 0 || o.check;
    if (o.offscreen && !ends)
        return "--offscreen needs --frames or --check: off-screen, nothing else would ever be seen";
    if (!o.results.empty() && !ends)
        return "--results needs --frames or --check, a run that ends";
    if (!o.saveImages.empty() && !ends)
        return "--save-images needs --frames or --check: it keeps the last frame, or the pictures of each frame judged";
    if (o.offscreen && o.check && o.samples > 0)  // read back, they may show one sample a pixel
        return "--check judges multisampled frames on the screen, and --offscreen has none: leave out --samples";
    if (o.phase >= 0 && o.check)
        return "--phase does not apply to --check, which draws its own phases";
    if (o.allModes && !o.check)
        return "--stereo all needs --check, which judges every mode in turn";
    if (o.frames > 0 && o.check)
        return "--frames does not apply to --check, which draws the frames it needs";
    if (o.check && o.geometry.sized && std::min(o.geometry.width, o.geometry.height) < MIN_CHECK_SIDE)
        return "--check judges frames of at least " + std::to_string(MIN_CHECK_SIDE) + " x " +
               std::to_string(MIN_CHECK_SIDE) + " pixels, not " + std::to_string(o.geometry.width) + " x " +
               std::to_string(o.geometry.height);
    const char* windowOnly = o.fullscreen ? "--fullscreen" : o.iconic ? "-iconic" : nullptr;
    for (int i = 1; i < glutArgs && !windowOnly; ++i) {
        if (std::strcmp(argv[i], "-geometry") == 0)
            ++i;  // it sizes the off-screen surface
        else
            windowOnly = argv[i];
    }
    if (o.offscreen && windowOnly)
        return std::string("--offscreen opens no window: '") + windowOnly + "' does not apply";
    if (o.offscreen && o.swapInterval >= 0)
        return "--offscreen shows frames on no screen: --swap-interval does not apply";
    return std::string();
}

// Our options that take a whole number.
struct NumberOption {
    const char* name;
    const char* needs;
    int64_t least, most;
};
static const NumberOption NUMBER_OPTIONS[] = {
    {"--frames", "a whole number of frames", 1, MAX_FRAMES},
    {"--swap-interval", "a whole number", 0, MAX_SWAP_INTERVAL},
    {"--samples", "a whole number of samples", MIN_SAMPLES, MAX_SAMPLES},
};

static const NumberOption* numberOption(const char* arg, const char** inlineValue) {
    for (const NumberOption& option : NUMBER_OPTIONS)
        if (takesValue(arg, option.name, inlineValue))
            return &option;
    return nullptr;
}

// Our options that take a number of eye-space units, and the setting of the
// stereo settings each one gives.
struct RealOption {
    const char* name;
    const char* needs;
    double least, most;
    double Stereo::*setting;
};
static const RealOption REAL_OPTIONS[] = {
    {"--eye-separation", "a number of units", 0, MAX_EYE_SEPARATION, &Stereo::eyeSeparation},
    {"--convergence", "a distance in units", NEAR_PLANE, FAR_PLANE, &Stereo::convergence},
};

static const RealOption* realOption(const char* arg, const char** inlineValue) {
    for (const RealOption& option : REAL_OPTIONS)
        if (takesValue(arg, option.name, inlineValue))
            return &option;
    return nullptr;
}

// Our options without a value; false for any other argument.
static bool readFlag(const char* arg, Options* out) {
    bool* const flags[] = {&out->help, &out->help, &out->version, &out->fullscreen, &out->info, &out->check,
                           &out->stereo.swapEyes, &out->offscreen, &out->iconic};
    const char* const names[] = {"-h", "--help", "--version", "--fullscreen", "--info", "--check", "--swap-eyes",
                                 "--offscreen", "-iconic"};  // -iconic: not GLUT's, which would wait for ever
                                                             // under a window manager; start-up minimises it
    for (size_t f = 0; f < sizeof names / sizeof names[0]; ++f)
        if (is(arg, names[f]))
            return *flags[f] = true;
    return false;
}

static std::string notValue(const char* value) { return value ? std::string(", not '") + value + "'" : std::string(); }

// --stereo MODE, or all; what is wrong with it, or nothing.
static std::string readStereo(const char* value, Options* out) {
    const int mode = value ? stereoModeNamed(value) : -1;
    out->allModes = value && std::strcmp(value, "all") == 0;
    if (mode >= 0)
        out->stereo.mode = static_cast<StereoMode>(mode);
    if (mode >= 0 || out->allModes)
        return std::string();
    std::string modes;
    for (const StereoModeRow& m : STEREO_MODE_TABLE)
        modes += std::string(modes.empty() ? "" : ", ") + m.name;
    return "--stereo needs one of " + modes + notValue(value);
}

// A whole number option (NUMBER_OPTIONS) or a real one (REAL_OPTIONS).
static std::string readNumberOption(const NumberOption* number, const char* value, Options* out) {
    int64_t n = 0;
    if (!readNumber(value, number->least, number->most, &n))
        return std::string(number->name) + " needs " + number->needs + " from " + std::to_string(number->least) +
               " to " + std::to_string(number->most) + notValue(value);
    if (number == &NUMBER_OPTIONS[0])
        out->frames = n;
    else if (number == &NUMBER_OPTIONS[1])
        out->swapInterval = static_cast<int>(n);
    else
        out->samples = static_cast<int>(n);
    return std::string();
}

static std::string readRealOption(const RealOption* real, const char* value, Options* out) {
    double x = 0;
    char range[64];
    std::snprintf(range, sizeof range, " from %g to %g", real->least, real->most);
    if (!readReal(value, real->least, real->most, &x))
        return std::string(real->name) + " needs " + real->needs + range + notValue(value);
    out->stereo.*(real->setting) = x;
    return std::string();
}

// Our options that take a value (after '=', or the next argument, taken);
// false for any other argument, else *fault says what is wrong, or nothing.
static bool readValueOption(const char* arg, int argc, char** argv, int* i, Options* out, std::string* fault) {
    const char* value = nullptr;
    const NumberOption* number = numberOption(arg, &value);
    const RealOption* real = number ? nullptr : realOption(arg, &value);
    const bool phase = takesValue(arg, "--phase", &value), stereo = takesValue(arg, "--stereo", &value);
    const bool results = takesValue(arg, "--results", &value), images = takesValue(arg, "--save-images", &value);
    if (!number && !real && !phase && !stereo && !results && !images)
        return false;
    if (!value && *i + 1 < argc)
        value = argv[++*i];
    if (number)
        *fault = readNumberOption(number, value, out);
    else if (real)
        *fault = readRealOption(real, value, out);
    else if (stereo)
        *fault = readStereo(value, out);
    else if (phase && !readReal(value, 0, PHASE_PERIOD, &out->phase))  // from 0 to the animation's period
        *fault = "--phase needs a phase from 0 to 125.66 (40 pi)" + notValue(value);
    else if (!phase && (!value || !*value))
        *fault = results ? "--results needs a file to write" : "--save-images needs a folder to write into";
    else if (!phase)
        (results ? out->results : out->saveImages) = value;
    return true;
}

// GLUT's options, handed on in argv[1 .. *glutArgs), and -geometry, which is
// ours: GLUT would take what X cannot read in silence, and place a window
// given a corner but no size far off the screen. False for any other.
static bool readWindowOption(int argc, char** argv, int* i, int* glutArgs, Options* out, std::string* fault) {
    const char* arg = argv[*i];
    if (is(arg, "-direct") || is(arg, "-indirect") || is(arg, "-gldebug") || is(arg, "-sync")) {
        argv[(*glutArgs)++] = argv[*i];  // without a value
        return true;
    }
    if (!is(arg, "-display") && !is(arg, "-geometry"))
        return false;
    if (*i + 1 >= argc)
        *fault = std::string("option '") + arg + "' requires an argument";
    else if (is(arg, "-display"))  // with a value that GLUT reads
        argv[(*glutArgs)++] = argv[(*i)++], argv[(*glutArgs)++] = argv[*i];
    else if (!parseGeometry(argv[++*i], &out->geometry))
        *fault = std::string("-geometry needs WxH, +X+Y or WxH+X+Y (X's geometry, - for offsets from the right and "
                             "bottom), not '") + argv[*i] + "'";
    return true;
}

std::string parseOptions(int* argc, char** argv, Options* out) {
    std::string error, fault;
    int glutArgs = 1;  // what GLUT will see: the name and its own options
    // The first fault is the one said; the rest are read all the same, so
    // that a --help anywhere wins.
    for (int i = 1; i < *argc; ++i, error = error.empty() ? fault : error) {
        const char* arg = argv[i];
        if (is(arg, "--")) {
            // The end of the options, as for GNU tools: what follows are
            // operands, and the program takes none.
            if (i + 1 < *argc && error.empty())
                error = std::string("unexpected argument '") + argv[i + 1] + "'";
            break;
        }
        if (readFlag(arg, out) || readValueOption(arg, *argc, argv, &i, out, &fault) ||
            readWindowOption(*argc, argv, &i, &glutArgs, out, &fault))
            continue;
        if (isFlagWithValue(arg))
            fault = std::string("option '") + std::string(arg, std::strcspn(arg, "=")) + "' doesn't allow an argument";
        else if (arg[0] == '-' && arg[1] != '\0')
            fault = std::string("unrecognized option '") + arg + "'";
        else
            fault = std::string("unexpected argument '") + arg + "'";
    }
    if (error.empty())
        error = scriptedRunFault(*out, glutArgs, argv);
    *argc = glutArgs;
    argv[glutArgs] = nullptr;
    return error;
}
