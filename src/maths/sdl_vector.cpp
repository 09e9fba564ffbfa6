#include "maths/sdl_vector.h"

#include "maths/sdl_stats.h"
#include "maths/sdl_textio.h"

#include <cmath>
#include <new>

namespace cv {

template <typename T>
TVectorBase<T>::TVectorBase() : m_elems(1, T(0))
{
}

template <typename T>
void TVectorBase<T>::raise(const QString& text) const
{
    throw ESDLVectorError(ComponentMessage(text));
}

template <typename T>
void TVectorBase<T>::SetNrOfElem(int32_t n)
{
    if (n > 0 && n != NrOfElem())
        Resize(n);
}

template <typename T>
bool TVectorBase<T>::Resize(int32_t n)
{
    if (n == NrOfElem())
        return true;
    if (n <= 0)
        return false;
    if (n > kMaxCells)
        raise(QStringLiteral("not enough memory"));
    try {
        m_elems.resize(size_t(n), T(0));
    } catch (const std::bad_alloc&) {
        raise(QStringLiteral("not enough memory"));
    }
    Changed();
    return true;
}

template <typename T>
T TVectorBase<T>::GetElem(int32_t index) const
{
    return index >= 1 && index <= NrOfElem() ? m_elems[size_t(index - 1)] : T(0);
}

template <typename T>
void TVectorBase<T>::SetElem(int32_t index, T value)
{
    if (index < 1 || index > NrOfElem())
        return;
    m_elems[size_t(index - 1)] = value;
    m_isEmpty = false;
    Changed();
}

template <typename T>
void TVectorBase<T>::Fill(T value)
{
    std::fill(m_elems.begin(), m_elems.end(), value);
    Changed();
}

template <typename T>
void TVectorBase<T>::Clear()
{
    Fill(T(0));
}

template <typename T>
void TVectorBase<T>::Clone(const TVectorBase& source)
{
    Resize(source.NrOfElem());
    m_elems = source.m_elems;
    Changed();
}

template <typename T>
void TVectorBase<T>::clampRange(int32_t& low, int32_t& high) const
{
    low = std::clamp(low, 1, NrOfElem());
    high = std::clamp(high, 1, NrOfElem());
    if (low > high)
        std::swap(low, high);
}

template <typename T>
std::span<const T> TVectorBase<T>::range(int32_t low, int32_t high) const
{
    clampRange(low, high);
    return std::span<const T>(m_elems).subspan(size_t(low - 1), size_t(high - low + 1));
}

template <typename T>
void TVectorBase<T>::CopyFrom(const TVectorBase& source, int32_t sourceElemLo, int32_t sourceElemHi, int32_t destElem)
{
    source.clampRange(sourceElemLo, sourceElemHi);
    for (int32_t e = sourceElemLo; e <= sourceElemHi; ++e) {
        const int64_t d = int64_t(e) - sourceElemLo + destElem;
        if (d >= 1 && d <= NrOfElem())
            m_elems[size_t(d - 1)] = source.m_elems[size_t(e - 1)];
    }
    Changed();
}

template <typename T>
void TVectorBase<T>::Mirror()
{
    std::reverse(m_elems.begin(), m_elems.end());
    Changed();
}

template <typename T>
void TVectorBase<T>::ShuffleElems()
{
    Randomize();
    const int32_t n = NrOfElem();
    for (int32_t k = 0; k < n; ++k)
        std::swap(m_elems[size_t(RandomBelow(n))], m_elems[size_t(RandomBelow(n))]);
}

template <typename T>
void TVectorBase<T>::checkSameCount(const TVectorBase& other) const
{
    if (other.NrOfElem() != NrOfElem())
        raise(QStringLiteral("vectors have different dimensions"));
}

template <typename T>
void TVectorBase<T>::SMult(T scalar)
{
    for (T& v : m_elems)
        v = SdlTraits<T>::Times(v, scalar);
    Changed();
}

template <typename T>
void TVectorBase<T>::combineWith(const TVectorBase& other, T (*op)(T, T))
{
    checkSameCount(other);
    for (size_t i = 0; i < m_elems.size(); ++i)
        m_elems[i] = op(m_elems[i], other.m_elems[i]);
    Changed();
}

template <typename T>
void TVectorBase<T>::Add(const TVectorBase& other)
{
    combineWith(other, SdlTraits<T>::Plus);
}

template <typename T>
void TVectorBase<T>::Subtract(const TVectorBase& other)
{
    combineWith(other, SdlTraits<T>::Minus);
}


template <typename T>
auto TVectorBase<T>::DotProduct(const TVectorBase& other) const -> SumType
{
    checkSameCount(other);
    TProductSum<T> s;
    for (size_t i = 0; i < m_elems.size(); ++i)
        s.add(m_elems[i], other.m_elems[i]);
    return s.value();
}

template <typename T>
auto TVectorBase<T>::Correlate(const TVectorBase& other, int32_t elemShift) const -> SumType
{
    TProductSum<T> s;
    for (int32_t i = 1; i <= NrOfElem(); ++i)
        s.add(m_elems[size_t(i - 1)], other.GetElem(int32_t(int64_t(i) + elemShift)));
    return s.value();
}

template <typename T>
double TVectorBase<T>::EuclideanDistance(const TVectorBase& other) const
{
    if (other.NrOfElem() != NrOfElem())
        throw ESDLVectorError(QStringLiteral("EuclideanDistance: dimensions of vectors do not match"));
    long double s = 0;
    for (size_t i = 0; i < m_elems.size(); ++i) {
        const long double d = (long double)m_elems[i] - other.m_elems[i];
        s += d * d;
    }
    return double(std::sqrt(s));
}

template <typename T>
double TVectorBase<T>::Leng() const
{
    long double s = 0;
    for (T v : m_elems)
        s += (long double)v * v;
    return double(std::sqrt(s));
}

template <typename T>
int32_t TVectorBase<T>::Find(int32_t lowElem, int32_t highElem, T value) const
{
    if (lowElem == 0 && highElem == 0) {
        lowElem = 1;
        highElem = NrOfElem();
    }
    clampRange(lowElem, highElem);
    int32_t found = 0;
    double best = 1.7e308;
    for (int32_t i = lowElem; i <= highElem; ++i) {
        const double d = std::fabs(double(m_elems[size_t(i - 1)]) - double(value));
        if (d < best) {
            best = d;
            found = i;
        }
    }
    return found;
}

template <typename T>
int32_t TVectorBase<T>::FindInSortedVector(bool ascending, T value) const
{
    int32_t lo = 1;
    int32_t hi = NrOfElem();
    while (hi - lo >= 2) {
        const int32_t mid = lo + (hi - lo) / 2;
        const T x = m_elems[size_t(mid - 1)];
        if (x == value)
            return mid;
        if ((x < value) == ascending)
            lo = mid;
        else
            hi = mid;
    }
    const double dLo = std::fabs(double(m_elems[size_t(lo - 1)]) - double(value));
    const double dHi = std::fabs(double(m_elems[size_t(hi - 1)]) - double(value));
    return dLo < dHi ? lo : hi;
}

template <typename T>
auto TVectorBase<T>::Sum(int32_t lowElem, int32_t highElem) const -> SumType
{
    return SdlTraits<T>::SumOf(range(lowElem, highElem));
}

template <typename T>
void TVectorBase<T>::MeanVar(int32_t lowElem, int32_t highElem, double& mean, double& variance) const
{
    stats::MeanVar(range(lowElem, highElem), true, mean, variance);
}

template <typename T>
void TVectorBase<T>::MinMax(int32_t lowElem, int32_t highElem, T& minimum, T& maximum) const
{
    minimum = SdlTraits<T>::kVectorMinStart;
    maximum = -SdlTraits<T>::kVectorMinStart;
    for (T v : range(lowElem, highElem)) {
        if (v < minimum)
            minimum = v;
        if (v > maximum)
            maximum = v;
    }
}

template <typename T>
void TVectorBase<T>::SkewKurt(int32_t lowElem, int32_t highElem, double& skewness, double& kurtosis) const
{
    stats::SkewKurt(range(lowElem, highElem), 4, skewness, kurtosis);
}

template <typename T>
void TVectorBase<T>::SkewKurtSample(int32_t lowElem, int32_t highElem, double& skewness, double& kurtosis) const
{
    const auto values = range(lowElem, highElem);
    stats::SkewKurt(values, 4, skewness, kurtosis);
    stats::SampleCorrection(values.size(), skewness, kurtosis);
}

template <typename T>
double TVectorBase<T>::Percentile(double prob, int32_t lowElem, int32_t highElem) const
{
    const auto values = range(lowElem, highElem);
    return stats::Percentile(std::vector<T>(values.begin(), values.end()), prob);
}

template <typename T>
bool TVectorBase<T>::Quartiles(int32_t lowElem, int32_t highElem, double& q1, double& q2, double& q3) const
{
    const auto values = range(lowElem, highElem);
    stats::Quartiles(std::vector<T>(values.begin(), values.end()), q1, q2, q3);
    return true;
}

template <typename T>
T TVectorBase<T>::Mode(int32_t lowElem, int32_t highElem) const
{
    const auto values = range(lowElem, highElem);
    return stats::Mode(std::vector<T>(values.begin(), values.end()));
}

template <typename T>
double TVectorBase<T>::GeometricMean(int32_t lowElem, int32_t highElem) const
{
    return stats::CheckedMean(range(lowElem, highElem), stats::GeometricMean<T>, [this](const QString& t) { raise(t); });
}

template <typename T>
double TVectorBase<T>::HarmonicMean(int32_t lowElem, int32_t highElem) const
{
    return stats::CheckedMean(range(lowElem, highElem), stats::HarmonicMean<T>, [this](const QString& t) { raise(t); });
}

template <typename T>
void TVectorBase<T>::SortElems(bool ascending, int32_t rangeFirst, int32_t rangeLast)
{
    if (rangeFirst > rangeLast)
        std::swap(rangeFirst, rangeLast);
    rangeFirst = std::clamp(rangeFirst, 1, NrOfElem());
    rangeLast = std::clamp(rangeLast, 1, NrOfElem());
    const int32_t gap = rangeLast - rangeFirst;
    if (gap <= 0)
        return;
    CombSortPasses(
        rangeFirst, rangeLast, gap,
        [&](int64_t i, int64_t j) {
            const T a = m_elems[size_t(i - 1)], b = m_elems[size_t(j - 1)];
            return ascending ? a > b : a < b;
        },
        [&](int64_t i, int64_t j) {
            std::swap(m_elems[size_t(i - 1)], m_elems[size_t(j - 1)]);
            SortExchanged(0, int32_t(i), int32_t(j), 0, 0);
        });
    Changed();
}

template <typename T>
QString TVectorBase<T>::CRCofData() const
{
    return CrcFingerprint<T>([&](auto feed) {
        for (T v : m_elems)
            feed(v);
    });
}

template <typename T>
void TVectorBase<T>::SaveToStream(QIODevice& out, int32_t lowElem, int32_t highElem) const
{
    if (lowElem == 0 && highElem == 0) {
        lowElem = 1;
        highElem = NrOfElem();
    }
    clampRange(lowElem, highElem);
    bool ok = SdlTraits<T>::WriteValue(out, T(lowElem)) && SdlTraits<T>::WriteValue(out, T(highElem));
    for (int32_t i = lowElem; ok && i <= highElem; ++i)
        ok = SdlTraits<T>::WriteValue(out, m_elems[size_t(i - 1)]);
    if (!ok)
        throw ESDLFileError(QStringLiteral("Cannot write the vector to the stream: %1").arg(out.errorString()));
}

template <typename T>
void TVectorBase<T>::SaveToStream(std::unique_ptr<QBuffer>& out, int32_t lowElem, int32_t highElem) const
{
    if (!out) {
        out = std::make_unique<QBuffer>();
        out->open(QIODevice::ReadWrite);
    }
    SaveToStream(*out, lowElem, highElem);
}

template <typename T>
bool TVectorBase<T>::LoadFromStream(QIODevice* in, bool adjustVectorSize)
{
    if (!in)
        return false;
    bool error = false;
    const T lowValue = SdlTraits<T>::ReadValue(*in, error);
    const T highValue = SdlTraits<T>::ReadValue(*in, error);
    int32_t low = 0, high = 0;
    if (error || !SdlTraits<T>::ToIndex(lowValue, low) || !SdlTraits<T>::ToIndex(highValue, high))
        return false;
    // A damaged header must not make us allocate or read nonsense.
    if (low < 1 || low > high)
        return false;
    const int64_t left = StreamValuesLeft(*in, SdlTraits<T>::kStreamValueSize);
    if (left >= 0 && int64_t(high) - low + 1 > left)
        return false;
    if (adjustVectorSize)
        Resize(high);
    bool ok = true;
    if (high <= NrOfElem()) {
        for (int32_t i = low; i <= high; ++i) {
            bool failed = false;
            const T v = SdlTraits<T>::ReadValue(*in, failed);
            if (failed)
                ok = false;
            else
                SetElem(i, v);
        }
    } else {
        ok = false;
    }
    Changed();
    return ok;
}

template <typename T>
template <typename Format>
bool TVectorBase<T>::storeText(int32_t firstElem, int32_t lastElem, const QString& fileName, Format&& format) const
{
    if (firstElem > lastElem)
        std::swap(firstElem, lastElem);
    clampRange(firstElem, lastElem);
    QByteArray text = QByteArray::number(lastElem) + '\n';
    for (int32_t i = firstElem; i <= lastElem; ++i)
        text += format(m_elems[size_t(i - 1)]) + '\n';
    textio::SaveWholeFile(fileName, text);
    return true;
}

template <typename T>
bool TVectorBase<T>::LoadFromFile(const QString& fileName, bool adjustVectorSize)
{
    textio::TTextReader reader(textio::ReadWholeFile(fileName));
    QByteArray token;
    int32_t n = 0;
    if (!reader.NextToken(token) || !textio::ParseNumber(token, n) || n < 1)
        return false;
    // Every value takes at least two characters (digit and line end).
    if (int64_t(n) > textio::FileSize(fileName) / 2 + 1)
        return false;
    if (adjustVectorSize)
        Resize(n);
    bool ok = n <= NrOfElem();
    if (ok) {
        for (int32_t i = 1; i <= n; ++i) {
            T v{};
            if (!reader.NextToken(token)) {
                ok = false; // the file ends early: what was read stays
                break;
            }
            if (textio::ParseNumber(token, v))
                SetElem(i, v);
            else
                ok = false;
        }
    }
    Changed();
    return ok;
}

void StoreHistogram(const stats::HistogramCounter& counter, TIntVector& histo, int32_t& underflow,
                    int32_t& overflow, int32_t& maxCnt)
{
    const std::vector<int64_t>& bins = counter.Bins();
    const int32_t n = int32_t(bins.size());
    if (histo.NrOfElem() != n)
        histo.Resize(n);
    histo.Clear();
    for (int32_t k = 1; k <= n; ++k)
        if (bins[size_t(k - 1)] != 0)
            histo.SetElem(k, int32_t(bins[size_t(k - 1)]));
    underflow = int32_t(counter.Underflow());
    overflow = int32_t(counter.Overflow());
    maxCnt = int32_t(counter.MaxCount());
}

// ---- TVector -----------------------------------------------------------------

void TVector::SetLeng(double length)
{
    const double current = Leng();
    if (current == 0)
        throw ESDLVectorError(QStringLiteral("vector has zero length"));
    const double factor = length / current;
    for (double& v : m_elems)
        v *= factor;
    Changed();
}

double TVector::MeanCenter()
{
    double mean = 0, variance = 0;
    stats::MeanVar(Elements(), true, mean, variance);
    for (double& v : m_elems)
        v -= mean;
    return mean;
}

void TVector::Standardize(double& mean, double& stdDev)
{
    double variance = 0;
    stats::MeanVar(Elements(), true, mean, variance);
    stdDev = std::sqrt(variance);
    if (stdDev == 0)
        return;
    for (double& v : m_elems)
        v = (v - mean) / stdDev;
}

bool TVector::Histogram(int32_t firstElem, int32_t lastElem, double firstBin, double lastBin, double binWidth,
                        TIntVector& histo, int32_t& underflow, int32_t& overflow, int32_t& maxCnt) const
{
    stats::HistogramCounter counter;
    const int64_t positions = std::max<int64_t>(0, int64_t(lastElem) - firstElem + 1);
    if (positions > stats::kMaxHistogramPositions || !counter.Start(firstBin, lastBin, binWidth))
        return false;
    // Only the elements inside the vector are visited; the rest are zeros.
    const int32_t lo = std::max(firstElem, 1), hi = std::min(lastElem, NrOfElem());
    for (int32_t i = lo; i <= hi; ++i)
        counter.Add(GetElem(i));
    counter.Add(0.0, positions - std::max<int64_t>(0, int64_t(hi) - lo + 1));
    StoreHistogram(counter, histo, underflow, overflow, maxCnt);
    return true;
}

bool TVector::StoreOnFile(int32_t firstElem, int32_t lastElem, int32_t precision, const QString& fileName) const
{
    const int width = precision == -1 ? 13 : precision == -2 ? 26 : 1;
    return storeText(firstElem, lastElem, fileName,
                     [&](double v) { return textio::FormatFloat(v, width, precision < 0 ? -1 : precision); });
}

bool TIntVector::StoreOnFile(int32_t firstElem, int32_t lastElem, const QString& fileName) const
{
    return storeText(firstElem, lastElem, fileName, [](int32_t v) { return QByteArray::number(v); });
}

template class TVectorBase<double>;
template class TVectorBase<int32_t>;

} // namespace cv
