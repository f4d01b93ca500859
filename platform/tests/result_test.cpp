#include "platform/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <variant>

namespace kelvane::platform {
namespace {

struct Base {
    virtual ~Base() = default;
};
struct Derived : Base {};

Result<std::unique_ptr<Base>> make(bool succeed) {
    if (!succeed) return Error{"cannot make it"};
    return std::make_unique<Derived>();
}

TEST(Result, HoldsAMoveOnlyValueThatCanBeTakenOut) {
    Result<std::unique_ptr<Base>> made = make(true);
    ASSERT_TRUE(made.ok());
    const std::unique_ptr<Base> taken = std::move(made).value();
    EXPECT_NE(dynamic_cast<Derived*>(taken.get()), nullptr);
    EXPECT_THROW((void)make(true).error(), std::bad_variant_access);
}

TEST(Result, ErrorKeepsItsMessageAndHasNoValue) {
    const Result<std::unique_ptr<Base>> failed = make(false);
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.error().message, "cannot make it");
    EXPECT_THROW((void)failed.value(), std::bad_variant_access);

    const Result<void> done;
    EXPECT_TRUE(done.ok());
    EXPECT_THROW((void)done.error(), std::bad_optional_access);
    const Result<void> refused = Error{"refused"};
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "refused");
}

}  // namespace
}  // namespace kelvane::platform
