#pragma once
// What the floating matrix (TMatrix) and the integer matrix (TIntMatrix)
// share: storage, size, cells, copying, statistics, search, sorting,
// arithmetic and the text, stream and XML forms.
//
// Cells are addressed (column, row), 1-based. The storage is column-major:
// each column is one contiguous run of cells, and whole-matrix loops go
// column by column. It always holds at least one cell, even when a count
// is 0.

#include "maths/sdl_component.h"
#include "maths/sdl_vector.h"

#include <QBuffer>
#include <QIODevice>
#include <QString>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

namespace cv {

template <typename T>
class TMatrixBase : public TSDLComponent {
public:
    using SumType = typename SdlTraits<T>::Sum;
    using VectorBase = TVectorBase<T>;

    TMatrixBase();

    int32_t NrOfColumns() const { return m_nCol; }
    int32_t NrOfRows() const { return m_nRow; }
    void SetNrOfColumns(int32_t n) { Resize(std::max(n, 0), m_nRow); }
    void SetNrOfRows(int32_t n) { Resize(m_nCol, std::max(n, 0)); }
    const QString& DataID() const { return m_dataID; }
    void SetDataID(const QString& id) { m_dataID = id; }

    // Negative counts become 0; cells in both the old and the new bounds keep
    // their values, new cells are 0. "not enough memory on heap" when the
    // storage cannot be had (the matrix keeps its previous size).
    virtual bool Resize(int32_t nc, int32_t nr);
    // 0 outside the matrix; writes outside are ignored (and fire no event).
    virtual T GetElem(int32_t col, int32_t row) const;
    virtual void SetElem(int32_t col, int32_t row, T value);
    virtual bool IsSparse() const { return false; }

    virtual void Fill(T value);
    void FillDiag(T value);
    void Clone(const TMatrixBase& source);
    // Copies a rectangle of the source (bounds clamped to it) to destCol,
    // destRow on; what falls outside this matrix is dropped.
    void CopyFrom(const TMatrixBase& source, int32_t sourceColLo, int32_t sourceRowLo, int32_t sourceColHi,
                  int32_t sourceRowHi, int32_t destCol, int32_t destRow)
    {
        copyRectFrom(source, sourceColLo, sourceRowLo, sourceColHi, sourceRowHi, destCol, destRow);
    }
    void CopyRowToVec(VectorBase& destVec, int32_t row, int32_t firstCol, int32_t lastCol) const;
    void CopyColToVec(VectorBase& destVec, int32_t col, int32_t firstRow, int32_t lastRow) const;
    // Indices outside the matrix make these do nothing.
    void ExchangeColumns(int32_t c1, int32_t c2);
    void ExchangeRows(int32_t r1, int32_t r2);
    void MirrorColumns();
    void MirrorRows();
    QString CRCofData() const;

    // ---- Statistics and search over a rectangle. Both bounds 0 mean the
    // whole dimension; bounds are clamped to the matrix; a reversed pair is
    // swapped.
    virtual SumType Sum(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const;
    // Σ of the diagonal of a square matrix; 0 when not square.
    virtual SumType Trace() const;
    virtual void MinMax(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, T& minimum,
                        T& maximum) const;
    void MeanVar(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& mean,
                 double& variance) const;
    void SkewKurt(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& skewness,
                  double& kurtosis) const;
    void SkewKurtSample(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& skewness,
                        double& kurtosis) const;
    bool Quartiles(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow, double& q1, double& q2,
                   double& q3) const;
    double Percentile(double prob, int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow) const;
    double GeometricMean(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow) const;
    double HarmonicMean(int32_t lowCol, int32_t lowRow, int32_t highCol, int32_t highRow) const;
    // Note the order: both column bounds first.
    void Find(int32_t lowCol, int32_t highCol, int32_t lowRow, int32_t highRow, T value, int32_t& colIx,
              int32_t& rowIx) const;
    int32_t FindInSortedColumn(int32_t col, bool colIsAscending, T value) const;
    // Comb sort of the rows (columns) of the rectangle by their cell in the
    // key column (row); each exchange fires OnSortExchange.
    void SortRows(int32_t sortColIx, bool ascending, int32_t lowCol, int32_t lowRow, int32_t highCol,
                  int32_t highRow);
    void SortCols(int32_t sortRowIx, bool ascending, int32_t lowCol, int32_t lowRow, int32_t highCol,
                  int32_t highRow);

    // ---- Arithmetic. Shape mismatches answer false and change nothing.
    virtual bool Add(const TMatrixBase& matB);
    bool Subtract(const TMatrixBase& matB);
    void SMult(T scalar);
    void SAdd(T scalar);
    // matRes := this · matB; matRes must already have the product's shape.
    bool Multiply(const TMatrixBase& matB, TMatrixBase& matRes);
    // matRes := thisᵀ · matB
    bool TransposeAndMultiply(const TMatrixBase& matB, TMatrixBase& matRes);
    // vecRes := thisᵀ · vecB
    bool TransposeAndMultiply(const VectorBase& vecB, VectorBase& vecRes);
    virtual bool Transpose();

    // ---- File and stream forms (see docs/matrix-files.md).
    // Text: "lowRow highRow", "lowCol highCol", then one line per row.
    bool StoreOnFile(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR, const QString& fileName) const;
    bool LoadFromFile(const QString& fileName, bool adjustMatrixSize);
    // Stream: the bounds lowRow, highRow, lowCol, highCol, then the cells row
    // by row, each a stream value (80-bit extended or 32-bit integer).
    void SaveToStream(QIODevice& out, int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const;
    void SaveToStream(std::unique_ptr<QBuffer>& out, int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const;
    bool LoadFromStream(QIODevice* in, bool adjustMatrixSize);
    // XML; an empty dataID writes the matrix's own. A QFile serves as the
    // open text file of the file variants.
    void WriteToXMLStream(QIODevice& out, bool createHeader, const QString& dataID) const;
    void SaveAsXMLFile(const QString& fileName, const QString& dataID) const;
    // With a non-empty dataID only a matrix of that identifier is accepted.
    bool ReadFromXMLStream(QIODevice& in, const QString& dataID);
    bool LoadFromXMLFile(const QString& fileName, const QString& dataID);

protected:
    struct TRange {
        int32_t c1 = 1, c2 = 0, r1 = 1, r2 = 0;
        bool empty() const { return c1 > c2 || r1 > r2; }
        int64_t cells() const { return empty() ? 0 : int64_t(c2 - c1 + 1) * (r2 - r1 + 1); }
    };
    // The rectangle rule shared by every rectangle-based member.
    TRange normalise(int32_t loC, int32_t loR, int32_t hiC, int32_t hiR) const;
    // The rectangle's cells, column by column (sparse storage read through GetElem).
    std::vector<T> gather(const TRange& r) const;

    template <typename Source>
    void copyRectFrom(const Source& source, int32_t colLo, int32_t rowLo, int32_t colHi, int32_t rowHi,
                      int32_t destCol, int32_t destRow)
    {
        EnsureDense();
        auto clampPair = [](int32_t& lo, int32_t& hi, int32_t n) {
            lo = std::clamp(lo, 1, std::max(n, 1));
            hi = std::clamp(hi, 1, std::max(n, 1));
            if (lo > hi)
                std::swap(lo, hi);
        };
        clampPair(colLo, colHi, source.NrOfColumns());
        clampPair(rowLo, rowHi, source.NrOfRows());
        for (int32_t c = colLo; c <= colHi; ++c) {
            const int64_t dc = int64_t(c) - colLo + destCol;
            if (dc < 1 || dc > m_nCol)
                continue;
            for (int32_t r = rowLo; r <= rowHi; ++r) {
                const int64_t dr = int64_t(r) - rowLo + destRow;
                if (dr >= 1 && dr <= m_nRow)
                    SetElem(int32_t(dc), int32_t(dr), T(source.GetElem(c, r)));
            }
        }
        Changed();
    }

    // Sparse storage turns itself dense here before a dense-only member runs.
    virtual void EnsureDense() {}
    // This matrix itself when dense, else a dense copy kept in `holder`.
    const TMatrixBase& denseView(std::unique_ptr<TMatrixBase>& holder) const;
    // How a value is written in the text form (followed by one blank).
    virtual QByteArray FormatTextValue(T value) const;

    T* column(int32_t col) { return m_cells.data() + size_t(col - 1) * size_t(m_allocRows); }
    const T* column(int32_t col) const { return m_cells.data() + size_t(col - 1) * size_t(m_allocRows); }
    T& at(int32_t col, int32_t row) { return column(col)[row - 1]; }
    T at(int32_t col, int32_t row) const { return column(col)[row - 1]; }
    // Replaces the storage with nc x nr cells (at least 1 x 1) and sets the counts.
    void allocate(int32_t nc, int32_t nr, std::vector<T>&& cells);
    void releaseStorage();
    [[noreturn]] void raise(const QString& text) const;
    [[noreturn]] void raiseNoMemory() const;

    int32_t m_nCol = 1;
    int32_t m_nRow = 1;
    int32_t m_allocCols = 1;
    int32_t m_allocRows = 1;
    QString m_dataID;
    std::vector<T> m_cells;

private:
    template <typename Op>
    bool combineWith(const TMatrixBase& matB, Op&& op);
    template <typename Op>
    void applyToCells(Op&& op);
    bool readXml(QIODevice& in, const QString& dataID);
};

extern template class TMatrixBase<double>;
extern template class TMatrixBase<int32_t>;

} // namespace cv
