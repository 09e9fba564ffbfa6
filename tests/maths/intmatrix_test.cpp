#include "maths_testutil.h"

#include "support/test_support.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using cv::TIntMatrix;
using cv::TSparseCell;
using mathstest::setRows;

namespace {

std::vector<TSparseCell> cells(std::initializer_list<TSparseCell> list) { return list; }

// Ascending (column, row) order without repeats.
bool strictlyOrdered(const std::vector<TSparseCell>& list)
{
    return std::is_sorted(list.begin(), list.end(), [](const TSparseCell& a, const TSparseCell& b) {
               return a.col < b.col || (a.col == b.col && a.row < b.row);
           }) &&
           std::adjacent_find(list.begin(), list.end(), [](const TSparseCell& a, const TSparseCell& b) {
               return a.col == b.col && a.row == b.row;
           }) == list.end();
}

} // namespace

TEST(MathsSparseMatrix, FirstWriteSetsTheCounts)
{
    auto m = TIntMatrix::CreateSparse(0);
    EXPECT_TRUE(m->IsSparse());
    EXPECT_EQ(m->NumAllocated(), 1);
    EXPECT_EQ(m->NrOfColumns(), 0);
    EXPECT_EQ(m->NrOfRows(), 0);
    int changes = 0;
    m->OnChange = [&](cv::TSDLComponent*) { ++changes; };
    m->SetElem(3, 5, 7);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(m->NrOfColumns(), 3);
    EXPECT_EQ(m->NrOfRows(), 5);
    EXPECT_EQ(m->GetElem(3, 5), 7);
    EXPECT_EQ(m->GetElem(1, 1), 0);
    m->SetElem(0, 2, 1);
    m->SetElem(2, -1, 1);
    EXPECT_EQ(m->SparseNumElem(), 1) << "positions below 1 are ignored";
    m->SetElem(3, 5, 9);
    EXPECT_EQ(m->SparseNumElem(), 1) << "the same position keeps one triple";
    EXPECT_EQ(m->GetElem(3, 5), 9);
    m->SetElem(1, 1, 0);
    EXPECT_EQ(m->SparseNumElem(), 2) << "a zero is stored too";
    EXPECT_EQ(m->NumAllocated(), 2) << "the room grows by the step";
}

TEST(MathsSparseMatrix, TriplesStayOrderedAndMatchDenseStorage)
{
    std::mt19937 gen(3);
    auto sparse = TIntMatrix::CreateSparse(4);
    TIntMatrix dense;
    dense.Resize(20, 30);
    for (int i = 0; i < 200; ++i) {
        const int c = std::uniform_int_distribution<int>(1, 20)(gen);
        const int r = std::uniform_int_distribution<int>(1, 30)(gen);
        const int v = std::uniform_int_distribution<int>(-100, 100)(gen);
        sparse->SetElem(c, r, v);
        dense.SetElem(c, r, v);
    }
    EXPECT_TRUE(strictlyOrdered(sparse->SparseCells()));
    for (int c = 1; c <= 21; ++c)
        for (int r = 1; r <= 31; ++r)
            ASSERT_EQ(sparse->GetElem(c, r), dense.GetElem(c, r));
    sparse->Resize(20, 30);
    EXPECT_EQ(sparse->Sum(0, 0, 0, 0), dense.Sum(0, 0, 0, 0));
    EXPECT_EQ(sparse->Sum(3, 4, 9, 12), dense.Sum(3, 4, 9, 12));
    double sm = 0, sv = 0, dm = 0, dv = 0;
    sparse->MeanVar(2, 2, 8, 8, sm, sv);
    dense.MeanVar(2, 2, 8, 8, dm, dv);
    EXPECT_EQ(sm, dm) << "absent cells count as 0";
    EXPECT_EQ(sv, dv);

    // Transposed, both storages agree, and the triples are in order again.
    TIntMatrix denseT;
    denseT.Clone(dense);
    denseT.Transpose();
    sparse->Transpose();
    EXPECT_EQ(sparse->NrOfColumns(), 30);
    EXPECT_EQ(sparse->NrOfRows(), 20);
    EXPECT_TRUE(strictlyOrdered(sparse->SparseCells())) << "re-sorted after the exchange";
    for (int c = 1; c <= 30; ++c)
        for (int r = 1; r <= 20; ++r)
            ASSERT_EQ(sparse->GetElem(c, r), denseT.GetElem(c, r));
}

TEST(MathsSparseMatrix, MinMaxSeesOnlyStoredCellsAndTraceUsesTheDiagonal)
{
    auto m = TIntMatrix::CreateSparse(2);
    m->SetElem(1, 1, 5);
    m->SetElem(2, 2, 8);
    m->SetElem(2, 1, 3);
    int32_t lo = 0, hi = 0;
    m->MinMax(0, 0, 0, 0, lo, hi);
    EXPECT_EQ(lo, 3) << "absent cells are not considered";
    EXPECT_EQ(hi, 8);
    EXPECT_EQ(m->Trace(), 13);
    auto empty = TIntMatrix::CreateSparse(1);
    empty->MinMax(0, 0, 0, 0, lo, hi);
    EXPECT_EQ(lo, 2147483647);
    EXPECT_EQ(hi, -2147483647);
}

TEST(MathsSparseMatrix, FillResizeAndConversions)
{
    auto m = TIntMatrix::CreateSparse(3);
    m->SetElem(1, 2, 1);
    m->SetElem(4, 4, 2);
    m->Fill(4);
    EXPECT_EQ(m->GetElem(1, 2), 4);
    EXPECT_EQ(m->GetElem(1, 1), 0) << "only stored cells change";
    int changes = 0;
    m->OnChange = [&](cv::TSDLComponent*) { ++changes; };
    EXPECT_FALSE(m->Resize(3, 3));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(m->SparseCells(), cells({{1, 2, 4}}));
    EXPECT_EQ(m->SparseHighCol(), 3);
    m->Fill(0);
    EXPECT_EQ(m->SparseNumElem(), 0);
    EXPECT_EQ(m->NumAllocated(), 3);
    EXPECT_EQ(m->SparseLowCol(), 2147483647);

    TIntMatrix d;
    setRows(d, {{0, 5}, {0, 0}});
    d.ArrayToSparse(0);
    EXPECT_TRUE(d.IsSparse());
    EXPECT_EQ(d.SparseCells(), cells({{2, 1, 5}}));
    EXPECT_EQ(d.NrOfColumns(), 2) << "the dense counts stay";
    d.SparseToArray();
    EXPECT_FALSE(d.IsSparse());
    EXPECT_EQ(d.NrOfColumns(), 2);
    EXPECT_EQ(d.NrOfRows(), 2);
    EXPECT_EQ(d.GetElem(2, 1), 5);
    EXPECT_EQ(d.NumAllocated(), 0);
}

TEST(MathsSparseMatrix, DenseOnlyMembersConvertFirst)
{
    auto m = TIntMatrix::CreateSparse(1);
    m->SetElem(1, 3, 1);
    m->SetElem(1, 1, 3);
    m->SetElem(2, 2, 2);
    m->SortRows(1, true, 0, 0, 0, 0);
    EXPECT_FALSE(m->IsSparse());
    EXPECT_EQ(m->GetElem(1, 1), 0);
    EXPECT_EQ(m->GetElem(2, 1), 2) << "the row with key 0 came first";
    EXPECT_EQ(m->GetElem(1, 3), 3);

    auto s = TIntMatrix::CreateSparse(1);
    s->SetElem(2, 1, 6);
    const QString crc = s->CRCofData();
    EXPECT_TRUE(s->IsSparse()) << "reading members leave the storage alone";
    TIntMatrix same;
    setRows(same, {{0, 6}});
    EXPECT_EQ(crc, same.CRCofData());
    EXPECT_EQ(crc.size(), 32);
}

TEST(MathsSparseMatrix, AddCloneAndStorageMix)
{
    TIntMatrix dense;
    dense.Resize(3, 3);
    dense.Fill(1);
    auto sparse = TIntMatrix::CreateSparse(1);
    sparse->SetElem(3, 3, 10);
    sparse->SetElem(1, 2, 5);
    EXPECT_TRUE(dense.Add(*sparse));
    EXPECT_EQ(dense.GetElem(3, 3), 11);
    EXPECT_EQ(dense.GetElem(1, 2), 6);
    EXPECT_EQ(dense.Sum(0, 0, 0, 0), 9 + 15);
    EXPECT_FALSE(sparse->Add(dense)) << "the sparse matrix cannot be the target";

    auto copy = TIntMatrix::CreateSparse(7);
    copy->Clone(*sparse);
    EXPECT_EQ(copy->SparseCells(), sparse->SparseCells());
    EXPECT_EQ(copy->NrOfRows(), 3);
    TIntMatrix other;
    other.Clone(*sparse);
    EXPECT_EQ(other.NrOfColumns(), 1) << "dense from sparse: nothing happens";
}

TEST(MathsSparseMatrix, SparseTextFormRoundTrip)
{
    cvtest::TempDir dir;
    auto m = TIntMatrix::CreateSparse(2);
    m->SetElem(2, 3, -7);
    m->SetElem(10, 1, 123);
    const QString name = dir.file(QStringLiteral("m.sparse"));
    ASSERT_TRUE(m->StoreSparseMat(name));
    EXPECT_EQ(cvtest::readAll(name), QByteArray("SDL_sparse_matrix\n"
                                                "     2     // number of elements in sparse matrix\n"
                                                "     2     10   // lowest and highest column\n"
                                                "     1      3   // lowest and highest row\n"
                                                "[2,3]=-7\n"
                                                "[10,1]=123\n"));
    auto back = TIntMatrix::CreateSparse(1);
    ASSERT_TRUE(back->LoadSparseMat(name));
    EXPECT_EQ(back->SparseCells(), m->SparseCells());
    EXPECT_EQ(back->NrOfColumns(), 10);

    TIntMatrix dense;
    EXPECT_FALSE(dense.StoreSparseMat(name));
    EXPECT_EQ(cvtest::readAll(name), QByteArray("this matrix is not a sparse matrix\n"));
}

TEST(MathsSparseMatrix, DamagedSparseFiles)
{
    cvtest::TempDir dir;
    const QByteArray head = "SDL_sparse_matrix\n     3  // n\n 1 2\n 1 2\n";
    auto m = TIntMatrix::CreateSparse(1);
    EXPECT_FALSE(m->LoadSparseMat(dir.write(QStringLiteral("a"), head + "[1,1]=4\n[2,2]=5\n")))
        << "three announced, two given";
    EXPECT_EQ(m->SparseNumElem(), 2) << "the two are still stored";
    auto n = TIntMatrix::CreateSparse(1);
    n->SetElem(5, 5, 1);
    EXPECT_FALSE(n->LoadSparseMat(dir.write(QStringLiteral("b"), head + "[1,1]=4\nnonsense\n[2,2]=5\n")));
    EXPECT_EQ(n->GetElem(5, 5), 1) << "the matrix is not cleared first";
    EXPECT_FALSE(n->LoadSparseMat(dir.write(QStringLiteral("c"), "sparse?\n1\n")));
    EXPECT_FALSE(n->LoadSparseMat(dir.write(QStringLiteral("d"), "SDL_Sparse_Matrix\n0\n")));
    EXPECT_FALSE(n->LoadSparseMat(dir.write(QStringLiteral("e"), head + "[x,1]=4\n[2,2]=5\n[0,3]=1\n")));
    TIntMatrix dense;
    EXPECT_TRUE(dense.LoadSparseMat(dir.write(QStringLiteral("f"), head + "[1,1]=4\n[2,2]=5\n[9,9]=6\n")));
    EXPECT_TRUE(dense.IsSparse()) << "a sparse file makes the matrix sparse";
    EXPECT_EQ(dense.GetElem(9, 9), 6);
}

TEST(MathsIntMatrix, DenseArithmeticWrapsAndFormsRoundTrip)
{
    TIntMatrix a, b, res;
    setRows(a, {{65536, 1}, {2, 3}});
    setRows(b, {{65536, 0}, {0, 1}});
    res.Resize(2, 2);
    ASSERT_TRUE(a.Multiply(b, res));
    EXPECT_EQ(res.GetElem(1, 1), 0) << "65536² wraps to 0 in 32 bits";
    EXPECT_EQ(res.GetElem(2, 2), 3);
    EXPECT_EQ(res.GetElem(1, 2), 131072);

    QBuffer out;
    out.open(QIODevice::ReadWrite);
    a.SaveToStream(out, 0, 0, 0, 0);
    EXPECT_EQ(out.data().size(), 4 * (4 + 4));
    EXPECT_EQ(out.data().left(16).toHex(), QByteArray("01000000" "02000000" "01000000" "02000000"));
    out.seek(0);
    TIntMatrix back;
    ASSERT_TRUE(back.LoadFromStream(&out, true));
    EXPECT_EQ(back.CRCofData(), a.CRCofData());

    QBuffer xml;
    xml.open(QIODevice::ReadWrite);
    a.WriteToXMLStream(xml, false, QStringLiteral("ints"));
    EXPECT_TRUE(xml.data().startsWith("\r\n<!-- TIntMatrix / SDL Component Suite -->\r\n"));
    xml.seek(0);
    TIntMatrix fromXml;
    ASSERT_TRUE(fromXml.ReadFromXMLStream(xml, QStringLiteral("INTS")));
    EXPECT_EQ(fromXml.CRCofData(), a.CRCofData());

    cvtest::TempDir dir;
    const QString name = dir.file(QStringLiteral("a.txt"));
    a.StoreOnFile(0, 0, 0, 0, name);
    EXPECT_EQ(cvtest::readAll(name), QByteArray("1 2\n1 2\n65536 1 \n2 3 \n"));
    TIntMatrix fromText;
    ASSERT_TRUE(fromText.LoadFromFile(name, true));
    EXPECT_EQ(fromText.CRCofData(), a.CRCofData());

    double q1 = 0, q2 = 0, q3 = 0;
    a.Quartiles(0, 0, 0, 0, q1, q2, q3);
    EXPECT_DOUBLE_EQ(q2, 2.5);
    cv::TIntVector row;
    row.Resize(2);
    a.CopyRowToVec(row, 1, 0, 0);
    EXPECT_EQ(row.GetElem(1), 65536);
}
