// The built program run as the host runs it, against the cursor themes installed on the
// machine, with no display.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cursor-atlas/tests/decoded_png.h"

extern char** environ;

namespace {

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the atlas with the environment of this test, minus any display or cursor
// settings, plus `settings`.
ProgramRun runAtlas(const std::vector<std::string>& settings) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        if (text.starts_with("DISPLAY=") || text.starts_with("XCURSOR_")) continue;
        environment.emplace_back(text);
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string program = KELVANE_BINARY_DIR "/cursor-atlas/kelvane-cursor-atlas";
    std::array<int, 2> outPipe{}, errPipe{};
    EXPECT_EQ(pipe(outPipe.data()), 0);
    EXPECT_EQ(pipe(errPipe.data()), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);

    ProgramRun run;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        close(outPipe[0]);
        close(errPipe[0]);
        return run;
    }
    std::array<pollfd, 2> fds = {{{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}}};
    std::array<std::string*, 2> sinks = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && poll(fds.data(), fds.size(), -1) > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, std::size_t(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    waitpid(pid, &run.status, 0);
    return run;
}

class InstalledTheme : public ::testing::TestWithParam<const char*> {};

TEST_P(InstalledTheme, EveryNameHasATallPngWithAPlausibleHotspot) {
    const ProgramRun run = runAtlas({std::string("XCURSOR_THEME=") + GetParam(), "XCURSOR_SIZE=24",
                                     "XCURSOR_PATH=/usr/share/icons"});
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_EQ(run.err, "");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '}');
    EXPECT_EQ(run.out.find('\n'), std::string::npos);
    EXPECT_NE(run.out.find(R"("dataUrl":"data:image\/png;base64,)"), std::string::npos);

    const nlohmann::json atlas = nlohmann::json::parse(run.out);
    std::vector<std::string> names;
    for (const auto& [name, asset] : atlas.items()) names.push_back(name);
    ASSERT_EQ(names, (std::vector<std::string>{"arrow", "closed-hand", "crosshair", "not-allowed", "open-hand",
                                               "pointer", "resize-ew", "resize-ns", "text"}));

    for (const auto& [name, asset] : atlas.items()) {
        SCOPED_TRACE(name);
        const double width = asset.at("width");
        const double height = asset.at("height");
        const double hotspotX = asset.at("hotspotX");
        const double hotspotY = asset.at("hotspotY");
        EXPECT_EQ(height, 1024);
        std::optional<kelvane::cursoratlas::testing::DecodedPng> png =
            kelvane::cursoratlas::testing::decodeDataUrl(asset.at("dataUrl").get<std::string>());
        ASSERT_TRUE(png);
        EXPECT_EQ(png->height, 1024);
        EXPECT_EQ(png->width, width);
        // Cropped tight: the first and last rows and columns each hold an opaque pixel.
        auto opaque = [&](int x, int y) { return (png->at(x, y) >> 24) >= 3; };
        bool top = false, bottom = false, left = false, right = false;
        for (int x = 0; x < png->width; ++x) top |= opaque(x, 0), bottom |= opaque(x, png->height - 1);
        for (int y = 0; y < png->height; ++y) left |= opaque(0, y), right |= opaque(png->width - 1, y);
        EXPECT_TRUE(top && bottom && left && right);

        // Theme hotspots lie on or next to the drawn shape.
        EXPECT_GT(hotspotX, -0.1 * width);
        EXPECT_LT(hotspotX, 1.1 * width);
        EXPECT_GT(hotspotY, -0.1 * height);
        EXPECT_LT(hotspotY, 1.1 * height);
        if (name == "arrow") {
            EXPECT_LT(hotspotX, 0.25 * width);
            EXPECT_LT(hotspotY, 0.25 * height);
        }
        if (name == "crosshair" || name == "not-allowed" || name == "resize-ew" || name == "resize-ns") {
            EXPECT_GT(hotspotX, 0.3 * width);
            EXPECT_LT(hotspotX, 0.7 * width);
            EXPECT_GT(hotspotY, 0.3 * height);
            EXPECT_LT(hotspotY, 0.7 * height);
        }
    }
    // The two resize cursors lie across each other.
    EXPECT_GT(atlas["resize-ew"]["width"].get<double>(), 1024);
    EXPECT_LT(atlas["resize-ns"]["width"].get<double>(), 1024);
}

INSTANTIATE_TEST_SUITE_P(Themes, InstalledTheme, ::testing::Values("Adwaita", "DMZ-White"),
                         [](const auto& info) { return std::string(info.param) == "Adwaita" ? "Adwaita" : "DmzWhite"; });

TEST(NoCursorTheme, PrintsAnEmptyObjectAndSucceeds) {
    char pattern[] = "/tmp/atlas-empty-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const ProgramRun run = runAtlas({"XCURSOR_THEME=NoSuchTheme", std::string("XCURSOR_PATH=") + pattern});
    std::filesystem::remove_all(pattern);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_EQ(run.out, "{}");
    EXPECT_EQ(run.err, "");
}

}  // namespace
