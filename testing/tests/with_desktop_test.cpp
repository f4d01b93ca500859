// Runs inside scripts/with-desktop and checks the desktop it was given; the nested
// cases start further throwaway desktops to check layouts, isolation and clean-up.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/desktop_x_queries.h"
#include "testing/tests/desktop_test_commands.h"

namespace kelvane::testing {
namespace {

TEST(WithDesktop, XServerHasTheCaptureExtensionsOnAFullHdScreen) {
    ASSERT_FALSE(environment("DISPLAY").empty());
    DesktopXQueries x;
    for (const char* extension : {"RANDR", "Composite", "DAMAGE", "XFIXES", "MIT-SHM", "XTEST"}) {
        EXPECT_TRUE(x.hasExtension(extension)) << extension;
    }
    auto root = x.geometry(x.root());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->width, 1920u);
    EXPECT_EQ(root->height, 1080u);
    ProgramRun monitors = runProgram({"xrandr", "--listmonitors"});
    EXPECT_EQ(monitors.out.substr(0, monitors.out.find('\n')), "Monitors: 1");
}

TEST(WithDesktop, OpenboxManagesTheScreenAndTheCursorThemeIsSet) {
    DesktopXQueries x;
    auto check = x.words(x.root(), "_NET_SUPPORTING_WM_CHECK");
    ASSERT_TRUE(check && check->size() == 1);
    EXPECT_EQ(x.words(check->front(), "_NET_SUPPORTING_WM_CHECK"), check);
    EXPECT_EQ(x.text(check->front(), "_NET_WM_NAME"), "Openbox");
    EXPECT_TRUE(x.words(x.root(), "_NET_CLIENT_LIST"));

    EXPECT_FALSE(environment("XCURSOR_THEME").empty());
    EXPECT_EQ(environment("XCURSOR_SIZE"), "24");
    ProgramRun resources = runProgram({"xrdb", "-query"});
    EXPECT_NE(resources.out.find("Xcursor.theme:\t" + environment("XCURSOR_THEME") + "\n"), std::string::npos) << resources.out;
}

TEST(WithDesktop, PulseHasNamedSpeakersAndAMicrophone) {
    EXPECT_EQ(environment("KELVANE_TEST_SPEAKERS_SINK"), "kelvane_speakers");
    EXPECT_EQ(environment("KELVANE_TEST_MIC_FEED_SINK"), "kelvane_mic_feed");
    EXPECT_EQ(environment("KELVANE_TEST_MIC_SOURCE"), "kelvane_mic");
    EXPECT_EQ(environment("PULSE_SERVER").rfind("unix:" + environment("KELVANE_TEST_DESKTOP_DIR") + "/", 0), 0u);

    ProgramRun info = runProgram({"pactl", "info"});
    ASSERT_EQ(info.status, ExitStatus::exitCode(0)) << info.err;
    EXPECT_NE(info.out.find("Default Sink: kelvane_speakers\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Default Source: kelvane_mic\n"), std::string::npos) << info.out;

    ProgramRun sinks = runProgram({"pactl", "list", "sinks"});
    EXPECT_NE(sinks.out.find("Description: Kelvane Speakers\n"), std::string::npos);
    EXPECT_NE(sinks.out.find("Sample Specification: s16le 2ch 48000Hz"), std::string::npos);
    ProgramRun sources = runProgram({"pactl", "list", "short", "sources"});
    EXPECT_NE(sources.out.find("\tkelvane_mic\t"), std::string::npos) << sources.out;
    EXPECT_NE(sources.out.find("\tkelvane_speakers.monitor\t"), std::string::npos) << sources.out;
}

TEST(WithDesktop, SoundFedToTheMicFeedIsHeardOnTheMicrophoneOnly) {
    std::string wav = environment("KELVANE_TEST_DESKTOP_DIR") + "/tone.wav";
    writeToneWav(wav, 48000, 1.0, 440);
    std::vector<std::string> raw = {"--raw", "--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=20"};
    std::vector<std::string> micArgs = {"parec", "-d", "kelvane_mic"};
    std::vector<std::string> speakerArgs = {"parec", "-d", "kelvane_speakers.monitor"};
    micArgs.insert(micArgs.end(), raw.begin(), raw.end());
    speakerArgs.insert(speakerArgs.end(), raw.begin(), raw.end());
    ChildProcess microphone(micArgs);
    ChildProcess speakers(speakerArgs);
    std::this_thread::sleep_for(500ms);  // both recorders connected before the tone starts

    ProgramRun play = runProgram({"paplay", "-d", environment("KELVANE_TEST_MIC_FEED_SINK"), wav});
    ASSERT_EQ(play.status, ExitStatus::exitCode(0)) << play.err;
    std::this_thread::sleep_for(300ms);
    microphone.sendSignal(SIGINT);
    speakers.sendSignal(SIGINT);
    std::string heard = microphone.readStdoutToEnd(20s);
    std::string overheard = speakers.readStdoutToEnd(20s);

    EXPECT_GT(heard.size(), 48000u * 4 / 2) << "less than half a second recorded";
    EXPECT_GT(peak(heard), 8000);  // the tone's amplitude is 16000
    EXPECT_LT(peak(overheard), 100);
}

TEST(WithDesktop, SessionBusStartsTheAccessibilityBus) {
    EXPECT_EQ(environment("DBUS_SESSION_BUS_ADDRESS").find(environment("KELVANE_TEST_DESKTOP_DIR")), 10u)
        << environment("DBUS_SESSION_BUS_ADDRESS");  // "unix:path=" + the desktop's folder
    EXPECT_EQ(std::getenv("NO_AT_BRIDGE"), nullptr);
    ProgramRun address = runProgram({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                       "org.a11y.Bus.GetAddress"});
    ASSERT_EQ(address.status, ExitStatus::exitCode(0)) << address.err;
    EXPECT_NE(address.out.find("string \"unix:"), std::string::npos) << address.out;
}

TEST(WithDesktopNested, TwoMonitorsSideBySide) {
    if (geteuid() != 0) GTEST_SKIP() << "the two-monitor layout runs Xorg, which needs root";
    ProgramRun monitors = runProgram({withDesktop, "--monitors", "2", "--no-audio", "--no-dbus", "xrandr", "--listmonitors"});
    ASSERT_EQ(monitors.status, ExitStatus::exitCode(0)) << monitors.err;
    std::istringstream lines(monitors.out);
    std::string header, first, second;
    std::getline(lines, header);
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(header, "Monitors: 2");
    EXPECT_NE(first.find(" 1920/"), std::string::npos) << first;
    EXPECT_NE(first.find("x1080/"), std::string::npos) << first;
    EXPECT_NE(first.find("+0+0 "), std::string::npos) << first;
    EXPECT_NE(second.find(" 1280/"), std::string::npos) << second;
    EXPECT_NE(second.find("x1024/"), std::string::npos) << second;
    EXPECT_NE(second.find("+1920+0 "), std::string::npos) << second;
}

TEST(WithDesktopNested, OwnDesktopAndTheCommandsStatusInputAndOutput) {
    ProgramRun inner = runProgram(
        {withDesktop, "sh", "-c", "echo \"$DISPLAY|$PULSE_SERVER|$DBUS_SESSION_BUS_ADDRESS\"; cat; exit 7"}, {},
        "passed through\n");
    EXPECT_EQ(inner.status, ExitStatus::exitCode(7));
    std::istringstream lines(inner.out);
    std::string seen, echoed;
    std::getline(lines, seen);
    std::getline(lines, echoed);
    EXPECT_EQ(echoed, "passed through");
    std::string outer = environment("DISPLAY") + "|" + environment("PULSE_SERVER") + "|" + environment("DBUS_SESSION_BUS_ADDRESS");
    std::istringstream innerParts(seen), outerParts(outer);
    for (std::string mine, theirs; std::getline(innerParts, mine, '|') && std::getline(outerParts, theirs, '|');) {
        EXPECT_FALSE(mine.empty());
        EXPECT_NE(mine, theirs);
    }
    EXPECT_EQ(inner.err, "");
}

TEST(WithDesktopNested, BareDesktopsOnRequest) {
    ProgramRun bare = runProgram({withDesktop, "--no-wm", "--no-audio", "--no-dbus", "sh", "-c",
                    "xprop -root _NET_SUPPORTING_WM_CHECK; pactl info >/dev/null 2>&1; echo \"pulse=$? $DBUS_SESSION_BUS_ADDRESS\""});
    ASSERT_EQ(bare.status, ExitStatus::exitCode(0)) << bare.err;
    EXPECT_EQ(bare.out.find("window id"), std::string::npos) << bare.out;  // no window manager
    EXPECT_NE(bare.out.find("\npulse=1 disabled:\n"), std::string::npos) << bare.out;

    ProgramRun wrong = runProgram({withDesktop, "--monitors", "3", "true"});
    EXPECT_EQ(wrong.status, ExitStatus::exitCode(2));
    EXPECT_NE(wrong.err.find("--monitors takes 1 or 2"), std::string::npos) << wrong.err;
    EXPECT_EQ(wrong.out, "");
}

class WithDesktopCleanUp : public ::testing::Test {
protected:
    // Starts a nested desktop whose command first prints the desktop's folder.
    std::string start(ChildProcess& desktop) {
        std::optional<std::string> folder = desktop.readStdoutLine(60s);
        EXPECT_TRUE(folder);
        EXPECT_TRUE(folder && exists(*folder));
        EXPECT_GE(processesOfDesktop(folder.value_or("?")).size(), 4u) << "X, openbox, pulse and dbus at least";
        return folder.value_or("?");
    }

    void expectNothingLeft(const std::string& folder) {
        EXPECT_EQ(processesOfDesktop(folder), std::vector<pid_t>{});
        EXPECT_FALSE(exists(folder));
    }
};

TEST_F(WithDesktopCleanUp, AfterTheCommandEndsEvenIfItLeftChildrenBehindOrFails) {
    struct Ending {
        const char* command;  // run once the test has seen the desktop
        ExitStatus status;
    };
    for (const Ending& ending : {Ending{"setsid sleep 300 & exit 0", ExitStatus::exitCode(0)},
                                 Ending{"kill -KILL $$", ExitStatus::exitCode(128 + SIGKILL)}}) {
        SCOPED_TRACE(ending.command);
        ChildProcess desktop(
            {withDesktop, "sh", "-c", std::string("echo \"$KELVANE_TEST_DESKTOP_DIR\"; read go; ") + ending.command});
        std::string folder = start(desktop);
        desktop.writeLine("go");
        EXPECT_EQ(desktop.waitForExit(60s), ending.status);
        expectNothingLeft(folder);
    }
}

TEST_F(WithDesktopCleanUp, WhenTerminatedOrInterrupted) {
    for (int signalNumber : {SIGTERM, SIGINT}) {
        ChildProcess desktop({withDesktop, "sh", "-c", "echo \"$KELVANE_TEST_DESKTOP_DIR\"; exec sleep 300"});
        std::string folder = start(desktop);
        desktop.sendSignal(signalNumber);
        EXPECT_EQ(desktop.waitForExit(60s), ExitStatus::exitCode(128 + signalNumber)) << signalNumber;
        expectNothingLeft(folder);
    }
}

TEST_F(WithDesktopCleanUp, WhenKilledOutright) {
    ChildProcess desktop({withDesktop, "sh", "-c", "echo \"$KELVANE_TEST_DESKTOP_DIR\"; exec sleep 300"});
    std::string folder = start(desktop);
    ::kill(desktop.pid(), SIGKILL);  // no trap runs: the watchdog has to clean up
    EXPECT_TRUE(desktop.waitForExit(10s));
    bool cleaned = false;
    for (int i = 0; i < 100 && !cleaned; ++i) {
        std::this_thread::sleep_for(100ms);
        cleaned = processesOfDesktop(folder).empty() && !exists(folder);
    }
    EXPECT_TRUE(cleaned);
}

}  // namespace
}  // namespace kelvane::testing
