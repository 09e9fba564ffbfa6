#include "ui/framework/grid_dialogs/search_replace_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTextCursor>
#include <QVBoxLayout>

#include "gui/cv_grid.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "suite/text_settings.h"
#include "suite/window_messages.h"
#include "ui/framework/grid_dialogs/grid_columns.h"
#include "ui/framework/grid_dialogs/search_switches.h"

namespace cv {

namespace {

// The dialog's own help page.
constexpr int kHelpSearchReplace = 1460;
constexpr int kColumnRole = Qt::UserRole;

QString Quoted(const QString& word) { return u'"' + word + u'"'; }

// Shows a text in an edit with part of it selected.
void ShowWithSelection(QPlainTextEdit* edit, const QString& text, int start, int length)
{
    edit->setPlainText(text);
    QTextCursor cursor(edit->document());
    cursor.setPosition(std::clamp(start, 0, int(text.size())));
    cursor.setPosition(std::clamp(start + length, 0, int(text.size())), QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

} // namespace

TSearchReplaceDlg::TSearchReplaceDlg(QWidget* parent)
    : TRememberingDialog(QStringLiteral("SearchReplaceDlg"), parent), searchengine(std::make_unique<TSearchAndDoEngine>())
{
    setWindowTitle(QStringLiteral("Search & Replace"));
    MakeOwnTaskbarWindow(*this);

    Label2 = new QLabel(QStringLiteral("Search column"));
    Label1 = new QLabel(QStringLiteral("Search for"));
    ElComboBoxSearch = new QComboBox;
    ElComboBoxSearch->setEditable(true);
    ElComboBoxSearch->setInsertPolicy(QComboBox::NoInsert);
    ElListBox1 = new QListWidget;
    ButtonOK = new QPushButton(QStringLiteral("OK"));
    ButtonHelp = new QPushButton(QStringLiteral("Help"));
    ButtonCancel = new QPushButton(QStringLiteral("Cancel"));
    auto* top = new QGridLayout;
    top->addWidget(Label1, 0, 0);
    top->addWidget(ElComboBoxSearch, 0, 1);
    top->addWidget(Label2, 1, 0, Qt::AlignTop);
    top->addWidget(ElListBox1, 1, 1);
    auto* topButtons = new QVBoxLayout;
    topButtons->addWidget(ButtonOK);
    topButtons->addWidget(ButtonHelp);
    topButtons->addWidget(ButtonCancel);
    topButtons->addStretch();
    top->addLayout(topButtons, 0, 2, 2, 1);

    PanelBottom = new QWidget;
    Label3 = new QLabel(QStringLiteral("context"));
    ReplaceLabel = new QLabel(QStringLiteral("Replace with"));
    ButtonYes = new QPushButton(QStringLiteral("Yes"));
    ButtonSkip = new QPushButton(QStringLiteral("Skip"));
    ButtonAll = new QPushButton(QStringLiteral("yes All"));
    ButtonSkipAll = new QPushButton(QStringLiteral("skip All"));
    ElEditContextWhereFound = new QPlainTextEdit;
    ElEditContextWhereFound->setReadOnly(true);
    ElEditReplacement = new QPlainTextEdit;
    ElEditReplacement->setReadOnly(true);
    ElComboBoxReplace = new QComboBox;
    ElComboBoxReplace->setEditable(true);
    AdvOfficeCheckBoxConfirm = new QCheckBox(QStringLiteral("Confirm each"));
    auto* bottom = new QGridLayout(PanelBottom);
    bottom->addWidget(ReplaceLabel, 0, 0);
    bottom->addWidget(ElComboBoxReplace, 0, 1);
    bottom->addWidget(AdvOfficeCheckBoxConfirm, 0, 2);
    bottom->addWidget(Label3, 1, 0, Qt::AlignTop);
    bottom->addWidget(ElEditContextWhereFound, 1, 1, 1, 2);
    bottom->addWidget(ElEditReplacement, 2, 1, 1, 2);
    auto* decisions = new QHBoxLayout;
    for (QPushButton* b : {ButtonYes, ButtonSkip, ButtonAll, ButtonSkipAll})
        decisions->addWidget(b);
    bottom->addLayout(decisions, 3, 1, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(PanelBottom, 1);

    ButtonOK->setDefault(true);
    ShowDecisionButtons(false);
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] { ButtonHelpClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
    connect(ButtonYes, &QPushButton::clicked, this, [this] { ButtonYesClick(); });
    connect(ButtonSkip, &QPushButton::clicked, this, [this] { ButtonSkipClick(); });
    connect(ButtonAll, &QPushButton::clicked, this, [this] { ButtonAllClick(); });
    connect(ButtonSkipAll, &QPushButton::clicked, this, [this] { ButtonSkipAllClick(); });
    connect(ElListBox1, &QListWidget::currentRowChanged, this, [this] { ColumnListClick(); });

    const TTextSettings settings = GetTextSettings();
    fsearch_items.TakeTextSettings(settings);
    sworditems.TakeTextSettings(settings);
    searchengine->SetItems(&fsearch_items);
    searchengine->SetOnFound([this](const TSearchFound& f) { return SearchAndReplaceHit(f); });
}

TSearchReplaceDlg::~TSearchReplaceDlg()
{
    searchengine->Cancel();
    EndWait();
}

TCV_Grid* TSearchReplaceDlg::Grid() const { return m_grid.data(); }

void TSearchReplaceDlg::SetupCommon(bool replacing, TOnReplacementWanted onReplace, TOnSearchLanguageChange onLanguage,
                                    TOnSearchStarted onStarted, TOnSearchFound onFound)
{
    BusyInSearch = false;
    hits_this_search = 0;
    fOnReplacementWanted = std::move(onReplace);
    fOnAlignerLanguageChanging = std::move(onLanguage);
    fOnSearchStarted = std::move(onStarted);
    fOnSearchFound = std::move(onFound);
    replace_too = replacing;
    ElEditContextWhereFound->clear();
    ElEditReplacement->clear();
    // Docked at the lower right of the screen once it has its size: now
    // when it is shown, else when it shows.
    m_dockPending = true;
    if (isVisible()) {
        ShowModeControls();
        DockAtLowerRight();
    }
}

void TSearchReplaceDlg::DockAtLowerRight()
{
    m_dockPending = false;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (QLayout* l = layout())
        l->activate();
    resize(size().expandedTo(sizeHint()));
    const QRect area = screen->geometry();
    const int caption = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    move(area.right() + 1 - width() - 10, area.bottom() + 1 - height() - caption - 10);
    KeepInsideScreen(*this);
}

void TSearchReplaceDlg::Setup(bool AReplacing_too, TOnReplacementWanted AOnReplace,
                              TOnSearchLanguageChange AOnAlignerLanguageChanging,
                              TOnSearchColumnChange AOnGlobalSearchcolChanging, TOnSearchStarted AOnSearchStarted,
                              TOnSearchFound AOnSearchFound, TCV_Grid* agridHandler)
{
    SetupCommon(AReplacing_too, std::move(AOnReplace), std::move(AOnAlignerLanguageChanging),
                std::move(AOnSearchStarted), std::move(AOnSearchFound));
    fOnGlobalSearchcolChanging = std::move(AOnGlobalSearchcolChanging);
    m_grid = agridHandler;
    m_textGrid = nullptr;
    IsACVAdvStringGrid = agridHandler != nullptr;
    IsATextStringGrid = false;
    TheHeadings.clear();
    if (agridHandler)
        for (int c = 0; c < agridHandler->ColCount(); ++c)
            TheHeadings << agridHandler->Cells(c, 0);
    if (isVisible())
        FillColumnList();
}

void TSearchReplaceDlg::Setup(bool AReplacing_too, TOnReplacementWanted AOnReplace,
                              TOnSearchLanguageChange AOnAlignerLanguageChanging, TOnSearchStarted AOnSearchStarted,
                              TOnSearchFound AOnSearchFound, TTextStringGridVirtual* textGrid)
{
    SetupCommon(AReplacing_too, std::move(AOnReplace), std::move(AOnAlignerLanguageChanging),
                std::move(AOnSearchStarted), std::move(AOnSearchFound));
    fOnGlobalSearchcolChanging = nullptr;
    m_grid = nullptr;
    m_textGrid = textGrid;
    IsACVAdvStringGrid = false;
    IsATextStringGrid = textGrid != nullptr;
    TheHeadings.clear();
    if (isVisible())
        FillColumnList();
}

void TSearchReplaceDlg::SetReplacing(bool replacing)
{
    replace_too = replacing;
    if (isVisible())
        showEvent(nullptr);
}

void TSearchReplaceDlg::SetLanguageToSearch(int index)
{
    language_to_search = index;
    if (IsATextStringGrid && index >= 0 && index < ElListBox1->count()) {
        m_filling = true;
        ElListBox1->setCurrentRow(index);
        m_filling = false;
    }
}

void TSearchReplaceDlg::Clear()
{
    sworditems.Clear();
    fsearch_items.Clear();
    last_sw.reset();
    ElComboBoxSearch->clear();
    ElListBox1->clear();
}

int TSearchReplaceDlg::CurrentSearchColumn() const { return IsATextStringGrid ? language_to_search : GlobalSearchColumn(); }

void TSearchReplaceDlg::FillColumnList()
{
    m_filling = true;
    ElListBox1->clear();
    if (IsATextStringGrid && m_textGrid) {
        ElListBox1->addItems(m_textGrid->Languages());
        if (language_to_search >= 0 && language_to_search < ElListBox1->count()) {
            ElListBox1->setCurrentRow(language_to_search);
            if (fOnAlignerLanguageChanging)
                fOnAlignerLanguageChanging(this, language_to_search);
        }
    } else if (TCV_Grid* grid = Grid()) {
        // The visible columns' headings (not the row numbers).
        for (int c = 1; c < grid->ColCount(); ++c) {
            if (!grid->ColumnVisible(c))
                continue;
            auto* item = new QListWidgetItem(grid->Cells(c, 0), ElListBox1);
            item->setData(kColumnRole, c);
            if (c == GlobalSearchColumn())
                ElListBox1->setCurrentItem(item);
        }
    }
    m_filling = false;
}

void TSearchReplaceDlg::RecomputeNumerical()
{
    IsNumericalColumn = true;
    TCV_Grid* grid = Grid();
    if (!IsACVAdvStringGrid || !grid)
        return;
    IsNumericalColumn = false;
    TGridColumnLayout& layout = ColumnLayoutOf(*grid);
    for (const TGrid_head32& h : layout.Headers())
        if (layout.GridColumnOf(h) == GlobalSearchColumn())
            IsNumericalColumn = h.Numeric() != 0;
}

void TSearchReplaceDlg::showEvent(QShowEvent* event)
{
    ShowModeControls();
    if (event)
        TRememberingDialog::showEvent(event);
    if (m_dockPending)
        DockAtLowerRight();
    FillColumnList();
    RecomputeNumerical();
    AdvOfficeCheckBoxConfirm->setChecked(autosearch_confirm);
    setWindowTitle(replace_too ? CVSearchAndReplace : CVSearch);
}

void TSearchReplaceDlg::ShowModeControls()
{
    ButtonOK->show();
    // Replace mode: a one-line context over a one-line preview; search
    // mode: the context alone fills the bottom panel, wrapping its words.
    const int line = fontMetrics().lineSpacing() + 12;
    ElEditReplacement->setVisible(replace_too);
    ReplaceLabel->setVisible(replace_too);
    ElComboBoxReplace->setVisible(replace_too);
    AdvOfficeCheckBoxConfirm->setVisible(replace_too);
    ButtonYes->setVisible(replace_too);
    ButtonAll->setVisible(replace_too);
    ButtonSkipAll->setVisible(replace_too);
    if (replace_too) {
        ElEditContextWhereFound->setLineWrapMode(QPlainTextEdit::NoWrap);
        ElEditContextWhereFound->setFixedHeight(line);
        ElEditReplacement->setFixedHeight(line);
    } else {
        ElEditContextWhereFound->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        ElEditContextWhereFound->setMinimumHeight(line);
        ElEditContextWhereFound->setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void TSearchReplaceDlg::hideEvent(QHideEvent* event)
{
    searchengine->Cancel();
    EndWait();
    TRememberingDialog::hideEvent(event);
}

void TSearchReplaceDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape cancels a running search before it closes the dialog.
    if (event->key() == Qt::Key_Escape) {
        ButtonCancelClick();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter in the search-word box (or anywhere) is OK; while a search
        // waits at a hit it goes on to the next.
        ButtonOKClick();
        return;
    }
    TRememberingDialog::keyPressEvent(event);
}

void TSearchReplaceDlg::ColumnListClick()
{
    if (m_filling || ElListBox1->currentRow() < 0)
        return;
    if (IsATextStringGrid) {
        language_to_search = ElListBox1->currentRow();
        if (fOnAlignerLanguageChanging)
            fOnAlignerLanguageChanging(this, language_to_search);
        return;
    }
    const int column = ElListBox1->currentItem()->data(kColumnRole).toInt();
    if (column != GlobalSearchColumn()) {
        SetGlobalSearchColumn(column);
        RecomputeNumerical();
        if (fOnGlobalSearchcolChanging)
            fOnGlobalSearchcolChanging(this);
    }
}

void TSearchReplaceDlg::ButtonOKClick()
{
    ButtonPressed = false;
    // A replacement pass runs inside this handler: a second one would nest in it.
    if (BusyInSearch && replace_too)
        return;
    if (BusyInSearch) {
        // Searching only: OK goes on to the next hit.
        ButtonSkipClick();
        ButtonOK->setEnabled(true);
        return;
    }
    searchengine->ClearCancel();
    const QString typed = ElComboBoxSearch->currentText().trimmed();
    fsearch_items.Clear();
    QStringList refusals;
    fsearch_items.AddedSearchWords(typed, &refusals);
    if (fsearch_items.IsEmpty()) {
        PleaseMakeAChoiceForXAction(CVSearch);
        return;
    }
    if (sworditems.IsEmpty() || sworditems.Item(0).Typed() != typed) {
        if (const int old = sworditems.IndexOf(typed); old >= 0)
            sworditems.Delete(old);
        sworditems.InsertSearchWord(0, typed);
        ElComboBoxSearch->clear();
        ElComboBoxSearch->addItems(sworditems.TypedSearchWords());
        ElComboBoxSearch->setCurrentText(typed);
    }
    if (fOnSearchStarted)
        fOnSearchStarted(Grid(), fsearch_items);

    freplace_text = ElComboBoxReplace->currentText();
    autosearch_confirm = AdvOfficeCheckBoxConfirm->isChecked();
    if (IsATextStringGrid && ElListBox1->currentRow() >= 0)
        language_to_search = ElListBox1->currentRow();
    RunSearch();
}

void TSearchReplaceDlg::RunSearch()
{
    BusyInSearch = true;
    const QPointer<TSearchReplaceDlg> alive(this);
    for (int item = 0; item < fsearch_items.Count() && !searchengine->IsCancelled(); ++item) {
        last_sw = fsearch_items.Item(item);
        last_hit_row = -1;
        const QString quoted = Quoted(last_sw->Typed());
        for (;;) {
            BusyInSearch = true;
            Pass(item);
            if (!alive)
                return;
            BusyInSearch = false;
            if (searchengine->IsCancelled())
                break;
            if (hits_this_search == 0)
                SearchFailedToFindTryAsterisk(quoted);
            else if (hits_this_search == 1) {
                if (SearchFailedToFindAnyMoreX(quoted) == TDialogAnswer::Cancel)
                    searchengine->Cancel();
            } else {
                last_hit_row = -1;
            }
            // Round again only while the user sees each hit: replacing
            // without asking would otherwise go on for ever when the
            // replacement matches the search word too.
            const bool asking = !replace_too || autosearch_confirm;
            if (searchengine->IsCancelled() || hits_this_search == 0 || !asking || !alive)
                break;
        }
    }
    BusyInSearch = false;
    ShowDecisionButtons(false);
    if (TCV_Grid* grid = Grid())
        grid->Model()->CellsChanged();
    else if (m_textGrid)
        m_textGrid->Refresh();
}

int TSearchReplaceDlg::Rows() const
{
    if (IsATextStringGrid)
        return m_textGrid ? m_textGrid->RowCount() : 0;
    const TCV_Grid* grid = Grid();
    return grid ? grid->RowCount() : 0;
}

bool TSearchReplaceDlg::RowText(int row, QString& text) const
{
    if (IsATextStringGrid)
        return m_textGrid && m_textGrid->RowText(row, language_to_search, text);
    const TCV_Grid* grid = Grid();
    if (!grid)
        return false;
    text = grid->Cells(GlobalSearchColumn(), row);
    return true;
}

void TSearchReplaceDlg::Pass(int item)
{
    hits_this_search = 0;
    m_item = item;
    RecomputeNumerical();
    const QPointer<TSearchReplaceDlg> alive(this);
    // List grids count their data rows from 1 (row 0 holds the headings).
    const int first = IsATextStringGrid ? 0 : 1;
    for (int row = first; row < Rows(); ++row) {
        MyYieldProcess();
        if (!alive || searchengine->IsCancelled())
            return;
        QString text;
        if (!RowText(row, text))
            continue;
        fOriginalWide = text;
        m_rowText = text;
        m_rowShift = 0;
        m_row = row;
        searchengine->SetCurrentRow(row, fOriginalWide);
        StartSearchAndDo();
    }
}

void TSearchReplaceDlg::StartSearchAndDo()
{
    if (!searchengine->IsCancelled() && m_item < fsearch_items.Count())
        searchengine->SearchAndDo(m_item);
}

bool TSearchReplaceDlg::SearchAndReplaceHit(const TSearchFound& found)
{
    const QPointer<TSearchReplaceDlg> alive(this);
    ++hits_this_search;
    const int row = int(found.row);
    const int column = CurrentSearchColumn();
    if (TCV_Grid* grid = Grid()) {
        grid->SetTopRow(row > 1 ? row - 1 : row);
        grid->SetRow(row);
        grid->View()->setCurrentIndex(grid->Proxy()->index(row - 1, column));
    } else if (m_textGrid) {
        m_textGrid->ShowRow(row);
    }
    // The engine works on UTF-16 text: the hit's length is in its units.
    const int length = found.end - found.start;
    const int start = found.start + m_rowShift;
    const QString prefix = Format(CVRowNumber, {row}) + QStringLiteral(": ");
    ShowWithSelection(ElEditContextWhereFound, prefix + m_rowText, int(prefix.size()) + start, length);
    const QString replaced = QString(m_rowText).replace(start, length, freplace_text);
    if (replace_too)
        ShowWithSelection(ElEditReplacement, prefix + replaced, int(prefix.size()) + start, int(freplace_text.size()));
    if (fOnSearchFound)
        fOnSearchFound(Grid(), hits_this_search, length, row, column);

    if (row != last_hit_row || fOnReplacementWanted) {
        last_hit_row = row;
        const bool goOn = WaitForDecision();
        if (!alive)
            return false;
        // Only replace mode changes data; a search only shows the hits.
        if (goOn && replace_too && !searchengine->IsCancelled() && fOnReplacementWanted) {
            fOnReplacementWanted(Grid(), column, m_rowText, replaced, row);
            m_rowShift += int(freplace_text.size()) - length;
            m_rowText = replaced;
        }
    }
    return alive && !searchengine->IsCancelled();
}

bool TSearchReplaceDlg::WaitForDecision()
{
    yes = false;
    ButtonPressed = false;
    if (isVisible() && !searchengine->IsCancelled() && (!replace_too || autosearch_confirm)) {
        const QPointer<TSearchReplaceDlg> alive(this);
        ShowDecisionButtons(true);
        m_waiting = true;
        while (alive && !ButtonPressed && isVisible() && !searchengine->IsCancelled()) {
            QEventLoop loop;
            m_waitLoop = &loop;
            loop.exec();
            if (alive)
                m_waitLoop = nullptr;
        }
        if (!alive)
            return false;
        m_waiting = false;
        ShowDecisionButtons(false);
    }
    return isVisible() && (!autosearch_confirm || yes);
}

void TSearchReplaceDlg::EndWait()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

void TSearchReplaceDlg::ShowDecisionButtons(bool waiting)
{
    for (QPushButton* b : {ButtonYes, ButtonSkip, ButtonAll, ButtonSkipAll})
        b->setEnabled(waiting);
}

void TSearchReplaceDlg::ButtonYesClick()
{
    yes = true;
    ButtonPressed = true;
    EndWait();
}

void TSearchReplaceDlg::ButtonSkipClick()
{
    yes = false;
    ButtonPressed = true;
    EndWait();
}

void TSearchReplaceDlg::ButtonAllClick()
{
    autosearch_confirm = false;
    AdvOfficeCheckBoxConfirm->setChecked(false);
    ButtonYesClick();
}

void TSearchReplaceDlg::ButtonSkipAllClick()
{
    yes = false;
    ButtonCancelClick();
}

void TSearchReplaceDlg::ButtonCancelClick()
{
    BusyInSearch = false;
    searchengine->Cancel();
    ButtonPressed = true;
    hide();
    EndWait();
}

void TSearchReplaceDlg::Stop() { ButtonCancelClick(); }

void TSearchReplaceDlg::ButtonHelpClick() { PostHelpRequest(kHelpSearchReplace); }

} // namespace cv
