// Quendrix: 361 lit spheres strung along a curve that morphs from a random
// cloud into a conical spiral, into a toroidal coil and back, tumbling about
// three axes, drawn as a red/blue anaglyph. Any key ends it.
#include "app/startup.h"
#include "render/gl.h"

#include <cstdlib>

int main(int argc, char** argv) {
    init(argc, argv);
    glutMainLoop();
    std::exit(0);
}
