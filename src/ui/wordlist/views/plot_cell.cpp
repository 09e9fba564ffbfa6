#include "ui/wordlist/views/plot_cell.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

#include "suite/cvbuf.h"
#include "suite/plot_data.h"

namespace cv {

namespace {

// Room between the cell's edges and the bar.
constexpr int kBarMarginX = 2;
constexpr int kBarMarginY = 3;

} // namespace

int PlotMarkColumn(int32_t position, int32_t words, int width)
{
    if (width <= 1 || words <= 1)
        return 0;
    const int64_t p = std::clamp<int64_t>(position, 1, words);
    return int((p - 1) * (width - 1) / (int64_t(words) - 1));
}

void DrawPlotCell(QPainter& painter, const QRect& bar, std::span<const int32_t> positions, int32_t words,
                  const TPlotCellLook& look)
{
    if (bar.width() <= 0 || bar.height() <= 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(bar, look.background);
    if (look.divisions >= 2) {
        painter.setPen(look.ruler);
        for (int k = 1; k < look.divisions; ++k) {
            const int x = bar.left() + int(int64_t(k) * bar.width() / look.divisions);
            painter.drawLine(x, bar.top(), x, bar.bottom());
        }
    }
    painter.setPen(look.plot);
    for (int32_t p : positions) {
        const int x = bar.left() + PlotMarkColumn(p, words, bar.width());
        painter.drawLine(x, bar.top(), x, bar.bottom());
    }
    painter.restore();
}

TPlotCellDelegate::TPlotCellDelegate(TCV_Grid* grid, TSource source)
    : TCVGridDelegate(grid), m_grid(grid), m_source(std::move(source))
{
}

void TPlotCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TCVGridProxy* proxy = m_grid ? m_grid->Proxy() : nullptr;
    const TCVGridModel* model = m_grid ? m_grid->Model() : nullptr;
    const TCVBaseDataClass* list = model && index.model() == proxy ? model->List() : nullptr;
    const TGeneralPlotDataList* positions = nullptr;
    int32_t words = 0;
    if (list) {
        const int row = proxy->mapToSource(index).row();
        // Grid rows of the overall entries come first: -1 is the last of them.
        const int entry = row < list->OverallCount() ? row - list->OverallCount() : model->EntryOfRow(row);
        if (!m_source || !m_source(entry, positions, words))
            positions = nullptr;
    }
    if (!positions) {
        TCVGridDelegate::paint(painter, option, index);
        return;
    }
    // The cell's own background (a selected row stays marked), then the plot.
    QStyleOptionViewItem cell(option);
    initStyleOption(&cell, index);
    cell.text.clear();
    const QWidget* view = cell.widget;
    (view ? view->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &cell, painter, view);

    const TRulerPlotWordCloudFeatures f =
        m_grid && m_grid->CellHandler ? m_grid->CellHandler->RulerPlotWordCloudFeatures() : GetRulerPlotWordCloudFeatures();
    TPlotCellLook look;
    look.plot = QColor::fromRgba(f.PlotColour());
    look.background = QColor::fromRgba(f.PlotBackgroundColour());
    look.ruler = QColor::fromRgba(f.RulerColour());
    // The ruler: the divisions the plot's dispersion is counted over.
    if (m_grid && (m_grid->GridOptions & kGridOptionVerticalLines))
        look.divisions = positions->Divisions();
    const std::vector<int32_t> points = positions->Positions();
    DrawPlotCell(*painter, option.rect.adjusted(kBarMarginX, kBarMarginY, -kBarMarginX, -kBarMarginY), points,
                 std::max<int32_t>({words, positions->Extent(), 1}), look);
}

} // namespace cv
