#include "ui/wordlist/dialogs/lemma_shower.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QTableView>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>


namespace cv {

// Lemma shower

TLemmaShowerModel::TLemmaShowerModel(QObject* parent) : QAbstractTableModel(parent) {}

void TLemmaShowerModel::SetLines(std::vector<TLine> lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

void TLemmaShowerModel::SetHeadings(const QStringList& headings)
{
    beginResetModel();
    m_headings = headings;
    endResetModel();
}

int TLemmaShowerModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_lines.size()); }

int TLemmaShowerModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max<int>(1, int(m_headings.size()));
}

QVariant TLemmaShowerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_lines.size()))
        return {};
    const TLine& line = m_lines[size_t(index.row())];
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return line.text;
        return line.second.isEmpty() ? QString::asprintf("%d", line.number) : line.second;
    }
    if (role == Qt::ForegroundRole)
        return QApplication::palette().color(QPalette::Text);
    return {};
}

QVariant TLemmaShowerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_headings.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TLemmaShowerModel::sort(int column, Qt::SortOrder order)
{
    beginResetModel();
    const auto key = [column](const TLine& a, const TLine& b) {
        if (column == 0)
            return QString::localeAwareCompare(a.text, b.text) < 0;
        if (!a.second.isEmpty() || !b.second.isEmpty())
            return QString::localeAwareCompare(a.second, b.second) < 0;
        return a.number < b.number;
    };
    if (order == Qt::AscendingOrder)
        std::stable_sort(m_lines.begin(), m_lines.end(), key);
    else
        std::stable_sort(m_lines.begin(), m_lines.end(), [&key](const TLine& a, const TLine& b) { return key(b, a); });
    endResetModel();
}

TFormLemmaShower::TFormLemmaShower(QWidget* parent) : TCVDialog(parent, QStringLiteral("FormLemmaShower"), 0)
{
    setWindowTitle(QStringLiteral("Lemma forms"));
    m_model = new TLemmaShowerModel(this);
    CVSimpleVirtualGrid1 = new QTableView(this);
    CVSimpleVirtualGrid1->setObjectName(QStringLiteral("CVSimpleVirtualGrid1"));
    CVSimpleVirtualGrid1->setModel(m_model);
    CVSimpleVirtualGrid1->setSortingEnabled(true);
    CVSimpleVirtualGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CVSimpleVirtualGrid1->verticalHeader()->hide();
    CVSimpleVirtualGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    AdvPopupMenu1 = new QMenu(this);
    Print1 = AdvPopupMenu1->addAction(QStringLiteral("Print"));
    Copy1 = AdvPopupMenu1->addAction(QStringLiteral("Copy"));
    connect(Print1, &QAction::triggered, this, [this] { Print1Click(); });
    connect(Copy1, &QAction::triggered, this, [this] { Copy1Click(); });
    connect(CVSimpleVirtualGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { AdvPopupMenu1->popup(CVSimpleVirtualGrid1->viewport()->mapToGlobal(at)); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CVSimpleVirtualGrid1);
}

void TFormLemmaShower::CopyStringData(const std::vector<std::pair<QString, int32_t>>& lines)
{
    std::vector<TLemmaShowerModel::TLine> copy;
    copy.reserve(lines.size());
    for (const auto& [text, number] : lines)
        copy.push_back({text, number, {}});
    m_model->SetLines(std::move(copy));
    SizeColumns();
}

void TFormLemmaShower::CopyRows(const QStringList& rows)
{
    std::vector<TLemmaShowerModel::TLine> copy;
    copy.reserve(size_t(rows.size()));
    for (const QString& row : rows) {
        const qsizetype tab = row.indexOf(u'\t');
        TLemmaShowerModel::TLine line{tab < 0 ? row : row.left(tab), 0, {}};
        const QString rest = tab < 0 ? QString() : row.mid(tab + 1);
        bool whole = false;
        line.number = rest.toInt(&whole);
        if (!whole)
            line.second = rest;
        copy.push_back(std::move(line));
    }
    m_model->SetLines(std::move(copy));
    SizeColumns();
}

void TFormLemmaShower::SetTheHeaders(const QStringList& headings)
{
    m_model->SetHeadings(headings);
    SizeColumns();
}

void TFormLemmaShower::SizeColumns()
{
    const int width = std::max(100, CVSimpleVirtualGrid1->viewport()->width());
    if (m_model->columnCount() == 1) {
        CVSimpleVirtualGrid1->setColumnWidth(0, width);
    } else {
        CVSimpleVirtualGrid1->setColumnWidth(0, width * 80 / 100);
        CVSimpleVirtualGrid1->setColumnWidth(1, width * 20 / 100);
    }
}

QString TFormLemmaShower::GridText() const
{
    QStringList lines{m_model->Headings().join(u'\t')};
    for (int r = 0; r < m_model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_model->columnCount(); ++c)
            cells << m_model->index(r, c).data().toString();
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n');
}

void TFormLemmaShower::Copy1Click() const { QApplication::clipboard()->setText(GridText()); }

void TFormLemmaShower::Print1Click()
{
    QPrinter printer;
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return;
    QTextDocument text;
    text.setPlainText(windowTitle() + QStringLiteral("\n\n") + GridText());
    text.print(&printer);
}

void TFormLemmaShower::resizeEvent(QResizeEvent* event)
{
    TCVDialog::resizeEvent(event);
    SizeColumns();
}

} // namespace cv
