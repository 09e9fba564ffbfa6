#include <gtest/gtest.h>

#include <set>

#include "crashreport/core/report/octree_quantizer.h"

namespace cv {
namespace {

uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

TEST(OctreeQuantizer, AFewColoursAreKeptExactly)
{
    // 256 distinct colours, each on several pixels: no reduction at all.
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 256 * 3; ++i)
        pixels.push_back(Rgb((i * 37) % 256, (i % 256), 255 - (i % 256)) | 0xFF000000u);
    const TPalettePicture picture = ReduceToPalette(256, 3, pixels, 256);
    ASSERT_EQ(picture.ColorCount, 256);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 256; ++x) {
            const TPaletteColor& c = picture.Palette[picture.At(x, y)];
            EXPECT_EQ(Rgb(c.Red, c.Green, c.Blue), pixels[std::size_t(y * 256 + x)] & 0xFFFFFF) << x << "," << y;
        }
}

TEST(OctreeQuantizer, ManyColoursFoldIntoAtMost256Means)
{
    TOctreeQuantizer tree;
    std::set<uint32_t> seen;
    for (int r = 0; r < 256; r += 8)
        for (int g = 0; g < 256; g += 8)
            for (int b = 0; b < 256; b += 64) {
                tree.AddColorToOctree(uint8_t(r), uint8_t(g), uint8_t(b));
                EXPECT_LE(tree.LeafCount(), 256);
            }
    const std::vector<TPaletteColor> palette = tree.CollectPalette();
    EXPECT_EQ(int(palette.size()), tree.LeafCount());
    EXPECT_GT(palette.size(), 64u);
    EXPECT_LE(palette.size(), 256u);
}

TEST(OctreeQuantizer, AFoldedLeafIsTheMeanOfItsPixels)
{
    // 257 colours: the deepest inner node folds; its mean stays a colour
    // between the colours it took.
    TOctreeQuantizer tree;
    for (int i = 0; i < 257; ++i)
        tree.AddColorToOctree(uint8_t(i / 2), uint8_t(i % 256), 0);
    EXPECT_LE(tree.LeafCount(), 256);
    for (const TPaletteColor& c : tree.CollectPalette())
        EXPECT_LE(c.Red, 128);
}

TEST(OctreeQuantizer, RowsArePaddedToFourBytesAndEmptyAreasAreOnePixel)
{
    EXPECT_EQ(PaletteRowBytes(101), 104);
    EXPECT_EQ(PaletteRowBytes(104), 104);
    EXPECT_EQ(PaletteRowBytes(1), 4);

    const std::vector<uint32_t> pixels(101 * 2, Rgb(1, 2, 3));
    const TPalettePicture wide = ReduceToPalette(101, 2, pixels, 101);
    EXPECT_EQ(wide.RowBytes, 104);
    EXPECT_EQ(wide.Indices.size(), 104u * 2);

    const TPalettePicture empty = ReduceToPalette(0, 0, {}, 0);
    EXPECT_EQ(empty.Width, 1);
    EXPECT_EQ(empty.Height, 1);
    EXPECT_EQ(empty.ColorCount, 1);
}

TEST(OctreeQuantizer, PixelsMapToTheNearestColourOfAReducedPalette)
{
    // A smooth ramp of 4096 colours: every pixel ends near its own colour.
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 4096; ++i)
        pixels.push_back(Rgb(i % 256, (i / 16) % 256, (i * 7) % 256));
    const TPalettePicture picture = ReduceToPalette(64, 64, pixels, 64);
    EXPECT_LE(picture.ColorCount, 256);
    for (int i = 0; i < 4096; ++i) {
        const TPaletteColor& c = picture.Palette[picture.At(i % 64, i / 64)];
        const uint32_t p = pixels[std::size_t(i)];
        const int dr = int((p >> 16) & 255) - c.Red, dg = int((p >> 8) & 255) - c.Green, db = int(p & 255) - c.Blue;
        EXPECT_LT(dr * dr + dg * dg + db * db, 3 * 64 * 64) << i;
    }
}

} // namespace
} // namespace cv
