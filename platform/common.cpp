// The parts of the platform layer that are the same on every system.
#include "platform/platform.h"
#include "platform/system.h"

#include "platform/gl.h"
#include "platform/outcome.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Whether the last text on standard error left its line open. Read in a
// signal handler, so a plain flag written whole.
static volatile bool errorLineOpen = false;

void writeError(const char* text, size_t length) {
    if (length == 0)
        return;
    errorLineOpen = text[length - 1] != '\n';
    writeErrorBytes(text, length);
}

void endErrorLine() {
    if (errorLineOpen)
        writeError("\n", 1);
}

void complain(const std::string& what) {
    const std::string line = "quendrix: " + what + "\n";
    endErrorLine();
    writeError(line.data(), line.size());
}

static void (*failureEnd)(const char*) = nullptr;

void onWindowSystemFailure(void (*end)(const char* why)) { failureEnd = end; }

void windowSystemFailed(const char* why) {
    if (failureEnd)
        failureEnd(why);
    leaveAtOnce(exitStatus(FAILED));
}

void leaveAtOnce(int status) {
    endErrorLine();
    std::fflush(stdout);
    std::_Exit(status);
}

// Whether standard output is kept for the results document (--results -).
static bool outputForDocument = false;

void keepOutputForDocument() { outputForDocument = true; }

bool writeOutput(const char* text) {
    if (outputForDocument) {
        writeError(text, std::strlen(text));
        return true;
    }
    return writeDocument(text);
}

bool writeDocument(const std::string& text) {
    // A closed standard output was put on the null device at start, where
    // every write succeeds and reaches no one.
    errno = standardOutputWasClosed() ? EBADF : 0;
    if (errno == 0 && std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
        return true;
    complain(std::string("write error on standard output: ") + std::strerror(errno ? errno : EIO));
    return false;
}

static bool writeAll(const char* path, const char* mode, const std::string& bytes) {
    std::FILE* file = std::fopen(path, mode);
    if (!file)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int error = errno;
    written = std::fclose(file) == 0 && written;
    if (!written && error)
        errno = error;  // the write's reason, not the close's
    return written;
}

bool writeFileWhole(const std::string& named, const std::string& bytes) {
    errno = 0;
    if (namesStandardOutput(named))
        return writeDocument(bytes) || ((errno = errno ? errno : EIO), false);
    // A symbolic link stays one: the file it leads to is replaced.
    const std::string path = linkTarget(named);
    if (!regularOrAbsent(path))
        return writeAll(path.c_str(), "wb", bytes);
    const std::string temporary = path + "." + std::to_string(processId()) + ".part";
    if (writeAll(temporary.c_str(), "wb", bytes) && replaceFile(temporary, path))
        return true;
    const int error = errno ? errno : EIO;
    std::remove(temporary.c_str());
    errno = error;
    return false;
}

void swapBuffers() {
    if (offscreenOpen())
        swapOffscreen();
    else
        glutSwapBuffers();
}

bool keysymTypesCharacter(unsigned long keysym) {
    // Latin-1 and the older character sets (Cyrillic, Greek, Hebrew, Thai,
    // Kana, the euro sign, ...) lie below 0x2100; 0xfe00 and up are dead,
    // function, cursor, keypad and modifier keys; Unicode characters are
    // 0x01000000 plus their code point.
    return (keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym < 0x2100) ||
           (keysym >= 0x010000a0 && keysym <= 0x0110ffff);
}

bool hasExtension(const char* extensions, const char* name) {
    if (!extensions || !name || !*name)
        return false;
    const size_t length = std::strlen(name);
    for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
        bool startsToken = p == extensions || p[-1] == ' ';
        bool endsToken = p[length] == ' ' || p[length] == '\0';
        if (startsToken && endsToken)
            return true;
    }
    return false;
}
