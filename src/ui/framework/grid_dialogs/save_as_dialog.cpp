#include "ui/framework/grid_dialogs/save_as_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/cv_grid.h"
#include "gui/file_dialogs.h"
#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/dialog_routines.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"

namespace cv {

namespace {

constexpr uint8_t kGridKindSwapped = 8;

QString Range(int32_t first, int32_t last)
{
    return first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
}

} // namespace

std::vector<int> ExportColumnsOfGrid(const TCV_Base_Grid& grid)
{
    std::vector<int> columns{0};
    for (int c : grid.ShownColumns())
        if (c != 0)
            columns.push_back(c);
    return columns;
}

TGridExportRows::TGridExportRows(const TCV_Base_Grid& grid, const TCVExportSettings& settings)
    : fGrid(grid), fSeparateThousands(settings.SeparateThousands),
      fLocale(grid.List() ? grid.List()->CollationName() : QString())
{
    const std::vector<int> shown = ExportColumnsOfGrid(grid);
    for (int position : ChosenExportColumns(settings, int(shown.size())))
        fColumns.push_back(shown[size_t(position)]);
    for (int c : fColumns)
        headings << grid.Cells(c, 0);
    ChooseRows(settings, grid.RowCount() - 1);
}

void TGridExportRows::CellsOfRow(int row, std::vector<TExportCell>& cells) const
{
    cells.clear();
    for (int c : fColumns) {
        TDrawgridDataRec rec = fGrid.CellRecord(c, row, true);
        // A number below its column's threshold shows as nothing, and is written so.
        if (rec.isNumber && rec.text.isEmpty())
            rec.isNumber = false;
        cells.push_back(ExportCellOf(rec, fSeparateThousands, fLocale));
    }
}

TGridSelection GridSelectionOf(const TCV_Base_Grid& grid)
{
    const std::vector<int> shown = ExportColumnsOfGrid(grid);
    TGridSelection s;
    const QItemSelection selection = grid.View()->selectionModel()->selection();
    if (selection.isEmpty()) {
        const int row = std::max(1, grid.Row());
        s = {0, row, std::max(0, int(shown.size()) - 1), row};
        return s;
    }
    s = {INT32_MAX, INT32_MAX, -1, -1};
    for (const QItemSelectionRange& r : selection) {
        for (size_t position = 0; position < shown.size(); ++position)
            if (shown[position] >= r.left() && shown[position] <= r.right()) {
                s.left = std::min(s.left, int(position));
                s.right = std::max(s.right, int(position));
            }
        s.top = std::min(s.top, r.top() + 1);
        s.bottom = std::max(s.bottom, r.bottom() + 1);
    }
    if (s.right < 0)
        s.left = s.right = 0;
    return s;
}

bool HumanAbbreviatedNumberListStringAsIntegers(const QString& text, int32_t maximum, std::vector<int32_t>& out,
                                                int64_t* largestTyped)
{
    int64_t largest = -1;
    std::vector<int32_t> numbers;
    // A bit a number: the rows of a grid of millions are millions of
    // numbers, and a tree of them took a hundred megabytes that the process
    // kept after the dialog.
    std::vector<bool> seen(std::size_t(std::max(0, maximum)) + 1, false);
    auto add = [&](int64_t n) {
        if (n >= 0 && n <= maximum && !seen[std::size_t(n)]) {
            seen[std::size_t(n)] = true;
            numbers.push_back(int32_t(n));
        }
    };
    for (const QString& part : text.split(u',', Qt::SkipEmptyParts)) {
        const QString item = part.trimmed();
        if (item.isEmpty())
            continue;
        const qsizetype dash = item.indexOf(u'-', 1);
        bool ok1 = false;
        bool ok2 = true;
        int64_t first = 0;
        int64_t last = 0;
        if (dash < 0) {
            first = last = item.toLongLong(&ok1);
        } else {
            first = item.left(dash).trimmed().toLongLong(&ok1);
            last = item.mid(dash + 1).trimmed().toLongLong(&ok2);
        }
        if (!ok1 || !ok2 || first < 0 || last < 0)
            return false;
        if (first > last)
            std::swap(first, last);
        largest = std::max(largest, last);
        for (int64_t n = first; n <= std::min<int64_t>(last, maximum); ++n)
            add(n);
    }
    out = std::move(numbers);
    if (largestTyped)
        *largestTyped = largest;
    return true;
}

TSaveAsTxtDlgFeb2012::TSaveAsTxtDlgFeb2012(QWidget* parent) : TRememberingDialog(QStringLiteral("SaveAsTxtDlg"), parent)
{
    setWindowTitle(QStringLiteral("Save As"));
    MakeOwnTaskbarWindow(*this);
    FileNameEdit = new QLineEdit;
    BrowseButton = new QPushButton(QStringLiteral("..."));
    FormatCombo = new QComboBox;
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(FileNameEdit, 1);
    fileRow->addWidget(BrowseButton);

    ColumnsSelectionBox = new QCheckBox(QStringLiteral("selection only"));
    RowsSelectionBox = new QCheckBox(QStringLiteral("selection only"));
    ColumnsEdit = new QLineEdit;
    RowsEdit = new QLineEdit;
    auto* columnsRow = new QHBoxLayout;
    columnsRow->addWidget(ColumnsEdit, 1);
    columnsRow->addWidget(ColumnsSelectionBox);
    auto* rowsRow = new QHBoxLayout;
    rowsRow->addWidget(RowsEdit, 1);
    rowsRow->addWidget(RowsSelectionBox);

    IncludeNumbersBox = new QCheckBox(QStringLiteral("include numbers"));
    IncludeHeadingsBox = new QCheckBox(CVIncludeHeadings.toString());
    SeparateThousandsBox = new QCheckBox(QStringLiteral("separate thousands"));
    auto* separatorBox = new QGroupBox(QStringLiteral("Separator"));
    TabRadio = new QRadioButton(QStringLiteral("tab"));
    SpecifyRadio = new QRadioButton(QStringLiteral("specify:"));
    SeparatorEdit = new QLineEdit;
    SeparatorEdit->setMaxLength(8);
    auto* sepLayout = new QHBoxLayout(separatorBox);
    sepLayout->addWidget(TabRadio);
    sepLayout->addWidget(SpecifyRadio);
    sepLayout->addWidget(SeparatorEdit);
    CharactersSpin = new QSpinBox;
    CharactersSpin->setRange(1, 100000);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File name"), fileRow);
    form->addRow(QStringLiteral("Save as type"), FormatCombo);
    form->addRow(QStringLiteral("Columns"), columnsRow);
    form->addRow(QStringLiteral("Rows"), rowsRow);
    form->addRow(QString(), IncludeNumbersBox);
    form->addRow(QString(), IncludeHeadingsBox);
    form->addRow(QString(), SeparateThousandsBox);
    form->addRow(separatorBox);
    form->addRow(QStringLiteral("Characters per line"), CharactersSpin);

    OKButton = new QPushButton(QStringLiteral("OK"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"));
    HelpButton = new QPushButton(QStringLiteral("&Help"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(HelpButton);
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addLayout(buttons);

    for (QCheckBox* box : {ColumnsSelectionBox, RowsSelectionBox, IncludeNumbersBox, IncludeHeadingsBox})
        connect(box, &QCheckBox::toggled, this, [this] {
            if (!m_settingUp)
                RangeTextsChange();
        });
    connect(FormatCombo, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_settingUp)
            FormatChange(i);
    });
    connect(BrowseButton, &QPushButton::clicked, this, [this] { BrowseClick(); });
    connect(OKButton, &QPushButton::clicked, this, [this] { OKClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpClick(); });
    connect(SeparatorEdit, &QLineEdit::textEdited, this, [this] { SpecifyRadio->setChecked(true); });
}

void TSaveAsTxtDlgFeb2012::SetFilterForListType(uint8_t listType)
{
    flist_type = listType;
    const QString own = WithoutDotDefaultExt(listType);
    const QString ownExt = own.isEmpty() ? QStringLiteral("txt") : own;
    const QStringList kinds{QStringLiteral("Text files (*.txt)"), QStringLiteral("XML files (*.xml)"),
                            QStringLiteral("Excel spreadsheets (*.xls *.xlsx)"), QStringLiteral("RTF files (*.rtf)"),
                            QStringLiteral("%1 files (*.%2)").arg(ListTypeSignature(listType), ownExt),
                            QStringLiteral("All files (*)")};
    Filter = kinds.join(QStringLiteral(";;"));
    m_settingUp = true;
    const int format = FormatCombo->currentIndex();
    FormatCombo->clear();
    FormatCombo->addItems(kinds);
    FormatCombo->setCurrentIndex(std::max(0, format));
    m_settingUp = false;
}

void TSaveAsTxtDlgFeb2012::SetupSaveAs(int32_t columns, int32_t rows, const TGridSelection& sel, int32_t extraHeaders,
                                       uint8_t listType, uint8_t gridKind, const TCVExportSettings& current,
                                       const QString& fileName, int32_t concCharacters)
{
    m_settingUp = true;
    SetFilterForListType(listType);
    m_settingUp = true;
    AllColumnsSpecified = columns;
    AllRowsSpecified = rows;
    selection = sel;
    if (gridKind == kGridKindSwapped) {
        std::swap(AllColumnsSpecified, AllRowsSpecified);
        selection = {sel.top - 1, sel.left + 1, sel.bottom - 1, sel.right + 1};
    }
    extra_headers = std::max(0, extraHeaders);
    ExportSettings = current;
    IncludeHeadingsBox->setText(extra_headers == 0 ? CVIncludeHeadings.toString() : CVIncludeHeadersAndHeadings.toString());
    CharactersSpin->setEnabled(listType == kListConcordance);
    SaveAsConcCharacters = concCharacters;
    CharactersSpin->setValue(std::max(1, concCharacters));
    IncludeNumbersBox->setChecked(current.IncludeNumbers);
    IncludeHeadingsBox->setChecked(current.IncludeHeadings);
    SeparateThousandsBox->setChecked(current.SeparateThousands);
    const bool tab = current.Separator.isEmpty() || current.Separator == QStringLiteral("\t");
    (tab ? TabRadio : SpecifyRadio)->setChecked(true);
    SeparatorEdit->setText(tab ? QString() : current.Separator);
    const QString name = LegalXMLName(ListTypeSignature(listType));
    TopXML = QStringLiteral("<?xml version=\"1.0\"?>\r\n<") + name + QStringLiteral(">\r\n");
    BottomXML = QStringLiteral("\r\n</") + name + u'>';
    ExportSettings.Columns.clear();
    ExportSettings.Rows.clear();
    ColumnsSelectionBox->setChecked(false);
    RowsSelectionBox->setChecked(false);
    FileNameEdit->setText(fileName);
    StartFolder = QFileInfo(fileName).isAbsolute() ? QFileInfo(fileName).absolutePath() : StartFolder;
    FormatCombo->setCurrentIndex(std::clamp(int(current.Format), 0, FormatCombo->count() - 1));
    m_settingUp = false;
    FormatChange(FormatCombo->currentIndex());
    RangeTextsChange();
}

QString TSaveAsTxtDlgFeb2012::DefaultColumnsText() const
{
    const int32_t n = AllColumnsSpecified;
    const bool numbers = IncludeNumbersBox->isChecked();
    if (ColumnsSelectionBox->isChecked()) {
        const QString range = Range(selection.left + 1, selection.right + 1);
        return numbers && selection.left > 0 ? QStringLiteral("1,") + range : range;
    }
    if (n <= 0)
        return {};
    if (numbers)
        return n == 1 ? QStringLiteral("1") : n == 2 ? QStringLiteral("1,2") : QStringLiteral("1,2-%1").arg(n);
    if (current_tool_var == kToolWithoutRowNumbers)
        return Range(1, n);
    return n < 2 ? QString() : Range(2, n);
}

QString TSaveAsTxtDlgFeb2012::DefaultRowsText() const
{
    QStringList parts;
    if (IncludeHeadingsBox->isChecked()) {
        parts << QStringLiteral("0");
        for (int32_t h = 1; h <= extra_headers; ++h)
            parts << QString::number(h);
    }
    int32_t first = extra_headers + 1;
    int32_t last = AllRowsSpecified;
    if (RowsSelectionBox->isChecked()) {
        first = std::max(first, selection.top);
        last = std::min(last, selection.bottom);
    }
    if (first <= last)
        parts << Range(first, last);
    return parts.join(u',');
}

void TSaveAsTxtDlgFeb2012::RangeTextsChange()
{
    ColumnsEdit->setText(DefaultColumnsText());
    RowsEdit->setText(DefaultRowsText());
}

void TSaveAsTxtDlgFeb2012::ApplyCaption()
{
    switch (ExportSettings.Format) {
    case TSaveAsFormat::XML: setWindowTitle(CVSaveAsXML.toString()); break;
    case TSaveAsFormat::Spreadsheet: setWindowTitle(CVSaveAsExcel.toString()); break;
    case TSaveAsFormat::RTF: setWindowTitle(CVSaveasRTF.toString()); break;
    case TSaveAsFormat::ListTypesOwn: setWindowTitle(cv::Format(CVSaveAsOther, {ListTypeName(flist_type)})); break;
    default: setWindowTitle(CVSaveAsPlainText.toString()); break;
    }
}

void TSaveAsTxtDlgFeb2012::FormatChange(int format)
{
    ExportSettings.Format = TSaveAsFormat(std::clamp(format, 0, int(TSaveAsFormat::AllFiles)));
    // "All files" keeps the name as typed.
    if (ExportSettings.Format != TSaveAsFormat::AllFiles) {
        const QString name = FileNameEdit->text().trimmed();
        if (!name.isEmpty()) {
            const QFileInfo info(name);
            const QString base = info.suffix().isEmpty() ? name : name.left(name.size() - info.suffix().size() - 1);
            FileNameEdit->setText(base + DefaultExtFromSaveASFormat(uint8_t(format), flist_type));
        }
    }
    ApplyCaption();
}

void TSaveAsTxtDlgFeb2012::BrowseClick()
{
    TCVFileDialog dialog(TCVFileDialog::TKind::Save);
    dialog.Title = windowTitle();
    // The file dialog lists the files of the format chosen (a word list's
    // own ".lst", not text files): its filter comes first.
    QStringList kinds = Filter.split(QStringLiteral(";;"));
    if (const int format = FormatCombo->currentIndex(); format > 0 && format < kinds.size())
        kinds.move(format, 0);
    dialog.Filter = kinds.join(QStringLiteral(";;"));
    dialog.InitialDir = StartFolder;
    dialog.FileName = FileNameEdit->text().trimmed();
    dialog.DefaultExt = DefaultExtFromSaveASFormat(uint8_t(FormatCombo->currentIndex()), flist_type).mid(1);
    if (!dialog.Execute())
        return;
    FileNameEdit->setText(dialog.FileName);
    StartFolder = QFileInfo(dialog.FileName).absolutePath();
}

bool TSaveAsTxtDlgFeb2012::ParseList(QLineEdit* edit, int32_t maximum, std::vector<int32_t>& out)
{
    // A number the grid has no row or column for is refused, not dropped unseen.
    int64_t largest = -1;
    if (HumanAbbreviatedNumberListStringAsIntegers(edit->text(), maximum, out, &largest) && largest <= maximum)
        return true;
    InvalidNumber(largest > maximum ? QString::number(largest) : edit->text());
    edit->setFocus();
    return false;
}

bool TSaveAsTxtDlgFeb2012::OKClick()
{
    // 1. What and where.
    SaveAsConcCharacters = CharactersSpin->value();
    QString fileName = FileNameEdit->text().trimmed();
    if (!fileName.isEmpty() && !QFileInfo(fileName).isAbsolute() && !StartFolder.isEmpty())
        fileName = QDir(StartFolder).filePath(fileName);
    ExportSettings.Format = TSaveAsFormat(std::clamp(FormatCombo->currentIndex(), 0, int(TSaveAsFormat::AllFiles)));
    // A name typed without extension gets the format's.
    if (!fileName.isEmpty() && QFileInfo(fileName).suffix().isEmpty() && !fileName.endsWith(u'/') &&
        ExportSettings.Format != TSaveAsFormat::AllFiles)
        fileName += DefaultExtFromSaveASFormat(uint8_t(ExportSettings.Format), flist_type);
    const bool xml = ExportSettings.Format == TSaveAsFormat::XML;
    // An XML file names its fields after the headings: no heading row.
    if (xml && IncludeHeadingsBox->isChecked()) {
        IncludeHeadingsBox->setChecked(false);
        RowsEdit->setText(DefaultRowsText());
    }
    const bool numbers = IncludeNumbersBox->isChecked();
    const bool headings = IncludeHeadingsBox->isChecked();

    // 2. Rows and columns. A list that covers every row (column) stands for "all".
    std::vector<int32_t> columns;
    std::vector<int32_t> rows;
    if (!ParseList(ColumnsEdit, AllColumnsSpecified, columns) || !ParseList(RowsEdit, AllRowsSpecified, rows))
        return false;
    if (!headings)
        std::erase_if(rows, [&](int32_t r) { return r <= extra_headers; });
    auto covers = [](std::vector<int32_t> list, int32_t from, int32_t to) {
        std::sort(list.begin(), list.end());
        if (int64_t(list.size()) != int64_t(to) - from + 1)
            return false;
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i] != from + int32_t(i))
                return false;
        return true;
    };
    const bool tool4 = current_tool_var == kToolWithoutRowNumbers;
    const bool allColumns =
        columns.empty() || (!tool4 && covers(columns, numbers ? 1 : 2, AllColumnsSpecified)) ||
        (tool4 && covers(columns, 1, AllColumnsSpecified));
    const bool allRows = rows.empty() || (!tool4 && covers(rows, headings ? 0 : 1, AllRowsSpecified));
    ExportSettings.AllColumns = allColumns;
    ExportSettings.AllRows = allRows;
    ExportSettings.Columns = allColumns ? std::vector<int32_t>{} : columns;
    ExportSettings.Rows = allRows ? std::vector<int32_t>{} : rows;

    // 3. First and last: of the list, else 0 and the count.
    auto ends = [](const std::vector<int32_t>& list, int32_t count, int32_t& first, int32_t& last) {
        first = list.empty() ? 0 : *std::min_element(list.begin(), list.end());
        last = list.empty() ? count : *std::max_element(list.begin(), list.end());
    };
    ends(ExportSettings.Columns, AllColumnsSpecified, ExportSettings.FirstColumn, ExportSettings.LastColumn);
    ends(ExportSettings.Rows, AllRowsSpecified, ExportSettings.FirstRow, ExportSettings.LastRow);

    // 4. Separator: the first character typed, else a tab.
    const QString typed = SeparatorEdit->text();
    ExportSettings.Separator = SpecifyRadio->isChecked() && !typed.isEmpty() ? typed.left(1) : QStringLiteral("\t");

    // 5. The boxes.
    ExportSettings.SeparateThousands = SeparateThousandsBox->isChecked();
    ExportSettings.IncludeNumbers = numbers;
    ExportSettings.IncludeHeadings = headings;
    ExportSettings.TopXML = TopXML;
    ExportSettings.BottomXML = BottomXML;

    // 6. The file.
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || info.fileName().isEmpty() || info.completeBaseName().isEmpty()) {
        ProvideAFilenameOrCancel();
        return false;
    }
    if (info.exists()) {
        if (!OKToOverwriteWithBackup(fileName))
            return false;
        // The file written before becomes the backup (errors of this step are not fatal).
        const QString backup = info.suffix().isEmpty() ? fileName + QStringLiteral(".bak")
                                                       : fileName.left(fileName.size() - info.suffix().size()) +
                                                             QStringLiteral("bak");
        if (QFileInfo::exists(backup))
            QFile::remove(backup);
        QFile::rename(fileName, backup);
    }
    ExportSettings.FileName = fileName;
    StartFolder = info.absolutePath();
    accept();
    return true;
}

void TSaveAsTxtDlgFeb2012::HelpClick() { PostHelpRequest(kHelpSaveAs); }

} // namespace cv
