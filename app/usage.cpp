// What --help prints.
#include "app/keys.h"
#include "app/options.h"
#include "platform/outcome.h"

#include <cstring>

// The outcome table, each meaning wrapped to the width of the options'.
static std::string exitStatusText() {
    std::string text;
    for (const OutcomeRow& row : OUTCOME_TABLE) {
        std::string line = "  " + std::to_string(row.status);
        for (const char* word = row.meaning; *word;) {
            const size_t length = std::strcspn(word, " ");
            if (line.size() + 1 + length > 79)
                text += line + "\n", line = "     ";
            line += (line.size() <= 5 ? std::string(5 - line.size(), ' ') : " ") + std::string(word, length);
            word += length + (word[length] == ' ');
        }
        text += line + "\n";
    }
    return text;
}

// Our options, as the manual words them.
static const char* const OPTIONS_TEXT =
        "Usage: quendrix [OPTION]...\n"
        "361 lit spheres morphing from a random cloud into a conical spiral, into a\n"
        "toroidal coil and back, drawn for both eyes: by default as a red/blue anaglyph\n"
        "(red filter on the left eye). Any key that types a character ends it.\n"
        "\n"
        "  --stereo MODE        how the two views reach the eyes (below); with --check,\n"
        "                       all judges every mode in turn\n"
        "  --swap-eyes          show each eye the other one's view\n"
        "  --eye-separation UNITS\n"
        "                       the distance between the two viewpoints, 1 unless told;\n"
        "                       0 shows both eyes one view\n"
        "  --convergence UNITS  the distance that lies on the screen's plane: nearer\n"
        "                       spheres stand out in front of it, farther ones behind;\n"
        "                       unless told, the views are parallel, all in front\n"
        "  --samples N          multisample anti-aliasing, at least N (2 to 64) samples\n"
        "  --fullscreen         cover the whole screen and hide the pointer\n"
        "  --frames N           end after N frames; the timed result goes to standard output\n"
        "  --swap-interval N    wait for every N-th screen refresh at each swap; 0 never\n"
        "                       waits (the default of a --frames run)\n"
        "  --info               print the GL renderer, version, vendor, swap interval,\n"
        "                       samples and parallax (off-screen, the EGL platform too)\n"
        "                       on standard output\n"
        "  --check              draw fixed frames, check every pixel is what it must be,\n"
        "                       on the screen too; print the result and exit (0 right,\n"
        "                       1 wrong, 77 could not judge: see the exit status)\n"
        "  --offscreen          draw --frames or --check off-screen through EGL, with no\n"
        "                       display server and no window\n"
        "  --phase T            begin so that the first whole frame is drawn at phase T,\n"
        "                       0 to 125.66 (40 pi): 0 the cloud, 6.2831853 the spiral,\n"
        "                       12.566371 the coil\n"
        "  --results FILE       when --frames or --check ends, write its results to FILE\n"
        "                       as JSON\n"
        "  --save-images DIR    write the last frame of --frames into DIR as a PNG file;\n"
        "                       with --check, what each frame must show, what was drawn\n"
        "                       and where they differ\n"
        "  -geometry WxH+X+Y    window size and position (default 480x480); -X and -Y\n"
        "                       count from the screen's right and bottom edges\n"
        "  -iconic              start with the window minimised\n"
        "  -h, --help           print this help and exit\n"
        "  --version            print the version and exit\n"
        "\n";

std::string usage() {
    std::string text = std::string(OPTIONS_TEXT) + "Stereo modes:\n";
    for (const StereoModeRow& mode : STEREO_MODE_TABLE)
        text += "  " + std::string(mode.name) + std::string(21 - std::strlen(mode.name), ' ') + mode.use + "\n";
    return text +
           "\n"
           "Options read by GLUT:\n"
           "  -display NAME        the X display (default $DISPLAY)\n"
           "  -direct, -indirect   insist on direct or indirect GL rendering\n"
           "  -gldebug             report GL errors after every frame\n"
           "  -sync                talk to the X server synchronously\n"
           "\n" +
           keysText() +
           "\n"
           "Every 64 frames standard error shows \"<frames> frames in <s>s (<fps>fps)\",\n"
           "the average since the first frame.\n"
           "\n"
           "Exit status:\n" +
           exitStatusText() + "See quendrix(1).\n";
}
