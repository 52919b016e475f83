// Quendrix: 361 lit spheres strung along a curve that morphs from a random
// cloud into a conical spiral, into a toroidal coil and back, tumbling about
// three axes, drawn for both eyes: by default as a red/blue anaglyph, in
// other stereo modes for other viewers. A key that types a character ends
// it.
#include "app/loop.h"
#include "app/options.h"
#include "app/results.h"
#include "app/start.h"
#include "platform/gl.h"
#include "platform/outcome.h"
#include "platform/platform.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    prepareProcess();
    keepCommandLine(argc, argv);
    // Our own options first: --help and --version need no display, and a
    // mistyped option is refused before any window opens.
    const std::string error = parseOptions(&argc, argv, &options);
    if (options.help)
        return exitStatus(writeOutput(usage().c_str()) ? DONE : UNDELIVERED);
    if (!error.empty()) {
        complain(error + "\nTry 'quendrix --help' for more information.");
        return exitStatus(REFUSED);
    }
    if (options.results == "-")
        keepOutputForDocument();  // standard output holds the results document alone
    if (options.version)
        return writeOutput("quendrix " QUENDRIX_VERSION "\n"
                           "Copyright (C) 2026 The Quendrix developers\n"
                           "License MIT: <https://opensource.org/licenses/MIT>\n"
                           "This is free software: you are free to change and redistribute it.\n"
                           "There is NO WARRANTY, to the extent permitted by law.\n")
                   ? exitStatus(DONE)
                   : exitStatus(UNDELIVERED);

    init(argc, argv);
    runLoop();
}
