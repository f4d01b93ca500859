#pragma once
// Writes small Xcursor files and theme folders into a fresh temporary folder.
#include <X11/Xcursor/Xcursor.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kelvane::platform::xcursor::testing {

struct SyntheticImage {
    unsigned size;
    unsigned width;
    unsigned height;
    unsigned xhot;
    unsigned yhot;
    std::uint32_t fill;
};

inline void writeCursorFile(const std::filesystem::path& path, const std::vector<SyntheticImage>& specs) {
    std::filesystem::create_directories(path.parent_path());
    XcursorImages* images = XcursorImagesCreate(static_cast<int>(specs.size()));
    ASSERT_NE(images, nullptr);
    for (const SyntheticImage& spec : specs) {
        XcursorImage* image = XcursorImageCreate(static_cast<int>(spec.width), static_cast<int>(spec.height));
        image->size = spec.size;
        image->xhot = spec.xhot;
        image->yhot = spec.yhot;
        for (unsigned i = 0; i < spec.width * spec.height; ++i) image->pixels[i] = spec.fill + i;
        images->images[images->nimage++] = image;
    }
    const bool saved = XcursorFilenameSaveImages(path.c_str(), images);
    XcursorImagesDestroy(images);
    ASSERT_TRUE(saved) << path;
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "xcursor-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace kelvane::platform::xcursor::testing
