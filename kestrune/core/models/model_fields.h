// Fields the engine's two kinds of file share: matrices of floats, the front-end constants, and
// means read with their range check.
#pragma once

#include <cstdint>
#include <vector>

#include "core/base/byte_io.h"
#include "core/base/matrix.h"
#include "core/frontend/front_end_config.h"

namespace kestrune {

// The values row by row, f32 each.
void WriteFloats(ByteWriter& out, const FloatMatrix& values);

// The sample rate, then every field of FrontEndFields() in its order, 4 bytes each (u32 or
// f32), so that a new front-end constant needs only its field and its descriptor.
void WriteFrontEnd(ByteWriter& out, const FrontEndConfig& config);
FrontEndConfig ReadFrontEnd(ByteReader& in);

// `count` floats, every one a mean in range (the reader fails otherwise; NaN is out of every
// range).
std::vector<float> ReadMeans(ByteReader& in, uint64_t count);

}  // namespace kestrune
