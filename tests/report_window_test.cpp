// The frame-rate report of the real program, and standard error in every
// state a user can leave it in: the program must keep drawing regardless.
#include "harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <cctype>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Record {
    long long frames, seconds;
    std::string rate;
};

// Reads one "\r<frames> frames in <seconds>s (<rate>fps)" record at pos.
bool parseRecord(const std::string& text, size_t* pos, Record* r) {
    size_t p = *pos;
    auto number = [&](long long* value) {
        size_t start = p;
        while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p])))
            ++p;
        if (p == start || p - start > 18)
            return false;
        *value = std::stoll(text.substr(start, p - start));
        return true;
    };
    auto literal = [&](const char* word) {
        size_t n = std::strlen(word);
        if (text.compare(p, n, word) != 0)
            return false;
        p += n;
        return true;
    };
    long long whole = 0, fraction = 0;
    if (!literal("\r") || !number(&r->frames) || !literal(" frames in ") || !number(&r->seconds) ||
        !literal("s ("))
        return false;
    size_t rateStart = p;
    if (!number(&whole) || !literal("."))
        return false;
    size_t fractionStart = p;
    if (!number(&fraction) || p - fractionStart != 4)
        return false;
    r->rate = text.substr(rateStart, p - rateStart);
    if (!literal("fps)"))
        return false;
    *pos = p;
    return true;
}

// Splits what follows the extension line into report records; fails the test
// on anything that is not one.
std::vector<Record> records(const std::string& err) {
    std::vector<Record> out;
    size_t pos = err.find('\n');
    EXPECT_NE(pos, std::string::npos);
    if (pos == std::string::npos)
        return out;
    ++pos;
    Record r;
    while (pos < err.size()) {
        size_t at = pos;
        if (!parseRecord(err, &pos, &r)) {
            ADD_FAILURE() << "not a report record at byte " << at << ": " << err.substr(at, 80);
            break;
        }
        out.push_back(r);
    }
    return out;
}

std::string rateText(long long frames, long long seconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(frames) / static_cast<double>(seconds));
    return buf;
}

void expectWellFormed(const std::vector<Record>& recs) {
    long long lastFrames = 0;
    for (const Record& r : recs) {
        EXPECT_EQ(r.frames % 64, 0) << r.frames;
        EXPECT_GE(r.frames, lastFrames);
        EXPECT_GE(r.seconds, 1);
        EXPECT_EQ(r.rate, rateText(r.frames, r.seconds));
        lastFrames = r.frames;
    }
}

TEST(Report, HoldsOnlyWellFormedRecordsAfterTheExtensionLine) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(program.waitForWindow());
    sleepSeconds(5.0);
    program.sendKey(XK_Escape);
    int status = 0;
    ASSERT_TRUE(program.waitExit(10.0, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::string err = program.errorText();
    std::vector<Record> recs = records(err);
    ASSERT_GE(recs.size(), 2u) << err.substr(err.find('\n') + 1);
    expectWellFormed(recs);
    std::printf("last report: %s\n", err.substr(err.rfind('\r') + 1).c_str());
}

TEST(Report, StandsStillWhileHiddenAndCountsTheHiddenTime) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(program.waitForWindow());
    sleepSeconds(3.0);
    program.unmap();
    sleepSeconds(1.0);
    std::string atHide = program.errorText();
    std::vector<Record> before = records(atHide);
    ASSERT_FALSE(before.empty());

    sleepSeconds(3.0);
    EXPECT_EQ(program.errorText(), atHide) << "reports went on while the window was hidden";

    program.map();
    sleepSeconds(3.0);
    std::vector<Record> all = records(program.errorText());
    ASSERT_GT(all.size(), before.size()) << "no report after the window came back";
    expectWellFormed(all);
    const Record& last = before.back();
    const Record& next = all[before.size()];
    EXPECT_EQ(next.frames, last.frames + 64) << "the frame count must go on from where it stopped";
    EXPECT_GE(next.seconds, last.seconds + 3) << "the hidden time counts";
}

// Keeps drawing and ends with status 0 on a key, whatever stderr is.
void expectUnaffected(Program& program) {
    ASSERT_TRUE(program.waitForWindow()) << "the program did not show its window";
    sleepSeconds(2.0);
    Picture first = program.grab();
    sleepSeconds(0.5);
    Picture second = program.grab();
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first.rgb, second.rgb) << "the program stopped drawing";
    program.sendKey(XK_space);
    int status = 0;
    ASSERT_TRUE(program.waitExit(10.0, &status)) << "the program hung";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(UnwritableStandardError, APipeWhoseReaderHasGone) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);  // every write now fails with EPIPE (and raises SIGPIPE)
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({}, ErrorTo::Descriptor, fds[1]));
    close(fds[1]);
    expectUnaffected(program);
}

TEST(UnwritableStandardError, AClosedDescriptor) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({}, ErrorTo::Closed));
    expectUnaffected(program);
}

TEST(UnwritableStandardError, AFullPipeNobodyReads) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // Fill the pipe, then hand it over in blocking mode, as a shell would.
    int flags = fcntl(fds[1], F_GETFL);
    fcntl(fds[1], F_SETFL, flags | O_NONBLOCK);
    char block[4096] = {};
    long filled = 0;
    for (;;) {
        ssize_t n = write(fds[1], block, sizeof block);
        if (n <= 0)
            break;
        filled += n;
    }
    ASSERT_EQ(errno, EAGAIN);
    ASSERT_GT(filled, 0);
    fcntl(fds[1], F_SETFL, flags);

    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({}, ErrorTo::Descriptor, fds[1]));
    close(fds[1]);
    expectUnaffected(program);
    close(fds[0]);
}

}  // namespace
