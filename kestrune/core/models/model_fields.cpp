// Fields the engine's two kinds of file share.
#include "core/models/model_fields.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <variant>

#include "core/frontend/front_end_fields.h"
#include "core/models/model_ranges.h"

namespace kestrune {

void WriteFloats(ByteWriter& out, const FloatMatrix& values) {
    for (Eigen::Index row = 0; row < values.rows(); ++row) {
        for (Eigen::Index j = 0; j < values.cols(); ++j) {
            out.F32(values(row, j));
        }
    }
}

// The sample rate, then every field of FrontEndFields() in its order, 4 bytes each (u32 or
// f32), so that a new front-end constant needs only its field and its descriptor.
void WriteFrontEnd(ByteWriter& out, const FrontEndConfig& config) {
    out.U32(config.sampleRate);
    auto& fields = const_cast<FrontEndConfig&>(config);  // the accessors only read here
    for (const OptionField<FrontEndConfig>& field : FrontEndFields()) {
        std::visit(
            [&](auto access) {
                if constexpr (std::is_same_v<decltype(access(fields)), uint32_t&>) {
                    out.U32(access(fields));
                } else {
                    out.F32(static_cast<float>(access(fields)));
                }
            },
            field.field);
    }
}

FrontEndConfig ReadFrontEnd(ByteReader& in) {
    FrontEndConfig config;
    config.sampleRate = in.U32();
    for (const OptionField<FrontEndConfig>& field : FrontEndFields()) {
        std::visit(
            [&](auto access) {
                auto& value = access(config);
                if constexpr (std::is_same_v<decltype(access(config)), uint32_t&>) {
                    value = in.U32();
                } else {
                    value = static_cast<std::remove_reference_t<decltype(value)>>(in.F32());
                }
            },
            field.field);
    }
    return config;
}

// `count` floats, every one a mean in range (the reader fails otherwise; NaN is out of every
// range). Target files are read on every load that finds them changed, and are mostly floats:
// on a little-endian host they are copied as they are.
std::vector<float> ReadMeans(ByteReader& in, uint64_t count) {
    std::vector<float> values;
    if (!in.Expect(count, 4)) {
        return values;
    }
    values.resize(static_cast<size_t>(count));
    if constexpr (std::endian::native == std::endian::little) {
        const uint8_t* bytes = in.Take(static_cast<size_t>(count) * 4);
        if (bytes != nullptr && count > 0) {  // no copy to the null data of an empty vector
            std::memcpy(values.data(), bytes, static_cast<size_t>(count) * 4);
        }
    } else {
        for (float& value : values) {
            value = in.F32();
        }
    }
    // Without branches, so that the loop vectorises: a NaN compares false.
    constexpr auto kBound = static_cast<float>(kMaxAbsMean);
    bool inRange = true;
    for (const float value : values) {
        inRange &= std::abs(value) <= kBound;
    }
    in.Check(inRange);
    return values;
}

}  // namespace kestrune
