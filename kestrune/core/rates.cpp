// Error rates from sorted score lists.
#include "core/rates.h"

#include <algorithm>
#include <cmath>

namespace kestrune {
namespace {

int32_t Thousandths(size_t part, size_t whole) {
    if (whole == 0) {
        return 0;
    }
    return static_cast<int32_t>(
        std::llround(100000.0 * static_cast<double>(part) / static_cast<double>(whole)));
}

}  // namespace

const ScoreDistribution* NearestDistribution(const std::vector<ScoreDistribution>& list,
                                             size_t frames) {
    const double wanted = std::log(static_cast<double>(std::max<size_t>(frames, 1)));
    const ScoreDistribution* best = nullptr;
    double bestDistance = 0.0;
    for (const ScoreDistribution& distribution : list) {
        const double distance = std::abs(
            std::log(static_cast<double>(std::max<uint32_t>(distribution.frames, 1))) - wanted);
        const bool closer = best == nullptr || distance < bestDistance - 1e-12 ||
                            (distance < bestDistance + 1e-12 && distribution.frames < best->frames);
        if (closer) {
            best = &distribution;
            bestDistance = distance;
        }
    }
    return best;
}

int32_t FalseRejection(const std::vector<float>& genuineAscending, float score) {
    const auto below = std::lower_bound(genuineAscending.begin(), genuineAscending.end(), score);
    return Thousandths(static_cast<size_t>(below - genuineAscending.begin()),
                       genuineAscending.size());
}

int32_t FalseAcceptance(const std::vector<float>& impostorAscending, float score) {
    const auto firstAtOrAbove =
        std::lower_bound(impostorAscending.begin(), impostorAscending.end(), score);
    return Thousandths(static_cast<size_t>(impostorAscending.end() - firstAtOrAbove),
                       impostorAscending.size());
}

}  // namespace kestrune
