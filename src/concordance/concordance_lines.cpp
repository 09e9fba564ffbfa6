#include "concordance/concordance_lines.h"

#include "concordance/concordance_list.h"
#include "suite/cv_stream.h"
#include "textread/tag_handler.h"
#include "textread/tag_records.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cv {

namespace {

int16_t clampToInt16(int32_t v)
{
    return int16_t(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// What a buffer unit looks like in a line: tag marks as "<" and ">", other
// controls as blanks. Written as selects so that the copy loop vectorises.
inline char16_t shownUnit(char16_t u)
{
    const char16_t control = u == kTagMarkOpen ? u'<' : (u == kTagMarkClose ? u'>' : u' ');
    return u < 0x20 ? control : u;
}

} // namespace

TLineCut CutLine(int32_t hitStart, int32_t lineLength, int32_t bufferSize)
{
    TLineCut c;
    lineLength = std::max(lineLength, 0);
    c.first = hitStart - lineLength / 2;
    c.padding = c.first < 0 ? -c.first : 0;
    const int32_t end = std::min(c.first + lineLength, std::max(bufferSize, hitStart));
    c.length = std::max(end - c.first, 0);
    c.midpoint = hitStart - c.first;
    return c;
}

void CopyLineOverClassArray(std::u16string_view buffer, std::span<const uint16_t> classes, const TLineCut& cut,
                            char16_t* out, uint16_t* lineClasses)
{
    const int32_t pad = std::min(cut.padding, cut.length);
    std::fill(out, out + pad, u' ');
    if (lineClasses)
        std::fill(lineClasses, lineClasses + pad, uint16_t(kClassSpace));
    const int32_t from = cut.first + pad;
    const int32_t n = std::min<int32_t>(cut.length - pad, int32_t(buffer.size()) - from);
    if (n > 0) {
        // Most stretches hold no unit below U+0020 (a control or a tag mark):
        // eight (or four) units are tested at once and copied whole when clean.
        const char16_t* src = buffer.data() + from;
        char16_t* dst = out + pad;
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128i below = _mm_set1_epi16(0x1F);
        const __m128i blank = _mm_set1_epi16(u' ');
        for (; i + 8 <= n; i += 8) {
            const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            // Saturating subtraction leaves zero exactly for units up to U+001F.
            const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(eight, below), _mm_setzero_si128());
            if (_mm_movemask_epi8(low) == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), eight);
                continue;
            }
            // Controls as blanks, the tag marks as "<" and ">" (shownUnit), eight at once.
            const __m128i open = _mm_and_si128(_mm_cmpeq_epi16(eight, _mm_set1_epi16(kTagMarkOpen)), _mm_set1_epi16(u'<' - u' '));
            const __m128i close = _mm_and_si128(_mm_cmpeq_epi16(eight, _mm_set1_epi16(kTagMarkClose)), _mm_set1_epi16(u'>' - u' '));
            const __m128i shown = _mm_add_epi16(blank, _mm_or_si128(open, close));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                             _mm_or_si128(_mm_andnot_si128(low, eight), _mm_and_si128(low, shown)));
        }
#endif
        for (; i + 4 <= n; i += 4) {
            uint64_t four;
            std::memcpy(&four, src + i, sizeof four);
            if (((four - 0x0020002000200020ull) & ~four & 0x8000800080008000ull) == 0) {
                std::memcpy(dst + i, &four, sizeof four);
                continue;
            }
            for (int k = 0; k < 4; ++k)
                dst[i + k] = shownUnit(src[i + k]);
        }
        for (; i < n; ++i)
            dst[i] = shownUnit(src[i]);
    }
    // A cut past the buffer's end (never made by CutLine) is blank.
    std::fill(out + pad + std::max(n, 0), out + cut.length, u' ');
    if (lineClasses) {
        const int32_t nc = std::min<int32_t>(n, int32_t(classes.size()) - from);
        if (nc > 0)
            std::copy_n(classes.data() + from, nc, lineClasses + pad);
        std::fill(lineClasses + pad + std::max(nc, 0), lineClasses + cut.length, uint16_t(kClassSpace));
    }
}

QString CopyLineOverClassArray(std::u16string_view buffer, std::span<const uint16_t> classes, const TLineCut& cut,
                               std::vector<uint16_t>* lineClasses)
{
    QString line(cut.length, Qt::Uninitialized);
    if (lineClasses)
        lineClasses->resize(std::size_t(cut.length));
    CopyLineOverClassArray(buffer, classes, cut, reinterpret_cast<char16_t*>(line.data()),
                           lineClasses ? lineClasses->data() : nullptr);
    return line;
}

bool PreviousWord(std::span<const uint16_t> classes, int32_t& pos, TScannedWord& word)
{
    int32_t i = std::min<int32_t>(pos, int32_t(classes.size())) - 1;
    int barrier = 0;
    while (i >= 0 && !IsWordClass(classes[std::size_t(i)])) {
        if (const int level = BoundaryLevel(classes[std::size_t(i)]); level > barrier)
            barrier = level;
        --i;
    }
    if (i < 0) {
        pos = 0;
        return false;
    }
    const int32_t end = i + 1;
    word.hasLetter = false;
    while (i >= 0 && IsWordClass(classes[std::size_t(i)])) {
        word.hasLetter |= (classes[std::size_t(i)] & kClassCodeMask) == kClassLetter;
        --i;
    }
    word.start = i + 1;
    word.length = end - word.start;
    word.barrier = barrier;
    // The listed tag just before the word, as the forward scan would report it.
    word.tagNumber = 0;
    for (int32_t k = i; k >= 0 && !IsWordClass(classes[std::size_t(k)]); --k) {
        if (const uint16_t t = TagNumberOf(classes[std::size_t(k)])) {
            word.tagNumber = t;
            break;
        }
    }
    pos = word.start;
    return true;
}

namespace {

// The highest boundary level between `from` and the next word unit.
int gapLevel(std::span<const uint16_t> classes, int32_t from)
{
    int level = 0;
    for (auto i = std::size_t(std::max(from, 0)); i < classes.size() && !IsWordClass(classes[i]); ++i)
        level = std::max(level, BoundaryLevel(classes[i]));
    return level;
}

} // namespace

void FillWordPositions(const TSearchBuffer& buffer, int32_t firstToken, int32_t lastToken, int32_t hitStart,
                       int32_t hitEnd, int32_t lineFirst, int32_t lineLength, int leftLimit, int rightLimit,
                       std::span<TSortInfoRec, kWordPositions> positions)
{
    leftLimit = std::clamp(leftLimit, 0, kHitPosition);
    rightLimit = std::clamp(rightLimit, kHitPosition, kWordPositions - 1);
    const auto& tokens = buffer.Tokens();
    const auto n = int32_t(tokens.size());
    const int32_t hitInLine = hitStart - lineFirst;
    auto tagByte = [](uint16_t t) { return uint8_t(std::min<uint16_t>(t, 255)); };

    TSortInfoRec& hit = positions[kHitPosition];
    hit.start_position = clampToInt16(hitInLine);
    hit.coll_length = clampToInt16(hitEnd - hitStart);
    hit.barrier = 0;
    hit.Tag_number_1Based = firstToken >= 0 && firstToken < n ? tagByte(tokens[std::size_t(firstToken)].tagNumber) : 0;

    // Left: the boundaries of every gap between a word and the hit (tags
    // included) are its barrier.
    int p = kHitPosition - 1;
    int gap = firstToken >= 0 && firstToken < n ? tokens[std::size_t(firstToken)].barrier : 0;
    for (int32_t j = std::min(firstToken, n) - 1; j >= 0 && p >= leftLimit; --j) {
        const TSearchToken& t = tokens[std::size_t(j)];
        if (t.IsTag()) {
            gap = std::max<int>(gap, t.barrier);
            continue;
        }
        positions[std::size_t(p)] =
            TSortInfoRec{clampToInt16(t.start - lineFirst), clampToInt16(t.length), uint8_t(gap), tagByte(t.tagNumber)};
        gap = t.barrier;
        --p;
    }
    for (; p >= leftLimit; --p)
        positions[std::size_t(p)] = TSortInfoRec{clampToInt16(-hitInLine), 0, 0, 0};

    // Right: the gap before each word is the barrier of the position before it.
    p = kHitPosition + 1;
    gap = 0;
    int32_t j = std::max(lastToken + 1, 0);
    for (; j < n && p <= rightLimit; ++j) {
        const TSearchToken& t = tokens[std::size_t(j)];
        gap = std::max<int>(gap, t.barrier);
        if (t.IsTag())
            continue;
        positions[std::size_t(p - 1)].barrier = uint8_t(gap);
        positions[std::size_t(p)] = TSortInfoRec{clampToInt16(t.start - lineFirst), clampToInt16(t.length), 0,
                                                 tagByte(t.tagNumber)};
        gap = 0;
        ++p;
    }
    // The gap after the last word placed: up to the next word, or the buffer's end.
    for (; j < n; ++j) {
        gap = std::max<int>(gap, tokens[std::size_t(j)].barrier);
        if (!tokens[std::size_t(j)].IsTag())
            break;
    }
    if (j >= n)
        gap = std::max<int>(gap, buffer.TrailingBarrier());
    positions[std::size_t(p - 1)].barrier = uint8_t(gap);
    for (; p <= rightLimit; ++p)
        positions[std::size_t(p)] = TSortInfoRec{clampToInt16(lineLength - hitInLine), 0, 0, 0};
}

void FillWordPositions(std::span<const uint16_t> classes, int32_t hitStart, int32_t hitEnd, int32_t lineFirst,
                       int32_t lineLength, int leftLimit, int rightLimit, bool withBarriers,
                       std::span<TSortInfoRec, kWordPositions> positions)
{
    leftLimit = std::clamp(leftLimit, 0, kHitPosition);
    rightLimit = std::clamp(rightLimit, kHitPosition, kWordPositions - 1);
    const int32_t hitInLine = hitStart - lineFirst;
    const int barrierMask = withBarriers ? 0xFF : 0;
    auto tagByte = [](uint16_t t) { return uint8_t(std::min<uint16_t>(t, 255)); };

    TSortInfoRec& hit = positions[kHitPosition];
    hit.start_position = clampToInt16(hitInLine);
    hit.coll_length = clampToInt16(hitEnd - hitStart);
    hit.barrier = 0;
    hit.Tag_number_1Based = 0;
    for (int32_t k = hitStart - 1; k >= 0 && !IsWordClass(classes[std::size_t(k)]); --k)
        if (const uint16_t t = TagNumberOf(classes[std::size_t(k)])) {
            hit.Tag_number_1Based = tagByte(t);
            break;
        }

    // Left: PreviousWord reports the gap after each word, which is its barrier.
    int32_t pos = hitStart;
    TScannedWord w;
    int p = kHitPosition - 1;
    for (; p >= leftLimit; --p) {
        if (!PreviousWord(classes, pos, w))
            break;
        TSortInfoRec& r = positions[std::size_t(p)];
        r.start_position = clampToInt16(w.start - lineFirst);
        r.coll_length = clampToInt16(w.length);
        r.barrier = uint8_t(w.barrier & barrierMask);
        r.Tag_number_1Based = tagByte(w.tagNumber);
    }
    for (; p >= leftLimit; --p)
        positions[std::size_t(p)] = TSortInfoRec{clampToInt16(-hitInLine), 0, 0, 0};

    // Right: NextWord reports the gap before each word, the barrier of the word before it.
    pos = hitEnd;
    p = kHitPosition + 1;
    for (; p <= rightLimit; ++p) {
        if (!NextWord(classes, pos, w))
            break;
        positions[std::size_t(p - 1)].barrier = uint8_t(w.barrier & barrierMask);
        TSortInfoRec& r = positions[std::size_t(p)];
        r.start_position = clampToInt16(w.start - lineFirst);
        r.coll_length = clampToInt16(w.length);
        r.Tag_number_1Based = tagByte(w.tagNumber);
    }
    positions[std::size_t(p - 1)].barrier = uint8_t(gapLevel(classes, pos) & barrierMask);
    for (; p <= rightLimit; ++p)
        positions[std::size_t(p)] = TSortInfoRec{clampToInt16(lineLength - hitInLine), 0, 0, 0};
}

void DistributeWordPositions(std::span<const TSortInfoRec, kWordPositions> positions, int leftLimit, int rightLimit,
                             TMarvexEntryRec& rec)
{
    leftLimit = std::clamp(leftLimit, 0, kFirstFixedPosition);
    rightLimit = std::clamp(rightLimit, kLastFixedPosition, kWordPositions - 1);
    std::copy_n(positions.begin() + kFirstFixedPosition, kFixedPositions, rec.base.fixed_sort_positions.begin());
    rec.other_left_collocs.Clear();
    for (int p = leftLimit; p < kFirstFixedPosition; ++p)
        rec.other_left_collocs.Add(positions[std::size_t(p)]);
    rec.other_right_collocs.Clear();
    for (int p = kLastFixedPosition + 1; p <= rightLimit; ++p)
        rec.other_right_collocs.Add(positions[std::size_t(p)]);
}

void TagPositionsFromClasses(std::span<const uint16_t> lineClasses, const TTextTagHandler* tags, TTagPositionsList& out)
{
    const auto n = int32_t(lineClasses.size());
    const std::vector<TextTagRec>* table = tags ? &tags->TagfileTags() : nullptr;
    int32_t i = 0;
    while (i < n) {
        const uint16_t c = lineClasses[std::size_t(i)];
        const uint16_t number = TagNumberOf(c);
        if (!number) {
            ++i;
            continue;
        }
        const int32_t start = i;
        while (i < n && lineClasses[std::size_t(i)] == c)
            ++i;
        TTagPositionRec r;
        r.tag_position = clampToInt16(start);
        r.used_length = clampToInt16(i - start);
        r.tagnumber_1Based = int16_t(number);
        if (table && number <= table->size()) {
            r.foreground = (*table)[number - 1].stored.foreground_colour;
            r.background = (*table)[number - 1].stored.background_colour;
        } else {
            r.foreground = kDefaultTagForeground;
            r.background = kDefaultTagBackground;
        }
        out.Add(r);
    }
}

void MapTagPositionsToSortPositions(TMarvexEntryRec& rec)
{
    const auto& tags = rec.tag_positions_in_line.Positions();
    auto tagAt = [&](int32_t start) -> int16_t {
        int16_t found = 0;
        for (const TTagPositionRec& t : tags) {
            if (t.tag_position > start)
                break;
            if (t.tagnumber_1Based > 0)
                found = t.tagnumber_1Based;
        }
        return found;
    };
    TMarvexEntryRecExtraBase& extra = rec.pExtraBase.Edit();
    for (int p = 0; p < kWordPositions; ++p) {
        const TSortInfoRec w = WordAtPosition(rec, p);
        extra.tag_sort_numbers_1Based[std::size_t(p)] = w.coll_length > 0 ? tagAt(w.start_position) : 0;
    }
    auto& tagExtra = rec.tag_positions_in_line.EditExtrainfo();
    for (int i = 0; i < kFixedPositions; ++i)
        tagExtra.tag_sort_numbers_1Based[std::size_t(i)] =
            extra.tag_sort_numbers_1Based[std::size_t(kFirstFixedPosition + i)];
}

bool ConvertOldLayoutLine(TStream& s, TMarvexEntryRec& rec, int32_t version)
{
    uint8_t fixed[TMarvexEntryRecBase::kSize];
    if (!s.ReadExact(fixed, sizeof fixed))
        return false;
    // The oldest layout kept the fields at the offsets of the current one but
    // had no sentinel; its first field is not kept.
    rec.base.LoadFrom(std::span<const uint8_t, TMarvexEntryRecBase::kSize>(fixed));
    rec.base.sentinel = kLineSentinel;
    rec.base.ExtraMarvexEntryDatNum = kExtraDatNum;
    int32_t n = 0;
    if (!s.ReadI32(n) || n < 0 || int64_t(n) * TSortInfoRec::kSize > s.Remaining())
        return false;
    return s.Skip(int64_t(n) * TSortInfoRec::kSize);
}

// --- unit ends -----------------------------------------------------------------------------

void TUnitEndHandlers::LineMade(TSearchStatsRec* stats, bool inHeading)
{
    m_waiting[kSentence - 1].push_back(stats);
    m_waiting[kParagraph - 1].push_back(stats);
    m_waiting[kSection - 1].push_back(stats);
    if (inHeading)
        m_waiting[kHeading - 1].push_back(stats);
}

void TUnitEndHandlers::UnitEnded(TUnitKind kind, int32_t lastWord)
{
    auto& waiting = m_waiting[std::size_t(kind - 1)];
    for (TSearchStatsRec* st : waiting) {
        switch (kind) {
        case kSentence: st->SetSentenceEndWord(lastWord); break;
        case kParagraph: st->SetParagraphEndWord(lastWord); break;
        case kHeading: st->SetHeadingEndWord(lastWord); break;
        case kSection: st->SetSectionEndWord(lastWord); break;
        }
    }
    waiting.clear();
}

void TUnitEndHandlers::PassBoundary(int level, int32_t lastWord)
{
    if (level >= 2)
        UnitEnded(kSentence, lastWord);
    if (level >= 3)
        UnitEnded(kParagraph, lastWord);
    if (level >= 4)
        UnitEnded(kHeading, lastWord);
    if (level >= 5)
        UnitEnded(kSection, lastWord);
}

void TUnitEndHandlers::TakeWaiting(TUnitEndHandlers& other)
{
    for (std::size_t k = 0; k < m_waiting.size(); ++k) {
        m_waiting[k].insert(m_waiting[k].end(), other.m_waiting[k].begin(), other.m_waiting[k].end());
        other.m_waiting[k].clear();
    }
}

void TUnitEndHandlers::Clear()
{
    for (auto& w : m_waiting)
        w.clear();
}

bool TUnitEndHandlers::OnlySectionsWaiting() const
{
    return m_waiting[kSentence - 1].empty() && m_waiting[kParagraph - 1].empty() && m_waiting[kHeading - 1].empty();
}

bool TUnitEndHandlers::Waiting() const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(), [](const auto& w) { return !w.empty(); });
}

} // namespace cv
