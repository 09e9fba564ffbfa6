#include "suite/search_engine.h"

#include <algorithm>

namespace cv {

struct TSearchAndDoEngine::Element {
    bool tag = false;
    TWildcardMatcher matcher;
    std::u16string punctBefore; // folded
};

struct TSearchAndDoEngine::Compiled {
    std::vector<Element> elements;
    std::u16string leading, trailing; // folded
    // Quick refusal of tokens by the first element: most tokens of a text
    // fail on the length or the first unit of a plain word.
    bool firstPlainWord = false;
    int32_t firstLength = 0;
    char16_t firstUnit = 0;
};

namespace {

std::u16string foldedWith(const TFoldTable* fold, const std::u16string& s)
{
    return fold ? fold->Folded(s) : s;
}

bool startsWith(std::u16string_view s, std::u16string_view prefix)
{
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::u16string_view s, std::u16string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

} // namespace

void TSearchAndDoEngine::TUnitCounters::passBoundary(uint8_t b)
{
    pendingBarrier = 0;
    if (b >= 2) {
        ++sentence;
        wordsInSentence = 0;
    }
    if (b >= 3) {
        ++paragraph;
        wordsInParagraph = 0;
    }
    if (b == 4)
        ++heading;
    if (b >= 5) {
        ++section;
        wordsInSection = 0;
    }
}

TSearchAndDoEngine::TSearchAndDoEngine(const QLocale& language) : m_language(language) {}

TSearchAndDoEngine::TSearchAndDoEngine(const TBaseSearchItems& items, const QLocale& language)
    : m_items(&items), m_language(language)
{
}

TSearchAndDoEngine::~TSearchAndDoEngine() = default;

void TSearchAndDoEngine::SetItems(const TBaseSearchItems* items)
{
    m_items = items;
    m_compiledValid = false;
}

void TSearchAndDoEngine::SetLanguage(const QLocale& language)
{
    m_language = language;
    m_compiledValid = false;
}

void TSearchAndDoEngine::ensureCompiled()
{
    if (m_compiledValid && m_compiledFor == m_items && m_items && m_compiledRevision == m_items->Revision())
        return;
    m_compiled.clear();
    m_compiledFor = m_items;
    m_compiledValid = true;
    if (!m_items) {
        m_chunkHits.clear();
        return;
    }
    m_compiledRevision = m_items->Revision();
    m_blankTags = m_items->BlankTags();
    m_fold = m_items->CaseSensitive()
                 ? nullptr
                 : &TFoldTable::ForLocale(m_items->Language().isEmpty() ? m_language : QLocale(m_items->Language()));
    for (int i = 0; i < m_items->Count(); ++i) {
        const TSearchPattern& p = m_items->Item(i).Pattern();
        Compiled c;
        for (const auto& pe : p.elements) {
            Element e;
            e.tag = pe.tag;
            e.matcher = TWildcardMatcher(pe.text, m_fold);
            e.punctBefore = foldedWith(m_fold, pe.punctBefore);
            c.elements.push_back(std::move(e));
        }
        c.leading = foldedWith(m_fold, p.leadingPunct);
        c.trailing = foldedWith(m_fold, p.trailingPunct);
        if (!c.elements.empty() && !c.elements[0].tag && c.elements[0].matcher.IsPlain()) {
            c.firstPlainWord = true;
            c.firstLength = int32_t(c.elements[0].matcher.Pattern().size());
            c.firstUnit = c.elements[0].matcher.Pattern()[0];
        }
        m_compiled.push_back(std::move(c));
    }
    m_chunkHits.assign(m_compiled.size(), 0);
}

void TSearchAndDoEngine::StartText(int64_t textLength)
{
    m_textLength = textLength;
    m_chunk = nullptr;
    m_chunkOffset = 0;
    m_base = TUnitCounters();
    m_nextBase = TUnitCounters();
    m_nextBaseKnown = true;
    m_mode = Mode::Text;
}

void TSearchAndDoEngine::SetChunk(const TSearchBuffer& buffer, int64_t offsetInText, bool countNow)
{
    // The chunk left was counted (CountChunk) before its buffer changed.
    Q_ASSERT(m_nextBaseKnown);
    m_mode = Mode::Text;
    m_chunk = &buffer;
    m_chunkOffset = offsetInText;
    m_base = m_nextBase;
    m_nextBaseKnown = false;
    if (countNow)
        CountChunk();
}

void TSearchAndDoEngine::CountChunk()
{
    if (m_nextBaseKnown || !m_chunk)
        return;
    TUnitCounters next = m_base;
    for (const TSearchToken& t : m_chunk->Tokens())
        next.Step(t);
    next.pendingBarrier = std::max(next.pendingBarrier, m_chunk->TrailingBarrier());
    m_nextBase = next;
    m_nextBaseKnown = true;
}

void TSearchAndDoEngine::ClearChunkStatistics()
{
    std::fill(m_chunkHits.begin(), m_chunkHits.end(), 0);
}

int32_t TSearchAndDoEngine::ChunkHits(int item) const
{
    return item >= 0 && std::size_t(item) < m_chunkHits.size() ? m_chunkHits[std::size_t(item)] : 0;
}

bool TSearchAndDoEngine::gapAllows(const TSearchBuffer& buf, int32_t from, int32_t to, const std::u16string& required,
                                   uint8_t flagsOr, uint8_t barrierMax) const
{
    if (!(flagsOr & TSearchToken::kGapPunct) && barrierMax == 0)
        return required.empty(); // only plain space (and blanked tags)
    if (barrierMax >= 3)
        return false;            // a paragraph, heading or section end lies between
    if (required.empty() && m_skipPunctuation)
        return true;
    int level = 0;
    const std::u16string punct = foldedWith(m_fold, buf.GapPunctuation(from, to, &level));
    if (level >= 3)
        return false;
    if (required.empty())
        return punct.empty();
    return punct == required;
}

bool TSearchAndDoEngine::matchAt(const Compiled& c, const TSearchBuffer& buf, int32_t j, int32_t hi, int32_t unitLimit,
                                 int32_t unitFloor, TSearchFound& f) const
{
    const auto& toks = buf.Tokens();
    thread_local std::u16string tagScratch;
    auto elementMatches = [&](const Element& e, const TSearchToken& t) {
        if (t.IsTag() != e.tag)
            return false;
        if (!e.tag)
            return e.matcher.Matches(buf.TokenText(t));
        tagScratch.assign(buf.TokenText(t));
        ShowTagMarks(tagScratch);
        return e.matcher.Matches(tagScratch);
    };

    const TSearchToken& first = toks[std::size_t(j)];
    if (first.start < unitFloor || first.End() > unitLimit || !elementMatches(c.elements[0], first))
        return false;
    int32_t cur = j;
    int32_t words = first.IsTag() ? 0 : 1;
    for (std::size_t k = 1; k < c.elements.size(); ++k) {
        const Element& e = c.elements[k];
        int32_t nxt = cur + 1;
        uint8_t flagsOr = 0, barrierMax = 0;
        while (nxt < hi) {
            const TSearchToken& t = toks[std::size_t(nxt)];
            flagsOr |= t.flags;
            barrierMax = std::max(barrierMax, t.barrier);
            if (t.IsTag() && !e.tag && m_blankTags) {
                ++nxt;
                continue;
            }
            break;
        }
        if (nxt >= hi)
            return false;
        const TSearchToken& t = toks[std::size_t(nxt)];
        if (t.End() > unitLimit || t.IsTag() != e.tag)
            return false;
        if (!gapAllows(buf, toks[std::size_t(cur)].End(), t.start, e.punctBefore, flagsOr, barrierMax))
            return false;
        if (!elementMatches(e, t))
            return false;
        words += t.IsTag() ? 0 : 1;
        cur = nxt;
    }

    int32_t start = first.start;
    int32_t end = toks[std::size_t(cur)].End();
    if (!c.leading.empty()) {
        int32_t p = j - 1;
        while (p >= 0 && m_blankTags && toks[std::size_t(p)].IsTag())
            --p;
        const int32_t from = std::max(p >= 0 ? toks[std::size_t(p)].End() : 0, unitFloor);
        std::vector<int32_t> where;
        int level = 0;
        const std::u16string punct = foldedWith(m_fold, buf.GapPunctuation(from, first.start, &level, &where));
        if (!endsWith(punct, c.leading))
            return false;
        start = where[punct.size() - c.leading.size()];
    }
    if (!c.trailing.empty()) {
        int32_t n = cur + 1;
        while (n < int32_t(toks.size()) && m_blankTags && toks[std::size_t(n)].IsTag())
            ++n;
        const int32_t to = std::min(n < int32_t(toks.size()) ? toks[std::size_t(n)].start : int32_t(buf.Text().size()), unitLimit);
        std::vector<int32_t> where;
        const std::u16string punct = foldedWith(m_fold, buf.GapPunctuation(end, to, nullptr, &where));
        if (!startsWith(punct, c.trailing))
            return false;
        end = where[c.trailing.size() - 1] + 1;
    }

    f.start = start;
    f.end = end;
    f.wordStart = first.start;
    f.wordEnd = toks[std::size_t(cur)].End();
    f.firstToken = j;
    f.lastToken = cur;
    f.wordIndex = first.wordIndex;
    f.wordsSpanned = words;
    f.hitCharacters = end - start;
    return true;
}

void TSearchAndDoEngine::fillStats(TSearchFound& f, const TSearchBuffer& buf, const TUnitCounters* cursor)
{
    TSearchStatsRec& s = f.stats;
    s = TSearchStatsRec();
    s.SetRecordVersion(TSearchStatsRec::kRecordVersion);
    s.SetWordsSpanned(f.wordsSpanned);
    const TSearchToken& t = buf.Tokens()[std::size_t(f.firstToken)];
    s.SetWordNumber((m_mode == Mode::Text ? m_base.words : 0) + f.wordIndex + 1);
    if (m_mode == Mode::Row)
        return;
    const int64_t at = m_chunkOffset + f.start;
    if (m_textLength > 0)
        f.percentOfText = float(double(at) * 100.0 / double(m_textLength));
    else
        f.percentOfText = buf.Text().empty() ? 0.0f : float(double(f.start) * 100.0 / double(buf.Text().size()));
    if (!cursor)
        return;
    // A hit that starts on a tag or an uncounted number belongs to the next
    // running word.
    const int32_t next = (!t.IsTag() && t.IsCounted()) ? 0 : 1;
    s.SetSentenceNumber(cursor->sentence);
    s.SetWordInSentence(cursor->wordsInSentence + next);
    s.SetParagraphNumber(cursor->paragraph);
    s.SetWordInParagraph(cursor->wordsInParagraph + next);
    s.SetHeadingNumber(cursor->heading);
    s.SetSectionNumber(cursor->section);
    s.SetWordInSection(cursor->wordsInSection + next);
}

int TSearchAndDoEngine::run(int item, const TSearchBuffer& buf, int32_t lo, int32_t hi, int32_t unitFloor,
                            int32_t unitLimit, bool words, bool report, bool* stopped)
{
    *stopped = false;
    if (m_cancelled) {
        *stopped = true;
        return 0;
    }
    ensureCompiled();
    if (item < 0 || std::size_t(item) >= m_compiled.size())
        return 0;
    const Compiled& c = m_compiled[std::size_t(item)];
    const auto& toks = buf.Tokens();
    const char16_t* text = buf.Text().data();
    const bool wordEvents = words && m_onWord;
    const TFoldTable* fold = m_fold;
    // Unit numbers need every token from the chunk's start: only whole-chunk
    // runs keep them, counting each token as they pass it (with it, the
    // counts at the chunk's end when it is not counted yet).
    const bool units = m_mode == Mode::Text && lo == 0;
    TUnitCounters cursor = m_base;

    int hits = 0;
    int wordBarrier = (m_mode == Mode::Text && lo == 0) ? m_base.pendingBarrier : 0;
    TSearchFound f;
    int32_t j = lo;
    for (; j < hi; ++j) {
        const TSearchToken& t = toks[std::size_t(j)];
        if (units)
            cursor.Step(t);
        if (wordEvents) {
            wordBarrier = std::max<int>(wordBarrier, t.barrier);
            if (!t.IsTag()) {
                if (!m_wordsAtBoundariesOnly || wordBarrier >= 2) {
                    TSearchWordEvent ev;
                    ev.token = j;
                    ev.wordIndex = t.wordIndex;
                    ev.start = t.start;
                    ev.length = t.length;
                    ev.barrier = wordBarrier;
                    ev.tagNumber = t.tagNumber;
                    ev.counted = t.IsCounted();
                    m_onWord(ev);
                }
                wordBarrier = 0;
            }
        }
        if (c.firstPlainWord) {
            // One branch, rarely taken: length, kind and first unit together.
            const char16_t u = text[t.start];
            const char16_t first = fold ? (*fold)(u) : u;
            if ((t.length == c.firstLength) & !t.IsTag() & (first == c.firstUnit)) {
            } else {
                continue;
            }
        } else if (t.IsTag() != c.elements[0].tag) {
            continue;
        }
        if (!matchAt(c, buf, j, hi, unitLimit, unitFloor, f))
            continue;
        ++hits;
        ++m_chunkHits[std::size_t(item)];
        if (!report) {
            *stopped = true; // the first hit answers the question
            return hits;
        }
        f.item = item;
        f.row = m_mode == Mode::Row ? m_row : -1;
        f.buffer = &buf;
        f.context = buf.Text();
        fillStats(f, buf, units ? &cursor : nullptr);
        if ((m_onFound && !m_onFound(f)) || m_cancelled) {
            *stopped = true;
            break;
        }
    }
    if (units && j == int32_t(toks.size()) && !m_nextBaseKnown && &buf == m_chunk) {
        cursor.pendingBarrier = std::max(cursor.pendingBarrier, buf.TrailingBarrier());
        m_nextBase = cursor;
        m_nextBaseKnown = true;
    }
    return hits;
}

bool TSearchAndDoEngine::Search(int item)
{
    if (!m_chunk)
        return !m_cancelled;
    m_mode = Mode::Text;
    bool stopped = false;
    const auto n = int32_t(m_chunk->Tokens().size());
    run(item, *m_chunk, 0, n, 0, int32_t(m_chunk->Text().size()), true, true, &stopped);
    return !stopped;
}

bool TSearchAndDoEngine::SearchAll()
{
    ensureCompiled();
    if (!m_items)
        return true;
    const int only = m_items->OnlyItem();
    for (int i = 0; i < int(m_compiled.size()); ++i) {
        if (only >= 0 && i != only)
            continue;
        if (!Search(i))
            return false;
    }
    return true;
}

int TSearchAndDoEngine::SearchRange(int item, int32_t from, int32_t to)
{
    if (!m_chunk)
        return 0;
    m_mode = Mode::Text;
    from = std::max(from, 0);
    to = std::min(to, int32_t(m_chunk->Text().size()));
    if (from >= to)
        return 0;
    const int32_t lo = m_chunk->FirstTokenFrom(from);
    const int32_t hi = m_chunk->FirstTokenFrom(to);
    bool stopped = false;
    return run(item, *m_chunk, lo, hi, from, to, false, true, &stopped);
}

void TSearchAndDoEngine::SetCurrentRow(int64_t row, QStringView text)
{
    m_row = row;
    m_rowBuffer.AssignRow(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())),
                          m_items ? m_items->WordRules() : TWordRules());
}

int TSearchAndDoEngine::SearchAndDo(int item)
{
    const Mode saved = m_mode;
    m_mode = Mode::Row;
    bool stopped = false;
    const auto n = int32_t(m_rowBuffer.Tokens().size());
    const int hits = run(item, m_rowBuffer, 0, n, 0, int32_t(m_rowBuffer.Text().size()), false, true, &stopped);
    m_mode = saved;
    return hits;
}

bool TSearchAndDoEngine::RowMatches(QStringView text)
{
    ensureCompiled();
    SetCurrentRow(-1, text);
    const Mode saved = m_mode;
    m_mode = Mode::Row;
    bool found = false;
    const auto n = int32_t(m_rowBuffer.Tokens().size());
    for (int i = 0; i < int(m_compiled.size()) && !found; ++i) {
        bool stopped = false;
        found = run(i, m_rowBuffer, 0, n, 0, int32_t(m_rowBuffer.Text().size()), false, false, &stopped) > 0;
    }
    m_mode = saved;
    return found;
}

} // namespace cv
