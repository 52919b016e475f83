#include "app/options.h"

#include "check/check.h"
#include "render/clock.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
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

// How an option is read: ours, with no value or with one of a kind, or
// GLUT's, handed on in argv.
enum OptionKind {
    FLAG,        // no value
    WHOLE,       // a whole number from least to most
    REAL,        // a decimal number from least to most
    MODE,        // a stereo mode's name, or all
    PATH,        // a file or folder to write
    GEOMETRY,    // -geometry, X's syntax; ours, as GLUT would take what X cannot read in silence
    GLUT_FLAG,   // GLUT's, without a value
    GLUT_VALUE,  // GLUT's, with a value that GLUT reads
};

// An option's value once read: a number, a mode (-1: all), or text.
struct OptionValue {
    int64_t whole;
    double real;
    const char* text;
};

struct OptionRow {
    const char* name;
    OptionKind kind;
    const char* needs;  // what its value must be, as a refusal says it
    double least, most;
    void (*set)(Options& o, const OptionValue& v);  // where it goes
    const char* range;  // the range as a refusal says it, where not from least to most
};

// clang-format off
static const OptionRow OPTION_TABLE[] = {
    {"-h",               FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.help = true; }, nullptr},
    {"--help",           FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.help = true; }, nullptr},
    {"--version",        FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.version = true; }, nullptr},
    {"--fullscreen",     FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.fullscreen = true; }, nullptr},
    {"--info",           FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.info = true; }, nullptr},
    {"--check",          FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.check = true; }, nullptr},
    {"--swap-eyes",      FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.stereo.swapEyes = true; }, nullptr},
    {"--offscreen",      FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.offscreen = true; }, nullptr},
    // Not GLUT's -iconic, which would wait for ever under a window manager:
    // start-up minimises the window once it is there.
    {"-iconic",          FLAG, nullptr, 0, 0, [](Options& o, const OptionValue&) { o.iconic = true; }, nullptr},
    {"--frames",         WHOLE, "a whole number of frames", 1, MAX_FRAMES,
                         [](Options& o, const OptionValue& v) { o.frames = v.whole; }, nullptr},
    {"--swap-interval",  WHOLE, "a whole number", 0, MAX_SWAP_INTERVAL,
                         [](Options& o, const OptionValue& v) { o.swapInterval = static_cast<int>(v.whole); }, nullptr},
    {"--samples",        WHOLE, "a whole number of samples", MIN_SAMPLES, MAX_SAMPLES,
                         [](Options& o, const OptionValue& v) { o.samples = static_cast<int>(v.whole); }, nullptr},
    {"--eye-separation", REAL, "a number of units", 0, MAX_EYE_SEPARATION,
                         [](Options& o, const OptionValue& v) { o.stereo.eyeSeparation = v.real; }, nullptr},
    {"--convergence",    REAL, "a distance in units", NEAR_PLANE, FAR_PLANE,
                         [](Options& o, const OptionValue& v) { o.stereo.convergence = v.real; }, nullptr},
    {"--phase",          REAL, "a phase", 0, PHASE_PERIOD,
                         [](Options& o, const OptionValue& v) { o.phase = v.real; }, " from 0 to 125.66 (40 pi)"},
    {"--stereo",         MODE, "one of ", 0, 0, [](Options& o, const OptionValue& v) {
                             o.allModes = v.whole < 0;
                             if (!o.allModes)
                                 o.stereo.mode = static_cast<StereoMode>(v.whole);
                         }, nullptr},
    {"--results",        PATH, "a file to write", 0, 0, [](Options& o, const OptionValue& v) { o.results = v.text; }, nullptr},
    {"--save-images",    PATH, "a folder to write into", 0, 0,
                         [](Options& o, const OptionValue& v) { o.saveImages = v.text; }, nullptr},
    {"-geometry",        GEOMETRY, nullptr, 0, 0, nullptr, nullptr},
    {"-direct",          GLUT_FLAG, nullptr, 0, 0, nullptr, nullptr},
    {"-indirect",        GLUT_FLAG, nullptr, 0, 0, nullptr, nullptr},
    {"-gldebug",         GLUT_FLAG, nullptr, 0, 0, nullptr, nullptr},
    {"-sync",            GLUT_FLAG, nullptr, 0, 0, nullptr, nullptr},
    {"-display",         GLUT_VALUE, nullptr, 0, 0, nullptr, nullptr},
};
// clang-format on

// Our options with a value take it after '=' too ("--frames=5"); the others
// are named whole. *inlineValue: the value after '=', or null.
static const OptionRow* optionNamed(const char* arg, const char** inlineValue) {
    *inlineValue = nullptr;
    for (const OptionRow& row : OPTION_TABLE) {
        const size_t length = std::strlen(row.name);
        const bool valued = row.kind == WHOLE || row.kind == REAL || row.kind == MODE || row.kind == PATH;
        if (std::strncmp(arg, row.name, length) != 0 || (arg[length] != '\0' && !(valued && arg[length] == '=')))
            continue;
        if (arg[length] == '=')
            *inlineValue = arg + length + 1;
        return &row;
    }
    return nullptr;
}

static std::string notValue(const char* value) { return value ? std::string(", not '") + value + "'" : std::string(); }

// What a refusal of the option's value says it needs.
static std::string refusal(const OptionRow& row, const char* value) {
    std::string needs = std::string(row.name) + " needs " + row.needs;
    char range[64];
    if (row.kind == WHOLE)
        std::snprintf(range, sizeof range, " from %" PRId64 " to %" PRId64, static_cast<int64_t>(row.least),
                      static_cast<int64_t>(row.most));
    else
        std::snprintf(range, sizeof range, " from %g to %g", row.least, row.most);
    if (row.kind == WHOLE || row.kind == REAL)
        needs += row.range ? row.range : range;
    for (int m = 0; row.kind == MODE && m < STEREO_MODES; ++m)
        needs += std::string(m ? ", " : "") + STEREO_MODE_TABLE[m].name;
    return row.kind == PATH ? needs : needs + notValue(value);
}

// Reads the value of one of our options into its place; what is wrong with
// it, or nothing.
static std::string readValue(const OptionRow& row, const char* value, Options* out) {
    OptionValue v = {0, 0, value};
    bool read = value != nullptr;
    if (row.kind == WHOLE)
        read = readNumber(value, static_cast<int64_t>(row.least), static_cast<int64_t>(row.most), &v.whole);
    else if (row.kind == REAL)
        read = readReal(value, row.least, row.most, &v.real);
    else if (row.kind == MODE && read)
        read = (v.whole = stereoModeNamed(value)) >= 0 || is(value, "all");
    else if (row.kind == PATH)
        read = read && *value;
    if (!read)
        return refusal(row, value);
    row.set(*out, v);
    return std::string();
}

// One option at argv[*i], and its value where it takes one (the next
// argument, taken, unless given after '='); GLUT's are handed on in
// argv[1 .. *glutArgs). What is wrong, or nothing.
static std::string readOption(const OptionRow& row, const char* inlineValue, int argc, char** argv, int* i,
                              int* glutArgs, Options* out) {
    switch (row.kind) {
    case FLAG:
        row.set(*out, {0, 0, nullptr});
        return std::string();
    case GLUT_FLAG:
        argv[(*glutArgs)++] = argv[*i];
        return std::string();
    case GLUT_VALUE:
    case GEOMETRY:
        if (*i + 1 >= argc)
            return std::string("option '") + row.name + "' requires an argument";
        if (row.kind == GLUT_VALUE) {
            argv[(*glutArgs)++] = argv[(*i)++], argv[(*glutArgs)++] = argv[*i];
            return std::string();
        }
        if (parseGeometry(argv[++*i], &out->geometry))
            return std::string();
        return std::string("-geometry needs WxH, +X+Y or WxH+X+Y (X's geometry, - for offsets from the right and "
                           "bottom), not '") + argv[*i] + "'";
    default:
        return readValue(row, inlineValue ? inlineValue : *i + 1 < argc ? argv[++*i] : nullptr, out);
    }
}

// An argument that is none of the options.
static std::string notAnOption(const char* arg) {
    const std::string name(arg, std::strcspn(arg, "="));
    for (const OptionRow& row : OPTION_TABLE)
        if (row.kind == FLAG && name.compare(0, 2, "--") == 0 && name != arg && name == row.name)
            return "option '" + name + "' doesn't allow an argument";
    if (arg[0] == '-' && arg[1] != '\0')
        return std::string("unrecognized option '") + arg + "'";
    return std::string("unexpected argument '") + arg + "'";
}

std::string parseOptions(int* argc, char** argv, Options* out) {
    std::string error;
    int glutArgs = 1;  // what GLUT will see: the name and its own options
    // The first fault is the one said; the rest are read all the same, so
    // that a --help anywhere wins.
    for (int i = 1; i < *argc; ++i) {
        const char* arg = argv[i];
        if (is(arg, "--")) {
            // The end of the options, as for GNU tools: what follows are
            // operands, and the program takes none.
            if (i + 1 < *argc && error.empty())
                error = std::string("unexpected argument '") + argv[i + 1] + "'";
            break;
        }
        const char* inlineValue = nullptr;
        const OptionRow* row = optionNamed(arg, &inlineValue);
        const std::string fault = row ? readOption(*row, inlineValue, *argc, argv, &i, &glutArgs, out) : notAnOption(arg);
        if (error.empty())
            error = fault;
    }
    if (error.empty())
        error = scriptedRunFault(*out, glutArgs, argv);
    *argc = glutArgs;
    argv[glutArgs] = nullptr;
    return error;
}
