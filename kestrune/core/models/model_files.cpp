// Encoding, decoding and validation of the engine's files.
#include "core/models/model_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <variant>

#include "core/base/byte_io.h"
#include "core/frontend/front_end_fields.h"
#include "core/models/model_ranges.h"

namespace kestrune {
namespace {

constexpr char kMagic[4] = {'K', 'S', 'R', 'N'};
constexpr char kBackgroundKind[4] = {'U', 'B', 'M', ' '};
constexpr char kTargetKind[4] = {'T', 'G', 'T', ' '};
constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderBytes = 32;

std::vector<uint8_t> WithHeader(const char (&kind)[4], std::vector<uint8_t>& payload) {
    ByteWriter out;
    out.Bytes(kMagic, 4);
    out.Bytes(kind, 4);
    out.U32(kVersion);
    out.U32(0);
    out.U64(payload.size());
    out.U64(Fnv1a64(payload.data(), payload.size()));
    out.Bytes(payload.data(), payload.size());
    return std::move(out.bytes());
}

// Checks the header of `file` and returns a reader over its payload (failed on any mismatch).
ByteReader OpenPayload(const std::vector<uint8_t>& file, const char (&kind)[4],
                       std::string& error) {
    ByteReader header(file.data(), file.size());
    const uint8_t* magic = header.Take(4);
    const uint8_t* fileKind = header.Take(4);
    const uint32_t version = header.U32();
    const uint32_t reserved = header.U32();
    const uint64_t size = header.U64();
    const uint64_t hash = header.U64();
    if (!header.ok() || std::memcmp(magic, kMagic, 4) != 0) {
        error = "not a kestrune file";
    } else if (std::memcmp(fileKind, kind, 4) != 0) {
        error = "a kestrune file of another kind";
    } else if (version < kVersion && reserved == 0) {
        error = "made by an older kestrune (file version " + std::to_string(version) +
                "): re-create it with kestrune train-ubm (background models) or kestrune " +
                "enroll (targets)";
    } else if (version != kVersion || reserved != 0) {
        error = "unsupported file version " + std::to_string(version);
    } else if (size != file.size() - kHeaderBytes) {
        error = "file size does not match its header (truncated or extended)";
    } else if (Fnv1a64(file.data() + kHeaderBytes, size) != hash) {
        error = "file contents are damaged (hash mismatch)";
    } else {
        return ByteReader(file.data() + kHeaderBytes, static_cast<size_t>(size));
    }
    ByteReader failed(nullptr, 0);
    failed.Check(false);
    return failed;
}

bool Finish(ByteReader& in, const char* what, std::string& error) {
    if (!in.ok()) {
        error = std::string("malformed ") + what;
        return false;
    }
    if (in.remaining() != 0) {
        error = std::string("unexpected bytes after the ") + what;
        return false;
    }
    return true;
}

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

// Background payload: front-end constants (as WriteFrontEnd writes them),
// topComponents u32, M u32, D u32, then weights (M), means (M × D) and variances (M × D) as f64,
// row by row.
std::vector<uint8_t> BackgroundPayload(const BackgroundModel& model) {
    ByteWriter out;
    WriteFrontEnd(out, model.frontEnd);
    const auto m = static_cast<uint32_t>(model.gmm.Components());
    const auto d = static_cast<uint32_t>(model.gmm.Dimension());
    out.U32(model.topComponents);
    out.U32(m);
    out.U32(d);
    for (uint32_t k = 0; k < m; ++k) {
        out.F64(model.gmm.weights(k));
    }
    for (const DoubleMatrix* matrix : {&model.gmm.means, &model.gmm.variances}) {
        for (uint32_t k = 0; k < m; ++k) {
            for (uint32_t j = 0; j < d; ++j) {
                out.F64((*matrix)(k, j));
            }
        }
    }
    out.U32(static_cast<uint32_t>(m > 0 ? model.cohortMeans[0].rows() / m : 0));
    for (const FloatMatrix& means : model.cohortMeans) {
        WriteFloats(out, means);
    }
    return std::move(out.bytes());
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

}  // namespace

uint64_t BackgroundFingerprint(const BackgroundModel& model) {
    const std::vector<uint8_t> payload = BackgroundPayload(model);
    return Fnv1a64(payload.data(), payload.size());
}

std::string FingerprintText(uint64_t fingerprint) {
    std::string text(16, '0');
    for (size_t i = 16; i-- > 0; fingerprint >>= 4) {
        text[i] = "0123456789abcdef"[fingerprint & 0xF];
    }
    return text;
}

std::vector<uint8_t> EncodeBackground(const BackgroundModel& model) {
    std::vector<uint8_t> payload = BackgroundPayload(model);
    return WithHeader(kBackgroundKind, payload);
}

bool DecodeBackground(const std::vector<uint8_t>& file, BackgroundModel& model,
                      uint64_t& fingerprint, std::string& error) {
    ByteReader in = OpenPayload(file, kBackgroundKind, error);
    if (!in.ok()) {
        return false;
    }
    model.frontEnd = ReadFrontEnd(in);
    model.topComponents = in.U32();
    const uint32_t m = in.U32();
    const uint32_t d = in.U32();
    in.Check(model.frontEnd.Valid() && m >= 1 && m <= kMaxComponents &&
             d == model.frontEnd.Dimension() && d <= kMaxDimension && model.topComponents >= 1 &&
             model.topComponents <= m);
    if (!in.ok() || !in.Expect(uint64_t{m} * (1 + 2 * uint64_t{d}), 8)) {
        error = "malformed background model header";
        return false;
    }
    model.gmm.weights.resize(m);
    model.gmm.means.resize(m, d);
    model.gmm.variances.resize(m, d);
    for (uint32_t k = 0; k < m; ++k) {
        model.gmm.weights(k) = in.F64();
    }
    for (DoubleMatrix* matrix : {&model.gmm.means, &model.gmm.variances}) {
        for (uint32_t k = 0; k < m; ++k) {
            for (uint32_t j = 0; j < d; ++j) {
                (*matrix)(k, j) = in.F64();
            }
        }
    }
    const uint32_t cohort = in.U32();
    in.Check(cohort <= kMaxCohort);
    for (FloatMatrix& means : model.cohortMeans) {
        const std::vector<float> values = ReadMeans(in, uint64_t{cohort} * m * d);
        if (in.ok()) {
            means = Eigen::Map<const FloatMatrix>(values.data(), Eigen::Index{cohort} * m, d);
        }
    }
    if (!Finish(in, "background model", error)) {
        return false;
    }
    if (!model.gmm.Valid() || !MixtureInRange(model.gmm)) {
        error = "background model parameters out of range";
        return false;
    }
    fingerprint = Fnv1a64(file.data() + kHeaderBytes, file.size() - kHeaderBytes);
    return true;
}

// Target payload: ubmFingerprint u64, relevance f32, enrollmentFrames u32, M u32, D u32,
// the clean, noisy and telephone means (M × D f32 each, row by row), genuine sample count u32,
// then per sample: score, speech frames, SNR dB, telephone weight (f32 each).
std::vector<uint8_t> EncodeTarget(const TargetModel& model) {
    ByteWriter out;
    out.U64(model.ubmFingerprint);
    out.F32(model.relevance);
    out.U32(model.enrollmentFrames);
    out.U32(static_cast<uint32_t>(model.means[0].rows()));
    out.U32(static_cast<uint32_t>(model.means[0].cols()));
    for (const FloatMatrix& means : model.means) {
        WriteFloats(out, means);
    }
    out.U32(static_cast<uint32_t>(model.genuine.size()));
    for (const GenuineSample& sample : model.genuine) {
        out.F32(sample.score);
        out.F32(sample.frames);
        out.F32(sample.snrDb);
        out.F32(sample.telephone);
    }
    return WithHeader(kTargetKind, out.bytes());
}

bool DecodeTarget(const std::vector<uint8_t>& file, TargetModel& model, std::string& error) {
    ByteReader in = OpenPayload(file, kTargetKind, error);
    if (!in.ok()) {
        return false;
    }
    model.ubmFingerprint = in.U64();
    model.relevance = in.F32();
    model.enrollmentFrames = in.U32();
    const uint32_t m = in.U32();
    const uint32_t d = in.U32();
    in.Check(InRange(model.relevance, 0.0, kMaxRelevance) && model.enrollmentFrames <= kMaxFrames &&
             m >= 1 && m <= kMaxComponents && d >= 1 && d <= kMaxDimension);
    if (!in.Expect(uint64_t{kConditions} * m * d, 4)) {
        error = "malformed target model header";
        return false;
    }
    for (FloatMatrix& means : model.means) {
        const std::vector<float> values = ReadMeans(in, uint64_t{m} * d);
        if (in.ok()) {
            means = Eigen::Map<const FloatMatrix>(values.data(), m, d);
        }
    }
    const uint32_t count = in.U32();
    in.Check(count >= 1 && count <= kMaxGenuineSamples);
    std::vector<float> values;
    if (in.Expect(uint64_t{count} * 4, 4)) {
        values.resize(size_t{count} * 4);
        for (float& value : values) {
            value = in.F32();
        }
    }
    model.genuine.clear();
    for (size_t i = 0; in.ok() && i < count; ++i) {
        const GenuineSample sample = {values[4 * i], values[4 * i + 1], values[4 * i + 2],
                                      values[4 * i + 3]};
        in.Check(GenuineSampleInRange(sample));
        model.genuine.push_back(sample);
    }
    return Finish(in, "target model", error);
}

}  // namespace kestrune
