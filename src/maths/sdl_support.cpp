#include "maths/sdl_support.h"

#include "maths/extended80.h"

#include <QDateTime>

#include <array>
#include <cmath>

namespace cv {

namespace {

// Process-wide state of the library (one thread uses it).
int32_t g_sortPassCount = 0;
TSortProgressHook g_sortHook = nullptr;
uint32_t g_randomState = 1234;
bool g_haveCachedNormal = false;
double g_cachedNormal = 0;

constexpr std::array<uint32_t, 256> makeCrcTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

void notePass()
{
    ++g_sortPassCount;
    if (g_sortHook)
        g_sortHook(g_sortPassCount);
}

template <typename T>
void sortPlain(std::span<T> values, bool ascending)
{
    const int64_t n = int64_t(values.size());
    if (n <= 1)
        return;
    CombSortPasses(
        0, n - 1, n,
        [&](int64_t i, int64_t j) { return ascending ? values[size_t(j)] < values[size_t(i)] : values[size_t(j)] > values[size_t(i)]; },
        [&](int64_t i, int64_t j) { std::swap(values[size_t(i)], values[size_t(j)]); }, notePass);
}

template <typename Bytes>
Bytes trimmed(const Bytes& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == ' ')
        ++first;
    while (last > first && text[last - 1] == ' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace

int32_t SortPassCount() { return g_sortPassCount; }
void SetSortProgressHook(TSortProgressHook hook) { g_sortHook = hook; }
void SortArray(std::span<double> values, bool ascending) { sortPlain(values, ascending); }
void SortArray(std::span<int32_t> values, bool ascending) { sortPlain(values, ascending); }

double RandomUniform()
{
    g_randomState = g_randomState * 1664525u + 1013904223u;
    return double(g_randomState) / 4294967296.0;
}

int32_t RandomBelow(int32_t range)
{
    if (range <= 0)
        return 0;
    g_randomState = g_randomState * 1664525u + 1013904223u;
    return int32_t((uint64_t(g_randomState) * uint64_t(range)) >> 32);
}

void RandomSeed(uint32_t seed)
{
    // A new seed starts a new sequence, of normal numbers too.
    g_randomState = seed;
    g_haveCachedNormal = false;
}

void Randomize() { RandomSeed(uint32_t(QDateTime::currentMSecsSinceEpoch() * 2654435761u)); }

double NormalRandom()
{
    if (g_haveCachedNormal) {
        g_haveCachedNormal = false;
        return g_cachedNormal;
    }
    double u = 0, v = 0, s = 0;
    do {
        u = 2 * RandomUniform() - 1;
        v = 2 * RandomUniform() - 1;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0); // s = 0 would give 0/0
    const double f = std::sqrt(-2 * std::log(s) / s);
    g_cachedNormal = u * f;
    g_haveCachedNormal = true;
    return v * f;
}

uint32_t CrcStep(uint8_t byte, uint32_t accumulator)
{
    return kCrcTable[(accumulator ^ byte) & 0xFFu] ^ (accumulator >> 8);
}

QString HexString(uint32_t value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    digits = std::clamp(digits, 1, 8);
    QString text(digits, QLatin1Char('0'));
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[i] = QLatin1Char(kDigits[value & 0xF]);
    return text;
}

void SwapInts(int32_t& a, int32_t& b) { std::swap(a, b); }
QString TrimBlanks(const QString& text) { return trimmed(text); }
QByteArray TrimBlanks(const QByteArray& text) { return trimmed(text); }

bool WriteExtended(QIODevice& stream, double value)
{
    const TExtended80 bytes = DoubleToExtended(value);
    return stream.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}

bool WriteInteger(QIODevice& stream, int32_t value)
{
    const uint32_t u = uint32_t(value);
    const char bytes[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
    return stream.write(bytes, 4) == 4;
}

double ReadExtended(QIODevice& stream, bool& error)
{
    TExtended80 bytes{};
    if (stream.read(reinterpret_cast<char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size())) {
        error = true;
        return 0;
    }
    return ExtendedToDouble(bytes);
}

int32_t ReadInteger(QIODevice& stream, bool& error)
{
    unsigned char b[4];
    if (stream.read(reinterpret_cast<char*>(b), 4) != 4) {
        error = true;
        return 0;
    }
    return int32_t(uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
}

int TagIndex(const QByteArray& text, std::span<const char* const> table)
{
    const QByteArray lower = text.toLower();
    for (size_t i = 0; i < table.size(); ++i)
        if (lower == table[i])
            return int(i);
    return int(table.size());
}

int ReadXmlElement(QIODevice& stream, std::span<const char* const> table, QByteArray& attributes,
                   QByteArray& content)
{
    attributes.clear();
    content.clear();
    char c = 0;
    do {
        if (!stream.getChar(&c))
            return -1;
    } while (c != '<');
    QByteArray tag;
    for (;;) {
        if (!stream.getChar(&c))
            return -1;
        if (c == '>')
            break;
        tag.append(c);
    }
    const bool emptyElement = tag.endsWith('/');
    if (emptyElement)
        tag.chop(1);
    const qsizetype blank = tag.indexOf(' ');
    const QByteArray name = TrimBlanks(blank < 0 ? tag : tag.left(blank)).toLower();
    if (blank >= 0)
        attributes = tag.mid(blank + 1);
    if (!emptyElement && !name.startsWith('/')) {
        while (stream.getChar(&c) && c != '<')
            content.append(c);
        content = content.trimmed();
    }
    return TagIndex(name, table);
}

} // namespace cv
