#include "ui/wordlist/dialogs/batch_dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "model/batch_procedures.h"
#include "model/holder_parts.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/zip_archive.h"

namespace cv {
namespace {

constexpr int kHelpBatch = 2730;
// The folder zipping may copy results into, inside the batch's folder.
const QString kTempSubfolder = QStringLiteral("temp8632");

QString WithTrailingDelimiter(const QString& folder)
{
    return folder.isEmpty() || folder.endsWith(u'/') || folder.endsWith(u'\\') ? folder : folder + u'/';
}

void PumpOnce() { QCoreApplication::processEvents(); }

// "+" (also on the number pad) and the pad's 6 step forward; "-" and the pad's 4 back.
int StepOfKey(const QKeyEvent& key)
{
    const bool keypad = key.modifiers().testFlag(Qt::KeypadModifier);
    if (key.key() == Qt::Key_Plus || (keypad && key.key() == Qt::Key_6))
        return 1;
    if (key.key() == Qt::Key_Minus || (keypad && key.key() == Qt::Key_4))
        return -1;
    return 0;
}

} // namespace

QString SuggestedBatchFolderName(const QDateTime& when, const QLocale& locale)
{
    return locale.toString(when, QStringLiteral("yyyy_MMM_dd'_at_'HH_mm"));
}

// ---------------------------------------------------------------------------
// Batch set-up

TFormBatchProcessSetup::TFormBatchProcessSetup(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormBatchProcessSetup"), kHelpBatch, true)
{
    setWindowTitle(QStringLiteral("Batch Processing"));
    CheckBoxZipToo = new QCheckBox(QStringLiteral("zip them"), this);
    CheckBoxZipToo->setToolTip(QStringLiteral("saves, then zips; needs temporary disk space"));
    CheckBoxZipToo->setChecked(true);
    CheckBoxMinimalProcessing = new QCheckBox(QStringLiteral("faster (minimal) processing"), this);
    CheckBoxMinimalProcessing->setToolTip(QStringLiteral("avoids computing plots etc."));
    CheckBoxKeepBoth = new QCheckBox(QStringLiteral("keep .zip && results"), this);
    CheckBoxKeepBoth->setToolTip(QStringLiteral("requires double disk space"));
    AdvOfficeCheckBoxPreserveDates = new QCheckBox(QStringLiteral("keep dates"), this);
    AdvOfficeCheckBoxPreserveDates->setToolTip(QStringLiteral("preserves file dates"));
    ElFolderNameEditBatch = new TFileNameEdit(TFileNameEdit::TMode::Folder, this);
    ElFolderNameEditBatch->setObjectName(QStringLiteral("ElFolderNameEditBatch"));
    RBCaption = {QStringLiteral("one file with all individual results in it"),
                 QStringLiteral("one file per folder, individual results"),
                 QStringLiteral("one file per folder with one amalgamated result in it")};
    RadioGroupTool = new TRadioGroup(QString(), RBCaption, this);
    LabelMessage = new QLabel(this);
    LabelMessage->setWordWrap(false);
    PCProgressBarBatch = new QProgressBar(this);
    PCProgressBarBatch->setRange(0, 100);
    PCProgressBarBatch->setValue(0);
    ButtonOK = new QPushButton(CVOK.toString(), this);
    AdvGlowButtonStop = new QPushButton(QStringLiteral("Stop"), this);
    AdvGlowButtonStop->setEnabled(false);
    TempZipFolder = QDir::tempPath();
    ElFolderDialog1 = [this](const QString& title, const QString& prompt) {
        return QFileDialog::getExistingDirectory(this, title + QStringLiteral(": ") + prompt, TempZipFolder);
    };

    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(QStringLiteral("whole folder"), this));
    folderRow->addWidget(ElFolderNameEditBatch, 1);
    auto* checks = new QHBoxLayout;
    for (QCheckBox* box : {CheckBoxZipToo, CheckBoxKeepBoth, AdvOfficeCheckBoxPreserveDates, CheckBoxMinimalProcessing})
        checks->addWidget(box);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(LabelMessage, 1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(AdvGlowButtonStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folderRow);
    layout->addWidget(RadioGroupTool);
    layout->addLayout(checks);
    layout->addWidget(PCProgressBarBatch);
    layout->addLayout(buttons);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormBatchProcessSetup::ButtonOKClick);
    connect(AdvGlowButtonStop, &QPushButton::clicked, this, &TFormBatchProcessSetup::AdvGlowButtonStopClick);
    connect(RadioGroupTool, &TRadioGroup::itemClicked, this, &TFormBatchProcessSetup::RadioButtonClick);

    TBatchProceduresRec& b = Global_BatchProcedures;
    b.mode = 0;
    b.OnAddingToZip = [this](const QString& entry) { AddingToZip(entry); };
    b.OnZipProgress = [this](int done, int total) { ZipProgress(done, total); };
    b.OnBatchFileNameAndMaxN = [this](const QString& name, const QString& section, int maxN) {
        BatchFileNameAndMaxN(name, section, maxN);
    };
    b.OnZippingASection = [this](int a, int n, bool zipping) { ZippingASection(a, n, zipping); };
    b.OnProgressing = [this](int done, int total) { Progressing(done, total); };
    b.ZipShortFilename = Format(CVBatchXZipname, {CVWordList});
}

TFormBatchProcessSetup::~TFormBatchProcessSetup()
{
    // The record outlives the window: its hooks must not call into it any more.
    TBatchProceduresRec& b = Global_BatchProcedures;
    b.OnAddingToZip = nullptr;
    b.OnZipProgress = nullptr;
    b.OnBatchFileNameAndMaxN = nullptr;
    b.OnZippingASection = nullptr;
    b.OnProgressing = nullptr;
}

void TFormBatchProcessSetup::FormShow()
{
    QString toolName = CVWordList;
    CheckBoxMinimalProcessing->setVisible(false);
    if (current_tool_var == kToolKeyWords) {
        toolName = CVKeywords;
        CheckBoxMinimalProcessing->setVisible(true);
        CheckBoxMinimalProcessing->setChecked(true);
    } else if (current_tool_var == kToolConcordance) {
        toolName = CVConcordance;
        CheckBoxMinimalProcessing->setVisible(true);
        CheckBoxMinimalProcessing->setEnabled(true);
        CheckBoxMinimalProcessing->setChecked(GetFastMinimalProcessing(current_tool_var));
    }
    RadioGroupTool->setTitle(Format(CVZipfileX, {toolName}));
    const uint8_t mode = Global_BatchProcedures.mode;
    RadioGroupTool->SetItemIndex(mode <= 1 ? 0 : mode - 1);

    suggested_dir = SuggestedBatchFolderName(QDateTime::currentDateTime());
    ElFolderNameEditBatch->SetText(WithTrailingDelimiter(GetDefaultFolder()) + suggested_dir);

    LabelMessage->clear();
    BatchBusy = false;
    Ready = false;
    RadioGroupTool->setEnabled(true);
    ButtonOK->setEnabled(true);
    ButtonOK->setText(CVOK.toString());
    AdvGlowButtonStop->setEnabled(false);
    PCProgressBarBatch->setRange(0, 100);
    PCProgressBarBatch->setValue(0);
}

void TFormBatchProcessSetup::ShowWaitingState()
{
    ButtonOK->setEnabled(false);
    Ready = false;
    RaiseCancelState();
    LabelMessage->setText(CVWaitingForZip);
}

void TFormBatchProcessSetup::ButtonOKClick()
{
    if (BatchBusy) {
        ShowWaitingState();
        return;
    }
    TBatchProceduresRec& b = Global_BatchProcedures;
    files_added = 0;
    b.ZipShortFilename.clear();
    b.BatchRootCopyTo.clear();
    b.files_saved = 0;
    b.ExtraFoldersUsed = false;
    b.Files_to_Process = FilesToProcess;
    b.ZipToStream = true;
    b.Zip_Too = CheckBoxZipToo->isChecked();
    b.Preserve_FileDates = AdvOfficeCheckBoxPreserveDates->isChecked();
    b.Delete_Results_After_Zipping = !CheckBoxKeepBoth->isChecked();
    b.BatchRootFolder = WithTrailingDelimiter(ElFolderNameEditBatch->Text().trimmed());
    // The batch runs as the window shows it, also when no item was clicked.
    if (RadioGroupTool->ItemIndex() >= 0)
        b.mode = uint8_t(RadioGroupTool->ItemIndex() + 1);
    Ready = BatchBusy = true;

    if (b.Zip_Too && !QFileInfo(TempZipFolder).isDir() && !b.Computations_In_Place_Not_temp_dir &&
        !OKToUseTempDirAsTempDrive(TempZipFolder)) {
        const QString folder = ElFolderDialog1 ? ElFolderDialog1(CVSelect, CVFolderForTempUse) : QString();
        Ready = !folder.isEmpty();
        if (Ready)
            TempZipFolder = folder;
    }
    b.BatchRootCopyTo = WithTrailingDelimiter(b.BatchRootFolder) + kTempSubfolder;
    b.BatchTempFileNames.clear();
    m_tempSubfolder.clear();

    if (Ready) {
        const QString root = b.BatchRootFolder;
        Ready = !root.isEmpty() && QDir().mkpath(root) && ProceedIfLittleDiskSpace(root, 4 * TotalTextBytes);
        if (Ready && b.Zip_Too) {
            Ready = QDir().mkpath(b.BatchRootCopyTo);
            if (Ready)
                m_tempSubfolder = b.BatchRootCopyTo;
        }
    }
    BatchBusy = Ready;
    if (!Ready) {
        LabelMessage->setText(CVCloseOrTryAgain);
        Ready = BatchBusy = false;
        return;
    }
    if (CheckBoxMinimalProcessing->isVisible() && CheckBoxMinimalProcessing->isEnabled())
        SetFastMinimalProcessing(current_tool_var, CheckBoxMinimalProcessing->isChecked());
    LabelMessage->setText(CVProcessing);
}

void TFormBatchProcessSetup::AdvGlowButtonStopClick()
{
    if (global_panic_state.load() < kPanicQuitProgram)
        RaiseCancelState();
}

void TFormBatchProcessSetup::RadioButtonClick(int item)
{
    if (item >= 0 && item < RadioGroupTool->Count())
        Global_BatchProcedures.mode = uint8_t(item + 1);
}

void TFormBatchProcessSetup::SetUseTempDir(bool useTempDir)
{
    Global_BatchProcedures.Computations_In_Place_Not_temp_dir = !useTempDir;
}

void TFormBatchProcessSetup::BatchOver()
{
    BatchBusy = false;
    // The zipping folder is the batch's own: gone again when nothing was left in it.
    if (!m_tempSubfolder.isEmpty())
        QDir().rmdir(m_tempSubfolder);
    m_tempSubfolder.clear();
    hide();
}

void TFormBatchProcessSetup::hideEvent(QHideEvent* event)
{
    // Closing the window of a running batch asks the batch to stop.
    if (BatchBusy)
        RaiseCancelState();
    TCVDialog::hideEvent(event);
}

void TFormBatchProcessSetup::BatchFileNameAndMaxN(const QString& zipOrFolder, const QString& sectionText, int maxN)
{
    TBatchProceduresRec& b = Global_BatchProcedures;
    // The name shown is completed as the batch completes its zip's name,
    // without changing the batch's own zip name.
    QString zipName = zipOrFolder;
    if (QFileInfo(zipName).isDir())
        zipName = QDir::cleanPath(zipName) + QStringLiteral(".zip");
    const QString keepShortName = b.ZipShortFilename;
    BatchZipName(zipName, CVFiles);
    b.ZipShortFilename = keepShortName;

    ButtonOK->setEnabled(false);
    AdvGlowButtonStop->setEnabled(true);
    RadioGroupTool->setEnabled(false);
    if (maxN > 0) {
        b.Files_to_Process = maxN;
        PCProgressBarBatch->setRange(0, maxN);
        PCProgressBarBatch->setValue(0);
    }
    if (sectionText == CVZipping.toString())
        LabelMessage->setText(CVInZipFile);
    if (b.Zip_Too) {
        const int room = int(0.9 * std::max(ButtonOK->x() - LabelMessage->x(), LabelMessage->width()));
        LabelMessage->setText(sectionText + u'\n' + ElidedFileName(zipName, LabelMessage->font(), room));
    }
    PumpOnce();
}

void TFormBatchProcessSetup::ZippingASection(int a, int n, bool zipping)
{
    const QString counts = zipping ? QStringLiteral(" (%1 / %2)").arg(a).arg(n) : QStringLiteral(" (%1 - %2)").arg(a).arg(n);
    LabelMessage->setText(CVProcessing.toString() + (zipping ? u' ' + Format(CVZipfileX, {counts.trimmed()}) : counts));
    // While zipping the bar counts the files going into the zip.
    if (zipping && n > 0 && PCProgressBarBatch->maximum() != n)
        PCProgressBarBatch->setRange(0, n);
    PCProgressBarBatch->setValue(std::clamp(a, PCProgressBarBatch->minimum(), PCProgressBarBatch->maximum()));
    PumpOnce();
}

void TFormBatchProcessSetup::Progressing(int done, int total)
{
    if (total > 0 && PCProgressBarBatch->maximum() != total)
        PCProgressBarBatch->setRange(0, total);
    PCProgressBarBatch->setValue(done);
    LabelMessage->setText(Format(CVNInBatch, {done}));
    PumpOnce();
}

void TFormBatchProcessSetup::AddingToZip(const QString&)
{
    ++files_added;
    PumpOnce();
}

void TFormBatchProcessSetup::ZipProgress(int, int) { PumpOnce(); }

// ---------------------------------------------------------------------------
// Batch choice

TFormBatchChoose::TFormBatchChoose(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormBatchChoose"), kHelpBatch, true)
{
    setWindowTitle(QStringLiteral("Batch"));
    setWindowFlag(Qt::Tool, true);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setToolTip(QStringLiteral("double-click to open"));
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->showMessage(QStringLiteral("double-click to select a file"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(StatusBar1);
    connect(ListBox1, &QListWidget::currentRowChanged, this, &TFormBatchChoose::ListBox1Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { OpenSelected(); });
    ListBox1->installEventFilter(this);
    resize(260, 360);
}

bool TFormBatchChoose::OpenAZipAndChoose(const TCVStored_File_rec& rec)
{
    ZipFilename = rec.FileName;
    OpenFileName = rec.FileName;
    ListBox1->clear();
    TZipArchive zip;
    if (zip.OpenArchive(ZipFilename))
        ListBox1->addItems(zip.EntryNames());
    const bool any = ListBox1->count() > 0;
    setWindowTitle(Format(CVBasedOnNmanyFiles, {zip.FileCount()}));
    zip.CloseArchive();
    OperatingWithZips = true;
    fopen_file_num = -1;
    show();
    raise();
    return any;
}

bool TFormBatchChoose::ShowListOfTextsAndChoose(const QStringList& files)
{
    TextFilesList = files;
    ListBox1->clear();
    for (const QString& file : files)
        ListBox1->addItem(QFileInfo(file).fileName());
    OperatingWithZips = false;
    fopen_file_num = -1;
    setWindowTitle(CVResults);
    show();
    raise();
    return true;
}

bool TFormBatchChoose::DeletedCurrentFromZip()
{
    if (!OperatingWithZips || fopen_file_num < 0 || fopen_file_num >= ListBox1->count() || ZipFilename != OpenFileName)
        return false;
    TZipArchive zip;
    if (!zip.OpenArchive(ZipFilename))
        return false;
    const int before = zip.FileCount();
    if (fopen_file_num >= before || !zip.DeleteEntry(fopen_file_num))
        return false;
    const bool fewer = zip.FileCount() < before;
    zip.CloseArchive();
    if (fewer) {
        // The list follows the zip, so the places of the later entries stay right.
        delete ListBox1->takeItem(fopen_file_num);
        fopen_file_num = -1;
    }
    return fewer;
}

QString TFormBatchChoose::EntryName(int index)
{
    if (OperatingWithZips) {
        TZipArchive zip;
        if (zip.OpenArchive(ZipFilename) && index < zip.FileCount())
            return zip.Entry(index).name;
        return ListBox1->item(index)->text();
    }
    return index < TextFilesList.size() ? TextFilesList[index] : ListBox1->item(index)->text();
}

void TFormBatchChoose::ListBox1Click()
{
    fSelected_file_num = ListBox1->currentRow();
    if (fSelected_file_num < 0)
        return;
    const QString text = QString::number(fSelected_file_num + 1) + u' ' + EntryName(fSelected_file_num);
    StatusBar1->showMessage(ElidedFileName(text, StatusBar1->font(), StatusBar1->width() - 10));
}

bool TFormBatchChoose::ReadEntry(int index)
{
    memStream.Clear();
    if (OperatingWithZips) {
        TZipArchive zip;
        if (!zip.OpenArchive(ZipFilename) || index >= zip.FileCount() || !zip.ExtractToStream(index, memStream))
            return false;
    } else if (index >= TextFilesList.size() || !memStream.LoadFromFile(TextFilesList[index])) {
        return false;
    }
    return memStream.Size() > 0;
}

bool TFormBatchChoose::OpenSelected()
{
    if (BatchChooseBusy)
        return false;
    const int index = ListBox1->currentRow();
    if (!fOnOpenBatchFile || index < 0)
        return false;
    BatchChooseBusy = true;
    bool opened = false;
    if (ReadEntry(index)) {
        memStream.SetPosition(0);
        // Only a whole signature of this tool's files is handed on.
        if (fcheck.ReadFromStream(memStream, INT32_MAX) == TSignatureCheck::OK &&
            fcheck.ToolSignature == CurrentToolSignature()) {
            memStream.SetPosition(0);
            opened = fOnOpenBatchFile(memStream, fcheck, index);
            if (opened)
                fopen_file_num = index;
        }
    }
    BatchChooseBusy = false;
    return opened;
}

void TFormBatchChoose::StepAndOpen(int step)
{
    if (!OpenSelected())
        return;
    const int count = ListBox1->count();
    const int row = ListBox1->currentRow();
    int next = row + step;
    if (step > 0 && (row < 0 || row >= count - 1))
        next = 0;
    else if (step < 0 && row <= 0)
        next = count - 1;
    ListBox1->setCurrentRow(next);
    OpenSelected();
}

void TFormBatchChoose::keyPressEvent(QKeyEvent* event)
{
    if (const int step = StepOfKey(*event)) {
        StepAndOpen(step);
        return;
    }
    TCVDialog::keyPressEvent(event);
}

bool TFormBatchChoose::eventFilter(QObject* watched, QEvent* event)
{
    // The list takes the keys first: the stepping keys are the window's.
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        if (const int step = StepOfKey(*static_cast<QKeyEvent*>(event))) {
            StepAndOpen(step);
            return true;
        }
    }
    return TCVDialog::eventFilter(watched, event);
}

} // namespace cv
