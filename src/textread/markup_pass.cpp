#include "textread/markup_pass.h"

#include "textread/class_array.h"
#include "textread/cpu_features.h"
#include "textread/tag_handler.h"

#include <QStringView>

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(CV_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace cv {

namespace {

inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; }

inline bool isEntityChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'#';
}

std::u16string toU16(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size())); }

int64_t findMarker(std::u16string_view text, std::size_t from, const std::u16string& marker)
{
    const QStringView hay(text.data(), qsizetype(text.size()));
    return hay.indexOf(QStringView(marker.data(), qsizetype(marker.size())), qsizetype(from), Qt::CaseInsensitive);
}

// Units that would pass for tag marks in the buffer are not text.
inline char16_t sanitised(char16_t c) { return (c == kTagMarkOpen || c == kTagMarkClose) ? char16_t(0xFFFD) : c; }

#if defined(CV_AVX2_PATHS)
// The AVX-512 form: the units compared as they are, 32 at a time, the last
// few through a masked load (which reads nothing past n).
__attribute__((target("avx512f,avx512bw"))) std::size_t FindFirstOf4Widest(const char16_t* p, std::size_t n, char16_t a,
                                                                            char16_t b, char16_t c, char16_t d)
{
    const __m512i va = _mm512_set1_epi16(short(a)), vb = _mm512_set1_epi16(short(b));
    const __m512i vc = _mm512_set1_epi16(short(c)), vd = _mm512_set1_epi16(short(d));
    auto hits = [&](__m512i v) __attribute__((target("avx512f,avx512bw"))) {
        return _mm512_cmpeq_epi16_mask(v, va) | _mm512_cmpeq_epi16_mask(v, vb) | _mm512_cmpeq_epi16_mask(v, vc)
               | _mm512_cmpeq_epi16_mask(v, vd);
    };
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32)
        if (const __mmask32 h = hits(_mm512_loadu_si512(p + i)))
            return i + std::size_t(__builtin_ctz(h));
    if (i < n) {
        const __mmask32 rest = __mmask32((uint64_t(1) << (n - i)) - 1);
        if (const __mmask32 h = hits(_mm512_maskz_loadu_epi16(rest, p + i)) & rest)
            return i + std::size_t(__builtin_ctz(h));
    }
    return n;
}
#endif

} // namespace

std::size_t FindFirstOf4(const char16_t* p, std::size_t n, char16_t a, char16_t b, char16_t c, char16_t d, bool widest)
{
#if defined(CV_AVX2_PATHS)
    if (widest && ProcessorHasAvx512Bw())
        return FindFirstOf4Widest(p, n, a, b, c, d);
#else
    (void)widest;
#endif
    std::size_t i = 0;
#if defined(__SSE2__)
    auto inByteRange = [](char16_t u) { return u >= 1 && u <= 0xFE; };
    if (inByteRange(a) && inByteRange(b) && inByteRange(c) && inByteRange(d)) {
        // Sixteen units at a time as bytes: units above U+00FF saturate to
        // 0xFF and those from U+8000 to 0, neither of them one of the four.
        const __m128i ba = _mm_set1_epi8(char(a)), bb = _mm_set1_epi8(char(b));
        const __m128i bc = _mm_set1_epi8(char(c)), bd = _mm_set1_epi8(char(d));
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_packus_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8)));
            const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, ba), _mm_cmpeq_epi8(v, bb)),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, bc), _mm_cmpeq_epi8(v, bd)));
            const int mask = _mm_movemask_epi8(hit);
            if (mask != 0)
                return i + std::size_t(__builtin_ctz(unsigned(mask)));
        }
    }
    const __m128i va = _mm_set1_epi16(short(a)), vb = _mm_set1_epi16(short(b));
    const __m128i vc = _mm_set1_epi16(short(c)), vd = _mm_set1_epi16(short(d));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)),
                                         _mm_or_si128(_mm_cmpeq_epi16(v, vc), _mm_cmpeq_epi16(v, vd)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + std::size_t(__builtin_ctz(unsigned(mask)) / 2);
    }
#endif
    for (; i < n; ++i) {
        const char16_t u = p[i];
        if (u == a || u == b || u == c || u == d)
            return i;
    }
    return n;
}

// ---------------------------------------------------------------------------

void TPositionMap::Reset(int64_t chunkPosition)
{
    m_anchors.clear();
    m_anchors.push_back({0, chunkPosition});
}

void TPositionMap::Add(int32_t index, int64_t position)
{
    if (!m_anchors.empty()) {
        Anchor& last = m_anchors.back();
        if (last.index == index) {
            last.position = position;
            if (m_anchors.size() >= 2) {
                const Anchor& prev = m_anchors[m_anchors.size() - 2];
                if (prev.position + (index - prev.index) == position)
                    m_anchors.pop_back();
            }
            return;
        }
        if (last.position + (index - last.index) == position)
            return;
    }
    m_anchors.push_back({index, position});
}

int64_t TPositionMap::PositionOf(int32_t index) const
{
    if (m_anchors.empty())
        return index;
    auto it = std::upper_bound(m_anchors.begin(), m_anchors.end(), index,
                               [](int32_t i, const Anchor& a) { return i < a.index; });
    if (it == m_anchors.begin())
        return m_anchors.front().position - (m_anchors.front().index - index);
    --it;
    return it->position + (index - it->index);
}

int32_t TPositionMap::IndexOf(int64_t position) const
{
    if (m_anchors.empty())
        return int32_t(position);
    auto it = std::upper_bound(m_anchors.begin(), m_anchors.end(), position,
                               [](int64_t p, const Anchor& a) { return p < a.position; });
    if (it == m_anchors.begin())
        return m_anchors.front().index;
    auto next = it;
    --it;
    int64_t index = it->index + (position - it->position);
    if (next != m_anchors.end() && index > next->index)
        index = next->index;
    return int32_t(index);
}

// ---------------------------------------------------------------------------

TMarkupPass::TMarkupPass(const TTextTagHandler& handler) : m_handler(handler)
{
    const TTagOptions& o = handler.Options();
    m_tags = o.mode != TMarkupMode::Plain;
    m_entities = o.translateEntities;
    m_startMarker = toU16(o.textStartMarker);
    m_endMarker = toU16(o.textEndMarker);
    m_selection = o.textSelection && (!m_startMarker.empty() || !m_endMarker.empty());
    m_maxTagSpan = o.maxTagSpan > 0 ? o.maxTagSpan : 1000;
    StartText();
}

void TMarkupPass::StartText()
{
    m_selecting = !m_selection || m_startMarker.empty();
    m_emitted = false;
    m_gapPending = false;
    m_excludeRule = -1;
    m_leftOutScript = false;
}

int64_t TMarkupPass::TagEnd(std::u16string_view text, std::size_t lt, std::size_t limit, int32_t maxTagSpan)
{
    limit = std::min(limit, text.size());
    if (lt + 1 >= limit)
        return -1;
    const char16_t first = text[lt + 1];
    if (isBlank(first) || first == u'<' || first == u'>' || first == u'=')
        return -1;
    const std::size_t max = std::min(limit, lt + 2 + std::size_t(std::max(maxTagSpan, 1)));
    if (text.substr(lt + 1, 3) == u"!--") {
        const std::size_t close = text.substr(0, max).find(u"-->", lt + 4);
        if (close != std::u16string_view::npos)
            return int64_t(close + 2);
    }
    for (std::size_t k = lt + 1; k < max; ++k) {
        if (text[k] == u'>')
            return int64_t(k);
        if (text[k] == u'<')
            return -1;
    }
    return -1;
}

void TMarkupPass::emitReplacement(std::u16string_view text, std::size_t sourceEnd, int64_t base, std::u16string& out,
                                  TPositionMap& map)
{
    for (const char16_t c : text)
        out.push_back(sanitised(c));
    map.Add(int32_t(out.size()), base + int64_t(sourceEnd));
}

std::array<char16_t, 4> TMarkupPass::marks() const
{
    const char16_t a = m_tags ? u'<' : u'&';
    return {a, m_entities ? u'&' : a, m_tags ? kTagMarkOpen : a, m_tags ? kTagMarkClose : a};
}

bool TMarkupPass::processStretch(std::u16string_view chunk, std::size_t from, std::size_t to, int64_t base,
                                 std::u16string& out, TPositionMap& map, std::vector<uint16_t>& tagNumbers, bool mayKeep)
{
    const auto [a, b, c, d] = marks();
    // The units from `same` on are the chunk's own, not copied yet: only
    // when something is changed after them (most chunks of plain texts hold
    // a bare "&" or "<" at most, and change nothing).
    std::size_t same = from;
    bool changed = false;
    auto copyTo = [&](std::size_t at) {
        out.append(chunk.substr(same, at - same));
        changed = true;
    };
    std::size_t k = from;
    while (k < to) {
        if (m_excludeRule >= 0) {
            copyTo(k);
            std::size_t lt = chunk.find(u'<', k);
            int64_t gt = -1;
            while (lt != std::u16string_view::npos && lt < to) {
                gt = TagEnd(chunk, lt, to, m_maxTagSpan);
                if (gt >= 0 && m_handler.EndsExcludedSpan(m_excludeRule, chunk.substr(lt + 1, std::size_t(gt) - lt - 1)))
                    break;
                gt = -1;
                lt = chunk.find(u'<', lt + 1);
            }
            if (gt < 0) {
                k = same = to;
                break;
            }
            m_excludeRule = -1;
            k = same = std::size_t(gt) + 1;
            map.Add(int32_t(out.size()), base + int64_t(k));
            emitReplacement(u" ", k, base, out, map);
            continue;
        }
        if (!m_tags && !m_entities)
            break;
        const std::size_t s = k + FindFirstOf4(chunk.data() + k, to - k, a, b, c, d);
        if (s >= to)
            break;
        const char16_t u = chunk[s];
        if (u == u'<') {
            const int64_t e = TagEnd(chunk, s, to, m_maxTagSpan);
            if (e < 0) {
                k = s + 1;
                continue;
            }
            copyTo(s);
            const std::u16string_view inner = chunk.substr(s + 1, std::size_t(e) - s - 1);
            int rule = -1;
            const std::u16string* translation = nullptr;
            map.Add(int32_t(out.size()), base + int64_t(s));
            switch (m_handler.ActionForTag(inner, rule, translation)) {
            case TTagAction::Keep:
                out.push_back(kTagMarkOpen);
                for (const char16_t t : inner)
                    out.push_back(sanitised(t));
                out.push_back(kTagMarkClose);
                tagNumbers.push_back(m_handler.TagNumberOfInner(inner));
                break;
            case TTagAction::Exclude:
                emitReplacement(u" ", std::size_t(e) + 1, base, out, map);
                break;
            case TTagAction::ExcludeSpan:
                m_excludeRule = rule;
                m_leftOutScript |= TTextTagHandler::IsScriptOrStyleSpan(rule);
                break;
            case TTagAction::Translate:
                emitReplacement(*translation, std::size_t(e) + 1, base, out, map);
                break;
            }
            k = same = std::size_t(e) + 1;
            continue;
        }
        if (u == u'&') {
            std::size_t j = s + 1;
            const std::size_t max = std::min(to, s + 34);
            while (j < max && isEntityChar(chunk[j]))
                ++j;
            if (j < max && j > s + 1 && chunk[j] == u';' &&
                m_handler.TagsToTranslate().TranslateEntity(chunk.substr(s + 1, j - s - 1), m_scratch)) {
                copyTo(s);
                map.Add(int32_t(out.size()), base + int64_t(s));
                emitReplacement(m_scratch, j + 1, base, out, map);
                k = same = j + 1;
            } else {
                k = s + 1;
            }
            continue;
        }
        copyTo(s);
        out.push_back(0xFFFD); // a tag mark standing in the source text
        k = same = s + 1;
    }
    if (changed || !mayKeep)
        out.append(chunk.substr(same, to - same));
    return changed;
}

bool TMarkupPass::Process(std::u16string_view chunk, int64_t chunkPosition, std::u16string& out, TPositionMap& map,
                          std::vector<uint16_t>& tagNumbers, std::vector<int32_t>& forcedBoundaries)
{
    out.clear();
    tagNumbers.clear();
    forcedBoundaries.clear();
    map.Reset(chunkPosition);
    const std::size_t n = chunk.size();
    if (!m_selection)
        return processStretch(chunk, 0, n, chunkPosition, out, map, tagNumbers, true);
    out.reserve(chunk.size() + 16);
    std::size_t i = 0;
    while (i < n) {
        if (!m_selecting) {
            const int64_t j = m_startMarker.empty() ? -1 : findMarker(chunk, i, m_startMarker);
            if (j < 0)
                break;
            i = std::size_t(j) + m_startMarker.size();
            m_selecting = true;
            m_gapPending = m_emitted;
            map.Add(int32_t(out.size()), chunkPosition + int64_t(i));
            continue;
        }
        const int64_t stop = m_endMarker.empty() ? -1 : findMarker(chunk, i, m_endMarker);
        const std::size_t end = stop < 0 ? n : std::size_t(stop);
        if (m_gapPending && end > i) {
            map.Add(int32_t(out.size()), chunkPosition + int64_t(i));
            forcedBoundaries.push_back(int32_t(out.size()));
            emitReplacement(u" ", i, chunkPosition, out, map);
            m_gapPending = false;
        }
        const std::size_t before = out.size();
        processStretch(chunk, i, end, chunkPosition, out, map, tagNumbers, false);
        m_emitted |= out.size() > before;
        if (stop < 0)
            break;
        i = end + m_endMarker.size();
        m_selecting = false;
        map.Add(int32_t(out.size()), chunkPosition + int64_t(i));
    }
    return true;
}

} // namespace cv
