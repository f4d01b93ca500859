#include "platform/linux/pipewire/restore_tokens.h"

#include <cstdlib>
#include <fstream>

namespace kelvane::platform::pipewire {
namespace {

// A token is a short printable word; anything else in the file is not one.
bool plausibleToken(const std::string& token) {
    if (token.empty() || token.size() > 256) return false;
    for (const char c : token) {
        if (c <= ' ' || c > '~') return false;
    }
    return true;
}

}  // namespace

std::optional<std::filesystem::path> restoreTokenPath(std::uint32_t displayID) {
    std::filesystem::path state;
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    // A relative XDG_STATE_HOME is invalid and is ignored, as the base directory rules say.
    if (stateHome && *stateHome == '/') {
        state = stateHome;
    } else if (home && *home) {
        state = std::filesystem::path(home) / ".local" / "state";
    } else {
        return std::nullopt;
    }
    return state / "kelvane" / "screencast" / ("display-" + std::to_string(displayID) + ".token");
}

std::optional<std::string> loadRestoreToken(std::uint32_t displayID) {
    const auto path = restoreTokenPath(displayID);
    if (!path) return std::nullopt;
    std::ifstream file(*path);
    std::string token;
    if (!std::getline(file, token) || !plausibleToken(token)) return std::nullopt;
    return token;
}

void storeRestoreToken(std::uint32_t displayID, const std::string& token) {
    const auto path = restoreTokenPath(displayID);
    if (!path) return;
    std::error_code error;
    if (token.empty()) {
        std::filesystem::remove(*path, error);
        return;
    }
    std::filesystem::create_directories(path->parent_path(), error);
    // Written beside and renamed over, so a reader never sees half a token.
    const std::filesystem::path partial = path->string() + ".new";
    {
        std::ofstream file(partial, std::ios::trunc);
        if (!(file << token << '\n')) return;
    }
    // The token lets anyone who holds it record this screen without asking.
    std::filesystem::permissions(partial, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 error);
    std::filesystem::rename(partial, *path, error);
}

}  // namespace kelvane::platform::pipewire
