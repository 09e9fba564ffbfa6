// bench-deps: cv_maths cv_suite
// Times the two heavy matrix jobs on one core: the product of two 500 x 500
// matrices and the inverse of a 500 x 500 matrix. Each should take under a
// second (build RelWithDebInfo to measure). Prints both figures and checks
// the answers, so a fast wrong result does not pass unnoticed.
//
//   matrix_bench [order]

#include "bench_support.h"

#include "maths/sdl_errors.h"
#include "maths/sdl_matrix.h"
#include "maths/sdl_support.h"

#include <QByteArray>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

double bestOf(int runs, const auto& job)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        cvbench::Stopwatch watch;
        job();
        best = std::min(best, watch.seconds());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    // The order a matrix of the library may have at most (kMaxCells cells).
    constexpr const char* kUsage = "usage: matrix_bench [order]\n"
                                   "  order: 1 to 16384 (default 500)\n";
    int64_t order = 500;
    if (const int exit = cvbench::NumbersOnly(cvbench::Arguments(argc, argv), kUsage, {{"order", 1, 16384, &order}}); exit >= 0)
        return exit;
    const int n = int(order);
    const QString what = QStringLiteral("multiply and invert matrices of order %1").arg(n);
    // The library says it has no memory with its own error.
    try {
        return cvbench::RunJob(what, [&]() -> int {
            cv::RandomSeed(42);
            cv::TMatrix a, b, product;
            a.Resize(n, n);
            b.Resize(n, n);
            product.Resize(n, n);
            a.FillRandomUniform(-1, 1);
            b.FillRandomUniform(-1, 1);

            const double multiplySeconds = bestOf(3, [&] { a.Multiply(b, product); });

            // A well-conditioned matrix: random plus a strong diagonal.
            cv::TMatrix m, inverse;
            m.Resize(n, n);
            m.FillRandomUniform(-1, 1);
            for (int i = 1; i <= n; ++i)
                m.SetElem(i, i, m.GetElem(i, i) + n);
            double invertSeconds = 1e300;
            for (int i = 0; i < 3; ++i) {
                inverse.Assign(m);
                cvbench::Stopwatch watch;
                if (!inverse.Invert()) {
                    std::fprintf(stderr, "inversion failed\n");
                    return 1;
                }
                invertSeconds = std::min(invertSeconds, watch.seconds());
            }

            // Checks: one product cell against a plain sum, and inverse · m = identity.
            long double cell = 0;
            for (int k = 1; k <= n; ++k)
                cell += (long double)a.GetElem(k, 1) * b.GetElem(n, k);
            const double productError = std::fabs(double(cell) - product.GetElem(n, 1));
            cv::TMatrix identity;
            identity.Resize(n, n);
            inverse.Multiply(m, identity);
            double identityError = 0;
            for (int c = 1; c <= n; ++c)
                for (int r = 1; r <= n; ++r)
                    identityError = std::max(identityError, std::fabs(identity.GetElem(c, r) - (c == r ? 1.0 : 0.0)));

            std::printf("multiply %dx%d: %.3f s (limit 1 s)  cell error %.2g\n", n, n, multiplySeconds, productError);
            std::printf("invert   %dx%d: %.3f s (limit 1 s)  max |inv*m - I| %.2g\n", n, n, invertSeconds, identityError);
            const bool ok = multiplySeconds < 1 && invertSeconds < 1 && productError < 1e-9 && identityError < 1e-9;
            std::printf("%s\n", ok ? "OK" : "TOO SLOW OR WRONG");
            return ok ? 0 : 1;
        });
    } catch (const cv::ESDLError& e) {
        if (!QString::fromUtf8(e.what()).contains(QLatin1String("not enough memory")))
            throw;
        std::fprintf(stderr, "%s\n", qPrintable(cv::NotEnoughMemoryText(what)));
        return 1;
    }
}
