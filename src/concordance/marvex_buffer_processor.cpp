#include "concordance/marvex_buffer_processor.h"

#include "concordance/marvex_filenames.h"
#include "model/corvantis_holder.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialogs.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/search_items.h"
#include "suite/window_messages.h"
#include "textread/tag_handler.h"
#include "textread/tag_records.h"

#include <algorithm>

namespace cv {

namespace {

// A horizon of n words on one side as an index into the word positions.
int16_t spanIndex(int words, bool right)
{
    words = std::clamp(words, 0, kHitPosition);
    return int16_t(right ? std::min(kHitPosition + words, kWordPositions - 1) : kHitPosition - words);
}

} // namespace

// Search words whose own context words replace the context items.
struct TMarvexBufferProcessor::TOwnContext {
    TBaseSearchItems items;
    std::unique_ptr<TSearchAndDoEngine> engine;
};

TMarvexBufferProcessor::TMarvexBufferProcessor(const TMarvexDocumentLink& doc, bool firstText,
                                               TMarvexProgressMethod progress, TSearchWordItems* searchItems,
                                               TBaseSearchItems* contextItems, TBaseSearchItems* exclusionItems,
                                               TBaseSearchItems* tagContextItems, TSearchAndDoEngine* engine,
                                               uint8_t jobKind, uint8_t combining, bool doingSWsOneAtATime,
                                               const TChosenTextRec& text, TTextTagHandler* tagHandler)
    : TBufferProcessor(
          doc.document,
          [this](const TFileHandledInfo& info) {
              if (m_doc.document)
                  m_doc.document->UpdateAllFileHandledInfo(fFullFilename, info.Format(), info.NotProcessed());
          },
          [this](bool unicode) { UnicodeChangeTo(unicode); }, tagHandler, text, doc.textSettings, jobKind, combining,
          firstText && GetMaySaveCVBufferFile()),
      DoingSWsOneAtATime(doingSWsOneAtATime),
      m_doc(doc),
      m_lines(doc.lines),
      fMarvexShowIndividualProgress(std::move(progress)),
      fSearchWordItems(searchItems),
      fContextWordItems(contextItems),
      fExclusionWordItems(exclusionItems),
      fTagContextWordItems(tagContextItems),
      fSearchAndDoEngine(engine),
      fThis_text_file(text),
      m_tagHandler(tagHandler),
      m_searchBuffer(doc.searchBuffer ? *doc.searchBuffer : m_ownSearchBuffer)
{
    UseScratch(doc.readScratch);
    const TConcSettingsRec32& s = m_doc.settings;
    allowed_last_word_gap = s.LastWordGap();
    Checking_avoid_hits_within_X_chars = allowed_last_word_gap >= 0;
    m_textDate = DayNumberFromDateTime(text.FileTime);
    fRandomising = GetRandomising();
    fRandomRange = std::max<int32_t>(1, GetRandomRange() & 0xFFFF);
    m_random.seed(0x5EED1234u);

    // The user's line filter.
    QString error;
    m_filter = TConcordanceLinePlugin::LoadForTool(current_tool_var, &error);
    fCanUserFilter = m_filter != nullptr;
    if (!error.isEmpty()) {
        m_filterError = error;
        AddToLogFile(error);
        // Once per run: the first text of a job says why lines go unfiltered.
        if (firstText) {
            TDialogRequest r;
            r.routine = QStringLiteral("UserFilterNotLoaded");
            r.kind = TDialogKind::Warning;
            r.text = error + QStringLiteral("\nThe concordance lines are not filtered.");
            ShowDialog(r);
        }
    }

    fCharactersToSaveonDisk = std::clamp<int32_t>(s.CharactersPerLine() > 0 ? s.CharactersPerLine() : 250, 1, 30000);
    ftemp_wchar_kinds.resize(std::size_t(fCharactersToSaveonDisk) + 2);

    context_spans = {spanIndex(s.ContextHorizonLeft(), false), spanIndex(s.ContextHorizonRight(), true)};
    exclusion_spans = {spanIndex(s.ExclusionHorizonLeft(), false), spanIndex(s.ExclusionHorizonRight(), true)};
    colloc_spans = {spanIndex(s.CollocHorizonLeft(), false), spanIndex(s.CollocHorizonRight(), true)};
    m_leftLimit = std::min({int(context_spans[0]), int(kFirstFixedPosition), int(exclusion_spans[0]), int(colloc_spans[0])});
    m_rightLimit = std::max({int(context_spans[1]), int(kLastFixedPosition), int(exclusion_spans[1]), int(colloc_spans[1])});
    const uint8_t stopAt = s.CollocatesStopAt();
    m_stopAtLevel = stopAt >= 1 && stopAt <= 5 ? stopAt : 0;

    m_contextOn = s.ContextWordsOn() && fContextWordItems && !fContextWordItems->IsEmpty();
    if (m_contextOn) {
        fContextEngine = std::make_unique<TSearchAndDoEngine>(*fContextWordItems);
        fContextEngine->ExactGap = s.ContextExactGap();
        fContextEngine->SetOnFound([this](const TSearchFound& f) { return DoContextWordFound(f); });
    }
    m_exclusionOn = s.ExclusionWordsOn() && fExclusionWordItems && !fExclusionWordItems->IsEmpty();
    if (m_exclusionOn) {
        fExclusionEngine = std::make_unique<TSearchAndDoEngine>(*fExclusionWordItems);
        fExclusionEngine->SetOnFound([this](const TSearchFound& f) { return DoContextWordFound(f); });
    }
    if (fSearchWordItems)
        m_ownContext.resize(std::size_t(fSearchWordItems->Count()));
    // The lines list answers "enough lines?" from the document's wanted number.
    if (m_lines) {
        m_firstLineOfText = m_lines->Count();
        m_lines->fEntriesWantedPerSW = s.EntriesWantedPerSw();
        m_mostLinesHeld = m_lines->fMostLinesHeld > 0 ? m_lines->fMostLinesHeld
                                                      : TConcordanceList::MostLinesHeld(fCharactersToSaveonDisk);
        if (fSearchWordItems)
            m_lines->fsearch_words_to_seek = std::max(m_lines->fsearch_words_to_seek, fSearchWordItems->PlannedCount());
    }
    m_layout = TextClassArrayLayout(m_doc.textSettings.KeepNumbers());
    if (fSearchAndDoEngine)
        UnicodeChangeTo(fusing_Unicode);
}

TMarvexBufferProcessor::~TMarvexBufferProcessor()
{
    if (fSearchAndDoEngine)
        fSearchAndDoEngine->SetOnFound({});
}

void TMarvexBufferProcessor::SetUserFilter(std::unique_ptr<TConcordanceLinePlugin> filter)
{
    m_filter = std::move(filter);
    fCanUserFilter = m_filter != nullptr;
}

void TMarvexBufferProcessor::SetJumpList(std::vector<int32_t> wantedWords)
{
    std::sort(wantedWords.begin(), wantedWords.end());
    wantedWords.erase(std::unique(wantedWords.begin(), wantedWords.end()), wantedWords.end());
    m_jumpInForce = true;
    m_jumpWanted = std::move(wantedWords);
    m_jumpTaken.assign(m_jumpWanted.size(), 0);
    m_jumpLeft = int32_t(m_jumpWanted.size());
}

void TMarvexBufferProcessor::UnicodeChangeTo(bool unicode)
{
    fusing_Unicode = unicode;
    if (m_lines && m_lines->IsUnicode() != unicode)
        m_lines->ConvertAllLines(unicode);
    if (m_doc.onUnicodeChange)
        m_doc.onUnicodeChange(unicode);
}

bool TMarvexBufferProcessor::SetupTheBuffer()
{
    if (!TBufferProcessor::SetupTheBuffer())
        return false;
    for (TSearchAndDoEngine* e : {fSearchAndDoEngine, fContextEngine.get(), fExclusionEngine.get()})
        if (e)
            e->ClearChunkStatistics();
    m_tagsInLines = m_tagHandler && m_tagHandler->KeepsOrMarksTags();
    m_sectionContext = m_tagHandler && m_tagHandler->KeepsSectionStarts();
    fSkipPunctuation = m_doc.settings.SkipPunctuation();
    if (fSearchAndDoEngine)
        fSearchAndDoEngine->SetSkipPunctuation(fSkipPunctuation);
    return true;
}

void TMarvexBufferProcessor::HandleTextStatsAtEndOfBuffer()
{
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("End of buffer %1 of %2: hits so far = %3")
                         .arg(CurrentChunkIndex() + 1)
                         .arg(fCurrent_filenum)
                         .arg(m_linesMade));
}

int32_t TMarvexBufferProcessor::SearchWordCountLimit() const
{
    return m_lines ? m_lines->fEntriesWantedPerSW : 0;
}

void TMarvexBufferProcessor::ProcessAChunkOfFile(int32_t chunkIndex)
{
    if (global_panic_state >= kPanicStopNow) {
        if (LoggingIsOn())
            AddToLogFile(QStringLiteral("Concordance of %1 stopped by request").arg(fThis_text_file.FullFilename));
        return;
    }
    if (!m_lines)
        return;
    if (chunkIndex < 0) {
        // The end of the text ends every unit still open.
        m_lastWordOfText = TextStats().Words;
        // One pass over the text's lines: every unit still open ends here,
        // and the percentages take the text's length now known.
        m_unitEnds.UnitEnded(TUnitEndHandlers::kHeading, m_lastWordOfText);
        m_unitEnds.Clear();
        FinishTextLines(SourcePositionOf(int32_t(Buffer().size())));
        return;
    }
    if (chunkIndex == 0) {
        m_firstLineOfText = m_lines->Count();
        m_filterFileName = fThis_text_file.DisplayName();
    }
    fCurrent_filenum = m_lines->current_ConcFileEntry;
    m_wordsBeforeChunk = WordsBeforeChunk();
    m_searchBuffer.Assign(Buffer(), Classes(), m_layout);
    if (fKnownMarvexEntryPtr) {
        RebuildKnownLine();
        return;
    }
    if (!fSearchAndDoEngine || !fSearchWordItems)
        return;

    for (TSearchAndDoEngine* e : {fSearchAndDoEngine, fContextEngine.get(), fExclusionEngine.get()}) {
        if (!e)
            continue;
        if (chunkIndex == 0)
            e->StartText(0);
        // The search words' engine counts the chunk's units as its first
        // search goes over it (CountChunk below, when none went to the end).
        e->SetChunk(m_searchBuffer, SourcePositionOf(0), e != fSearchAndDoEngine);
    }
    for (auto& own : m_ownContext)
        if (own) {
            if (chunkIndex == 0)
                own->engine->StartText(0);
            own->engine->SetChunk(m_searchBuffer, SourcePositionOf(0));
        }
    fSearchAndDoEngine->SetOnFound([this](const TSearchFound& f) { return DoSearchFound(f); });

    m_firstLineOfChunk = m_lines->Count();
    m_chunkLines.clear();
    m_handedLines = 0;
    m_firstItemLines = -1;
    m_lastSeenToken = -1;
    m_firstSearchComplete = false;
    const int items = fSearchWordItems->Count();
    m_lines->EnsureSearchWordCount(items);
    const int32_t limit = SearchWordCountLimit();
    const int32_t only = fSearchWordItems->OnlyItem();
    for (int i = 0; i < items; ++i) {
        if (global_panic_state != kPanicRun)
            break;
        if (only >= 0 && i != only)
            continue;
        m_currentItem = i;
        MyYieldProcess();
        if (limit > 0 && m_lines->HitsOf(i) >= limit)
            continue;
        if (m_lines->EnoughLines())
            break;
        if (items > 10)
            GlobalProgress().ProgressShortMessageOutOf(fSearchWordItems->Item(i).Typed(), i + 1, items);
        last_hit_word_num = -1000;
        m_itemCategory = (items > 1 || DoingSWsOneAtATime) ? fSearchWordItems->Item(i).Typed() : QString();
        m_itemHasTag = fSearchWordItems->Item(i).ContainsTag();
        const int firstLineOfItem = m_lines->Count();
        // The first search word run over the chunk also reports the text
        // boundaries it passes, so its lines learn their units' ends while
        // they are at hand (DoWordCount).
        const bool first = m_firstItemLines < 0;
        if (first)
            fSearchAndDoEngine->SetOnWord([this](const TSearchWordEvent& e) { DoWordCount(e); }, true);
        m_inFirstItem = first;
        fSearchAndDoEngine->ClearChunkStatistics();
        const bool complete = fSearchAndDoEngine->Search(i);
        if (first) {
            fSearchAndDoEngine->SetOnWord({});
            m_firstItemLines = int(m_chunkLines.size());
            m_firstSearchComplete = complete && !m_stopSearch;
            m_inFirstItem = false;
        }
        if (Checking_avoid_hits_within_X_chars && i > 0)
            RemoveCloseLinesOfLaterItem(firstLineOfItem);
    }
    fSearchAndDoEngine->CountChunk();
    ResolveUnitEnds();
}

void TMarvexBufferProcessor::DoWordCount(const TSearchWordEvent& e)
{
    m_lastSeenToken = e.token;
    // Every line made so far stands before this boundary.
    for (; m_handedLines < m_chunkLines.size(); ++m_handedLines)
        m_unitEnds.LineMade(&m_chunkLines[m_handedLines].line->fData.base.extras, m_chunkLines[m_handedLines].inHeading);
    m_unitEnds.PassBoundary(e.barrier, m_wordsBeforeChunk + e.wordIndex);
}

bool TMarvexBufferProcessor::DoSearchFound(const TSearchFound& f)
{
    ++m_hitsSeen;
    if (m_inFirstItem)
        m_lastSeenToken = std::max(m_lastSeenToken, f.firstToken);
    if (m_lines->EnoughLines())
        return false;
    if (fRandomising && fRandomRange > 1 && std::uniform_int_distribution<int32_t>(0, fRandomRange - 1)(m_random) != 0)
        return true;
    const int32_t wordNum = m_wordsBeforeChunk + f.wordIndex + 1;
    // With a jump list only the wanted positions not taken yet make lines.
    if (m_jumpInForce) {
        if (m_jumpLeft == 0)
            return false;
        const auto it = std::lower_bound(m_jumpWanted.begin(), m_jumpWanted.end(), wordNum);
        if (it == m_jumpWanted.end() || *it != wordNum || m_jumpTaken[std::size_t(it - m_jumpWanted.begin())])
            return true;
    }
    // Gap rule: a hit too close after the last line kept is no line.
    if (Checking_avoid_hits_within_X_chars && last_hit_word_num != -1000
        && wordNum - last_hit_word_num <= allowed_last_word_gap)
        return true;
    const int32_t limit = SearchWordCountLimit();
    if (limit > 0 && m_lines->HitsOf(f.item) >= limit) {
        m_lines->sw_limit_reached = true;
        return false;
    }

    if (!m_spare)
        m_spare = std::make_unique<TConcordanceEntry>(m_lines);
    else
        m_spare->fData = TMarvexEntryRec();
    TMarvexEntryRec& rec = m_spare->fData;
    rec.pExtraBase.Assign();
    TMarvexEntryRecBase& b = rec.base;
    b.ExtraMarvexEntryDatNum = kExtraDatNum;
    b.extras = f.stats;
    b.byte_size_of_file = FileHandledInfo.TextSize();
    b.percent_of_file = f.percentOfText;
    b.has_percent = true;
    const int64_t position = SourcePositionOf(f.start) + (f.end - f.start) + int64_t(FileSignatureBytes.size());
    b.byte_position = uint32_t(std::clamp<int64_t>(position, 0, UINT32_MAX));
    b.hit_characters = f.hitCharacters;
    b.word_num = wordNum;
    b.filename_num_original = fCurrent_filenum;
    b.sw_number = f.item;

    MakeLineParts(rec, f.start, f.end, &f);
    if (!LinePassesWordTests(f, rec))
        return true;
    if (m_tagsInLines && !ftemp_wchar_kinds.empty()) {
        TagPositionsFromClasses(std::span<const uint16_t>(ftemp_wchar_kinds.data(), std::size_t(rec.conc_line.size())),
                                m_tagHandler, rec.tag_positions_in_line);
        TagContextOf(f.start, rec);
    } else if (m_sectionContext) {
        TagContextOf(f.start, rec);
    }
    if (fCanUserFilter
        && !m_filter->KeepLine(rec.conc_line, b.midpoint, b.hit_characters, b.byte_position, b.word_num,
                               m_filterFileName))
        return true;
    const bool inHeading = f.start < int32_t(Classes().size()) && !IsTagClass(Classes()[std::size_t(f.start)])
                           && (Classes()[std::size_t(f.start)] & kFlagInHeading);
    StoreLine(f, inHeading);
    return !m_stopSearch;
}

void TMarvexBufferProcessor::MakeLineParts(TMarvexEntryRec& rec, int32_t hitStart, int32_t hitEnd,
                                           const TSearchFound* hit)
{
    const auto classes = Classes();
    const TLineCut cut = CutLine(hitStart, fCharactersToSaveonDisk, int32_t(Buffer().size()));
    m_lineFirst = cut.first;
    rec.base.midpoint = int16_t(cut.midpoint);
    rec.conc_line = QString(cut.length, Qt::Uninitialized);
    CopyLineOverClassArray(Buffer(), classes, cut, reinterpret_cast<char16_t*>(rec.conc_line.data()),
                           m_tagsInLines ? ftemp_wchar_kinds.data() : nullptr);
    rec.base.conc_line_chars = cut.length + 1;
    if (hit)
        FillWordPositions(m_searchBuffer, hit->firstToken, hit->lastToken, hitStart, hitEnd, cut.first, cut.length,
                          m_leftLimit, m_rightLimit, fTempSortPositionsArray);
    else
        FillWordPositions(classes, hitStart, hitEnd, cut.first, cut.length, m_leftLimit, m_rightLimit, true,
                          fTempSortPositionsArray);
    DistributeWordPositions(fTempSortPositionsArray, m_leftLimit, m_rightLimit, rec);
}

void TMarvexBufferProcessor::TagContextOf(int32_t hitStart, TMarvexEntryRec& rec)
{
    TMarvexEntryRecBase& b = rec.base;
    if (m_sectionContext) {
        const auto& starts = SectionStarts();
        const auto it = std::upper_bound(starts.begin(), starts.end(), hitStart);
        if (it != starts.begin()) {
            const int32_t at = *(it - 1);
            const auto text = Buffer();
            std::size_t end = std::size_t(at);
            while (end < text.size() && end - std::size_t(at) < 80 && text[end] != u'\n' && text[end] != u'\r')
                ++end;
            m_sectionText = QString::fromUtf16(text.data() + at, qsizetype(end - std::size_t(at))).trimmed();
            m_sectionStart = SourcePositionOf(at);
        }
        if (m_sectionStart >= 0) {
            rec.tag_context = m_sectionText;
            b.tag_context_distance_from_SW = int32_t(std::min<int64_t>(SourcePositionOf(hitStart) - m_sectionStart, INT32_MAX));
        }
        return;
    }
    const auto& tags = rec.tag_positions_in_line.Positions();
    const std::size_t tableSize = m_tagHandler ? m_tagHandler->TagfileTags().size() : 0;
    for (auto it = tags.rbegin(); it != tags.rend(); ++it) {
        if (it->tag_position > b.midpoint || it->tagnumber_1Based < 1 || std::size_t(it->tagnumber_1Based) > tableSize)
            continue;
        const TStoredTagRec& tag = m_tagHandler->TagfileTags()[std::size_t(it->tagnumber_1Based - 1)].stored;
        rec.tag_context = m_tagHandler->TagToDisplay(it->tagnumber_1Based);
        if (tag.tag_type != TTag_OnOffUnique::off_tag)
            b.tag_context_distance_from_SW = b.midpoint - it->tag_position;
        b.tag_context_sort_Ptrpos = uint8_t(std::clamp<int>(it->tag_position, 0, 255));
        b.tag_number_1_based = it->tagnumber_1Based;
        return;
    }
}

// --- context and exclusion words ----------------------------------------------------------

void TMarvexBufferProcessor::CutWindowAtBarrier(int& left, int& right) const
{
    if (m_stopAtLevel <= 0)
        return;
    for (int p = kHitPosition - 1; p >= left; --p)
        if (fTempSortPositionsArray[std::size_t(p)].barrier >= m_stopAtLevel) {
            left = p + 1;
            break;
        }
    // A word's barrier lies after it: the word before a boundary is the last inside.
    for (int p = kHitPosition; p < right; ++p)
        if (fTempSortPositionsArray[std::size_t(p)].barrier >= m_stopAtLevel) {
            right = p;
            break;
        }
}

bool TMarvexBufferProcessor::DoContextWordFound(const TSearchFound& f)
{
    // The word position of the find.
    int found = -1;
    for (int p = m_windowLeft; p <= m_windowRight; ++p) {
        const TSortInfoRec& w = fTempSortPositionsArray[std::size_t(p)];
        if (w.coll_length > 0 && w.start_position + m_lineFirst == f.wordStart) {
            found = p;
            break;
        }
    }
    if (found < 0 || found == kHitPosition)
        return true;
    if (m_windowRequired >= 0 && std::abs(found - m_windowRequired) >= 2)
        return true;
    m_windowFound = found;
    return false; // one accepted find answers for the item
}

int TMarvexBufferProcessor::FindInWindow(TSearchAndDoEngine& engine, int item, int left, int right, int required)
{
    // The units from the window's first word to the end of its last.
    int32_t from = -1, to = -1;
    for (int p = left; p <= right; ++p) {
        const TSortInfoRec& w = fTempSortPositionsArray[std::size_t(p)];
        if (w.coll_length <= 0)
            continue;
        if (from < 0)
            from = w.start_position + m_lineFirst;
        to = w.start_position + m_lineFirst + w.coll_length;
    }
    if (from < 0)
        return -1;
    m_windowLeft = left;
    m_windowRight = right;
    m_windowRequired = required;
    m_windowFound = -1;
    engine.SearchRange(item, from, to);
    return m_windowFound;
}

bool TMarvexBufferProcessor::LinePassesWordTests(const TSearchFound& f, TMarvexEntryRec& rec)
{
    fExclusionWordFound = false;
    fAContextWordFound = false;
    fEnoughContextWordsFound = true;
    const TSearch_word_format_rec& sw = fSearchWordItems->Item(f.item);
    const bool ownContext = !sw.ContextWords.isEmpty();
    const bool checkContext = ownContext || (m_contextOn && fContextEngine);
    const bool checkExclusion = m_exclusionOn && fExclusionEngine;
    if (!checkContext && !checkExclusion)
        return true;
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("context %1 %2").arg(checkExclusion ? "yes" : "no", checkContext ? "yes" : "no"));

    if (checkExclusion) {
        int left = exclusion_spans[0], right = exclusion_spans[1];
        CutWindowAtBarrier(left, right);
        for (int i = 0; i < fExclusionWordItems->Count() && !fExclusionWordFound; ++i)
            fExclusionWordFound = FindInWindow(*fExclusionEngine, i, left, right, -1) >= 0;
        if (fExclusionWordFound)
            return false;
    }
    if (!checkContext)
        return true;

    int left = context_spans[0], right = context_spans[1];
    CutWindowAtBarrier(left, right);
    if (LoggingIsOn())
        AddToLogFile(QStringLiteral("context %1L %2R").arg(kHitPosition - left).arg(right - kHitPosition));
    TSearchAndDoEngine* engine = fContextEngine.get();
    const TBaseSearchItems* items = fContextWordItems;
    if (ownContext) {
        auto& own = m_ownContext[std::size_t(f.item)];
        if (!own) {
            own = std::make_unique<TOwnContext>();
            own->items.TakeOptionsFrom(fContextWordItems ? *fContextWordItems : *fSearchWordItems);
            own->items.SetOnlyItem(-1);
            for (const QString& w : sw.ContextWords)
                own->items.InsertSearchWord(own->items.Count(), w);
            own->engine = std::make_unique<TSearchAndDoEngine>(own->items);
            own->engine->SetOnFound([this](const TSearchFound& found) { return DoContextWordFound(found); });
            own->engine->SetChunk(m_searchBuffer, SourcePositionOf(0));
        }
        engine = own->engine.get();
        items = &own->items;
    }
    fRequiring_all_context_words = items->RequireAllContextWords();
    fRequiringExactPosition = items->RequireExactPosition();
    const int required = fRequiringExactPosition ? kHitPosition + items->ExactOffset() : -1;
    bool enough = false;
    for (int i = 0; i < items->Count(); ++i) {
        const int p = FindInWindow(*engine, i, left, right, required);
        if (p >= 0) {
            fAContextWordFound = true;
            if (p >= kHitPosition - 50 && p <= kHitPosition + 51) {
                TSortInfoRec r = fTempSortPositionsArray[std::size_t(p)];
                r.start_position = int16_t(p - kHitPosition);
                rec.other_context_words.Add(r);
            }
            if (!fRequiring_all_context_words) {
                enough = true;
                break;
            }
            enough = i == items->Count() - 1;
        } else if (fRequiring_all_context_words) {
            break;
        }
    }
    if (LoggingIsOn())
        AddToLogFile((enough ? QStringLiteral("*** FOUND in ") : QStringLiteral("not found in ")) + rec.conc_line);
    fEnoughContextWordsFound = enough;
    return enough;
}

// --- storing -----------------------------------------------------------------------------------

void TMarvexBufferProcessor::StoreLine(const TSearchFound& f, bool inHeading)
{
    TMarvexEntryRec& rec = m_spare->fData;
    TMarvexEntryRecBase& b = rec.base;
    last_hit_word_num = b.word_num;
    if (m_lines->Count() >= m_mostLinesHeld) {
        // The hit is counted; its line is not kept (the list holds at most what it shows).
        ++m_lines->fHitsNotHeld;
        m_stopSearch = false;
        return;
    }
    if (!m_lines->CountedHit(b.sw_number)) {
        m_stopSearch = true;
        return;
    }
    m_stopSearch = false;
    // A jump list's position is taken by the line made there (which keeps
    // its running word: plots and percentages stand on it); with none left
    // the search has found enough.
    if (m_jumpInForce) {
        const auto it = std::lower_bound(m_jumpWanted.begin(), m_jumpWanted.end(), b.word_num);
        if (it != m_jumpWanted.end() && *it == b.word_num && !m_jumpTaken[std::size_t(it - m_jumpWanted.begin())]) {
            m_jumpTaken[std::size_t(it - m_jumpWanted.begin())] = 1;
            --m_jumpLeft;
        }
        if (m_jumpLeft == 0)
            m_stopSearch = true;
    }
    b.textfile_date = m_textDate;
    // A search word that carries a tag: where its word stands in the line
    // after the tag, so that the hit is taken as found there. Other hits are
    // taken in the search word's plain form (collocates of a pattern are
    // counted together, not per form matched).
    if (m_itemHasTag) {
        b.sw_starts = int16_t(b.midpoint + (f.wordStart - f.start));
        b.sw_finishes = int16_t(b.midpoint + (f.wordEnd - f.start));
    }
    b.sw_contains_a_tag = m_itemHasTag;
    if (!rec.tag_positions_in_line.IsEmpty()) {
        m_lines->fHasTagPositions = true;
        MapTagPositionsToSortPositions(rec);
        // The hit's start in the line (its word start, counted from the
        // line's first character, is the midpoint itself).
        rec.tag_positions_in_line.EditExtrainfo().centre_sw_position = b.midpoint;
    }
    m_spare->fCategory = m_itemCategory;
    TConcordanceEntry* line = m_spare.get();
    m_lines->Add(std::move(m_spare));
    ++m_linesMade;
    m_chunkLines.push_back({b.word_num, inHeading, line});
    if (fMarvexShowIndividualProgress && Global_progress_tick.load(std::memory_order_relaxed)
        && Global_progress_tick.exchange(false))
        fMarvexShowIndividualProgress(QStringLiteral(".... ") + line->fData.conc_line.left(60) + QStringLiteral(" ...."));
}

void TMarvexBufferProcessor::RemoveCloseLinesOfLaterItem(int firstLineOfItem)
{
    const int count = m_lines->Count();
    if (firstLineOfItem >= count || firstLineOfItem <= m_firstLineOfChunk)
        return;
    std::vector<int32_t> earlier;
    earlier.reserve(std::size_t(firstLineOfItem - m_firstLineOfChunk));
    for (int j = m_firstLineOfChunk; j < firstLineOfItem; ++j)
        earlier.push_back(m_lines->Line(j).fData.base.word_num);
    std::sort(earlier.begin(), earlier.end());
    std::vector<const TConcordanceEntry*> gone;
    for (int k = firstLineOfItem; k < count; ++k) {
        const int32_t w = m_lines->Line(k).fData.base.word_num;
        // An earlier line j with 0 <= w - word_num(j) <= gap.
        const auto it = std::lower_bound(earlier.begin(), earlier.end(), w - allowed_last_word_gap);
        if (it != earlier.end() && *it <= w) {
            gone.push_back(&m_lines->Line(k));
            m_lines->Put(k, nullptr);
        }
    }
    if (gone.empty())
        return;
    std::sort(gone.begin(), gone.end());
    std::erase_if(m_chunkLines, [&](const TChunkLine& l) { return std::binary_search(gone.begin(), gone.end(), l.line); });
    m_lines->Pack();
}

void TMarvexBufferProcessor::WalkBoundaries(TUnitEndHandlers& ends, std::span<const TChunkLine> lines,
                                            int32_t fromToken)
{
    // Without section starts or left-out text, no section ends inside the
    // chunk: once only section ends are awaited the rest needs no walk.
    const bool sectionsInChunk = !SectionStarts().empty() || TextSettings().TextSelectionOn();
    const auto& tokens = m_searchBuffer.Tokens();
    std::size_t next = 0;
    for (auto j = std::size_t(std::max(fromToken, 0)); j < tokens.size(); ++j) {
        const TSearchToken& t = tokens[j];
        if (t.barrier < 2)
            continue;
        const int32_t before = m_wordsBeforeChunk + t.wordIndex;
        for (; next < lines.size() && lines[next].wordNum <= before; ++next)
            ends.LineMade(&lines[next].line->fData.base.extras, lines[next].inHeading);
        ends.PassBoundary(t.barrier, before);
        if (next == lines.size() && !sectionsInChunk && ends.OnlySectionsWaiting())
            break;
    }
    for (; next < lines.size(); ++next)
        ends.LineMade(&lines[next].line->fData.base.extras, lines[next].inHeading);
    if (m_searchBuffer.TrailingBarrier() >= 2)
        ends.PassBoundary(m_searchBuffer.TrailingBarrier(), m_wordsBeforeChunk + m_searchBuffer.RunningWords());
}

void TMarvexBufferProcessor::ResolveUnitEnds()
{
    const std::span<const TChunkLine> all(m_chunkLines);
    if (m_firstItemLines < 0) {
        // No search ran over this chunk: its boundaries still end the units of earlier lines.
        WalkBoundaries(m_unitEnds, {}, 0);
    } else {
        // The first search word's lines not handed over yet, and the rest of
        // the chunk when its search stopped early.
        const int32_t from = m_firstSearchComplete ? int32_t(m_searchBuffer.Tokens().size()) : m_lastSeenToken + 1;
        WalkBoundaries(m_unitEnds, all.subspan(m_handedLines, std::size_t(m_firstItemLines) - m_handedLines), from);
        // Later search words' lines: a walk of their own, in text order.
        if (std::size_t(m_firstItemLines) < m_chunkLines.size()) {
            const auto later = m_chunkLines.begin() + m_firstItemLines;
            std::stable_sort(later, m_chunkLines.end(),
                             [](const TChunkLine& a, const TChunkLine& b) { return a.wordNum < b.wordNum; });
            TUnitEndHandlers laterEnds;
            WalkBoundaries(laterEnds, all.subspan(std::size_t(m_firstItemLines)), 0);
            m_unitEnds.TakeWaiting(laterEnds);
        }
    }
    m_chunkLines.clear();
    m_handedLines = 0;
}

void TMarvexBufferProcessor::FinishTextLines(int64_t textUnits)
{
    const int64_t sig = int64_t(FileSignatureBytes.size());
    for (int i = m_firstLineOfText; i < m_lines->Count(); ++i) {
        TMarvexEntryRecBase& b = m_lines->Line(i).fData.base;
        TSearchStatsRec& st = b.extras;
        if (st.SentenceEndWord() == 0)
            st.SetSentenceEndWord(m_lastWordOfText);
        if (st.ParagraphEndWord() == 0)
            st.SetParagraphEndWord(m_lastWordOfText);
        if (st.SectionEndWord() == 0)
            st.SetSectionEndWord(m_lastWordOfText);
        if (textUnits > 0) {
            const int64_t start = int64_t(b.byte_position) - sig - b.hit_characters;
            b.percent_of_file = float(double(std::clamp<int64_t>(start, 0, textUnits)) * 100.0 / double(textUnits));
            b.has_percent = true;
        }
    }
}

void TMarvexBufferProcessor::RebuildKnownLine()
{
    TMarvexEntryRec& rec = *fKnownMarvexEntryPtr;
    const int64_t start = int64_t(rec.base.byte_position) - int64_t(FileSignatureBytes.size()) - rec.base.hit_characters;
    const int32_t index = BufferIndexOfSourcePosition(start);
    if (index < 0 || index >= int32_t(Buffer().size()) || SourcePositionOf(index) != start)
        return;
    m_tagsInLines = m_tagsInLines || (m_tagHandler && m_tagHandler->KeepsOrMarksTags());
    rec.tag_positions_in_line.Clear();
    const int32_t end = std::min<int32_t>(index + std::max(rec.base.hit_characters, 0), int32_t(Buffer().size()));
    MakeLineParts(rec, index, end, nullptr);
    if (m_tagsInLines)
        TagPositionsFromClasses(std::span<const uint16_t>(ftemp_wchar_kinds.data(), std::size_t(rec.conc_line.size())),
                                m_tagHandler, rec.tag_positions_in_line);
    if (!rec.tag_positions_in_line.IsEmpty()) {
        MapTagPositionsToSortPositions(rec);
        rec.tag_positions_in_line.EditExtrainfo().centre_sw_position = rec.base.midpoint;
    }
    if (rec.tag_context.isEmpty() && (m_tagsInLines || m_sectionContext))
        TagContextOf(index, rec);
    fKnownMarvexEntryPtr = nullptr; // rebuilt once
    m_knownRebuilt = true;
}

} // namespace cv
