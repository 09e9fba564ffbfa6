#pragma once
// Class-less routines shared by the vectors and matrices: comb sort, the
// random generators, the CRC-32 step, hexadecimal text, trimming, numbers on
// streams and a small reader of XML elements.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace cv {

// ---- Sorting -------------------------------------------------------------

// The shrink factor of every comb sort of the library.
inline constexpr long double kCombShrink = 1.3L;

// Comb sort passes over the positions first..last: each pass shrinks the gap
// (integer part of gap / 1.3, at least 1) and exchanges the pairs (i, i+gap)
// that are out of order; passes go on until a pass with gap 1 exchanges
// nothing. `afterPass` is called once after every pass.
template <class OutOfOrder, class Exchange, class AfterPass>
void CombSortPasses(int64_t first, int64_t last, int64_t gap, OutOfOrder&& outOfOrder,
                    Exchange&& exchange, AfterPass&& afterPass)
{
    if (gap < 1)
        return;
    bool exchanged = false;
    do {
        gap = int64_t(gap / kCombShrink);
        if (gap < 1)
            gap = 1;
        exchanged = false;
        for (int64_t i = first; i + gap <= last; ++i) {
            if (outOfOrder(i, i + gap)) {
                exchange(i, i + gap);
                exchanged = true;
            }
        }
        afterPass();
    } while (gap > 1 || exchanged);
}

template <class OutOfOrder, class Exchange>
void CombSortPasses(int64_t first, int64_t last, int64_t gap, OutOfOrder&& outOfOrder, Exchange&& exchange)
{
    CombSortPasses(first, last, gap, outOfOrder, exchange, [] {});
}

// Sorting hook of the plain-array sorts: the number of passes made so far
// and an optional procedure told of each pass. Process-wide.
using TSortProgressHook = void (*)(int32_t passCount);
int32_t SortPassCount();
void SetSortProgressHook(TSortProgressHook hook);

// Comb sort of a plain array (both sizes of element).
void SortArray(std::span<double> values, bool ascending);
void SortArray(std::span<int32_t> values, bool ascending);

// ---- Random numbers ------------------------------------------------------

// The library's uniform generator (a 32-bit linear congruential one, seeded
// with 1234 at start); process-wide, like the normal generator's cache.
double RandomUniform();                 // in [0, 1)
int32_t RandomBelow(int32_t range);     // in [0, range), 0 when range <= 0
void RandomSeed(uint32_t seed);        // also drops the cached normal number
void Randomize();                       // seed from the clock
// Marsaglia's polar method; every second call answers from the cache.
double NormalRandom();

// ---- Fingerprints and text -------------------------------------------------

uint32_t CrcStep(uint8_t byte, uint32_t accumulator);
// Exactly `digits` (clamped to 1..8) upper-case hexadecimal digits of the
// low-order part of the value, leading zeros kept.
QString HexString(uint32_t value, int digits);
void SwapInts(int32_t& a, int32_t& b);
// Removes leading and trailing blanks (code 32) only.
QString TrimBlanks(const QString& text);
QByteArray TrimBlanks(const QByteArray& text);

// ---- Numbers on streams ----------------------------------------------------

// 10-byte extended (see extended80.h) and 4-byte signed, little-endian.
bool WriteExtended(QIODevice& stream, double value);
bool WriteInteger(QIODevice& stream, int32_t value);
// On a failed read `error` is set and the answer is 0.
double ReadExtended(QIODevice& stream, bool& error);
int32_t ReadInteger(QIODevice& stream, bool& error);

// ---- XML elements ----------------------------------------------------------

// Index of the lower-cased text in the table, or the table's length.
int TagIndex(const QByteArray& text, std::span<const char* const> table);

// Reads the next element: skips to the next '<', takes the tag up to '>',
// looks its name (lower-cased, up to the first blank) up in the table and
// hands back the rest of the tag as the attributes. For an opening tag that
// is not empty ("<x/>") the content up to the next '<' is read (trimmed).
// Answers the table index, the table's length for an unknown name, or -1
// when the stream ends before a whole tag.
int ReadXmlElement(QIODevice& stream, std::span<const char* const> table, QByteArray& attributes,
                   QByteArray& content);

} // namespace cv
