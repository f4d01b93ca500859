#pragma once
// PNG encoding of a cairo image surface into memory, with libpng set for the atlas's
// pictures. Enlarged cursors are made of flat blocks, so the Paeth filter predicts almost
// every byte exactly and leaves runs of zeros, which run-length deflate packs quickly.
// cairo's own PNG writer tries every filter on every row and deflates at the default
// strategy, which costs several times the rest of the atlas and gives larger files.
// The pixels are written as straight (not premultiplied) 8-bit RGBA, as cairo does.
#include <cairo.h>

#include <optional>
#include <string>

namespace kelvane::cursoratlas {

// Nothing when the surface is not a readable ARGB32 image or libpng fails.
std::optional<std::string> encodePng(cairo_surface_t* surface);

}  // namespace kelvane::cursoratlas
