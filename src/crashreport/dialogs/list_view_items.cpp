#include "crashreport/dialogs/list_view_items.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "crashreport/core/support/text_routines.h"
#include "crashreport/dialogs/dialog_pictures.h"
#include "crashreport/dialogs/dialog_toolkit.h"

namespace cv {

// --- The rows ---

TListViewItems::TListViewItems(const TTextMeasurer& measurer, const QFont& font, QObject* parent)
    : QAbstractTableModel(parent), m_measurer(measurer), m_font(font), m_boldFont(font)
{
    m_boldFont.setBold(true);
}

TListViewItems::~TListViewItems() = default;

void TListViewItems::SetColumn(int index, const QString& caption, TListColumnAlign align)
{
    if (index < 0)
        return;
    const bool grows = std::size_t(index) >= m_captions.size();
    if (grows)
        beginInsertColumns({}, int(m_captions.size()), index);
    if (grows) {
        m_captions.resize(std::size_t(index) + 1);
        m_aligns.resize(std::size_t(index) + 1, TListColumnAlign::Left);
    }
    m_captions[std::size_t(index)] = caption;
    m_aligns[std::size_t(index)] = align;
    if (grows)
        endInsertColumns();
    else
        emit headerDataChanged(Qt::Horizontal, index, index);
}

TListColumnAlign TListViewItems::ColumnAlign(int column) const
{
    const auto& aligns = m_prepared ? m_fixedAligns : m_aligns;
    return column >= 0 && std::size_t(column) < aligns.size() ? aligns[std::size_t(column)] : TListColumnAlign::Left;
}

void TListViewItems::Prepare()
{
    m_prepared = true;
    m_fixedAligns = m_aligns;
    m_spaces.clear();
    do {
        m_spaces += ' ';
        m_step = GetTextWidth(m_measurer, m_font, QString::fromStdString(m_spaces));
    } while (m_step < 14 && m_spaces.size() < 64);
}

void TListViewItems::AddRow(const std::vector<std::string>& cols, int32_t bmp, intptr_t param, bool isParent,
                            const std::string& header)
{
    if (!m_prepared)
        Prepare();
    auto row = std::make_unique<TListViewItemRec>();
    row->Cols = cols;
    row->Bmp = bmp;
    row->IsParent = isParent;
    row->Empty = !isParent && std::all_of(cols.begin(), cols.end(), [](const std::string& c) { return TrimA(c).empty(); });
    row->Param = param;
    if (isParent)
        ++m_level;
    else if (row->Empty)
        m_level = 0;
    if (!row->Empty && m_level > 1) {
        if (row->Cols.empty())
            row->Cols.emplace_back();
        row->Cols[0] = m_spaces + row->Cols[0];
        row->WidthStep = 1;
    }
    row->Header = header;
    row->Parent = m_lastParent;
    m_lastParent = row->Empty ? nullptr : row.get();

    TListViewItemRec* added = row.get();
    m_items.push_back(std::move(row));
    if (!CanShow(*added))
        return;
    const int at = int(m_shown.size());
    beginInsertRows({}, at, at);
    m_shown.push_back(added);
    endInsertRows();
}

void TListViewItems::ClickOnItem(int index, const QPoint& point, bool byMouse)
{
    if (index < 0 || std::size_t(index) >= m_shown.size())
        return;
    TListViewItemRec* group = m_shown[std::size_t(index)];
    if (!group->IsParent)
        return;
    if (byMouse) {
        const int x0 = group->Parent ? m_step : 0;
        if (point.x() < x0 + 2 || point.x() > x0 + 12 || point.y() < 2 || point.y() > 12)
            return;
    }
    group->Expanded = !group->Expanded;

    auto it = std::find_if(m_items.begin(), m_items.end(), [&](const auto& r) { return r.get() == group; });
    int position = index + 1;
    for (++it; it != m_items.end(); ++it) {
        TListViewItemRec* row = it->get();
        if (row->Empty)
            break;
        const bool wasVisible = row->Visible;
        row->Visible = group->Expanded;
        if (!CanShow(*row))
            continue;
        if (row->Visible) {
            if (!wasVisible) {
                beginInsertRows({}, position, position);
                m_shown.insert(m_shown.begin() + position, row);
                endInsertRows();
            }
            ++position;
            if (row->IsParent && !row->Expanded)
                break;
        } else if (wasVisible) {
            beginRemoveRows({}, position, position);
            m_shown.erase(m_shown.begin() + position);
            endRemoveRows();
        }
    }
    const QModelIndex first = this->index(index, 0);
    emit dataChanged(first, this->index(index, std::max(0, columnCount() - 1)));
}

void TListViewItems::Delete(int index)
{
    if (index < 0 || std::size_t(index) >= m_items.size())
        return;
    TListViewItemRec* row = m_items[std::size_t(index)].get();
    const auto shown = std::find(m_shown.begin(), m_shown.end(), row);
    if (shown != m_shown.end()) {
        const int at = int(shown - m_shown.begin());
        beginRemoveRows({}, at, at);
        m_shown.erase(shown);
        endRemoveRows();
    }
    // Rows that named it as their parent forget it.
    for (auto& other : m_items)
        if (other->Parent == row)
            other->Parent = nullptr;
    if (m_lastParent == row)
        m_lastParent = nullptr;
    m_items.erase(m_items.begin() + index);
}

void TListViewItems::Clear()
{
    beginResetModel();
    m_shown.clear();
    m_items.clear();
    m_lastParent = nullptr;
    m_level = 0;
    endResetModel();
}

const TListViewItemRec* TListViewItems::Shown(int row) const
{
    return row >= 0 && std::size_t(row) < m_shown.size() ? m_shown[std::size_t(row)] : nullptr;
}

int TListViewItems::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_shown.size()); }

int TListViewItems::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant TListViewItems::data(const QModelIndex& index, int role) const
{
    const TListViewItemRec* row = Shown(index.row());
    if (!row || index.column() < 0)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (row->IsParent)
            return index.column() == 0 ? QString::fromStdString(row->Header) : QVariant();
        const auto column = std::size_t(index.column());
        return column < row->Cols.size() ? QString::fromStdString(row->Cols[column]) : QString();
    }
    return {};
}

QVariant TListViewItems::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || std::size_t(section) >= m_captions.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_captions[std::size_t(section)];
    if (role == Qt::TextAlignmentRole) {
        const TListColumnAlign align = m_aligns[std::size_t(section)];
        return int((align == TListColumnAlign::Right    ? Qt::AlignRight
                    : align == TListColumnAlign::Center ? Qt::AlignHCenter
                                                        : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    }
    return {};
}

// --- Drawing ---

QColor GroupHeaderColor(intptr_t kind)
{
    switch (kind) {
    case 1: return {0, 0, 128};
    case 3: return {128, 0, 0};
    default: return {96, 96, 96};
    }
}

TListViewDelegate::TListViewDelegate(const TListViewItems& items, QObject* parent)
    : QStyledItemDelegate(parent), m_items(items), m_plus(ExpandBox(false)), m_minus(ExpandBox(true))
{
    for (int i = 0; i < 4; ++i)
        m_icons[std::size_t(i)] = ListIcon(i);
}

QSize TListViewDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QFontMetrics metrics(m_items.Font());
    return {QStyledItemDelegate::sizeHint(option, index).width(), std::max(metrics.height() + 2, 17)};
}

void TListViewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const TListViewItemRec* row = m_items.Shown(index.row());
    const auto* view = dynamic_cast<const TListViewControl*>(option.widget);
    if (!row || !view)
        return;
    const TListViewColors colors;
    const QHeaderView* header = view->header();
    const int column = index.column();
    const bool selected = option.state & QStyle::State_Selected;
    const bool focused = view->currentIndex().row() == index.row();
    const int rowLeft = header->sectionViewportPosition(0);
    const int last = m_items.ColumnCount() - 1;
    int rowRight = rowLeft;
    for (int c = 0; c <= last; ++c)
        rowRight += header->sectionSize(c);
    const QRect cell = option.rect;
    QRect rowRect(QPoint(rowLeft, cell.top()), QPoint(rowRight - 1, cell.bottom()));
    if (row->IsParent)
        rowRect = QRect(QPoint(cell.left(), cell.top()), QPoint(std::max(cell.right(), rowRight - 1), cell.bottom()));
    const int indent = m_items.Step() * row->WidthStep;

    painter->save();
    painter->setClipRect(cell);
    const QRect fill = rowRect.adjusted(indent + 2, 0, 0, 0);
    painter->fillRect(fill, selected ? colors.BackgroundSelected : colors.BackgroundUnselected);
    const int textFlags = Qt::AlignVCenter | Qt::TextSingleLine;

    if (row->IsParent) {
        QRect groupRect = rowRect;
        if (row->Param == 0)
            groupRect.setLeft(groupRect.left() + m_items.Step());
        painter->fillRect(QRect(QPoint(groupRect.left() + 2, groupRect.bottom() - 1), groupRect.bottomRight()),
                          colors.Bottom);
        painter->setFont(m_items.BoldFont());
        painter->setPen(GroupHeaderColor(row->Param));
        const QRect text = groupRect.adjusted(15, -1, 0, 0);
        painter->drawText(text, textFlags | Qt::AlignLeft,
                          QFontMetrics(m_items.BoldFont()).elidedText(QString::fromStdString(row->Header),
                                                                      Qt::ElideRight, text.width()));
        painter->drawImage(QPoint(groupRect.left(), groupRect.top() + (groupRect.height() - 13) / 2),
                           row->Expanded ? m_minus : m_plus);
        painter->restore();
        return;
    }

    if (column == 0 && row->Bmp >= 0 && row->Bmp < 4)
        painter->drawImage(QPoint(rowLeft + 2 + indent, cell.top() + (cell.height() - 16) / 2),
                           m_icons[std::size_t(row->Bmp)]);
    if (!row->Empty)
        painter->fillRect(QRect(QPoint(std::max(cell.left(), rowLeft + indent + 2), cell.bottom()), cell.bottomRight()),
                          colors.Line);
    const auto columnIndex = std::size_t(column);
    if (columnIndex < row->Cols.size()) {
        QRect text = cell;
        text.setLeft(cell.left() + 4 + (column == 0 ? 16 : 2));
        text.setRight(cell.right() + 1 - (column == 0 ? 2 : 6));
        const TListColumnAlign align = m_items.ColumnAlign(column);
        const Qt::Alignment horizontal = align == TListColumnAlign::Right    ? Qt::AlignRight
                                         : align == TListColumnAlign::Center ? Qt::AlignHCenter
                                                                             : Qt::AlignLeft;
        painter->setFont(m_items.Font());
        painter->setPen(Qt::black);
        const QString value = QString::fromStdString(row->Cols[columnIndex]);
        painter->drawText(text, textFlags | horizontal,
                          QFontMetrics(m_items.Font()).elidedText(value, Qt::ElideRight, std::max(0, text.width())));
    }
    if (focused) {
        painter->setPen(selected && view->hasFocus() ? colors.FrameSelected : colors.FrameUnselected);
        const int left = std::max(cell.left(), rowLeft + indent + 2);
        painter->drawLine(left, cell.top(), cell.right(), cell.top());
        painter->drawLine(left, cell.bottom(), cell.right(), cell.bottom());
        if (column == 0)
            painter->drawLine(left, cell.top(), left, cell.bottom());
        if (column == last)
            painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
    }
    painter->restore();
}

// --- The list ---

TListViewControl::TListViewControl(TListViewItems& items, QWidget* parent)
    : QTreeView(parent), m_items(items), m_delegate(items)
{
    setModel(&items);
    setItemDelegate(&m_delegate);
    setRootIsDecorated(false);
    setIndentation(0);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFont(items.Font());
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    setPalette(colours);
    connect(&items, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { SpanGroupRows(first, last); });
    connect(&items, &QAbstractItemModel::modelReset, this, [this] { SpanGroupRows(0, m_items.ShownCount() - 1); });
    connect(this, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (OnActivate)
            OnActivate(index.row());
    });
    SpanGroupRows(0, items.ShownCount() - 1);
}

void TListViewControl::SpanGroupRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const TListViewItemRec* rec = m_items.Shown(row);
        setFirstColumnSpanned(row, {}, rec && rec->IsParent);
    }
}

QPoint TListViewControl::RowOrigin(int row) const
{
    const QRect rect = visualRect(m_items.index(row, 0));
    return {header()->sectionViewportPosition(0), rect.top()};
}

void TListViewControl::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const QModelIndex index = indexAt(at);
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && index.isValid() && OnClick)
        OnClick(index.row(), at - RowOrigin(index.row()));
}

void AddListViewColumn(TListViewControl& list, int index, int width, const QString& caption, int format)
{
    list.Items().SetColumn(index, caption, format == 1 ? TListColumnAlign::Right : TListColumnAlign::Left);
    list.header()->resizeSection(index, width);
}

} // namespace cv
