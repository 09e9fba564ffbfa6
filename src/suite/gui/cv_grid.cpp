#include "suite/gui/cv_grid.h"

#include <QColor>
#include <QContextMenuEvent>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "suite/cv_globals.h"

namespace cv {

namespace {

// A colour of the list's cells: 0xAARRGGBB, alpha 0 meaning "the grid's own".
QVariant ColourOf(uint32_t argb)
{
    if ((argb >> 24) == 0)
        return {};
    return QColor::fromRgba(argb);
}

} // namespace

// ---------------------------------------------------------------------------
// Model

TCVGridModel::TCVGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TCVGridModel::SetList(TCVBaseDataClass* list, int displayKind)
{
    beginResetModel();
    m_list = list;
    m_displayKind = displayKind;
    m_rows = list ? list->OverallCount() + list->Count() : 0;
    m_columns = list ? list->ColumnCount() : 0;
    m_cachedRow = -1;
    endResetModel();
}

void TCVGridModel::SetCellTweak(TCellTweak tweak)
{
    m_tweak = std::move(tweak);
    m_cachedRow = -1;
}

void TCVGridModel::Reload() { SetList(m_list, m_displayKind); }

void TCVGridModel::CellsChanged()
{
    const int rows = m_list ? m_list->OverallCount() + m_list->Count() : 0;
    const int columns = m_list ? m_list->ColumnCount() : 0;
    if (rows != m_rows || columns != m_columns) {
        Reload();
        return;
    }
    m_cachedRow = -1;
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    emit headerDataChanged(Qt::Horizontal, 0, std::max(0, m_columns - 1));
}

int TCVGridModel::EntryOfRow(int row) const
{
    if (!m_list || row < 0 || row >= m_rows)
        return -1;
    return m_list->RowToEntry(row + 1, m_displayKind);
}

bool TCVGridModel::Hidden() const
{
    // While a job changes the list, nothing of it is drawn.
    return !m_list || Global_Busy_Dont_Show_Data || m_list->ListBusy() != kListNotBusy;
}

const TDrawgridDataRec& TCVGridModel::CachedCell(int row, int column) const
{
    if (row == m_cachedRow && column == m_cachedColumn)
        return m_cached;
    m_cached = {};
    m_cachedRow = row;
    m_cachedColumn = column;
    const int entry = EntryOfRow(row);
    // Rows counted when the list was last shown may be gone since; such rows stay empty.
    if (entry < m_list->Count() && row < m_list->OverallCount() + m_list->Count()) {
        m_list->DrawgridDataRec(entry, column, m_displayKind, m_cached);
        if (m_tweak)
            m_tweak(entry, column, m_cached);
    }
    return m_cached;
}

TDrawgridDataRec TCVGridModel::CellOf(int row, int column) const
{
    if (Hidden() || row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return {};
    return CachedCell(row, column);
}

int TCVGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int TCVGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

QVariant TCVGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || Hidden() || index.row() >= m_rows || index.column() >= m_columns)
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return CachedCell(row, index.column()).text;
    case kRawValueRole: {
        const TDrawgridDataRec& rec = CachedCell(row, index.column());
        if (rec.isNumber)
            return rec.value;
        return rec.text;
    }
    case Qt::TextAlignmentRole:
        return CachedCell(row, index.column()).isNumber ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                                        : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::ForegroundRole:
        return ColourOf(CachedCell(row, index.column()).foreground);
    case Qt::BackgroundRole:
        return ColourOf(CachedCell(row, index.column()).background);
    case kEntryRole:
        return EntryOfRow(row);
    case kDeletedRole:
    case kMarkRole: {
        const int entry = EntryOfRow(row);
        if (entry < 0 || entry >= m_list->Count())
            return {};
        const TCVBaseListObject& e = (*m_list)[entry];
        return role == kDeletedRole ? QVariant(e.Deleted()) : QVariant(int(e.Mark()));
    }
    default:
        return {};
    }
}

QVariant TCVGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_list)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return m_list->Heading(section);
    return section + 1;
}

// ---------------------------------------------------------------------------
// Proxy

TCVGridProxy::TCVGridProxy(QObject* parent) : QSortFilterProxyModel(parent)
{
    setSortRole(kRawValueRole);
    // The list's own order stays until a column is sorted; a change of
    // values never re-sorts behind the user's back.
    setDynamicSortFilter(false);
    m_collator.setNumericMode(false);
}

void TCVGridProxy::SetRowFilter(std::function<bool(int entry)> filter)
{
    m_filter = std::move(filter);
    invalidateRowsFilter();
}

void TCVGridProxy::SetCollationName(const QString& localeName) { m_collator = QCollator(QLocale(localeName)); }

bool TCVGridProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const QVariant a = sourceModel()->data(left, kRawValueRole);
    const QVariant b = sourceModel()->data(right, kRawValueRole);
    const bool aNumber = a.typeId() == QMetaType::Double;
    const bool bNumber = b.typeId() == QMetaType::Double;
    if (aNumber && bNumber)
        return a.toDouble() < b.toDouble();
    if (aNumber != bNumber)
        return aNumber; // numbers before words
    return m_collator.compare(a.toString(), b.toString()) < 0;
}

bool TCVGridProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_filter)
        return true;
    const auto* model = static_cast<const TCVGridModel*>(sourceModel());
    return m_filter(model->EntryOfRow(sourceRow));
}

// ---------------------------------------------------------------------------
// Delegate

void TCVGridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(kDeletedRole).toBool()) {
        option->font.setStrikeOut(true);
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
    }
    if (index.data(kMarkRole).toInt() > 0)
        option->font.setBold(true);
}

// ---------------------------------------------------------------------------
// Grid widget

TCV_Base_Grid::TCV_Base_Grid(QWidget* parent)
    : QWidget(parent), m_model(new TCVGridModel(this)), m_proxy(new TCVGridProxy(this)), m_view(new QTableView(this))
{
    m_proxy->setSourceModel(m_model);
    m_view->setModel(m_proxy);
    m_view->setItemDelegate(new TCVGridDelegate(m_view));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    // Column 0 of every list is the row number: the view needs no row header.
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(24);
    m_view->horizontalHeader()->setSectionsClickable(true);
    m_view->horizontalHeader()->setSortIndicatorShown(false);
    m_view->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_view->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) { HeaderClicked(column); });
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex& i) {
        if (Events.OnClickCell)
            Events.OnClickCell(this, i.column(), GridRowOfViewRow(i.row()));
    });
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (Events.On_DoubleClick)
            Events.On_DoubleClick(this, i.column(), GridRowOfViewRow(i.row()));
    });
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (Events.OnSelectionChanged)
            Events.OnSelectionChanged(this);
    });
}

TCV_Base_Grid::~TCV_Base_Grid() = default;

void TCV_Base_Grid::SetList(TCVBaseDataClass* list, int displayKind)
{
    if (list)
        m_proxy->SetCollationName(list->CollationName());
    m_proxy->sort(-1);
    m_model->SetList(list, displayKind);
}

void TCV_Base_Grid::Refresh()
{
    if (m_updateDepth > 0)
        return;
    const int sortColumn = m_proxy->sortColumn();
    const Qt::SortOrder order = m_proxy->sortOrder();
    m_model->CellsChanged();
    if (sortColumn >= 0 && sortColumn < m_model->columnCount())
        m_proxy->sort(sortColumn, order);
    m_view->viewport()->update();
}

void TCV_Base_Grid::BeginUpdate()
{
    if (m_updateDepth++ == 0)
        m_view->setUpdatesEnabled(false);
}

void TCV_Base_Grid::EndUpdate()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth == 0) {
        m_view->setUpdatesEnabled(true);
        Refresh();
    }
}

int TCV_Base_Grid::RowCount() const { return m_proxy->rowCount() + 1; }

int TCV_Base_Grid::Row() const
{
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? GridRowOfViewRow(current.row()) : 0;
}

int TCV_Base_Grid::ViewRowOfGridRow(int row) const
{
    if (row < 1 || row > m_proxy->rowCount())
        return -1;
    return row - 1;
}

void TCV_Base_Grid::SetRow(int row)
{
    const int viewRow = ViewRowOfGridRow(row);
    if (viewRow < 0)
        return;
    const int column = std::max(0, m_view->currentIndex().column());
    m_view->setCurrentIndex(m_proxy->index(viewRow, std::min(column, std::max(0, m_proxy->columnCount() - 1))));
}

int TCV_Base_Grid::TopRow() const
{
    const int viewRow = m_view->rowAt(0);
    return viewRow < 0 ? 1 : GridRowOfViewRow(viewRow);
}

void TCV_Base_Grid::SetTopRow(int row)
{
    const int viewRow = ViewRowOfGridRow(std::clamp(row, 1, std::max(1, m_proxy->rowCount())));
    if (viewRow < 0)
        return;
    m_view->scrollTo(m_proxy->index(viewRow, 0), QAbstractItemView::PositionAtTop);
}

int TCV_Base_Grid::EntryOfGridRow(int row) const
{
    const int viewRow = ViewRowOfGridRow(row);
    if (viewRow < 0)
        return -1;
    const QModelIndex source = m_proxy->mapToSource(m_proxy->index(viewRow, 0));
    return m_model->EntryOfRow(source.row());
}

std::vector<int> TCV_Base_Grid::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& i : m_view->selectionModel()->selectedRows())
        rows.push_back(GridRowOfViewRow(i.row()));
    std::sort(rows.begin(), rows.end());
    if (rows.empty() && Row() > 0)
        rows.push_back(Row());
    return rows;
}

std::vector<int> TCV_Base_Grid::SelectedEntries() const
{
    std::vector<int> entries;
    for (int row : SelectedRows())
        if (const int e = EntryOfGridRow(row); e >= 0)
            entries.push_back(e);
    return entries;
}

void TCV_Base_Grid::SelectRows(int first, int last)
{
    const int a = ViewRowOfGridRow(first);
    const int b = ViewRowOfGridRow(last);
    if (a < 0 || b < 0 || m_proxy->columnCount() == 0)
        return;
    const QItemSelection selection(m_proxy->index(std::min(a, b), 0),
                                   m_proxy->index(std::max(a, b), m_proxy->columnCount() - 1));
    m_view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_view->selectionModel()->setCurrentIndex(m_proxy->index(a, 0), QItemSelectionModel::NoUpdate);
}

QString TCV_Base_Grid::Cells(int column, int row) const
{
    if (row == 0)
        return m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int viewRow = ViewRowOfGridRow(row);
    if (viewRow < 0)
        return {};
    return m_proxy->index(viewRow, column).data(Qt::DisplayRole).toString();
}

void TCV_Base_Grid::SavePositions()
{
    m_savedTopRow = TopRow();
    m_savedRow = std::max(1, Row());
}

void TCV_Base_Grid::RestorePositions()
{
    SetTopRow(m_savedTopRow);
    SetRow(m_savedRow);
}

int TCV_Base_Grid::ColCount() const { return m_model->columnCount(); }

int TCV_Base_Grid::ColWidths(int column) const { return m_view->columnWidth(column); }

void TCV_Base_Grid::SetColWidths(int column, int width)
{
    if (column >= 0 && column < ColCount())
        m_view->setColumnWidth(column, std::max(0, width));
}

bool TCV_Base_Grid::ColumnVisible(int column) const { return !m_view->isColumnHidden(column); }

void TCV_Base_Grid::SetColumnVisible(int column, bool visible) { m_view->setColumnHidden(column, !visible); }

void TCV_Base_Grid::RecordOriginalColumns()
{
    m_originalColumns.clear();
    for (int c = 0; c < ColCount(); ++c)
        m_originalColumns.push_back({m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), ColWidths(c),
                                     ColumnVisible(c)});
}

void TCV_Base_Grid::RestoreOriginalColumns()
{
    for (int c = 0; c < int(m_originalColumns.size()) && c < ColCount(); ++c) {
        SetColWidths(c, m_originalColumns[size_t(c)].width);
        SetColumnVisible(c, m_originalColumns[size_t(c)].visible);
    }
}

int TCV_Base_Grid::DefaultRowHeight() const { return m_view->verticalHeader()->defaultSectionSize(); }

void TCV_Base_Grid::SetDefaultRowHeight(int pixels) { m_view->verticalHeader()->setDefaultSectionSize(std::max(1, pixels)); }

void TCV_Base_Grid::SortOnRawValues(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColCount())
        return;
    m_proxy->sort(column, order);
    m_view->horizontalHeader()->setSortIndicatorShown(true);
    m_view->horizontalHeader()->setSortIndicator(column, order);
}

int TCV_Base_Grid::ViewSortColumn() const { return m_proxy->sortColumn(); }

void TCV_Base_Grid::ClearViewSort()
{
    m_proxy->sort(-1);
    m_view->horizontalHeader()->setSortIndicatorShown(false);
}

void TCV_Base_Grid::SetRowFilter(std::function<bool(int entry)> filter) { m_proxy->SetRowFilter(std::move(filter)); }

void TCV_Base_Grid::HeaderClicked(int column)
{
    if (Events.OnClickHeader) {
        Events.OnClickHeader(this, column);
        return;
    }
    const bool again = m_proxy->sortColumn() == column;
    const Qt::SortOrder order =
        again && m_proxy->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    SortOnRawValues(column, order);
}

bool TCV_Base_Grid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress && Events.OnKeyPress) {
        if (Events.OnKeyPress(this, static_cast<QKeyEvent*>(event)))
            return true;
    }
    if (watched == m_view->viewport() && event->type() == QEvent::ContextMenu && m_popup && !m_popup->isEmpty()) {
        m_popup->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Cell handler and page grid

void TCVGridCellHandler::InitialSetup(const TTextSettings& textSettings, bool padSearchWords)
{
    m_textSettings = textSettings;
    m_padSearchWords = padSearchWords;
}

void TCVGridCellHandler::SetCurrentGrid(TCV_Grid* grid) { m_currentGrid = grid; }

TCV_Grid* TCVGridCellHandler::CurrentGrid() const { return qobject_cast<TCV_Grid*>(m_currentGrid.data()); }

TCV_Grid::TCV_Grid(QWidget* parent) : TCV_Base_Grid(parent) {}

void TCV_Grid::MatchGridToListType(uint8_t listType, uint8_t kindOfDisplay, TCVBaseDataClass* list)
{
    ListType = listType;
    KindOfDisplay = kindOfDisplay;
    if (list != List() || Model()->DisplayKind() != kindOfDisplay)
        SetList(list, kindOfDisplay);
}

void TCV_Grid::SetGridOptions(uint32_t options)
{
    GridOptions = options;
    View()->setShowGrid((options & kGridOptionVerticalLines) != 0);
    View()->verticalHeader()->setSectionResizeMode((options & kGridOptionRowResizing) ? QHeaderView::Interactive
                                                                                       : QHeaderView::Fixed);
}

void TCV_Grid::SetLinesPerRow(int lines)
{
    LinesPerRow = std::max(1, lines);
    View()->setWordWrap(LinesPerRow > 1);
    SetDefaultRowHeight(24 * LinesPerRow);
}

} // namespace cv
