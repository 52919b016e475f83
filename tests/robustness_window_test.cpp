// Bad command lines and a lost display: the program ends with a message and a
// non-zero status, or runs normally, but never dies of a signal or hangs.
#include "harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace {

void expectExitWithMessage(Program& program, const char* what) {
    int status = 0;
    ASSERT_TRUE(program.waitExit(10.0, &status)) << "the program hung: " << what;
    ASSERT_TRUE(WIFEXITED(status)) << what << ": ended by signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 0) << what;
    EXPECT_FALSE(program.errorText().empty()) << what << ": no message";
}

TEST(CommandLine, UnknownArgumentsAreLeftAloneAndTheProgramRuns) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({"--frobnicate", "-x", "42", "extra"}));
    ASSERT_TRUE(program.waitForWindow());
    Picture first = program.grab();
    sleepSeconds(0.5);
    EXPECT_NE(first.rgb, program.grab().rgb);
    program.sendKey(XK_Return);
    int status = 0;
    ASSERT_TRUE(program.waitExit(10.0, &status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CommandLine, ADisplayWithNoServerEndsWithGlutsMessage) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({"-display", ":97"}));
    expectExitWithMessage(program, "-display :97");
    EXPECT_NE(program.errorText().find(":97"), std::string::npos) << program.errorText();
}

TEST(CommandLine, ADisplayOptionWithNoNameEndsWithGlutsMessage) {
    Program program(sharedServer().display());
    ASSERT_TRUE(program.start({"-display"}));
    expectExitWithMessage(program, "-display");
}

// The X server goes away under a running program, gently or not.
void loseTheServer(int signal) {
    XServer server;
    ASSERT_TRUE(server.start(640, 480));
    Program program(server.display());
    ASSERT_TRUE(program.start());
    ASSERT_TRUE(program.waitForWindow());
    sleepSeconds(1.0);
    program.closeConnection();
    kill(server.pid(), signal);
    server.stop();
    expectExitWithMessage(program, signal == SIGKILL ? "server killed" : "server shut down");
    std::string err = program.errorText();
    EXPECT_NE(err.find("lost the connection"), std::string::npos) << err.substr(err.find('\n') + 1);
}

TEST(LostDisplay, ServerShutdownEndsTheProgramPromptly) { loseTheServer(SIGTERM); }
TEST(LostDisplay, ServerKilledEndsTheProgramPromptly) { loseTheServer(SIGKILL); }

}  // namespace
