#pragma once
// TIntMatrix: the matrix of 32-bit signed integers. Besides dense storage
// (as TMatrix) it can keep its cells sparsely, as a list of (column, row,
// value) triples in ascending (column, row) order. Members that only work on
// dense storage turn a sparse matrix dense first (SparseToArray).

#include "maths/sdl_matrix_base.h"

#include <memory>
#include <vector>

namespace cv {

struct TSparseCell {
    int32_t col = 0;
    int32_t row = 0;
    int32_t value = 0;
    bool operator==(const TSparseCell&) const = default;
};

class TIntMatrix : public TMatrixBase<int32_t> {
public:
    // Dense, 1 x 1, cell 0.
    TIntMatrix() = default;
    // Sparse and empty (counts 0 x 0), growing its room by allocBy (at least 1) triples.
    static std::unique_ptr<TIntMatrix> CreateSparse(int32_t allocBy);

    bool IsSparse() const override { return m_isSparse; }
    int32_t GetElem(int32_t col, int32_t row) const override;
    // Sparse: any position from (1, 1) up; the counts follow the highest
    // stored column and row. Writing 0 stores a triple.
    void SetElem(int32_t col, int32_t row, int32_t value) override;
    // Sparse: sets the counts and drops the triples outside; answers false
    // and fires no event.
    bool Resize(int32_t nc, int32_t nr) override;

    void SparseToArray();
    void ArrayToSparse(int32_t allocBy);

    // Sparse: a non-zero value replaces every stored value; 0 empties the list.
    void Fill(int32_t value) override;
    // Only between two dense or two sparse matrices; otherwise nothing.
    void Clone(const TIntMatrix& source);
    bool Transpose() override;
    int32_t Sum(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const override;
    int32_t Trace() const override;
    void MinMax(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, int32_t& minimum,
                int32_t& maximum) const override;
    // This matrix must be dense; matB may be either.
    bool Add(const TMatrixBase<int32_t>& matB) override;

    // Sparse text form (see docs/matrix-files.md).
    bool StoreSparseMat(const QString& fileName) const;
    bool LoadSparseMat(const QString& fileName);

    // The sparse bookkeeping.
    int32_t SparseNumElem() const { return int32_t(m_spMat.size()); }
    int32_t NumAllocated() const { return m_numAllocated; }
    int32_t SparseLowCol() const { return m_lowCol; }
    int32_t SparseHighCol() const { return m_highCol; }
    int32_t SparseLowRow() const { return m_lowRow; }
    int32_t SparseHighRow() const { return m_highRow; }
    const std::vector<TSparseCell>& SparseCells() const { return m_spMat; }

protected:
    void EnsureDense() override { SparseToArray(); }

private:
    void resetSparse(int32_t allocBy);
    void widenBounds(int32_t col, int32_t row);
    void reserveRoom(size_t count);
    // Position of (col, row) in the list, or of the first triple after it.
    std::vector<TSparseCell>::const_iterator locate(int32_t col, int32_t row) const;
    bool insideBounds(int32_t col, int32_t row) const;

    bool m_isSparse = false;
    int32_t m_numAllocated = 0;
    int32_t m_allocBy = 1;
    int32_t m_lowCol = 2147483647, m_highCol = 1;
    int32_t m_lowRow = 2147483647, m_highRow = 1;
    std::vector<TSparseCell> m_spMat;
};

} // namespace cv
