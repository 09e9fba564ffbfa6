// Part of TFormWordList (ui/wordlist/wordlist_main.h), the word-list window,
// whose members stand in files by topic: the window's jobs, the dispatch of
// message 1391 and each job's road from the window's side, the opening of an
// index and of one result of a batch zip.

#include "ui/wordlist/wordlist_main.h"

#include <QApplication>
#include <QFileInfo>
#include <QScopeGuard>
#include <QPlainTextEdit>
#include <QTimer>

#include <optional>

#include "gui/cv_status_bar.h"
#include "index/index_files.h"
#include "index/index_handler.h"
#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "model/chosen_files.h"
#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "runtime/start_an_app.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "ui/framework/multi_tool_base.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/plain_text_wordlist.h"
#include "wordlist/wordlist_holder.h"

namespace cv {

namespace {

// Job codes of message 1391 (its LParam).
enum : int32_t {
    kJobWordList = kListWordList,
    kJobDetailedConsistency = kListDetailedConsistency,
    kJobPlainTextLists = kListPlainTextWordList,
    kJobIndex = kListIndexWordList,
};

constexpr int kHelpTooManyTexts = 2920;
constexpr int kHelpMixedFormats = 1242;

bool Cancelled() { return global_panic_state.load() != kPanicRun; }

} // namespace

// ---------------------------------------------------------------------------
// Dispatch

void TFormWordList::ComputeRequestHandler(uint64_t wparam, int64_t lparam)
{
    // A request that arrives while a job runs (the job pumps messages) would
    // pull the document from under it: it is refused.
    if (m_jobRunning) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("job request %1 refused: a job is running").arg(int32_t(lparam)));
        return;
    }
    terminating_app = false;
    if (!CloseQueryChecks())
        return;
    ReloadTagLists();
    switch (int32_t(lparam)) {
    case kJobWordList:
        if (wparam == 0)
            RunAsJob([this] { MakeWordListJob(); });
        else
            RunAsJob([this] { MakeBatchWordListsJob(); });
        break;
    case kJobDetailedConsistency: {
        const QStringList files = JobChoices().DetailedConsistencyFiles();
        if (!files.isEmpty())
            SetLastOpenedFolder(QFileInfo(files.first().section(u'|', 0, 0)).absolutePath());
        RunAsJob([this] { MakeDetailedConsistencyJob(); });
        break;
    }
    case kJobPlainTextLists:
        RunAsJob([this] { ImportPlainTextWordLists(); });
        break;
    case kJobIndex:
        RunAsJob([this] { MakeIndexJob(); });
        break;
    default:
        break;
    }
}

void TFormWordList::RunAsJob(const std::function<void()>& job)
{
    struct TJobScope {
        TFormWordList& w;
        explicit TJobScope(TFormWordList& window) : w(window) { w.m_jobRunning = true; }
        ~TJobScope()
        {
            w.m_jobRunning = false;
            // A job that ended without settling its documents (it was aborted)
            // leaves the previous one in place.
            if (w.m_previousData)
                w.EndJobData(false);
        }
    } scope(*this);
    job();
    // A list just made says at once, in the title, that it is not saved.
    if (!m_previousData && HasData() && fData->MainFile.FileName.isEmpty())
        SetPageAppropriateCaption();
    if (m_closeAfterJob) {
        m_closeAfterJob = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

// ---------------------------------------------------------------------------
// The common parts of the jobs

void TFormWordList::SetDataAside()
{
    TimerAutoSaving->stop();
    if (fData) {
        DetachGridsFromLists();
        if (!m_previousData)
            m_previousData = std::move(fData);
        else
            CloseData(false);
    }
    fData.reset();
    StartupOpenFileRec().FileName.clear();
    SetToolCaption({});
}

void TFormWordList::EndJobData(bool succeeded)
{
    // What the job read and made but did not keep, and what it replaced,
    // goes back to the system.
    const auto giveBack = qScopeGuard([] { GiveBackFreedMemory(); });
    if (!m_previousData)
        return;
    if (succeeded) {
        m_previousData.reset();
        return;
    }
    CloseData(false);
    fData = std::move(m_previousData);
    StartupOpenFileRec() = fData->MainFile;
    SetToolCaption(fData->MainFile.FileName.isEmpty() ? QString() : QFileInfo(fData->MainFile.FileName).fileName());
    PrepareOpenDialog(fData->MainFile.ListType);
    ToolWindowList().Last_actions.Include(kActionFileOpened);
    RefreshDataDisplay();
}

void TFormWordList::TakeTextSettings()
{
    // The job's texts are read with the settings as they are now.
    const TTextSettings settings = GetTextSettings();
    if (auto* handler = dynamic_cast<TTextTagHandler*>(fTagHandler.get()))
        handler->SetOptions(TTagOptions::FromSettings(settings));
}

void TFormWordList::LoadStopListIfWanted()
{
    if (GetLemmaMatchStopWanted(current_tool_var, uint8_t(TLemmatiserListKind::Stop)) && !Global_stopLemmaMatchLoaded[2])
        ToolWindowList().LoadLemmaMatchStopList(uint8_t(TLemmatiserListKind::Stop));
}

void TFormWordList::StartJobDocument(uint8_t listType, bool withStopList)
{
    SetDataAside();
    TakeTextSettings();
    if (withStopList)
        LoadStopListIfWanted();
    fData = MakeDocumentHolder(listType);
    WLMemoNotes->clear();
    WLMemoNotes->document()->setModified(false);
    ControllerToForeground();
}

void TFormWordList::ControllerToForeground() { cv::ControllerToForeground(); }

void TFormWordList::OwnWindowToForeground() { cv::OwnWindowToForeground(this); }

void TFormWordList::ChosenTextsToController()
{
    if (ChosenTexts->SavedToTempFile())
        PostToController(kCodeChosenTextsSaved);
}

void TFormWordList::ReportUnreadTexts()
{
    T_WholeWordlistHolder* doc = WordlistDocument();
    if (doc && !doc->dud_compute_files.isEmpty())
        FailedToRead(doc->dud_compute_files.join(u'\n'));
}

// ---------------------------------------------------------------------------
// Word lists

bool TFormWordList::AskTreatTagsAsPrefix(TCVWordList* words)
{
    constexpr uint8_t kTagsHidden = 0;
    constexpr uint8_t kTagsAsPrefix = 1;
    if (!words || !fData || words->TagDisplay() == kTagsHidden || words->TagDisplay() == kTagsAsPrefix)
        return false;
    bool tagged = false;
    for (int i = 0; i < words->Count() && !tagged; ++i)
        tagged = !words->Entry(i).fTag.isEmpty();
    if (!tagged)
        return false;
    if (TreatTagsAsPrefixInQ()) {
        fData->SetTextSettingsTagDisplay(kTagsAsPrefix);
        words->SetTagDisplay(kTagsAsPrefix);
        TTextSettings settings = GetTextSettings();
        settings.SetTagDisplay(kTagsAsPrefix);
        SetTextSettings(settings);
        for (TMenuCommand item : {TMenuCommand::TagsHidden, TMenuCommand::TagsAsPrefix, TMenuCommand::TagsAsSuffix,
                                  TMenuCommand::WordsHidden})
            SetMenuItemChecked(item, item == TMenuCommand::TagsAsPrefix);
        RefreshMenuChecks();
    }
    return true;
}

void TFormWordList::MakeWordListJob()
{
    last_wordcount = 0;
    TextFiles_convertedtoUnicode = 0;
    if (ChosenTexts->FileCount() == 0)
        return;
    StartJobDocument(kListWordList, true);

    const int32_t maximum = GetTextSettings().MaxTexts();
    if (maximum >= 1 && ChosenTexts->FileCount() > maximum &&
        WarnAboutAndASKOK(CVWordList, Format(CVMaximumXIs, {CVTexts, maximum}), kHelpTooManyTexts) != TDialogAnswer::OK) {
        EndJobData(false);
        OwnWindowToForeground();
        return;
    }
    // The job's clock starts with the work, not while the question waits.
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 0);

    T_WholeWordlistHolder* doc = WordlistDocument();
    const bool ok = [&] {
        TDocumentUse inUse(*this);
        return doc->MakeWordlist(*ChosenTexts, 0, TextFiles_convertedtoUnicode, kListWordList);
    }();
    GlobalProgress().Hide();
    ReportUnreadTexts();
    ToolWindowList().Last_actions.Include(kActionWordlistMade);
    RefreshDataDisplay();
    if (ok)
        AskTreatTagsAsPrefix(doc->WordlistOfType(kListWordList));
    if (ok) {
        KeepUnsaved({doc->WordlistOfType(kListWordList), doc->fStats.get()});
        if (doc->mixed_text_formats)
            WarnAboutAndRecommend(CVMIxedFormats, CVConvertIntoUnicode, kHelpMixedFormats);
        ToolWindowList().Last_actions.Include(kActionWordlistMade);
        ChosenTextsToController();
        doc->CheckMenuItemsAfterLoadFromFile();
        PrepareOpenDialog(kListWordList);
    }
    EndJobData(ok);
    OwnWindowToForeground();
}

void TFormWordList::MakeBatchWordListsJob()
{
    last_wordcount = 0;
    TextFiles_convertedtoUnicode = 0;
    if (ChosenTexts->FileCount() == 0)
        return;
    if (!JobChoices().BatchSetupReady(ChosenTexts->FileCount(), ChosenTexts->TotalBytes())) {
        OwnWindowToForeground();
        return;
    }
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 0);
    StartJobDocument(kListWordList, true);

    T_WholeWordlistHolder* doc = WordlistDocument();
    const bool ok = [&] {
        TDocumentUse inUse(*this);
        return doc->MakeWordlist(*ChosenTexts, Global_BatchProcedures.mode, TextFiles_convertedtoUnicode,
                                 kListWordList);
    }();
    GlobalProgress().Hide();
    ReportUnreadTexts();
    ToolWindowList().Last_actions.Include(kActionWordlistMade);
    JobChoices().HideBatchSetup();
    if (ok)
        ChosenTextsToController();

    // The results are on disk: the document shown before goes.
    EndJobData(ok);
    if (ok && Global_BatchProcedures.Zip_Too) {
        doc->MainFile.FileName = doc->last_batch_zip_Fullname;
        doc->MainFile.ListType = kListWordList;
        doc->MainFile.Count = ChosenTexts->FileCount();
        NoteFileSaved(true);
        StartupOpenFileRec() = doc->MainFile;
        if (OpenFile(GetChildForm()))
            ToolWindowList().Last_actions.Include(kActionFileOpened);
    } else {
        // A stop is the user's own doing, not a failure to save.
        if (ok || !Cancelled())
            NoteFileSaved(ok);
        if (ok)
            CloseData(true);
    }
    ToolWindowList().Last_actions.Include(kActionWordlistMade);
    RefreshDataDisplay();
    OwnWindowToForeground();
}

// ---------------------------------------------------------------------------
// Detailed consistency

void TFormWordList::MakeDetailedConsistencyJob()
{
    last_wordcount = 0;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 0);
    StartJobDocument(kListWordList, false);

    T_WholeWordlistHolder* doc = WordlistDocument();
    const bool ok = [&] {
        TDocumentUse inUse(*this);
        return doc->MakeDetailedConsistencyList(JobChoices().DetailedConsistencyFiles());
    }();
    GlobalProgress().Hide();
    if (!doc->dud_compute_files.isEmpty())
        CouldntDoDetailedConsistencyOn(doc->dud_compute_files);
    else if (!ok && !Cancelled())
        ReportedAFact(QStringLiteral("A detailed consistency list needs at least two saved word lists that can be read."));
    if (ok) {
        KeepUnsaved({doc->fDetailedConsistencyList.get()});
        doc->CheckMenuItemsAfterLoadFromFile();
        PrepareOpenDialog(kListDetailedConsistency);
        ShowPagesForListType();
    }
    ToolWindowList().Last_actions.Include(kActionConsistencyMade);
    if (ok)
        PrepareOpenDialog(kListDetailedConsistency);
    RefreshDataDisplay();
    EndJobData(ok);
    OwnWindowToForeground();
}

// ---------------------------------------------------------------------------
// The corpus index

void TFormWordList::MakeIndexJob()
{
    last_wordcount = 0;
    if (ChosenTexts->FileCount() == 0)
        return;
    // A last index named in the settings that does not exist yet is made at
    // once; otherwise the user chooses.
    uint8_t mode = kIndexOpenNew;
    const QString last = GetLastUsedFile(kListIndexWordList);
    const bool namedBefore =
        !last.isEmpty() && !QFileInfo::exists(IndexFileName(IndexBaseName(last), TIndexFileKind::Types));
    if (!namedBefore && !JobChoices().ChooseIndex(mode))
        return;

    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 0);
    SetDataAside();
    StartupOpenFileRec().FileName = GetLastUsedFile(kListIndexWordList);
    TakeTextSettings();
    fData = MakeDocumentHolder(kListIndexWordList);
    fData->MainFile = StartupOpenFileRec();
    ControllerToForeground();
    TextFiles_convertedtoUnicode = 0;

    T_WholeWordlistHolder* doc = WordlistDocument();
    const QString name = StartupOpenFileRec().FileName;
    bool done = false;
    QString stored;
    const bool started = doc->StartAnIndexHandler(name, mode) && doc->fIndexHandler && doc->fIndexHandler->fOk &&
                         doc->fIndexHandler->LoadedTheFiles() && !doc->fIndexHandler->fCancel_pressed;
    if (!started) {
        // Why the index cannot be made (its folder, an existing index that
        // cannot be added to) names the file and the reason.
        if (doc->fIndexHandler && !doc->fIndexHandler->LastError().isEmpty())
            ReportedAFact(doc->fIndexHandler->LastError());
        else
            FailedToSave(name);
        CloseData(true);
    } else {
        TIndexHandler& handler = *doc->fIndexHandler;
        const int32_t texts = ChosenTexts->FileCount();
        std::optional<TDocumentUse> inUse(std::in_place, *this);
        if (doc->MakeWordlist(*ChosenTexts, Global_BatchProcedures.mode, TextFiles_convertedtoUnicode,
                              kListIndexWordList)) {
            handler.SetStatsList(doc->fStats.get());
            doc->StartIndexNotes(Format(CVBasedOnNmanyFiles, {texts}));
            if (handler.ProcessAfterWordHandling(doc->fNotes.join(u'\n'), double(texts))) {
                ChosenTextsToController();
                done = true;
                stored = doc->MainFile.FileName;
            } else {
                ReportedAFact(handler.LastError());
            }
        } else if (!Cancelled()) {
            FailedToSave(doc->MainFile.FileName);
        }
        inUse.reset();
        GlobalProgress().Hide();
        CloseData(true);
    }
    OwnWindowToForeground();
    GlobalProgress().Hide();
    ToolWindowList().Last_actions.Include(kActionIndexMade);
    // The index is on disk and its document closed, made or not: what was
    // shown before comes back (opening the new index replaces it).
    EndJobData(false);
    if (!done)
        return;
    const QString base = IndexBaseName(stored);
    const QString tokens = IndexFileName(base, TIndexFileKind::Tokens);
    if (SavedOKOpenIndexNow(tokens, IndexFileName(base, TIndexFileKind::Types))) {
        TCVStored_File_rec& rec = StartupOpenFileRec();
        rec.Clear();
        rec.FileName = tokens;
        rec.ListType = kListIndexWordList;
        OpenFile(GetChildForm());
    }
    RefreshDataDisplay();
}

uint16_t TFormWordList::OpenIndexDocument()
{
    if (RefusedWhileInUse("opening an index"))
        return 0;
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    // The open shows its share and may be stopped; a stop before it is done with.
    global_panic_state = kPanicRun;
    TakeTextSettings();
    LoadStopListIfWanted();
    // The index is opened before anything shown goes: one that cannot be
    // opened leaves the window as it was.
    std::unique_ptr<TCorvantisholder> opened = MakeDocumentHolder(StartupOpenFileRec().ListType);
    QApplication::setOverrideCursor(Qt::WaitCursor);

    auto* doc = static_cast<T_WholeWordlistHolder*>(opened.get());
    const QString name = StartupOpenFileRec().FileName;
    const uint16_t result = [&] {
        TDocumentUse inUse(*this);
        return doc->OpenAnIndexAndLoadWords(name);
    }();
    if (result & 0xFF) {
        CloseData(false);
        fData = std::move(opened);
        doc->MainFile = StartupOpenFileRec();
        doc->MainFile.ListType = kListIndexWordList;
        fSpare_Index_filename = name;
        ShowPagesForListType();
        SetToolCaption(name);
        ToolWindowList().Last_actions.Include(kActionFileOpened);
        RefreshDataDisplay();
        NoteFileOpened(true);
    } else {
        KeepShownAfterFailedOpen();
    }
    GlobalProgress().Hide();
    // What the load read and did not keep goes back to the system.
    GiveBackFreedMemory();
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    return result;
}

// ---------------------------------------------------------------------------
// A result of a batch zip

bool TFormWordList::OpenBatchResult(TStream& stream, const TCheckSignature& signature, int index)
{
    // The batch window may ask while a job works on the document.
    if (RefusedWhileInUse("opening a batch result"))
        return false;
    terminating_app = false;
    CloseQueryChecks();
    CloseData(false);
    fData = MakeDocumentHolder(kListWordList);
    fData->fCheck = signature;
    const bool ok = fData->ReadWholeFromStream(stream);
    ToolWindowList().Last_actions.Include(kActionFileOpened);
    GlobalProgress().Hide();
    if (!ok)
        return false;
    PrepareOpenDialog(kListWordList);
    NoteFileOpened(ok);
    fData->MainFile.FileName.clear();
    m_batchDocument = fData.get();
    m_batchTitle = QStringLiteral("Batch, # %1").arg(index + 1);
    SetToolCaption(m_batchTitle);
    PrepareOpenDialog(kListWordList);
    ShowPagesForListType();
    ToolWindowList().Last_actions.Include(kActionFileOpened);
    RefreshDataDisplay();
    return true;
}

// ---------------------------------------------------------------------------
// Word lists from plain-text word lists

void TFormWordList::ImportPlainTextWordLists()
{
    const TPlainTextImportChoices choices = JobChoices().PlainTextImport();
    const uint8_t caseSensitivity = uint8_t(choices.caseSensitive ? TListCase::Sensitive : TListCase::Insensitive);
    SetDataAside();
    bool imported = false;
    // A shortage of memory stops the job; it has been told.
    bool shortOfMemory = false;
    for (int i = 0; i < choices.files.size() && !shortOfMemory; ++i) {
        MyYieldProcess();
        if (Cancelled())
            break;
        if (ImportPlainTextWordList(AdvOfficeStatusBar1, choices.files[i], caseSensitivity, choices.wordColumn - 1,
                                    choices.freqColumn - 1, &shortOfMemory) &&
            fPlainTextList) {
            imported = true;
            SavePlainTextWordList(AdvOfficeStatusBar1, choices.saveFolder, choices.notes, &shortOfMemory);
            if (!shortOfMemory)
                AdvOfficeStatusBar1->PutAStatusbarMessage(kPanelWord, Format(CVNFilesSaved, {double(i + 1)}));
        }
    }
    if (!imported && !Cancelled() && !shortOfMemory) {
        FailedToImport();
        PleaseCheckSettings();
    }
    EndJobData(imported);
    RefreshDataDisplay();
}

bool TFormWordList::ImportPlainTextWordList(TCVStatusBar* statusBar, const QString& fileName, uint8_t caseSensitivity,
                                            int wordColumn, int freqColumn, bool* shortOfMemory)
{
    if (wordColumn < 0 || freqColumn < 0 || wordColumn == freqColumn)
        return false;
    fPlainTextList.reset();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (statusBar)
        statusBar->setVisible(true);
    bool failedForMemory = false;
    fPlainTextList = cv::ImportPlainTextWordList(fileName, GetTextSettings().LanguageId(), caseSensitivity, wordColumn,
                                                 freqColumn, &failedForMemory);
    QApplication::restoreOverrideCursor();
    if (shortOfMemory)
        *shortOfMemory = failedForMemory;
    return !failedForMemory;
}

bool TFormWordList::SavePlainTextWordList(TCVStatusBar*, const QString& folder, const QString& notes,
                                          bool* shortOfMemory)
{
    CloseData(true);
    GlobalProgress().ClearAllAndShow(GetCentreofMainForm(), 1);
    bool saved = false;
    bool view = false;
    bool failedForMemory = false;
    if (fPlainTextList) {
        if (std::unique_ptr<T_WholeWordlistHolder> doc = MakeWordlistFromPlainText(*fPlainTextList, notes, &failedForMemory)) {
            const QString fileName = PlainTextWordListSaveName(folder, fPlainTextList->Source_Filename);
            doc->MainFile.FileName = fileName;
            fData = std::move(doc);
            // A failed save is told by the document, with the system's reason.
            saved = fData->SaveToFile(fileName);
            if (saved)
                view = SavedOKViewNow(fileName);
        } else if (!failedForMemory) {
            NoWordListWordsFoundIn(fPlainTextList->Source_Filename);
        }
    }
    if (shortOfMemory)
        *shortOfMemory = failedForMemory;
    fPlainTextList.reset();
    GlobalProgress().Hide();
    if (view) {
        TCVStored_File_rec& rec = StartupOpenFileRec();
        rec.Clear();
        rec.FileName = fData->MainFile.FileName;
        rec.ListType = kListWordList;
        OpenFile(GetChildForm());
    }
    return saved;
}

} // namespace cv
