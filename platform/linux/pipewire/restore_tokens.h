#pragma once
// The portal's restore tokens, one file per display under the user's state folder
// ($XDG_STATE_HOME, else ~/.local/state), so the compositor's chooser is shown once for
// each display rather than at every recording.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kelvane::platform::pipewire {

// The token file of a display; nothing when neither XDG_STATE_HOME nor HOME is set.
std::optional<std::filesystem::path> restoreTokenPath(std::uint32_t displayID);

std::optional<std::string> loadRestoreToken(std::uint32_t displayID);
// Keeps `token` for the display (replacing the previous one), or forgets it when empty.
// A failure to write only means the chooser is shown again next time.
void storeRestoreToken(std::uint32_t displayID, const std::string& token);

}  // namespace kelvane::platform::pipewire
