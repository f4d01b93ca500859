// Runs inside scripts/with-desktop --wayland and checks the session it was given: a
// compositor with no X server beside it, a portal that really casts the screen, sound,
// and a nested session that leaves nothing behind.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <string>
#include <vector>

#include "testing/child_process.h"
#include "testing/tests/desktop_test_commands.h"

namespace kelvane::testing {
namespace {

const std::string portalProbe = std::string(KELVANE_SOURCE_DIR) + "/testing/portal_probe/portal_screencast_probe.py";

nlohmann::json swayReply(const std::string& request) {
    ProgramRun reply = runProgram({"swaymsg", "-r", "-t", request});
    EXPECT_EQ(reply.status, ExitStatus::exitCode(0)) << reply.err;
    return nlohmann::json::parse(reply.out, nullptr, false);
}

// Every node of the compositor's tree with this app id.
void collectApps(const nlohmann::json& node, const std::string& appId, std::vector<nlohmann::json>& found) {
    if (node.value("app_id", nlohmann::json()).is_string() && node["app_id"] == appId) found.push_back(node);
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(children, nlohmann::json::array())) collectApps(child, appId, found);
    }
}

TEST(WithWaylandDesktop, OneFullHdOutputAndNoXServer) {
    EXPECT_EQ(std::getenv("DISPLAY"), nullptr);
    EXPECT_EQ(environment("XDG_SESSION_TYPE"), "wayland");
    EXPECT_FALSE(environment("SWAYSOCK").empty());
    std::string desktop = environment("KELVANE_TEST_DESKTOP_DIR");
    EXPECT_TRUE(exists(environment("XDG_RUNTIME_DIR") + "/" + environment("WAYLAND_DISPLAY")));
    EXPECT_EQ(environment("XDG_STATE_HOME").rfind(desktop + "/", 0), 0u);

    nlohmann::json outputs = swayReply("get_outputs");
    ASSERT_TRUE(outputs.is_array() && outputs.size() == 1) << outputs;
    EXPECT_EQ(outputs[0]["name"], "HEADLESS-1");
    EXPECT_EQ(outputs[0]["rect"], (nlohmann::json{{"x", 0}, {"y", 0}, {"width", 1920}, {"height", 1080}}));

    std::vector<nlohmann::json> clocks;
    collectApps(swayReply("get_tree"), "kelvane-clock", clocks);
    ASSERT_EQ(clocks.size(), 1u);
    EXPECT_TRUE(clocks[0]["visible"].get<bool>());

    ProgramRun xclient = runProgram({"xprop", "-root"});
    EXPECT_NE(xclient.status, ExitStatus::exitCode(0)) << "an X server answered: " << xclient.out;
}

TEST(WithWaylandDesktop, PortalCastsTheOutputEverySession) {
    for (int session = 1; session <= 2; ++session) {
        ProgramRun cast = runProgram({"/usr/bin/python3", portalProbe, "--frames", "3"});
        ASSERT_EQ(cast.status, ExitStatus::exitCode(0)) << "session " << session << ": " << cast.err;
        std::istringstream lines(cast.out);
        std::string stream, frames;
        std::getline(lines, stream);
        std::getline(lines, frames);
        EXPECT_EQ(stream.substr(stream.find(' ', 7)), " 0 0 1920 1080") << stream;
        EXPECT_EQ(frames, "frames 3 1920x1080 BGRx");
    }
}

TEST(WithWaylandDesktop, PulseServerAndAccessibilityBusAsOnTheXDesktop) {
    ProgramRun info = runProgram({"pactl", "info"});
    ASSERT_EQ(info.status, ExitStatus::exitCode(0)) << info.err;
    EXPECT_NE(info.out.find("Default Sink: kelvane_speakers\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Default Source: kelvane_mic\n"), std::string::npos) << info.out;

    ProgramRun address = runProgram({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                                 "org.a11y.Bus.GetAddress"});
    EXPECT_NE(address.out.find("string \"unix:"), std::string::npos) << address.err;
    // Nothing else starts on demand: the document portal would mount a file system.
    ProgramRun documents = runProgram({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.portal.Documents",
                                   "/org/freedesktop/portal/documents", "org.freedesktop.portal.Documents.GetMountPoint"});
    EXPECT_NE(documents.status, ExitStatus::exitCode(0)) << documents.out;
}

TEST(WithWaylandDesktopNested, WithoutASessionBusThereIsNoPortal) {
    ProgramRun cast = runProgram({withDesktop, "--wayland", "--no-dbus", "--no-audio", "/usr/bin/python3", portalProbe});
    EXPECT_EQ(cast.status, ExitStatus::exitCode(1));
    EXPECT_EQ(cast.out, "");
    EXPECT_NE(cast.err.find("portal_screencast_probe: "), std::string::npos) << cast.err;

    ProgramRun wrong = runProgram({withDesktop, "--wayland", "--monitors", "2", "true"});
    EXPECT_EQ(wrong.status, ExitStatus::exitCode(2));
    EXPECT_NE(wrong.err.find("--wayland"), std::string::npos) << wrong.err;
}

TEST(WithWaylandDesktopNested, NothingIsLeftAfterTheCommandOrASignal) {
    for (int signalNumber : {0, SIGTERM}) {
        ChildProcess desktop({withDesktop, "--wayland", "sh", "-c",
                                "echo \"$KELVANE_TEST_DESKTOP_DIR\"; read go; setsid sleep 300 & exit 3"});
        std::optional<std::string> folder = desktop.readStdoutLine(60s);
        ASSERT_TRUE(folder) << desktop.readStderrToEnd(5s);
        // sway, pipewire, wireplumber, the portal's three, pulse, dbus and the clock
        EXPECT_GE(processesOfDesktop(*folder).size(), 9u);
        if (signalNumber) {
            desktop.sendSignal(signalNumber);
        } else {
            desktop.writeLine("go");
        }
        EXPECT_EQ(desktop.waitForExit(60s), ExitStatus::exitCode(signalNumber ? 128 + signalNumber : 3));
        EXPECT_EQ(processesOfDesktop(*folder), std::vector<pid_t>{}) << signalNumber;
        EXPECT_FALSE(exists(*folder));
    }
}

}  // namespace
}  // namespace kelvane::testing
