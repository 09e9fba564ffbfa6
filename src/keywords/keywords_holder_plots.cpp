// Part of T_WholeKeywordsHolder (keywords/keywords_holder.h), kept apart from
// the document's lists and file: the dispersion plots of the key words of
// one text (the plot rows themselves are kw_plots.h). One concordance of the
// source text with every positive key word as a search word of the same run
// (the text is read and cut into words once for all of them), then the
// concordance's dispersion plot, whose rows become the key-word plot rows.
// Also the document's own run of the plots and, when asked, the links.

#include "keywords/keywords_holder.h"

#include "concordance/marvex_holder.h"
#include "model/chosen_text_rec.h"
#include "model/stats_list.h"
#include "runtime/language_list.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/search_engine.h"
#include "suite/wildcard.h"
#include "textread/tag_handler.h"

#include <QFileInfo>

#include <algorithm>
#include <string>
#include <unordered_set>

namespace cv {

namespace {

// The text record of the source text. A text read from inside a zip archive
// is named in the statistics by the archive and the entry: the concordance
// must read the entry, not the archive.
TChosenTextRec SourceTextRecord(const QString& source, const TCVStatsList* stats)
{
    TChosenTextRec text;
    text.FullFilename = source;
    text.FileSize = QFileInfo(source).size();
    if (stats && stats->Count() > 1) {
        const TStatsRec r = stats->Row(1)->DataFormatted();
        if (!r.ZipEntryName.isEmpty() && r.FileName == source)
            text.ZipEntryName = r.ZipEntryName;
    }
    return text;
}

// The positive key words of the list as search words, each remembering its
// entry. A word the search words already hold (as they compare words) is
// not added twice; a word that cannot be searched for is left out.
void AddKeyWordsAsSearchWords(const TKeyWordList& keyWords, TSearchWordItems& sws)
{
    const TFoldTable& fold = sws.Language().isEmpty() ? TFoldTable::Standard() : TFoldTable::ForLocale(QLocale(sws.Language()));
    std::unordered_set<std::u16string> present;
    for (int i = 0; i < keyWords.Count() && global_panic_state < kPanicStopNow; ++i) {
        if (keyWords.GetDeleted(i))
            continue;
        const TKeyWordEntry& e = keyWords.Entry(i);
        if (e.fData.Negative)
            continue;
        // One word each: a "/" inside a word is no list of search words here.
        if (!sws.InsertSearchWord(sws.Count(), e.fWord))
            continue;
        const int last = sws.Count() - 1;
        const std::u16string_view typed(reinterpret_cast<const char16_t*>(sws.Item(last).Typed().utf16()),
                                        std::size_t(sws.Item(last).Typed().size()));
        if (!present.insert(sws.CaseSensitive() ? std::u16string(typed) : fold.Folded(typed)).second) {
            sws.Delete(last);
            continue;
        }
        sws.SetEntryIndex(last, i);
    }
}

} // namespace

bool T_WholeKeywordsHolder::ComputePlots()
{
    Global_FailureMessage.clear();
    if (!fKWList || !fPlots)
        return false;
    TKeyWordsSettingsRec& k = fKWList->KWSettings;
    // A list of many texts has no one text to place its key words in.
    if (k.MultiTextStudyList()) {
        k.SetPlotsComputed(false);
        return false;
    }

    const QString source = k.SourceTextName();
    if (!QFileInfo::exists(source)) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("Failed to find %1").arg(source));
        // With messages off the failure is recorded; otherwise it is said
        // once per document (a batch run too, which then goes on without plots).
        if (Global_run_without_error_messages) {
            Global_FailureMessage = Format(CVCouldnTFindFileS, {source});
        } else if (!FailedToFindAText) {
            GlobalProgress().Hide();
            FailedToFind(source);
            FailedToFindAText = true;
        }
        k.SetPlotsComputed(false);
        return false;
    }
    if (fPlots->ListBusy() != kListNotBusy) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("Quitting ComputePlots because busy"));
        return false;
    }
    fPlots->SetListBusy(kListBusy);
    bool result = false;
    // The plot list is marked not busy and the outcome recorded however the
    // computation ends; a batch run's switch comes back after the one-text
    // concordance, which must not save itself as a batch result.
    struct TEnd {
        T_WholeKeywordsHolder& doc;
        bool& result;
        bool batchBefore = Global_batch_mode;
        ~TEnd()
        {
            Global_batch_mode = batchBefore;
            if (doc.fKWList)
                doc.fKWList->KWSettings.SetPlotsComputed(result);
            doc.fPlots->SetListBusy(kListNotBusy);
        }
    } end{*this, result};

    // The concordance document of the run. Making a document resets the
    // cancel state; a stop asked for meanwhile must not be lost.
    const TTextSettings text = GetTextSettings();
    TMarvexTextTagHandler tags(text.LanguageId(), text.CodePage(), TTagOptions::FromSettings(text));
    tags.SetTagsToTranslateList(TagsToTranslate);
    const uint8_t panic = global_panic_state;
    T_WholeMarvexHolder conc(kListConcordance, TagsToTranslate, &tags, Using_Lemmalist, Using_Stoplist,
                             [](const QString&) { return 0; }, TMainListEntriesCallback{},
                             [this] { return CentreOfMainForm(); });
    global_panic_state = panic;
    conc.LoadStopListIfWanted();
    Using_Stoplist = conc.fSettings.StopListWanted()
                     && TLemmatiser::Instance().IsLoaded(current_tool_var, TLemmatiserListKind::Stop);
    conc.Using_Stoplist = Using_Stoplist;
    conc.SetUnicode(fUnicode);
    conc.plot_settings = plot_settings;
    // Every occurrence of every key word is wanted (no limit, no gap between
    // hits), phrases match across punctuation; only this run's copy of the
    // settings changes, not the user's.
    conc.fSettings.SetEntriesWantedPerSw(2147483647);
    conc.fSettings.SetLastWordGap(-1);
    conc.fSettings.SetSkipPunctuation(true);
    conc.StartProcessUsingTextTagHandler();

    TSearchWordItems& sws = *conc.fSWs;
    sws.SetLanguage(conc.ftextsettings.CollationName());
    AddKeyWordsAsSearchWords(*fKWList, sws);
    fPlots->ClearKeepingHeadings();
    if (sws.Count() == 0 || global_panic_state >= kPanicStopNow)
        return false;

    TSearchAndDoEngine engine(sws, QLocale(conc.ftextsettings.CollationName()));
    const bool combining =
        LanguageHasCombiningCharacters(ftextsettings.LanguageId()) || ftextsettings.CombiningCharacters();
    conc.fConcordanceList->EnsureSearchWordCount(sws.Count());
    int32_t words = 0, converted = 0;
    uint8_t format = 0, status = 0;
    Global_batch_mode = false;
    // The key words one at a time (555: any number from 0 says so).
    const bool concordanced = conc.MadeOneFileConcordance(0, 1, 555, combining, SourceTextRecord(source, fKWList->fKWStats.get()),
                                                          nullptr, &engine, &sws, nullptr, nullptr, nullptr, 0,
                                                          kListConcordance, words, converted, format, status);
    // What the reading noted of the text goes into the key words' notes.
    AddNoteDetails(conc.TextNotes);
    if (!concordanced || global_panic_state >= kPanicStopNow || !conc.ComputePlot(false))
        return false;

    // The rows: one per key word found, in the order of the key words, each
    // taking over the concordance row's positions; the overall row pools them.
    const int32_t divisions = std::max(2, GetRulerPlotWordCloudFeatures().Divisions());
    TKWPlot_entry_rec overall;
    overall.IsOverallEntry = true;
    overall.divisions = divisions;
    auto overallPositions = std::make_unique<TGeneralPlotDataList>(0, divisions);
    fPlots->sw_limit_reached = conc.fConcordanceList->sw_limit_reached;
    fPlots->words_in_file = words;
    const TConcPlotList& rows = *conc.fConcPlotList;
    for (int j = 0; j < rows.Count(); ++j) {
        TConcordancePlotEntry& row = *rows.Entry(j);
        const TVersion21PlotEntryRec& d = row.Data();
        const int sw = d.plot_search_word_number;
        const int entry = sw >= 0 && sw < sws.Count() ? sws.Item(sw).EntryIndex : -1;
        if (entry < 0 || entry >= fKWList->Count())
            continue;
        const TKeyWordRec& kw = fKWList->Entry(entry).fData;
        overall.words_in_file = std::max(overall.words_in_file, d.words_in_file);
        overall.hits += d.hits;
        overallPositions->AddFrom(row.Positions());
        TKWPlot_entry_rec r;
        r.dispersion = d.dispersion_value;
        r.divisions = divisions;
        r.words_in_file = d.words_in_file;
        r.hits = d.hits;
        r.plot_keyness = k.PlotKeynessFromSecondScore() ? kw.SecondScore : kw.Keyness;
        r.wd_entry_number = fPlots->Count() + 1;
        fPlots->AddRow(r, sws.Item(sw).Typed(), std::make_unique<TGeneralPlotDataList>(std::move(row.Positions())));
    }
    overallPositions->SetExtent(overall.words_in_file);
    overallPositions->SortByPosition();
    overall.dispersion = overallPositions->ComputedDispersion();
    fPlots->ResetOverallEntry(CVOverall.toString(), divisions);
    fPlots->OverallPlotEntry->data = overall;
    fPlots->OverallPlotEntry->SetPlotPositions(std::move(overallPositions));
    fPlots->reliable_Kwlink_numbers = true;
    result = true;
    return true;
}

bool T_WholeKeywordsHolder::RunRequestedComputations(bool linksWanted)
{
    if (!fKWList || fKWList->Count() == 0)
        return false;
    // Asked for, the plots are tried even when the text seems missing, so
    // that the user hears why there are none.
    MakePlotsIfTextFound(1);
    const bool plotted = fKWList->KWSettings.PlotsComputed() && fPlots->Count() > 0;
    if (plotted && linksWanted)
        ComputeAllLinks();
    return plotted;
}

} // namespace cv
