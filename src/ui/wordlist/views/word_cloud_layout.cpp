#include "ui/wordlist/views/word_cloud_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace cv {

namespace {

// Cells examined between two calls of the yield hook.
constexpr int64_t kCellsPerYield = 4096;

// The smallest font size the settings allow a cloud.
int SmallestFontSize(const TWordCloudSettingsRec& s) { return s.MinFontSize(); }

} // namespace

QString OutputConvertedStr(uint8_t outputCase, const QString& text)
{
    switch (outputCase) {
    case kOutputCaseUpper: return text.toUpper();
    case kOutputCaseLower: return text.toLower();
    case kOutputCaseCapitalised:
        return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1).toLower();
    default: return text;
    }
}

TCloudPoint CrownPos(int i, int n, int radius, TCloudPoint centre)
{
    if (n <= 0)
        return centre;
    const double angle = 2.0 * std::numbers::pi * double(i) / double(n);
    return {centre.x + int32_t(std::lround(radius * std::cos(angle))),
            centre.y + int32_t(std::lround(radius * std::sin(angle)))};
}

TCloudRect SquareUpRect(TCloudRect r)
{
    while (r.Width() > r.Height()) {
        ++r.Left;
        --r.Right;
    }
    while (r.Height() > r.Width()) {
        ++r.Top;
        --r.Bottom;
    }
    return r;
}

uint32_t CloudColourForSize(int points)
{
    if (points >= 1 && points <= 10)
        return 0xFF000080u;
    if (points >= 11 && points <= 12)
        return 0xFF000000u;
    if (points >= 13 && points <= 16)
        return 0xFF00008Bu;
    if (points >= 17 && points <= 20)
        return 0xFF800080u;
    if (points >= 21 && points <= 25)
        return 0xFF4B0082u;
    if (points >= 26 && points <= 30)
        return 0xFF9400D3u;
    return 0xFF0000FFu;
}

TWordCloud::TWordCloud(int32_t horizPixels, int32_t vertPixels, TWordCloudWordGetNext source)
    : horiz_pixels(std::max(0, horizPixels)), vert_pixels(std::max(0, vertPixels)),
      fOnWordCloudWordGetNext(std::move(source))
{
    CloudSettings = TWordCloudSettingsRec::Defaults();
    CloudSettings.SetMinFontSize(9);
    ComputeBlockGrid();
    occupied.assign(size_t(blocks_horiz) * size_t(blocks_vert), 0);
}

void TWordCloud::ComputeBlockGrid()
{
    blocks_horiz = horiz_pixels / 3;
    blocks_vert = vert_pixels / 3;
    midblock = {blocks_horiz / 2, blocks_vert / 2};
    gap_between_blocks = 0;
}

int32_t TWordCloud::Occupied(int i, int j) const
{
    if (i < 0 || j < 0 || i >= blocks_horiz || j >= blocks_vert)
        return 0;
    return occupied[size_t(i) * size_t(blocks_vert) + size_t(j)];
}

void TWordCloud::Clear()
{
    current_radius = 0;
    avoid_centre_radius = 0;
    saved_rect.Left = -999;
    printer_rect.Left = -999;
    std::fill(occupied.begin(), occupied.end(), 0);
}

void TWordCloud::DisplayFramingRect(TWordCloudCanvas& canvas)
{
    printer_rect = {0, 0, horiz_pixels, vert_pixels};
    canvas.FrameRect({1, 1, horiz_pixels - 1, vert_pixels - 1}, scrollbox_background_colour, pencolour);
}

void TWordCloud::ScaleFontSizes(const TWordCloudCanvas& canvas)
{
    double n = std::min(fListItemsCount, max_items_showable);
    max_font_size = 40;
    const int ppi = canvas.FontPixelsPerInch() > 0 ? canvas.FontPixelsPerInch() : 96;
    const float q = float(vert_pixels) / float(ppi) * 4.0f;
    do {
        if (q <= 0 || n / q >= 45.0)
            break;
        max_font_size += 5;
        n *= 2;
    } while (max_font_size < 120);
    multiplier = float(max_font_size - SmallestFontSize(CloudSettings)) /
                 float(std::max<int64_t>(1, int64_t(max_freq) - int64_t(min_freq)));
}

void TWordCloud::DisplayTheWords(TWordCloudCanvas& canvas)
{
    Clear();
    third = max_items_showable / 3;
    ComputeBlockGrid();
    occupied.assign(size_t(blocks_horiz) * size_t(blocks_vert), 0);
    redrawSlots = {};
    placed.clear();
    failures = 0;
    stopped = false;
    cellsExamined = 0;
    allowance = canvas.VerticalAllowance();
    if (!fOnWordCloudWordGetNext)
        return;

    if (max_freq == 0) {
        // The range is not known: gather the words, range them and draw the
        // most frequent first.
        std::vector<TWordFreqAndSourceNum> items;
        int32_t lowest = INT32_MAX;
        int32_t highest = 0;
        for (int k = 1;; ++k) {
            TWordFreqAndSourceNum rec;
            fOnWordCloudWordGetNext(rec);
            if (rec.frequency > 0) {
                lowest = std::min(lowest, rec.frequency);
                highest = std::max(highest, rec.frequency);
                items.push_back(std::move(rec));
            }
            if (k > fListItemsCount || k >= max_items_showable)
                break;
        }
        if (!items.empty()) {
            min_freq = lowest;
            max_freq = highest;
        }
        ScaleFontSizes(canvas);
        std::stable_sort(items.begin(), items.end(),
                         [](const TWordFreqAndSourceNum& a, const TWordFreqAndSourceNum& b) {
                             return a.frequency > b.frequency;
                         });
        for (const TWordFreqAndSourceNum& rec : items) {
            if (failures >= 10 || stopped)
                break;
            DisplayOneWord(canvas, rec, false);
        }
    } else {
        // The caller gave the range: the source's order is the order drawn.
        ScaleFontSizes(canvas);
        // A source that never numbers past the limit still ends after as many calls.
        for (int calls = 0; calls < max_items_showable; ++calls) {
            TWordFreqAndSourceNum rec;
            fOnWordCloudWordGetNext(rec);
            if (rec.number > max_items_showable || rec.frequency == 0 || rec.word.isEmpty())
                break;
            if (rec.frequency > 0)
                DisplayOneWord(canvas, rec, false);
            if (failures >= 10 || stopped)
                break;
        }
    }

    // The top ten words go on top of anything drawn later across them.
    for (int i = 10; i >= 1 && !stopped; --i)
        if (redrawSlots[size_t(i)].used && redrawSlots[size_t(i)].wfsn.number == i)
            DisplayOneWord(canvas, redrawSlots[size_t(i)].wfsn, true);
}

void TWordCloud::DisplayOneWord(TWordCloudCanvas& canvas, const TWordFreqAndSourceNum& rec, bool redraw)
{
    const QString text = OutputConvertedStr(CloudSettings.OutputCase(), rec.word);
    // Halves round to even, as the layout has always done.
    const int scaled = int(std::nearbyint(double(int64_t(rec.frequency) - min_freq) * double(multiplier)));
    const int size = std::min(SmallestFontSize(CloudSettings) + scaled, max_font_size);
    if (avoid_centre_radius == 0 && size < 20)
        avoid_centre_radius = current_radius;

    const TCloudPoint extent = canvas.TextExtent(text, size);
    TCloudRect rect;
    const bool inSlot = rec.number >= 0 && rec.number <= 10;
    if (redraw)
        rect = redrawSlots[size_t(rec.number)].r;
    else
        rect = FindPlaceForWord(extent, rec.number);
    if (rect.Left <= -999 || rect.Bottom + allowance <= rect.Top) {
        ++failures;
        return;
    }
    if (!redraw && inSlot)
        redrawSlots[size_t(rec.number)] = {true, rec, rect};

    const TCloudRect block = rect;
    rect.Bottom += allowance;
    const int dx = (rect.Width() - extent.x) / 2 + 1;
    const int dy = (rect.Height() - extent.y) / 2;
    const int shape = CloudSettings.Shape();
    if ((CloudSettings.FillBehindWords() || shape > 0) && rec.number <= third)
        DrawWordShape(canvas, shape, rect, extent, dx, dy);

    uint32_t colour = wordcolour;
    if (rec.number > third)
        colour = kCloudMinorWordColour;
    else if (CloudSettings.ColourBySize())
        colour = CloudColourForSize(size);
    canvas.DrawText(rect.Left + dx, rect.Top + dy, text, size, colour);

    if (!redraw) {
        TPlacedWord p;
        p.wfsn = rec;
        p.text = text;
        p.points = size;
        p.colour = colour;
        p.rect = block;
        p.half = {block.Width() / 6, block.Height() / 6};
        p.cell = {block.Left / 3 + p.half.x, block.Top / 3 + p.half.y};
        placed.push_back(std::move(p));
    }
}

void TWordCloud::DrawWordShape(TWordCloudCanvas& canvas, int shape, const TCloudRect& rect, TCloudPoint extent,
                               int dx, int dy)
{
    const double cxc = rect.Left + dx + extent.x / 2;
    const double cyc = rect.Top + dy + extent.y / 2;
    TCloudBox box{cxc - extent.x / 2.0, cyc - extent.y / 2.0, cxc + extent.x / 2.0, cyc + extent.y / 2.0};
    const int r = extent.y / 3;
    switch (shape) {
    case 0:
        box = {box.left + 2, box.top + 2, box.right - 2, box.bottom - 2};
        break;
    case 1:
    case 2:
        break;
    case 3: {
        const TCloudRect sq = SquareUpRect({int32_t(std::lround(box.left)), int32_t(std::lround(box.top)),
                                            int32_t(std::lround(box.right)), int32_t(std::lround(box.bottom))});
        box = {double(sq.Left), double(sq.Top), double(sq.Right), double(sq.Bottom)};
        break;
    }
    default:
        return;
    }
    canvas.DrawShape(shape, box, r, pencolour, shapefillcolour);
}

TCloudRect TWordCloud::FindPlaceForWord(TCloudPoint extent, int32_t number)
{
    // The block of cells (2 hw + 1 by 2 hh + 1, 3 pixels each) holds the
    // whole word with the room below it, spaced as the settings ask but
    // never less than the word: no word covers another or leaves the cloud.
    const double across = std::max(1.0, double(CloudSettings.HorizontalSpacing()));
    const double down = std::max(1.0, double(CloudSettings.VerticalSpacing()));
    const int hw = std::max(0, int(std::ceil((extent.x + 2) * across / 6.0)));
    const int hh = std::max(0, int(std::ceil((extent.y + allowance) * down / 6.0)));
    // Cells of a word are marked with its number; a source without numbers
    // still takes its cells (marked -1, which the hit test treats as empty).
    const int32_t mark = number > 0 ? number : -1;
    current_radius = avoid_centre_radius > 0 ? avoid_centre_radius : 0;
    int n = 0;
    std::vector<TCloudPoint> candidates{midblock};
    for (;;) {
        for (const TCloudPoint c : candidates)
            if (CellRectFitsAndMark(c, hw, hh, mark))
                return {(c.x - hw) * 3, (c.y - hh) * 3, (c.x + hw + 1) * 3, (c.y + hh + 1) * 3};
        if (stopped)
            return {-999, 0, 0, 0};
        current_radius += 5;
        n += 10;
        bool anyOutside = false;
        candidates = RingCandidates(n, hw, hh, anyOutside);
        if (candidates.empty() && anyOutside)
            return {-999, 0, 0, 0};
    }
}

std::vector<TCloudPoint> TWordCloud::RingCandidates(int n, int hw, int hh, bool& anyOutside) const
{
    std::vector<TCloudPoint> out;
    const int gap = gap_between_blocks;
    for (int i = 0; i <= n; ++i) {
        const TCloudPoint p = CrownPos(i, n, current_radius, midblock);
        if (p.x + hw >= blocks_horiz - gap || p.x - hw < gap || p.y + hh >= blocks_vert - gap || p.y - hh < gap) {
            anyOutside = true;
            continue;
        }
        if (Occupied(p.x, p.y) == 0)
            out.push_back(p);
    }
    return out;
}

bool TWordCloud::CellRectFitsAndMark(TCloudPoint c, int hw, int hh, int32_t mark)
{
    const int gap = gap_between_blocks;
    if (c.x - hw < gap || c.y - hh < gap || c.x + hw >= blocks_horiz - gap || c.y + hh >= blocks_vert - gap)
        return false;
    for (int i = c.x - hw; i <= c.x + hw; ++i)
        for (int j = c.y - hh; j <= c.y + hh; ++j) {
            if (onYield && ++cellsExamined % kCellsPerYield == 0 && !onYield())
                stopped = true;
            if (stopped || Cell(i, j) != 0)
                return false;
        }
    for (int i = c.x - hw; i <= c.x + hw; ++i)
        for (int j = c.y - hh; j <= c.y + hh; ++j)
            Cell(i, j) = mark;
    return true;
}

int32_t TWordCloud::ItemAt(TWordCloudCanvas& canvas, int x, int y)
{
    if (x < 0 || y < 0)
        return 0;
    const int ci = x / 3;
    const int cj = y / 3;
    if (ci >= blocks_horiz || cj >= blocks_vert)
        return 0;
    TryToClearAnyHighlightedRect(canvas);
    const int32_t item = Cell(ci, cj);
    if (item <= 0)
        return 0;
    int left = ci, right = ci, top = cj, bottom = cj;
    while (left > 0 && Cell(left - 1, cj) == item)
        --left;
    while (right + 1 < blocks_horiz && Cell(right + 1, cj) == item)
        ++right;
    while (top > 0 && Cell(left, top - 1) == item && Cell(right, top - 1) == item)
        --top;
    while (bottom + 1 < blocks_vert && Cell(left, bottom + 1) == item && Cell(right, bottom + 1) == item)
        ++bottom;
    saved_rect = {left * 3, top * 3, (right + 1) * 3, (bottom + 1) * 3};
    canvas.Highlight(saved_rect, scrollbox_background_colour, shapefillcolour);
    return item;
}

void TWordCloud::TryToClearAnyHighlightedRect(TWordCloudCanvas& canvas)
{
    if (saved_rect.Left == -999)
        return;
    canvas.RestoreHighlight(saved_rect);
    saved_rect.Left = -999;
}

} // namespace cv
