#include "platform/linux/xcursor/cursor_theme_files.h"

#include <X11/Xcursor/Xcursor.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/xcursor/cursor_theme_settings.h"

namespace kelvane::platform::xcursor {
namespace {

std::vector<std::string> splitList(std::string_view text, std::string_view separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool isRegularFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);  // follows symbolic links
}

// A theme name is one folder name; anything that could leave the search folders is refused.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

std::vector<std::string> cursorSearchDirectories() {
    const char* home = std::getenv("HOME");
    std::vector<std::string> directories;
    for (std::string directory : splitList(XcursorLibraryPath(), ":")) {
        if (directory.starts_with('~')) {
            if (home == nullptr || *home == '\0') continue;
            directory = home + directory.substr(1);
        }
        directories.push_back(std::move(directory));
    }
    return directories;
}

CursorThemeFiles::CursorThemeFiles(std::vector<std::string> searchDirectories, std::string theme)
    : directories_(std::move(searchDirectories)) {
    addToChain(theme);
    addToChain(fallbackCursorTheme);
}

void CursorThemeFiles::addToChain(const std::string& theme) {
    if (!isPlainName(theme) || std::find(chain_.begin(), chain_.end(), theme) != chain_.end()) return;
    chain_.push_back(theme);
    for (const std::string& parent : inheritedThemes(theme)) addToChain(parent);
}

std::vector<std::string> CursorThemeFiles::inheritedThemes(const std::string& theme) const {
    // The first index.theme found along the search path describes the theme.
    for (const std::string& directory : directories_) {
        std::ifstream index(std::filesystem::path(directory) / theme / "index.theme");
        if (!index) continue;
        std::string line;
        bool inThemeSection = false;
        while (std::getline(index, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.starts_with('[')) {
                inThemeSection = line == "[Icon Theme]";
            } else if (inThemeSection && line.starts_with("Inherits")) {
                std::size_t equals = line.find('=');
                if (equals == std::string::npos) continue;
                std::string_view key = std::string_view(line).substr(0, equals);
                if (key.find_first_not_of(' ', std::string_view("Inherits").size()) != std::string_view::npos) continue;
                return splitList(std::string_view(line).substr(equals + 1), ",; \t");
            }
        }
        return {};
    }
    return {};
}

std::optional<std::string> CursorThemeFiles::find(std::span<const std::string_view> names) const {
    for (const std::string& theme : chain_) {
        for (std::string_view name : names) {
            if (!isPlainName(name)) continue;
            for (const std::string& directory : directories_) {
                std::filesystem::path file = std::filesystem::path(directory) / theme / "cursors" / name;
                if (isRegularFile(file)) return file.string();
            }
        }
    }
    return std::nullopt;
}

}  // namespace kelvane::platform::xcursor
