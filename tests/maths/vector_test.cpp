#include "maths/sdl_vector.h"

#include "maths_testutil.h"

#include "support/test_support.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using cv::TIntVector;
using cv::TVector;

namespace {

template <typename V, typename T>
void setValues(V& v, std::initializer_list<T> values)
{
    v.Resize(int32_t(values.size()));
    int32_t i = 1;
    for (T x : values)
        v.SetElem(i++, x);
}

// The vectors are not copyable (like every component); tests build them in place.
#define MAKE(name, ...)                                                                                               \
    TVector name;                                                                                                     \
    setValues<TVector, double>(name, __VA_ARGS__)
#define MAKE_INT(name, ...)                                                                                           \
    TIntVector name;                                                                                                  \
    setValues<TIntVector, int32_t>(name, __VA_ARGS__)

QString messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const cv::ESDLError& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace

TEST(MathsVectorCore, NewVectorAndElementAccess)
{
    TVector v;
    int changes = 0;
    v.OnChange = [&](cv::TSDLComponent*) { ++changes; };
    EXPECT_EQ(v.NrOfElem(), 1);
    EXPECT_TRUE(v.IsEmpty());
    EXPECT_EQ(v.GetElem(1), 0.0);
    v.SetElem(0, 5);
    v.SetElem(2, 5);
    EXPECT_EQ(changes, 0) << "writes outside fire nothing";
    EXPECT_TRUE(v.IsEmpty());
    v.SetElem(1, 5);
    EXPECT_FALSE(v.IsEmpty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(v.GetElem(7), 0.0);
}

TEST(MathsVectorCore, ResizeRules)
{
    TVector v;
    int changes = 0;
    v.OnChange = [&](cv::TSDLComponent*) { ++changes; };
    v.SetElem(1, 3);
    changes = 0;
    EXPECT_FALSE(v.Resize(0));
    EXPECT_FALSE(v.Resize(-4));
    v.SetNrOfElem(0);
    EXPECT_EQ(v.NrOfElem(), 1);
    EXPECT_TRUE(v.Resize(1));
    EXPECT_EQ(changes, 0) << "same size: no event";
    EXPECT_TRUE(v.Resize(4));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(v.GetElem(1), 3.0);
    EXPECT_EQ(v.GetElem(4), 0.0);
    v.SetName(QStringLiteral("big"));
    EXPECT_EQ(messageOf([&] { v.Resize(2147483647); }), QStringLiteral("Component \"big\": not enough memory"));
    EXPECT_EQ(v.NrOfElem(), 4);
}

TEST(MathsVectorCore, CopyMirrorCloneAndArithmetic)
{
    MAKE(a, {1, 2, 3, 4});
    TVector b;
    b.Resize(3);
    b.CopyFrom(a, 4, 2, 2); // range 2..4 to 2..4 of b: element 4 falls outside
    EXPECT_EQ(b.GetElem(1), 0.0);
    EXPECT_EQ(b.GetElem(2), 2.0);
    EXPECT_EQ(b.GetElem(3), 3.0);
    a.Mirror();
    EXPECT_EQ(a.GetElem(1), 4.0);
    EXPECT_EQ(a.GetElem(4), 1.0);
    b.Clone(a);
    EXPECT_EQ(b.NrOfElem(), 4);
    EXPECT_EQ(b.GetElem(2), 3.0);
    b.Add(a);
    b.SMult(0.5);
    EXPECT_EQ(b.GetElem(1), 4.0);
    EXPECT_EQ(a.DotProduct(a), 30.0);
    EXPECT_DOUBLE_EQ(a.Leng(), std::sqrt(30.0));
    // Correlate with a shift reads the other vector one further; beyond its end counts 0.
    EXPECT_EQ(a.Correlate(a, 1), 4 * 3 + 3 * 2 + 2 * 1 + 1 * 0.0);

    TVector c;
    c.SetName(QStringLiteral("c"));
    EXPECT_EQ(messageOf([&] { c.Add(a); }), QStringLiteral("Component \"c\": vectors have different dimensions"));
    EXPECT_EQ(messageOf([&] { c.DotProduct(a); }), QStringLiteral("Component \"c\": vectors have different dimensions"));
    EXPECT_EQ(messageOf([&] { c.EuclideanDistance(a); }),
              QStringLiteral("EuclideanDistance: dimensions of vectors do not match"));
    EXPECT_EQ(messageOf([&] { c.SetLeng(2); }), QStringLiteral("vector has zero length"));
    MAKE(d, {3, 4});
    d.SetLeng(10);
    EXPECT_DOUBLE_EQ(d.GetElem(1), 6.0);
    EXPECT_DOUBLE_EQ(d.GetElem(2), 8.0);
}

TEST(MathsVectorCore, ShuffleKeepsTheElements)
{
    TIntVector v;
    v.Resize(50);
    for (int i = 1; i <= 50; ++i)
        v.SetElem(i, i);
    v.ShuffleElems();
    std::vector<int32_t> values(v.Elements().begin(), v.Elements().end());
    std::sort(values.begin(), values.end());
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(values[size_t(i)], i + 1);
}

TEST(MathsVectorStats, RangeRuleAndMeanVariance)
{
    MAKE(v, {2, 4, 9, 1});
    EXPECT_EQ(v.Sum(0, 0), 2.0) << "(0, 0) is element 1 only";
    EXPECT_EQ(v.Sum(9, -3), 16.0) << "bounds clamped and swapped";
    double mean = 0, var = 0;
    v.MeanVar(1, 2, mean, var);
    EXPECT_EQ(mean, 3.0);
    EXPECT_EQ(var, 1.0) << "two elements give variance 1";
    v.MeanVar(1, 4, mean, var);
    EXPECT_DOUBLE_EQ(mean, 4.0);
    EXPECT_DOUBLE_EQ(var, (4 + 0 + 25 + 9) / 3.0);
    double lo = 0, hi = 0;
    v.MinMax(1, 4, lo, hi);
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 9.0);
}

TEST(MathsVectorStats, PercentilesQuartilesAndMode)
{
    MAKE(v, {4, 1, 3, 2});
    EXPECT_DOUBLE_EQ(v.Percentile(50, 1, 4), 2.5);
    EXPECT_EQ(v.Percentile(150, 1, 4), 4.0);
    EXPECT_EQ(v.Percentile(-3, 1, 4), 1.0);
    MAKE(w, {8, 7, 6, 5, 4, 3, 2, 1});
    double q1 = 0, q2 = 0, q3 = 0;
    EXPECT_TRUE(w.Quartiles(1, 8, q1, q2, q3));
    EXPECT_DOUBLE_EQ(q1, 2.25);
    EXPECT_DOUBLE_EQ(q2, 4.5);
    EXPECT_DOUBLE_EQ(q3, 6.75);
    w.Quartiles(1, 2, q1, q2, q3); // 7, 8: positions clamp to 1..n-1
    EXPECT_EQ(q1, 7.0);
    EXPECT_EQ(q3, 7.0);
    MAKE_INT(iv, {5, 3, 5, 3, 9});
    EXPECT_EQ(iv.Mode(1, 5), 3) << "a tie goes to the smaller value";
    MAKE_INT(distinct, {9, 4, 7});
    EXPECT_EQ(distinct.Mode(1, 3), 4);
    MAKE_INT(third, {1, 2, 2, 2, 3, 3});
    EXPECT_EQ(third.Mode(1, 6), 2);
}

TEST(MathsVectorStats, SkewnessAndKurtosis)
{
    MAKE(three, {1, 2, 10});
    double s = 1, k = 1;
    three.SkewKurt(1, 3, s, k);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(k, 0.0);
    MAKE(v, {1, 2, 3, 4, 10});
    v.SkewKurt(1, 5, s, k);
    // By hand: mean 4, deviations -3 -2 -1 0 6, Σd²=50, Σd³=180, Σd⁴=1394, s=√12.5.
    const double sd = std::sqrt(12.5);
    EXPECT_NEAR(s, 180.0 / 5 / (sd * sd * sd), 1e-12);
    EXPECT_NEAR(k, 1394.0 / 5 / (12.5 * 12.5) - 3, 1e-12);
    double ss = 0, sk = 0;
    v.SkewKurtSample(1, 5, ss, sk);
    EXPECT_NEAR(ss, 25 * s / (4 * 3), 1e-12);
    EXPECT_NEAR(sk, (k + 3) * 25 * 6 / (4 * 3 * 2.0) - 3 * 16 / 6.0, 1e-12);
}

TEST(MathsVectorStats, GeometricAndHarmonicMeans)
{
    MAKE(v, {1, 4, 16});
    EXPECT_NEAR(v.GeometricMean(1, 3), 4.0, 1e-12);
    EXPECT_NEAR(v.HarmonicMean(1, 3), 3 / 1.3125, 1e-12);
    MAKE(z, {3, 0, 2});
    EXPECT_EQ(z.GeometricMean(1, 3), 0.0);
    z.SetName(QStringLiteral("z"));
    EXPECT_EQ(messageOf([&] { z.HarmonicMean(1, 3); }),
              QStringLiteral("Component \"z\": negative or zero argument passed to HarmonicMean"));
    z.SetElem(2, -1);
    EXPECT_EQ(messageOf([&] { z.GeometricMean(1, 3); }),
              QStringLiteral("Component \"z\": negative argument passed to GeometricMean"));
}

TEST(MathsVectorSearch, NearestAndSortedSearch)
{
    MAKE(v, {5, 1, 3, 1});
    EXPECT_EQ(v.Find(0, 0, 1.2), 2) << "first of equally near elements";
    EXPECT_EQ(v.Find(3, 4, 5), 3);
    MAKE(sorted, {1, 3, 5, 7});
    EXPECT_EQ(sorted.FindInSortedVector(true, 5), 3);
    EXPECT_EQ(sorted.FindInSortedVector(true, 4), 3) << "halfway: the higher index";
    EXPECT_EQ(sorted.FindInSortedVector(true, 6.9), 4);
    EXPECT_EQ(sorted.FindInSortedVector(true, -10), 1);
    MAKE(down, {7, 5, 3, 1});
    EXPECT_EQ(down.FindInSortedVector(false, 5.2), 2);
}

TEST(MathsVectorSort, SortsRangesAndReportsEveryExchange)
{
    std::mt19937 gen(1);
    TVector v;
    v.Resize(40);
    for (int i = 1; i <= 40; ++i)
        v.SetElem(i, std::uniform_int_distribution<int>(0, 9)(gen));
    std::vector<double> before(v.Elements().begin(), v.Elements().end());
    std::vector<double> replay = before;
    v.OnSortExchange = [&](cv::TSDLComponent*, uint8_t what, int32_t i, int32_t j, int32_t, int32_t) {
        EXPECT_EQ(what, 0);
        std::swap(replay[size_t(i - 1)], replay[size_t(j - 1)]);
    };
    v.SortElems(false, 35, 6);
    std::vector<double> after(v.Elements().begin(), v.Elements().end());
    EXPECT_EQ(after, replay) << "the events describe the sort";
    EXPECT_TRUE(std::is_sorted(after.begin() + 5, after.begin() + 35, std::greater<>()));
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + 5, before.begin()));
    EXPECT_TRUE(std::equal(after.begin() + 35, after.end(), before.begin() + 35));
}

TEST(MathsVectorHistogram, BinsLimitsAndTheLastBin)
{
    MAKE(v, {-1, 0, 0.5, 1.5, 2.2, 3.9, 4, 5, 9});
    TIntVector h;
    int32_t under = 0, over = 0, maxCnt = 0;
    ASSERT_TRUE(v.Histogram(1, 9, 0, 4, 1, h, under, over, maxCnt));
    EXPECT_EQ(h.NrOfElem(), 4);
    EXPECT_EQ(h.GetElem(1), 2); // 0, 0.5
    EXPECT_EQ(h.GetElem(2), 1);
    EXPECT_EQ(h.GetElem(3), 1);
    EXPECT_EQ(h.GetElem(4), 1); // 3.9
    EXPECT_EQ(under, 1);
    // 5 and 9 are beyond LastBin + BinWidth; 4 falls after the last bin and
    // counts as overflow rather than vanishing.
    EXPECT_EQ(over, 3);
    EXPECT_EQ(maxCnt, 2);
    h.Resize(7);
    h.SetElem(1, 42);
    EXPECT_TRUE(v.Histogram(1, 9, 0, 500, 1, h, under, over, maxCnt)) << "500 bins are allowed";
    EXPECT_FALSE(v.Histogram(1, 9, 0, 501, 1, h, under, over, maxCnt));
    EXPECT_EQ(h.NrOfElem(), 500) << "a refused histogram leaves the bins as they were";
}

TEST(MathsVectorHistogram, IndicesFarBeyondTheVector)
{
    // Two thousand million indices over a vector of three, in a child that
    // may map only 256 MB more than it has: the indices outside are zeros.
    const QString made = cvtest::runInChild([] {
        cvtest::limitAddressSpace(uint64_t(256) << 20);
        MAKE(v, {0.5, 2.5, -4});
        TIntVector h;
        int32_t under = 0, over = 0, maxCnt = 0;
        QStringList out;
        bool ok = v.Histogram(-999999997, 1000000003, 0, 3, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        ok = v.Histogram(-2000000000, 2000000000, 0, 3, 1, h, under, over, maxCnt);
        out << mathstest::histogramText(ok, h, under, over, maxCnt);
        return out.join(QLatin1Char('\n'));
    });
    EXPECT_EQ(made, QStringLiteral("1999999999 0 1 | 1 0 1999999999\nrefused"));
}

TEST(MathsVectorFingerprint, EightOrFourAccumulators)
{
    TVector zero;
    TIntVector izero;
    // The CRC-32 of one zero byte is D202EF8D; each accumulator saw one.
    EXPECT_EQ(zero.CRCofData(), QStringLiteral("D202EF8D").repeated(8));
    EXPECT_EQ(izero.CRCofData(), QStringLiteral("D202EF8D").repeated(4));
    MAKE(a, {1, 2});
    MAKE(b, {2, 1});
    EXPECT_NE(a.CRCofData(), b.CRCofData());
}

TEST(MathsIntVector, IntegerSumsAndStreamForm)
{
    MAKE_INT(v, {2147483647, 1, -5});
    EXPECT_EQ(v.Sum(1, 2), -2147483647 - 1) << "32-bit sums wrap around";
    int32_t lo = 0, hi = 0;
    v.MinMax(1, 3, lo, hi);
    EXPECT_EQ(lo, -5);
    EXPECT_EQ(hi, 2147483647);
    EXPECT_EQ(v.DotProduct(v), int32_t(uint32_t(2147483647u) * 2147483647u + 1u + 25u));
    std::unique_ptr<QBuffer> out;
    v.SaveToStream(out, 2, 3);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->data().toHex(), QByteArray("02000000" "03000000" "01000000" "fbffffff"));
    TIntVector back;
    out->seek(0);
    EXPECT_TRUE(back.LoadFromStream(out.get(), true));
    EXPECT_EQ(back.NrOfElem(), 3);
    EXPECT_EQ(back.GetElem(3), -5);
}

TEST(MathsVectorStream, GoldenBytesAndBitExactRoundTrip)
{
    MAKE(one, {1});
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    one.SaveToStream(buffer, 0, 0);
    EXPECT_EQ(buffer.data().toHex(), QByteArray("0000000000000080ff3f").repeated(3));

    std::mt19937_64 gen(9);
    TVector v;
    v.Resize(300);
    for (int i = 1; i <= 300; ++i)
        v.SetElem(i, std::bit_cast<double>(gen()));
    QBuffer first;
    first.open(QIODevice::ReadWrite);
    v.SaveToStream(first, 0, 0);
    first.seek(0);
    TVector back;
    ASSERT_TRUE(back.LoadFromStream(&first, true));
    QBuffer second;
    second.open(QIODevice::ReadWrite);
    back.SaveToStream(second, 0, 0);
    EXPECT_EQ(first.data(), second.data());
    EXPECT_EQ(back.CRCofData(), v.CRCofData());
}

TEST(MathsVectorStream, DamagedStreamsAreRefused)
{
    MAKE(v, {1, 2, 3});
    QBuffer good;
    good.open(QIODevice::ReadWrite);
    v.SaveToStream(good, 0, 0);
    const QByteArray bytes = good.data();
    EXPECT_FALSE(TVector().LoadFromStream(nullptr, true));
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        QBuffer in;
        in.setData(bytes.left(cut));
        in.open(QIODevice::ReadOnly);
        TVector target;
        EXPECT_FALSE(target.LoadFromStream(&in, true)) << cut;
        EXPECT_EQ(target.NrOfElem(), 1) << "a truncated stream does not resize";
    }
    // A high index of 1e9 in a short stream must not allocate a billion elements.
    QBuffer huge;
    huge.open(QIODevice::ReadWrite);
    cv::WriteExtended(huge, 1);
    cv::WriteExtended(huge, 1e9);
    cv::WriteExtended(huge, 5);
    huge.seek(0);
    TVector target;
    EXPECT_FALSE(target.LoadFromStream(&huge, true));
    EXPECT_EQ(target.NrOfElem(), 1);
}

TEST(MathsVectorText, RoundTripAndDamage)
{
    cvtest::TempDir dir;
    std::mt19937_64 gen(4);
    TVector v;
    v.Resize(50);
    for (int i = 1; i <= 50; ++i)
        v.SetElem(i, std::uniform_real_distribution<double>(-1e6, 1e6)(gen));
    v.SetElem(3, -0.0);
    const QString name = dir.file(QStringLiteral("v.txt"));
    for (int precision : {-1, -2}) {
        ASSERT_TRUE(v.StoreOnFile(1, 50, precision, name));
        TVector back;
        ASSERT_TRUE(back.LoadFromFile(name, true));
        EXPECT_EQ(back.CRCofData(), v.CRCofData()) << "precision " << precision;
    }
    ASSERT_TRUE(v.StoreOnFile(1, 2, 3, name));
    const QByteArray text = cvtest::readAll(name);
    EXPECT_EQ(text.split('\n')[0], QByteArray("2"));
    EXPECT_EQ(text.split('\n')[1].trimmed().split('.')[1].size(), 3) << "three decimals";

    const QString bad = dir.write(QStringLiteral("bad.txt"), "3\n1.5\nabc\n2.5\n");
    TVector target;
    EXPECT_FALSE(target.LoadFromFile(bad, true)) << "an unreadable value makes the load fail";
    EXPECT_EQ(target.GetElem(1), 1.5);
    EXPECT_EQ(target.GetElem(3), 2.5) << "and the values after it are still read";
    const QString shortFile = dir.write(QStringLiteral("short.txt"), "4\n1\n2\n");
    EXPECT_FALSE(target.LoadFromFile(shortFile, true));
    const QString hugeCount = dir.write(QStringLiteral("huge.txt"), "2000000000\n1\n");
    TVector small;
    EXPECT_FALSE(small.LoadFromFile(hugeCount, true));
    EXPECT_EQ(small.NrOfElem(), 1);
    TVector noAdjust;
    EXPECT_FALSE(noAdjust.LoadFromFile(shortFile, false)) << "4 elements do not fit into 1";

    const QString missing = dir.file(QStringLiteral("missing.txt"));
    const QString message = messageOf([&] { target.LoadFromFile(missing, true); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot open file \"") + missing)) << message.toStdString();

    TIntVector iv;
    iv.Resize(3);
    iv.SetElem(2, -7);
    ASSERT_TRUE(iv.StoreOnFile(1, 3, name));
    EXPECT_EQ(cvtest::readAll(name), QByteArray("3\n0\n-7\n0\n"));
    TIntVector ib;
    EXPECT_TRUE(ib.LoadFromFile(name, true));
    EXPECT_EQ(ib.GetElem(2), -7);
}
