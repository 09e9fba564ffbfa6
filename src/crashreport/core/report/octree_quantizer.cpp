#include "crashreport/core/report/octree_quantizer.h"

#include <algorithm>
#include <unordered_map>

namespace cv {

TOctreeQuantizer::TOctreeQuantizer() { fRoot = NewNode(0); }

int32_t TOctreeQuantizer::NewNode(int level)
{
    int32_t index;
    if (!fFree.empty()) {
        index = fFree.back();
        fFree.pop_back();
        fNodes[std::size_t(index)] = Node{};
    } else {
        index = int32_t(fNodes.size());
        fNodes.emplace_back();
    }
    Node& node = fNodes[std::size_t(index)];
    if (level == 8) {
        node.Leaf = true;
        ++fLeafCount;
    } else {
        node.NextReducible = fReducible[std::size_t(level)];
        fReducible[std::size_t(level)] = index;
    }
    return index;
}

void TOctreeQuantizer::FreeNode(int32_t node) { fFree.push_back(node); }

void TOctreeQuantizer::AddColorToOctree(uint8_t red, uint8_t green, uint8_t blue)
{
    int32_t node = fRoot;
    for (int level = 0; !fNodes[std::size_t(node)].Leaf; ++level) {
        const int shift = 7 - level;
        const int child = (((red >> shift) & 1) << 2) | (((green >> shift) & 1) << 1) | ((blue >> shift) & 1);
        int32_t next = fNodes[std::size_t(node)].Children[std::size_t(child)];
        if (next == kNone) {
            next = NewNode(level + 1);
            fNodes[std::size_t(node)].Children[std::size_t(child)] = next;
        }
        node = next;
    }
    Node& leaf = fNodes[std::size_t(node)];
    ++leaf.PixelCount;
    leaf.RedSum += red;
    leaf.GreenSum += green;
    leaf.BlueSum += blue;
    while (fLeafCount > kMaxColors && ReduceOctree()) {
    }
}

bool TOctreeQuantizer::ReduceOctree()
{
    int level = 7;
    while (level > 0 && fReducible[std::size_t(level)] == kNone)
        --level;
    if (level == 0)
        return false; // only the root is left above the leaves: nothing to fold
    const int32_t index = fReducible[std::size_t(level)];
    Node& node = fNodes[std::size_t(index)];
    fReducible[std::size_t(level)] = node.NextReducible;
    int children = 0;
    for (int32_t& child : node.Children) {
        if (child == kNone)
            continue;
        const Node& c = fNodes[std::size_t(child)];
        node.PixelCount += c.PixelCount;
        node.RedSum += c.RedSum;
        node.GreenSum += c.GreenSum;
        node.BlueSum += c.BlueSum;
        FreeNode(child);
        child = kNone;
        ++children;
    }
    node.Leaf = true;
    fLeafCount += 1 - children;
    return true;
}

void TOctreeQuantizer::Collect(int32_t index, std::vector<TPaletteColor>& palette) const
{
    const Node& node = fNodes[std::size_t(index)];
    if (node.Leaf) {
        if (node.PixelCount == 0)
            return;
        palette.push_back({uint8_t(node.RedSum / node.PixelCount), uint8_t(node.GreenSum / node.PixelCount),
                           uint8_t(node.BlueSum / node.PixelCount)});
        return;
    }
    for (const int32_t child : node.Children)
        if (child != kNone)
            Collect(child, palette);
}

std::vector<TPaletteColor> TOctreeQuantizer::CollectPalette() const
{
    std::vector<TPaletteColor> palette;
    palette.reserve(std::size_t(fLeafCount));
    Collect(fRoot, palette);
    return palette;
}

int PaletteRowBytes(int width) { return ((width * 8 + 31) & ~31) / 8; }

namespace {

uint8_t NearestColor(const std::vector<TPaletteColor>& palette, uint32_t pixel)
{
    const int r = int((pixel >> 16) & 0xFF), g = int((pixel >> 8) & 0xFF), b = int(pixel & 0xFF);
    int best = 0;
    int bestDistance = INT32_MAX;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = r - palette[i].Red, dg = g - palette[i].Green, db = b - palette[i].Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i);
            if (distance == 0)
                break;
        }
    }
    return uint8_t(best);
}

} // namespace

TPalettePicture ReduceToPalette(int width, int height, std::span<const uint32_t> pixels, int stride)
{
    TPalettePicture picture;
    picture.Width = std::max(1, width);
    picture.Height = std::max(1, height);
    picture.RowBytes = PaletteRowBytes(picture.Width);
    auto pixelAt = [&](int x, int y) -> uint32_t {
        if (x >= width || y >= height || stride <= 0)
            return 0;
        const std::size_t at = std::size_t(y) * std::size_t(stride) + std::size_t(x);
        return at < pixels.size() ? pixels[at] & 0xFFFFFF : 0;
    };

    TOctreeQuantizer tree;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            const uint32_t p = pixelAt(x, y);
            tree.AddColorToOctree(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
        }
    const std::vector<TPaletteColor> palette = tree.CollectPalette();
    picture.ColorCount = int(palette.size());
    std::copy(palette.begin(), palette.end(), picture.Palette.begin());

    picture.Indices.assign(std::size_t(picture.RowBytes) * std::size_t(picture.Height), 0);
    std::unordered_map<uint32_t, uint8_t> mapped;
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x) {
            const uint32_t p = pixelAt(x, y);
            auto [it, added] = mapped.try_emplace(p, 0);
            if (added)
                it->second = NearestColor(palette, p);
            picture.Indices[std::size_t(y) * std::size_t(picture.RowBytes) + std::size_t(x)] = it->second;
        }
    return picture;
}

} // namespace cv
