// The stereo modes as their manual states them: the channels each eye is lit
// in, and where in the window each eye's picture goes. The tests hold the
// program against this, written apart from it.
#pragma once

struct ModeStatement {
    const char* name;
    const char* left;   // channels, "rgb" for full colour; "" not drawn
    const char* right;
    const char* where;  // "all", "halves", "crossed halves", "squeezed halves", "top bottom",
                        // "squeezed top bottom", "rows", "columns", "squares", "buffers"
};

const ModeStatement MODES[] = {
    {"red-blue", "r", "b", "all"},
    {"red-cyan", "r", "gb", "all"},
    {"green-magenta", "g", "rb", "all"},
    {"yellow-blue", "rg", "b", "all"},
    {"side-by-side", "rgb", "rgb", "halves"},
    {"cross-eyed", "rgb", "rgb", "crossed halves"},
    {"half-side-by-side", "rgb", "rgb", "squeezed halves"},
    {"top-bottom", "rgb", "rgb", "top bottom"},
    {"half-top-bottom", "rgb", "rgb", "squeezed top bottom"},
    {"rows", "rgb", "rgb", "rows"},
    {"columns", "rgb", "rgb", "columns"},
    {"checkerboard", "rgb", "rgb", "squares"},
    {"quad", "rgb", "rgb", "buffers"},
    {"left", "rgb", "", "all"},
    {"right", "", "rgb", "all"},
};
