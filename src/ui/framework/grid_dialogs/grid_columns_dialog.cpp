#include "ui/framework/grid_dialogs/grid_columns_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/grid_dialogs/formula.h"

namespace cv {

namespace {

constexpr int kHelpColumns = 1320;
constexpr int kHelpComputed = 1270;

const char* const kStandardFunctions[] = {"pi", "cumulative", "square root", "exponential",
                                          "sine", "cosine", "log", "squared"};

QRadioButton* AddRadio(QButtonGroup* group, QLayout* layout, const QString& caption, int id)
{
    auto* b = new QRadioButton(caption);
    group->addButton(b, id);
    layout->addWidget(b);
    return b;
}

} // namespace

TFormColumns::TFormColumns(QWidget* parent) : TRememberingDialog(QStringLiteral("FormColumns"), parent)
{
    setWindowTitle(QStringLiteral("Columns: Layout & Format"));
    MakeOwnTaskbarWindow(*this);
    PageControl = new QTabWidget;

    // --- "Layout" ---
    LayoutPage = new QWidget;
    HeadingList = new QListWidget;
    HeadingList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    HeadingList->installEventFilter(this);
    MoveUpButton = new QToolButton;
    MoveUpButton->setArrowType(Qt::UpArrow);
    MoveDownButton = new QToolButton;
    MoveDownButton->setArrowType(Qt::DownArrow);
    auto* moveBox = new QVBoxLayout;
    moveBox->addStretch();
    moveBox->addWidget(MoveUpButton);
    moveBox->addWidget(MoveDownButton);
    moveBox->addStretch();

    auto* alignBox = new QGroupBox(QStringLiteral("Alignment"));
    auto* alignLayout = new QHBoxLayout(alignBox);
    AlignmentGroup = new QButtonGroup(this);
    AddRadio(AlignmentGroup, alignLayout, QStringLiteral("centre"), kAlignCentre);
    AddRadio(AlignmentGroup, alignLayout, QStringLiteral("left"), kAlignLeft);
    AddRadio(AlignmentGroup, alignLayout, QStringLiteral("right"), kAlignRight);
    AddRadio(AlignmentGroup, alignLayout, QStringLiteral("decimal"), kAlignDecimal);

    auto* styleBox = new QGroupBox(QStringLiteral("Typeface"));
    auto* styleLayout = new QHBoxLayout(styleBox);
    BoldBox = new QCheckBox(QStringLiteral("bold"));
    ItalicsBox = new QCheckBox(QStringLiteral("italics"));
    UnderlinedBox = new QCheckBox(QStringLiteral("underlined"));
    StrikeoutBox = new QCheckBox(QStringLiteral("strikeout"));
    for (QCheckBox* b : {BoldBox, ItalicsBox, UnderlinedBox, StrikeoutBox})
        styleLayout->addWidget(b);

    auto* visibilityBox = new QGroupBox(QStringLiteral("Visibility"));
    auto* visibilityLayout = new QHBoxLayout(visibilityBox);
    ShowButton = new QRadioButton(QStringLiteral("Show"));
    HideButton = new QRadioButton(QStringLiteral("Hide"));
    visibilityLayout->addWidget(ShowButton);
    visibilityLayout->addWidget(HideButton);

    CaseGroup = new QGroupBox(QStringLiteral("Case"));
    auto* caseLayout = new QHBoxLayout(CaseGroup);
    CaseButtons = new QButtonGroup(this);
    AddRadio(CaseButtons, caseLayout, QStringLiteral("UPPER"), kCaseUpper);
    AddRadio(CaseButtons, caseLayout, QStringLiteral("Title"), kCaseTitle);
    AddRadio(CaseButtons, caseLayout, QStringLiteral("lower"), kCaseLower);
    AddRadio(CaseButtons, caseLayout, QStringLiteral("source"), kCaseSource);

    DecimalsSpin = new QSpinBox;
    DecimalsSpin->setRange(0, 12);
    ThresholdCombo = new QComboBox;
    ThresholdCombo->setEditable(true);
    const QString sep = QLocale().decimalPoint();
    ThresholdCombo->addItem(QStringLiteral("-999999") + sep + u'0');
    ThresholdCombo->addItem(QStringLiteral("0") + sep + u'0');
    for (int n = 0; n <= 12; ++n)
        ThresholdCombo->addItem(QStringLiteral("0") + sep + QString(n, u'0') + u'1');
    ColourButton = new QPushButton(QStringLiteral("Background..."));
    WidthSpin = new QDoubleSpinBox;
    WidthSpin->setRange(0, 100);
    InchesRadio = new QRadioButton(QStringLiteral("inches"));
    CentimetresRadio = new QRadioButton(QStringLiteral("centimetres"));
    auto* widthRow = new QHBoxLayout;
    widthRow->addWidget(WidthSpin);
    widthRow->addWidget(InchesRadio);
    widthRow->addWidget(CentimetresRadio);
    auto* numbers = new QFormLayout;
    numbers->addRow(QStringLiteral("Decimals (e.g 2 = 0.01, 3=0.001)"), DecimalsSpin);
    numbers->addRow(QStringLiteral("threshold for visibility"), ThresholdCombo);
    numbers->addRow(QStringLiteral("Width"), widthRow);
    numbers->addRow(QString(), ColourButton);

    DelButton = new QPushButton(QStringLiteral("Del"));
    EditButton = new QPushButton(QStringLiteral("Edit"));
    auto* computedRow = new QHBoxLayout;
    computedRow->addWidget(EditButton);
    computedRow->addWidget(DelButton);
    computedRow->addStretch();

    auto* controls = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(alignBox), static_cast<QWidget*>(styleBox),
                       static_cast<QWidget*>(visibilityBox), static_cast<QWidget*>(CaseGroup)})
        controls->addWidget(w);
    controls->addLayout(numbers);
    controls->addLayout(computedRow);
    controls->addStretch();
    auto* layoutPage = new QHBoxLayout(LayoutPage);
    layoutPage->addWidget(HeadingList, 1);
    layoutPage->addLayout(moveBox);
    layoutPage->addLayout(controls, 2);
    PageControl->addTab(LayoutPage, QStringLiteral("Layout"));

    // --- "Add computed data" ---
    ComputedPage = new QWidget;
    FormulaCombo = new QComboBox;
    FormulaCombo->setEditable(true);
    FormulaCombo->setInsertPolicy(QComboBox::NoInsert);
    FormulaCombo->lineEdit()->installEventFilter(this);
    auto* keys = new QGridLayout;
    const QStringList captions{QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"), QStringLiteral("/"),
                               QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("*"),
                               QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("-"),
                               QStringLiteral("0"), QStringLiteral("."), QStringLiteral("("), QStringLiteral(")"),
                               QStringLiteral("+")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* key = new QPushButton(captions[i]);
        key->setObjectName(QStringLiteral("CalculatorKey") + QString::number(i));
        connect(key, &QPushButton::clicked, this, [this, c = captions[i]] { CalculatorKeyClick(c); });
        keys->addWidget(key, i / 4, i % 4);
    }
    FunctionList = new QListWidget;
    for (const char* f : kStandardFunctions)
        FunctionList->addItem(QString::fromLatin1(f));
    DataList = new QListWidget;
    CumulativeBox = new QCheckBox(QStringLiteral("cumulative"));
    RowSpin = new QSpinBox;
    RowSpin->setRange(1, 1 << 30);
    auto* rowButton = new QPushButton(QStringLiteral("row"));
    ComputeOKButton = new QPushButton(QStringLiteral("OK"));
    auto* computedHelp = new QPushButton(QStringLiteral("&Help"));
    auto* lists = new QHBoxLayout;
    auto* functionsBox = new QVBoxLayout;
    functionsBox->addWidget(new QLabel(QStringLiteral("Functions")));
    functionsBox->addWidget(FunctionList);
    auto* dataBox = new QVBoxLayout;
    dataBox->addWidget(new QLabel(QStringLiteral("Your data")));
    dataBox->addWidget(DataList);
    dataBox->addWidget(CumulativeBox);
    auto* rowLine = new QHBoxLayout;
    rowLine->addWidget(RowSpin);
    rowLine->addWidget(rowButton);
    dataBox->addLayout(rowLine);
    lists->addLayout(keys);
    lists->addLayout(functionsBox);
    lists->addLayout(dataBox);
    auto* computedButtons = new QHBoxLayout;
    computedButtons->addStretch();
    computedButtons->addWidget(ComputeOKButton);
    computedButtons->addWidget(computedHelp);
    auto* computedPage = new QVBoxLayout(ComputedPage);
    computedPage->addWidget(FormulaCombo);
    computedPage->addLayout(lists);
    computedPage->addLayout(computedButtons);
    PageControl->addTab(ComputedPage, QStringLiteral("Add computed data"));

    // --- "Extra Set column" ---
    SetColumnPage = new QWidget;
    SetColumnList = new QListWidget;
    AddSetButton = new QPushButton(QStringLiteral("Add"));
    DeleteSetButton = new QPushButton(CVDelete.toString());
    auto* setButtons = new QHBoxLayout;
    setButtons->addWidget(AddSetButton);
    setButtons->addWidget(DeleteSetButton);
    setButtons->addStretch();
    auto* setPage = new QVBoxLayout(SetColumnPage);
    setPage->addWidget(SetColumnList);
    setPage->addLayout(setButtons);
    PageControl->addTab(SetColumnPage, QStringLiteral("Extra Set column"));

    OKButton = new QPushButton(QStringLiteral("OK"));
    SaveButton = new QPushButton(QStringLiteral("Save"));
    RestoreButton = new QPushButton(QStringLiteral("Restore"));
    HelpButton = new QPushButton(QStringLiteral("Help"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SaveButton);
    buttons->addWidget(RestoreButton);
    buttons->addStretch();
    buttons->addWidget(HelpButton);
    buttons->addWidget(OKButton);
    auto* main = new QVBoxLayout(this);
    main->addWidget(PageControl);
    main->addLayout(buttons);

    // --- events ---
    connect(HeadingList, &QListWidget::itemSelectionChanged, this, [this] {
        if (!busy_refreshing)
            FillControls();
    });
    connect(HeadingList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { HeadingDoubleClick(HeadingList->row(item)); });
    connect(AlignmentGroup, &QButtonGroup::idClicked, this, [this](int id) { AlignmentClick(uint8_t(id)); });
    const std::pair<QCheckBox*, uint8_t> styles[] = {
        {BoldBox, kStyleBold}, {ItalicsBox, kStyleItalics}, {UnderlinedBox, kStyleUnderlined}, {StrikeoutBox, kStyleStrikeout}};
    for (auto [box, bit] : styles)
        connect(box, &QCheckBox::toggled, this, [this, bit](bool on) {
            if (!busy_refreshing)
                StyleClick(bit, on);
        });
    connect(ShowButton, &QRadioButton::clicked, this, [this] { VisibilityClick(true); });
    connect(HideButton, &QRadioButton::clicked, this, [this] { VisibilityClick(false); });
    connect(CaseButtons, &QButtonGroup::idClicked, this, [this](int id) { CaseClick(uint8_t(id)); });
    connect(DecimalsSpin, &QSpinBox::valueChanged, this, [this](int v) {
        if (!busy_refreshing)
            DecimalsChange(v);
    });
    connect(ThresholdCombo, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!busy_refreshing)
            ThresholdChange(t);
    });
    connect(ColourButton, &QPushButton::clicked, this, [this] { ColourButtonClick(); });
    connect(WidthSpin, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!busy_refreshing)
            WidthChange(v);
    });
    connect(InchesRadio, &QRadioButton::clicked, this, [this] { UnitsClick(kUnitsInches); });
    connect(CentimetresRadio, &QRadioButton::clicked, this, [this] { UnitsClick(kUnitsCentimetres); });
    connect(MoveUpButton, &QToolButton::clicked, this, [this] { MoveClick(true); });
    connect(MoveDownButton, &QToolButton::clicked, this, [this] { MoveClick(false); });
    connect(DelButton, &QPushButton::clicked, this, [this] { DelClick(); });
    connect(EditButton, &QPushButton::clicked, this, [this] { EditClick(); });
    connect(FunctionList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { FunctionInsert(FunctionList->row(item)); });
    connect(DataList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { DataColumnInsert(DataList->row(item)); });
    connect(rowButton, &QPushButton::clicked, this, [this] { RowInsert(DataList->currentRow(), RowSpin->value()); });
    connect(ComputeOKButton, &QPushButton::clicked, this, [this] { ComputeOKClick(); });
    connect(computedHelp, &QPushButton::clicked, this, [] { PostHelpRequest(kHelpComputed); });
    connect(SetColumnList, &QListWidget::currentRowChanged, this, [this](int row) {
        DeleteSetButton->setText(row >= 0 ? Format(CVDeleteXQ, {SetColumnList->item(row)->text()}) : CVDelete.toString());
    });
    connect(AddSetButton, &QPushButton::clicked, this, [this] { AddSetClick(); });
    connect(DeleteSetButton, &QPushButton::clicked, this, [this] { DeleteSetClick(); });
    connect(OKButton, &QPushButton::clicked, this, [this] { accept(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(); });
    connect(RestoreButton, &QPushButton::clicked, this, [this] { RestoreClick(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpClick(); });
}

TFormColumns::~TFormColumns()
{
    // FormDestroy: both header arrays emptied.
    Headings.clear();
    PreviousHeadings.clear();
}

void TFormColumns::AssignDetails(TCV_Base_Grid* grid, const TGrid_header_array& headers, bool setColumnPageVisible,
                                 uint8_t listType, uint8_t units, TCVGridNewColumnEvent onNewColumnCreateOrDelete,
                                 TCV_StringBooleanFunctionEvent onSaveCustomisedHeadings,
                                 TCVGridGridHeadersChangedEvent onGridHeadersChanged)
{
    OnNewColumnCreateOrDelete = std::move(onNewColumnCreateOrDelete);
    OnSaveCustomisedHeadings = std::move(onSaveCustomisedHeadings);
    OnGridHeadersChanged = std::move(onGridHeadersChanged);
    fList_type = listType;
    PageControl->setTabVisible(PageControl->indexOf(SetColumnPage), setColumnPageVisible);
    ColumnsGrid = grid;
    Headings = headers;
    PreviousHeadings = headers;
    m_lastGiven = headers;
    fUnits = units;
    busy_refreshing = true;
    (units == kUnitsCentimetres ? CentimetresRadio : InchesRadio)->setChecked(true);
    busy_refreshing = false;
    FillHeadingLists();
    // The grid's current column is selected.
    int current = 0;
    if (grid) {
        const int column = grid->View()->currentIndex().column();
        auto& layout = ColumnLayoutOf(*grid);
        for (size_t i = 0; i < Headings.size(); ++i)
            if (layout.GridColumnOf(Headings[i]) == column)
                current = int(i);
    }
    SelectHeadings({current});
}

QString TFormColumns::HeadingText(const TGrid_head32& h) const
{
    if (!h.Heading.isEmpty())
        return h.Heading;
    if (h.Computed())
        return h.Formula;
    const TCVBaseDataClass* list = ColumnsGrid ? ColumnsGrid->List() : nullptr;
    return list ? list->Heading(h.DataColumn()) : QString();
}

std::vector<int> TFormColumns::SelectedColumns() const
{
    std::vector<int> lines;
    for (int i = 0; i < HeadingList->count(); ++i)
        if (HeadingList->item(i)->isSelected() && i < int(Headings.size()))
            lines.push_back(i);
    return lines;
}

void TFormColumns::FillHeadingLists()
{
    const bool wasBusy = busy_refreshing;
    busy_refreshing = true;
    const std::vector<int> selected = SelectedColumns();
    const int current = HeadingList->currentRow();
    HeadingList->clear();
    DataList->clear();
    SetColumnList->clear();
    for (size_t i = 0; i < Headings.size(); ++i) {
        const TGrid_head32& h = Headings[i];
        const QString text = HeadingText(h);
        HeadingList->addItem(h.Visible() ? text : QStringLiteral("( ") + text + QStringLiteral(" )"));
        if (h.Numeric()) {
            auto* item = new QListWidgetItem(h.Computed() && !h.SetColumn() ? QStringLiteral("#%1").arg(h.OwnNumber()) : text);
            item->setData(Qt::UserRole, int(i));
            DataList->addItem(item);
        }
        if (h.SetColumn()) {
            auto* item = new QListWidgetItem(text);
            item->setData(Qt::UserRole, int(i));
            SetColumnList->addItem(item);
        }
    }
    if (current >= 0 && current < HeadingList->count())
        HeadingList->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    for (int line : selected)
        if (line < HeadingList->count())
            HeadingList->item(line)->setSelected(true);
    busy_refreshing = wasBusy;
}

void TFormColumns::SelectHeadings(const std::vector<int>& lines)
{
    busy_refreshing = true;
    HeadingList->clearSelection();
    for (int line : lines)
        if (line >= 0 && line < HeadingList->count())
            HeadingList->item(line)->setSelected(true);
    if (!lines.empty() && lines.front() >= 0 && lines.front() < HeadingList->count())
        HeadingList->setCurrentRow(lines.front(), QItemSelectionModel::NoUpdate);
    busy_refreshing = false;
    FillControls();
}

int TFormColumns::PixelsPerInch() const { return std::max(1, logicalDpiX()); }

void TFormColumns::ShowWidth()
{
    const std::vector<int> lines = SelectedColumns();
    if (lines.empty())
        return;
    const double inches = double(Headings[size_t(lines.front())].Width()) / PixelsPerInch();
    const bool wasBusy = busy_refreshing;
    busy_refreshing = true;
    if (fUnits == kUnitsCentimetres) {
        WidthSpin->setDecimals(1);
        WidthSpin->setValue(inches * kInchesToCentimetres);
    } else {
        WidthSpin->setDecimals(2);
        WidthSpin->setValue(inches);
    }
    busy_refreshing = wasBusy;
}

void TFormColumns::FillControls()
{
    const std::vector<int> lines = SelectedColumns();
    if (lines.empty())
        return;
    const TGrid_head32& h = Headings[size_t(lines.front())];
    busy_refreshing = true;
    const uint8_t alignment = h.Alignment() == kAlignLeftToo ? uint8_t(kAlignLeft) : h.Alignment();
    if (QAbstractButton* b = AlignmentGroup->button(alignment))
        b->setChecked(true);
    BoldBox->setChecked(h.FontStyle() & kStyleBold);
    ItalicsBox->setChecked(h.FontStyle() & kStyleItalics);
    UnderlinedBox->setChecked(h.FontStyle() & kStyleUnderlined);
    StrikeoutBox->setChecked(h.FontStyle() & kStyleStrikeout);
    (h.Visible() ? ShowButton : HideButton)->setChecked(true);
    CaseGroup->setEnabled(h.CaseChangeable() != 0);
    if (QAbstractButton* b = CaseButtons->button(h.LetterCase()))
        b->setChecked(true);
    DecimalsSpin->setValue(h.Decimals());
    ThresholdCombo->setEnabled(h.Numeric() != 0);
    ThresholdCombo->setEditText(QLocale().toString(double(h.Threshold()), 'g', 3));
    ShowWidth();
    DelButton->setVisible(h.Computed());
    EditButton->setVisible(h.Computed());
    busy_refreshing = false;
}

void TFormColumns::NotifyChange()
{
    if (ColumnsBusy)
        return;
    // The grid follows every difference from what it was last given, so a
    // change undone by hand is undone on the grid too.
    if (HeadersDiffer(Headings, m_lastGiven)) {
        m_lastGiven = Headings;
        if (OnGridHeadersChanged)
            OnGridHeadersChanged(ColumnsGrid, Headings);
    }
    FillHeadingLists();
}

void TFormColumns::ChangeSelected(const std::function<void(TGrid_head32&)>& change)
{
    if (busy_refreshing)
        return;
    for (int line : SelectedColumns())
        change(Headings[size_t(line)]);
    NotifyChange();
}

void TFormColumns::AlignmentClick(uint8_t alignment)
{
    ChangeSelected([&](TGrid_head32& h) { h.SetAlignment(alignment); });
}

void TFormColumns::StyleClick(uint8_t styleBit, bool on)
{
    ChangeSelected([&](TGrid_head32& h) { h.SetFontStyle(on ? uint8_t(h.FontStyle() | styleBit) : uint8_t(h.FontStyle() & ~styleBit)); });
}

void TFormColumns::VisibilityClick(bool visible)
{
    ChangeSelected([&](TGrid_head32& h) { h.SetVisible(visible); });
}

void TFormColumns::CaseClick(uint8_t letterCase)
{
    ChangeSelected([&](TGrid_head32& h) {
        if (h.CaseChangeable())
            h.SetLetterCase(letterCase);
    });
}

void TFormColumns::DecimalsChange(int decimals)
{
    ChangeSelected([&](TGrid_head32& h) { h.SetDecimals(uint8_t(std::clamp(decimals, 0, 255))); });
}

void TFormColumns::ThresholdChange(const QString& text)
{
    bool ok = false;
    float v = QLocale().toFloat(text.trimmed(), &ok);
    if (!ok)
        v = QLocale::c().toFloat(text.trimmed(), &ok);
    if (!ok)
        return;
    ChangeSelected([&](TGrid_head32& h) {
        if (h.Numeric())
            h.SetThreshold(v);
    });
}

void TFormColumns::ColourButtonClick()
{
    QColorDialog dialog(this);
    const std::vector<int> lines = SelectedColumns();
    if (!lines.empty() && (Headings[size_t(lines.front())].Background() >> 24) != 0)
        dialog.setCurrentColor(QColor::fromRgba(Headings[size_t(lines.front())].Background()));
    if (RunModalDialog(dialog) == QDialog::Accepted)
        BackgroundColourChosen(dialog.selectedColor());
}

void TFormColumns::BackgroundColourChosen(const QColor& colour)
{
    // A colour that is no colour, or the grid's own background, is not taken.
    if (!colour.isValid())
        return;
    const QColor base = ColumnsGrid ? ColumnsGrid->View()->palette().color(QPalette::Base) : palette().color(QPalette::Base);
    if (colour.rgb() == base.rgb())
        return;
    ChangeSelected([&](TGrid_head32& h) { h.SetBackground(QColor(colour.rgb()).rgba()); });
}

void TFormColumns::WidthChange(double shownWidth)
{
    const double inches = fUnits == kUnitsCentimetres ? shownWidth / kInchesToCentimetres : shownWidth;
    const int pixels = int(std::lround(inches * PixelsPerInch()));
    ChangeSelected([&](TGrid_head32& h) {
        if (h.Visible())
            h.SetWidth(int16_t(std::clamp(pixels, 0, 32767)));
    });
}

void TFormColumns::UnitsClick(uint8_t units)
{
    if (units == fUnits)
        return;
    fUnits = units;
    ShowWidth();
}

void TFormColumns::MoveClick(bool up)
{
    const std::vector<int> lines = SelectedColumns();
    if (lines.empty())
        return;
    const int from = lines.front();
    const int to = up ? from - 1 : from + 1;
    if (to < 0 || to >= int(Headings.size()))
        return;
    std::swap(Headings[size_t(from)], Headings[size_t(to)]);
    NotifyChange();
    SelectHeadings({to});
}

void TFormColumns::HeadingListKey(int key)
{
    const int line = HeadingList->currentRow();
    if (line < 0 || line >= int(Headings.size()))
        return;
    if (key == Qt::Key_Insert)
        Headings[size_t(line)].SetVisible(true);
    else if (key == Qt::Key_Delete)
        Headings[size_t(line)].SetVisible(false);
    else
        return;
    NotifyChange();
    FillControls();
}

void TFormColumns::HeadingDoubleClick(int line)
{
    if (line < 0 || line >= int(Headings.size()))
        return;
    QInputDialog input(this);
    input.setWindowTitle(QStringLiteral("Change Heading"));
    input.setLabelText(QStringLiteral("Change Heading"));
    input.setTextValue(HeadingText(Headings[size_t(line)]));
    if (RunModalDialog(input) != QDialog::Accepted)
        return;
    Headings[size_t(line)].Heading = input.textValue();
    NotifyChange();
}

void TFormColumns::SaveClick()
{
    if (!OnSaveCustomisedHeadings)
        return;
    const QString fileName = CustomisedLayoutFileName(fList_type);
    if (!OKToDoX(Format(CVSaveTheseSettings, {ListTypeName(fList_type)}), kHelpColumns))
        return;
    if (OnSaveCustomisedHeadings(ColumnsGrid))
        SavedOK(fileName);
    else
        FailedToSave(fileName);
}

void TFormColumns::RestoreClick()
{
    const QString fileName = CustomisedLayoutFileName(fList_type);
    if (QFileInfo::exists(fileName) && OKtoDelete(fileName))
        QFile::remove(fileName);
    const std::vector<int> selected = SelectedColumns();
    Headings = PreviousHeadings;
    busy_refreshing = true;
    for (QCheckBox* b : {BoldBox, ItalicsBox, UnderlinedBox, StrikeoutBox})
        b->setChecked(false);
    busy_refreshing = false;
    FillHeadingLists();
    SelectHeadings(selected);
    NotifyChange();
}

void TFormColumns::HelpClick() { PostHelpRequest(kHelpColumns); }

void TFormColumns::EditClick()
{
    const int line = HeadingList->currentRow();
    if (line < 0 || line >= int(Headings.size()))
        return;
    const TGrid_head32& h = Headings[size_t(line)];
    FormulaCombo->setEditText(h.Computed() && !h.Formula.isEmpty() ? h.Formula : HeadingText(h));
    PageControl->setCurrentWidget(ComputedPage);
}

void TFormColumns::DelClick()
{
    const int line = HeadingList->currentRow();
    if (line < 0 || line >= int(Headings.size()) || !Headings[size_t(line)].Computed())
        return;
    TDialogRequest ask;
    ask.routine = QStringLiteral("DeleteColumn");
    ask.kind = TDialogKind::Question;
    ask.text = Format(CVDeleteXQ, {HeadingText(Headings[size_t(line)])});
    ask.buttons = TDialogButtons::YesNo;
    ask.defaultAnswer = TDialogAnswer::No;
    if (ShowDialog(ask) != TDialogAnswer::Yes)
        return;
    // Moved to the end by exchanges, then cut off.
    for (size_t i = size_t(line); i + 1 < Headings.size(); ++i)
        std::swap(Headings[i], Headings[i + 1]);
    Headings.pop_back();
    FillHeadingLists();
    NotifyChange();
}

void TFormColumns::InsertToken(const QString& token)
{
    FormulaCombo->lineEdit()->insert(token);
}

void TFormColumns::CalculatorKeyClick(const QString& caption) { InsertToken(caption); }

void TFormColumns::FunctionInsert(int index)
{
    if (index < 0 || index > 7)
        return;
    InsertToken(u' ' + MathsFunctionNames()[index] + (index > 0 ? QStringLiteral("(") : QString()) + u' ');
}

void TFormColumns::DataColumnInsert(int line)
{
    if (line < 0 || line >= DataList->count())
        return;
    QString name = MathsFunctionNames()[8];
    if (CumulativeBox->isChecked())
        name += u'C';
    InsertToken(u' ' + name + QStringLiteral("(\"") + DataList->item(line)->text() + QStringLiteral("\") "));
}

void TFormColumns::RowInsert(int line, int row)
{
    if (line < 0 || line >= DataList->count())
        return;
    InsertToken(u' ' + MathsFunctionNames()[9] + QStringLiteral("(\"") + DataList->item(line)->text() +
                QStringLiteral("\";") + QString::number(row) + QStringLiteral(") "));
}

void TFormColumns::ComputeOKClick()
{
    QString formula = FormulaCombo->currentText().trimmed();
    if (BracketBalance(formula) != 0) {
        UnMatchedBracketInX(formula);
        return;
    }
    const QString bracketed = InsertPrecedenceBrackets(formula);
    if (bracketed != formula) {
        TDialogRequest ask;
        ask.routine = QStringLiteral("InsertBrackets");
        ask.kind = TDialogKind::Question;
        ask.text = QStringLiteral("Multiplication and division come before addition and subtraction. Use this "
                                  "formula?\n\n%1").arg(bracketed);
        ask.buttons = TDialogButtons::YesNo;
        ask.defaultAnswer = TDialogAnswer::Yes;
        if (ShowDialog(ask) == TDialogAnswer::Yes) {
            formula = bracketed;
            FormulaCombo->setEditText(formula);
        }
    }
    if (ColumnsGrid) {
        QString why;
        TGridColumnLayout& layout = ColumnLayoutOf(*ColumnsGrid);
        if (!TComputedFormula::Parse(formula, [&](const QString& h) { return layout.ColumnOfHeading(h); }, &why)) {
            TDialogRequest tell;
            tell.routine = QStringLiteral("FormulaNotUnderstood");
            tell.kind = TDialogKind::Warning;
            tell.text = QStringLiteral("\"%1\" cannot be computed: %2.").arg(formula, why);
            ShowDialog(tell);
            return;
        }
    }
    if (FormulaCombo->findText(formula) < 0)
        FormulaCombo->insertItem(0, formula);
    setResult(QDialog::Accepted);
    if (OnNewColumnCreateOrDelete)
        OnNewColumnCreateOrDelete(ColumnsGrid, false, -1, true, formula);
    accept();
}

void TFormColumns::AddSetClick()
{
    if (OnNewColumnCreateOrDelete)
        OnNewColumnCreateOrDelete(ColumnsGrid, true, -1, true, QString());
    accept();
}

void TFormColumns::DeleteSetClick()
{
    const int row = SetColumnList->currentRow();
    if (row < 0) {
        NoColumnSelected();
        return;
    }
    const int line = SetColumnList->item(row)->data(Qt::UserRole).toInt();
    if (!OKtoDelete(SetColumnList->item(row)->text()))
        return;
    if (OnNewColumnCreateOrDelete)
        OnNewColumnCreateOrDelete(ColumnsGrid, true, Headings[size_t(line)].OwnNumber(), false, QString());
    accept();
}

bool TFormColumns::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == HeadingList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Insert || key == Qt::Key_Delete) {
            HeadingListKey(key);
            return true;
        }
    }
    if (FormulaCombo && watched == FormulaCombo->lineEdit() && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        PostMessage(mini_global_own_HWnd, kMsgFormulaFocus, event->type() == QEvent::FocusIn ? 1 : 0, 0);
    return TRememberingDialog::eventFilter(watched, event);
}

} // namespace cv
