#pragma once
// The atlas: an asset for each exported standard cursor, and the one JSON document that
// carries them (keys sorted at both levels, compact, the solidus escaped, no line feed).
#include <map>
#include <string>

#include "cursor-atlas/cursor_asset.h"
#include "platform/standard_cursors.h"

namespace kelvane::cursoratlas {

// Keyed by cursor name; a cursor whose asset cannot be made is absent.
using CursorAssets = std::map<std::string, CursorAsset>;

CursorAssets makeAssets(platform::StandardCursors& cursors, const CursorAssetSettings& settings);

// Throws common::JsonEncodeError for a number JSON cannot hold.
std::string atlasDocument(const CursorAssets& assets);

}  // namespace kelvane::cursoratlas
