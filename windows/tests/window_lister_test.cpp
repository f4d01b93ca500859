#include "windows/window_lister.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

#include "testing/fake_shareable_content.h"
#include "windows/windows_process.h"

namespace kelvane::windows {
namespace {

using platform::Rect;
using testing::FakeShareableContent;
using testing::fakeDisplay;
using testing::fakeWindow;

ListingOutcome runListing(FakeShareableContent& content, bool onScreenWindowsOnly) {
    asio::io_context context;
    std::optional<ListingOutcome> outcome;
    const ExclusionTables tables = makeExclusionTables();
    asio::co_spawn(context, listingWork(content, onScreenWindowsOnly, tables),
                   [&outcome](std::exception_ptr error, ListingOutcome result) {
                       if (error) std::rethrow_exception(error);
                       outcome = std::move(result);
                   });
    context.run();
    if (!outcome) throw std::runtime_error("listing never finished");
    return *outcome;
}

TEST(CommandLine, AllSpacesIsAnExactArgumentAnywhere) {
    const std::vector<std::string_view> first = {"--all-spaces"};
    const std::vector<std::string_view> fourth = {"a", "b", "c", "--all-spaces", "d"};
    const std::vector<std::string_view> wrongCase = {"--All-Spaces", "--ALL-SPACES"};
    const std::vector<std::string_view> lookalikes = {"--all-spaces=1", " --all-spaces", "-all-spaces"};
    EXPECT_TRUE(wantsAllSpaces(first));
    EXPECT_TRUE(wantsAllSpaces(fourth));
    EXPECT_FALSE(wantsAllSpaces(wrongCase));
    EXPECT_FALSE(wantsAllSpaces(lookalikes));
    EXPECT_FALSE(wantsAllSpaces({}));
}

TEST(ListingWork, AsksWithDesktopWindowsIncludedAndTheOnScreenFlag) {
    FakeShareableContent content;
    runListing(content, true);
    runListing(content, false);
    ASSERT_EQ(content.queries().size(), 2u);
    EXPECT_FALSE(content.queries()[0].excludingDesktopWindows);
    EXPECT_TRUE(content.queries()[0].onScreenWindowsOnly);
    EXPECT_FALSE(content.queries()[1].excludingDesktopWindows);
    EXPECT_FALSE(content.queries()[1].onScreenWindowsOnly);
}

TEST(ListingWork, FiltersOrdersAndEncodesTheAnswer) {
    platform::ShareableContentSnapshot snapshot;
    snapshot.displays = {fakeDisplay(7, Rect{0, 0, 1920, 1080}), fakeDisplay(8, Rect{1920, 0, 1920, 1080})};
    snapshot.windows = {
        fakeWindow(30, std::nullopt, "Terminal", "org.terminal", Rect{100, 100, 640, 480}),
        fakeWindow(31, "Menubar", "Shell", "org.shell", Rect{0, 0, 1920, 30}),
        fakeWindow(32, "notes/today", "Notes", "org.notes", Rect{2000, 50, 400, 300}),
        fakeWindow(33, "Dock", "Dock", "com.apple.dock", Rect{0, 1000, 1920, 80}),
        fakeWindow(34, "panel", "Panel", "org.panel", Rect{0, 0, 1920, 30}, 20),
        fakeWindow(35, std::nullopt, "Notes", "org.notes", Rect{10, 10, 400, 300}),
        fakeWindow(36, "Build", "Terminal", "org.terminal", Rect{5000, 5000, 400, 300}),
    };
    FakeShareableContent content(snapshot);
    const ListingOutcome outcome = runListing(content, true);
    ASSERT_FALSE(outcome.errorLine) << *outcome.errorLine;
    EXPECT_EQ(*outcome.document,
              "[{\"appName\":\"Notes\",\"bundleId\":\"org.notes\",\"display_id\":\"8\",\"height\":300,"
              "\"id\":\"window:32:0\",\"name\":\"Notes \xE2\x80\x94 notes\\/today\",\"width\":400,"
              "\"windowTitle\":\"notes\\/today\",\"x\":2000,\"y\":50},"
              "{\"appName\":\"Terminal\",\"bundleId\":\"org.terminal\",\"display_id\":\"\",\"height\":300,"
              "\"id\":\"window:36:0\",\"name\":\"Terminal \xE2\x80\x94 Build\",\"width\":400,"
              "\"windowTitle\":\"Build\",\"x\":5000,\"y\":5000}]");
}

// Answers from a thread of its own, as a backend that waits on a server may.
class LateContent final : public platform::ShareableContent {
public:
    void getShareableContent(bool, bool, platform::ShareableContentHandler completion) override {
        answerer_ = std::thread([completion] {
            platform::ShareableContentSnapshot snapshot;
            snapshot.windows = {fakeWindow(3, "Late", "App", "org.app")};
            completion(snapshot);
        });
    }
    ~LateContent() override {
        if (answerer_.joinable()) answerer_.join();
    }

private:
    std::thread answerer_;
};

TEST(ListingWork, AnAnswerFromAnotherThreadResumesTheListingOnItsOwnExecutor) {
    LateContent content;
    asio::io_context context;
    const auto work = asio::make_work_guard(context);
    std::thread::id resumedOn;
    std::optional<ListingOutcome> outcome;
    const ExclusionTables tables = makeExclusionTables();
    asio::co_spawn(
        context,
        [&]() -> asio::awaitable<void> {
            outcome = co_await listingWork(content, true, tables);
            resumedOn = std::this_thread::get_id();
        },
        [&context](std::exception_ptr) { context.stop(); });
    context.run();
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    ASSERT_TRUE(outcome && outcome->document);
    EXPECT_NE(outcome->document->find("\"window:3:0\""), std::string::npos);
}

class ThrowingContent final : public platform::ShareableContent {
public:
    void getShareableContent(bool, bool, platform::ShareableContentHandler) override {
        throw std::runtime_error("the display server went away");
    }
};

TEST(ListingWork, ABackendThatThrowsIsReportedLikeAFailedQuery) {
    ThrowingContent content;
    asio::io_context context;
    std::optional<ListingOutcome> outcome;
    const ExclusionTables tables = makeExclusionTables();
    asio::co_spawn(context, listingWork(content, true, tables),
                   [&outcome](std::exception_ptr, ListingOutcome result) { outcome = std::move(result); });
    context.run();
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->document);
    EXPECT_EQ(outcome->errorLine, "Error listing windows: the display server went away");
}

TEST(ListingWork, NoWindowsIsAnEmptyArray) {
    FakeShareableContent content;
    const ListingOutcome outcome = runListing(content, true);
    EXPECT_EQ(outcome.document, "[]");
    EXPECT_FALSE(outcome.errorLine);
}

TEST(ListingWork, FailedQueryAndUnencodableFrameTakeTheErrorPath) {
    FakeShareableContent failing(platform::ShareableContentError{"Cannot open X display \":9\": gone"});
    const ListingOutcome queryFailure = runListing(failing, true);
    EXPECT_FALSE(queryFailure.document);
    EXPECT_EQ(queryFailure.errorLine, "Error listing windows: Cannot open X display \":9\": gone");

    platform::ShareableContentSnapshot snapshot;
    snapshot.windows = {fakeWindow(1, "Fine", "App", "org.app"),
                        fakeWindow(2, "Far", "App", "org.app",
                                   Rect{std::numeric_limits<double>::infinity(), 0, 100, 100})};
    FakeShareableContent infinite(snapshot);
    const ListingOutcome encodeFailure = runListing(infinite, true);
    EXPECT_FALSE(encodeFailure.document);
    ASSERT_TRUE(encodeFailure.errorLine);
    EXPECT_TRUE(encodeFailure.errorLine->starts_with("Error listing windows: "));
    EXPECT_GT(encodeFailure.errorLine->size(), std::string("Error listing windows: ").size());
}

// The whole program through fakes: what reaches each stream and how it ends.
TEST(WindowsRun, PrintsTheDocumentOrWritesTheErrorAndExitsWithOne) {
    struct Case {
        std::function<std::unique_ptr<platform::ShareableContent>()> makeContent;
        std::string output;
        std::string errors;
        int exitedWith;
        int status;
    };
    const std::vector<Case> cases = {
        {[] { return std::make_unique<FakeShareableContent>(); }, "[]", "", -1, 0},
        {[] { return std::make_unique<FakeShareableContent>(platform::ShareableContentError{"gone"}); }, "",
         "Error listing windows: gone\n", 1, 1},
    };
    for (const Case& test : cases) {
        std::string output;
        std::string errors;
        int exitedWith = -1;
        common::ProgramDescriptors descriptors;
        descriptors.writeBytes = [&](std::string_view bytes) { output += bytes; };
        descriptors.writeErrorLine = [&](std::string_view line) { (errors += line) += '\n'; };
        descriptors.exit = [&](int status) { exitedWith = status; };
        const std::vector<std::string_view> arguments;
        EXPECT_EQ(runWindows(arguments, {test.makeContent}, descriptors), test.status);
        EXPECT_EQ(output, test.output);
        EXPECT_EQ(errors, test.errors);
        EXPECT_EQ(exitedWith, test.exitedWith);
    }
}

}  // namespace
}  // namespace kelvane::windows
