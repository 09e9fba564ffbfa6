#include "ui/framework/grid_dialogs/breakdown_window.h"

#include "files/save_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringEncoder>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "gui/cv_grid.h"
#include "gui/file_dialogs.h"
#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/search_engine.h"
#include "suite/search_items.h"
#include "suite/text_codec.h"
#include "suite/text_settings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/grid_dialogs/grid_columns.h"

namespace cv {

namespace {

// The text-file column of a concordance.
constexpr int kConcordanceFileColumn = 13;
constexpr int kColumnRole = Qt::UserRole;

bool Cancelled() { return global_panic_state != kPanicRun; }

QString CellText(const TCVBaseDataClass& list, int entry, int column, int displayKind)
{
    TDrawgridDataRec rec;
    list.DrawgridDataRec(entry, column, displayKind, rec);
    return rec.text;
}

QString Number(double v)
{
    // Whole sums as counts, others keep two decimals.
    return std::floor(v) == v ? Format("%.0n", {v}) : Format("%.2n", {v});
}

} // namespace

void TSummaryArrays::Resize(int expressions)
{
    const size_t n = size_t(std::max(0, expressions));
    counts.assign(n, 0);
    sums.assign(n, 0.0);
    breakdowns.assign(n, {});
}

void ComputeSearchSummary(const TCVBaseDataClass& list, const TSearchSummaryRequest& request,
                          const QStringList& expressions, const TTextSettings& textSettings, TSummaryArrays& summary)
{
    if (expressions.isEmpty())
        return;
    summary.Resize(int(expressions.size()));
    const bool breakdown = request.breakdown && request.breakdownColumn >= 0;
    const bool cumulative = request.cumulative && request.cumulativeColumn >= 0;

    // Every value of the breakdown column with its count in the whole list.
    std::vector<int> valueOfEntry;
    std::vector<BreakdownRec> values;
    if (breakdown) {
        std::unordered_map<QString, int> indexOf;
        valueOfEntry.resize(size_t(list.Count()));
        for (int i = 0; i < list.Count(); ++i) {
            const QString value = CellText(list, i, request.breakdownColumn, request.displayKind);
            auto [it, added] = indexOf.try_emplace(value, int(values.size()));
            if (added)
                values.push_back({value, 0, 0});
            ++values[size_t(it->second)].total;
            valueOfEntry[size_t(i)] = it->second;
        }
        // Commonest first (equal ones as they came); entries keep their value's new place.
        std::vector<int> order(values.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return values[size_t(a)].total > values[size_t(b)].total; });
        std::vector<int> placeOf(values.size());
        std::vector<BreakdownRec> sorted;
        sorted.reserve(values.size());
        for (int v : order) {
            placeOf[size_t(v)] = int(sorted.size());
            sorted.push_back(values[size_t(v)]);
        }
        values = std::move(sorted);
        for (int& v : valueOfEntry)
            v = placeOf[size_t(v)];
        for (auto& b : summary.breakdowns)
            b = values;
    }

    // The searched column's text of each entry, taken once for every expression.
    std::vector<QString> texts(size_t(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        texts[size_t(i)] = CellText(list, i, request.searchColumn, request.displayKind);

    TSearchWordItems items;
    items.TakeTextSettings(textSettings);
    TSearchAndDoEngine engine;
    engine.SetItems(&items);
    for (int e = 0; e < int(expressions.size()) && !Cancelled(); ++e) {
        items.Clear();
        items.AddedSearchWords(expressions[e]);
        if (request.progress)
            request.progress(e * 100 / int(expressions.size()));
        MyYieldProcess();
        // A stop while messages were handled may mean the list is gone: it is not touched again.
        if (Cancelled())
            break;
        if (items.IsEmpty())
            continue;
        std::vector<int> matches;
        for (int i = 0; i < list.Count(); ++i) {
            if ((i & 1023) == 1023) {
                MyYieldProcess();
                if (Cancelled())
                    break;
            }
            if (engine.RowMatches(texts[size_t(i)]))
                matches.push_back(i);
        }
        if (Cancelled())
            break;
        summary.counts[size_t(e)] = int32_t(matches.size());
        if (breakdown)
            for (int i : matches)
                ++summary.breakdowns[size_t(e)][size_t(valueOfEntry[size_t(i)])].count;
        if (cumulative) {
            double sum = 0;
            for (int i : matches)
                sum += list.NumericalData(i, request.cumulativeColumn);
            summary.sums[size_t(e)] = sum;
        }
    }
}

QStringList BreakdownResultLines(const QString& expression, int expressionIndex, int expressionCount,
                                 const TSummaryArrays& summary, const TSearchSummaryRequest& request,
                                 const QString& breakdownHeading, bool breakdownIsTextFiles)
{
    QStringList lines;
    const size_t e = size_t(expressionIndex);
    if (e >= summary.counts.size())
        return lines;
    QString line = request.breakdown ? Format("%s: %.0n", {expression, summary.counts[e]})
                                     : Format("%.0n", {summary.counts[e]});
    if (request.cumulative)
        line += QStringLiteral(" (") + Number(summary.sums[e]) + u')';
    lines << line;
    if (request.breakdown && e < summary.breakdowns.size()) {
        lines << Format(CVBreakdownOfResults, {breakdownHeading});
        std::vector<BreakdownRec> found;
        for (const BreakdownRec& b : summary.breakdowns[e])
            if (b.count > 0)
                found.push_back(b);
        if (breakdownIsTextFiles)
            lines << Format(CVNManyX, {CVFiles, int64_t(found.size())});
        std::stable_sort(found.begin(), found.end(), [](const BreakdownRec& a, const BreakdownRec& b) {
            return a.count > b.count;
        });
        for (const BreakdownRec& b : found)
            lines << b.value + QStringLiteral(": ") +
                         (expressionCount == 1 ? Format("%.0n", {b.count})
                                               : Format(CVNManyOutOfN, {b.count, b.total}));
    }
    lines << QStringLiteral("*******");
    return lines;
}

TFormBreakdown::TFormBreakdown(QWidget* parent) : TRememberingDialog(QStringLiteral("FormBreakdown"), parent)
{
    setWindowTitle(QStringLiteral("Breakdown"));
    MakeOwnTaskbarWindow(*this);

    auto* searches = new QGroupBox(QStringLiteral("searches"));
    ElMemoSearches = new QPlainTextEdit;
    (new QVBoxLayout(searches))->addWidget(ElMemoSearches);
    auto* results = new QGroupBox(QStringLiteral("results"));
    ElMemoResults = new QPlainTextEdit;
    ElMemoResults->setReadOnly(true);
    (new QVBoxLayout(results))->addWidget(ElMemoResults);

    GroupSearchColumn = new QGroupBox(QStringLiteral("search column"));
    ComboBoxSearch = new QComboBox;
    (new QVBoxLayout(GroupSearchColumn))->addWidget(ComboBoxSearch);
    auto* cumulative = new QGroupBox(QStringLiteral("cumulative column"));
    ComboBoxCumulative = new QComboBox;
    CheckBoxCumulative = new QCheckBox(QStringLiteral("activated"));
    auto* cumulativeLayout = new QVBoxLayout(cumulative);
    cumulativeLayout->addWidget(ComboBoxCumulative);
    cumulativeLayout->addWidget(CheckBoxCumulative);
    auto* breakdown = new QGroupBox(QStringLiteral("breakdown by"));
    ComboBoxBreakdown = new QComboBox;
    CheckBoxBreakdown = new QCheckBox(QStringLiteral("activated"));
    auto* breakdownLayout = new QVBoxLayout(breakdown);
    breakdownLayout->addWidget(ComboBoxBreakdown);
    breakdownLayout->addWidget(CheckBoxBreakdown);

    ButtonLoad = new QPushButton(QStringLiteral("Load"));
    ButtonCount = new QPushButton(QStringLiteral("Count"));
    ElPopupButtonStop = new QPushButton(QStringLiteral("stop"));
    AdvGlowButtonSaveREsults = new QPushButton(QStringLiteral("Save"));
    ButtonHelp = new QPushButton(QStringLiteral("Help"));
    ProgressBar1 = new QProgressBar;

    auto* columns = new QVBoxLayout;
    columns->addWidget(GroupSearchColumn);
    columns->addWidget(cumulative);
    columns->addWidget(breakdown);
    columns->addStretch();
    auto* top = new QGridLayout;
    top->addWidget(searches, 0, 0);
    top->addLayout(columns, 0, 1);
    top->addWidget(results, 1, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {ButtonLoad, ButtonCount, ElPopupButtonStop, AdvGlowButtonSaveREsults, ButtonHelp})
        buttons->addWidget(b);
    buttons->addWidget(ProgressBar1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    AdvGlowButtonSaveREsults->setEnabled(false);

    connect(ComboBoxSearch, &QComboBox::activated, this, [this] { ComboBoxSearchSelect(); });
    connect(ButtonLoad, &QPushButton::clicked, this, [this] { ButtonLoadClick(); });
    connect(ButtonCount, &QPushButton::clicked, this, [this] { ButtonCountClick(); });
    connect(ElPopupButtonStop, &QPushButton::clicked, this, [this] { ElPopupButtonStopClick(); });
    connect(AdvGlowButtonSaveREsults, &QPushButton::clicked, this, [this] { AdvGlowButtonSaveREsultsClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
}

void TFormBreakdown::SetTheHeaders(int column, TCV_Grid* grid, TSummaryStatsProc onSummaryStats)
{
    ComboBoxSearch->clear();
    ComboBoxCumulative->clear();
    ComboBoxBreakdown->clear();
    fOnSummaryStats = std::move(onSummaryStats);
    fDataColumn = column;
    m_grid = grid;
    fDataList = grid ? grid->List() : nullptr;
    if (!grid || !fDataList)
        return;
    fListType = grid->ListType;
    fDisplayKind = grid->KindOfDisplay;
    // The list's own columns as the grid shows them (computed columns have no list column).
    for (const TGrid_head32& h : ColumnLayoutOf(*grid).Headers()) {
        const int c = h.DataColumn();
        if (c <= 0 || c >= fDataList->ColumnCount() || !h.Visible())
            continue;
        const QString heading = grid->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        ComboBoxSearch->addItem(heading, c);
        ComboBoxBreakdown->addItem(heading, c);
        if (h.Numeric())
            ComboBoxCumulative->addItem(heading, c);
        if (c == column) {
            ComboBoxSearch->setCurrentIndex(ComboBoxSearch->count() - 1);
            GroupSearchColumn->setTitle(heading);
        }
    }
    if (ComboBoxSearch->findData(column) < 0)
        ComboBoxSearch->setCurrentIndex(-1);
}

void TFormBreakdown::SetBreakDownToFiles()
{
    const int files = ComboBoxBreakdown->findData(kConcordanceFileColumn);
    if (files >= 0)
        ComboBoxBreakdown->setCurrentIndex(files);
    else if (ComboBoxBreakdown->count() > 13)
        ComboBoxBreakdown->setCurrentIndex(12);
    CheckBoxBreakdown->setChecked(true);
}

void TFormBreakdown::FeedTheMemoIfEmpty(const QStringList& strings)
{
    if (ElMemoSearches->toPlainText().isEmpty())
        for (const QString& s : strings)
            ElMemoSearches->appendPlainText(s);
}

int TFormBreakdown::SelectedColumn(const QComboBox* box)
{
    return box->currentIndex() < 0 ? -1 : box->currentData(kColumnRole).toInt();
}

QString TFormBreakdown::HeadingOf(int column) const
{
    const int i = ComboBoxBreakdown->findData(column);
    if (i >= 0)
        return ComboBoxBreakdown->itemText(i);
    return fDataList ? fDataList->Heading(column) : QString();
}

void TFormBreakdown::ComboBoxSearchSelect()
{
    if (ComboBoxSearch->currentIndex() < 0)
        return;
    GroupSearchColumn->setTitle(ComboBoxSearch->currentText());
    fDataColumn = SelectedColumn(ComboBoxSearch);
}

void TFormBreakdown::ButtonLoadClick()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Open);
    dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    dialog.InitialDir = GetLastOpenedFolder();
    if (!dialog.Execute())
        return;
    QFile file(dialog.FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        FailedToRead(dialog.FileName + QStringLiteral(": ") + file.errorString());
        return;
    }
    ElMemoSearches->setPlainText(DecodeText(file.readAll(), 1252));
}

void TFormBreakdown::StopCounting()
{
    if (m_counting)
        global_panic_state = kPanicStopNow;
    fDataList = nullptr;
}

void TFormBreakdown::ButtonCountClick()
{
    if (m_counting)
        return;
    global_panic_state = kPanicRun;
    if (m_grid)
        fDataList = m_grid->List();
    if (!fOnSummaryStats || !fDataList)
        return;
    m_counting = true;
    const struct TCountingDone {
        bool& counting;
        ~TCountingDone() { counting = false; }
    } countingDone{m_counting};
    ElMemoSearches->setPlainText(ElMemoSearches->toPlainText().trimmed());
    QStringList expressions;
    const QStringList lines = ElMemoSearches->toPlainText().split(u'\n');
    for (int i = 0; i < lines.size() && !Cancelled(); ++i) {
        ProgressBar1->setValue(int(int64_t(i) * 100 / lines.size()));
        MyYieldProcess();
        const QString line = lines[i].trimmed();
        if (!line.isEmpty())
            expressions << line;
    }
    ElMemoResults->clear();
    TSearchSummaryRequest request;
    request.searchColumn = fDataColumn;
    request.cumulativeColumn = SelectedColumn(ComboBoxCumulative);
    request.cumulative = CheckBoxCumulative->isChecked() && request.cumulativeColumn >= 0;
    request.breakdownColumn = SelectedColumn(ComboBoxBreakdown);
    request.breakdown = CheckBoxBreakdown->isChecked() && request.breakdownColumn >= 0;
    request.displayKind = fDisplayKind;
    request.progress = [this](int percent) { ProgressBar1->setValue(percent); };

    TSummaryArrays summary;
    fOnSummaryStats(*fDataList, request, expressions, summary);
    if (!fDataList)
        return; // the data went while counting: nothing to tell of it

    const bool textFiles = fListType == kListConcordance && request.breakdownColumn == kConcordanceFileColumn;
    const QString breakdownHeading = HeadingOf(request.breakdownColumn);
    for (int e = 0; e < int(expressions.size()) && !Cancelled(); ++e) {
        ProgressBar1->setValue(e * 100 / int(expressions.size()));
        for (const QString& line : BreakdownResultLines(expressions[e], e, int(expressions.size()), summary, request,
                                                        breakdownHeading, textFiles))
            ElMemoResults->appendPlainText(line);
    }
    AdvGlowButtonSaveREsults->setEnabled(!ElMemoResults->toPlainText().isEmpty());
    setWindowTitle(Format(CVBreakdownX, {GroupSearchColumn->title(), CVSearchWithin}));
    ProgressBar1->setValue(0);
}

void TFormBreakdown::ElPopupButtonStopClick() { global_panic_state = kPanicStopNow; }

void TFormBreakdown::AdvGlowButtonSaveREsultsClick()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    dialog.DefaultExt = QStringLiteral("txt");
    dialog.InitialDir = GetDefaultFolder();
    if (!dialog.Execute())
        return;
    // UTF-16 with its byte-order mark, through a temporary file.
    TSaveFile file(dialog.FileName);
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray bytes = encoder.encode(ElMemoResults->toPlainText());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        FailedToSave(dialog.FileName, QStringLiteral("Cannot write file \"%1\": %2").arg(dialog.FileName, file.errorString()));
        return;
    }
}

void TFormBreakdown::ButtonHelpClick()
{
    PostHelpRequest(current_tool_var == 0 ? 5470 : current_tool_var == 1 ? 5460 : 4730);
}

} // namespace cv
