#pragma once
// Finds the file of a cursor in an Xcursor theme: the theme's own cursors first, then
// those of the themes it inherits (depth first, each theme once), then the "default"
// theme. A theme's own legacy name therefore wins over a newer name in a theme it
// inherits, and the "default" theme is asked only when the whole chain lacks every name.
//
// libXcursor's own lookup falls back to "default" name by name and only hands out the
// images of one size, so the lookup is done here and the file is read whole.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform::xcursor {

// The folders that hold cursor themes, in search order: libXcursor's search path
// (XCURSOR_PATH or its built-in list) with a leading "~" made the home folder.
std::vector<std::string> cursorSearchDirectories();

class CursorThemeFiles {
public:
    CursorThemeFiles(std::vector<std::string> searchDirectories, std::string theme);

    // The first existing file for any of `names`, by the order above; nothing when no
    // theme of the chain has any of them.
    std::optional<std::string> find(std::span<const std::string_view> names) const;

    // The themes searched, in order (the chosen theme, what it inherits, then "default").
    const std::vector<std::string>& themeChain() const { return chain_; }

private:
    std::vector<std::string> inheritedThemes(const std::string& theme) const;
    void addToChain(const std::string& theme);

    std::vector<std::string> directories_;
    std::vector<std::string> chain_;
};

}  // namespace kelvane::platform::xcursor
