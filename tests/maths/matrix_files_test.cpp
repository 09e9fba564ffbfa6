#include "maths_testutil.h"

#include "maths/extended80.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QFile>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

using cv::TIntMatrix;
using cv::TMatrix;
using mathstest::messageOf;
using mathstest::setRows;

namespace {

// Cells of every kind: ordinary, tiny, huge, subnormal, negative zero, infinities.
void awkwardCells(TMatrix& m, bool withNaN)
{
    std::mt19937_64 gen(21);
    m.Resize(5, 7);
    for (int c = 1; c <= 5; ++c)
        for (int r = 1; r <= 7; ++r) {
            double x = std::bit_cast<double>(gen());
            if (std::isnan(x) && !withNaN)
                x = 1.0 / 3;
            m.SetElem(c, r, x);
        }
    m.SetElem(1, 1, -0.0);
    m.SetElem(2, 1, 0.0);
    m.SetElem(3, 1, std::numeric_limits<double>::denorm_min());
    m.SetElem(4, 1, -INFINITY);
    m.SetElem(5, 1, 1e-300);
    m.SetElem(1, 2, 0.1);
}

// True when both matrices have the same shape and the same cell bits.
bool sameBits(const TMatrix& a, const TMatrix& b)
{
    return a.NrOfColumns() == b.NrOfColumns() && a.NrOfRows() == b.NrOfRows() && a.CRCofData() == b.CRCofData();
}

QByteArray streamOf(const TMatrix& m)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    m.SaveToStream(out, 0, 0, 0, 0);
    return out.data();
}

} // namespace

TEST(MathsMatrixText, GoldenTextAndBitExactRoundTrip)
{
    cvtest::TempDir dir;
    TMatrix m;
    setRows(m, {{1, 0}, {0, 4}});
    const QString name = dir.file(QStringLiteral("m.txt"));
    ASSERT_TRUE(m.StoreOnFile(0, 0, 0, 0, name));
    EXPECT_EQ(cvtest::readAll(name), QByteArray("1 2\n1 2\n"
                                                "          1e+00           0e+00 \n"
                                                "          0e+00           4e+00 \n"));
    m.SetPrecision({6, 2});
    m.StoreOnFile(2, 2, 2, 2, name);
    EXPECT_EQ(cvtest::readAll(name), QByteArray("2 2\n2 2\n  4.00 \n"));

    TMatrix awkward, back;
    awkwardCells(awkward, false);
    ASSERT_TRUE(awkward.StoreOnFile(0, 0, 0, 0, name));
    ASSERT_TRUE(back.LoadFromFile(name, true));
    EXPECT_TRUE(sameBits(awkward, back));
}

TEST(MathsMatrixText, DamagedAndMisfittingFiles)
{
    cvtest::TempDir dir;
    TMatrix m;
    m.SetElem(1, 1, 9);
    const QString big = dir.write(QStringLiteral("big.txt"), "1 2\n1 2\n1 2\n3 4\n");
    EXPECT_FALSE(m.LoadFromFile(big, false)) << "2 x 2 does not fit a 1 x 1 matrix";
    EXPECT_EQ(m.GetElem(1, 1), 9.0) << "and no value was read";

    TMatrix t;
    t.Resize(2, 2);
    t.Fill(7);
    const QString bad = dir.write(QStringLiteral("bad.txt"), "1 2\n1 2\n1 x\n3 4\n");
    EXPECT_TRUE(t.LoadFromFile(bad, false)) << "an unreadable value is passed over, the file still reads";
    EXPECT_EQ(t.GetElem(1, 1), 1.0);
    EXPECT_EQ(t.GetElem(2, 1), 7.0) << "the unreadable value leaves its cell";
    EXPECT_EQ(t.GetElem(1, 2), 3.0);
    EXPECT_EQ(t.GetElem(2, 2), 4.0) << "the values after it are read";
    TIntMatrix ti;
    ti.Resize(2, 2);
    ti.Fill(7);
    EXPECT_TRUE(ti.LoadFromFile(dir.write(QStringLiteral("badint.txt"), "1 2\n1 2\n1 2.5\n3 4\n"), false));
    EXPECT_EQ(ti.GetElem(2, 1), 7) << "not an integer: the cell keeps its value";
    EXPECT_EQ(ti.GetElem(2, 2), 4);
    // A file that ends before its values is still no good.
    TMatrix cut;
    cut.Resize(2, 2);
    EXPECT_FALSE(cut.LoadFromFile(dir.write(QStringLiteral("cut.txt"), "1 2\n1 2\n1 2\n3\n"), false));
    EXPECT_EQ(cut.GetElem(1, 2), 3.0) << "what was there is read";

    for (const QByteArray& header : {QByteArray("x y\n1 2\n"), QByteArray("2 1\n1 1\n"), QByteArray("0 1\n1 1\n"),
                                     QByteArray("1 2000000000\n1 2000000000\n1\n")}) {
        TMatrix u;
        EXPECT_FALSE(u.LoadFromFile(dir.write(QStringLiteral("h.txt"), header), true)) << header.toStdString();
        EXPECT_EQ(u.NrOfColumns(), 1);
    }
    const QString missing = dir.file(QStringLiteral("none.txt"));
    EXPECT_TRUE(messageOf([&] { m.LoadFromFile(missing, true); }).startsWith(QStringLiteral("Cannot open file")));
}

TEST(MathsMatrixStream, GoldenBytesAndRoundTrip)
{
    TMatrix m;
    m.SetElem(1, 1, 2.0);
    const QByteArray one = QByteArray::fromHex("0000000000000080ff3f");
    EXPECT_EQ(streamOf(m), one.repeated(4) + QByteArray::fromHex("0000000000000080" "0040"));

    TMatrix awkward, back;
    awkwardCells(awkward, true);
    const QByteArray bytes = streamOf(awkward);
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    ASSERT_TRUE(back.LoadFromStream(&in, true));
    EXPECT_TRUE(sameBits(awkward, back));
    EXPECT_EQ(streamOf(back), bytes);

    // A rectangle: rows are written one after the other.
    TMatrix r;
    setRows(r, {{1, 2, 3}, {4, 5, 6}});
    QBuffer part;
    part.open(QIODevice::ReadWrite);
    r.SaveToStream(part, 2, 2, 3, 2);
    part.seek(0);
    TMatrix partBack;
    partBack.Resize(3, 2);
    ASSERT_TRUE(partBack.LoadFromStream(&part, false));
    EXPECT_EQ(partBack.GetElem(2, 2), 5.0);
    EXPECT_EQ(partBack.GetElem(3, 2), 6.0);
    EXPECT_EQ(partBack.Sum(0, 0, 0, 0), 11.0);
    std::unique_ptr<QBuffer> made;
    r.SaveToStream(made, 0, 0, 0, 0);
    ASSERT_TRUE(made) << "a null stream is made and handed back";
    EXPECT_EQ(made->data().size(), 10 * (4 + 6));
}

TEST(MathsMatrixStream, TruncatedAndCorruptedStreamsAreRefused)
{
    TMatrix m;
    setRows(m, {{1, 2}, {3, 4}});
    const QByteArray bytes = streamOf(m);
    EXPECT_FALSE(TMatrix().LoadFromStream(nullptr, true));
    for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
        QBuffer in;
        in.setData(bytes.left(cut));
        in.open(QIODevice::ReadOnly);
        TMatrix target;
        target.SetElem(1, 1, 42);
        EXPECT_FALSE(target.LoadFromStream(&in, true)) << cut;
        EXPECT_EQ(target.NrOfColumns(), 1);
        EXPECT_EQ(target.GetElem(1, 1), 42.0) << "a truncated stream changes nothing";
    }
    // Bounds that no matrix can have: NaN, negative, reversed, enormous.
    for (double bad : {double(NAN), -1.0, 1e12, 3e9}) {
        QByteArray damaged = bytes;
        const cv::TExtended80 e = cv::DoubleToExtended(bad);
        damaged.replace(10, 10, QByteArray(reinterpret_cast<const char*>(e.data()), 10));
        QBuffer in;
        in.setData(damaged);
        in.open(QIODevice::ReadOnly);
        TMatrix target;
        EXPECT_FALSE(target.LoadFromStream(&in, true)) << bad;
        EXPECT_EQ(target.NrOfRows(), 1);
    }
}

TEST(MathsMatrixBinary, GoldenHeaderAndBitExactRoundTrip)
{
    cvtest::TempDir dir;
    TMatrix m;
    m.SetElem(1, 1, 1.0);
    m.SetDataID(QStringLiteral("x"));
    const QString name = dir.file(QStringLiteral("m.bin"));
    m.SaveBinary(name);
    const QByteArray file = cvtest::readAll(name);
    ASSERT_EQ(file.size(), 8192);
    EXPECT_EQ(file.left(18).toHex(), QByteArray("01000000" "01000000" "0000000000000000" "01" "78"));
    EXPECT_EQ(file.mid(4096, 8).toHex(), QByteArray("000000000000f03f"));

    TMatrix awkward, back;
    awkwardCells(awkward, true);
    awkward.Resize(40, 30); // 1200 cells: three records
    awkward.SetDataID(QStringLiteral("Zeitreihe \u00e4\u00f6"));
    awkward.SaveBinary(name);
    EXPECT_EQ(cvtest::readAll(name).size(), 4096 * 4);
    back.LoadBinary(name);
    EXPECT_TRUE(sameBits(awkward, back));
    EXPECT_EQ(back.DataID(), awkward.DataID());
    int32_t nc = 0, nr = 0;
    QString id;
    EXPECT_TRUE(back.ReadBinaryHeader(name, nc, nr, id));
    EXPECT_EQ(nc, 40);
    EXPECT_EQ(nr, 30);
    EXPECT_EQ(id, awkward.DataID());

    TMatrix longId;
    longId.SetDataID(QString(300, QChar(0x00e9))); // two bytes each in UTF-8
    longId.SaveBinary(name);
    TMatrix longBack;
    longBack.LoadBinary(name);
    EXPECT_EQ(longBack.DataID(), QString(127, QChar(0x00e9))) << "cut at 255 bytes on a character boundary";
}

TEST(MathsMatrixBinary, ForeignAndTruncatedFilesAreRefused)
{
    cvtest::TempDir dir;
    TMatrix m;
    setRows(m, {{1, 2}, {3, 4}});
    const QString name = dir.file(QStringLiteral("m.bin"));
    m.SaveBinary(name);
    const QByteArray good = cvtest::readAll(name);

    QByteArray foreign = good;
    foreign[12] = 1;
    const QString foreignName = dir.write(QStringLiteral("foreign.bin"), foreign);
    TMatrix target;
    target.SetName(QStringLiteral("target"));
    target.SetElem(1, 1, 5);
    EXPECT_EQ(messageOf([&] { target.LoadBinary(foreignName); }),
              QStringLiteral("Component \"target\": binary matrix data has wrong format"));
    int32_t nc = 0, nr = 0;
    QString id;
    EXPECT_FALSE(target.ReadBinaryHeader(foreignName, nc, nr, id));

    for (qsizetype cut : {qsizetype(0), qsizetype(100), qsizetype(4096), qsizetype(4096 + 31)}) {
        const QString cutName = dir.write(QStringLiteral("cut.bin"), good.left(cut));
        try {
            target.LoadBinary(cutName);
            FAIL() << "a truncated file was accepted at " << cut;
        } catch (const cv::ESDLFileError& e) {
            EXPECT_TRUE(e.Message().contains(cutName)) << e.Message().toStdString();
        }
        EXPECT_EQ(target.NrOfColumns(), 1);
        EXPECT_EQ(target.GetElem(1, 1), 5.0) << "the matrix keeps its cells";
    }
    QByteArray huge = good;
    huge[0] = char(0xFF);
    huge[1] = char(0xFF);
    huge[2] = char(0xFF);
    huge[3] = char(0x7F);
    EXPECT_THROW(target.LoadBinary(dir.write(QStringLiteral("huge.bin"), huge)), cv::ESDLError);
    EXPECT_EQ(target.NrOfColumns(), 1);
}

TEST(MathsMatrixXml, GoldenDocumentAndRoundTrip)
{
    TMatrix m;
    setRows(m, {{1, 0}, {0, 4}});
    m.SetDataID(QStringLiteral("abc"));
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    m.WriteToXMLStream(out, true, QString());
    EXPECT_EQ(out.data(), QByteArray("<?xml version=\"1.0\"?>\r\n"
                                     "\r\n"
                                     "<!-- TMatrix / SDL Component Suite -->\r\n"
                                     "<matrix sig=\"SDLCSuite\" vers=\"6.0\" dim=\"2\" id=\"abc\">\r\n"
                                     "<numcols>2</numcols>\r\n"
                                     "<numrows>2</numrows>\r\n"
                                     "<cell ix=\"1\" iy=\"1\">1</cell>\r\n"
                                     "<cell ix=\"2\" iy=\"2\">4</cell>\r\n"
                                     "</matrix>\r\n"));
    out.seek(0);
    TMatrix back;
    ASSERT_TRUE(back.ReadFromXMLStream(out, QString()));
    EXPECT_TRUE(sameBits(m, back)) << "the zero cells left out of the document are the new cells' zeros";
    EXPECT_EQ(back.DataID(), QStringLiteral("abc"));

    cvtest::TempDir dir;
    TMatrix awkward, awkwardBack;
    awkwardCells(awkward, false);
    awkward.SetDataID(QStringLiteral("Mixed Case"));
    const QString name = dir.file(QStringLiteral("m.xml"));
    awkward.SaveAsXMLFile(name, QString());
    ASSERT_TRUE(awkwardBack.LoadFromXMLFile(name, QStringLiteral("mixed case")));
    EXPECT_TRUE(sameBits(awkward, awkwardBack)) << "negative zero and every double come back exactly";
    EXPECT_EQ(awkwardBack.DataID(), QStringLiteral("Mixed Case"));
}

TEST(MathsMatrixXml, CellsLeftOutKeepTheirValuesInsideTheNewBounds)
{
    QBuffer in;
    in.setData("<matrix sig=\"SDLCSuite\" vers=\"6.0\" dim=\"2\" id=\"\">\r\n<numcols>2</numcols>\r\n"
               "<numrows>4</numrows>\r\n<cell ix=\"1\" iy=\"1\">1</cell>\r\n<cell ix=\"2\" iy=\"4\">5</cell>\r\n"
               "</matrix>\r\n");
    in.open(QIODevice::ReadOnly);
    TMatrix m;
    m.Resize(3, 3);
    m.Fill(9);
    ASSERT_TRUE(m.ReadFromXMLStream(in, QString()));
    ASSERT_EQ(m.NrOfColumns(), 2);
    ASSERT_EQ(m.NrOfRows(), 4);
    // Rows 1..3 of columns 1 and 2 were inside both bounds; row 4 is new; column 3 went.
    const std::vector<std::vector<double>> expected = {{1, 9}, {9, 9}, {9, 9}, {0, 5}};
    for (int32_t r = 1; r <= 4; ++r)
        for (int32_t c = 1; c <= 2; ++c)
            EXPECT_EQ(m.GetElem(c, r), expected[size_t(r - 1)][size_t(c - 1)]) << c << "," << r;

    // The integer matrix reads the same way, also when it was sparse.
    in.seek(0);
    const std::unique_ptr<TIntMatrix> sparse = TIntMatrix::CreateSparse(4);
    sparse->SetElem(2, 2, 8);
    sparse->SetElem(3, 1, 6);
    ASSERT_TRUE(sparse->ReadFromXMLStream(in, QString()));
    EXPECT_EQ(sparse->GetElem(1, 1), 1);
    EXPECT_EQ(sparse->GetElem(2, 2), 8);
    EXPECT_EQ(sparse->GetElem(2, 4), 5);
    EXPECT_EQ(sparse->NrOfColumns(), 2);
}

TEST(MathsMatrixXml, WrongIdentifierAndDamagedDocuments)
{
    TMatrix m;
    setRows(m, {{1, 2}, {3, 4}});
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    m.WriteToXMLStream(out, false, QStringLiteral("first"));
    const QByteArray doc = out.data();

    TMatrix target;
    target.SetElem(1, 1, 8);
    QBuffer in;
    in.setData(doc);
    in.open(QIODevice::ReadOnly);
    EXPECT_FALSE(target.ReadFromXMLStream(in, QStringLiteral("second")));
    EXPECT_EQ(target.GetElem(1, 1), 8.0);
    EXPECT_EQ(target.NrOfColumns(), 1);

    // Every cut before the closing tag is complete (the final CR LF may go).
    for (qsizetype cut = 0; cut < doc.size() - 2; ++cut) {
        QBuffer part;
        part.setData(doc.left(cut));
        part.open(QIODevice::ReadOnly);
        TMatrix t;
        t.SetElem(1, 1, 8);
        EXPECT_FALSE(t.ReadFromXMLStream(part, QString())) << cut;
        EXPECT_EQ(t.GetElem(1, 1), 8.0) << "a damaged document changes nothing";
    }
    QByteArray unknown = doc;
    unknown.replace("<numrows>", "<numrowz>");
    QBuffer u;
    u.setData(unknown);
    u.open(QIODevice::ReadOnly);
    EXPECT_FALSE(target.ReadFromXMLStream(u, QString()));

    // Declared counts without any cell still size the matrix.
    QBuffer empty;
    empty.setData("<matrix sig=\"SDLCSuite\" vers=\"6.0\" dim=\"2\" id=\"\">\r\n<numcols>3</numcols>\r\n"
                  "<numrows>4</numrows>\r\n</matrix>\r\n");
    empty.open(QIODevice::ReadOnly);
    TMatrix sized;
    ASSERT_TRUE(sized.ReadFromXMLStream(empty, QString()));
    EXPECT_EQ(sized.NrOfColumns(), 3);
    EXPECT_EQ(sized.NrOfRows(), 4);
    sized.SetElem(3, 4, 1);
    EXPECT_EQ(sized.GetElem(3, 4), 1.0);
}

TEST(MathsMatrixFiles, RandomDamageNeverCrashes)
{
    cvtest::TempDir dir;
    TMatrix m;
    setRows(m, {{1, 2, 3}, {4, 5, 6}});
    m.SetDataID(QStringLiteral("d"));
    const QString bin = dir.file(QStringLiteral("m.bin"));
    const QString txt = dir.file(QStringLiteral("m.txt"));
    const QString xml = dir.file(QStringLiteral("m.xml"));
    m.SaveBinary(bin);
    m.StoreOnFile(0, 0, 0, 0, txt);
    m.SaveAsXMLFile(xml, QString());
    const QByteArray stream = streamOf(m);
    const QByteArray originals[] = {cvtest::readAll(bin), cvtest::readAll(txt), cvtest::readAll(xml), stream};
    std::mt19937 gen(77);
    for (int round = 0; round < 300; ++round) {
        for (int kind = 0; kind < 4; ++kind) {
            QByteArray bytes = originals[kind];
            const int flips = 1 + round % 4;
            for (int f = 0; f < flips; ++f) {
                const auto at = qsizetype(std::uniform_int_distribution<int>(0, int(std::min<qsizetype>(bytes.size(), 4200)) - 1)(gen));
                bytes[at] = char(std::uniform_int_distribution<int>(0, 255)(gen));
            }
            if (round % 7 == 0)
                bytes.truncate(std::uniform_int_distribution<int>(0, int(bytes.size()))(gen));
            TMatrix target;
            try {
                if (kind == 3) {
                    QBuffer in;
                    in.setData(bytes);
                    in.open(QIODevice::ReadOnly);
                    target.LoadFromStream(&in, true);
                } else {
                    const QString name = dir.write(QStringLiteral("fuzz"), bytes);
                    if (kind == 0)
                        target.LoadBinary(name);
                    else if (kind == 1)
                        target.LoadFromFile(name, true);
                    else
                        target.LoadFromXMLFile(name, QString());
                }
            } catch (const cv::ESDLError&) {
                // refused with a message: fine
            }
            EXPECT_LE(int64_t(target.NrOfColumns()) * target.NrOfRows(), 1 << 20);
        }
    }
}
