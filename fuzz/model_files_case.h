// The model-file fuzzer's input: a background model's payload and two target models' payloads,
// framed by the fuzzer with a correct header (size and hash) so that mutations reach every field
// and count instead of failing the hash; a flag byte hands any of them over as a whole file
// instead, header included, so that the header's checks are fuzzed too.
//
//   offset  size  field
//        0     1  flags: bit 0 background raw, bit 1 targets raw, bit 2 strict load (flagA 0)
//        1     4  background length (little-endian); 0: the fixed background (SmallBackground)
//        5     n  background bytes
//      5+n     4  first target's length
//      9+n     m  first target's bytes
//    9+n+m     -  second target's bytes (the rest)
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/base/byte_io.h"
#include "core/models/model_files.h"

namespace modelcase {

struct ModelFilesCase {
    uint8_t flags = 0;
    std::vector<uint8_t> background;  // empty: the fixed background
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
};

inline constexpr uint8_t kRawBackground = 1;
inline constexpr uint8_t kRawTargets = 2;
inline constexpr uint8_t kStrictLoad = 4;

inline std::vector<uint8_t> Serialise(const ModelFilesCase& c) {
    kestrune::ByteWriter out;
    out.Bytes(&c.flags, 1);
    out.U32(static_cast<uint32_t>(c.background.size()));
    out.Bytes(c.background.data(), c.background.size());
    out.U32(static_cast<uint32_t>(c.first.size()));
    out.Bytes(c.first.data(), c.first.size());
    out.Bytes(c.second.data(), c.second.size());
    return std::move(out.bytes());
}

// Splits any bytes into a case: lengths beyond the input take what is left.
inline ModelFilesCase Parse(const uint8_t* data, size_t size) {
    ModelFilesCase c;
    kestrune::ByteReader in(data, size);
    const auto take = [&](size_t length) {
        length = std::min(length, in.remaining());
        const uint8_t* at = in.Take(length);
        return at ? std::vector<uint8_t>(at, at + length) : std::vector<uint8_t>();
    };
    const uint8_t* flags = in.Take(1);
    c.flags = flags ? *flags : 0;
    c.background = take(in.U32());
    c.first = take(in.U32());
    c.second = take(in.remaining());
    return c;
}

// A payload as a whole file of `kind` ("UBM " or "TGT "), with a correct header.
inline std::vector<uint8_t> Frame(const char (&kind)[5], const std::vector<uint8_t>& payload) {
    kestrune::ByteWriter out;
    out.Bytes("KSRN", 4);
    out.Bytes(kind, 4);
    out.U32(kestrune::kModelFileVersion);
    out.U32(0);
    out.U64(payload.size());
    out.U64(kestrune::Fnv1a64(payload.data(), payload.size()));
    out.Bytes(payload.data(), payload.size());
    return std::move(out.bytes());
}

// The payload of an encoded file.
inline std::vector<uint8_t> Payload(const std::vector<uint8_t>& file) {
    return std::vector<uint8_t>(file.begin() + 32, file.end());
}

// The fixed background: three components over four dimensions, with a cohort of two speakers.
inline kestrune::BackgroundModel SmallBackground() {
    kestrune::BackgroundModel model;
    model.frontEnd.cepstra = 2;
    model.frontEnd.deltaOrder = 1;
    model.topComponents = 2;
    model.gmm.weights = Eigen::Vector3d(0.25, 0.25, 0.5);
    model.gmm.means = kestrune::DoubleMatrix::Constant(3, 4, 0.5);
    model.gmm.means(1, 2) = -1.25;
    model.gmm.means(2, 0) = 1.5;
    model.gmm.variances = kestrune::DoubleMatrix::Constant(3, 4, 2.0);
    model.cohortMeans = {kestrune::FloatMatrix::Constant(6, 4, 0.25f),
                         kestrune::FloatMatrix::Constant(6, 4, 0.5f),
                         kestrune::FloatMatrix::Constant(6, 4, -0.25f)};
    return model;
}

}  // namespace modelcase
