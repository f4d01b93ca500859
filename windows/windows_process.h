#pragma once
// The window lister from its arguments to its exit status.
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "common/program_start.h"
#include "platform/shareable_content.h"

namespace kelvane::windows {

struct WindowsPlatform {
    std::function<std::unique_ptr<platform::ShareableContent>()> makeShareableContent;
};

// Prints the windows as one JSON document and returns 0; a failed listing writes its
// error line and ends through `descriptors.exit(1)` right on the listing's thread.
int runWindows(std::span<const std::string_view> arguments, WindowsPlatform platform,
               common::ProgramDescriptors descriptors);

}  // namespace kelvane::windows
