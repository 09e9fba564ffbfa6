#include "ui/wordlist/views/frozen_columns.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>

namespace cv {

TFrozenColumns::TFrozenColumns(QTableView* view, int columns)
    : QObject(view), m_view(view), m_frozen(new QTableView(view)), m_columns(columns)
{
    m_frozen->setObjectName(QStringLiteral("FrozenColumns"));
    m_frozen->setModel(view->model());
    m_frozen->setSelectionModel(view->selectionModel());
    m_frozen->setItemDelegate(view->itemDelegate());
    m_frozen->setSelectionBehavior(view->selectionBehavior());
    m_frozen->setSelectionMode(view->selectionMode());
    m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frozen->setWordWrap(view->wordWrap());
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->verticalHeader()->hide();
    m_frozen->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->verticalHeader()->setDefaultSectionSize(view->verticalHeader()->defaultSectionSize());
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollMode(view->verticalScrollMode());
    m_frozen->setFrameShape(QFrame::NoFrame);
    // The table's scrolled cells pass under it.
    m_view->viewport()->stackUnder(m_frozen);

    // Rows, widths and the heading clicks go together.
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, m_view->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_view->verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
            &QAbstractSlider::setValue);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (column < m_columns) {
            m_frozen->setColumnWidth(column, size);
            UpdateGeometry();
        }
    });
    connect(m_view->verticalHeader(), &QHeaderView::sectionResized, this,
            [this](int row, int, int size) { m_frozen->setRowHeight(row, size); });
    connect(m_frozen->horizontalHeader(), &QHeaderView::sectionClicked, m_view->horizontalHeader(),
            &QHeaderView::sectionClicked);
    connect(m_frozen, &QAbstractItemView::clicked, m_view, &QAbstractItemView::clicked);
    connect(m_frozen, &QAbstractItemView::doubleClicked, m_view, &QAbstractItemView::doubleClicked);
    // A list shown afresh may bring other columns.
    connect(view->model(), &QAbstractItemModel::modelReset, this, [this] { ShowFrozenColumnsOnly(); });
    connect(view->model(), &QAbstractItemModel::layoutChanged, this, [this] { ShowFrozenColumnsOnly(); });
    connect(view->model(), &QAbstractItemModel::columnsInserted, this, [this] { ShowFrozenColumnsOnly(); });

    m_view->installEventFilter(this);
    ShowFrozenColumnsOnly();
    m_frozen->show();
}

void TFrozenColumns::ShowFrozenColumnsOnly()
{
    const int count = m_view->model() ? m_view->model()->columnCount() : 0;
    for (int c = 0; c < count; ++c) {
        const bool frozen = c < m_columns && !m_view->isColumnHidden(c);
        m_frozen->setColumnHidden(c, !frozen);
        if (frozen)
            m_frozen->setColumnWidth(c, m_view->columnWidth(c));
    }
    UpdateGeometry();
}

void TFrozenColumns::UpdateGeometry()
{
    int width = 0;
    for (int c = 0; c < m_columns && m_view->model() && c < m_view->model()->columnCount(); ++c)
        if (!m_view->isColumnHidden(c))
            width += m_view->columnWidth(c);
    const int frame = m_view->frameWidth();
    m_frozen->setGeometry(m_view->verticalHeader()->width() + frame, frame, width,
                          m_view->viewport()->height() + m_view->horizontalHeader()->height());
    m_frozen->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value());
}

bool TFrozenColumns::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::Show ||
                              event->type() == QEvent::LayoutRequest))
        UpdateGeometry();
    return QObject::eventFilter(watched, event);
}

} // namespace cv
