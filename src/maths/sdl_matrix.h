#pragma once
// TMatrix: the resizable matrix of 64-bit floats, with linear algebra
// (LU decomposition, determinant, inverse, norms through the singular value
// decomposition), distance matrices and the binary file form on top of what
// it shares with the integer matrix.

#include "maths/sdl_matrix_base.h"

#include <span>

namespace cv {

class TIntMatrix;

enum class TNormType : uint8_t { ntColwise, ntRowwise, ntSpectral, ntFrobenius };
enum class TDistMode : uint8_t { dmJaccard, dmManhattan, dmEuclid, dmEuclidSqr, dmDice, dmUserDef };

// Width and decimals of the text form; decimals < 0 selects scientific notation.
struct TPrecision {
    int32_t width = 15;
    int32_t decimals = -1;
};

class TMatrix : public TMatrixBase<double> {
public:
    TMatrix() = default;

    TOnCalcDistanceEvent OnCalcDistance;
    const TPrecision& Precision() const { return m_precis; }
    void SetPrecision(const TPrecision& precision) { m_precis = precision; }

    // Copies size, DataID, cells, precision and the events; fires no event.
    void Assign(const TMatrix& source);
    void AssignTo(TMatrix& dest) const { dest.Assign(*this); }

    using TMatrixBase<double>::CopyFrom;
    void CopyFrom(const TIntMatrix& source, int32_t sourceColLo, int32_t sourceRowLo, int32_t sourceColHi,
                  int32_t sourceRowHi, int32_t destCol, int32_t destRow);
    // Elements go down column destCol from row destRow on.
    void CopyFromVec(const TVector& vecSource, int32_t source1stElem, int32_t sourceLastElem, int32_t destCol,
                     int32_t destRow);

    void FillRandomUniform(double rangeLow, double rangeHigh);
    void FillRandomGauss(double mean, double stdDev);

    // ---- Statistics only the float matrix has.
    // The rectangle LoX..HiX (columns) by LoY..HiY (rows) is taken as given;
    // positions outside the matrix count as 0. False, and nothing changed,
    // for more than 500 bins or more than 2,147,483,647 positions.
    bool Histogram(int32_t loX, int32_t loY, int32_t hiX, int32_t hiY, double firstBin, double lastBin,
                   double binWidth, TIntVector& histo, int32_t& underflow, int32_t& overflow,
                   int32_t& maxCnt) const;
    // Means and StdDevs receive one element per column (row) when given.
    void StandardizeColumns(TVector* means, TVector* stdDevs);
    void StandardizeRows(TVector* means, TVector* stdDevs);
    void MeanCenterColumns(TVector* means);
    void MeanCenterRows(TVector* means);
    // Pearson correlation over all cells; "matrices do not match" for other shapes.
    double Correlate(const TMatrix& otherMat) const;

    // ---- Linear algebra.
    // Crout's method with implicit partial pivoting: matL · matU equals the
    // row-permuted matrix. False for a non-square or singular matrix.
    bool LUdecomposition(TMatrix& matL, TMatrix& matU) const;
    double Determinant() const;
    // False (cells unchanged) for a non-square or singular matrix.
    bool Invert();
    double Norm(TNormType nt) const;
    // Distances between the rows into dMat (which must be square of order
    // NrOfRows): 0, or −1 when dMat is not square, −2 when its order differs.
    int32_t CalcDistMat(TDistMode mode, TMatrix& dMat);

    // ---- Binary file form: 4096-byte records (see docs/matrix-files.md).
    void SaveBinary(const QString& fileName) const;
    void LoadBinary(const QString& fileName);
    bool ReadBinaryHeader(const QString& fileName, int32_t& nrColumns, int32_t& nrRows, QString& dataID) const;

protected:
    QByteArray FormatTextValue(double value) const override;

private:
    template <typename Per>
    void standardize(bool byColumns, TVector* means, TVector* stdDevs, Per&& transform);

    TPrecision m_precis;
};

// The Golub–Reinsch singular value decomposition of the m x n matrix `a`
// (column-major, m rows): `a` becomes U, `w` gets the n singular values and
// `v` (n x n, column-major) the right singular vectors. False when an
// eigenvalue needs more than 30 iterations. Needs m >= n.
bool SingularValueDecomposition(std::span<double> a, int m, int n, std::span<double> w, std::span<double> v);

} // namespace cv
