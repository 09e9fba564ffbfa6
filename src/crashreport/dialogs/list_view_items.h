#pragma once
// The rows of the detailed dialog's list pages (call stack, modules,
// processes): plain rows with an icon and one text per column, separator
// rows (every text blank), and group rows (a bold header with a box that
// folds and unfolds the rows below it, up to the next separator).
//
// TListViewItems keeps every row in the order added, and which of them the
// list shows now; it is the Qt model of the list (one model row per shown
// row). TListViewDelegate draws the rows, TListViewControl is the list.
//
// Nesting: every group row adds a level, a separator ends them all; rows
// below two or more levels are indented by one step (blanks at least 14
// pixels wide, put in front of their first column). Each row's Parent is
// the row added before it since the last separator.

#include <QAbstractTableModel>
#include <QFont>
#include <QImage>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cv {

class TTextMeasurer;

struct TListViewItemRec {
    std::vector<std::string> Cols; // one text per column, column 0 first
    int32_t Bmp = -1;               // icon 0..3, -1 for none
    int32_t WidthStep = 0;          // 1 when the row is indented
    intptr_t Param = 0;             // the caller's; for a group row the header's colour kind
    bool IsParent = false;          // a group row
    bool Expanded = true;           // a group row's rows are shown
    bool Empty = false;             // a separator: a plain row whose texts are all blank
    bool Visible = true;            // shown in the list now
    std::string Header;             // a group row's title
    const TListViewItemRec* Parent = nullptr;
};

// Column alignments.
enum class TListColumnAlign : uint8_t { Left, Center, Right };

class TListViewItems final : public QAbstractTableModel {
public:
    // The list's font (the group headers use its bold form); the measurer
    // gives the width of the indentation step.
    TListViewItems(const TTextMeasurer& measurer, const QFont& font, QObject* parent = nullptr);
    ~TListViewItems() override;

    // The columns of the list; their alignments are fixed when the first row is added.
    void SetColumn(int index, const QString& caption, TListColumnAlign align);
    int ColumnCount() const { return int(m_captions.size()); }
    TListColumnAlign ColumnAlign(int column) const;

    void AddRow(const std::vector<std::string>& cols, int32_t bmp, intptr_t param, bool isParent,
                const std::string& header);
    // A click on shown row `index` at `point` (relative to the row's
    // rectangle). Only group rows react: a mouse click must hit the box
    // (x from X0 + 2 to X0 + 12, y from 2 to 12, X0 one step for a row
    // with a parent), a keyboard click always folds or unfolds.
    void ClickOnItem(int index, const QPoint& point, bool byMouse);
    // Removes row `index` of all rows (from the list too when it is shown).
    void Delete(int index);
    void Clear();

    int Count() const { return int(m_items.size()); }
    const TListViewItemRec& Item(int index) const { return *m_items.at(std::size_t(index)); }
    // The rows shown, in order.
    int ShownCount() const { return int(m_shown.size()); }
    const TListViewItemRec* Shown(int row) const;
    int Step() const { return m_step; }
    const std::string& Spaces() const { return m_spaces; }
    int Level() const { return m_level; }
    const QFont& Font() const { return m_font; }
    const QFont& BoldFont() const { return m_boldFont; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void Prepare();
    bool CanShow(const TListViewItemRec& row) const { return !row.Cols.empty(); }

    const TTextMeasurer& m_measurer;
    QFont m_font;
    QFont m_boldFont;
    std::vector<QString> m_captions;
    std::vector<TListColumnAlign> m_aligns;
    std::vector<TListColumnAlign> m_fixedAligns;
    std::vector<std::unique_ptr<TListViewItemRec>> m_items;
    std::vector<TListViewItemRec*> m_shown;
    TListViewItemRec* m_lastParent = nullptr;
    std::string m_spaces;
    int m_level = 0;
    int m_step = 0;
    bool m_prepared = false;
};

// The colours of the rows.
struct TListViewColors {
    QColor BackgroundSelected{204, 218, 241};
    QColor BackgroundUnselected{255, 255, 255};
    QColor FrameSelected{49, 106, 197};
    QColor FrameUnselected{152, 181, 226};
    QColor Bottom{123, 164, 224};
    QColor Line{206, 203, 194};
};
// The colour of a group header by its kind: 1 navy, 3 maroon, others grey.
QColor GroupHeaderColor(intptr_t kind);

class TListViewDelegate final : public QStyledItemDelegate {
public:
    TListViewDelegate(const TListViewItems& items, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const TListViewItems& m_items;
    std::array<QImage, 4> m_icons;
    QImage m_plus, m_minus;
};

// The list: report style, whole rows selected, drawn by the delegate.
class TListViewControl final : public QTreeView {
public:
    explicit TListViewControl(TListViewItems& items, QWidget* parent = nullptr);
    TListViewItems& Items() const { return m_items; }

    // A click on a row: the row and the point relative to its rectangle.
    std::function<void(int row, const QPoint& point)> OnClick;
    // A row activated (double click, Enter).
    std::function<void(int row)> OnActivate;

    // Where the row's rectangle starts (its first column's left edge, its top).
    QPoint RowOrigin(int row) const;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SpanGroupRows(int first, int last);
    TListViewItems& m_items;
    TListViewDelegate m_delegate;
};

// Inserts a column: its caption, width and alignment (0 left, 1 right).
void AddListViewColumn(TListViewControl& list, int index, int width, const QString& caption, int format);

} // namespace cv
