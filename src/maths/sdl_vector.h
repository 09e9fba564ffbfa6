#pragma once
// Resizable one-dimensional vectors of 64-bit floats (TVector) and 32-bit
// signed integers (TIntVector). Indices are 1-based. Both share one template;
// the float vector adds the histogram, centring, standardising and a
// writable length.

#include "maths/sdl_component.h"

#include <QBuffer>
#include <QIODevice>
#include <QString>

#include <memory>
#include <vector>

namespace cv {

class TIntVector;

template <typename T>
class TVectorBase : public TSDLComponent {
public:
    using SumType = typename SdlTraits<T>::Sum;

    TVectorBase();

    int32_t NrOfElem() const { return int32_t(m_elems.size()); }
    // Resizes when n is above 0 and differs from the current count.
    void SetNrOfElem(int32_t n);
    // True from construction until the first element write through SetElem.
    bool IsEmpty() const { return m_isEmpty; }
    void SetIsEmpty(bool empty) { m_isEmpty = empty; }

    // False (and nothing changes) for n <= 0; True without event when n is the count.
    bool Resize(int32_t n);
    T GetElem(int32_t index) const;
    void SetElem(int32_t index, T value);
    // The elements, element 1 first.
    std::span<const T> Elements() const { return m_elems; }

    void Fill(T value);
    void Clear();
    void Clone(const TVectorBase& source);
    void CopyFrom(const TVectorBase& source, int32_t sourceElemLo, int32_t sourceElemHi, int32_t destElem);
    void Mirror();
    void ShuffleElems();

    void SMult(T scalar);
    void Add(const TVectorBase& other);
    void Subtract(const TVectorBase& other);
    SumType DotProduct(const TVectorBase& other) const;
    // Σ this[i] · other[i + elemShift]; elements outside `other` count as 0.
    SumType Correlate(const TVectorBase& other, int32_t elemShift) const;
    double EuclideanDistance(const TVectorBase& other) const;
    double Leng() const;

    // Index of the element nearest to the value (first on ties); (0, 0) searches all.
    int32_t Find(int32_t lowElem, int32_t highElem, T value) const;
    int32_t FindInSortedVector(bool ascending, T value) const;

    // Statistics over a range: each bound clamped to 1..count, a reversed
    // pair swapped, so (0, 0) means element 1 only.
    SumType Sum(int32_t lowElem, int32_t highElem) const;
    void MeanVar(int32_t lowElem, int32_t highElem, double& mean, double& variance) const;
    void MinMax(int32_t lowElem, int32_t highElem, T& minimum, T& maximum) const;
    void SkewKurt(int32_t lowElem, int32_t highElem, double& skewness, double& kurtosis) const;
    void SkewKurtSample(int32_t lowElem, int32_t highElem, double& skewness, double& kurtosis) const;
    double Percentile(double prob, int32_t lowElem, int32_t highElem) const;
    bool Quartiles(int32_t lowElem, int32_t highElem, double& q1, double& q2, double& q3) const;
    T Mode(int32_t lowElem, int32_t highElem) const;
    double GeometricMean(int32_t lowElem, int32_t highElem) const;
    double HarmonicMean(int32_t lowElem, int32_t highElem) const;

    void SortElems(bool ascending, int32_t rangeFirst, int32_t rangeLast);
    QString CRCofData() const;

    // Binary stream form: low index, high index and the elements, each as a
    // stream value (80-bit extended for floats, 32-bit for integers).
    // (0, 0) writes the whole vector.
    void SaveToStream(QIODevice& out, int32_t lowElem, int32_t highElem) const;
    // With a null buffer a new one is made and handed back.
    void SaveToStream(std::unique_ptr<QBuffer>& out, int32_t lowElem, int32_t highElem) const;
    bool LoadFromStream(QIODevice* in, bool adjustVectorSize);

    // Text form: the last index on the first line, then one value per line.
    bool LoadFromFile(const QString& fileName, bool adjustVectorSize);

protected:
    void clampRange(int32_t& low, int32_t& high) const;
    std::span<const T> range(int32_t low, int32_t high) const;
    void checkSameCount(const TVectorBase& other) const;
    void combineWith(const TVectorBase& other, T (*op)(T, T));
    // Writes the text form with each value formatted by `format`.
    template <typename Format>
    bool storeText(int32_t firstElem, int32_t lastElem, const QString& fileName, Format&& format) const;
    [[noreturn]] void raise(const QString& text) const;

    std::vector<T> m_elems;
    bool m_isEmpty = true;
};

class TVector : public TVectorBase<double> {
public:
    TVector() = default;
    // Scales the vector to the given length; "vector has zero length" for a zero vector.
    void SetLeng(double length);
    // Subtracts the mean of the whole vector and returns it; no event.
    double MeanCenter();
    // (x − mean)/stddev over the whole vector unless stddev is 0; no event.
    void Standardize(double& mean, double& stdDev);
    // Indices firstElem..lastElem as given; those outside the vector count
    // as 0. False, and nothing changed, for more than 500 bins or more than
    // 2,147,483,647 indices.
    bool Histogram(int32_t firstElem, int32_t lastElem, double firstBin, double lastBin, double binWidth,
                   TIntVector& histo, int32_t& underflow, int32_t& overflow, int32_t& maxCnt) const;
    // precision −1: width 13, −2: width 26, scientific; >= 0 fixed, unpadded.
    bool StoreOnFile(int32_t firstElem, int32_t lastElem, int32_t precision, const QString& fileName) const;
};

class TIntVector : public TVectorBase<int32_t> {
public:
    TIntVector() = default;
    bool StoreOnFile(int32_t firstElem, int32_t lastElem, const QString& fileName) const;
};

namespace stats {
class HistogramCounter;
}
// Hands the counts over to histo (resized when its count differs) and the
// three totals. Shared by the vector and matrix histograms.
void StoreHistogram(const stats::HistogramCounter& counter, TIntVector& histo, int32_t& underflow,
                    int32_t& overflow, int32_t& maxCnt);

extern template class TVectorBase<double>;
extern template class TVectorBase<int32_t>;

} // namespace cv
