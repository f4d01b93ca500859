#pragma once
// Synthetic screen content for the writer benchmark: an editor-like window (title bar,
// sidebar, gutter) whose page of text scrolls a few pixels every frame, and a soft
// chord as its sound. Deterministic, so the source can be made again for comparisons.
#include <cstdint>
#include <vector>

namespace kelvane::bench {

class ScreenContent {
public:
    static constexpr int width = 1920;
    static constexpr int height = 1080;
    static constexpr int scrollPerFrame = 4;

    explicit ScreenContent(int frames);

    // Frame `index` as BGRA rows of width * 4 bytes.
    void frame(int index, std::vector<std::uint8_t>& pixels) const;

private:
    std::vector<std::uint8_t> page_;    // the scrolling text, taller than the screen
    std::vector<std::uint8_t> chrome_;  // title bar and sidebar, drawn over every frame
    int pageHeight_;
};

// `frames` stereo samples at 48000 Hz from sample `first`, interleaved.
std::vector<float> chordSamples(std::int64_t first, int frames);

}  // namespace kelvane::bench
