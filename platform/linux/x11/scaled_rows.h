#pragma once
// Bilinear scaling of BGRA images into an area of a frame, whole or only some rows of the
// result: the rows come out exactly as a whole scale gives them, so a picture whose
// source changed in a few places is brought up to date by redoing only the rows those
// places reach.
#include <cstdint>

struct SwsContext;

namespace kelvane::platform::x11 {

struct SourceImage;

// Pixels [first, end) along one axis.
struct Span {
    int first = 0;
    int end = 0;

    friend bool operator==(const Span&, const Span&) = default;
};

// The pixels of a scaled axis of `scaledSize` pixels that the source pixels `source`
// (of `sourceSize`) can change, with one pixel to spare each side.
Span scaledReach(Span source, int sourceSize, int scaledSize);

// Where a scaled picture goes: `width` x `height` pixels at `pixels`, rows `stride` bytes apart.
struct ScaledArea {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

class RowScaler {
public:
    RowScaler() = default;
    ~RowScaler();
    RowScaler(const RowScaler&) = delete;
    RowScaler& operator=(const RowScaler&) = delete;

    void scale(const SourceImage& image, const ScaledArea& target);
    // Only `rows` of the scaled picture; the rest of `target` is left as it is. Returns the
    // rows written: `rows` widened to whole multiples of what the scaler works in.
    Span scaleRows(const SourceImage& image, const ScaledArea& target, Span rows);

private:
    SwsContext* prepare(const SourceImage& image, const ScaledArea& target);

    SwsContext* context_ = nullptr;
};

}  // namespace kelvane::platform::x11
