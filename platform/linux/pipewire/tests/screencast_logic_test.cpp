// What a screen cast's buffers make of the recorded picture, which portal stream shows a
// display, and where the portal's restore tokens are kept.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/pipewire/damaged_picture.h"
#include "platform/linux/pipewire/portal_stream_choice.h"
#include "platform/linux/pipewire/restore_tokens.h"

namespace kelvane::platform::pipewire {
namespace {

// A BGRx buffer of `width` x `height` with `padding` bytes after each row, every pixel's
// blue byte `value` and its fourth byte left 0, as a compositor leaves it.
struct Buffer {
    Buffer(int width, int height, int padding, std::uint8_t value)
        : stride(width * 4 + padding), bytes(static_cast<std::size_t>(stride) * height, 0) {
        view = {bytes.data(), width, height, stride};
        fill({0, 0, width, height}, value);
    }
    void fill(const PixelRect& rect, std::uint8_t value) {
        for (int y = rect.y; y < rect.y + rect.height; ++y) {
            for (int x = rect.x; x < rect.x + rect.width; ++x) bytes[static_cast<std::size_t>(y) * stride + x * 4] = value;
        }
    }
    int stride;
    std::vector<std::uint8_t> bytes;
    BufferPixels view;
};

std::uint8_t blueAt(const std::vector<std::uint8_t>& picture, int width, int x, int y) {
    return picture[(static_cast<std::size_t>(y) * width + x) * 4];
}

TEST(DamagedPicture, TakesOnlyDamagedRectanglesOfStridedBuffersAndReadsThemOutOpaque) {
    DamagedPicture picture;
    Buffer buffer(8, 6, 12, 10);
    std::vector<std::uint8_t> shown;

    // The first buffer is taken whole, whatever its damage says.
    const PixelRect none[] = {{0, 0, 1, 1}};
    ASSERT_TRUE(picture.apply(buffer.view, std::span<const PixelRect>(none)));
    EXPECT_TRUE(picture.damaged({7, 5, 1, 1}));
    EXPECT_EQ(picture.readInto(shown, false), (PixelRect{0, 0, 8, 6}));
    ASSERT_EQ(shown.size(), 8u * 6 * 4);
    EXPECT_EQ(blueAt(shown, 8, 7, 5), 10);
    EXPECT_EQ(shown[3], 0xff) << "the fourth byte of BGRx comes out opaque";
    EXPECT_FALSE(picture.damaged({0, 0, 8, 6})) << "a read forgets what it took";

    // Only the damaged rectangle of the next buffer is taken, clipped to the picture.
    buffer.fill({0, 0, 8, 6}, 20);
    const PixelRect corner[] = {{6, 4, 5, 5}};
    ASSERT_TRUE(picture.apply(buffer.view, std::span<const PixelRect>(corner)));
    EXPECT_TRUE(picture.damaged({7, 5, 3, 3}));
    EXPECT_FALSE(picture.damaged({0, 0, 6, 6}));
    picture.readInto(shown, false);
    EXPECT_EQ(picture.lastCopied(), (std::vector<PixelRect>{{6, 4, 2, 2}})) << "what the reader's frame says changed";
    EXPECT_EQ(blueAt(shown, 8, 6, 4), 20);
    EXPECT_EQ(blueAt(shown, 8, 7, 5), 20);
    EXPECT_EQ(blueAt(shown, 8, 5, 4), 10);
    EXPECT_EQ(blueAt(shown, 8, 0, 0), 10);

    // An empty damage list is an idle buffer; no list at all means all of it changed.
    EXPECT_FALSE(picture.apply(buffer.view, std::span<const PixelRect>()));
    EXPECT_FALSE(picture.damaged({0, 0, 8, 6}));
    ASSERT_TRUE(picture.apply(buffer.view, std::nullopt));
    picture.readInto(shown, false);
    EXPECT_EQ(blueAt(shown, 8, 0, 0), 20);

    // A reader asking for the whole picture gets it even where nothing was damaged.
    std::vector<std::uint8_t> fresh(8u * 6 * 4, 0);
    picture.readInto(fresh, true);
    EXPECT_EQ(fresh, shown);
    EXPECT_FALSE(picture.lastCopied().has_value());
}

TEST(DamagedPicture, ANewSizeStartsAfreshAndBadBuffersAreRefused) {
    DamagedPicture picture;
    std::vector<std::uint8_t> shown;
    Buffer small(4, 4, 0, 1);
    ASSERT_TRUE(picture.apply(small.view, std::nullopt));
    picture.readInto(shown, false);

    Buffer large(6, 3, 8, 2);
    const PixelRect tiny[] = {{0, 0, 1, 1}};
    ASSERT_TRUE(picture.apply(large.view, std::span<const PixelRect>(tiny)));
    EXPECT_EQ(picture.readInto(shown, false), (PixelRect{0, 0, 6, 3}));
    ASSERT_EQ(shown.size(), 6u * 3 * 4);
    EXPECT_EQ(blueAt(shown, 6, 5, 2), 2) << "a resized stream's first buffer is taken whole";

    BufferPixels shortRows = large.view;
    shortRows.stride = 6 * 4 - 4;
    EXPECT_FALSE(picture.apply(shortRows, std::nullopt));
    EXPECT_FALSE(picture.apply(BufferPixels{}, std::nullopt));
}

TEST(DamagedPicture, ManyRectanglesBetweenReadsBecomeOneAroundThem) {
    DamagedPicture picture;
    Buffer buffer(64, 64, 0, 1);
    picture.apply(buffer.view, std::nullopt);
    std::vector<std::uint8_t> shown;
    picture.readInto(shown, false);
    buffer.fill({0, 0, 64, 64}, 3);
    for (int i = 0; i < 20; ++i) {
        const PixelRect dot[] = {{i * 3, i * 3, 1, 1}};
        picture.apply(buffer.view, std::span<const PixelRect>(dot));
    }
    EXPECT_TRUE(picture.damaged({1, 1, 1, 1})) << "inside the box around the dots";
    EXPECT_FALSE(picture.damaged({60, 0, 4, 4}));
    picture.readInto(shown, false);
    EXPECT_EQ(blueAt(shown, 64, 57, 57), 3);
    EXPECT_EQ(blueAt(shown, 64, 1, 1), 1) << "only what a buffer's damage named is taken from it";
}

TEST(PortalStreamChoice, MatchesByPositionAndSizeInPointsOrPixels) {
    const ShareableDisplay left{7, Rect{0, 0, 1920, 1080}, 1920, 1080};
    const ShareableDisplay right{8, Rect{1920, 0, 1280, 1024}, 2560, 2048};
    const std::vector<PortalStream> both{{41, 0, 0, 1920, 1080, 1}, {42, 1920, 0, 1280, 1024, 1}};
    const struct {
        ShareableDisplay display;
        std::vector<PortalStream> streams;
        std::optional<std::uint32_t> node;
    } cases[] = {
        {left, both, 41},
        {right, both, 42},
        {right, {{43, 1920, 0, 2560, 2048, 1}}, 43},
        {right, {{44, 1920, 0, 1920, 1080, 1}}, std::nullopt},
        {left, {{45, 1920, 0, 1280, 1024, 1}}, std::nullopt},
        {left, {{46, std::nullopt, std::nullopt, 1920, 1080, 1}}, 46},
        {left, {{47, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 1}}, 47},
        {left, {{48, std::nullopt, std::nullopt, 1280, 1024, 1}}, std::nullopt},
        {left, {{49, std::nullopt, std::nullopt, 1920, 1080, 1}, {50, std::nullopt, std::nullopt, 1920, 1080, 1}},
         std::nullopt},
        {left, {}, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto chosen = streamShowing(c.display, c.streams);
        EXPECT_EQ(chosen ? std::optional(chosen->nodeId) : std::nullopt, c.node)
            << "display " << c.display.displayID << ", first stream " << (c.streams.empty() ? 0 : c.streams[0].nodeId);
    }
}

TEST(PortalStreamChoice, AWindowIsCutFromItsDisplaysPictureInThePicturesOwnPixels) {
    const Rect display{1920, 0, 1280, 1024};
    const struct {
        Rect window;
        PixelRect picture;
        PixelRect area;
    } cases[] = {
        {{2000, 100, 400, 300}, {0, 0, 1280, 1024}, {80, 100, 400, 300}},
        // A picture twice the display's size in points (a scale-2 output).
        {{2000, 100, 400, 300}, {0, 0, 2560, 2048}, {160, 200, 800, 600}},
        // Partly off the display, wholly on another one, or the picture not there yet.
        {{3100, 1000, 400, 300}, {0, 0, 1280, 1024}, {1180, 1000, 100, 24}},
        {{100, 100, 400, 300}, {0, 0, 1280, 1024}, {}},
        {{2000, 100, 400, 300}, {}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowAreaInPicture(display, c.window, c.picture), c.area) << c.window.x << "," << c.window.y;
    }
}

TEST(RestoreTokens, OnePerDisplayUnderTheStateFolderPrivateAndForgettable) {
    const std::filesystem::path state = std::filesystem::temp_directory_path() / ("kelvane-tokens-" + std::to_string(getpid()));
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    EXPECT_EQ(loadRestoreToken(3), std::nullopt);
    storeRestoreToken(3, "abc-123");
    storeRestoreToken(4, "def-456");
    EXPECT_EQ(loadRestoreToken(3), "abc-123");
    EXPECT_EQ(loadRestoreToken(4), "def-456");
    const auto path = restoreTokenPath(3);
    ASSERT_TRUE(path);
    EXPECT_EQ(path->parent_path().parent_path().parent_path(), state);
    EXPECT_EQ(std::filesystem::status(*path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    storeRestoreToken(3, "");
    EXPECT_EQ(loadRestoreToken(3), std::nullopt);
    EXPECT_EQ(loadRestoreToken(4), "def-456");

    std::ofstream(*restoreTokenPath(5)) << "two words\n";
    EXPECT_EQ(loadRestoreToken(5), std::nullopt) << "what is not a token is not offered to the portal";

    // A relative state folder is ignored for the one in the home folder.
    setenv("XDG_STATE_HOME", "relative/state", 1);
    setenv("HOME", state.c_str(), 1);
    EXPECT_EQ(restoreTokenPath(3), state / ".local/state/kelvane/screencast/display-3.token");
    std::filesystem::remove_all(state);
}

}  // namespace
}  // namespace kelvane::platform::pipewire
