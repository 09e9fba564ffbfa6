#include "maths/sdl_intmatrix.h"

#include "maths/sdl_textio.h"

#include <algorithm>
#include <new>

namespace cv {

namespace {
bool cellBefore(const TSparseCell& a, int32_t col, int32_t row)
{
    return a.col < col || (a.col == col && a.row < row);
}
} // namespace

std::unique_ptr<TIntMatrix> TIntMatrix::CreateSparse(int32_t allocBy)
{
    auto m = std::make_unique<TIntMatrix>();
    m->m_isSparse = true;
    m->releaseStorage();
    m->m_nCol = 0;
    m->m_nRow = 0;
    m->resetSparse(allocBy);
    return m;
}

void TIntMatrix::resetSparse(int32_t allocBy)
{
    m_allocBy = std::max(allocBy, 1);
    m_spMat.clear();
    m_numAllocated = 0;
    reserveRoom(size_t(m_allocBy));
    m_numAllocated = m_allocBy;
    m_lowCol = m_lowRow = 2147483647;
    m_highCol = m_highRow = 1;
}

// The room is counted in steps of m_allocBy as the design of the list has
// it; the memory itself grows geometrically so that long lists stay cheap.
void TIntMatrix::reserveRoom(size_t count)
{
    try {
        if (m_spMat.capacity() < count)
            m_spMat.reserve(std::max(count, m_spMat.capacity() * 2));
    } catch (const std::bad_alloc&) {
        raiseNoMemory();
    } catch (const std::length_error&) {
        raiseNoMemory();
    }
}

void TIntMatrix::widenBounds(int32_t col, int32_t row)
{
    m_lowCol = std::min(m_lowCol, col);
    m_highCol = std::max(m_highCol, col);
    m_lowRow = std::min(m_lowRow, row);
    m_highRow = std::max(m_highRow, row);
}

bool TIntMatrix::insideBounds(int32_t col, int32_t row) const
{
    return col >= m_lowCol && col <= m_highCol && row >= m_lowRow && row <= m_highRow;
}

std::vector<TSparseCell>::const_iterator TIntMatrix::locate(int32_t col, int32_t row) const
{
    return std::lower_bound(m_spMat.begin(), m_spMat.end(), std::pair(col, row),
                            [](const TSparseCell& a, const std::pair<int32_t, int32_t>& key) {
                                return cellBefore(a, key.first, key.second);
                            });
}

int32_t TIntMatrix::GetElem(int32_t col, int32_t row) const
{
    if (!m_isSparse)
        return TMatrixBase::GetElem(col, row);
    if (!insideBounds(col, row))
        return 0;
    const auto it = locate(col, row);
    return it != m_spMat.end() && it->col == col && it->row == row ? it->value : 0;
}

void TIntMatrix::SetElem(int32_t col, int32_t row, int32_t value)
{
    if (!m_isSparse) {
        TMatrixBase::SetElem(col, row, value);
        return;
    }
    if (col < 1 || row < 1)
        return;
    const auto it = locate(col, row);
    if (it != m_spMat.end() && it->col == col && it->row == row) {
        m_spMat[size_t(it - m_spMat.begin())].value = value;
        Changed();
        return;
    }
    const ptrdiff_t at = it - m_spMat.begin();
    if (m_spMat.size() + 1 > size_t(m_numAllocated))
        m_numAllocated += m_allocBy;
    reserveRoom(m_spMat.size() + 1);
    m_spMat.insert(m_spMat.begin() + at, TSparseCell{col, row, value});
    widenBounds(col, row);
    m_nCol = m_highCol;
    m_nRow = m_highRow;
    Changed();
}

bool TIntMatrix::Resize(int32_t nc, int32_t nr)
{
    if (!m_isSparse)
        return TMatrixBase::Resize(nc, nr);
    nc = std::max(nc, 0);
    nr = std::max(nr, 0);
    m_nCol = nc;
    m_nRow = nr;
    m_highCol = std::min(m_highCol, nc);
    m_highRow = std::min(m_highRow, nr);
    m_lowCol = std::min(m_lowCol, m_highCol);
    m_lowRow = std::min(m_lowRow, m_highRow);
    std::erase_if(m_spMat, [&](const TSparseCell& c) { return c.col > nc || c.row > nr; });
    return false;
}

void TIntMatrix::SparseToArray()
{
    if (!m_isSparse)
        return;
    // The dense matrix keeps the counts (which after a Resize may exceed the
    // highest stored column and row).
    const int32_t nc = m_nCol, nr = m_nRow;
    if (int64_t(std::max(nc, 1)) * std::max(nr, 1) > kMaxCells)
        raiseNoMemory();
    std::vector<int32_t> cells;
    try {
        cells.assign(size_t(std::max(nc, 1)) * size_t(std::max(nr, 1)), 0);
    } catch (const std::bad_alloc&) {
        raiseNoMemory();
    }
    const size_t rows = size_t(std::max(nr, 1));
    for (const TSparseCell& c : m_spMat)
        if (c.col <= nc && c.row <= nr)
            cells[size_t(c.col - 1) * rows + size_t(c.row - 1)] = c.value;
    m_isSparse = false;
    m_spMat.clear();
    m_spMat.shrink_to_fit();
    m_numAllocated = 0;
    allocate(nc, nr, std::move(cells));
}

void TIntMatrix::ArrayToSparse(int32_t allocBy)
{
    if (m_isSparse)
        return;
    const int32_t nc = m_nCol, nr = m_nRow;
    std::vector<int32_t> cells = std::move(m_cells);
    const size_t rows = size_t(m_allocRows);
    m_isSparse = true;
    resetSparse(allocBy);
    for (int32_t c = 1; c <= nc; ++c)
        for (int32_t r = 1; r <= nr; ++r) {
            const int32_t v = cells[size_t(c - 1) * rows + size_t(r - 1)];
            if (v == 0)
                continue;
            if (m_spMat.size() + 1 > size_t(m_numAllocated))
                m_numAllocated += m_allocBy;
            reserveRoom(m_spMat.size() + 1);
            m_spMat.push_back({c, r, v});
            widenBounds(c, r);
        }
    releaseStorage();
    m_nCol = nc;
    m_nRow = nr;
}

void TIntMatrix::Fill(int32_t value)
{
    if (!m_isSparse) {
        TMatrixBase::Fill(value);
        return;
    }
    if (value == 0) {
        resetSparse(m_allocBy);
    } else {
        for (TSparseCell& c : m_spMat)
            c.value = value;
    }
    Changed();
}

void TIntMatrix::Clone(const TIntMatrix& source)
{
    if (m_isSparse != source.m_isSparse)
        return;
    if (!m_isSparse) {
        TMatrixBase::Clone(source);
        return;
    }
    m_spMat = source.m_spMat;
    m_numAllocated = source.m_numAllocated;
    m_allocBy = source.m_allocBy;
    m_lowCol = source.m_lowCol;
    m_highCol = source.m_highCol;
    m_lowRow = source.m_lowRow;
    m_highRow = source.m_highRow;
    m_nCol = source.m_nCol;
    m_nRow = source.m_nRow;
    Changed();
}

bool TIntMatrix::Transpose()
{
    if (!m_isSparse)
        return TMatrixBase::Transpose();
    for (TSparseCell& c : m_spMat)
        std::swap(c.col, c.row);
    std::swap(m_lowCol, m_lowRow);
    std::swap(m_highCol, m_highRow);
    std::swap(m_nCol, m_nRow);
    CombSortPasses(
        0, int64_t(m_spMat.size()) - 1, int64_t(m_spMat.size()) - 1,
        [&](int64_t i, int64_t j) {
            const TSparseCell& b = m_spMat[size_t(j)];
            return cellBefore(b, m_spMat[size_t(i)].col, m_spMat[size_t(i)].row);
        },
        [&](int64_t i, int64_t j) { std::swap(m_spMat[size_t(i)], m_spMat[size_t(j)]); });
    Changed();
    return true;
}

int32_t TIntMatrix::Sum(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const
{
    if (!m_isSparse)
        return TMatrixBase::Sum(loC, loR, hiC, hiR);
    const TRange r = normalise(loC, loR, hiC, hiR);
    uint32_t sum = 0;
    for (const TSparseCell& c : m_spMat)
        if (c.col >= r.c1 && c.col <= r.c2 && c.row >= r.r1 && c.row <= r.r2)
            sum += uint32_t(c.value);
    return int32_t(sum);
}

int32_t TIntMatrix::Trace() const
{
    if (!m_isSparse)
        return TMatrixBase::Trace();
    if (m_nCol != m_nRow)
        return 0;
    uint32_t sum = 0;
    for (const TSparseCell& c : m_spMat)
        if (c.col == c.row)
            sum += uint32_t(c.value);
    return int32_t(sum);
}

void TIntMatrix::MinMax(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, int32_t& minimum,
                        int32_t& maximum) const
{
    if (!m_isSparse) {
        TMatrixBase::MinMax(lowCol, lowRow, highCol, highRow, minimum, maximum);
        return;
    }
    minimum = 2147483647;
    maximum = -2147483647;
    const TRange r = normalise(lowCol, lowRow, highCol, highRow);
    for (const TSparseCell& c : m_spMat)
        if (c.col >= r.c1 && c.col <= r.c2 && c.row >= r.r1 && c.row <= r.r2) {
            minimum = std::min(minimum, c.value);
            maximum = std::max(maximum, c.value);
        }
}

bool TIntMatrix::Add(const TMatrixBase<int32_t>& matB)
{
    if (m_isSparse)
        return false;
    const auto* sparse = dynamic_cast<const TIntMatrix*>(&matB);
    if (!sparse || !sparse->m_isSparse)
        return TMatrixBase::Add(matB);
    if (matB.NrOfColumns() != m_nCol || matB.NrOfRows() != m_nRow)
        return false;
    for (const TSparseCell& c : sparse->m_spMat)
        if (c.col <= m_nCol && c.row <= m_nRow)
            at(c.col, c.row) = SdlTraits<int32_t>::Plus(at(c.col, c.row), c.value);
    Changed();
    return true;
}

// ---- Sparse text form ------------------------------------------------------------

bool TIntMatrix::StoreSparseMat(const QString& fileName) const
{
    if (!m_isSparse) {
        textio::SaveWholeFile(fileName, "this matrix is not a sparse matrix\n");
        return false;
    }
    auto field = [](int32_t v) { return QByteArray::number(v).rightJustified(6, ' '); };
    QByteArray text = "SDL_sparse_matrix\n";
    text += field(SparseNumElem()) + "     // number of elements in sparse matrix\n";
    text += field(m_lowCol) + ' ' + field(m_highCol) + "   // lowest and highest column\n";
    text += field(m_lowRow) + ' ' + field(m_highRow) + "   // lowest and highest row\n";
    for (const TSparseCell& c : m_spMat)
        text += '[' + QByteArray::number(c.col) + ',' + QByteArray::number(c.row) + "]=" +
                QByteArray::number(c.value) + '\n';
    textio::SaveWholeFile(fileName, text);
    return true;
}

namespace {
// "[column,row]=value"
bool parseTriple(const QByteArray& line, TSparseCell& cell)
{
    const qsizetype open = line.indexOf('[');
    const qsizetype comma = line.indexOf(',', open + 1);
    const qsizetype close = line.indexOf(']', comma + 1);
    const qsizetype eq = line.indexOf('=', close + 1);
    if (open < 0 || comma < 0 || close < 0 || eq < 0)
        return false;
    return textio::ParseNumber(line.mid(open + 1, comma - open - 1).trimmed(), cell.col) &&
           textio::ParseNumber(line.mid(comma + 1, close - comma - 1).trimmed(), cell.row) &&
           textio::ParseNumber(line.mid(eq + 1).trimmed(), cell.value) && cell.col >= 1 && cell.row >= 1;
}

bool leadingCount(const QByteArray& line, int32_t& count)
{
    const QByteArray trimmed = line.trimmed();
    qsizetype end = 0;
    while (end < trimmed.size() && (std::isdigit(uchar(trimmed[end])) || (end == 0 && trimmed[end] == '-')))
        ++end;
    return textio::ParseNumber(trimmed.left(end), count);
}
} // namespace

bool TIntMatrix::LoadSparseMat(const QString& fileName)
{
    textio::TTextReader reader(textio::ReadWholeFile(fileName));
    QByteArray line;
    int32_t expected = 0;
    if (!reader.NextLine(line) || !line.toLower().contains("sdl_sparse_matrix"))
        return false;
    if (!reader.NextLine(line) || !leadingCount(line, expected) || expected < 1)
        return false;
    reader.NextLine(line); // the bounds are rebuilt from the triples
    reader.NextLine(line);
    // The cells are loaded into sparse storage; whatever is there already stays
    // unless a triple overwrites it.
    ArrayToSparse(m_allocBy);
    bool bad = false;
    int64_t remaining = expected;
    while (reader.NextLine(line)) {
        --remaining;
        TSparseCell cell;
        if (!line.contains('=') || !parseTriple(line, cell)) {
            bad = true;
            continue;
        }
        SetElem(cell.col, cell.row, cell.value);
    }
    return remaining == 0 && !bad;
}

} // namespace cv
