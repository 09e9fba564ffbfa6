#pragma once
// Reduction of a true-colour picture to at most 256 colours with an octree:
// every pixel walks down the tree by one bit of red, green and blue per
// level (the highest bit first), ending in a leaf at level 8 that counts
// the pixel and sums its colour. Whenever there are more than 256 leaves,
// the first node of the deepest level that still has inner nodes folds its
// children into itself. A picture of at most 256 colours is never reduced,
// so its palette holds its colours exactly.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace cv {

struct TPaletteColor {
    uint8_t Red = 0, Green = 0, Blue = 0;
    friend bool operator==(const TPaletteColor&, const TPaletteColor&) = default;
};

class TOctreeQuantizer {
public:
    static constexpr int kMaxColors = 256;

    TOctreeQuantizer();
    void AddColorToOctree(uint8_t red, uint8_t green, uint8_t blue);
    int LeafCount() const { return fLeafCount; }
    // One colour per leaf, depth first (children 0 to 7), each the mean of
    // the leaf's pixels (sums divided by the count, rounded down).
    std::vector<TPaletteColor> CollectPalette() const;

private:
    static constexpr int32_t kNone = -1;
    struct Node {
        bool Leaf = false;
        uint32_t PixelCount = 0;
        uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
        int32_t NextReducible = kNone;
        std::array<int32_t, 8> Children{kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    };
    int32_t NewNode(int level);
    void FreeNode(int32_t node);
    // False when nothing is left to fold.
    bool ReduceOctree();
    void Collect(int32_t node, std::vector<TPaletteColor>& palette) const;

    // The nodes live in one pool; freed ones are taken again first.
    std::vector<Node> fNodes;
    std::vector<int32_t> fFree;
    std::array<int32_t, 9> fReducible{kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    int32_t fRoot = kNone;
    int fLeafCount = 0;
};

// A picture of palette indices: Height rows of RowBytes bytes (Width of
// them used, the rest padding), the top row first, and a 256-entry palette
// (entries past the picture's colours are black).
struct TPalettePicture {
    int Width = 1;
    int Height = 1;
    int RowBytes = 4;
    std::vector<uint8_t> Indices;
    std::array<TPaletteColor, 256> Palette{};
    int ColorCount = 0;
    uint8_t At(int x, int y) const { return Indices[std::size_t(y) * std::size_t(RowBytes) + std::size_t(x)]; }
};

// The bytes of an 8-bit row of `width` pixels: the width rounded up to a
// multiple of 4.
int PaletteRowBytes(int width);

// The octree's palette for a picture of 0xAARRGGBB pixels (alpha ignored),
// `stride` pixels per row, the top row first, and each pixel mapped to the
// nearest palette colour (the first of equally near ones). Width and height
// below 1 are taken as 1 (a missing pixel is black).
TPalettePicture ReduceToPalette(int width, int height, std::span<const uint32_t> pixels, int stride);

} // namespace cv
