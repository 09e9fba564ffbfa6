#include "wordlist/dispersion.h"

#include <algorithm>
#include <cmath>

namespace cv {

double DeviationOfProportions(std::span<const int64_t> counts, std::span<const double> shares)
{
    const std::size_t n = std::min(counts.size(), shares.size());
    int64_t f = 0;
    for (std::size_t i = 0; i < n; ++i)
        f += counts[i];
    if (f <= 0)
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::fabs(double(counts[i]) / double(f) - shares[i]);
    return std::clamp(sum / 2, 0.0, 1.0);
}

double NormalisedDeviationOfProportions(double dp, double smallestShare)
{
    if (!(smallestShare < 1.0))
        return 0;
    return std::clamp(dp / (1.0 - smallestShare), 0.0, 1.0);
}

} // namespace cv
