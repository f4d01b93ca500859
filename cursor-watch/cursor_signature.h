#pragma once
// Fingerprints of cursor images: a small square alpha mask of the picture, with its
// proportions and hotspot, and a weighted distance between two fingerprints.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/cursor_image.h"

namespace kelvane::cursorwatch {

struct CursorSignature {
    double aspectRatio = 0;    // width / max(height, 1), in points
    double hotspotXRatio = 0;  // hotspot x / max(width, 1)
    double hotspotYRatio = 0;  // hotspot y / max(height, 1)
    // sampleSize x sampleSize entries, each 0 or 255, rows top to bottom.
    std::vector<std::uint8_t> shapeSamples;
};

inline constexpr int defaultSignatureSampleSize = 32;

// The image drawn into a sampleSize x sampleSize square, proportions kept and centred,
// then thresholded on alpha. Nothing for an empty image or one that cannot be drawn.
std::optional<CursorSignature> signature(const platform::CursorImage& image,
                                         int sampleSize = defaultSignatureSampleSize);

// Distance between two signatures: 0 when identical, symmetric, lower is more alike.
// Samples are compared over the shorter of the two sample arrays.
std::int64_t signatureScore(const CursorSignature& a, const CursorSignature& b);

}  // namespace kelvane::cursorwatch
