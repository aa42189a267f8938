// Deltas: the slope of each feature over the frames around each frame, which carries how the
// spectrum moves, not only where it is.
#pragma once

#include <cstdint>

#include "core/base/matrix.h"

namespace kestrune {

// `statics` (one row per frame) followed by their deltas, by linear regression over ±`window`
// frames with the edge frames repeated; order 2 also appends the deltas of the deltas, order 0
// nothing. Every frame takes part, so the caller drops silence only afterwards.
FeatureMatrix AppendDeltas(const FeatureMatrix& statics, uint32_t window, uint32_t order);

}  // namespace kestrune
