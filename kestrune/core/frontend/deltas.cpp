// Delta regression.
#include "core/frontend/deltas.h"

#include <algorithm>

namespace kestrune {

FeatureMatrix AppendDeltas(const FeatureMatrix& statics, uint32_t window, uint32_t order) {
    const auto c = static_cast<uint32_t>(statics.cols());
    FeatureMatrix all(statics.rows(), c * (1 + order));
    all.leftCols(c) = statics;
    const int span = static_cast<int>(window);
    float norm = 0.0f;
    for (int k = 1; k <= span; ++k) {
        norm += 2.0f * k * k;
    }
    const int last = static_cast<int>(statics.rows()) - 1;
    for (uint32_t level = 1; level <= order; ++level) {
        const auto source = all.middleCols((level - 1) * c, c);
        for (int t = 0; t <= last; ++t) {
            Eigen::RowVectorXf delta = Eigen::RowVectorXf::Zero(c);
            for (int k = 1; k <= span; ++k) {
                delta += k * (source.row(std::min(t + k, last)) - source.row(std::max(t - k, 0)));
            }
            all.row(t).middleCols(level * c, c) = delta / norm;
        }
    }
    return all;
}

}  // namespace kestrune
