#include "gui/cv_grid.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QFontMetrics>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "suite/cv_globals.h"
#include "suite/menu_commands.h"
#include "suite/window_messages.h"

namespace cv {

namespace {

// Cells holding a search word while a search runs.
constexpr QRgb kSearchWordColour = 0xFFFFE680;

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
    m_watch.Watch(list);
    m_displayKind = displayKind;
    m_rows = RowsOfList();
    m_columns = list ? list->ColumnCount() + (m_presenter ? m_presenter->ExtraColumnCount() : 0) : 0;
    m_cachedRow = -1;
    if (list)
        list->InvalidateColumnTotals();
    endResetModel();
    if (m_presenter)
        m_presenter->ListReset(list);
}

void TCVGridModel::SetSearchDisplay(int column, const QStringList& words)
{
    m_searchColumn = words.isEmpty() ? -1 : column;
    m_searchWords.clear();
    for (const QString& w : words)
        if (!w.trimmed().isEmpty())
            m_searchWords.emplace_back(QRegularExpression::wildcardToRegularExpression(w.trimmed()),
                                       QRegularExpression::CaseInsensitiveOption);
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1), {Qt::BackgroundRole});
}

bool TCVGridModel::ShowsSearchWord(int row, int column) const
{
    if (column != m_searchColumn || m_searchWords.empty())
        return false;
    const QString text = CachedCell(row, column).text;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts))
        for (const QRegularExpression& re : m_searchWords)
            if (re.match(word).hasMatch())
                return true;
    return false;
}

void TCVGridModel::SetColumnPresenter(TGridColumnPresenter* presenter)
{
    m_presenter = presenter;
    m_cachedRow = -1;
}

void TCVGridModel::SetCellTweak(TCellTweak tweak)
{
    m_tweak = std::move(tweak);
    m_cachedRow = -1;
}

void TCVGridModel::SetNumberDisplay(TNumberDisplay display)
{
    if (display == m_numberDisplay)
        return;
    m_numberDisplay = display;
    CellsChanged();
}

void TCVGridModel::Reload() { SetList(m_list, m_displayKind); }

void TCVGridModel::CellsChanged()
{
    const int rows = RowsOfList();
    const int columns = m_list ? m_list->ColumnCount() + (m_presenter ? m_presenter->ExtraColumnCount() : 0) : 0;
    if (rows != m_rows || columns != m_columns) {
        Reload();
        return;
    }
    m_cachedRow = -1;
    if (m_list)
        m_list->InvalidateColumnTotals();
    if (m_presenter)
        m_presenter->ValuesChanged();
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    // Qt's header asserts a valid section range: a list without columns has no headings to change.
    if (m_columns > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
}

int TCVGridModel::RowsOfList() const
{
    return m_list ? m_list->OverallCount() + m_list->Count() + m_list->TotalsRowCount() : 0;
}

bool TCVGridModel::IsTotalsRow(int row) const
{
    return m_list && m_list->TotalsRowCount() > 0 && row == m_rows - 1 && row == RowsOfList() - 1;
}

int TCVGridModel::EntryOfRow(int row) const
{
    if (!m_list || row < 0 || row >= m_rows || IsTotalsRow(row))
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
    if (IsTotalsRow(row)) {
        if (column < m_list->ColumnCount()) {
            m_list->TotalsCell(column, m_cached);
            m_list->ShowNumberAs(m_numberDisplay, column, m_cached);
        }
        if (m_presenter)
            m_presenter->Present(column, m_cached);
        return m_cached;
    }
    // The overall rows come first; the list draws them as its rows -1, -2 ...
    // (the one just before its first entry is -1).
    const int overall = m_list->OverallCount();
    const int entry = row < overall ? row - overall : EntryOfRow(row);
    // Rows counted when the list was last shown may be gone since; such rows stay empty.
    if ((row < overall || entry >= 0) && entry < m_list->Count() && row < overall + m_list->Count()) {
        if (column < m_list->ColumnCount()) {
            m_list->DrawgridDataRec(entry, column, m_displayKind, m_cached);
            if (m_tweak)
                m_tweak(entry, column, m_cached);
            // After the page's own touches: a count they made a row
            // percentage is no count any more and stays so.
            m_list->ShowNumberAs(m_numberDisplay, column, m_cached);
        } else if (m_presenter && entry >= 0) {
            m_presenter->ExtraCell(entry, column, m_cached);
        }
        if (m_presenter)
            m_presenter->Present(column, m_cached);
    }
    return m_cached;
}

TDrawgridDataRec TCVGridModel::CellOf(int row, int column, bool whileBusy) const
{
    if ((whileBusy ? !m_list : Hidden()) || row < 0 || row >= m_rows || column < 0 || column >= m_columns)
        return {};
    return CachedCell(row, column);
}

int TCVGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int TCVGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_columns; }

Qt::ItemFlags TCVGridModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

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
    case Qt::FontRole:
        return m_presenter ? m_presenter->ColumnRole(index.column(), role) : QVariant();
    case Qt::TextAlignmentRole:
        if (m_presenter)
            if (QVariant v = m_presenter->ColumnRole(index.column(), role); v.isValid())
                return v;
        return CachedCell(row, index.column()).isNumber ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                                        : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::ForegroundRole:
        return ColourOf(CachedCell(row, index.column()).foreground);
    case Qt::BackgroundRole:
        if (ShowsSearchWord(row, index.column()))
            return QColor(kSearchWordColour);
        return ColourOf(CachedCell(row, index.column()).background);
    case kEntryRole:
        return EntryOfRow(row);
    case kDeletedRole:
    case kMarkRole: {
        const int entry = EntryOfRow(row);
        if (entry < 0 || entry >= m_list->Count())
            return {};
        return role == kDeletedRole ? QVariant(m_list->GetDeleted(entry)) : QVariant(int(m_list->MarkOf(entry)));
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
        return m_presenter ? m_presenter->Heading(section, m_list->Heading(section)) : m_list->Heading(section);
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
    // The totals row stays last whichever way the view sorts.
    const auto* model = static_cast<const TCVGridModel*>(sourceModel());
    const bool leftTotals = model->IsTotalsRow(left.row()), rightTotals = model->IsTotalsRow(right.row());
    if (leftTotals || rightTotals)
        return leftTotals == rightTotals ? false : (leftTotals == (sortOrder() == Qt::DescendingOrder));
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
    return model->IsTotalsRow(sourceRow) || m_filter(model->EntryOfRow(sourceRow));
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
    SetRowResizeMode(QHeaderView::Fixed);
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
    connect(m_view, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { CellDoubleClicked(i.column(), GridRowOfViewRow(i.row())); });
    // Selected rows may be dragged onto a row of a grid that takes them.
    m_view->setDragEnabled(true);
    m_view->setDragDropMode(QAbstractItemView::DragDrop);
    m_view->setDefaultDropAction(Qt::MoveAction);
    m_view->viewport()->setAcceptDrops(true);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (Events.OnSelectionChanged)
            Events.OnSelectionChanged(this);
    });
}

TCV_Base_Grid::~TCV_Base_Grid()
{
    // The presenter goes before the model; the list may be gone already.
    m_model->SetColumnPresenter(nullptr);
}

void TCV_Base_Grid::SetColumnPresenter(std::unique_ptr<TGridColumnPresenter> presenter)
{
    const int sortColumn = m_proxy->sortColumn();
    m_presenter = std::move(presenter);
    m_model->SetColumnPresenter(m_presenter.get());
    m_model->Reload();
    if (sortColumn >= 0 && sortColumn < m_model->columnCount())
        m_proxy->sort(sortColumn, m_proxy->sortOrder());
}

void TCV_Base_Grid::SetList(TCVBaseDataClass* list, int displayKind)
{
    if (list)
        m_proxy->SetCollationName(list->CollationName());
    m_proxy->sort(-1);
    const bool another = list != m_model->List() || displayKind != m_model->DisplayKind();
    m_model->SetList(list, displayKind);
    FitRowHeaderToRows(m_model->rowCount());
    if (list && another)
        FitColumnWidths();
    // A list that carries a layout of its columns is shown with it.
    if (list && list->HasColumnLayout())
        for (int c = 0; c < ColCount(); ++c) {
            SetColumnVisible(c, list->ColumnVisible(c));
            if (list->ColumnPixelWidth(c) > 0)
                SetColWidths(c, list->ColumnPixelWidth(c));
        }
}

void TCV_Base_Grid::SetRowResizeMode(QHeaderView::ResizeMode mode)
{
    m_rowResizeMode = mode;
    m_view->verticalHeader()->setSectionResizeMode(mode);
}

void TCV_Base_Grid::FitRowHeaderToRows(int rows)
{
    // Below this the room kept is not worth a new header.
    constexpr int kRowsWorthGivingBack = 1 << 16;
    if (m_rowHeaderPeak >= kRowsWorthGivingBack && rows < m_rowHeaderPeak / 4) {
        const QHeaderView* old = m_view->verticalHeader();
        auto* fresh = new QHeaderView(Qt::Vertical, m_view);
        fresh->setVisible(!old->isHidden());
        fresh->setSectionResizeMode(m_rowResizeMode);
        fresh->setMinimumSectionSize(old->minimumSectionSize());
        fresh->setDefaultSectionSize(old->defaultSectionSize());
        fresh->setFont(old->font());
        // The view lets go of the old header (and of its room) itself.
        m_view->setVerticalHeader(fresh);
        m_rowHeaderPeak = 0;
    }
    m_rowHeaderPeak = std::max(m_rowHeaderPeak, rows);
}

int TCV_Base_Grid::FittedColumnWidth(int column, int sampleRows) const
{
    // Room for the text, the cell's margins and the header's sort mark.
    constexpr int kCellPadding = 16;
    constexpr int kHeaderPadding = 28;
    constexpr int kNarrowest = 36;
    constexpr int kWidest = 420;
    const QFontMetrics header(m_view->horizontalHeader()->font());
    int width = header.horizontalAdvance(m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()) +
                kHeaderPadding;
    // The first rows, and the last few: numbers that grow down the list
    // (the row numbers) are widest at its end.
    constexpr int kLastRowsSampled = 20;
    const int total = m_proxy->rowCount();
    const int rows = std::min(total, std::max(0, sampleRows));
    std::vector<int> sampled;
    for (int r = 0; r < rows; ++r)
        sampled.push_back(r);
    for (int r = std::max(rows, total - kLastRowsSampled); r < total; ++r)
        sampled.push_back(r);
    for (int r : sampled) {
        const QModelIndex at = m_proxy->index(r, column);
        QFont font = m_view->font();
        if (at.data(kMarkRole).toInt() > 0)
            font.setBold(true);
        const int text = QFontMetrics(font).horizontalAdvance(at.data(Qt::DisplayRole).toString());
        width = std::max(width, text + kCellPadding);
    }
    return std::clamp(width, kNarrowest, std::max(kWidest, kNarrowest));
}

void TCV_Base_Grid::FitColumnWidths(int sampleRows)
{
    for (int c = 0; c < ColCount(); ++c)
        m_view->setColumnWidth(c, FittedColumnWidth(c, sampleRows));
}

void TCV_Base_Grid::WidenColumnsToFit(int sampleRows)
{
    for (int c = 0; c < ColCount(); ++c)
        if (!m_view->isColumnHidden(c))
            m_view->setColumnWidth(c, std::max(m_view->columnWidth(c), FittedColumnWidth(c, sampleRows)));
}

std::unique_ptr<QMimeData> TCV_Base_Grid::SelectionMimeData(const TCVClipboardSettings& settings,
                                                            int maxCharsPerCell) const
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || (!settings.EditableText() && !settings.PictureOfSelection()))
        return nullptr;
    // The columns shown, in the order shown; column 0 is the number column.
    std::vector<int> columns = ShownColumns();
    if (!settings.NumberColumn())
        std::erase(columns, 0);
    if (columns.empty())
        return nullptr;
    auto data = std::make_unique<QMimeData>();
    if (settings.EditableText()) {
        const auto cut = [maxCharsPerCell](QString text) {
            text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            return maxCharsPerCell > 0 && text.size() > maxCharsPerCell ? text.left(maxCharsPerCell) : text;
        };
        QStringList lines;
        const auto line = [&](int row) {
            QStringList cellsOfRow;
            for (int c : columns)
                cellsOfRow << cut(Cells(c, row));
            lines << cellsOfRow.join(QLatin1Char('\t'));
        };
        if (settings.HeadingRow())
            line(0);
        for (int row : rows)
            line(row);
        data->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    if (settings.PictureOfSelection()) {
        // The selected area as the grid shows it: from the first selected
        // row to the last, across the columns copied.
        QRect area;
        for (int row : {rows.front(), rows.back()})
            for (int c : {columns.front(), columns.back()}) {
                const QModelIndex at = m_proxy->index(ViewRowOfGridRow(row), c);
                area = area.united(m_view->visualRect(at));
            }
        area = area.intersected(m_view->viewport()->rect());
        if (area.isValid() && !area.isEmpty())
            data->setImageData(m_view->viewport()->grab(area).toImage());
    }
    return data;
}

int TCV_Base_Grid::CopySelectionToClipboard(const TCVClipboardSettings& settings, int maxCharsPerCell) const
{
    std::unique_ptr<QMimeData> data = SelectionMimeData(settings, maxCharsPerCell);
    if (!data)
        return 0;
    const int rows = int(SelectedRows().size());
    QApplication::clipboard()->setMimeData(data.release());
    return rows;
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
    emit Refreshed();
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

std::vector<int> TCV_Base_Grid::ShownColumns() const
{
    std::vector<int> columns;
    const QHeaderView* header = m_view->horizontalHeader();
    for (int v = 0; v < header->count(); ++v) {
        const int c = header->logicalIndex(v);
        if (c >= 0 && !m_view->isColumnHidden(c))
            columns.push_back(c);
    }
    return columns;
}

TDrawgridDataRec TCV_Base_Grid::CellRecord(int column, int row, bool whileBusy) const
{
    const int viewRow = ViewRowOfGridRow(row);
    if (viewRow < 0 || column < 0 || column >= ColCount())
        return {};
    const QModelIndex source = m_proxy->mapToSource(m_proxy->index(viewRow, column));
    return m_model->CellOf(source.row(), source.column(), whileBusy);
}

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

void TCV_Base_Grid::SetDrawForGridSearchDisplay(int column, const QStringList& words)
{
    m_model->SetSearchDisplay(column, words);
    m_view->viewport()->update();
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
    WidenColumnsToFit();
}

int TCV_Base_Grid::ViewSortColumn() const { return m_proxy->sortColumn(); }

void TCV_Base_Grid::ClearViewSort()
{
    m_proxy->sort(-1);
    m_view->horizontalHeader()->setSortIndicatorShown(false);
}

void TCV_Base_Grid::SetRowFilter(std::function<bool(int entry)> filter) { m_proxy->SetRowFilter(std::move(filter)); }

void TCV_Base_Grid::CellDoubleClicked(int column, int row)
{
    if (Events.On_DoubleClick)
        Events.On_DoubleClick(this, column, row);
}

void TCV_Base_Grid::HeaderClicked(int column)
{
    if (Events.OnClickHeader) {
        Events.OnClickHeader(this, column);
        return;
    }
    if (HeaderClickTaken(column))
        return;
    const bool again = m_proxy->sortColumn() == column;
    const Qt::SortOrder order =
        again && m_proxy->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    SortOnRawValues(column, order);
}

bool TCV_Base_Grid::CellPartlyObscured(int column, int row) const
{
    const int viewRow = ViewRowOfGridRow(row);
    if (viewRow < 0 || column < 0 || column >= ColCount() || m_view->isColumnHidden(column))
        return false;
    const QModelIndex at = m_proxy->index(viewRow, column);
    QFont font = m_view->font();
    if (at.data(kMarkRole).toInt() > 0)
        font.setBold(true);
    // The cell's own margins, as the view draws them.
    constexpr int kMargins = 8;
    return QFontMetrics(font).horizontalAdvance(at.data(Qt::DisplayRole).toString()) + kMargins > m_view->columnWidth(column);
}

QString TCV_Base_Grid::HintString(int column, int row) const { return CellPartlyObscured(column, row) ? Cells(column, row) : QString(); }

bool TCV_Base_Grid::ShowHintAt(const QPoint& viewportPos, const QPoint& globalPos)
{
    const QModelIndex at = m_view->indexAt(viewportPos);
    if (!at.isValid()) {
        QToolTip::hideText();
        return false;
    }
    const int row = GridRowOfViewRow(at.row());
    const QString hint = HintString(at.column(), row);
    if (hint.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(globalPos, hint, m_view->viewport(), m_view->visualRect(at));
    if (!m_obscuredWarned && Events.OnDataPartlyObscured) {
        m_obscuredWarned = true;
        Events.OnDataPartlyObscured(this);
    }
    return true;
}

bool TCV_Base_Grid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        ShowHintAt(help->pos(), help->globalPos());
        return true;
    }
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        if (Events.OnKeyPress && Events.OnKeyPress(this, static_cast<QKeyEvent*>(event)))
            return true;
        // Once the view has taken the key: a key that moved the current
        // cell (Ctrl+End, the arrows, Page Down ...) tells as a click does.
        QTimer::singleShot(0, this, [this, before = QPersistentModelIndex(m_view->currentIndex())] {
            const QModelIndex now = m_view->currentIndex();
            if (now.isValid() && now != before)
                CurrentCellMovedByKey(now.column(), GridRowOfViewRow(now.row()));
        });
    }
    if (watched == m_view->viewport() && event->type() == QEvent::ContextMenu && m_popup && !m_popup->isEmpty()) {
        m_popup->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (watched == m_view->viewport() &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)) {
        // Rows dragged from a grid: the source is the dragging grid, not its view.
        auto* drop = static_cast<QDropEvent*>(event);
        QObject* source = drop->source();
        if (source && source->parent() && qobject_cast<TCV_Base_Grid*>(source->parent()))
            source = source->parent();
        bool taken = false;
        if (event->type() == QEvent::DragEnter) {
            taken = DragEnter(source);
        } else {
            const QModelIndex at = m_view->indexAt(drop->position().toPoint());
            const int column = at.isValid() ? at.column() : -1;
            const int row = at.isValid() ? GridRowOfViewRow(at.row()) : -1;
            taken = at.isValid() && DropOnCell(source, column, row, event->type() == QEvent::Drop);
        }
        if (taken) {
            drop->setDropAction(Qt::MoveAction);
            drop->accept();
        } else {
            drop->ignore();
        }
        // The view never moves rows itself: the list decides what a drop means.
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

TCV_Grid::TCV_Grid(QWidget* parent) : TCV_Base_Grid(parent)
{
    // A click on a data cell tells the window (its status bar shows the cell).
    connect(View(), &QTableView::clicked, this, [this](const QModelIndex& i) {
        if (HandlersA.StatusBarCellInfo && i.isValid())
            HandlersA.StatusBarCellInfo(this, i.column(), i.row() + 1);
    });
}

TCV_Grid::~TCV_Grid() = default;

TWindowHandle TCV_Grid::WindowHandle()
{
    if (!m_messageWindow)
        m_messageWindow = std::make_unique<TMessageWindow>(
            [this](uint32_t msg, uint64_t w, int64_t l) { GridMessage(msg, w, l); }, nullptr);
    return m_messageWindow->Handle();
}

void TCV_Grid::GridMessage(uint32_t msg, uint64_t wparam, int64_t lparam)
{
    if (msg == kMsgGridCommand && wparam >= kGridCommandBase)
        HandleGridCommand(int(wparam - kGridCommandBase));
}

int TCV_Grid::TypingMode() const { return HandlersC.GetTypingMode ? HandlersC.GetTypingMode() : 0; }

namespace {

// Calls a handler of the grid when it is set; whether it was.
template <typename F, typename... Args>
bool Call(const F& handler, Args&&... args)
{
    if (!handler)
        return false;
    handler(std::forward<Args>(args)...);
    return true;
}

} // namespace

bool TCV_Grid::HandleGridCommand(int tag)
{
    // The menu commands a grid carries out through its window's handlers.
    const int row = std::max(1, Row());
    const int column = std::max(0, View()->currentIndex().column());
    bool done = false;
    switch (TMenuCommand(tag)) {
    case TMenuCommand::Save: done = Call(WindowOperations.Save, this); break;
    case TMenuCommand::SaveAsPlainText: done = Call(WindowOperations.SaveAsExport, this, 0); break;
    case TMenuCommand::SaveAsXml: done = Call(WindowOperations.SaveAsExport, this, 1); break;
    case TMenuCommand::SaveAsSpreadsheet: done = Call(WindowOperations.SaveAsExport, this, 2); break;
    case TMenuCommand::SaveAsRtf: done = Call(WindowOperations.SaveAsExport, this, 3); break;
    case TMenuCommand::SaveAsOwnFormat: done = Call(WindowOperations.SaveAsExport, this, 4); break;
    case TMenuCommand::MergeWith: done = Call(WindowOperations.MergeWith, this); break;
    case TMenuCommand::ColumnTotals: done = Call(WindowOperations.ComputeColumnTotals, this); break;
    case TMenuCommand::RelativeEntropy: done = Call(WindowOperations.RelativeEntropy, this); break;
    case TMenuCommand::ShowRelatedTexts: done = Call(WindowOperations.ShowRowSourceFile, this); break;
    case TMenuCommand::SourceText: done = Call(WindowOperations.ShowRowSourceFile, this); break;
    case TMenuCommand::EditData: done = EditCurrentCell(); break;
    case TMenuCommand::Refresh: done = Call(HandlersA.GridCommand30, this); break;
    case TMenuCommand::DefaultColumnWidths: FitColumnWidths(); done = true; break;
    case TMenuCommand::Find: done = Call(HandlersB.OpenConditionsDialog2, this); break;
    case TMenuCommand::Play: done = Call(HandlersB.SpeakRow, this); break;
    case TMenuCommand::Print: done = Call(HandlersB.PrintGrid, this); break;
    case TMenuCommand::PrintPreview: done = Call(HandlersB.PrintPreviewGrid, this); break;
    case TMenuCommand::FindFiles: done = Call(HandlersA.FFindFiles, this); break;
    case TMenuCommand::Resort: done = Call(HandlersB.SortByColumn, this, kResortAsItIs); break;
    case TMenuCommand::Zap: done = Call(HandlersB.ZapMarked, this); break;
    case TMenuCommand::SearchText: done = Call(HandlersB.OpenSearchReplace, this, false); break; // search only
    case TMenuCommand::SearchAndReplace: done = Call(HandlersB.OpenSearchReplace, this, true); break;
    case TMenuCommand::Delete: done = Call(HandlersA.SelectedRowsCommand, this); break;
    case TMenuCommand::RestoreDeleted: done = Call(HandlersA.SelectedRowsCommand2, this); break;
    case TMenuCommand::ReverseDelete: done = Call(HandlersB.StatusBarProgressCommand, this); break;
    case TMenuCommand::SaveLemmaFile: done = Call(HandlersB.SaveOrLoadTextFile, this, true); break;
    case TMenuCommand::FreezeTopRows: done = Call(HandlersB.GridCommand26, this); break;
    case TMenuCommand::JoinRows: done = Call(HandlersA.JoinRows, this, 0, 0); break;
    case TMenuCommand::Unjoin: done = Call(HandlersA.JoinRows, this, 1, 0); break;
    case TMenuCommand::UnjoinAll: done = Call(HandlersA.JoinRows, this, 2, 0); break;
    case TMenuCommand::ReduceToN: done = Call(HandlersB.ReduceList, this); break;
    case TMenuCommand::Layout: done = Call(HandlersA.OpenColumnsDialog, this); break;
    case TMenuCommand::Breakdown: done = Call(HandlersB.SSummaryStats, this); break;
    case TMenuCommand::Filenames: done = Call(HandlersB.ShowRowFileNames, this); break;
    case TMenuCommand::Clusters: done = Call(HandlersA.CClusters, this); break;
    case TMenuCommand::JoinClusters: done = Call(HandlersA.JJoinClusters, this); break;
    case TMenuCommand::Concordance: done = Call(HandlersA.CComputeConcordance, this); break;
    case TMenuCommand::Relationships: done = Call(HandlersA.CComputeRelationships, this); break;
    case TMenuCommand::ClearSetColumn: done = Call(HandlersA.ClearSetColumn, this); break;
    case TMenuCommand::Timeline: done = Call(HandlersA.CComputeTimeline, this); break;
    case TMenuCommand::Undo: done = Call(HandlersB.UndoEdit, this); break;
    case TMenuCommand::Redo: done = Call(HandlersB.RedoEdit, this); break;
    case TMenuCommand::DeleteIf: done = Call(HandlersA.OpenConditionsDialog, this); break;
    case TMenuCommand::AutoJoin: done = Call(HandlersA.AAutoJoin, this); break;
    case TMenuCommand::Tokens: done = Call(HandlersB.RRecomputeTokens, this); break;
    case TMenuCommand::ChangeLanguage: done = Call(HandlersA.ChangeGridLanguage, this); break;
    case TMenuCommand::WordCloud: done = Call(HandlersA.OpenWordCloud, this); break;
    case TMenuCommand::EditSetColumn: {
        // From the menu the current cell may lie outside the set columns: the list's active one is edited.
        int setColumn = column;
        if (List() && !List()->IsASetColumnColumn(setColumn))
            setColumn = List()->ActiveSetColumn();
        done = Call(HandlersA.EditSetColumnCell, this, setColumn, row);
        break;
    }
    case TMenuCommand::ColourCategories: done = Call(HandlersA.OpenColourCategoryDialog, this); break;
    case TMenuCommand::CheckConsistency: done = Call(HandlersA.CCheckLemmasForConsistency, this); break;
    case TMenuCommand::TypeIn:
    case TMenuCommand::SetCategories:
    case TMenuCommand::EditingData: // the typing modes, in the order of their numbers
        done = Call(HandlersC.SetTypingMode, tag - TagOf(TMenuCommand::TypeIn));
        break;
    default: break;
    }
    if (!done)
        ++m_unhandledCommands;
    return done;
}

bool TCV_Grid::EditCurrentCell()
{
    TCVBaseDataClass* list = List();
    const int row = Row();
    const int column = View()->currentIndex().column();
    const int entry = EntryOfGridRow(row);
    if (!HandlersA.InputForGrid)
        return false;
    if (!list || entry < 0 || column < 0)
        return true;
    QString value = Cells(column, row);
    if (!HandlersA.InputForGrid(this, Cells(column, 0), value))
        return true;
    if (list->SetSomeWordAsString(entry, column, value, true))
        Refresh();
    return true;
}

void TCV_Grid::CellDoubleClicked(int column, int row)
{
    TCV_Base_Grid::CellDoubleClicked(column, row);
    if (HandlersA.DDblClickCell)
        HandlersA.DDblClickCell(this, column, row);
}

bool TCV_Grid::HeaderClickTaken(int column)
{
    if (!HandlersB.SortByColumn)
        return false;
    HandlersB.SortByColumn(this, column);
    return true;
}

void TCV_Grid::CurrentCellMovedByKey(int column, int row)
{
    if (HandlersA.StatusBarCellInfo)
        HandlersA.StatusBarCellInfo(this, column, row);
}

bool TCV_Grid::DragEnter(QObject* source) { return bool(HandlersA.CellDragOver) || bool(HandlersA.CellDragDrop); }

bool TCV_Grid::DropOnCell(QObject* source, int column, int row, bool dropped)
{
    if (!dropped)
        return HandlersA.CellDragOver && HandlersA.CellDragOver(this, source, column, row);
    if (HandlersA.CellDragOver && !HandlersA.CellDragOver(this, source, column, row))
        return false;
    return Call(HandlersA.CellDragDrop, this, source, column, row);
}

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
    SetRowResizeMode((options & kGridOptionRowResizing) ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void TCV_Grid::SetLinesPerRow(int lines)
{
    LinesPerRow = std::max(1, lines);
    View()->setWordWrap(LinesPerRow > 1);
    SetDefaultRowHeight(24 * LinesPerRow);
}

} // namespace cv
