#include "ui/framework/grid_dialogs/search_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include "model/base_list.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "ui/framework/grid_dialogs/grid_columns.h"

namespace cv {

namespace {

constexpr int kHelpColourCategories = 5610;

} // namespace

// ---------------------------------------------------------------------------
// "Search Requirements"

TFormSearchRequirements::TFormSearchRequirements(QWidget* parent)
    : TRememberingDialog(QStringLiteral("FormSearchRequirements"), parent)
{
    setWindowTitle(QStringLiteral("Search Requirements"));
    ColumnLabel = new QLabel;
    ColumnCombo = new QComboBox;
    ConditionLabel = new QLabel;
    ConditionCombo = new QComboBox;
    XLabel = new QLabel(QStringLiteral("X"));
    XEdit = new QLineEdit;
    YLabel = new QLabel(QStringLiteral("Y"));
    YEdit = new QLineEdit;
    WordsLabel = new QLabel(QStringLiteral("words"));
    WordsSpin = new QSpinBox;
    WordsSpin->setRange(0, 99999);
    WordsSpin->setValue(1);
    OtherColumnBox = new QCheckBox(QStringLiteral("data from other column"));
    OtherColumnCombo = new QComboBox;
    NegativeBox = new QCheckBox(QStringLiteral("negative"));
    LinkGroup = new QGroupBox(QStringLiteral("Additional requirement"));
    LinkButtons = new QButtonGroup(this);
    auto* linkLayout = new QHBoxLayout(LinkGroup);
    const char* const links[] = {"and", "or", "but not"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(QString::fromLatin1(links[i]));
        LinkButtons->addButton(b, i);
        linkLayout->addWidget(b);
    }
    LinkButtons->button(kLinkAnd)->setChecked(true);
    OKButton = new QPushButton(QStringLiteral("OK"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"));

    auto* form = new QFormLayout;
    form->addRow(ColumnLabel, ColumnCombo);
    form->addRow(ConditionLabel, ConditionCombo);
    form->addRow(XLabel, XEdit);
    form->addRow(YLabel, YEdit);
    form->addRow(WordsLabel, WordsSpin);
    form->addRow(OtherColumnBox, OtherColumnCombo);
    form->addRow(QString(), NegativeBox);
    form->addRow(LinkGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* main = new QVBoxLayout(this);
    main->addLayout(form);
    main->addLayout(buttons);

    connect(ColumnCombo, &QComboBox::currentIndexChanged, this, [this] { RebuildConditionList(); });
    connect(WordsSpin, &QSpinBox::valueChanged, this, [this] { RebuildConditionList(); });
    connect(OtherColumnBox, &QCheckBox::toggled, this, [this] { RebuildConditionList(); });
    connect(OtherColumnCombo, &QComboBox::currentIndexChanged, this, [this] { RebuildConditionList(); });
    connect(ConditionCombo, &QComboBox::currentIndexChanged, this, [this] { ShowValueControls(); });
    connect(OKButton, &QPushButton::clicked, this, [this] { OKClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { reject(); });
    SetRequirementNumber(TConditionOrder::Main);
}

TSearchRequirement& TFormSearchRequirements::Edited()
{
    return current_Order == TConditionOrder::Main ? fDoubleCategoryRec.Main : fDoubleCategoryRec.Additional;
}

void TFormSearchRequirements::SetRequirementNumber(TConditionOrder order)
{
    current_Order = order;
    const int number = order == TConditionOrder::Main ? 1 : 2;
    ColumnLabel->setText(Format(CVDataColumnNum, {number}));
    ConditionLabel->setText(Format(CVConditionNum, {number}));
    LinkGroup->setVisible(order == TConditionOrder::Additional);
}

void TFormSearchRequirements::SetLinkType(uint8_t link)
{
    if (QAbstractButton* b = LinkButtons->button(link <= kLinkButNot ? link : uint8_t(kLinkAnd)))
        b->setChecked(true);
    fDoubleCategoryRec.Link = link;
}

void TFormSearchRequirements::SetTheHeaders(TCV_Base_Grid* grid)
{
    m_filling = true;
    const int column = ColumnCombo->currentData().isValid() ? ColumnCombo->currentData().toInt() : -1;
    const int other = OtherColumnCombo->currentData().isValid() ? OtherColumnCombo->currentData().toInt() : -1;
    ColumnCombo->clear();
    OtherColumnCombo->clear();
    m_numeric.clear();
    if (grid) {
        QAbstractItemModel* model = grid->View()->model();
        for (int c : grid->ShownColumns()) {
            const QString heading = grid->Cells(c, 0);
            ColumnCombo->addItem(heading, c);
            OtherColumnCombo->addItem(heading, c);
            // A column is numeric when its first cell holds a number.
            m_numeric.push_back(model->rowCount() > 0 &&
                                model->index(0, c).data(kRawValueRole).typeId() == QMetaType::Double);
        }
    }
    ColumnCombo->setCurrentIndex(std::max(0, ColumnCombo->findData(column)));
    OtherColumnCombo->setCurrentIndex(std::max(0, OtherColumnCombo->findData(other)));
    m_filling = false;
    RebuildConditionList();
}

QString TFormSearchRequirements::HeadingOfColumn(int gridColumn) const
{
    const int i = ColumnCombo->findData(gridColumn);
    return i >= 0 ? ColumnCombo->itemText(i) : QString();
}

void TFormSearchRequirements::RebuildConditionList()
{
    if (m_filling)
        return;
    m_filling = true;
    const int chosen = ConditionCombo->currentIndex();
    const int item = ColumnCombo->currentIndex();
    const bool numeric = item >= 0 && item < int(m_numeric.size()) && m_numeric[size_t(item)];
    const QString xLabel = OtherColumnBox->isChecked() ? OtherColumnCombo->currentText() : XLabel->text();
    ConditionCombo->clear();
    // Every condition keeps its place (its number); those the column's kind
    // has no use for are not offered.
    auto* view = qobject_cast<QListView*>(ConditionCombo->view());
    auto* items = qobject_cast<QStandardItemModel*>(ConditionCombo->model());
    for (int n = 0; n < kConditionCount; ++n) {
        QString text = ConditionDropdownOption(n, numeric);
        text.replace(QStringLiteral("99999"), QString::number(WordsSpin->value()));
        text.replace(u'X', xLabel).replace(u'Y', YLabel->text());
        ConditionCombo->addItem(text.trimmed());
        if (!ConditionSuitsColumn(n, numeric)) {
            if (items)
                items->item(n)->setEnabled(false);
            if (view)
                view->setRowHidden(n, true);
        }
    }
    int condition = std::clamp(chosen, 0, ConditionCombo->count() - 1);
    if (!ConditionSuitsColumn(condition, numeric))
        condition = 0;
    ConditionCombo->setCurrentIndex(condition);
    m_filling = false;
    ShowValueControls();
}

void TFormSearchRequirements::ShowValueControls()
{
    const int condition = ConditionCombo->currentIndex();
    const bool x = ConditionUsesX(condition);
    XLabel->setVisible(x && !OtherColumnBox->isChecked());
    XEdit->setVisible(x && !OtherColumnBox->isChecked());
    OtherColumnBox->setVisible(x);
    OtherColumnCombo->setVisible(x && OtherColumnBox->isChecked());
    YLabel->setVisible(ConditionUsesY(condition));
    YEdit->setVisible(ConditionUsesY(condition));
    WordsLabel->setVisible(ConditionUsesWords(condition));
    WordsSpin->setVisible(ConditionUsesWords(condition));
}

void TFormSearchRequirements::EditRequirement(const TDoubleSearchCategoryRec& search, TConditionOrder order)
{
    fDoubleCategoryRec = search;
    m_given = search;
    SetRequirementNumber(order);
    const TSearchRequirement& r = Edited();
    m_filling = true;
    ColumnCombo->setCurrentIndex(std::max(0, ColumnCombo->findData(r.DataColumn)));
    OtherColumnCombo->setCurrentIndex(std::max(0, OtherColumnCombo->findData(r.OtherColumn)));
    OtherColumnBox->setChecked(r.OtherColumnUsed);
    XEdit->setText(r.XText);
    YEdit->setText(r.YText);
    WordsSpin->setValue(r.NumberOfWords);
    NegativeBox->setChecked(r.Negative);
    m_filling = false;
    RebuildConditionList();
    ConditionCombo->setCurrentIndex(std::clamp(int(r.Condition), 0, ConditionCombo->count() - 1));
    SetLinkType(order == TConditionOrder::Additional && search.Link != kLinkNone ? search.Link : uint8_t(kLinkAnd));
    m_textVersion = order == TConditionOrder::Main ? search.MainText : search.AdditionalText;
}

void TFormSearchRequirements::RecomputeTheSettings()
{
    TSearchRequirement& r = Edited();
    r.DataColumn = ColumnCombo->currentData().toInt();
    r.Condition = uint8_t(std::max(0, ConditionCombo->currentIndex()));
    r.XText = XEdit->text();
    r.YText = YEdit->text();
    SetValueNumbers(r);
    r.NumberOfWords = WordsSpin->value();
    r.OtherColumnUsed = OtherColumnBox->isChecked() && ConditionUsesX(r.Condition);
    r.OtherColumn = OtherColumnCombo->currentData().toInt();
    r.Negative = NegativeBox->isChecked();
    if (current_Order == TConditionOrder::Additional) {
        fDoubleCategoryRec.Link = uint8_t(std::max(0, LinkButtons->checkedId()));
        fDoubleCategoryRec.AdditionalInUse = true;
    }
    const int columnItem = ColumnCombo->findData(r.DataColumn);
    const bool numeric = columnItem >= 0 && columnItem < int(m_numeric.size()) && m_numeric[size_t(columnItem)];
    m_textVersion = RequirementText(r, HeadingOfColumn(r.DataColumn), HeadingOfColumn(r.OtherColumn), numeric);
    (current_Order == TConditionOrder::Main ? fDoubleCategoryRec.MainText : fDoubleCategoryRec.AdditionalText) =
        m_textVersion;
    ShowValueControls();
}

void TFormSearchRequirements::ClearTheDecks()
{
    XEdit->clear();
    YEdit->clear();
    fDoubleCategoryRec = {};
    m_given = {};
}

void TFormSearchRequirements::OKClick()
{
    RecomputeTheSettings();
    // A requirement that did not change is not reported again.
    if (!IdenticalSearchRequirements(fDoubleCategoryRec, m_given) && fOnReportRequirement)
        fOnReportRequirement(fDoubleCategoryRec, current_Order, m_textVersion);
    m_given = fDoubleCategoryRec;
    accept();
}

// ---------------------------------------------------------------------------
// "Colour Categories"

const std::vector<QColor>& TFormTestWhether::CategoryColours()
{
    static const std::vector<QColor> colours{
        QColor(255, 255, 128), QColor(128, 255, 128), QColor(128, 255, 255), QColor(255, 192, 128),
        QColor(255, 160, 192), QColor(192, 160, 255), QColor(160, 192, 255), QColor(224, 224, 160),
        QColor(255, 128, 128), QColor(192, 255, 192), QColor(208, 208, 208), QColor(255, 224, 96)};
    return colours;
}

TFormTestWhether::TFormTestWhether(QWidget* parent) : TRememberingDialog(QStringLiteral("FormTestWhether"), parent)
{
    setWindowTitle(QStringLiteral("Colour Categories"));
    MakeOwnTaskbarWindow(*this);
    FormSearchRequirements = std::make_unique<TFormSearchRequirements>(this);
    FormSearchRequirements->fOnReportRequirement = [this](const TDoubleSearchCategoryRec& search,
                                                          TConditionOrder order, const QString& text) {
        if (order == TConditionOrder::Main) {
            CurrentSearch.Main = search.Main;
            CurrentSearch.MainText = text;
        } else {
            CurrentSearch.Additional = search.Additional;
            CurrentSearch.AdditionalText = text;
            CurrentSearch.Link = search.Link;
            CurrentSearch.AdditionalInUse = true;
        }
        TestWhetherFrameChangeMade();
    };

    DescriptionLabel = new QLabel;
    DescriptionLabel->setWordWrap(true);
    MainButton = new QPushButton(QStringLiteral("Main Requirement"));
    AddButton = new QPushButton(QStringLiteral("Add"));
    AddSearchButton = new QPushButton(QStringLiteral("Add a search"));
    SearchList = new QListWidget;
    ColourList = new QListWidget;
    for (const QColor& c : CategoryColours()) {
        QPixmap swatch(24, 16);
        swatch.fill(c);
        auto* item = new QListWidgetItem(QIcon(swatch), c.name());
        item->setData(Qt::UserRole, c);
        ColourList->addItem(item);
    }
    ColourList->setCurrentRow(0);
    FindButton = new QPushButton(QStringLiteral("Find"));
    FindAllButton = new QPushButton(QStringLiteral("Find all"));
    UpBox = new QCheckBox(QStringLiteral("up"));
    DeleteButton = new QPushButton(CVDelete.toString());
    ClearColoursButton = new QPushButton(QStringLiteral("Clear colours"));
    ShowSortedButton = new QPushButton(QStringLiteral("Show sorted"));
    ResultLabel = new QLabel;
    CloseButton = new QPushButton(QStringLiteral("Close"));
    HelpButton = new QPushButton(QStringLiteral("&Help"));

    auto* requirements = new QHBoxLayout;
    requirements->addWidget(MainButton);
    requirements->addWidget(AddButton);
    requirements->addStretch();
    requirements->addWidget(AddSearchButton);
    auto* lists = new QHBoxLayout;
    lists->addWidget(SearchList, 3);
    lists->addWidget(ColourList, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(DeleteButton);
    listButtons->addWidget(ClearColoursButton);
    listButtons->addWidget(ShowSortedButton);
    listButtons->addStretch();
    auto* find = new QHBoxLayout;
    find->addWidget(FindButton);
    find->addWidget(FindAllButton);
    find->addWidget(UpBox);
    find->addWidget(ResultLabel, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(HelpButton);
    buttons->addWidget(CloseButton);
    auto* main = new QVBoxLayout(this);
    main->addLayout(requirements);
    main->addWidget(DescriptionLabel);
    main->addLayout(lists);
    main->addLayout(listButtons);
    main->addLayout(find);
    main->addLayout(buttons);

    connect(MainButton, &QPushButton::clicked, this, [this] { RequirementClick(TConditionOrder::Main); });
    connect(AddButton, &QPushButton::clicked, this, [this] { RequirementClick(TConditionOrder::Additional); });
    connect(AddSearchButton, &QPushButton::clicked, this, [this] { AddSearchClick(); });
    connect(FindButton, &QPushButton::clicked, this, [this] { ProcessTheConditions(false); });
    connect(FindAllButton, &QPushButton::clicked, this, [this] { ProcessTheConditions(true); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteClick(); });
    connect(ClearColoursButton, &QPushButton::clicked, this, [this] { ClearColoursClick(); });
    connect(ShowSortedButton, &QPushButton::clicked, this, [this] { ShowSortedClick(); });
    connect(CloseButton, &QPushButton::clicked, this, [this] { hide(); });
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpClick(); });
    TestWhetherFrameChangeMade();
}

TFormTestWhether::~TFormTestWhether() = default;

void TFormTestWhether::ApplyMode()
{
    const bool categories = ActionTag == TConditionsMode::ColourCategories;
    SearchList->setVisible(categories);
    ColourList->setVisible(categories);
    AddSearchButton->setVisible(categories);
    DeleteButton->setVisible(categories);
    ClearColoursButton->setVisible(categories);
    switch (ActionTag) {
    case TConditionsMode::DeleteIf: setWindowTitle(QStringLiteral("Delete If ...")); break;
    case TConditionsMode::Search: setWindowTitle(QStringLiteral("Find")); break;
    default: setWindowTitle(QStringLiteral("Colour Categories")); break;
    }
    full_height = std::max(full_height, sizeHint().height());
}

void TFormTestWhether::SetUp(TCV_Grid* grid, TConditionsMode actionTag)
{
    ActionTag = actionTag;
    Grid = grid;
    CurrentList = grid ? grid->List() : nullptr;
    processing_data = CurrentList != nullptr;
    ApplyMode();
    SetTheHeaders();
    ResultLabel->clear();
}

void TFormTestWhether::SetTheHeaders() { FormSearchRequirements->SetTheHeaders(Grid); }

void TFormTestWhether::Stop()
{
    processing_data = false;
    CurrentList = nullptr;
    Grid = nullptr;
}

void TFormTestWhether::ClearTheDecks()
{
    CurrentSearch = {};
    FormSearchRequirements->ClearTheDecks();
    ResultLabel->clear();
    TestWhetherFrameChangeMade();
}

void TFormTestWhether::TestWhetherFrameChangeMade()
{
    const bool ready = !CurrentSearch.MainText.isEmpty();
    DescriptionLabel->setText(ready ? DescribeSearch(CurrentSearch, current_order == TConditionOrder::Additional)
                                    : QString());
    for (QPushButton* b : {FindButton, FindAllButton, AddSearchButton, AddButton, ShowSortedButton})
        b->setEnabled(ready);
}

void TFormTestWhether::RequirementClick(TConditionOrder order)
{
    current_order = order;
    FormSearchRequirements->SetTheHeaders(Grid);
    FormSearchRequirements->EditRequirement(CurrentSearch, order);
    if (RunModalDialog(*FormSearchRequirements) == QDialog::Accepted)
        TestWhetherFrameChangeMade();
}

void TFormTestWhether::AddSearchClick()
{
    if (CurrentSearch.MainText.isEmpty())
        return;
    TDoubleSearchCategoryRec search = CurrentSearch;
    search.HitCount = -1;
    if (ActionTag == TConditionsMode::ColourCategories) {
        const QListWidgetItem* colour = ColourList->currentItem();
        search.Colour = (colour ? colour->data(Qt::UserRole).value<QColor>() : CategoryColours().front()).rgba();
    }
    const QString description = DescribeSearch(search, false);
    int found = -1;
    for (int i = 0; i < SearchCount(); ++i)
        if (DescribeSearch(SearchAt(i), false) == description)
            found = i;
    if (found < 0) {
        m_searches.push_back(std::make_unique<TRequirementsArrayHolder>(TRequirementsArrayHolder{search}));
        found = SearchCount() - 1;
    }
    RefreshSearchList();
    SearchList->item(found)->setCheckState(Qt::Checked);
    SearchList->setCurrentRow(found);
}

void TFormTestWhether::RefreshSearchList()
{
    std::vector<bool> checked;
    for (int i = 0; i < SearchList->count(); ++i)
        checked.push_back(SearchList->item(i)->checkState() == Qt::Checked);
    const int rows = std::max(1, RowCount());
    SearchList->clear();
    for (int i = 0; i < SearchCount(); ++i) {
        const TDoubleSearchCategoryRec& s = SearchAt(i);
        const int hits = std::max(0, s.HitCount);
        auto* item = new QListWidgetItem(DescribeSearch(s, false) + u'\n' +
                                         Format(CVNmanyEntriesFoundEqualsXPercent, {hits, 100.0 * hits / rows}));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < int(checked.size()) && checked[size_t(i)] ? Qt::Checked : Qt::Unchecked);
        if ((s.Colour >> 24) != 0)
            item->setBackground(QColor::fromRgba(s.Colour));
        SearchList->addItem(item);
    }
}

int TFormTestWhether::RowCount() const { return Grid ? Grid->RowCount() - 1 : 0; }

TConditionCells TFormTestWhether::GridCells() const
{
    // Rows as the grid shows them, with the grid's own columns (computed ones too).
    QPointer<TCV_Grid> grid = Grid;
    return [grid](int row, int column) {
        TConditionCell cell;
        if (!grid)
            return cell;
        const QModelIndex index = grid->View()->model()->index(row, column);
        cell.text = index.data(Qt::DisplayRole).toString();
        const QVariant raw = index.data(kRawValueRole);
        cell.isNumber = raw.typeId() == QMetaType::Double;
        cell.value = cell.isNumber ? raw.toDouble() : 0;
        return cell;
    };
}

int32_t TFormTestWhether::ColourSetNumber() const
{
    if (!CurrentList)
        return 0;
    if (const int32_t active = CurrentList->SetNumberOfColumn(CurrentList->ActiveSetColumn()); active > 0)
        return active;
    for (int c = 0; c < CurrentList->ColumnCount(); ++c)
        if (const int32_t set = CurrentList->SetNumberOfColumn(c); set > 0)
            return set;
    return 0;
}

void TFormTestWhether::ProcessTheConditions(bool findAll)
{
    ResultLabel->clear();
    if (!CurrentList || !Grid)
        return;
    const bool categories = ActionTag == TConditionsMode::ColourCategories;
    if (categories && !findAll && SearchCount() == 0)
        AddSearchClick();

    // The searches: in colour-category mode every checked one, in list order.
    std::vector<TDoubleSearchCategoryRec> searches;
    std::vector<int> searchOfCondition; // the list item of each search run
    if (categories) {
        for (int i = 0; i < SearchCount(); ++i) {
            if (SearchList->item(i)->checkState() != Qt::Checked)
                continue;
            searches.push_back(SearchAt(i));
            searchOfCondition.push_back(i);
        }
    } else if (!CurrentSearch.MainText.isEmpty()) {
        searches.push_back(CurrentSearch);
        searchOfCondition.push_back(-1);
    }
    if (searches.empty())
        return;
    for (TDoubleSearchCategoryRec& s : searches)
        PrepareForRun(s);

    // Where to start: after the current row going down, before it going up; "Find all" from the top.
    const int current = Grid->Row() - 1; // 0-based; -1 when no row is current
    const bool up = UpBox->isChecked();
    int start = 0;
    if (findAll)
        start = 0;
    else if (up)
        start = std::max(0, current - 1);
    else
        start = current >= 0 ? current + 1 : 0;
    if (!findAll && !up && start >= RowCount())
        return; // nothing below the last row

    global_panic_state = kPanicRun;
    TConditionResults results;
    const bool found = CheckAllForCondition(searches, RowCount(), GridCells(), start, !findAll, up, results);
    if (findAll && categories)
        for (size_t k = 0; k < searches.size(); ++k)
            m_searches[size_t(searchOfCondition[k])]->search.HitCount = results.hits[k];
    if (categories)
        RefreshSearchList();
    if (!found)
        return;
    if (!findAll) {
        const int row = results.rows.front() + 1;
        ResultLabel->setText(Format(CVRowNumber, {row}));
        Grid->SetRow(row);
        Grid->View()->scrollTo(Grid->View()->currentIndex());
        return;
    }
    ResultLabel->setText(Format(CVNHits, {int(results.rows.size())}));
    ApplyToRows(results, searchOfCondition);
}

void TFormTestWhether::ApplyToRows(const TConditionResults& results, const std::vector<int>& searchOfCondition)
{
    switch (ActionTag) {
    case TConditionsMode::ColourCategories: {
        const int32_t set = ColourSetNumber();
        if (set <= 0) {
            TDialogRequest tell;
            tell.routine = QStringLiteral("NoSetColumnForColours");
            tell.kind = TDialogKind::Information;
            tell.text = QStringLiteral("This list has no set column to hold colour categories.");
            ShowDialog(tell);
            return;
        }
        CurrentList->BeginUndoStep(QStringLiteral("Colour categories"));
        for (size_t i = 0; i < results.rows.size(); ++i) {
            const int entry = Grid->EntryOfGridRow(results.rows[i] + 1);
            const int item = searchOfCondition[size_t(results.conditionOfRow[i])];
            if (entry >= 0)
                CurrentList->SetACategoryAndColour(entry, set, Format(CVTestN, {item + 1}), SearchAt(item).Colour, true);
        }
        CurrentList->EndUndoStep();
        break;
    }
    case TConditionsMode::DeleteIf: {
        std::vector<int> entries;
        for (int row : results.rows)
            if (const int entry = Grid->EntryOfGridRow(row + 1); entry >= 0)
                entries.push_back(entry);
        CurrentList->DeleteARange(entries, true, true);
        break;
    }
    default: {
        QItemSelection selection;
        QAbstractItemModel* model = Grid->View()->model();
        for (int row : results.rows)
            selection.select(model->index(row, 0), model->index(row, model->columnCount() - 1));
        Grid->View()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        Grid->View()->selectionModel()->setCurrentIndex(model->index(results.rows.front(), 0),
                                                        QItemSelectionModel::NoUpdate);
        break;
    }
    }
    Grid->Refresh();
}

void TFormTestWhether::DeleteClick()
{
    const int i = SearchList->currentRow();
    if (i < 0 || i >= SearchCount())
        return;
    if (!OKtoDelete(Format(CVTestN, {i + 1})))
        return;
    m_searches.erase(m_searches.begin() + i);
    // The check marks of the items after it move up with them.
    std::vector<Qt::CheckState> states;
    for (int j = 0; j < SearchList->count(); ++j)
        if (j != i)
            states.push_back(SearchList->item(j)->checkState());
    SearchList->clear();
    RefreshSearchList();
    for (int j = 0; j < SearchList->count() && j < int(states.size()); ++j)
        SearchList->item(j)->setCheckState(states[size_t(j)]);
}

void TFormTestWhether::ClearColoursClick()
{
    if (!CurrentList || !OKToDoX(CVClearColours, kHelpColourCategories))
        return;
    if (const int32_t set = ColourSetNumber(); set > 0)
        ClearColourCategoryColours(*CurrentList, set);
    if (Grid)
        Grid->Refresh();
}

void TFormTestWhether::ShowSortedClick()
{
    if (!CurrentList || !Grid || CurrentSearch.MainText.isEmpty())
        return;
    TDoubleSearchCategoryRec search = CurrentSearch;
    PrepareForRun(search);
    // Which entries meet the search, read from the grid's rows in the list's own order.
    TGridColumnLayout& layout = ColumnLayoutOf(*Grid);
    Grid->ClearViewSort();
    std::vector<bool> matches(size_t(CurrentList->Count()), false);
    const TConditionCells cells = GridCells();
    for (int row = 0; row < RowCount(); ++row)
        if (const int entry = Grid->EntryOfGridRow(row + 1); entry >= 0 && entry < int(matches.size()))
            matches[size_t(entry)] = SearchHolds(search, cells, row);
    layout.ShowMatchesFirst(std::move(matches));
}

void TFormTestWhether::HelpClick() { PostHelpRequest(kHelpColourCategories); }

} // namespace cv
