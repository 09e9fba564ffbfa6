#include "concordance/marvex_holder.h"

#include "model/batch_procedures.h"
#include "model/check_signature.h"
#include "runtime/controller_link.h"
#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/text_codec.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <cmath>
#include <optional>
#include <stdexcept>

namespace cv {

QString HumanAbbreviatedNumberListString(std::vector<int32_t> zeroBased)
{
    std::sort(zeroBased.begin(), zeroBased.end());
    zeroBased.erase(std::unique(zeroBased.begin(), zeroBased.end()), zeroBased.end());
    QStringList parts;
    for (size_t i = 0; i < zeroBased.size();) {
        size_t j = i;
        while (j + 1 < zeroBased.size() && zeroBased[j + 1] == zeroBased[j] + 1)
            ++j;
        const int32_t a = zeroBased[i] + 1, b = zeroBased[j] + 1;
        parts << (a == b ? QString::number(a) : QStringLiteral("%1-%2").arg(a).arg(b));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

// ---------------------------------------------------------------------------
// Construction

T_WholeMarvexHolder::T_WholeMarvexHolder(uint8_t kind, TTagsToTranslateList* tagsToTranslate,
                                         TTagHandlerBase* textTagHandler, bool usingLemmalist, bool usingStoplist,
                                         TDudFileCallback onDudFile, TMainListEntriesCallback onMainListEntries,
                                         TCentreOfMainFormCallback centreOfMainForm)
    : TCorvantisholder(GetTextSettings(), kind, tagsToTranslate, textTagHandler, usingLemmalist, usingStoplist,
                       std::move(onDudFile), std::move(onMainListEntries), std::move(centreOfMainForm)),
      fDocumentKind(kind)
{
    const uint32_t signature = CurrentToolSignature();
    fTextFilesWithSearchWord = std::make_unique<TMarvexFilenamelist>(this, signature);
    global_panic_state = kPanicRun;
    MainFile.ListType = kind;
    fSettings = GetConcSaveRec();
    fClusterList = std::make_unique<TConcordanceClusterList>(this, signature);
    fConcPlotList = std::make_unique<TConcPlotList>(this, signature);
    fPatternsList = std::make_unique<TPatternsList>(this, signature);
    fConcordanceList = std::make_unique<TConcordanceList>(this, kind, signature);
    fCollocateList = std::make_unique<TCollocateList>(this, signature);
    fCollocateList->ComputeLeftAndRightSpan(fSettings);
    fTimeLineList = std::make_unique<TTimelineList>(this, signature);
    fTextFilesWithoutSearchWord = std::make_unique<TUnusedFileList>();
    ClearHeldLists();
    CopyTagFileTagsToArrayOfSavedTagsDifferent();
    fSWs = std::make_unique<TSearchWordItems>();
    plot_options.rowsBySearchWord = fSettings.PlotRowsBySearchWord();
    LinkLists();
}

T_WholeMarvexHolder::~T_WholeMarvexHolder()
{
    // The register does not own the lists; forget them before they go.
    fCVBaseLists.Clear();
}

void T_WholeMarvexHolder::LinkLists()
{
    fConcordanceList->fFileNameOf = [this](int32_t n, bool full) { return TextNameOf(n, full); };
    fConcordanceList->fEntriesWantedPerSW = fSettings.EntriesWantedPerSw();
    fConcPlotList->fFullFilenameOf = [this](int32_t n) { return TextNameOf(n, true); };
    fConcPlotList->fSearchWordOf = [this](int32_t sw) {
        return sw >= 0 && sw < fSWs->Count() ? fSWs->Item(sw).Typed() : QString();
    };
    fConcPlotList->fSearchWordFirst = plot_options.rowsBySearchWord;
    fConcPlotList->fSearchWordCount = fSWs ? fSWs->Count() : 0;
    fCollocateList->fSearchWordTexts = fSWs ? fSWs->TypedSearchWords() : QStringList();
    fCollocateList->fTextCount = fTextFilesWithSearchWord->Count();
    fCollocateList->fLineCount = fConcordanceList->Count();
}

QString T_WholeMarvexHolder::TextNameOf(int32_t textNumber, bool full) const
{
    const int i = fTextFilesWithSearchWord->IndexOfTextNumber(textNumber);
    if (i < 0)
        return {};
    const TMarvexFilenameRec r = fTextFilesWithSearchWord->Record(i);
    return full ? r.DisplayName() : r.ShortName();
}

int32_t T_WholeMarvexHolder::WordsOfText(int32_t textNumber) const
{
    const int i = fTextFilesWithSearchWord->IndexOfTextNumber(textNumber);
    return i < 0 ? 0 : fTextFilesWithSearchWord->Record(i).WordCount();
}

// ---------------------------------------------------------------------------
// Overrides

void T_WholeMarvexHolder::SetUnicodeFromSettings(const TTextSettings& settings)
{
    SetUnicode(settings.Unicode());
}

uint64_t T_WholeMarvexHolder::ChangedListTypes()
{
    return ListTypesWithChangeMark({fConcordanceList.get(), fClusterList.get(), fConcPlotList.get(),
                                    fPatternsList.get(), fCollocateList.get(), fTimeLineList.get()});
}

void T_WholeMarvexHolder::RegisterLists()
{
    fCVBaseLists.Clear();
    for (TCVBaseDataClass* l :
         std::initializer_list<TCVBaseDataClass*>{fConcordanceList.get(), fCollocateList.get(), fConcPlotList.get(),
                                                  fPatternsList.get(), fClusterList.get(), fTimeLineList.get(),
                                                  fTextFilesWithSearchWord.get()})
        fCVBaseLists.Add(l);
}

void T_WholeMarvexHolder::ClearHeldLists()
{
    TCorvantisholder::ClearHeldLists();
    RegisterLists();
    ResetListHeadings();
}

// ---------------------------------------------------------------------------
// The one-text run

uint8_t TextFormatCode(const TChosenTextRec& text, const TFileHandledInfo& handled)
{
    if (text.InsideZip())
        return 32;
    return handled.TwoByteText() ? 4 : 1;
}

bool ReadTextConvertingWhenAsked(TBufferProcessor& reader, int32_t count, const TChosenTextRec& text,
                                 uint32_t codePage, int32_t& converted, QString* conversionError)
{
    for (;;) {
        reader.PleaseConvertTheFileToUnicode = false;
        if (reader.ReadAndProcess(count))
            return true;
        if (!reader.PleaseConvertTheFileToUnicode)
            return false;
        // Only a loose file can be rewritten; a converted text is read again.
        QString error;
        if (text.InsideZip()) {
            error = QStringLiteral("Cannot convert \"%1\" to UTF-16: it is inside a zip archive").arg(text.DisplayName());
        } else if (ConvertATextFileAnsiToUTF16(text.FullFilename, codePage, &error)) {
            ++converted;
            continue;
        }
        if (conversionError)
            *conversionError = error;
        return false;
    }
}

bool T_WholeMarvexHolder::MadeOneFileConcordance(int32_t index, int32_t count, int32_t oneAtATime, bool combining,
                                                 const TChosenTextRec& text, TMarvexProgressMethod progress,
                                                 TSearchAndDoEngine* engine, TSearchWordItems* searchWords,
                                                 TBaseSearchItems* contextItems, TBaseSearchItems* exclusionItems,
                                                 TBaseSearchItems* tagContextItems, int32_t number, uint8_t kind,
                                                 int32_t& words, int32_t& converted, uint8_t& format, uint8_t& status)
{
    const TChosenTextRec thisText = text;
    const QFileInfo info(thisText.FullFilename);
    bool ok = true;
    words = 0;
    format = 0;
    status = 1;
    if (LoggingIsOn()) {
        AddToLogFile(CVFolder + QStringLiteral(": ") + info.absolutePath());
        AddToLogFile(CVFilename + QStringLiteral(": ") + info.fileName());
        AddToLogFile(CVHits + QStringLiteral(": ")
                     + Format(u"%d of %d wanted per search-word",
                              {fConcordanceList->Count(), fSettings.EntriesWantedPerSw()}));
    }
    if (!searchWords)
        searchWords = fSWs.get();
    const int textIndex = fTextFilesWithSearchWord->AddText(thisText, fTextFilesWithSearchWord->Count());
    fConcordanceList->current_ConcFileEntry = textIndex + 1;
    fConcordanceList->fEntriesWantedPerSW = fSettings.EntriesWantedPerSw();
    fConcordanceList->EnsureSearchWordCount(searchWords->Count());
    fConcordanceList->fsearch_words_to_seek = std::max(fConcordanceList->fsearch_words_to_seek, searchWords->PlannedCount());
    const int linesBefore = fConcordanceList->Count();

    TProgressClass& progressBar = GlobalProgress();
    if ((count & 15) == 15)
        progressBar.Memory();
    progressBar.RunningWords(fSettings.RunningTotal());
    progressBar.ThisPercent(0);
    progressBar.OverallPercent(count > 0 ? int(int64_t(index) * 100 / count) : 0);

    TMarvexDocumentLink link;
    link.document = this;
    link.lines = fConcordanceList.get();
    link.settings = fSettings;
    link.textSettings = ftextsettings;
    link.onUnicodeChange = [this](bool unicode) {
        if (unicode != fUnicode)
            SetUnicode(unicode);
    };
    {
        TMarvexBufferProcessor processor(link, index == 0, std::move(progress), searchWords, contextItems,
                                         exclusionItems, tagContextItems, engine, kListConcordance,
                                         combining ? 1 : 0, oneAtATime >= 0, thisText,
                                         dynamic_cast<TTextTagHandler*>(TextTagHandler));
        if (!fJumpList.empty()) {
            std::vector<int32_t> wanted;
            for (const TMarvexPosition& p : fJumpList)
                if (p.text == index)
                    wanted.push_back(p.word);
            // In force for every text of the run: a text with no position asked for gives no line.
            processor.SetJumpList(std::move(wanted));
        }
        processor.SetShowFailureMessages(false); // told once, below
        QString conversionError;
        ok = ReadTextConvertingWhenAsked(processor, count, thisText, fCodePage ? fCodePage : ftextsettings.CodePage(),
                                         converted, &conversionError);
        if (ok) {
            TextNotes << processor.ReadNotes();
            words = Global_OneFilesStats.Words;
            format = TextFormatCode(thisText, processor.FileHandledInfo);
            status = processor.FileHandledInfo.NotProcessed() ? 2 : 1;
            fTextFilesWithSearchWord->SetWords(textIndex, words);
            fTextFilesWithSearchWord->SetHits(textIndex, fConcordanceList->Count() - linesBefore);
            fSettings.SetRunningTotal(fSettings.RunningTotal() + words);
        } else {
            status = 2;
            // With messages off the dialog module keeps the text in Global_FailureMessage.
            if (!processor.Cancelled())
                StoppedWhenProcessingX(thisText.DisplayName() + QStringLiteral(": ")
                                       + (conversionError.isEmpty() ? processor.LastError() : conversionError)
                                       + QLatin1Char(' ')
                                       + BugReportText(Tool_Name(current_tool_var), QStringLiteral("MadeOneFileConcordance")));
        }
    }
    (void)number;

    const int added = fConcordanceList->Count() - linesBefore;
    if (added == 0) {
        if (status == 1) {
            TUnusedFileRec r;
            r.Juliandate = DayNumberFromDateTime(thisText.FileTime);
            r.wordcount = words;
            r.filename = thisText.DisplayName();
            fTextFilesWithoutSearchWord->Add(r);
            if (NotFoundFilesForNotesList.size() < 5)
                NotFoundFilesForNotesList << info.fileName();
            else
                NotFoundFilesCount = fTextFilesWithoutSearchWord->Count();
        }
        fTextFilesWithSearchWord->Remove(fTextFilesWithSearchWord->Count() - 1);
    }

    if (kind == kListConcordance && Global_batch_mode) {
        fSettings.SetRunningTotal(0);
        if (added > 0) {
            // The batch save counts the file it saves.
            const int32_t counter = Global_BatchProcedures.files_saved + 1;
            StartStandardNotes(kListConcordance, counter, CVConcordanceList, info.fileName());
            AddNoteDetails(TextNotes);
            if (ok)
                ok = BatchSaveToTempDir(info.completeBaseName(), counter, count, thisText.FileTime);
        }
        // Each text of a batch is a document of its own.
        TextNotes.clear();
        searchWords->ClearHits();
        fConcordanceList->Clear();
        fTextFilesWithSearchWord->Clear();
        fTextFilesWithoutSearchWord->Clear();
    }
    LinkLists();
    return ok;
}

// ---------------------------------------------------------------------------
// The dispersion plot

namespace {

// Names joined by " ," until the label reaches 20 characters; past that, the
// numbers in their short form.
QString PartLabel(const std::vector<int32_t>& members, const QStringList& names, const TResourceString& longForm)
{
    QString label;
    for (int32_t m : members) {
        const QString name = names.value(m);
        if (!label.isEmpty())
            label += QStringLiteral(" ,");
        label += name;
        if (label.size() >= 20)
            return Format(longForm, {HumanAbbreviatedNumberListString(members)});
    }
    return label;
}

int PartOf(const std::vector<std::vector<int32_t>>& parts, int32_t member)
{
    for (size_t p = 0; p < parts.size(); ++p)
        if (std::find(parts[p].begin(), parts[p].end(), member) != parts[p].end())
            return int(p);
    return -1;
}

} // namespace

bool T_WholeMarvexHolder::ComputePlot(bool byParts)
{
    const int32_t divisions = std::max(2, GetRulerPlotWordCloudFeatures().Divisions());
    fConcPlotList->Clear();
    const int texts = fTextFilesWithSearchWord->Count();
    const int sws = fSWs->Count();
    if (texts == 0 || fConcordanceList->Count() == 0)
        return false;
    if (sws == 0)
        throw std::runtime_error("ComputePlot error: no search-words");

    const int textParts = std::min<int>(int(plot_options.textParts.size()), texts);
    const int swParts = std::min<int>(int(plot_options.searchWordParts.size()), sws);
    const int rowCount = byParts ? swParts * textParts : texts * sws;
    const bool bySw = plot_options.rowsBySearchWord;
    auto rowNumber = [&](int t, int s) {
        const int nt = byParts ? textParts : texts;
        const int ns = byParts ? swParts : sws;
        return bySw ? s + ns * t : t + nt * s;
    };
    GlobalProgress().ProgressShortMessage(CVPlots);
    fConcPlotList->ResetOverallEntry(divisions);

    QStringList names;
    std::vector<int32_t> textWords(size_t(texts), 0);
    // Summed wide: the texts of a large corpus (or a damaged file's counts)
    // pass the 32 bits the plot keeps, which then holds the most it can.
    int64_t totalWords = 0;
    int32_t largest = 0;
    for (int t = 0; t < texts; ++t) {
        const TMarvexFilenameRec r = fTextFilesWithSearchWord->Record(t);
        names << QFileInfo(r.ShortName()).completeBaseName();
        textWords[size_t(t)] = r.WordCount();
        totalWords += textWords[size_t(t)];
        largest = std::max(largest, textWords[size_t(t)]);
    }
    const auto keptTotal = int32_t(std::min<int64_t>(totalWords, std::numeric_limits<int32_t>::max()));
    fConcPlotList->words_in_all_relevant_files = keptTotal;
    fConcPlotList->words_in_largest_file = largest;
    const QStringList plainSws = fSWs->PlainSearchWords();

    const int lines = fConcordanceList->Count();
    // The text (list index) and search word of each line; -1 when the line is left out.
    auto lineTextAndSw = [&](int i, int& t, int& s) {
        const TMarvexEntryRec& rec = fConcordanceList->Line(i).fData;
        t = fTextFilesWithSearchWord->IndexOfTextNumber(rec.base.filename_num_original);
        s = rec.base.sw_number;
        return t >= 0 && t < texts && s >= 0 && s < sws && textWords[size_t(t)] > 0;
    };
    auto rowOf = [&](int t, int s) {
        if (!byParts)
            return rowNumber(t, s);
        const int tp = PartOf(plot_options.textParts, t), sp = PartOf(plot_options.searchWordParts, s);
        if (tp < 0 || sp < 0 || tp >= textParts || sp >= swParts)
            return -1;
        const int r = rowNumber(tp, sp);
        return r < rowCount ? r : -1;
    };

    // With parts, each row's texts and search words (from the lines that reach it).
    std::vector<std::vector<int32_t>> rowTexts, rowSws;
    std::vector<int32_t> rowWords;
    if (byParts) {
        rowTexts.resize(size_t(rowCount));
        rowSws.resize(size_t(rowCount));
        rowWords.assign(size_t(rowCount), 0);
        for (int i = 0; i < lines; ++i) {
            int t = 0, s = 0;
            if (fConcordanceList->Line(i).Deleted() || !lineTextAndSw(i, t, s))
                continue;
            const int r = rowOf(t, s);
            if (r < 0)
                continue;
            auto& rt = rowTexts[size_t(r)];
            if (std::find(rt.begin(), rt.end(), t) == rt.end()) {
                rt.push_back(t);
                rowWords[size_t(r)] = std::max(rowWords[size_t(r)], textWords[size_t(t)]);
            }
            auto& rs = rowSws[size_t(r)];
            if (std::find(rs.begin(), rs.end(), s) == rs.end())
                rs.push_back(s);
        }
    }

    struct Row {
        TVersion21PlotEntryRec rec;
        std::unique_ptr<TGeneralPlotDataList> points;
    };
    std::vector<std::optional<Row>> rows(size_t(std::max(rowCount, 0)));
    TConcordancePlotEntry& overall = *fConcPlotList->OverallPlotEntry;
    const bool withContext = lines <= plot_settings.contextLineLimit && plot_settings.context;
    for (int i = 0; i < lines; ++i) {
        if (global_panic_state >= kPanicStopNow)
            break;
        if ((i & 0xFF) == 0) {
            GlobalProgress().OverallPercent(int(int64_t(i) * 100 / lines));
            MyYieldProcess();
        }
        const TConcordanceEntry& line = fConcordanceList->Line(i);
        int t = 0, s = 0;
        if (line.Deleted() || !lineTextAndSw(i, t, s))
            continue;
        const QString context =
            withContext ? line.ConcordanceCharactersAroundMidpoint(plot_settings.contextCharacters) : QString();
        const int32_t wordNum = line.fData.base.word_num;
        const int32_t wordsOfT = textWords[size_t(t)];
        // Single precision and rounding half to even, as the plots have always been scaled.
        const float toLargest = float(largest) / float(wordsOfT);
        overall.Positions().Add(int32_t(std::lrintf(float(wordNum) * toLargest)), context);
        ++overall.Data().hits;

        const int r = rowOf(t, s);
        if (r < 0 || r >= rowCount)
            continue;
        std::optional<Row>& row = rows[size_t(r)];
        if (!row) {
            row.emplace();
            TVersion21PlotEntryRec& d = row->rec;
            const int32_t w = byParts ? rowWords[size_t(r)] : wordsOfT;
            d.plot_file_number = byParts ? -2 : t + 1;
            d.plot_search_word_number = byParts ? -2 : s;
            d.words_in_file = w;
            d.divisions = divisions;
            d.dispersion_value = 0;
            if (byParts) {
                d.plot_filename = texts > 1 ? PartLabel(rowTexts[size_t(r)], names, CVTextsNString) : names.value(0);
                d.plot_sw_string = sws > 1 ? PartLabel(rowSws[size_t(r)], plainSws, CVSearchWordsNString)
                                           : plainSws.value(0);
            } else {
                d.plot_filename = names.value(t);
                d.plot_sw_string = plainSws.value(s);
            }
            row->points = std::make_unique<TGeneralPlotDataList>(w, divisions);
        }
        ++row->rec.hits;
        int32_t position = wordNum;
        if (byParts)
            position = int32_t(std::lrintf(float(wordNum) * (float(row->rec.words_in_file) / float(wordsOfT))));
        row->points->Add(position, context);
    }

    TVersion21PlotEntryRec& o = overall.Data();
    o.words_in_file = keptTotal;
    overall.Positions().SetExtent(largest);
    overall.Positions().SortByPosition();
    o.plot_filename = sws == 1 ? Format(u"%s (%s)", {plainSws.value(0), CVOverall.toString()}) : CVOverall.toString();
    o.dispersion_value = overall.Positions().ComputedDispersion();

    for (std::optional<Row>& row : rows) {
        if (!row)
            continue;
        row->points->SortByPosition();
        row->rec.dispersion_value = row->points->ComputedDispersion();
        fConcPlotList->AddRow(row->rec, std::move(row->points));
    }
    fConcPlotList->RaiseVersionTo(21);
    fConcPlotList->overall_row_wanted = texts > 1 || sws > 1;
    LinkLists();
    work_done.Plot_computed = true;
    GlobalProgress().ProgressShortMessage(QString());
    return fConcPlotList->Count() > 0;
}

// ---------------------------------------------------------------------------
// Saved tags

bool T_WholeMarvexHolder::CopyTagFileTagsToArrayOfSavedTagsDifferent()
{
    const auto* handler = dynamic_cast<const TTextTagHandler*>(TextTagHandler);
    if (!fArrayOfSavedTags.empty()) {
        if (handler)
            for (TVisibleTagRec& saved : fArrayOfSavedTags)
                for (const TextTagRec& t : handler->TagfileTags())
                    if (t.stored.tag == saved.stored.tag) {
                        saved.stored.foreground_colour = t.stored.foreground_colour;
                        saved.stored.background_colour = t.stored.background_colour;
                        saved.stored.description = t.stored.description;
                        saved.stored.added = t.stored.added;
                        break;
                    }
        return false;
    }
    DataHasColourTags = false;
    if (handler)
        for (const TextTagRec& t : handler->TagfileTags()) {
            fArrayOfSavedTags.push_back({t.stored, false});
            if (t.stored.foreground_colour != kDefaultTagForeground
                || t.stored.background_colour != kDefaultTagBackground)
                DataHasColourTags = true;
        }
    SetTagStringOnlyMarks();
    return true;
}

void T_WholeMarvexHolder::SetTagStringOnlyMarks()
{
    HasMediaTags = std::any_of(fArrayOfSavedTags.begin(), fArrayOfSavedTags.end(),
                               [](const TVisibleTagRec& t) { return t.stored.isMediaTag; });
    fConcordanceList->tag_string_only_on.clear();
    fConcordanceList->tag_string_only_off.clear();
    for (const TVisibleTagRec& t : fArrayOfSavedTags) {
        if (!t.stored.added.isTagForTagStringOnlyDisplay)
            continue;
        if (t.stored.tag_type == TTag_OnOffUnique::on_tag)
            fConcordanceList->tag_string_only_on = t.stored.tag;
        else if (t.stored.tag_type == TTag_OnOffUnique::off_tag)
            fConcordanceList->tag_string_only_off = t.stored.tag;
    }
}

std::vector<TStoredTagRec> T_WholeMarvexHolder::SavedTagsAsStoredArray() const
{
    std::vector<TStoredTagRec> out;
    out.reserve(fArrayOfSavedTags.size());
    for (const TVisibleTagRec& t : fArrayOfSavedTags)
        out.push_back(t.stored);
    return out;
}

void T_WholeMarvexHolder::LoadStopListIfWanted()
{
    const uint8_t tool = current_tool_var;
    const bool wanted = GetLemmaMatchStopWanted(tool, uint8_t(TLemmatiserListKind::Stop));
    fSettings.SetStopListWanted(wanted);
    TLemmatiser& lem = TLemmatiser::Instance();
    if (!wanted || lem.IsLoaded(tool, TLemmatiserListKind::Stop))
        return;
    const uint16_t answer = lem.LoadedOne(tool, TLemmatiserListKind::Stop,
                                          GetLemmaMatchStopFilename(tool, uint8_t(TLemmatiserListKind::Stop)),
                                          GetListSettingsByListType(uint8_t(TLemmatiserListKind::Stop), tool), {}, {},
                                          ftextsettings.LanguageId());
    Using_Stoplist = answer >= 1;
}

} // namespace cv
