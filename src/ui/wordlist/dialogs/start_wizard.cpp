#include "ui/wordlist/dialogs/start_wizard.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "model/chosen_files.h"
#include "runtime/controller_link.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "ui/framework/tool_data_module.h"

namespace cv {
namespace {

constexpr int kHelpWizard = 1100;
constexpr int kHelpDetailedConsistency = 2760;
// A request to the controller: its detailed-consistency settings.
constexpr uint16_t kCodeDetailedConsistencySettings = 66;

QPushButton* Button(const QString& caption, QWidget* parent) { return new QPushButton(caption, parent); }

QSpinBox* ColumnSpin(QWidget* parent, const char* name, int value)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(1, 100);
    spin->setValue(value);
    return spin;
}

} // namespace

TFormStartWizardW::TFormStartWizardW(QWidget* mainForm)
    : TCVDialog(mainForm, QStringLiteral("FormStartWizardW"), kHelpWizard, true), m_mainForm(mainForm)
{
    setWindowTitle(QStringLiteral("Getting Started..."));
    ButtonHelp = Button(QStringLiteral("Help"), this);
    PageControl1 = new QTabWidget(this);

    // --- main page ---
    TabSheetMain = new QWidget(PageControl1);
    GroupBoxTexts = new QGroupBox(QStringLiteral("Texts"), TabSheetMain);
    LabelTexts = new QLabel(GroupBoxTexts);
    LabelTexts->setWordWrap(true);
    ChooseTextsButton = Button(CVChooseTextsNow.toString(), GroupBoxTexts);
    auto* textsLayout = new QVBoxLayout(GroupBoxTexts);
    textsLayout->addWidget(LabelTexts);
    textsLayout->addWidget(ChooseTextsButton, 0, Qt::AlignLeft);

    GroupBoxWordlist = new QGroupBox(QStringLiteral("Word List"), TabSheetMain);
    LabelWL1 = new QLabel(GroupBoxWordlist);
    LabelWL1->setWordWrap(true);
    LabelWLBatch = new QLabel(QStringLiteral("... or a batch of word lists, eg. one per text file"), GroupBoxWordlist);
    Make1Button = Button(QStringLiteral("Make a word list now"), GroupBoxWordlist);
    MakeBatchButton = Button(QStringLiteral("Make a batch now"), GroupBoxWordlist);
    auto* wordlistLayout = new QGridLayout(GroupBoxWordlist);
    wordlistLayout->addWidget(LabelWL1, 0, 0);
    wordlistLayout->addWidget(Make1Button, 0, 1);
    wordlistLayout->addWidget(LabelWLBatch, 1, 0);
    wordlistLayout->addWidget(MakeBatchButton, 1, 1);

    GroupBoxIndex = new QGroupBox(QStringLiteral("Index"), TabSheetMain);
    LabelIndex = new QLabel(QStringLiteral("Or make/add to an index..."), GroupBoxIndex);
    ElFileNameEditIndex = new TFileNameEdit(TFileNameEdit::TMode::SaveFile, GroupBoxIndex);
    ElFileNameEditIndex->setObjectName(QStringLiteral("ElFileNameEditIndex"));
    ElFileNameEditIndex->Filter = LimitedDefaultFilter(kListIndexWordList);
    ElFileNameEditIndex->DefaultExt = WithoutDotDefaultExt(kListIndexWordList);
    // Adding to an index is asked for by its button only.
    ElFileNameEditIndex->EnterStaysInField = true;
    ButtonIndex = Button(QStringLiteral("Make/Add to index"), GroupBoxIndex);
    auto* indexLayout = new QGridLayout(GroupBoxIndex);
    indexLayout->addWidget(LabelIndex, 0, 0, 1, 2);
    indexLayout->addWidget(ElFileNameEditIndex, 1, 0);
    indexLayout->addWidget(ButtonIndex, 1, 1);

    auto* mainLayout = new QVBoxLayout(TabSheetMain);
    mainLayout->addWidget(GroupBoxTexts);
    mainLayout->addWidget(GroupBoxWordlist);
    mainLayout->addWidget(GroupBoxIndex);
    mainLayout->addStretch(1);
    PageControl1->addTab(TabSheetMain, QStringLiteral("Main"));

    // --- detailed consistency ---
    TabSheetDetailedConsistency = new QWidget(PageControl1);
    SetHelpContext(TabSheetDetailedConsistency, kHelpDetailedConsistency);
    LabelConsistency = new QLabel(QStringLiteral("To see detailed consistency of a set of word-lists, you need to choose at "
                                                 "least 2 word-lists first."),
                                  TabSheetDetailedConsistency);
    LabelConsistency->setWordWrap(true);
    ElFileNameEditDetailedC = new TFileNameEdit(TFileNameEdit::TMode::ManyFiles, TabSheetDetailedConsistency);
    ElFileNameEditDetailedC->setObjectName(QStringLiteral("ElFileNameEditDetailedC"));
    ElFileNameEditDetailedC->Title = QStringLiteral("At least 2 wordlists needed");
    ElFileNameEditDetailedC->Filter = LimitedDefaultFilter(kListWordList) + QStringLiteral(";;Zip files (*.zip)");
    StyledListboxDC = new QListWidget(TabSheetDetailedConsistency);
    StyledListboxDC->setObjectName(QStringLiteral("StyledListboxDC"));
    AdvGlowButtonUp = Button(QStringLiteral("˄"), TabSheetDetailedConsistency);
    AdvGlowButtonDown = Button(QStringLiteral("˅"), TabSheetDetailedConsistency);
    ButtonComputeConsistency = Button(QStringLiteral("compute Detailed Consistency now"), TabSheetDetailedConsistency);
    AdvGlowButtonDetConsSettings = Button(QStringLiteral("Settings"), TabSheetDetailedConsistency);
    auto* arrows = new QVBoxLayout;
    arrows->addWidget(AdvGlowButtonUp);
    arrows->addWidget(AdvGlowButtonDown);
    arrows->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(StyledListboxDC, 1);
    listRow->addLayout(arrows);
    auto* dcButtons = new QHBoxLayout;
    dcButtons->addWidget(ButtonComputeConsistency);
    dcButtons->addWidget(AdvGlowButtonDetConsSettings);
    dcButtons->addStretch(1);
    auto* dcLayout = new QVBoxLayout(TabSheetDetailedConsistency);
    dcLayout->addWidget(LabelConsistency);
    dcLayout->addWidget(ElFileNameEditDetailedC);
    dcLayout->addLayout(listRow, 1);
    dcLayout->addLayout(dcButtons);
    PageControl1->addTab(TabSheetDetailedConsistency, QStringLiteral("Detailed Consistency"));

    // --- advanced ---
    TabSheetAdvanced = new QWidget(PageControl1);
    auto* fromText = new QGroupBox(QStringLiteral("word list from text file"), TabSheetAdvanced);
    Label1 = new QLabel(QStringLiteral("To create your own word list based on a text file, first choose one or more plain "
                                       "text files."),
                        fromText);
    Label1->setWordWrap(true);
    ElFileNameEditWLFromText = new TFileNameEdit(TFileNameEdit::TMode::ManyFiles, fromText);
    ElFileNameEditWLFromText->setObjectName(QStringLiteral("ElFileNameEditWLFromText"));
    ElFileNameEditWLFromText->Title = QStringLiteral("One or more plain text files");
    ElFileNameEditWLFromText->Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    LabelLanguage = new QLabel(fromText);
    ElPopupButtonChangeLanguage = Button(QStringLiteral("change language"), fromText);
    ElCheckBoxImportCaseSensitive = new QCheckBox(QStringLiteral("case sensitive"), fromText);
    AdvSpinEditWordColumn = ColumnSpin(fromText, "AdvSpinEditWordColumn", 1);
    AdvSpinEditFreqColumn = ColumnSpin(fromText, "AdvSpinEditFreqColumn", 2);
    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(LabelLanguage, 1);
    languageRow->addWidget(ElPopupButtonChangeLanguage);
    auto* columns = new QFormLayout;
    columns->addRow(QStringLiteral("word column"), AdvSpinEditWordColumn);
    columns->addRow(QStringLiteral("frequency column"), AdvSpinEditFreqColumn);
    auto* fromTextLayout = new QVBoxLayout(fromText);
    fromTextLayout->addWidget(Label1);
    fromTextLayout->addWidget(ElFileNameEditWLFromText);
    fromTextLayout->addLayout(languageRow);
    fromTextLayout->addWidget(ElCheckBoxImportCaseSensitive);
    fromTextLayout->addLayout(columns);

    auto* results = new QGroupBox(QStringLiteral("Results"), TabSheetAdvanced);
    ElFolderNameEditSaveTextFileWordlists = new TFileNameEdit(TFileNameEdit::TMode::Folder, results);
    ElFolderNameEditSaveTextFileWordlists->setObjectName(QStringLiteral("ElFolderNameEditSaveTextFileWordlists"));
    ElMemoNotesTextFileWordlists = new QPlainTextEdit(results);
    ElMemoNotesTextFileWordlists->setObjectName(QStringLiteral("ElMemoNotesTextFileWordlists"));
    ButtonWLFromText = Button(QStringLiteral("create word list(s) now"), results);
    auto* resultsLayout = new QFormLayout(results);
    resultsLayout->addRow(QStringLiteral("folder to save to"), ElFolderNameEditSaveTextFileWordlists);
    resultsLayout->addRow(QStringLiteral("notes to add"), ElMemoNotesTextFileWordlists);
    resultsLayout->addRow(ButtonWLFromText);
    auto* advancedLayout = new QVBoxLayout(TabSheetAdvanced);
    advancedLayout->addWidget(fromText);
    advancedLayout->addWidget(results);
    PageControl1->addTab(TabSheetAdvanced, QStringLiteral("Advanced"));

    // The pages, and Help below them at the right, where dialogs have it.
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ButtonHelp);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(bottom);

    // The initial folders of every file choice: the default folder (when it is there).
    const QString folder = FolderForNewFiles();
    for (TFileNameEdit* edit : {ElFileNameEditIndex, ElFileNameEditDetailedC, ElFileNameEditWLFromText,
                                ElFolderNameEditSaveTextFileWordlists})
        edit->InitialDir = folder;
    PageControl1->setCurrentWidget(TabSheetMain);

    connect(ButtonHelp, &QPushButton::clicked, this, &TFormStartWizardW::ButtonHelpClick);
    connect(Make1Button, &QPushButton::clicked, this, &TFormStartWizardW::Make1ButtonClick);
    connect(MakeBatchButton, &QPushButton::clicked, this, &TFormStartWizardW::MakeBatchButtonClick);
    connect(ButtonIndex, &QPushButton::clicked, this, &TFormStartWizardW::ButtonIndexClick);
    connect(ButtonComputeConsistency, &QPushButton::clicked, this, &TFormStartWizardW::ButtonComputeConsistencyClick);
    connect(ButtonWLFromText, &QPushButton::clicked, this, &TFormStartWizardW::ButtonWLFromTextClick);
    connect(ChooseTextsButton, &QPushButton::clicked, this, &TFormStartWizardW::ChooseTextsButtonClick);
    connect(AdvGlowButtonDetConsSettings, &QPushButton::clicked, this, &TFormStartWizardW::AdvGlowButtonDetConsSettingsClick);
    connect(ElPopupButtonChangeLanguage, &QPushButton::clicked, this, &TFormStartWizardW::ElPopupButtonChangeLanguageClick);
    connect(AdvGlowButtonUp, &QPushButton::clicked, this, [this] { SpeedButtonUpDownClick(-1); });
    connect(AdvGlowButtonDown, &QPushButton::clicked, this, [this] { SpeedButtonUpDownClick(1); });
    connect(ElFileNameEditDetailedC, &TFileNameEdit::dialogExecuted, this,
            &TFormStartWizardW::ElFileNameEditDetailedCDialogExecute);
    connect(ElFileNameEditWLFromText, &TFileNameEdit::dialogExecuted, this, [this] { UpdateWizardDisplay(); });

    m_handle = RegisterWindow(this);
}

TFormStartWizardW::~TFormStartWizardW()
{
    if (m_handle != 0)
        UnregisterWindow(m_handle);
}

QStringList TFormStartWizardW::GetDetailedConsistencyFiles() const
{
    QStringList files;
    for (int i = 0; i < StyledListboxDC->count(); ++i)
        files << StyledListboxDC->item(i)->text();
    return files;
}

TPlainTextImportChoices TFormStartWizardW::PlainTextImportChoices() const
{
    TPlainTextImportChoices c;
    c.files = ElFileNameEditWLFromText->FileNames();
    c.caseSensitive = ElCheckBoxImportCaseSensitive->isChecked();
    c.wordColumn = AdvSpinEditWordColumn->value();
    c.freqColumn = AdvSpinEditFreqColumn->value();
    c.saveFolder = ElFolderNameEditSaveTextFileWordlists->Text().trimmed();
    c.notes = ElMemoNotesTextFileWordlists->toPlainText();
    return c;
}

void TFormStartWizardW::PostJob(uint64_t batchFlag, int64_t job)
{
    PostMessage(mini_global_own_HWnd, kMsgMakeList, batchFlag, job);
}

void TFormStartWizardW::Make1ButtonClick()
{
    PostJob(0, kListWordList);
    SetModalResult(kModalOK);
}

void TFormStartWizardW::MakeBatchButtonClick()
{
    PostJob(1, kListWordList);
    SetModalResult(kModalOK);
}

void TFormStartWizardW::ButtonIndexClick()
{
    const QString name = ElFileNameEditIndex->Text().trimmed();
    if (name.isEmpty()) {
        ProvideAFilenameOrCancel();
        return;
    }
    SetLastUsedFile(kListIndexWordList, ChangeFileExt(name, QStringLiteral(".types")));
    // The controller writes its ini file, so that the name outlives a restart.
    PostToController(kCodeSettingsChangedInTool);
    PostJob(0, kListIndexWordList);
    SetModalResult(kModalOK);
}

void TFormStartWizardW::ButtonComputeConsistencyClick()
{
    if (StyledListboxDC->count() == 0) {
        NoFilesSelected();
        return;
    }
    PostJob(1, kListDetailedConsistency);
    close();
}

void TFormStartWizardW::ButtonWLFromTextClick()
{
    const QString folder = ElFolderNameEditSaveTextFileWordlists->Text().trimmed();
    if (folder.isEmpty()) {
        FormNotFilled(CVSelectFolder);
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        if (!CreateFolderYesNo(folder)) {
            FormNotFilled(CVSelectFolder);
            return;
        }
        if (!QDir().mkpath(folder)) {
            CannotWriteToXFolder(folder);
            return;
        }
    }
    PostJob(0, kListPlainTextWordList);
    SetModalResult(kModalOK);
}

void TFormStartWizardW::ChooseTextsButtonClick()
{
    SetActiveChildToolWindow(current_tool_var, m_handle);
    PostToController(kCodeChooseTexts);
}

void TFormStartWizardW::AdvGlowButtonDetConsSettingsClick()
{
    PostToController(kCodeDetailedConsistencySettings);
    if (m_mainForm)
        m_mainForm->lower();
}

void TFormStartWizardW::ElPopupButtonChangeLanguageClick()
{
    PostToController(kCodeLanguageChosen);
    if (m_mainForm)
        m_mainForm->lower();
}

void TFormStartWizardW::ElFileNameEditDetailedCDialogExecute(const QStringList& files)
{
    StyledListboxDC->clear();
    // The file the open dialog returns first goes last.
    for (int i = 1; i < files.size(); ++i)
        StyledListboxDC->addItem(files[i]);
    if (!files.isEmpty())
        StyledListboxDC->addItem(files.first());
    UpdateWizardDisplay();
}

void TFormStartWizardW::SpeedButtonUpDownClick(int direction)
{
    const int from = StyledListboxDC->currentRow();
    const int to = from + direction;
    if (from < 0 || to < 0 || to >= StyledListboxDC->count())
        return;
    QListWidgetItem* item = StyledListboxDC->takeItem(from);
    StyledListboxDC->insertItem(to, item);
    StyledListboxDC->setCurrentRow(to);
    StyledListboxDC->viewport()->update();
}

void TFormStartWizardW::UpdateWizardDisplay()
{
    LabelLanguage->setText(GetTextSettings().LanguageName());
    GroupBoxWordlist->setEnabled(true);
    ChooseTextsButton->setEnabled(true);
    ButtonWLFromText->setEnabled(!ElFileNameEditWLFromText->FileNames().isEmpty());

    const bool severalLists = StyledListboxDC->count() >= 2 ||
                              ElFileNameEditDetailedC->Text().toLower().contains(QStringLiteral(".zip"));
    ButtonComputeConsistency->setEnabled(severalLists);
    AdvGlowButtonUp->setEnabled(severalLists);
    AdvGlowButtonDown->setEnabled(severalLists);

    if (PageControl1->currentWidget() == TabSheetMain) {
        const int n = fChosenFiles ? fChosenFiles->FileCount() : 0;
        GroupBoxIndex->setEnabled(n > 0);
        // Without texts no list can be made: the buttons wait for them.
        Make1Button->setEnabled(n > 0);
        MakeBatchButton->setEnabled(n > 0);
        if (n == 0) {
            LabelTexts->setText(Format(CVChooseTextsStr, {CVWordList}));
            ChooseTextsButton->setText(CVChooseTextsNow);
        } else {
            const QString first = QFileInfo(fChosenFiles->FullFilename(0)).fileName();
            const QString suffix = n == 1 ? QStringLiteral(": ") + first : QString();
            LabelTexts->setText((n == 1 ? CVYouHaveOneTextChosen.toString() : Format(CVYouHaveNTextsChosen, {double(n)})) +
                                suffix);
            LabelWL1->setText(n == 1 ? Format(CVMakeAFile2, {CVWordList, first}) : Format(CVYOucanMake, {CVWordList}));
            ChooseTextsButton->setText(CVChangeSelection);
        }
    }
    update();
}

void TFormStartWizardW::FormShow()
{
    fShown = true;
    // The index last used, when the wizard comes up; a name chosen or typed
    // meanwhile stays while the wizard is refreshed (every time it is
    // activated again, e.g. after the file dialog closes).
    ElFileNameEditIndex->SetText(GetLastUsedFile(kListIndexWordList));
    UpdateWizardDisplay();
}

void TFormStartWizardW::changeEvent(QEvent* event)
{
    TCVDialog::changeEvent(event);
    // While it is the active window, the wizard is this tool's window for the controller.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        SetActiveChildToolWindow(current_tool_var, m_handle);
        UpdateWizardDisplay();
    }
}

void TFormStartWizardW::hideEvent(QHideEvent* event)
{
    SetActiveChildToolWindow(current_tool_var, 0);
    TCVDialog::hideEvent(event);
}

} // namespace cv
