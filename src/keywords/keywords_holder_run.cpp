// Part of T_WholeKeywordsHolder (keywords/keywords_holder.h), kept apart from
// the document's lists and file: the key-word run, the study lists against
// the reference list, batches and their zips, the spreadsheet summary, the
// plots step, the links, and the key-word database run.

#include "keywords/keywords_holder.h"

#include "keywords/kw_compute.h"
#include "keywords/kw_excel.h"
#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "model/stats_list.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/excel_writer.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/private_files.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "suite/window_messages.h"
#include "suite/zip_archive.h"
#include "wordlist/wordlist_holder.h"

#include <QDateTime>

#include <new>
#include <QDir>
#include <QFileInfo>

namespace cv {

namespace {

// The file part of "archive.zip|entry" names, else the name itself.
QString OnDisk(const QString& name)
{
    const qsizetype bar = name.indexOf(QLatin1Char('|'));
    return bar > 0 ? name.left(bar) : name;
}

int Percent(int64_t done, int64_t total)
{
    return total > 0 ? int(std::clamp<int64_t>(done * 100 / total, 0, 100)) : 0;
}

double SecondsSince(int64_t startMs)
{
    return double(QDateTime::currentMSecsSinceEpoch() - startMs) / 1000.0;
}

} // namespace

struct T_WholeKeywordsHolder::TRunState {
    uint8_t batchMode = 0;
    bool twoWay = false;
    bool presenceRule = false;
    bool stop = false;
    int32_t textTotal = 0;
    int32_t total = 0;
    QStringList resultNames;
    TStringListWith2LongintRec companion;
    std::unique_ptr<TKWExcelTree> excelTree;
};

// ---------------------------------------------------------------------------
// The reference list

void T_WholeKeywordsHolder::ReportReferenceFailure(const QString& fileName, const QString& reason, uint8_t failure)
{
    const QString text = QStringLiteral("Cannot read the reference list \"%1\": %2").arg(fileName, reason);
    if (Global_run_without_error_messages) {
        Global_FailureMessage = Format(CVFailedToReadX, {fileName}) + QStringLiteral(": ") + reason;
        return;
    }
    if (failure == kReadCannotOpen && !QFileInfo::exists(fileName)) {
        FailedToFind(fileName);
        return;
    }
    Complain(failure == kReadNotOurs || failure == kReadWrongKind ? QStringLiteral("NotAValidCVFile")
                                                                  : QStringLiteral("FailedToRead"),
             text);
}

namespace {

// The word list a document read from a file compares: its main list.
TCVWordList* ListOf(T_WholeWordlistHolder& doc)
{
    TCVWordList* list = doc.WordlistOfType(doc.MainFile.ListType);
    return list ? list : doc.WordlistOfType(kListWordList);
}

// Reads a saved word list to compare (a reference or a study list); false
// with why not and the kind of failure.
bool ReadWordListForKeyWords(T_WholeWordlistHolder& doc, const QString& name, TMemoryStream& m, QString& why,
                             uint8_t& failure)
{
    failure = kReadDamaged;
    // A file that does not even open like a saved result is no word list at all.
    if (m.Size() < TCheckSignature::kSize
        || !std::equal(TCheckSignature::kMagic.begin(), TCheckSignature::kMagic.end(), m.Memory())) {
        why = QStringLiteral("it is not a saved word list");
        failure = kReadNotOurs;
        return false;
    }
    bool read = false;
    try {
        m.SetPosition(0);
        read = doc.ReadWholeFromStream(m);
    } catch (const std::bad_alloc&) {
        throw; // the run stops for want of memory, not for a damaged list
    } catch (...) {
        read = false;
    }
    if (!read) {
        why = doc.LastReadError().isEmpty() ? QStringLiteral("the file is cut short or damaged") : doc.LastReadError();
        failure = doc.LastReadFailure() == kReadOK ? uint8_t(kReadDamaged) : doc.LastReadFailure();
        return false;
    }
    const TCVWordList* list = ListOf(doc);
    if (!list || list->Count() == 0 || list->TotalTokens() <= 0) {
        why = QStringLiteral("it holds no words");
        return false;
    }
    doc.OpenedFilename = name;
    return true;
}

bool ReadWordListFileForKeyWords(T_WholeWordlistHolder& doc, const QString& name, QString& why, uint8_t& failure)
{
    TMemoryStream m;
    QString error;
    if (!QFileInfo::exists(name)) {
        why = QStringLiteral("no such file");
        failure = kReadCannotOpen;
        return false;
    }
    if (!m.LoadFromFile(name, &error)) {
        why = error;
        failure = kReadCannotOpen;
        return false;
    }
    return ReadWordListForKeyWords(doc, name, m, why, failure);
}

} // namespace

bool T_WholeKeywordsHolder::LoadReferenceList(const QString& referenceFilename, const QStringList& studyLists)
{
    fReference.reset();
    fReferenceDocument.reset();
    auto doc = NewWordlistDocument();
    GlobalProgress().ProgressLongMessage(referenceFilename);
    QString why;
    uint8_t failure = kReadOK;
    if (!ReadWordListFileForKeyWords(*doc, referenceFilename, why, failure)) {
        ReportReferenceFailure(referenceFilename, why, failure);
        return false;
    }
    TCVWordList* list = ListOf(*doc);
    TextSettings(doc->ftextsettings);
    fReference = std::make_unique<TKWReferenceList>(*list, doc->ftextsettings.LanguageId());
    SetUnicode(doc->fUnicode);
    fKWList->GetRunningWordsIntoSettings(*list, doc.get(), 1);
    SetCVBaseListsLCIDToTextSettingsLCID();
    // The names of the study lists: the first, then the others joined by ",".
    QString names = studyLists.value(0);
    if (studyLists.size() > 1) {
        QString others = studyLists.mid(1).join(QLatin1Char(','));
        names += QLatin1Char(',') + others.left(200);
    }
    fKWList->KWSettings.SetStudyListNames(names.left(222));
    fKWList->KWSettings.SetReferenceListName(referenceFilename);
    fReferenceDocument = std::move(doc);
    return true;
}

// ---------------------------------------------------------------------------
// The run

void T_WholeKeywordsHolder::ComputeKWs(const QStringList& studyLists, const QString& referenceFilename, uint8_t batchMode,
                                       bool twoWay, uint8_t zipBatches, bool applyTextPresenceRule,
                                       TCVComputeResultRec& result)
try {
    Global_FailureMessage.clear();
    MarkJobStart();
    fRunStartMs = QDateTime::currentMSecsSinceEpoch();
    global_panic_state = kPanicRun;
    // The process-wide marks of the run go back however it ends.
    struct TRunMarks {
        bool batchBefore = Global_batch_mode;
        ~TRunMarks()
        {
            Global_batch_mode = batchBefore;
            Global_Busy_Dont_Show_Data = false;
        }
    } marks;
    Global_batch_mode = batchMode != 0;
    result = {};
    if (!fKWList)
        SetKWsToThis(std::make_unique<TKeyWordList>(this, kListKeyWords, CurrentToolSignature()));
    TRunState run;
    run.batchMode = batchMode;
    run.twoWay = twoWay;
    run.presenceRule = applyTextPresenceRule;

    fTotalFilesToProcess = int32_t(studyLists.size());
    QStringList lists = studyLists;
    CheckAllFnamesForZippedEntries(lists);
    fKWList->KWSettings = GetKeywordsSettings();
    fKWList->KWSettings.SetLanguageBlock(ftextsettings.LanguageBlock());
    fUnusableLists.clear();
    if (lists.isEmpty() || !QFileInfo::exists(OnDisk(lists.first())) || !QFileInfo::exists(referenceFilename)) {
        // Nothing else: the result says too few texts, and the caller tells
        // the user. What is missing is named for the caller all the same:
        // the study list among the unusable ones, the reference list (when
        // messages are off) in the failure message, as when it cannot be read.
        if (!lists.isEmpty() && !QFileInfo::exists(OnDisk(lists.first())))
            NoteUnusableList(lists.first(), QStringLiteral("no such file"));
        if (Global_run_without_error_messages && !referenceFilename.isEmpty() && !QFileInfo::exists(referenceFilename))
            ReportReferenceFailure(referenceFilename, QStringLiteral("no such file"), kReadCannotOpen);
        result.OK = false;
        result.TooFewTexts = true;
        return;
    }
    run.total = int32_t(lists.size());
    fListsRead = fListsDone = fExcelDetailRows = 0;
    ref_corpus_and_KW_mismatch = 0;
    Global_Busy_Dont_Show_Data = true;

    result.OK = LoadReferenceList(referenceFilename, lists);
    if (!result.OK || global_panic_state > kPanicStopAtEndOfText) {
        result.Suspended = global_panic_state > kPanicStopAtEndOfText;
        Global_Busy_Dont_Show_Data = false;
        return;
    }

    run.excelTree = std::make_unique<TKWExcelTree>(run.companion, fReference->Order().CollationName());
    ResetRunHeadings();
    fKWList->fKWStats->Clear();
    fKWList->Clear();
    fPlots->ClearKeepingHeadings();
    fKWLinks->Clear();
    fClusterList->Clear();
    if (batchMode >= 1 && ExcelFileAssigned() && !(Excel() && Excel()->ExcelFileStarted()))
        DoStartAnExcelFile(1);
    // Notes made while the lists are done stay after the standard notes.
    const QStringList notesBefore = fNotes;
    fNotes.clear();

    for (int32_t i = 0; i < run.total && result.OK && global_panic_state == kPanicRun && !run.stop
                        && fListsDone < kMaxListsPerRun;
         ++i) {
        const QString name = lists[i];
        if (!name.contains(QLatin1Char('|')) && IsAZipFile(name)) {
            const QString root = Global_BatchProcedures.BatchRootFolder;
            const bool ownFolder = batchMode >= 2 && !root.isEmpty();
            // Each archive's results go into a folder of their own, so that its zip holds them alone.
            if (ownFolder)
                Global_BatchProcedures.BatchRootFolder = QDir(root).filePath(QFileInfo(name).completeBaseName());
            const int32_t doneBefore = fListsDone;
            if (!ComputeKWsFromZippedLists(run, i, name)) {
                result.ZipFailure = true;
                result.OK = false;
            }
            if (result.OK && batchMode >= 2 && zipBatches == 1 && Global_BatchProcedures.Zip_Too) {
                const QString zipName = QDir(root.isEmpty() ? SuiteTempFolder() : root)
                                            .filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".zip"));
                result.OK = BatchZipFromTempDir(QStringLiteral(".kws"), zipName, fListsDone - doneBefore);
            }
            Global_BatchProcedures.BatchRootFolder = root;
            continue;
        }
        if (fRunsScript)
            HandleScriptProgress(fListsRead, run.total);
        if (batchMode == 0)
            GlobalProgress().OverallPercent(Percent(fListsRead, run.total));
        MyYieldProcess();
        ComputeOneStudyList(run, i, name);
    }

    if (batchMode == 0) {
        const QStringList during = fNotes;
        StartStandardNotes(kListKeyWords, 0, CVKeyWordList, Format(CVBasedOnNmanyFiles, {run.textTotal}));
        fNotes += during;
    } else {
        fNotes = notesBefore;
    }
    result.Suspended = run.stop;
    if (zipBatches == 1 && global_panic_state <= kPanicStopAtEndOfText && batchMode == 1 && Global_BatchProcedures.Zip_Too
        && result.OK && !result.Suspended) {
        QString zipName = Global_BatchProcedures.ZipShortFilename;
        BatchZipName(zipName, CVFiles);
        result.OK = BatchZipFromTempDir(QStringLiteral(".kws"), zipName, fListsDone);
    }
    if (result.OK && !result.Suspended && batchMode >= 1 && ExcelFileAssigned())
        WriteKWsToExcel(run);
    result.NothingFound = fListsDone == 0 || (batchMode == 0 && fKWList->Count() == 0);
    ReportUnusableLists();
    // Not one study list could be used: the run failed, it did not just find nothing.
    if (fListsRead == 0 && !fUnusableLists.isEmpty() && !result.Suspended)
        result.OK = false;
    if (global_panic_state > kPanicStopAtEndOfText)
        result.Suspended = true;
    MainFile.Mark = 1;
    CorvantisHolderMainListCount(fKWList->Count());
    Global_Busy_Dont_Show_Data = false;
} catch (const std::bad_alloc&) {
    fReference.reset();
    fReferenceDocument.reset();
    result.OK = false;
    Global_Busy_Dont_Show_Data = false;
    NotEnoughMemory(QStringLiteral("compute the key words"));
}

void T_WholeKeywordsHolder::ResetRunHeadings()
{
    // The key-word list's headings are those of its list type (the run's
    // document kind); the first time the list is shown its word column takes
    // the width the printer preferences give, and its columns the default
    // visibility.
    fKWList->ResetBaseHeadings(StandardGridHeaderArray(kListKeyWords).mid(0, TKeyWordList::kColSet));
    if (!fKWList->HasPixelSize()) {
        fKWList->SetPixelSize(TKeyWordList::kColWord, PixelWidth(GetPrinterPrefs()));
        ApplyDefaultColumnVisibility(*fKWList);
    }
    fPlots->ResetBaseHeadings(TKWPlotList::DefaultHeadings());
    fKWLinks->ResetBaseHeadings(TKWLinkList::DefaultHeadings());
    fClusterList->ResetBaseHeadings(TKWClusterList::DefaultHeadings());
}

void T_WholeKeywordsHolder::ComputeOneStudyList(TRunState& run, int32_t index, const QString& name)
{
    auto study = NewWordlistDocument();
    GlobalProgress().ProgressLongMessage(name);
    const qsizetype bar = name.indexOf(QLatin1Char('|'));
    QString why;
    uint8_t failure = kReadOK;
    if (bar > 0) {
        // One list inside an archive.
        TZipArchive zip;
        TMemoryStream m;
        if (!zip.OpenArchive(name.left(bar)) || !zip.ExtractToStream(name.mid(bar + 1), m)) {
            NoteUnusableList(name, zip.ErrorString().isEmpty() ? QStringLiteral("the archive holds no such list") : zip.ErrorString());
            return;
        }
        const int entry = zip.IndexOf(name.mid(bar + 1));
        const QDateTime time = entry >= 0 ? zip.Entry(entry).time : QDateTime();
        if (ReadWordListForKeyWords(*study, name, m, why, failure))
            RunOneStudyDocument(run, *study, name, time);
        else
            NoteUnusableList(name, why);
        return;
    }
    if (ReadWordListFileForKeyWords(*study, name, why, failure))
        RunOneStudyDocument(run, *study, name, QFileInfo(name).lastModified());
    else
        NoteUnusableList(name, why);
}

void T_WholeKeywordsHolder::NoteUnusableList(const QString& name, const QString& why)
{
    fUnusableLists << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(name), why);
}

void T_WholeKeywordsHolder::ReportUnusableLists()
{
    if (fUnusableLists.isEmpty())
        return;
    const QString text = QStringLiteral("%1 of the study lists could not be used:\n%2")
                             .arg(fUnusableLists.size())
                             .arg(fUnusableLists.join(QLatin1Char('\n')));
    if (Global_run_without_error_messages) {
        Global_FailureMessage = text;
        return;
    }
    Complain(QStringLiteral("FailedToRead"), text);
}

bool T_WholeKeywordsHolder::RunOneStudyDocument(TRunState& run, T_WholeWordlistHolder& study, const QString& name,
                                                const QDateTime& time)
{
    ++fListsRead;
    TKeyWordsSettingsRec& k = fKWList->KWSettings;
    k.SetLanguageBlock(study.ftextsettings.LanguageBlock());
    const bool ok = ComputeKWsOfOneList(name, fListsRead, *fKWList, run.stop, run.textTotal, ref_corpus_and_KW_mismatch,
                                        [this](uint8_t force) { MakePlotsIfTextFound(force); }, run.presenceRule,
                                        run.twoWay, time, run.batchMode, study, *fReference, run.excelTree.get(), *this);
    if (ok) {
        run.resultNames << QFileInfo(k.SourceTextName()).fileName();
        ++fListsDone;
    }
    if (ok && run.batchMode == 0 && !Global_run_without_error_messages && !run.stop) {
        if (k.SomeJoinedToLemmas() && !k.LemmaProcessingFull()) {
            GlobalProgress().Hide();
            KeyWordsNotFullLemmaProcessing();
        }
        if (!k.TwoWay() && k.MatchPercentage() < 50) {
            GlobalProgress().Hide();
            KeyWordsFoundLessThanNPercentMatches(k.MatchPercentage());
        }
    }
    return ok;
}

bool T_WholeKeywordsHolder::ComputeKWsFromZippedLists(TRunState& run, int32_t index, const QString& archive)
{
    TZipArchive zip;
    bool ok = zip.OpenArchive(archive) && zip.FileCount() >= 1;
    if (!ok)
        return false;
    if (run.batchMode != 0 && Global_BatchProcedures.OnBatchFileNameAndMaxN)
        Global_BatchProcedures.OnBatchFileNameAndMaxN(archive, CVCreating, zip.FileCount());
    const QDir folder = QFileInfo(archive).absoluteDir();
    for (int e = 0; e < zip.FileCount() && fListsDone < kMaxListsPerRun && ok && !run.stop && global_panic_state == kPanicRun;
         ++e) {
        GlobalProgress().OverallPercent(Percent(fListsRead, run.total));
        MyYieldProcess();
        const TZipEntryInfo& info = zip.Entry(e);
        if (info.IsDirectory())
            continue;
        TMemoryStream m;
        const QString entryName = archive + QLatin1Char('|') + info.name;
        if (!zip.ExtractToStream(e, m)) {
            NoteUnusableList(entryName, zip.ErrorString()); // a damaged entry is skipped like an unreadable list
            continue;
        }
        GlobalProgress().ProgressLongMessage(info.name);
        if (m.Size() == 0) {
            NoteUnusableList(entryName, QStringLiteral("it is empty"));
            continue;
        }
        if (m.Size() < TCheckSignature::kSize) {
            NoteUnusableList(entryName, QStringLiteral("it is not a saved word list"));
            ok = false;
            break;
        }
        auto study = NewWordlistDocument();
        QString why;
        uint8_t failure = kReadOK;
        if (!ReadWordListForKeyWords(*study, folder.filePath(info.name), m, why, failure)) {
            NoteUnusableList(entryName, why);
            continue;
        }
        RunOneStudyDocument(run, *study, folder.filePath(info.name), info.time);
    }
    zip.CloseArchive();
    return ok;
}

// ---------------------------------------------------------------------------
// Plots and links

void T_WholeKeywordsHolder::MakePlotsIfTextFound(uint8_t force)
{
    fProcessTimes.clear();
    fProcessTimes.push_back(SecondsSince(fRunStartMs));
    if (GetFastMinimalProcessing(current_tool_var) || !fKWList)
        return;
    bool made = false;
    if (QFileInfo::exists(fKWList->KWSettings.SourceTextName()) || force != 0)
        made = fPlotsComputer ? fPlotsComputer(*this) : false;
    fKWList->KWSettings.SetPlotsComputed(made);
    if (made)
        fProcessTimes.push_back(SecondsSince(fRunStartMs));
}

void T_WholeKeywordsHolder::ComputeAllLinks()
{
    if (!fKWList)
        return;
    TKeyWordsSettingsRec& k = fKWList->KWSettings;
    k.CopyLinkBlockFrom(GetKeywordsSettings());
    fmax_link_span = k.MaxLinkSpan();
    fmin_link_span = k.MinLinkSpan();
    if (!k.PlotsComputed() || fKWLinks->ListBusy() != kListNotBusy || fClusterList->ListBusy() != kListNotBusy)
        return;
    fKWLinks->SetListBusy(kListBusy);
    fClusterList->SetListBusy(kListBusy);
    int positions = 0;
    for (int i = 0; i < fPlots->Count(); ++i)
        positions += fPlots->Entry(i).PlotPositions().Count();
    const bool showProgress = positions > 20000;
    if (showProgress)
        GlobalProgress().ProgressLongMessage(CVLinks);
    ComputeKeyWordLinks(*fPlots, k, *fKWLinks, *fClusterList, [&](int percent) {
        if (showProgress)
            GlobalProgress().ThisPercent(percent);
        MyYieldProcess();
    });
    k.SetLinksComputed(true);
    GlobalProgress().ThisPercent(0);
    fKWLinks->SetListBusy(kListNotBusy);
    fClusterList->SetListBusy(kListNotBusy);
}

// ---------------------------------------------------------------------------
// The spreadsheet summary

void T_WholeKeywordsHolder::AddToExcelDetails(const TKeyWordList& list, const QString& name)
{
    TExcelWriter* x = Excel();
    if (!x || !x->ExcelFileStarted() || x->ExcelSheetCount() < 3)
        return;
    x->SetAnActiveSheet(3);
    const int first = 3;
    for (int i = 0; i < list.Count() && first + fExcelDetailRows <= TExcelWriter::kMaxRows; ++i) {
        if (list.GetDeleted(i))
            continue;
        const TKeyWordEntry& e = list.Entry(i);
        const int row = first + fExcelDetailRows;
        x->SetACellString(row, 1, name, fExcelFormat);
        x->SetACellString(row, 2, e.fWord, fExcelFormat);
        x->SetACellDouble(row, 3, e.fData.Freq, fExcelFormat);
        x->SetACellDouble(row, 4, e.fData.Percent, fExcelFormat);
        x->SetACellDouble(row, 5, e.fData.RefFreq, fExcelFormat);
        x->SetACellDouble(row, 6, e.fData.RefPercent, fExcelFormat);
        x->SetACellDouble(row, 7, e.fData.Keyness, fExcelFormat);
        x->SetACellDouble(row, 8, e.fData.P, fExcelFormat);
        x->SetACellDouble(row, 9, e.fData.SecondScore, fExcelFormat);
        ++fExcelDetailRows;
    }
}

void T_WholeKeywordsHolder::WriteKWsToExcel(TRunState& run)
{
    TExcelWriter* x = Excel();
    if (!x || !x->ExcelFileStarted())
        return;
    run.excelTree->Do_In_Order_Freq();
    TStringListWith2LongintRec& lines = run.companion;
    if (lines.Count() > 0) {
        auto title = [](const QString& t) {
            QString s = t;
            TCorvantisholder::Capitalised(s, true);
            return s;
        };
        const QString titles[3] = {Format("%s: %s", {CVSort, CVFrequency}).toUpper(),
                                   Format("%s: %s", {CVSort, CVAlphabetical}).toUpper(), QString(CVDetails).toUpper()};
        for (int sheet = 1; sheet <= 3; ++sheet) {
            x->SetAnActiveSheet(sheet);
            x->SetACellString(1, 1, titles[sheet - 1], fExcelFormat);
            x->MergeCells(1, 1, 1, -1, 4);
            if (sheet < 3) {
                x->SetACellString(2, 2, title(CVWords), fExcelFormat);
                x->SetACellString(2, 3, title(CVFrequency), fExcelFormat);
                x->SetACellString(2, 4, title(CVTexts), fExcelFormat);
            } else {
                const QStringList headings = {QStringLiteral("List"), QStringLiteral("Word"), title(CVFrequency),
                                              QStringLiteral("%"), QStringLiteral("Reference frequency"),
                                              QStringLiteral("Reference %"), QStringLiteral("Keyness"), QStringLiteral("P"),
                                              QStringLiteral("Log ratio")};
                for (int c = 0; c < headings.size(); ++c)
                    x->SetACellString(2, c + 1, headings[c], fExcelFormat);
            }
        }
        auto writeLines = [&](int sheet) {
            x->SetAnActiveSheet(sheet);
            for (int i = 0; i < lines.Count() && i + 3 <= TExcelWriter::kMaxRows; ++i) {
                const auto& l = lines.Line(i);
                x->SetACellString(i + 3, 2, l.text, fExcelFormat);
                x->SetACellDouble(i + 3, 3, double(l.first), fExcelFormat);
                x->SetACellDouble(i + 3, 4, double(l.second), fExcelFormat);
            }
        };
        writeLines(2);
        lines.SortOnFreq();
        writeLines(1);
    }
    if (!x->SaveAnExcelFile(ResultsToExcelFilename))
        Complain(QStringLiteral("FailedToSave"), x->ErrorString());
    DoCloseAnExcelfile();
}

// ---------------------------------------------------------------------------
// The key-word database

bool T_WholeKeywordsHolder::AddDocumentToDatabase(T_WholeKeywordsHolder& document, const QString& name, int32_t total,
                                                  bool& first, TKeyWordsSettingsRec& runSettings)
{
    if (!document.fKWList)
        return false;
    if (first) {
        runSettings = document.fKWList->KWSettings;
        fKWDBList->SetLocale(document.fKWList->LCID(), document.fKWList->CollationName());
        fKWDBList->CheckSeed(document.fUnicode);
        first = false;
    }
    const TKeyWordList& kw = *document.fKWList;
    int positive = 0;
    for (int i = 0; i < kw.Count(); ++i)
        if (!kw.GetDeleted(i) && !kw.Entry(i).fData.Negative)
            ++positive;
    if (kw.fKWStats->Count() > 0 && positive >= fKWDBList->fSettings.minKeyWordsPerFile) {
        fKWDBList->AddToDatabase(kw, name);
        GlobalProgress().OverallPercent(Percent(fKWDBList->UsedFileCount(), total));
        return true;
    }
    fKWDBList->AddUnusedFile(name);
    if (LoggingIsOn())
        AddToLogFile(Format(CVXFoundInY, {Format(CVNValidWordsAndFreqs, {0}), name}));
    return false;
}

bool T_WholeKeywordsHolder::ComputeKWDatabase(const QStringList& files)
{
    Global_Busy_Dont_Show_Data = true;
    TKeyWordsSettingsRec runSettings;
    Global_FailureMessage.clear();
    MarkJobStart();
    global_panic_state = kPanicRun;
    fTotalFilesToProcess = int32_t(files.size());
    if (files.isEmpty() || !fKWList || !fKWDBList->BeganTheDatabase()) {
        Global_Busy_Dont_Show_Data = false;
        return false;
    }
    if (!fKWDBList->fStatsFileList)
        fKWDBList->fStatsFileList = fKWList->fKWStats.get();
    QStringList names = files;
    CheckAllFnamesForZippedEntries(names);
    const int32_t total = int32_t(names.size());
    bool ok = total > 0;
    bool first = true;
    int32_t documents = 0;
    auto newDocument = [this] {
        const uint8_t panic = global_panic_state;
        auto d = std::make_unique<T_WholeKeywordsHolder>(kListKeyWords, TagsToTranslate, TextTagHandler, Using_Lemmalist,
                                                         Using_Stoplist);
        global_panic_state = panic;
        return d;
    };
    for (int32_t i = 0; i < total && global_panic_state == kPanicRun; ++i) {
        const QString& name = names[i];
        GlobalProgress().ProgressShortMessageOutOf(name, i + 1, total);
        MyYieldProcess();
        if (!name.contains(QLatin1Char('|')) && IsAZipFile(name)) {
            TZipArchive zip;
            if (!zip.OpenArchive(name))
                continue;
            for (int e = 0; e < zip.FileCount() && global_panic_state == kPanicRun; ++e) {
                const TZipEntryInfo& info = zip.Entry(e);
                TMemoryStream m;
                if (info.IsDirectory() || !zip.ExtractToStream(e, m))
                    continue;
                TCheckSignature sig;
                if (m.Size() < TCheckSignature::kSize || sig.ReadFromStream(m, std::max(kHolderVersion, kKeywordsDocumentVersion)) != TSignatureCheck::OK
                    || sig.Kind != kListKeyWords) {
                    WrongToolForFile(info.name, m.Size() >= TCheckSignature::kSize ? sig.WritingTool() : uint8_t(kToolNone));
                    break;
                }
                auto doc = newDocument();
                m.SetPosition(0);
                if (doc->ReadWholeFromStream(m)) {
                    ++documents;
                    AddDocumentToDatabase(*doc, QDir(QFileInfo(name).path()).filePath(info.name), total, first, runSettings);
                }
            }
            continue;
        }
        if (!QFileInfo::exists(OnDisk(name)))
            continue;
        auto doc = newDocument();
        if (doc->ReadWholeFromFile(name)) {
            ++documents;
            AddDocumentToDatabase(*doc, name, total, first, runSettings);
        }
    }
    GlobalProgress().ProgressLongMessage(Format(CVComputingX, {CVAssociates}));
    if (ok && fKWDBList->FinishedTheDatabase(documents)) {
        fKWDBList->fSettings.ToRecord(runSettings);
        fKWList->KWSettings = runSettings;
        MainFile.ListType = kListKeyWordDatabase;
        RegisterLists();
        StartStandardNotes(kListKeyWordDatabase, 0, CVKeyWordDatabase, Format(CVBasedOnNmanyFiles, {fKWDBList->UsedFileCount()}));
    } else {
        ok = false;
    }
    Global_Busy_Dont_Show_Data = false;
    return ok;
}

} // namespace cv
