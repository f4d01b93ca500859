#include "testing/child_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include <string>

namespace kelvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(DesktopProcess, SeparatesOutputStreamsAndReportsTheExitCode) {
    ChildProcess child({"sh", "-c", "echo one; echo warn >&2; echo two; printf tail; exit 3"});
    EXPECT_EQ(child.readStdoutLine(10s), "one");
    EXPECT_EQ(child.readStdoutLine(10s), "two");
    // A last line without a line feed still arrives once the stream ends.
    EXPECT_EQ(child.readStdoutLine(10s), "tail");
    EXPECT_EQ(child.readStdoutLine(10s), std::nullopt);
    EXPECT_TRUE(child.stdoutEnded());
    EXPECT_EQ(child.readStderrLine(10s), "warn");
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::exitCode(3));
}

TEST(DesktopProcess, FeedsStandardInputAndSeesItsEnd) {
    ChildProcess child({"cat"});
    ASSERT_TRUE(child.writeLine("hello"));
    ASSERT_TRUE(child.write("wor"));
    ASSERT_TRUE(child.write("ld\n"));
    EXPECT_EQ(child.readStdoutLine(10s), "hello");
    EXPECT_EQ(child.readStdoutLine(10s), "world");
    child.closeStdin();
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::exitCode(0));
    EXPECT_FALSE(child.write("too late\n"));

    const ProgramRun run = runProgram({"sh", "-c", "cat; echo warn >&2; exit 4"}, {}, "fed\n");
    EXPECT_EQ(run.out, "fed\n");
    EXPECT_EQ(run.err, "warn\n");
    EXPECT_EQ(run.status, ExitStatus::exitCode(4));
}

TEST(DesktopProcess, TimesOutOnASilentChildAndKillsIt) {
    ChildProcess child({"sleep", "60"});
    EXPECT_EQ(child.readStdoutLine(100ms), std::nullopt);
    EXPECT_FALSE(child.stdoutEnded());
    EXPECT_EQ(child.waitForExit(100ms), std::nullopt);
    child.sendSignal(SIGTERM);
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::killedBy(SIGTERM));

    // A run that outlives its limit is killed, and what it wrote before is kept.
    const ProgramRun runaway = runProgram({"sh", "-c", "echo before; sleep 60"}, {}, {}, 200ms);
    EXPECT_EQ(runaway.out, "before\n");
    EXPECT_EQ(runaway.status, ExitStatus::killedBy(SIGKILL));
    // Also when it never reads the input it was given, more than a pipe holds.
    const ProgramRun deaf = runProgram({"sleep", "60"}, {}, std::string(1 << 20, 'x'), 200ms);
    EXPECT_EQ(deaf.status, ExitStatus::killedBy(SIGKILL));
}

TEST(DesktopProcess, ChildGetsDefaultSignalsWhateverTheTestIgnores) {
    // Tests run as background jobs ignore SIGINT; programs under test must still stop on it.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &previous);
    ChildProcess child({"sleep", "60"});
    sigaction(SIGINT, &previous, nullptr);
    child.sendSignal(SIGINT);
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::killedBy(SIGINT));

    // Nor SIGPIPE: a child that writes after its host stopped reading ends through it.
    ChildProcess unread({"sh", "-c", "read line; echo written"});
    unread.closeStdout();
    ASSERT_TRUE(unread.writeLine("go"));
    EXPECT_EQ(unread.waitForExit(10s), ExitStatus::killedBy(SIGPIPE));
}

TEST(DesktopProcess, KillEndsTheWholeProcessGroup) {
    // The grandchild keeps the output pipe open; only killing the group ends the stream.
    ChildProcess child({"sh", "-c", "sleep 60 & echo started; wait"});
    ASSERT_EQ(child.readStdoutLine(10s), "started");
    EXPECT_EQ(child.kill(), ExitStatus::killedBy(SIGKILL));
    EXPECT_EQ(child.readStdoutToEnd(10s), "");
    EXPECT_TRUE(child.stdoutEnded());
}

TEST(DesktopProcess, LargeErrorOutputDoesNotStallTheChild) {
    // Far more than a pipe holds goes to standard error while the test waits on stdout.
    ChildProcess child({"sh", "-c", "head -c 2000000 /dev/zero | tr '\\0' x >&2; echo done"});
    EXPECT_EQ(child.readStdoutLine(30s), "done");
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::exitCode(0));
    EXPECT_EQ(child.readStderrToEnd(10s).size(), 2000000u);
}

TEST(DesktopProcess, OutputIsDrainedWhileTheTestIsBusyElsewhere) {
    // The child finishes writing far more than a pipe holds while the test does not
    // touch it, as when a test sleeps during a recording.
    char folder[] = "/tmp/desktop-process-test.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string marker = std::string(folder) + "/written";
    ChildProcess child({"sh", "-c", "head -c 1000000 /dev/zero; touch " + marker});
    bool written = false;
    for (int i = 0; i < 1000 && !written; ++i) {
        std::this_thread::sleep_for(10ms);
        written = access(marker.c_str(), F_OK) == 0;
    }
    EXPECT_TRUE(written);
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::exitCode(0));
    EXPECT_EQ(child.readStdoutToEnd(10s).size(), 1000000u);
    unlink(marker.c_str());
    rmdir(folder);
}

TEST(DesktopProcess, AppliesEnvironmentAndWorkingDirectory) {
    setenv("KELVANE_PROCESS_TEST_DROPPED", "inherited", 1);
    setenv("KELVANE_PROCESS_TEST_KEPT", "inherited", 1);
    SpawnOptions options;
    options.setEnvironment["KELVANE_PROCESS_TEST_SET"] = "set value";
    options.setEnvironment["KELVANE_PROCESS_TEST_KEPT"] = "replaced";
    options.unsetEnvironment.push_back("KELVANE_PROCESS_TEST_DROPPED");
    options.workingDirectory = "/";
    ChildProcess child({"sh", "-c",
                          "echo \"$KELVANE_PROCESS_TEST_SET|$KELVANE_PROCESS_TEST_KEPT|"
                          "${KELVANE_PROCESS_TEST_DROPPED-unset}|$(pwd)\""},
                         options);
    EXPECT_EQ(child.readStdoutLine(10s), "set value|replaced|unset|/");
    EXPECT_EQ(child.waitForExit(10s), ExitStatus::exitCode(0));
}

TEST(DesktopProcess, UnknownProgramIsAnError) {
    EXPECT_THROW(ChildProcess({"kelvane-no-such-program"}), std::system_error);
    EXPECT_THROW(ChildProcess(std::vector<std::string>{}), std::system_error);
}

}  // namespace
}  // namespace kelvane::testing
