#include "keywords/keywords_holder.h"

#include "keywords/kw_compute.h"
#include "model/check_signature.h"
#include "model/stats_list.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/controller_codes.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "suite/excel_writer.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/wdef.h"
#include "wordlist/wordlist_holder.h"

#include <QFileInfo>

namespace cv {

namespace {

QString TitleCased(const QString& text)
{
    QString t = text;
    TCorvantisholder::Capitalised(t, true);
    return t;
}

} // namespace

T_WholeKeywordsHolder::T_WholeKeywordsHolder(uint8_t listType, TTagsToTranslateList* tagsToTranslate,
                                             TTagHandlerBase* tagHandler, bool lemmaListLoaded, bool stopListLoaded,
                                             TDudFileCallback onDudFile, TMainListEntriesCallback onMainListEntries,
                                             TCentreOfMainFormCallback centreOfMainForm)
    : TCorvantisholder(GetTextSettings(), listType, tagsToTranslate, tagHandler, lemmaListLoaded, stopListLoaded,
                       std::move(onDudFile), std::move(onMainListEntries), std::move(centreOfMainForm))
{
    global_panic_state = kPanicRun;
    MainFile.ListType = listType;
    const uint32_t signature = CurrentToolSignature();
    fPlots = std::make_unique<TKWPlotList>(this, signature);
    fKWLinks = std::make_unique<TKWLinkList>(this, signature, fPlots.get());
    fClusterList = std::make_unique<TKWClusterList>(this, signature);
    fKWList = std::make_unique<TKeyWordList>(this, kListKeyWords, signature);
    fKWList->KWSettings = GetKeywordsSettings();
    fmax_link_span = fKWList->KWSettings.MaxLinkSpan();
    fmin_link_span = fKWList->KWSettings.MinLinkSpan();
    fKWList->KWSettings.SetLanguageBlock(ftextsettings.LanguageBlock());
    fKWDBList = std::make_unique<TKWDBList>(this, signature, fKWList->fKWStats.get());
    fKWDBList->GetSettingsFromTEXTBUF();
    fPlotsComputer = [](T_WholeKeywordsHolder& document) { return document.ComputePlots(); };
    ClearHeldLists();
}

T_WholeKeywordsHolder::~T_WholeKeywordsHolder()
{
    // Freed in this order: link clusters, links, plots, database, key words.
    fClusterList.reset();
    fKWLinks.reset();
    fPlots.reset();
    fKWDBList.reset();
    fKWList.reset();
}

void T_WholeKeywordsHolder::RegisterLists()
{
    fCVBaseLists.Clear();
    auto onEntries = [this](const TCVBaseDataClass&, int64_t n) { ReportMainListEntries(n); };
    const bool database = MainFile.ListType == kListKeyWordDatabase;
    if (fKWList)
        fCVBaseLists.Add(fKWList.get(), database ? TCVBaseListList::TEntriesCallback{} : onEntries);
    fCVBaseLists.Add(fPlots.get());
    fCVBaseLists.Add(fKWLinks.get());
    fCVBaseLists.Add(fClusterList.get());
    fCVBaseLists.Add(fKWDBList.get(), database ? onEntries : TCVBaseListList::TEntriesCallback{});
    fCVBaseLists.Add(fKWDBList->fShowingAssociatesList.get());
    if (fKWList)
        fCVBaseLists.Add(fKWList->fKWStats.get());
}

void T_WholeKeywordsHolder::ClearHeldLists()
{
    TCorvantisholder::ClearHeldLists();
    RegisterLists();
    ResetListHeadings();
}

uint64_t T_WholeKeywordsHolder::ChangedListTypes()
{
    return ListTypesWithChangeMark({fKWList.get(), fClusterList.get(), fKWDBList.get(), fKWLinks.get(),
                                    fKWList ? fKWList->fKWStats.get() : nullptr});
}

std::unique_ptr<TKeyWordList> T_WholeKeywordsHolder::SetKWsToNil()
{
    fCVBaseLists.Clear();
    if (fKWDBList && fKWList && fKWDBList->fStatsFileList == fKWList->fKWStats.get())
        fKWDBList->fStatsFileList = nullptr;
    std::unique_ptr<TKeyWordList> list = std::move(fKWList);
    RegisterLists();
    return list;
}

void T_WholeKeywordsHolder::SetKWsToThis(std::unique_ptr<TKeyWordList> list)
{
    fKWList = std::move(list);
    if (fKWDBList)
        fKWDBList->fStatsFileList = fKWList ? fKWList->fKWStats.get() : nullptr;
    RegisterLists();
}

std::unique_ptr<T_WholeWordlistHolder> T_WholeKeywordsHolder::NewWordlistDocument() const
{
    // A new word-list document resets the cancel state; a key-word run must
    // not lose a stop asked for meanwhile.
    const uint8_t panic = global_panic_state;
    auto doc = std::make_unique<T_WholeWordlistHolder>(kListWordList, TagsToTranslate, TextTagHandler, Using_Lemmalist,
                                                       Using_Stoplist, TDudFileCallback{}, TMainListEntriesCallback{},
                                                       [this] { return CentreOfMainForm(); });
    global_panic_state = panic;
    return doc;
}

// ---------------------------------------------------------------------------
// The document's virtual operations

void T_WholeKeywordsHolder::AddTextSettingsNotes()
{
    if (fKWList)
        TextSettings_Language(fKWList->KWSettings.LanguageBlock());
    TCorvantisholder::AddTextSettingsNotes();
    if (MainFile.ListType == kListKeyWordDatabase) {
        const int unused = fKWDBList->UnusedFileCount();
        if (unused > 0) {
            fNotes += fKWDBList->DetailsOfCurrentSettings();
            fNotes << QString(CVFilesNotMeetingSettings) + QLatin1Char('\t') + Format(CVTotalXEquals, {unused});
            int shown = 0;
            for (int i = 0; i < fKWDBList->fComputeKWDBFiles.size(); ++i) {
                if (fKWDBList->fComputeKWDBFileObjects[std::size_t(i)] >= 0)
                    continue;
                if (shown == 4) {
                    fNotes << QStringLiteral("\t\t") + CVEtc;
                    break;
                }
                fNotes << QStringLiteral("\t\t") + fKWDBList->fComputeKWDBFiles[i];
                ++shown;
            }
            fNotes << QStringLiteral("\t\t") + CVSaveTextFileDataCanList;
        }
        return;
    }
    if (!fKWList)
        return;
    const TKeyWordsSettingsRec& k = fKWList->KWSettings;
    fNotes += fKWList->DetailsOfCurrentSettings();
    if (k.MultiTextStudyList() && fKWList->fPercentIgnoredForConsistency > 0)
        fNotes << Format(CVPercentKWsIgnoredforConsistency, {fKWList->fPercentIgnoredForConsistency, double(k.TextPresencePercent())})
                + QLatin1Char('\t');
    if (GetFastMinimalProcessing(current_tool_var)) {
        fNotes << QString(CVMinimalProcessing) + QLatin1Char('\t');
        return;
    }
    if (Using_Stoplist)
        fNotes << QString(CVStopListItems) + QLatin1Char('\t') + Format(CVFunctionNFound, {fKWList->fStopListCount});
    if (!k.MultiTextStudyList()) {
        fNotes << QString(CVKeywordLinks) + QLatin1Char('\t') + Format(CVFunctionNFound, {fKWLinks->Count()});
        fNotes << QString(CVClusters) + QLatin1Char('\t') + Format(CVFunctionNFound, {fClusterList->Count()});
        fNotes << QString(CVPlots) + QLatin1Char('\t') + Format(CVFunctionNFound, {fPlots->Count()});
    }
}

void T_WholeKeywordsHolder::DoStartAnExcelFile(int job)
{
    TCorvantisholder::DoStartAnExcelFile(job);
    fExcelDetailRows = 0;
    fExcelFormat = -1;
    TExcelWriter* x = Excel();
    if (job != 1 || !x)
        return;
    while (x->ExcelSheetCount() < 3)
        x->AddASheet();
    x->SetAnActiveSheetname(1, TitleCased(CVFrequency));
    x->SetAnActiveSheetname(2, TitleCased(CVAlphabetical));
    x->SetAnActiveSheetname(3, TitleCased(CVDetails));
    fExcelFormat = x->AddAFormat(TExcelFormat{});
}

bool T_WholeKeywordsHolder::MergeWith(TCorvantisholder& other, bool withNote)
{
    auto* o = dynamic_cast<T_WholeKeywordsHolder*>(&other);
    if (!o || o == this || !fKWList || !o->fKWList)
        return false;
    // Each list with the other's, stopping at the first that fails: the
    // key-word list (of a database too), the statistics (once: a database
    // shares them with its key-word list), links, link clusters, plots, the
    // database.
    TCVStatsList& stats = *fKWList->fKWStats;
    TCVStatsList& otherStats = *o->fKWList->fKWStats;
    const auto texts = [](TCVStatsList& l) { return l.Count() > 0 ? l.Row(0)->Data().Texts : 0; };
    const int32_t plotsBefore = fPlots->Count();
    const int32_t linksBefore = fKWLinks->Count();
    bool ok = fKWList->MergeEntriesWith(*o->fKWList);
    if (ok && otherStats.Count() > 0) {
        if (stats.Count() == 0)
            stats.CopyRowsFrom(otherStats);
        else
            // Weighed by their own tokens used (the settings' running words are not).
            ok = stats.MergeWith(otherStats, texts(stats) + texts(otherStats), 0, 0);
    }
    ok = ok && fKWLinks->MergeWith(*o->fKWLinks);
    // The other's links name rows of its plot list, which follow this one's.
    if (ok)
        for (int i = linksBefore; i < fKWLinks->Count(); ++i)
            for (TKWLinkEntryLinkedInfoRec& r : fKWLinks->Entry(i).data.linked_words_info)
                r.link_wordtype_nums_1based += plotsBefore;
    ok = ok && fClusterList->MergeWith(*o->fClusterList) && fPlots->MergeWith(*o->fPlots);
    if (ok)
        for (int i = plotsBefore; i < fPlots->Count(); ++i)
            if (fPlots->Entry(i).data.wd_entry_number > 0)
                fPlots->Entry(i).data.wd_entry_number += plotsBefore;
    ok = ok && fKWDBList->MergeDatabaseWith(*o->fKWDBList, false);
    if (!ok)
        return false;
    fKWDBList->ComputeRelatedClusters();
    fKWDBList->ComputeAllAssociates(stats.Count());
    return TCorvantisholder::MergeWith(other, withNote);
}

int T_WholeKeywordsHolder::UpdateSearchReplaceFilenames(const QString& search, const QString& replacement, bool caseSensitive)
{
    const int changed = TCorvantisholder::UpdateSearchReplaceFilenames(search, replacement, caseSensitive);
    if (!fKWList)
        return changed;
    TKeyWordsSettingsRec& k = fKWList->KWSettings;
    if (!QFileInfo::exists(k.SourceTextName()) && fKWList->fKWStats->Count() > 1) {
        const QString name = fKWList->fKWStats->Row(1)->DataFormatted().FileName;
        if (QFileInfo::exists(name))
            k.SetSourceTextName(name.left(260));
    }
    return changed;
}

void T_WholeKeywordsHolder::UpdateSettingsFromTextbuf(int code, TCVBaseDataClass* list, int displayKind)
{
    TCorvantisholder::UpdateSettingsFromTextbuf(code, list, displayKind);
    fKWDBList->GetSettingsFromTEXTBUF();
    if (code != kCodeReReadSettings || !fKWList)
        return;
    const TKeyWordsSettingsRec fresh = GetKeywordsSettings();
    TKeyWordsSettingsRec& k = fKWList->KWSettings;
    k.CopyLinkBlockFrom(fresh);
    fmax_link_span = k.MaxLinkSpan();
    fmin_link_span = k.MinLinkSpan();
    k.SetLanguageBlock(GetTextSettings().LanguageBlock());
    k.SetMaxPValue(fresh.MaxPValue());
    k.SetMinFrequency(fresh.MinFrequency());
    k.SetFurtherStatisticalLimit(fresh.FurtherStatisticalLimit());
    k.SetFurtherStatisticalFlag(fresh.FurtherStatisticalFlag());
    k.SetMinSecondScore(fresh.MinSecondScore());
    k.SetMinThirdScore(fresh.MinThirdScore());
}

void T_WholeKeywordsHolder::WriteSettingsToLog()
{
    if (!LoggingIsOn() || !fKWList)
        return;
    const TKeyWordsSettingsRec& k = fKWList->KWSettings;
    AddToLogFile(QString(CVSettings) + QLatin1Char(':'));
    AddToLogFile(QString(CVLanguage) + QStringLiteral(": ") + k.LanguageName());
    AddToLogFile(QString(CVReferenceCorpus) + QStringLiteral(": ") + k.ReferenceListName());
    AddToLogFile(QString(CVSourceText) + QStringLiteral(": ") + k.SourceTextName());
}

bool T_WholeKeywordsHolder::AddToZipFile(const QString& archive, const QString& entryName)
{
    if (MainFile.ListType != kListKeyWordDatabase)
        MainFile.ListType = kListKeyWords;
    return TCorvantisholder::AddToZipFile(archive, entryName);
}

// ---------------------------------------------------------------------------
// The file

bool T_WholeKeywordsHolder::ReadWholeFromFile(const QString& fileName)
{
    return (ReadWholeFromFile(fileName, current_tool_var) & 0xFF) == 1;
}

bool T_WholeKeywordsHolder::SaveToStream(TStream& s)
{
    if (!fKWList)
        return false;
    const bool database = MainFile.ListType == kListKeyWordDatabase;
    CorvantisHolderMainListCount(database ? fKWDBList->Count() : fKWList->Count());
    // Lists are stored in the document's language, as reading sets them.
    SetCVBaseListsLCIDToTextSettingsLCID();
    // The flags say what the lists hold, as reading the file will find them.
    if (!database) {
        fKWList->KWSettings.SetPlotsComputed(fPlots->Count() > 0);
        fKWList->KWSettings.SetLinksComputed(fKWLinks->Count() > 0 || fClusterList->Count() > 0);
    }
    try {
        return TCorvantisholder::SaveToStream(s) && SaveBlocks(s);
    } catch (...) {
        return false;
    }
}

bool T_WholeKeywordsHolder::SaveBlocks(TStream& s)
{
    // The colour block follows the record in the form its version names.
    fKWList->KWSettings.SetColourBlockVersion(kColourBlockVersion);
    if (!KWSettingsSaved(s, fKWList->KWSettings) || !SavedColours(s) || !SavedNotes(s) || !SavedTextSettings(s))
        return false;
    if (MainFile.ListType == kListKeyWordDatabase)
        return fKWDBList->SaveToStream(s);
    return fKWList->SaveToStream(s) && fClusterList->SaveToStream(s) && fPlots->SaveToStream(s)
        && fKWLinks->SaveToStream(s) && s.WriteI32(fPlots->words_in_file);
}

bool T_WholeKeywordsHolder::ReadWholeFromStream(TStream& s)
{
    const uint32_t languageBefore = ftextsettings.LanguageId();
    bool ok = false;
    try {
        ok = TCorvantisholder::ReadWholeFromStream(s);
        if (ok) {
            const uint8_t kind = DiskFileType();
            if (kind != kListKeyWords && kind != kListKeyWordDatabase) {
                SetReadError(kReadWrongKind, QStringLiteral("it is a %1 file, not a key-word file").arg(ListTypeName(kind)));
                ok = false;
            } else if (!ReadBlocks(s, kind)) {
                SetReadError(kReadDamaged, QStringLiteral("the file is cut short or damaged"));
                ok = false;
            } else {
                MainFile.ListType = kind;
                if (!SamePrimaryLanguage(languageBefore, ftextsettings.LanguageId()))
                    GlobalProgress().ProgressShortMessage(ftextsettings.LanguageName());
            }
        }
    } catch (...) {
        SetReadError(kReadDamaged, QStringLiteral("the file is damaged"));
        ok = false;
    }
    if (ok)
        SetUnicode(MainFile.ListType == kListKeyWordDatabase ? fKWDBList->IsUnicode() : fKWList->IsUnicode());
    if (LoggingIsOn()) {
        AddToLogFile(QStringLiteral("ReadWholeFromStream %1").arg(ok ? QStringLiteral("succeeded") : QStringLiteral("failed")));
        WriteSettingsToLog();
    }
    NoteFileRead(ok);
    GlobalProgress().ProgressShortMessage(QString());
    Global_Busy_Dont_Show_Data = false;
    return ok;
}

bool T_WholeKeywordsHolder::ReadBlocks(TStream& s, uint8_t kind)
{
    // Read into fresh lists: a damaged file leaves the document as it was.
    const uint32_t signature = CurrentToolSignature();
    auto keyWords = std::make_unique<TKeyWordList>(this, kListKeyWords, signature);
    auto plots = std::make_unique<TKWPlotList>(this, signature);
    auto links = std::make_unique<TKWLinkList>(this, signature, plots.get());
    auto clusters = std::make_unique<TKWClusterList>(this, signature);
    auto database = std::make_unique<TKWDBList>(this, signature, keyWords->fKWStats.get());
    std::array<uint8_t, kColourBlockSize> colours{};
    const QStringList notesBefore = fNotes;
    const TTextSettings textBefore = ftextsettings;
    const TPlotSettings plotSettingsBefore = plot_settings;
    auto restore = [&] {
        fNotes = notesBefore;
        ftextsettings = textBefore;
        plot_settings = plotSettingsBefore;
        return false;
    };
    if (!KWSettingsRead(s, keyWords->KWSettings))
        return restore();
    // The colour block as the record's colour version has it: none before
    // version 1, 192 bytes in version 1; a later version is not known here.
    const int32_t colourVersion = keyWords->KWSettings.ColourBlockVersion();
    if (colourVersion > kColourBlockVersion || (colourVersion >= 1 && !ReadColours(s, colours)))
        return restore();
    if (!ReadNotes(s) || !ReadTextSettings(s))
        return restore();
    int32_t wordsInFile = 0;
    if (kind == kListKeyWordDatabase) {
        if (!database->ReadFromStream(s))
            return restore();
    } else {
        if (!keyWords->ReadFromStream(s) || !clusters->ReadFromStream(s) || !plots->ReadFromStream(s)
            || !links->ReadFromStream(s) || !s.ReadI32(wordsInFile))
            return restore();
        plots->words_in_file = wordsInFile;
        keyWords->KWSettings.SetPlotsComputed(plots->Count() > 0);
        keyWords->KWSettings.SetLinksComputed(links->Count() > 0 || clusters->Count() > 0);
        // The statistics in the order of their first column (the order the texts were read in).
        keyWords->fKWStats->SetSort(ss_RowNumber);
        keyWords->fKWStats->CompleteResort();
    }
    fColours = colours;
    fCVBaseLists.Clear();
    fClusterList = std::move(clusters);
    fKWLinks = std::move(links);
    fPlots = std::move(plots);
    fKWDBList = std::move(database);
    fKWList = std::move(keyWords);
    fmax_link_span = fKWList->KWSettings.MaxLinkSpan();
    fmin_link_span = fKWList->KWSettings.MinLinkSpan();
    MainFile.ListType = kind;
    RegisterLists();
    SetCVBaseListsLCIDToTextSettingsLCID();
    // HasAllDataFields stays as the file's data says (read with the base block).
    return true;
}

} // namespace cv
