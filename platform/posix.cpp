// The process and its standard streams on a POSIX system (Linux, the BSDs,
// macOS): descriptors, signals, a standard error that never blocks, and on
// glibc the heap.
#include "platform/platform.h"
#include "platform/system.h"
#include "platform/outcome.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

static bool outputClosed = false;
static int errorFd = 2;

// Ended by a signal, the program still ends the line of records, so that
// the shell's next line starts on a line of its own; then the signal takes
// its course, and the shell sees how the program ended.
static void endLineAndDie(int number) {
    endErrorLine();
    std::raise(number);
}

// A terminal whose output is held (Ctrl-S, or an emulator that stopped
// reading) reports room and then blocks a write until all of it is taken.
// Opening the terminal anew gives a file description of our own, whose
// non-blocking mode the shell does not share.
static void prepareErrorStream() {
    if (!isatty(2))
        return;
    const char* name = ttyname(2);
    const int fd = name ? open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd >= 0)
        errorFd = fd;
}

// The GL driver allocates and frees megabytes per frame. By default glibc
// trims the heap top and unmaps large blocks as soon as they are freed, so
// every frame pays for brk/munmap and fresh zeroed pages. Keeping the memory
// costs one frame's working set, which is reused frame after frame. 16 MiB is
// the largest mmap threshold every glibc takes (32-bit ones refuse more); the
// driver's blocks are 64 KiB to 1 MiB. A refused value leaves glibc's default
// in place: slower, never wrong.
static void tuneAllocator() {
#if defined(__GLIBC__) && !defined(QUENDRIX_NO_ALLOCATOR_TUNING)
    bool accepted = mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024) == 1;
    accepted = mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024) == 1 && accepted;
    accepted = mallopt(M_TOP_PAD, 16 * 1024 * 1024) == 1 && accepted;
#if !defined(NDEBUG)
    if (!accepted)
        complain("glibc refused an allocator setting; frames may be slower");
#endif
    (void)accepted;
#endif
}

void prepareProcess() {
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    struct sigaction ending = {};
    ending.sa_handler = endLineAndDie;
    ending.sa_flags = SA_RESETHAND;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &ending, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a gone reader is just EPIPE
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1)
            continue;
        // Left closed, the X connection or the GL driver's first file could
        // land on it and receive what is meant for the stream. open returns
        // the lowest free descriptor, which is this one.
        outputClosed = outputClosed || fd == 1;
        const int opened = open("/dev/null", O_RDWR);
        if (opened != -1 && opened != fd)
            close(opened);
    }
    prepareErrorStream();
    tuneAllocator();
}

bool standardOutputWasClosed() { return outputClosed; }

// What the deadline writes and the status it ends with, set before the
// alarm that reads them is armed.
static const char* volatile deadlineOutput = nullptr;
static const char* volatile deadlineError = nullptr;
static volatile int deadlineStatus = 1;

// The results document the deadline writes, and where: prepared when it is
// set, so that the handler only writes and renames.
static std::string deadlineText, deadlineTarget, deadlineTemporary;
static bool deadlineToOutput = false;

void deadlineDocument(const std::string& path, const std::string& document) {
    deadlineText = path.empty() ? std::string() : document;
    deadlineToOutput = path == "-" || namesStandardOutput(path);
    deadlineTarget = linkTarget(path);
    deadlineTemporary = deadlineTarget + "." + std::to_string(processId()) + ".part";
}

// All of it, or false; standard output gets a second to take it, so that a
// reader who never reads cannot keep the process alive.
static bool writeWhole(int fd, const char* text, size_t length) {
    while (length > 0) {
        pollfd out = {fd, POLLOUT, 0};
        const ssize_t written = poll(&out, 1, 1000) == 1 ? write(fd, text, length) : -1;
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        text += written, length -= static_cast<size_t>(written);
    }
    return true;
}

static bool writeDeadlineDocument() {
    if (deadlineToOutput)
        return writeWhole(1, deadlineText.data(), deadlineText.size());
    const int fd = open(deadlineTemporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written = fd >= 0 && writeWhole(fd, deadlineText.data(), deadlineText.size());
    if ((fd >= 0 && close(fd) == 0 && written && rename(deadlineTemporary.c_str(), deadlineTarget.c_str()) == 0))
        return true;
    unlink(deadlineTemporary.c_str());
    return false;
}

// In a signal handler: poll, open, write, rename and _exit only.
static void deadlinePassed(int) {
    const char* output = deadlineOutput;
    size_t length = 0;
    while (output && output[length])
        ++length;
    writeWhole(1, output, length);
    const int status = deadlineText.empty() || writeDeadlineDocument() ? deadlineStatus : exitStatus(UNDELIVERED);
    const char* error = deadlineError;
    length = 0;
    while (error && error[length])
        ++length;
    endErrorLine();
    writeError(error, length);
    _exit(status);
}

void armDeadline(unsigned seconds, int status, const char* outputLine, const char* errorLine) {
    alarm(0);
    deadlineOutput = outputLine;
    deadlineError = errorLine;
    deadlineStatus = status;
    struct sigaction passed = {};
    passed.sa_handler = deadlinePassed;
    sigaction(SIGALRM, &passed, nullptr);
    // A blocked signal would never come: the mask is inherited from whoever started us.
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(seconds);
}

void disarmDeadline() { alarm(0); }

void writeErrorBytes(const char* text, size_t length) {
    // Standard error may be a pipe nobody reads: a blocking write there would
    // stall the animation. Write only what the descriptor takes at once, in
    // pieces no larger than PIPE_BUF, which a pipe reporting room accepts
    // whole.
    while (length > 0) {
        pollfd out = {errorFd, POLLOUT, 0};
        int ready;
        do {
            ready = poll(&out, 1, 0);
        } while (ready < 0 && errno == EINTR);
        if (ready != 1 || (out.revents & POLLOUT) == 0)
            return;
        const size_t piece = length < PIPE_BUF ? length : PIPE_BUF;
        const ssize_t written = write(errorFd, text, piece);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

bool namesStandardOutput(const std::string& path) {
    struct stat named, output;
    return stat(path.c_str(), &named) == 0 && fstat(1, &output) == 0 && named.st_dev == output.st_dev &&
           named.st_ino == output.st_ino;
}

std::string linkTarget(const std::string& path) {
    struct stat named;
    char* target = lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode) ? realpath(path.c_str(), nullptr) : nullptr;
    const std::string resolved = target ? target : path;
    std::free(target);
    return resolved;
}

bool regularOrAbsent(const std::string& path) {
    struct stat named;
    return stat(path.c_str(), &named) != 0 ? errno == ENOENT : S_ISREG(named.st_mode);
}

bool replaceFile(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

long processId() { return static_cast<long>(getpid()); }
