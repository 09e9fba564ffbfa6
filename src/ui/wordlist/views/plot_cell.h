#pragma once
// The plot column of a plot list's grid (key-word plots): the text drawn as
// a bar from its first running word (left) to its last (right), with an
// upright mark at each hit and, with the ruler on, the divisions the
// dispersion counts over.

#include <QColor>

#include <cstdint>
#include <functional>
#include <span>

#include "gui/cv_grid.h"

class QPainter;
class QRect;

namespace cv {

class TGeneralPlotDataList;

// The pixel column (0 .. width - 1) of running word `position` (1 .. words)
// in a plot `width` pixels wide; positions outside the text go to its ends.
int PlotMarkColumn(int32_t position, int32_t words, int width);

struct TPlotCellLook {
    QColor plot;       // the marks
    QColor background; // the bar
    QColor ruler;      // the division lines
    int divisions = 0; // ruler lines cut the bar into so many parts; below 2: none
};

// Draws the bar, the ruler when asked, and the marks into the rectangle.
void DrawPlotCell(QPainter& painter, const QRect& bar, std::span<const int32_t> positions, int32_t words,
                  const TPlotCellLook& look);

// The delegate of a plot column: asks its source for the positions of an
// entry (-1 and below: the overall rows) and draws them.
class TPlotCellDelegate final : public TCVGridDelegate {
public:
    // Fills positions and the running words they are scaled to; false: no plot.
    using TSource = std::function<bool(int entry, const TGeneralPlotDataList*& positions, int32_t& words)>;
    TPlotCellDelegate(TCV_Grid* grid, TSource source);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TCV_Grid* m_grid;
    TSource m_source;
};

} // namespace cv
