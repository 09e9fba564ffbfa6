// Part of T_WholeMarvexHolder (concordance/marvex_holder.h), whose members
// stand in files by topic: the run of a concordance over all chosen texts
// with its finishing steps, merging another concordance document into this
// one, the notes that describe a concordance, the file-name report, the menu
// toggles of the display options, and the reaction to changed settings.

#include "concordance/conc_text_files.h"
#include "concordance/marvex_holder.h"

#include "model/batch_procedures.h"
#include "model/chosen_files.h"
#include "runtime/controller_link.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/logging.h"
#include "suite/menu_commands.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/search_engine.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <new>
#include <cmath>
#include <climits>
#include <stdexcept>
#include <unordered_map>

namespace cv {

namespace {

// The menu commands of the display options, by option (Untagged: none).
constexpr TMenuCommand kColouringTags[TConcSettingsRec32::kColouringOptionCount] = {
    TMenuCommand::TagsColoured, TMenuCommand::WordsColoured, TMenuCommand::Untagged};
constexpr TMenuCommand kDisplayTags[TConcSettingsRec32::kDisplayOptionCount] = {
    TMenuCommand::HideTagFileTags, TMenuCommand::Untagged, TMenuCommand::Untagged, TMenuCommand::SentenceOnly,
    TMenuCommand::TagsOnly};
// In order of their numbers: an option is its command's distance from the first.
constexpr TMenuCommand kHideTags[TConcSettingsRec32::kHideOptionCount] = {
    TMenuCommand::HideUndefinedTags, TMenuCommand::HideSentenceTag, TMenuCommand::HideParagraphTag,
    TMenuCommand::HideHeadingTag, TMenuCommand::HideSectionTag};

bool HasOption(uint8_t set, int option)
{
    return (set >> option) & 1;
}

uint8_t Toggled(uint8_t set, int option)
{
    return uint8_t(set ^ (1u << option));
}

double SecondsSince(int64_t startMs)
{
    return double(std::max<int64_t>(0, QDateTime::currentMSecsSinceEpoch() - startMs)) / 1000.0;
}

QString Seconds(double s)
{
    return QString::number(s, 'f', 2);
}

} // namespace

// ---------------------------------------------------------------------------
// What a run replaces, kept until the run has succeeded

struct T_WholeMarvexHolder::TRunBackup {
    std::unique_ptr<TMarvexFilenamelist> texts;
    std::unique_ptr<TUnusedFileList> unused;
    std::unique_ptr<TCollocateList> collocates;
    std::unique_ptr<TConcPlotList> plot;
    std::unique_ptr<TPatternsList> patterns;
    std::unique_ptr<TConcordanceClusterList> clusters;
    std::unique_ptr<TConcordanceList> lines;
    std::unique_ptr<TTimelineList> timeline;
    std::unique_ptr<TSearchWordItems> searchWords;
    TConcSettingsRec32 settings;
    TConcordanceWorkDoneRec work;
    QStringList notes;
    QStringList notFound;
    int32_t notFoundCount = 0;
    QString suggested;
    QStringList dud;
    TConcProcessTimes times;
    int32_t maxClusters = 0;
    int32_t totalFiles = 0;
    uint8_t listType = 0;
    bool unicode = true;
};

void T_WholeMarvexHolder::ReattachHeldLists()
{
    RegisterLists();
    SetCVBaseListsLCIDToTextSettingsLCID();
    SetUnicode(fUnicode);
    LinkLists();
}

std::unique_ptr<T_WholeMarvexHolder::TRunBackup> T_WholeMarvexHolder::TakeContentsForRun()
{
    auto b = std::make_unique<TRunBackup>();
    const uint32_t signature = CurrentToolSignature();
    b->texts = std::exchange(fTextFilesWithSearchWord, std::make_unique<TMarvexFilenamelist>(this, signature));
    b->unused = std::exchange(fTextFilesWithoutSearchWord, std::make_unique<TUnusedFileList>());
    b->collocates = std::exchange(fCollocateList, std::make_unique<TCollocateList>(this, signature));
    b->plot = std::exchange(fConcPlotList, std::make_unique<TConcPlotList>(this, signature));
    b->patterns = std::exchange(fPatternsList, std::make_unique<TPatternsList>(this, signature));
    b->clusters = std::exchange(fClusterList, std::make_unique<TConcordanceClusterList>(this, signature));
    b->lines = std::exchange(fConcordanceList, std::make_unique<TConcordanceList>(this, fDocumentKind, signature));
    b->timeline = std::exchange(fTimeLineList, std::make_unique<TTimelineList>(this, signature));
    b->searchWords = std::exchange(fSWs, std::make_unique<TSearchWordItems>());
    b->settings = fSettings;
    b->work = std::exchange(work_done, {});
    b->notes = fNotes;
    b->notFound = std::exchange(NotFoundFilesForNotesList, {});
    b->notFoundCount = std::exchange(NotFoundFilesCount, 0);
    b->suggested = SuggestedFilename;
    b->dud = std::exchange(dud_compute_files, {});
    b->times = std::exchange(fProcessTimes, {});
    b->maxClusters = std::exchange(max_clusters_found, 0);
    b->totalFiles = fTotalFilesToProcess;
    b->listType = MainFile.ListType;
    b->unicode = fUnicode;
    fConcordanceList->tag_string_only_on = b->lines->tag_string_only_on;
    fConcordanceList->tag_string_only_off = b->lines->tag_string_only_off;
    fConcordanceList->fSpare_colours = b->lines->fSpare_colours;
    fCollocateList->ComputeLeftAndRightSpan(fSettings);
    ReattachHeldLists();
    return b;
}

void T_WholeMarvexHolder::RestoreContents(std::unique_ptr<TRunBackup> b)
{
    if (!b)
        return;
    fTextFilesWithSearchWord = std::move(b->texts);
    fTextFilesWithoutSearchWord = std::move(b->unused);
    fCollocateList = std::move(b->collocates);
    fConcPlotList = std::move(b->plot);
    fPatternsList = std::move(b->patterns);
    fClusterList = std::move(b->clusters);
    fConcordanceList = std::move(b->lines);
    fTimeLineList = std::move(b->timeline);
    fSWs = std::move(b->searchWords);
    fSettings = b->settings;
    work_done = b->work;
    fNotes = b->notes;
    NotFoundFilesForNotesList = b->notFound;
    NotFoundFilesCount = b->notFoundCount;
    SuggestedFilename = b->suggested;
    dud_compute_files = b->dud;
    fProcessTimes = b->times;
    max_clusters_found = b->maxClusters;
    fTotalFilesToProcess = b->totalFiles;
    MainFile.ListType = b->listType;
    fUnicode = b->unicode;
    ReattachHeldLists();
}

// ---------------------------------------------------------------------------
// The run

void T_WholeMarvexHolder::CopySearchWordItemsToFSWSEtc(const TSearchWordItems& searchWords)
{
    fSWs->TakeOptionsFrom(searchWords);
    for (int i = 0; i < searchWords.Count(); ++i) {
        const TSearch_word_format_rec& item = searchWords.Item(i);
        if (fSWs->IndexOf(item.Typed()) >= 0)
            continue;
        if (!fSWs->InsertSearchWord(fSWs->Count(), item.Typed()))
            continue;
        const int k = fSWs->Count() - 1;
        fSWs->SetEntryIndex(k, item.EntryIndex);
        fSWs->SetContextWords(k, item.ContextWords);
    }
    fConcordanceList->fsearch_words_to_seek = searchWords.PlannedCount();
    fConcordanceList->EnsureSearchWordCount(std::max(searchWords.PlannedCount(), fSWs->Count()));
    // The record's own search word is the document's (first) one: clusters
    // count its spaces into their lengths.
    if (fSWs->Count() > 0)
        fSettings.SetSearchWord(fSWs->Item(0).Typed());
}

bool T_WholeMarvexHolder::MakeConcordance(TSharedChosenFilesClass& chosen, TSearchWordItems& searchWords,
                                          uint8_t batchSwitch, uint8_t kind, int32_t& converted,
                                          TMarvexProgressMethod progress, TBaseSearchItems* contextItems,
                                          TBaseSearchItems* exclusionItems, TBaseSearchItems* tagContextItems,
                                          int32_t batchNumber, bool plotWanted)
try {
    Global_FailureMessage.clear();
    Global_Busy_Dont_Show_Data = true;
    fRunStartMs = QDateTime::currentMSecsSinceEpoch();
    MarkJobStart();
    converted = 0;
    global_panic_state = kPanicRun;
    Global_batch_mode = batchSwitch != 0;
    GlobalProgress().ClearBarsOnly();
    const int count = chosen.FileCount();
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("MakeConcordance: %1 texts chosen").arg(count));

    bool result = count > 0 && searchWords.Count() > 0;
    if (!result) {
        Global_Busy_Dont_Show_Data = false;
        return false;
    }
    std::unique_ptr<TRunBackup> backup = TakeContentsForRun();
    TextNotes.clear();
    fSettings = GetConcSaveRec();
    fCollocateList->ComputeLeftAndRightSpan(fSettings);
    plot_options.rowsBySearchWord = fSettings.PlotRowsBySearchWord();
    searchWords.SetLanguage(ftextsettings.CollationName());
    GlobalProgress().ProgressLongMessage(searchWords.TypedSearchWords().join(u'/'));
    CopySearchWordItemsToFSWSEtc(searchWords);
    LinkLists();

    TSearchAndDoEngine engine(*fSWs, QLocale(ftextsettings.CollationName()));
    MainFile.ListType = kind;
    StartProcessUsingTextTagHandler();
    fTotalFilesToProcess = count;
    const bool combining =
        LanguageHasCombiningCharacters(ftextsettings.LanguageId()) || ftextsettings.CombiningCharacters();

    // The suggested file name: the first search words, then the texts' name.
    {
        QString name;
        const QStringList typed = fSWs->TypedSearchWords();
        for (const QString& w : typed) {
            const QString next = name.isEmpty() ? w : name + QStringLiteral(", ") + w;
            if (next.size() > 60 && !name.isEmpty())
                break;
            name = next;
        }
        const QString texts = chosen.SuggestedFilename();
        if (!texts.isEmpty())
            name += QLatin1Char(' ') + texts;
        SuggestedFilename = AcceptableFilename(name.trimmed());
    }
    if (LoggingIsOn()) {
        AddToLogFile(QStringLiteral("First search-word: \"%1\"").arg(fSWs->Count() > 0 ? fSWs->Item(0).Typed() : QString()));
        AddToLogFile(CVConcordanceList + QStringLiteral(": %1 of %2 wanted per search-word")
                                             .arg(fConcordanceList->Count())
                                             .arg(fSettings.EntriesWantedPerSw()));
    }
    if (Global_batch_mode && Global_BatchProcedures.OnBatchFileNameAndMaxN)
        Global_BatchProcedures.OnBatchFileNameAndMaxN(Global_BatchProcedures.BatchRootFolder, CVConcordanceList, count);
    fConcordanceList->fsearch_words_to_seek = fSWs->PlannedCount();

    const int32_t wanted = fSettings.EntriesWantedPerSw();
    const int64_t lineLimit =
        wanted > 0 ? int64_t(std::lrintf(float(fConcordanceList->fsearch_words_to_seek) * float(wanted))) : INT64_MAX;
    for (int i = 0; i < count && global_panic_state == kPanicRun && fConcordanceList->Count() < lineLimit; ++i) {
        TChosenTextRec text;
        if (!chosen.GetFullFileDetails(i, text))
            continue;
        if (fRunsScript)
            HandleScriptProgress(i, count);
        const int before = fConcordanceList->Count();
        int32_t words = 0;
        uint8_t format = 0, status = 0;
        result = MadeOneFileConcordance(i, count, -1, combining, text, progress, &engine, fSWs.get(), contextItems,
                                        exclusionItems, tagContextItems, batchNumber, kind, words, converted, format,
                                        status);
        if (!result)
            break;
        chosen.SetFileHits(i, Global_batch_mode ? 0 : fConcordanceList->Count() - before);
        chosen.SetFileWords(i, words);
        chosen.SetFileStatus(i, status);
        chosen.SetFileKind(i, format);
    }
    const bool cancelled = global_panic_state >= kPanicStopNow;
    if (cancelled)
        result = false;

    if (result && kind == kListConcordance && Global_batch_mode) {
        RunRequestedComputations(plotWanted);
        if (Global_BatchProcedures.Zip_Too) {
            QString zip = Global_BatchProcedures.ZipShortFilename;
            BatchZipName(zip, Format(CVBatchXZipname, {QStringLiteral("concordance")}));
            result = BatchZipFromTempDir(QStringLiteral(".cnc"), zip, count);
        }
    }
    Global_Busy_Dont_Show_Data = false;

    if (result && kind == kListConcordance) {
        if (!Global_batch_mode)
            RunRequestedComputations(plotWanted);
        if (Using_Stoplist && fSettings.StopListWanted()) {
            // Lines whose hit is a stop word go.
            int removed = 0;
            for (int i = 0; i < fConcordanceList->Count(); ++i) {
                QStringView hit;
                int length = 0;
                if (fConcordanceList->WordAtCollocatePosition(i, kHitPosition, hit, length)
                    && InLoadedStopList(hit.toString())) {
                    fConcordanceList->SetDeleted(i, true, false);
                    ++removed;
                }
            }
            if (removed > 0)
                fConcordanceList->Zap(false);
        }
        if (GetRemoveDuplicatesAutomatically() && fConcordanceList->RemoveDuplicates() > 0)
            fConcordanceList->Zap(false);
        GlobalProgress().ClearBarsOnly();
        GlobalProgress().ProgressShortMessage(CVDone);
        if (!Global_batch_mode) {
            fConcordanceList->SetChangeMark(1u << 8);
            StartStandardNotes(kListConcordance, 0, CVConcordanceList,
                               Format(CVBasedOnNmanyFiles, {count - int(dud_compute_files.size())}));
            if (!fArrayOfSavedTags.empty())
                AddOneDuringMainComputationNote(Format(CVDTagsHandled, {int(fArrayOfSavedTags.size())}));
            AddNoteDetails(TextNotes);
            AddNotesOnSWResults();
            fTextFilesWithoutSearchWord->SortAlphabetically();
            fConcordanceList->SetThreeSorts(fSettings.ThreeSorts());
            fConcordanceList->DoASort(fConcordanceList->Count() - 1);
            fConcordanceList->ToggleMainSortAscends();
            fConcordanceList->SetSortAscending(1, !fConcordanceList->SortLevel(1).ascending);
            fConcordanceList->SetSortAscending(2, !fConcordanceList->SortLevel(2).ascending);
            AddATimingNote();
            fNotes << CVConcordanceList + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.concordance));
            if (!GetFastMinimalProcessing(current_tool_var)) {
                fNotes << CVCollocates + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.collocates))
                       << CVClusters + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.clusters))
                       << CVPatterns + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.patterns))
                       << CVPlots + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.plot))
                       << CVTimelines + QStringLiteral("\t%1 s").arg(Seconds(fProcessTimes.timeline));
            }
            if (GetPostProcessSaveFilenames())
                CopyFilenameDetailsToNotepad();
            if (fConcordanceList->Count() == 0)
                ReportedAFact(QStringLiteral("No concordance lines: %1 not found in %2 texts.")
                                  .arg(fSWs->TypedSearchWords().join(QStringLiteral(", ")))
                                  .arg(count));
        }
        if (fConcordanceList->Count() > 0 && batchNumber > 0)
            result = BatchSaveToTempDir(SuggestedFilename, batchNumber, count, QDateTime::currentDateTimeUtc());
    }
    if (result)
        backup.reset();
    else
        RestoreContents(std::move(backup));
    LinkLists();
    return result;
} catch (const std::bad_alloc&) {
    Global_Busy_Dont_Show_Data = false;
    NotEnoughMemory(QStringLiteral("make the concordance"));
    return false;
}

void T_WholeMarvexHolder::RunRequestedComputations(bool plotWanted)
{
    fProcessTimes = {};
    fProcessTimes.concordance = SecondsSince(fRunStartMs);
    if (GetFastMinimalProcessing(current_tool_var))
        return;
    auto step = [&](auto&& compute, double& time) {
        // A cancel asked for stops the steps still to come.
        if (global_panic_state >= kPanicStopNow)
            return;
        compute();
        time = SecondsSince(fRunStartMs);
    };
    step([&] { ComputeCollocates(); }, fProcessTimes.collocates);
    step([&] { ComputeClusters(false); }, fProcessTimes.clusters);
    step([&] { ComputePatterns(); }, fProcessTimes.patterns);
    if (plotWanted && fSWs->Count() > 0)
        step([&] { ComputePlot(false); }, fProcessTimes.plot);
    step([&] { ComputeTimeline(); }, fProcessTimes.timeline);
}

// ---------------------------------------------------------------------------
// Merging

bool T_WholeMarvexHolder::MergeWith(TCorvantisholder& other, bool withNote)
{
    auto* o = dynamic_cast<T_WholeMarvexHolder*>(&other);
    if (!o || o == this)
        return false;
    const int before = fConcordanceList->Count();
    TConcEntryMergeRecList merges;
    for (int j = 0; j < o->fConcordanceList->Count(); ++j) {
        TMarvexEntryRecBase& b = o->fConcordanceList->Line(j).fData.base;
        b.merge_num = j + 1;
        const int t = o->fTextFilesWithSearchWord->IndexOfTextNumber(b.filename_num_original);
        const QString file = t >= 0 ? o->fTextFilesWithSearchWord->Record(t).DisplayName() : QString();
        const QString sw = b.sw_number >= 0 && b.sw_number < o->fSWs->Count() ? o->fSWs->Item(b.sw_number).Typed()
                                                                                : QString();
        merges.Add({b.merge_num, file, sw});
    }

    // Lines move between the two documents as UTF-16 whatever widths they are stored with.
    if (o->fUnicode && !fUnicode)
        SetUnicode(true);
    const bool thisWide = fConcordanceList->IsUnicode(), otherWide = o->fConcordanceList->IsUnicode();
    fConcordanceList->SetUnicode(true);
    o->fConcordanceList->SetUnicode(true);
    // The other document's text numbers are not this one's until they are mapped below.
    const int32_t knownTexts = std::exchange(fConcordanceList->ReadContext.textCount, -1);
    bool ok = fConcordanceList->MergeWith(*o->fConcordanceList);
    fConcordanceList->ReadContext.textCount = knownTexts;
    fConcordanceList->SetUnicode(thisWide);
    o->fConcordanceList->SetUnicode(otherWide);
    if (ok)
        ok = fTextFilesWithSearchWord->MergeWith(*o->fTextFilesWithSearchWord);
    if (ok) {
        for (int i = 0; i < o->fSWs->Count(); ++i)
            if (fSWs->IndexOf(o->fSWs->Item(i).Typed()) < 0)
                fSWs->InsertSearchWord(fSWs->Count(), o->fSWs->Item(i).Typed());
        fConcordanceList->EnsureSearchWordCount(fSWs->Count());
        for (int k = 0, i = before; i < fConcordanceList->Count(); ++i, ++k) {
            TMarvexEntryRecBase& b = fConcordanceList->Line(i).fData.base;
            const int m = b.merge_num > 0 ? merges.IndexOfN(b.merge_num) : -1;
            if (m >= 0) {
                const int t = fTextFilesWithSearchWord->IndexOfAFilename(merges.Get(m).full_filename);
                if (t >= 0)
                    b.filename_num_original = 1 + fTextFilesWithSearchWord->Record(t).OriginalFilenumber;
            }
            if (k < merges.Count()) {
                const int sw = fSWs->IndexOf(merges.Get(k).search_word);
                b.sw_number = sw;
                if (sw >= 0 && !fConcordanceList->GetDeleted(i))
                    ++fConcordanceList->sws_found_counter[size_t(sw)];
            }
        }
        fSettings.SetRunningTotal(fSettings.RunningTotal() + o->fSettings.RunningTotal());
        fSettings.SetReserved656(fSettings.Reserved656() + o->fSettings.Reserved656());
        fSettings.Set<int32_t>(652, fConcordanceList->Count());
        fTextFilesWithSearchWord->EnsureOrderTableAllocated();
        CheckBothTextFileListsUptoDate();
        LinkLists();
    }
    if (ok)
        ok = TCorvantisholder::MergeWith(other, withNote);
    return ok;
}

void T_WholeMarvexHolder::CheckBothTextFileListsUptoDate()
{
    const bool was = fSettings.CheckingTextLists();
    fSettings.SetCheckingTextLists(true);
    TMarvexFilenamelist& texts = *fTextFilesWithSearchWord;
    std::vector<int32_t> hits(size_t(texts.Count()), 0);
    for (int t = 0; t < texts.Count(); ++t) {
        texts.SetStillInConcordance(t, false);
        texts.SetHits(t, 0);
    }
    for (int i = 0; i < fConcordanceList->Count(); ++i) {
        const int t = texts.IndexOfTextNumber(fConcordanceList->Line(i).fData.base.filename_num_original);
        if (t < 0)
            continue;
        texts.SetStillInConcordance(t, true);
        ++hits[size_t(t)];
    }
    for (int t = texts.Count() - 1; t >= 0; --t) {
        const TMarvexFilenameRec r = texts.Record(t);
        if (r.StillInConcordance) {
            texts.SetHits(t, hits[size_t(t)]);
            continue;
        }
        // A text none of whose lines are left is also a text without lines; it
        // stays in the texts list (its hits now 0). Listed once, however
        // often the lists are brought up to date.
        TUnusedFileRec u;
        u.Juliandate = r.DayNumber();
        u.wordcount = r.WordCount();
        u.filename = r.DisplayName();
        if (fTextFilesWithoutSearchWord->IndexOfAFilename(u.filename) < 0)
            fTextFilesWithoutSearchWord->Add(u);
    }
    texts.Set1Sort(0, TMarvexFilenamelist::kSortShortName);
    texts.DoASort(texts.Count() - 1);
    texts.EnsureOrderTableAllocated();
    fSettings.SetCheckingTextLists(was);
}

bool T_WholeMarvexHolder::CopyFilenamesToChosenTexts(TSharedChosenFilesClass& chosen)
{
    chosen.ClearThem();
    int added = 0;
    const int n = fTextFilesWithSearchWord->Count();
    for (int t = 0; t < n; ++t) {
        const TMarvexFilenameRec r = fTextFilesWithSearchWord->Record(t);
        if (QFileInfo(r.FullFilename).isFile() && chosen.AddRecord(r.ToChosenTextRec()))
            ++added;
    }
    return added > 0 && added == n;
}

void T_WholeMarvexHolder::CopySearchWordHitsToSetColumn()
{
    fConcordanceList->CopySearchWordHitsToSetColumn();
}

// ---------------------------------------------------------------------------
// Notes

void T_WholeMarvexHolder::AddTextSettingsNotes()
{
    TCorvantisholder::AddTextSettingsNotes();
    const TConcSettingsRec32& s = fSettings;
    const QString tab = QStringLiteral("\t");
    const auto yesNo = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
    const bool minimal = GetFastMinimalProcessing(current_tool_var);
    fNotes << Format(CVCurrentXSettings, {CVConcordanceList.toString()});
    fNotes << CVSearchWord + tab + fSWs->TypedSearchWords().join(QStringLiteral(", "));
    if (s.ContextWordsOn())
        fNotes << CVContextPlain + tab + Format(CVContextWordHorizonsXToY, {s.ContextHorizonLeft(), s.ContextHorizonRight()});
    fNotes << CVCollocate + tab + Format(CVCollocateHorizonsXToY, {s.CollocHorizonLeft(), s.CollocHorizonRight()});
    fNotes << Format(CVNmanyCharactersSavedPerEntry, {s.CharactersPerLine()});
    fNotes << CVMinimalProcessing + tab + yesNo(minimal);
    if (Using_Stoplist)
        fNotes << CVStopListItems + tab + GetLemmaMatchStopFilename(current_tool_var, 2);
    if (s.ExclusionWordsOn())
        fNotes << CVExcluding + tab
                + Format(CVContextWordHorizonsXToY, {s.ExclusionHorizonLeft(), s.ExclusionHorizonRight()});
    fNotes << CVClusters + tab + Format(CVXWordClusters, {s.ClusterLengthMin()}) + QStringLiteral(" - ")
            + Format(CVXWordClusters, {s.ClusterLengthMax()});
    fNotes << CVCollocates + tab + Format(CVMinimumXIs, {CVFrequency.toString(), s.MinCollocateFrequency()}) + tab
            + Format(CVMinimumXIs, {CVTexts.toString(), s.MinCollocateTexts()}) + tab + CVMinimumLengthLetters
            + QStringLiteral(": %1").arg(s.MinCollocateLength());
    fNotes << CVCollocates + tab + yesNo(!minimal);
    fNotes << CVPatterns + tab + yesNo(!minimal);
    fNotes << CVPlots + tab + yesNo(!minimal);
    fNotes << CVTimelines + tab + yesNo(!minimal && GetCarryoutProcedureTagBoolean(TagOf(TMenuCommand::Timeline)));
    fNotes << CVClusters + tab + yesNo(!minimal);
    fNotes << (fUnicode ? CVUnicode.toString() : CVSingleByteFormat.toString());
    fNotes << Format(CVTotalXEquals, {s.RunningTotal()});
}

void T_WholeMarvexHolder::AddNotesOnSWResults()
{
    const int lines = fConcordanceList->Count();
    std::vector<int32_t> hits(size_t(fSWs->Count()), 0);
    for (int i = 0; i < lines; ++i) {
        const int32_t sw = fConcordanceList->Line(i).fData.base.sw_number;
        if (!fConcordanceList->GetDeleted(i) && sw >= 0 && sw < fSWs->Count())
            ++hits[size_t(sw)];
    }
    for (int i = 0; i < fSWs->Count(); ++i)
        fSWs->SetHits(i, hits[size_t(i)]);
    if (Using_Stoplist && fSettings.StopListWanted())
        AddOneDuringMainComputationNote(CVStopListItems + QStringLiteral("\t")
                                        + GetLemmaMatchStopFilename(current_tool_var, 2));
    AddOneDuringMainComputationNote(lines == 1 ? CV1Entry.toString() : QStringLiteral("%1 entries").arg(lines));
    if (lines == 0)
        return;
    const int32_t wanted = fSettings.EntriesWantedPerSw();
    if (wanted > 0 && lines >= wanted)
        AddOneDuringMainComputationNote(Format(CVXReachedYourPresetLimitsY, {CVConcordanceList.toString(), wanted}));
    if (fConcordanceList->fHitsNotHeld > 0)
        AddOneDuringMainComputationNote(
            QStringLiteral("%1 more hits were found than the concordance holds: it keeps the first %2 lines (the memory its lines may take)")
                .arg(fConcordanceList->fHitsNotHeld)
                .arg(lines));
    if (fSWs->Count() > 1)
        for (int i = 0; i < fSWs->Count(); ++i)
            AddOneDuringMainComputationNote(Format(
                CVNmanyXFoundForXPercent, {hits[size_t(i)], fSWs->Item(i).Typed(), 100.0 * hits[size_t(i)] / lines}));
}

bool T_WholeMarvexHolder::CopyFilenameDetailsToNotepad()
{
    // Names lost from the texts list come back from the saved document.
    if (fConcordanceList->Dud_CNC_Filenames_found && QFileInfo::exists(OpenedFilename)) {
        T_WholeMarvexHolder saved(fDocumentKind, TagsToTranslate, TextTagHandler, Using_Lemmalist, Using_Stoplist);
        if ((saved.ReadWholeFromFile(OpenedFilename, current_tool_var) & 0xFF) == 1) {
            const int lost = fTextFilesWithSearchWord->IndexOfAFilename(QStringLiteral("lost_filename.txt"));
            if (lost >= 0)
                fTextFilesWithSearchWord->Remove(lost);
            // byte position, word, text number -> file (a std:: map: short
            // of memory it throws, where a QHash would end the program)
            std::unordered_map<QString, QString> fileOf;
            auto key = [](const TMarvexEntryRecBase& b) {
                return QStringLiteral("%1:%2:%3").arg(b.byte_position).arg(b.word_num).arg(b.filename_num_original);
            };
            for (int i = 0; i < saved.fConcordanceList->Count(); ++i) {
                const TMarvexEntryRecBase& b = saved.fConcordanceList->Line(i).fData.base;
                const int t = saved.fTextFilesWithSearchWord->IndexOfTextNumber(b.filename_num_original);
                if (t >= 0)
                    fileOf.insert_or_assign(key(b), saved.fTextFilesWithSearchWord->Record(t).DisplayName());
            }
            for (int i = 0; i < fConcordanceList->Count(); ++i) {
                TMarvexEntryRecBase& b = fConcordanceList->Line(i).fData.base;
                const auto found = fileOf.find(key(b));
                if (found == fileOf.end() || found->second.isEmpty())
                    continue;
                const QString& file = found->second;
                int t = fTextFilesWithSearchWord->IndexOfAFilename(file);
                if (t < 0) {
                    const int st = saved.fTextFilesWithSearchWord->IndexOfAFilename(file);
                    TMarvexFilenameRec r = saved.fTextFilesWithSearchWord->Record(st);
                    int32_t next = 0;
                    for (int32_t n : fTextFilesWithSearchWord->OriginalFilenumbers())
                        next = std::max(next, n + 1);
                    r.OriginalFilenumber = next;
                    t = fTextFilesWithSearchWord->AddRecord(r);
                }
                b.filename_num_original = 1 + fTextFilesWithSearchWord->Record(t).OriginalFilenumber;
            }
            fTextFilesWithSearchWord->EnsureOrderTableAllocated();
            fConcordanceList->Dud_CNC_Filenames_found = false;
        }
    }

    const QLocale locale;
    QStringList quoted;
    for (const QString& w : fSWs->TypedSearchWords())
        quoted << u'"' + w + u'"';
    QStringList out;
    out << quoted.join(QStringLiteral(", "));
    const int texts = fTextFilesWithSearchWord->Count();
    out << QStringLiteral("%1 texts with concordance lines").arg(texts);
    for (int t = 0; t < texts; ++t) {
        const TMarvexFilenameRec r = fTextFilesWithSearchWord->Record(t);
        out << QStringLiteral("(%1) %2\t%3\t%4")
                   .arg(locale.toString(t + 1), r.DisplayName(), locale.toString(r.WordCount()),
                        r.Hits == 1 ? QStringLiteral("1 hit") : QStringLiteral("%1 hits").arg(locale.toString(r.Hits)));
    }
    const int without = fTextFilesWithoutSearchWord->Count();
    out << QStringLiteral("%1 texts without concordance lines").arg(without);
    for (int u = 0; u < without; ++u) {
        const TUnusedFileRec r = fTextFilesWithoutSearchWord->Record(u);
        QString line = QStringLiteral("(%1) %2").arg(locale.toString(u + 1), r.filename);
        if (r.wordcount > 0)
            line += u'\t' + locale.toString(r.wordcount);
        out << line;
    }
    const QString documentName =
        QFileInfo(OpenedFilename.isEmpty() ? SuggestedFilename : OpenedFilename).completeBaseName();
    const QString file = FileInfoTextFilename(documentName, GetLastOpenedFolder(), GetDefaultFolder());
    QString error;
    if (!SaveUtf16TextFile(file, out, &error)) {
        Complain(QStringLiteral("FailedToSave"), error);
        return false;
    }
    if (OnOpenTextFile)
        OnOpenTextFile(file);
    AddOneLaterNote(file);
    return true;
}

// ---------------------------------------------------------------------------
// Menus and settings

void T_WholeMarvexHolder::CheckMenuItemsAfterLoadFromFile()
{
    for (int k = 0; k < TConcSettingsRec32::kColouringOptionCount; ++k)
        TryToSetAMenuItemChecked(TagOf(kColouringTags[k]), HasOption(fSettings.ColouringOptions(), k));
    for (int k = 0; k < TConcSettingsRec32::kDisplayOptionCount; ++k)
        TryToSetAMenuItemChecked(TagOf(kDisplayTags[k]), HasOption(fSettings.DisplayOptions(), k));
    for (int k = 0; k < TConcSettingsRec32::kHideOptionCount; ++k)
        TryToSetAMenuItemChecked(TagOf(kHideTags[k]), HasOption(fSettings.HideOptions(), k));
    TryToSetAMenuItemChecked(TagOf(TMenuCommand::SearchWordPadding), fSettings.SearchWordPaddingChecked());
    TryToSetAMenuItemChecked(TagOf(TMenuCommand::SearchWordHidden), fSettings.SearchWordHiddenChecked());
    TCorvantisholder::CheckMenuItemsAfterLoadFromFile();
}

void T_WholeMarvexHolder::ToggleConcColouringSetting(int tag)
{
    const int option = tag == TagOf(kColouringTags[0]) ? 0 : 1;
    fSettings.SetColouringOptions(Toggled(fSettings.ColouringOptions(), option));
    TryToSetAMenuItemChecked(tag, HasOption(fSettings.ColouringOptions(), option));
    SetConcSaveRecColouringOptions(fSettings.ColouringOptions());
}

void T_WholeMarvexHolder::ToggleHidetags(int tag)
{
    if (tag == TagOf(kDisplayTags[0])) {
        ToggleConcDisplay(tag);
        return;
    }
    const int option = tag - TagOf(kHideTags[0]);
    if (option < 0 || option >= TConcSettingsRec32::kHideOptionCount)
        return;
    fSettings.SetHideOptions(Toggled(fSettings.HideOptions(), option));
    TryToSetAMenuItemChecked(tag, HasOption(fSettings.HideOptions(), option));
    SetConcSaveRecHideOptions(fSettings.HideOptions());
    UpdateCVShell(tag);
}

void T_WholeMarvexHolder::ToggleConcDisplay(int tag)
{
    int option = -1;
    for (int k = 0; k < TConcSettingsRec32::kDisplayOptionCount; ++k)
        if (kDisplayTags[k] != TMenuCommand::Untagged && TagOf(kDisplayTags[k]) == tag)
            option = k;
    if (option < 0)
        return;
    fSettings.SetDisplayOptions(Toggled(fSettings.DisplayOptions(), option));
    SetConcSaveRecDisplayOptions(fSettings.DisplayOptions());
    TryToSetAMenuItemChecked(tag, HasOption(fSettings.DisplayOptions(), option));
    UpdateCVShell(tag);
}

void T_WholeMarvexHolder::UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list, int displayKind)
{
    TCorvantisholder::UpdateSettingsFromTextbuf(code, list, displayKind);
    if (code == kCodeReReadSettings) {
        // The new settings, except what describes this document's own data:
        // its totals, what it has computed, the format it was read in, and
        // the horizons its collocate counts were made with.
        const TConcSettingsRec32 own = fSettings;
        fSettings = GetConcSaveRec();
        auto keep = [&](std::size_t offset, std::size_t size) {
            fSettings.CopyBytesFrom(own.Bytes().subspan(offset, size), offset);
        };
        keep(0, 162);    // the search word of older files
        keep(652, 12);   // lines, further totals and running words
        keep(1723, 4);   // plot, clusters, patterns, collocates computed
        keep(1729, 1);   // association computed
        keep(1763, 1);   // stored-format level
        keep(1779, 1);   // timeline computed
        keep(1783, 1);   // lines carry their own tag flags
        if (work_done.Collocates_computed)
            keep(1704, 4);
        fCollocateList->SetSpan(CollocSpan({fSettings.CollocHorizonLeft(), fSettings.CollocHorizonRight()}));
        if (fConcordanceList->fHasTagFileData)
            TryToUpdateTags();
        LinkLists();
    }
    plot_options.rowsBySearchWord = GetConcSaveRec().PlotRowsBySearchWord();
    fConcPlotList->fSearchWordFirst = plot_options.rowsBySearchWord;
    TextSettings_Language(GetTextSettings().LanguageBlock());
}

void T_WholeMarvexHolder::WriteSettingsToLog(bool success, const QString& routine)
{
    if (LoggingIsOn())
        AddToLogFile(Format(CVSettings + QStringLiteral(": %s success: %s"),
                            {routine, success ? QStringLiteral("true") : QStringLiteral("false")}));
}

bool T_WholeMarvexHolder::TryToUpdateTags()
{
    const auto* handler = dynamic_cast<const TTextTagHandler*>(TextTagHandler);
    if (!handler || handler->TagfileTags().empty())
        return false;
    std::vector<TStoredTagRec> tags;
    if (CopyTagFileTagsToArrayOfSavedTagsDifferent()) {
        for (const TextTagRec& t : handler->TagfileTags())
            tags.push_back(t.stored);
    } else {
        tags = SavedTagsAsStoredArray();
    }
    fConcordanceList->ChangeTagColours(tags);
    return true;
}

} // namespace cv
