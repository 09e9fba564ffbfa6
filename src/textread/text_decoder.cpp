#include "textread/text_decoder.h"

#include "suite/text_codec.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <bit>
#include <array>
#include <cstring>

#include "textread/cpu_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(CV_AVX2_PATHS)
#include <immintrin.h>
#endif

namespace cv {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows code page 1252: the bytes 0x80 to 0x9F; the five bytes it leaves
// undefined read as U+FFFD. Every other byte is the ISO 8859-1 character.
constexpr std::array<char16_t, 32> kCp1252C1 = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

struct ByteTables {
    std::array<char16_t, 256> cp1252;
    std::array<char16_t, 256> latin1;
    ByteTables()
    {
        for (int b = 0; b < 256; ++b) {
            latin1[b] = char16_t(b);
            cp1252[b] = (b >= 0x80 && b < 0xA0) ? kCp1252C1[b - 0x80] : char16_t(b);
        }
    }
};

const ByteTables& byteTables()
{
    static const ByteTables tables;
    return tables;
}

// One UTF-8 character at p (n > 0 bytes at hand). Returns its length with the
// code point in cp; 0 when a well-formed start is cut by the end of the bytes;
// -k when the first k bytes are malformed (they become one U+FFFD, the
// "maximal subpart" rule).
inline int utf8Step(const uint8_t* p, std::size_t n, char32_t& cp)
{
    const uint8_t b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    int need;
    char32_t c;
    uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        c = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0; // no overlong forms
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        c = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F; // nothing above U+10FFFF
    } else {
        return -1;
    }
    for (int k = 1; k <= need; ++k) {
        if (std::size_t(k) >= n)
            return 0;
        const uint8_t b = p[k];
        if (b < lo || b > hi)
            return -k;
        lo = 0x80;
        hi = 0xBF;
        c = (c << 6) | (b & 0x3F);
    }
    cp = c;
    return need + 1;
}

inline void putCodePoint(char32_t cp, char16_t* out, std::size_t& o)
{
    if (cp < 0x10000) {
        out[o++] = char16_t(cp);
    } else {
        cp -= 0x10000;
        out[o++] = char16_t(0xD800 + (cp >> 10));
        out[o++] = char16_t(0xDC00 + (cp & 0x3FF));
    }
}

#if defined(CV_AVX2_PATHS)
// The AVX2 forms of the block loops of widenAscii and asciiRun below, for
// long runs: whole blocks of 32 ASCII bytes. The callers go on from where
// they stop (a block with a byte above 0x7F, or fewer than 32 bytes left).
__attribute__((target("avx2"))) std::size_t widenAsciiBlocksAvx2(const uint8_t* p, std::size_t n, char16_t* out)
{
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        if (_mm256_movemask_epi8(v) != 0)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 16), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1)));
    }
    return i;
}

__attribute__((target("avx2"))) std::size_t asciiBlocksAvx2(const uint8_t* p, std::size_t n)
{
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32)
        if (_mm256_movemask_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i))) != 0)
            break;
    return i;
}

// Runs shorter than this (between accented letters, say) are not worth the call.
constexpr std::size_t kAvx2Run = 64;
#endif

// Widens a run of ASCII bytes; returns how many bytes it took (stops at the
// first byte above 0x7F).
inline std::size_t widenAscii(const uint8_t* p, std::size_t n, char16_t* out)
{
    std::size_t i = 0;
#if defined(CV_AVX2_PATHS)
    if (n >= kAvx2Run && ProcessorHasAvx2())
        i = widenAsciiBlocksAvx2(p, n, out);
#endif
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(v);
        if (mask != 0) {
            const int k = __builtin_ctz(unsigned(mask));
            for (int j = 0; j < k; ++j)
                out[i + j] = p[i + j];
            return i + k;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        i += 16;
    }
#endif
    while (i < n && p[i] < 0x80) {
        out[i] = p[i];
        ++i;
    }
    return i;
}

struct Utf8Evidence {
    int valid = 0;    // multi-byte sequences that are well formed
    int invalid = 0;  // malformed stretches
    bool cutAtEnd = false;
};

// Bytes below 0x80 from i on: how many.
inline std::size_t asciiRun(const uint8_t* p, std::size_t i, std::size_t n)
{
    const std::size_t from = i;
#if defined(CV_AVX2_PATHS)
    if (n - i >= kAvx2Run && ProcessorHasAvx2())
        i += asciiBlocksAvx2(p + i, n - i);
#endif
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (mask != 0)
            return i + std::size_t(__builtin_ctz(unsigned(mask))) - from;
    }
#endif
    while (i < n && p[i] < 0x80)
        ++i;
    return i - from;
}

Utf8Evidence weighUtf8(const uint8_t* p, std::size_t n)
{
    Utf8Evidence e;
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            i += asciiRun(p, i, n);
            continue;
        }
        char32_t cp;
        const int r = utf8Step(p + i, n - i, cp);
        if (r > 0) {
            ++e.valid;
            i += std::size_t(r);
        } else if (r == 0) {
            e.cutAtEnd = true;
            break;
        } else {
            ++e.invalid;
            i += std::size_t(-r);
        }
    }
    return e;
}

// UTF-8 is taken when the bytes above 0x7F mostly form well-formed sequences:
// an 8-bit text hardly ever does, while a stray damaged byte in a UTF-8 text
// should not turn all its accented letters into mojibake.
bool utf8Wins(const Utf8Evidence& e) { return e.valid > 0 && e.invalid * 8 <= e.valid; }

QByteArray systemCodecName(uint32_t codePage)
{
    switch (codePage) {
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 65001: return "UTF-8";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28605)
        return "ISO-8859-" + QByteArray::number(codePage - 28590);
    return "windows-" + QByteArray::number(codePage);
}



// Units of a UTF-16 reading that part the words of a text: blanks and line
// breaks (their high byte is zero), the ideographic space and full stop and
// comma, and the full-width comma and stop. A text written without any
// is no text; an 8-bit text read as UTF-16 never shows them (they need a
// byte below 0x03 or above 0xFE, which such a text does not hold).
std::size_t separatingUtf16Units(const uint8_t* p, std::size_t n, bool bigEndian)
{
    std::size_t separators = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        const auto u = char16_t(bigEndian ? (p[i] << 8 | p[i + 1]) : (p[i + 1] << 8 | p[i]));
        separators += u == 0x20 || (u >= 0x09 && u <= 0x0D) || (u >= 0x3000 && u <= 0x3002) || u == 0xFF0C
                      || u == 0xFF0E;
    }
    return separators;
}

// Units of a UTF-16 reading that no text holds: controls but the usual
// blanks and line breaks, unpaired surrogates, unassigned code points,
// private use, non-characters and U+FFFD.
std::size_t unlikelyUtf16Units(const uint8_t* p, std::size_t n, bool bigEndian)
{
    auto unit = [&](std::size_t i) -> char16_t {
        return bigEndian ? char16_t(p[i] << 8 | p[i + 1]) : char16_t(p[i + 1] << 8 | p[i]);
    };
    std::size_t bad = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 3 < n) {
                const char16_t low = unit(i + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    const QChar::Category cat = QChar::category(QChar::surrogateToUcs4(u, low));
                    bad += cat == QChar::Other_NotAssigned || cat == QChar::Other_PrivateUse;
                    i += 2;
                    continue;
                }
                ++bad;
            }
            continue; // a pair cut at the end of the sample
        }
        if (u < 0x20) {
            bad += !(u >= 0x09 && u <= 0x0D);
            continue;
        }
        const QChar::Category cat = QChar::category(char32_t(u));
        bad += cat == QChar::Other_NotAssigned || cat == QChar::Other_PrivateUse || cat == QChar::Other_Surrogate
               || cat == QChar::Other_Control || u == 0xFFFD;
    }
    return bad;
}

} // namespace

int ByteOrderMarkLength(std::span<const uint8_t> head)
{
    if (head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        return 3;
    if (head.size() >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
        return 2;
    return 0;
}

std::size_t OddControlBytes(std::span<const uint8_t> bytes)
{
    const uint8_t* const p = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t odd = 0, i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time (every text's head is looked at, and byte by
    // byte this took more than the rest of the guess): a lane counts down
    // by one for each odd byte, at most 255 rounds before the lanes are summed.
    const __m128i lastControl = _mm_set1_epi8(0x1F), tab = _mm_set1_epi8(0x09), breaks = _mm_set1_epi8(0x0D - 0x09);
    const __m128i substitute = _mm_set1_epi8(0x1A), escape = _mm_set1_epi8(0x1B);
    while (n - i >= 16) {
        const std::size_t end = i + std::min<std::size_t>((n - i) & ~std::size_t(15), 255 * 16);
        __m128i lanes = _mm_setzero_si128();
        for (; i < end; i += 16) {
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(b, lastControl), b);
            const __m128i fromTab = _mm_sub_epi8(b, tab);
            const __m128i blank = _mm_cmpeq_epi8(_mm_min_epu8(fromTab, breaks), fromTab);
            const __m128i allowed =
                _mm_or_si128(blank, _mm_or_si128(_mm_cmpeq_epi8(b, substitute), _mm_cmpeq_epi8(b, escape)));
            lanes = _mm_sub_epi8(lanes, _mm_andnot_si128(allowed, control));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        odd += std::size_t(_mm_cvtsi128_si32(sums)) + std::size_t(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < n; ++i)
        odd += p[i] < 0x20 && !(p[i] >= 0x09 && p[i] <= 0x0D) && p[i] != 0x1A && p[i] != 0x1B;
    return odd;
}

bool IsWellFormedUtf8(std::span<const uint8_t> bytes, bool allowCutEnd)
{
    const Utf8Evidence e = weighUtf8(bytes.data(), bytes.size());
    return e.invalid == 0 && (!e.cutAtEnd || allowCutEnd);
}

bool LooksLikeUtf16ByStructure(std::span<const uint8_t> head, bool& bigEndian)
{
    const std::size_t n = head.size() & ~std::size_t(1);
    const std::size_t units = n / 2;
    // Only a head an 8-bit reading would refuse is looked at again (nearly
    // any 8-bit text is some UTF-16 too: a plain Latin text read so is
    // mostly CJK ideographs). Texts in Cyrillic, Greek or Arabic show the block's
    // high byte (0x03 to 0x06) in every letter, Chinese and Japanese low
    // bytes below 0x20 in one unit of eight.
    if (units < 16 || OddControlBytes(head.first(n)) * 40 <= n)
        return false;
    // The two bytes of a unit differ in kind (a script's block number and
    // the letter in it); the bytes of an 8-bit text are alike in even and
    // odd places. Their share of the same values tells them apart.
    std::array<uint32_t, 256> even{}, odd{};
    for (std::size_t i = 0; i < n; i += 2) {
        ++even[head[i]];
        ++odd[head[i + 1]];
    }
    std::size_t shared = 0;
    for (std::size_t v = 0; v < 256; ++v)
        shared += std::min(even[v], odd[v]);
    if (shared * 2 >= units)
        return false;
    const std::size_t le = unlikelyUtf16Units(head.data(), n, false);
    const std::size_t be = unlikelyUtf16Units(head.data(), n, true);
    bigEndian = be < le;
    const std::size_t best = std::min(le, be), other = std::max(le, be);
    // Nearly every unit is a character a text holds, and clearly fewer than
    // in the other order; and the words are parted by blanks, line breaks or
    // the stops of a script without blanks (structure alone is not enough:
    // an ASCII text of identical lines has it too).
    return best * 100 <= units && other >= best * 4 + units / 50
           && separatingUtf16Units(head.data(), n, bigEndian) * 200 >= units;
}

bool LooksLikeItsMark(std::span<const uint8_t> head, TSourceEncoding marked)
{
    switch (marked) {
    case TSourceEncoding::Utf16LE:
    case TSourceEncoding::Utf16BE: {
        // An 8-bit text read as UTF-16 pairs its blanks with letters: no
        // unit of it is a blank or a line break.
        const std::size_t n = head.size() & ~std::size_t(1);
        return n < 32 || separatingUtf16Units(head.data(), n, marked == TSourceEncoding::Utf16BE) * 200 >= n / 2;
    }
    case TSourceEncoding::Utf8: {
        const Utf8Evidence e = weighUtf8(head.data(), head.size());
        return e.invalid == 0 || utf8Wins(e);
    }
    case TSourceEncoding::Ansi:
        break;
    }
    return true;
}

TEncodingGuess GuessSourceEncoding(std::span<const uint8_t> head, bool detectUtf8, bool wholeText)
{
    TEncodingGuess g;
    const std::size_t n = head.size();
    if (n >= 4 && ((head[0] == 0xFF && head[1] == 0xFE && head[2] == 0 && head[3] == 0) ||
                   (head[0] == 0 && head[1] == 0 && head[2] == 0xFE && head[3] == 0xFF))) {
        g.utf32 = true;
        g.bomLength = 4;
        return g;
    }
    g.bomLength = ByteOrderMarkLength(head);
    if (g.bomLength == 3) {
        g.encoding = TSourceEncoding::Utf8;
        return g;
    }
    if (g.bomLength == 2) {
        g.encoding = head[0] == 0xFF ? TSourceEncoding::Utf16LE : TSourceEncoding::Utf16BE;
        return g;
    }
    // Without a mark, UTF-16 shows by its zero bytes (the suite's test, which
    // a head without any zero byte never passes).
    const std::size_t sample = std::min<std::size_t>(n, 8192);
    const TTextEncoding plain = std::memchr(head.data(), 0, sample) == nullptr
                                    ? TTextEncoding::CodePage
                                    : DetectTextEncoding(QByteArrayView(head.data(), qsizetype(sample)));
    if (plain == TTextEncoding::Utf16LE || plain == TTextEncoding::Utf16BE) {
        g.encoding = plain == TTextEncoding::Utf16BE ? TSourceEncoding::Utf16BE : TSourceEncoding::Utf16LE;
        return g;
    }
    bool bigEndian = false;
    if (LooksLikeUtf16ByStructure(head.first(sample), bigEndian)) {
        g.encoding = bigEndian ? TSourceEncoding::Utf16BE : TSourceEncoding::Utf16LE;
        return g;
    }
    if (!detectUtf8) {
        g.encoding = TSourceEncoding::Ansi;
        return g;
    }
    const Utf8Evidence e = weighUtf8(head.data(), n);
    if (e.valid == 0 && e.invalid == 0) {
        // ASCII so far (or one cut sequence at the end of the sample).
        g.encoding = TSourceEncoding::Utf8;
        g.decided = wholeText && !e.cutAtEnd;
        if (wholeText && e.cutAtEnd)
            g.encoding = TSourceEncoding::Ansi;
        return g;
    }
    g.encoding = utf8Wins(e) ? TSourceEncoding::Utf8 : TSourceEncoding::Ansi;
    return g;
}

TTextDecoder::TTextDecoder(TSourceEncoding encoding, uint32_t codePage, bool decided)
    : m_encoding(encoding), m_codePage(codePage), m_decided(decided || encoding != TSourceEncoding::Utf8)
{
    if (m_encoding == TSourceEncoding::Ansi)
        settle();
}

TTextDecoder::~TTextDecoder() = default;

// Fixes how 8-bit bytes are read once the encoding is known to be ANSI.
void TTextDecoder::settle()
{
    m_decided = true;
    if (m_encoding != TSourceEncoding::Ansi)
        return;
    if (m_codePage == 1252 || m_codePage == 0) {
        m_table = byteTables().cp1252.data();
        return;
    }
    if (m_codePage == 28591) {
        m_table = byteTables().latin1.data();
        return;
    }
    auto sys = std::make_unique<QStringDecoder>(systemCodecName(m_codePage).constData());
    if (sys->isValid())
        m_system = std::move(sys);
    else
        m_table = byteTables().latin1.data();
}

void TTextDecoder::Decode(std::span<const uint8_t> bytes, bool final, std::u16string& out) { decode(bytes, final, out); }

void TTextDecoder::Decode(std::span<const uint8_t> bytes, bool final, TUnitBuffer& out) { decode(bytes, final, out); }

template <class Units>
void TTextDecoder::decode(std::span<const uint8_t> bytes, bool final, Units& out)
{
    const uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    if (m_pendingCount > 0) {
        m_joined.assign(m_pending, m_pending + m_pendingCount);
        m_joined.insert(m_joined.end(), bytes.begin(), bytes.end());
        p = m_joined.data();
        n = m_joined.size();
        m_pendingCount = 0;
    }
    if (n == 0)
        return;

    std::size_t used = 0;
    if (!m_decided) {
        used = decodeUndecided(p, n, final, out);
    } else if (m_encoding == TSourceEncoding::Ansi) {
        used = decodeAnsi(p, n, final, out);
    } else {
        const std::size_t base = out.size();
        out.resize(base + MaxUnitsFor(n));
        std::size_t produced = 0;
        if (m_encoding == TSourceEncoding::Utf8)
            used = decodeUtf8(p, n, final, out.data() + base, produced);
        else
            used = decodeUtf16(p, n, final, m_encoding == TSourceEncoding::Utf16BE, out.data() + base, produced);
        out.resize(base + produced);
    }
    const std::size_t rest = n - used;
    // By construction at most three bytes of one cut character wait.
    if (rest > 0) {
        const std::size_t keep = std::min(rest, sizeof(m_pending));
        std::memcpy(m_pending, p + used, keep);
        m_pendingCount = keep;
    }
    if (!m_joined.empty() && m_joined.capacity() > (std::size_t(1) << 16))
        std::vector<uint8_t>().swap(m_joined);
    else
        m_joined.clear();
}

template <class Units>
std::size_t TTextDecoder::decodeUndecided(const uint8_t* p, std::size_t n, bool final, Units& out)
{
    const std::size_t base = out.size();
    out.resize(base + n);
    const std::size_t ascii = widenAscii(p, n, out.data() + base);
    out.resize(base + ascii);
    if (ascii == n)
        return n;
    // The first byte above 0x7F: weigh what follows it.
    const std::size_t window = std::min<std::size_t>(n - ascii, 4096);
    const Utf8Evidence e = weighUtf8(p + ascii, window);
    if (e.valid == 0 && e.invalid == 0 && !final)
        return ascii; // a cut sequence at the very end: wait for more bytes
    m_encoding = utf8Wins(e) ? TSourceEncoding::Utf8 : TSourceEncoding::Ansi;
    settle();
    std::size_t used = ascii;
    if (m_encoding == TSourceEncoding::Ansi) {
        used += decodeAnsi(p + ascii, n - ascii, final, out);
    } else {
        const std::size_t at = out.size();
        out.resize(at + MaxUnitsFor(n - ascii));
        std::size_t produced = 0;
        used += decodeUtf8(p + ascii, n - ascii, final, out.data() + at, produced);
        out.resize(at + produced);
    }
    return used;
}

std::size_t TTextDecoder::decodeUtf8(const uint8_t* p, std::size_t n, bool final, char16_t* out,
                                     std::size_t& produced)
{
    std::size_t i = 0, o = 0;
    while (i < n) {
        const std::size_t run = widenAscii(p + i, n - i, out + o);
        i += run;
        o += run;
        if (i >= n)
            break;
        char32_t cp;
        const int r = utf8Step(p + i, n - i, cp);
        if (r > 0) {
            putCodePoint(cp, out, o);
            i += std::size_t(r);
        } else if (r == 0) {
            if (!final)
                break;
            out[o++] = kReplacement;
            ++m_replacements;
            i = n;
        } else {
            out[o++] = kReplacement;
            ++m_replacements;
            i += std::size_t(-r);
        }
    }
    produced = o;
    return i;
}

std::size_t TTextDecoder::decodeUtf16(const uint8_t* p, std::size_t n, bool final, bool bigEndian,
                                      char16_t* out, std::size_t& produced)
{
    auto unitAt = [&](std::size_t i) -> char16_t {
        return bigEndian ? char16_t((p[i] << 8) | p[i + 1]) : char16_t(p[i] | (p[i + 1] << 8));
    };
    std::size_t i = 0, o = 0;
    while (i + 1 < n) {
#if defined(__SSE2__)
        // Eight units at a time while none of them is a surrogate.
        const __m128i sMask = _mm_set1_epi16(short(0xF800));
        const __m128i sVal = _mm_set1_epi16(short(0xD800));
        while (i + 16 <= n) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (bigEndian)
                v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, sMask), sVal)) != 0)
                break;
            if constexpr (std::endian::native == std::endian::little) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
            } else {
                for (int k = 0; k < 8; ++k)
                    out[o + k] = unitAt(i + 2 * k);
            }
            i += 16;
            o += 8;
        }
        if (i + 1 >= n)
            break;
#endif
        const char16_t u = unitAt(i);
        if (u < 0xD800 || u > 0xDFFF) {
            out[o++] = u;
            i += 2;
            continue;
        }
        if (u <= 0xDBFF) {
            if (i + 3 < n) {
                const char16_t u2 = unitAt(i + 2);
                if (u2 >= 0xDC00 && u2 <= 0xDFFF) {
                    out[o++] = u;
                    out[o++] = u2;
                    i += 4;
                    continue;
                }
            } else if (!final) {
                break; // the low half may come with the next block
            }
        }
        out[o++] = kReplacement;
        ++m_replacements;
        i += 2;
    }
    if (final && i < n) {
        // An odd byte (or a cut pair) at the very end of the text.
        out[o++] = kReplacement;
        ++m_replacements;
        i = n;
    }
    produced = o;
    return i;
}

template <class Units>
std::size_t TTextDecoder::decodeAnsi(const uint8_t* p, std::size_t n, bool final, Units& out)
{
    if (m_system) {
        const QString s = m_system->decode(QByteArrayView(reinterpret_cast<const char*>(p), qsizetype(n)));
        const char16_t* units = reinterpret_cast<const char16_t*>(s.utf16());
        out.insert(out.end(), units, units + s.size());
        return n;
    }
    const std::size_t base = out.size();
    out.resize(base + n);
    char16_t* o = out.data() + base;
    const char16_t* table = m_table;
    std::size_t i = 0;
    while (i < n) {
        i += widenAscii(p + i, n - i, o + i);
        while (i < n && p[i] >= 0x80) {
            const char16_t c = table[p[i]];
            m_replacements += c == kReplacement;
            o[i] = c;
            ++i;
        }
    }
    return n;
}

} // namespace cv
