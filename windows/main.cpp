// kelvane-windows: prints the windows the user may record as one JSON array.
#include <algorithm>
#include <string_view>
#include <vector>

#include "windows/windows_process.h"

int main(int argc, char** argv) {
    using namespace kelvane;
    const std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
    return windows::runWindows(arguments, {platform::makeShareableContent}, {});
}
