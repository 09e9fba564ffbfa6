#pragma once
// Word-cloud layout: a ranked list of words with frequencies turned into a
// cloud. The most frequent words get the largest type and the places nearest
// the centre; each further word takes the first free spot found on rings of
// growing radius round the centre. Overlap is tested on a grid of 3-pixel
// cells, each placed word owning a rectangle of cells, so a test costs a few
// reads, not a pixel comparison.
//
// The cloud knows nothing of result lists: it pulls its words one at a time
// through a callback. It measures and draws through TWordCloudCanvas, so the
// layout runs and is tested without a window; the window's canvas paints
// onto an image (word_cloud_canvas.h).

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/base_list.h"
#include "suite/settings_records.h"

namespace cv {

// A rectangle as the cloud keeps it: left, top, right, bottom in pixels.
struct TCloudRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    friend bool operator==(const TCloudRect&, const TCloudRect&) = default;
};

struct TCloudPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const TCloudPoint&, const TCloudPoint&) = default;
};

// A shape's box as drawn: centre and half sizes (fractions kept).
struct TCloudBox {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The case a word is shown in (offset 16 of the cloud settings).
enum TOutput_results_case : uint8_t { kOutputCaseAsIs = 0, kOutputCaseUpper, kOutputCaseLower, kOutputCaseCapitalised };
QString OutputConvertedStr(uint8_t outputCase, const QString& text);

// The i-th of n points on the circle of `radius` cells round `centre`,
// starting east and going clockwise on the screen (y grows downwards).
TCloudPoint CrownPos(int i, int n, int radius, TCloudPoint centre);

// The longer side of the rectangle shrunk from both ends, a pixel at a time,
// until it is no longer than the shorter side.
TCloudRect SquareUpRect(TCloudRect r);

// Colour of a word of `points` when words are coloured by size (0xAARRGGBB).
uint32_t CloudColourForSize(int points);
// Words numbered beyond a third of the items shown are drawn in this grey, without shapes.
constexpr uint32_t kCloudMinorWordColour = 0xFF708090u;

// What the cloud measures and draws with.
class TWordCloudCanvas {
public:
    virtual ~TWordCloudCanvas() = default;
    // Pixels per inch of the canvas's font.
    virtual int FontPixelsPerInch() const = 0;
    // Height allowance below a word's block: tmHeight div 7 plus the font's
    // internal and external leading, for the canvas's current font.
    virtual int VerticalAllowance() const = 0;
    // The text's size in pixels in a font of `points`.
    virtual TCloudPoint TextExtent(const QString& text, int points) const = 0;
    // The cloud's background and frame.
    virtual void FrameRect(const TCloudRect& r, uint32_t brush, uint32_t pen) = 0;
    // A shape behind a word (0 borderless rounded box, 1 filled framed box,
    // 2 rounded box with border, 3 circle); radius for the rounded corners.
    virtual void DrawShape(int shape, const TCloudBox& box, int radius, uint32_t pen, uint32_t fill) = 0;
    virtual void DrawText(int x, int y, const QString& text, int points, uint32_t colour) = 0;
    // Keeps the pixels of r and paints its background colour in the fill colour.
    virtual void Highlight(const TCloudRect& r, uint32_t background, uint32_t fill) = 0;
    // Puts back what Highlight kept.
    virtual void RestoreHighlight(const TCloudRect& r) = 0;
};

// Hands the next item of the source, a zeroed record when there is none.
using TWordCloudWordGetNext = std::function<void(TWordFreqAndSourceNum& datum)>;

class TWordCloud {
public:
    TWordCloud(int32_t horizPixels, int32_t vertPixels, TWordCloudWordGetNext source = {});

    // --- settings and state the window sets ---
    int32_t max_items_showable = 2000;
    int32_t fListItemsCount = 0;
    int32_t min_freq = 0;
    int32_t max_freq = 0; // 0: not known yet, gathered at the next display
    TWordCloudSettingsRec CloudSettings;
    uint32_t pencolour = 0xFF000000u;
    uint32_t scrollbox_background_colour = 0xFFFFFFFFu;
    uint32_t wordcolour = 0xFF000000u;
    uint32_t shapefillcolour = 0xFFFFFFFFu;
    // Called every so many cells examined, so the window keeps answering;
    // false stops the display (the words drawn so far stay: Stopped()).
    std::function<bool()> onYield;

    void SetSource(TWordCloudWordGetNext source) { fOnWordCloudWordGetNext = std::move(source); }
    const TWordCloudWordGetNext& Source() const { return fOnWordCloudWordGetNext; }

    void Clear();
    void DisplayFramingRect(TWordCloudCanvas& canvas);
    // Lays out and draws every word the source hands out.
    void DisplayTheWords(TWordCloudCanvas& canvas);
    // The number of the word under pixel (x, y), highlighted; 0 when none.
    int32_t ItemAt(TWordCloudCanvas& canvas, int x, int y);
    void TryToClearAnyHighlightedRect(TWordCloudCanvas& canvas);

    // --- what a display left ---
    int32_t HorizPixels() const { return horiz_pixels; }
    int32_t VertPixels() const { return vert_pixels; }
    int32_t BlocksHoriz() const { return blocks_horiz; }
    int32_t BlocksVert() const { return blocks_vert; }
    TCloudPoint MidBlock() const { return midblock; }
    int32_t MaxFontSize() const { return max_font_size; }
    float Multiplier() const { return multiplier; }
    int32_t AvoidCentreRadius() const { return avoid_centre_radius; }
    // The word number holding cell (i, j); 0 free (also outside the grid).
    int32_t Occupied(int i, int j) const;
    const TCloudRect& SavedRect() const { return saved_rect; }
    const TCloudRect& PrinterRect() const { return printer_rect; }
    // Words the last display could not place.
    int32_t Failures() const { return failures; }
    // Whether the last display was stopped (onYield).
    bool Stopped() const { return stopped; }
    // A word laid out by the last display (redraws not repeated).
    struct TPlacedWord {
        TWordFreqAndSourceNum wfsn;
        QString text; // as drawn (case converted)
        int32_t points = 0;
        uint32_t colour = 0;
        TCloudRect rect;   // the block's pixel rectangle
        TCloudPoint cell;  // its centre cell
        TCloudPoint half;  // hw, hh in cells
    };
    const std::vector<TPlacedWord>& Placed() const { return placed; }

    // Font scaling for n items of the source (sets max_font_size and multiplier).
    void ScaleFontSizes(const TWordCloudCanvas& canvas);

private:
    void ComputeBlockGrid();
    void DisplayOneWord(TWordCloudCanvas& canvas, const TWordFreqAndSourceNum& rec, bool redraw);
    TCloudRect FindPlaceForWord(TCloudPoint extent, int32_t number);
    std::vector<TCloudPoint> RingCandidates(int n, int hw, int hh, bool& anyOutside) const;
    bool CellRectFitsAndMark(TCloudPoint c, int hw, int hh, int32_t mark);
    void DrawWordShape(TWordCloudCanvas& canvas, int shape, const TCloudRect& rect, TCloudPoint extent, int dx, int dy);
    int32_t& Cell(int i, int j) { return occupied[size_t(i) * size_t(blocks_vert) + size_t(j)]; }

    std::vector<int32_t> occupied; // blocks_horiz columns of blocks_vert cells
    float multiplier = 1;
    int32_t horiz_pixels;
    int32_t vert_pixels;
    int32_t max_font_size = 80;
    int32_t blocks_horiz = 0;
    int32_t blocks_vert = 0;
    int32_t gap_between_blocks = 0;
    int32_t current_radius = 0;
    int32_t avoid_centre_radius = 0;
    TCloudPoint midblock;
    TCloudRect saved_rect{-999, 0, 0, 0};
    TCloudRect printer_rect{-999, 0, 0, 0};
    TWordCloudWordGetNext fOnWordCloudWordGetNext;
    int32_t failures = 0;
    bool stopped = false;
    int32_t allowance = 0;
    int32_t third = 0;
    int64_t cellsExamined = 0;
    struct TRedrawSlot {
        bool used = false;
        TWordFreqAndSourceNum wfsn;
        TCloudRect r;
    };
    std::array<TRedrawSlot, 11> redrawSlots;
    std::vector<TPlacedWord> placed;
};

} // namespace cv
