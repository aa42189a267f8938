// Encoding, decoding and validation of the engine's files.
#include "core/models/model_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <variant>

#include "core/base/byte_io.h"
#include "core/models/model_fields.h"
#include "core/models/model_ranges.h"
#include "core/models/model_sections.h"

namespace kestrune {
namespace {

constexpr char kMagic[4] = {'K', 'S', 'R', 'N'};
constexpr char kBackgroundKind[4] = {'U', 'B', 'M', ' '};
constexpr char kTargetKind[4] = {'T', 'G', 'T', ' '};
constexpr uint32_t kVersion = kModelFileVersion;
constexpr size_t kHeaderBytes = 32;

// The sections of each kind of file, in their order (model_sections.h).
constexpr char kFrontEndTag[5] = "FEND";
constexpr char kScoringTag[5] = "TOPC";
constexpr char kMixtureTag[5] = "MIXT";
constexpr char kCohortTag[5] = "COHO";
constexpr char kOriginTag[5] = "BGFP";
constexpr char kAdaptationTag[5] = "ADAP";
constexpr char kMeansTag[5] = "MEAN";
constexpr char kGenuineTag[5] = "GENU";

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

// Background payload, four sections:
//   FEND  the front-end constants, as WriteFrontEnd writes them
//   TOPC  u32 components evaluated per frame when scoring
//   MIXT  u32 M, u32 D, then weights (M), means (M × D) and variances (M × D) as f64, row by row
//   COHO  u32 cohort speakers K, then the clean, noisy and telephone cohort means
//         (K·M × D f32 each, row by row)
std::vector<uint8_t> BackgroundPayload(const BackgroundModel& model) {
    ByteWriter out;
    ByteWriter frontEnd;
    WriteFrontEnd(frontEnd, model.frontEnd);
    WriteSection(out, kFrontEndTag, frontEnd);

    ByteWriter scoring;
    scoring.U32(model.topComponents);
    WriteSection(out, kScoringTag, scoring);

    ByteWriter mixture;
    const auto m = static_cast<uint32_t>(model.gmm.Components());
    const auto d = static_cast<uint32_t>(model.gmm.Dimension());
    mixture.U32(m);
    mixture.U32(d);
    for (uint32_t k = 0; k < m; ++k) {
        mixture.F64(model.gmm.weights(k));
    }
    for (const DoubleMatrix* matrix : {&model.gmm.means, &model.gmm.variances}) {
        for (uint32_t k = 0; k < m; ++k) {
            for (uint32_t j = 0; j < d; ++j) {
                mixture.F64((*matrix)(k, j));
            }
        }
    }
    WriteSection(out, kMixtureTag, mixture);

    ByteWriter cohort;
    cohort.U32(static_cast<uint32_t>(m > 0 ? model.cohortMeans[0].rows() / m : 0));
    for (const FloatMatrix& means : model.cohortMeans) {
        WriteFloats(cohort, means);
    }
    WriteSection(out, kCohortTag, cohort);
    return std::move(out.bytes());
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
    error.clear();  // the section readers keep the first failure's message
    ByteReader in = OpenPayload(file, kBackgroundKind, error);
    if (!in.ok()) {
        return false;
    }
    ByteReader frontEnd = OpenSection(in, kFrontEndTag, error);
    model.frontEnd = ReadFrontEnd(frontEnd);
    frontEnd.Check(model.frontEnd.Valid());
    if (!CloseSection(frontEnd, kFrontEndTag, error)) {
        return false;
    }

    ByteReader scoring = OpenSection(in, kScoringTag, error);
    model.topComponents = scoring.U32();
    scoring.Check(model.topComponents >= 1 && model.topComponents <= kMaxComponents);
    if (!CloseSection(scoring, kScoringTag, error)) {
        return false;
    }

    ByteReader mixture = OpenSection(in, kMixtureTag, error);
    const uint32_t m = mixture.U32();
    const uint32_t d = mixture.U32();
    mixture.Check(m >= 1 && m <= kMaxComponents && d == model.frontEnd.Dimension() &&
                  d <= kMaxDimension && model.topComponents <= m);
    if (!mixture.Expect(uint64_t{m} * (1 + 2 * uint64_t{d}), 8)) {
        CloseSection(mixture, kMixtureTag, error);
        return false;
    }
    model.gmm.weights.resize(m);
    model.gmm.means.resize(m, d);
    model.gmm.variances.resize(m, d);
    for (uint32_t k = 0; k < m; ++k) {
        model.gmm.weights(k) = mixture.F64();
    }
    for (DoubleMatrix* matrix : {&model.gmm.means, &model.gmm.variances}) {
        for (uint32_t k = 0; k < m; ++k) {
            for (uint32_t j = 0; j < d; ++j) {
                (*matrix)(k, j) = mixture.F64();
            }
        }
    }
    if (!CloseSection(mixture, kMixtureTag, error)) {
        return false;
    }

    ByteReader cohort = OpenSection(in, kCohortTag, error);
    const uint32_t speakers = cohort.U32();
    cohort.Check(speakers <= kMaxCohort);
    for (FloatMatrix& means : model.cohortMeans) {
        const std::vector<float> values = ReadMeans(cohort, uint64_t{speakers} * m * d);
        if (cohort.ok()) {
            means = Eigen::Map<const FloatMatrix>(values.data(), Eigen::Index{speakers} * m, d);
        }
    }
    if (!CloseSection(cohort, kCohortTag, error) || !Finish(in, "background model", error)) {
        return false;
    }
    if (!model.gmm.Valid() || !MixtureInRange(model.gmm)) {
        error = "background model parameters out of range";
        return false;
    }
    fingerprint = Fnv1a64(file.data() + kHeaderBytes, file.size() - kHeaderBytes);
    return true;
}

// Target payload, four sections:
//   BGFP  u64 fingerprint of the background model it was adapted from
//   ADAP  f32 relevance factor, u32 enrollment speech frames
//   MEAN  u32 M, u32 D, then the clean, noisy and telephone means (M × D f32 each, row by row)
//   GENU  u32 genuine samples, then per sample: score, speech frames, SNR dB, telephone weight
//         (f32 each)
std::vector<uint8_t> EncodeTarget(const TargetModel& model) {
    ByteWriter out;
    ByteWriter origin;
    origin.U64(model.ubmFingerprint);
    WriteSection(out, kOriginTag, origin);

    ByteWriter adaptation;
    adaptation.F32(model.relevance);
    adaptation.U32(model.enrollmentFrames);
    WriteSection(out, kAdaptationTag, adaptation);

    ByteWriter means;
    means.U32(static_cast<uint32_t>(model.means[0].rows()));
    means.U32(static_cast<uint32_t>(model.means[0].cols()));
    for (const FloatMatrix& condition : model.means) {
        WriteFloats(means, condition);
    }
    WriteSection(out, kMeansTag, means);

    ByteWriter genuine;
    genuine.U32(static_cast<uint32_t>(model.genuine.size()));
    for (const GenuineSample& sample : model.genuine) {
        genuine.F32(sample.score);
        genuine.F32(sample.frames);
        genuine.F32(sample.snrDb);
        genuine.F32(sample.telephone);
    }
    WriteSection(out, kGenuineTag, genuine);
    return WithHeader(kTargetKind, out.bytes());
}

bool DecodeTarget(const std::vector<uint8_t>& file, TargetModel& model, std::string& error) {
    error.clear();
    ByteReader in = OpenPayload(file, kTargetKind, error);
    if (!in.ok()) {
        return false;
    }
    ByteReader origin = OpenSection(in, kOriginTag, error);
    model.ubmFingerprint = origin.U64();
    if (!CloseSection(origin, kOriginTag, error)) {
        return false;
    }

    ByteReader adaptation = OpenSection(in, kAdaptationTag, error);
    model.relevance = adaptation.F32();
    model.enrollmentFrames = adaptation.U32();
    adaptation.Check(InRange(model.relevance, 0.0, kMaxRelevance) &&
                     model.enrollmentFrames <= kMaxFrames);
    if (!CloseSection(adaptation, kAdaptationTag, error)) {
        return false;
    }

    ByteReader means = OpenSection(in, kMeansTag, error);
    const uint32_t m = means.U32();
    const uint32_t d = means.U32();
    means.Check(m >= 1 && m <= kMaxComponents && d >= 1 && d <= kMaxDimension);
    means.Expect(uint64_t{kConditions} * m * d, 4);
    for (FloatMatrix& condition : model.means) {
        const std::vector<float> values = ReadMeans(means, uint64_t{m} * d);
        if (means.ok()) {
            condition = Eigen::Map<const FloatMatrix>(values.data(), m, d);
        }
    }
    if (!CloseSection(means, kMeansTag, error)) {
        return false;
    }

    ByteReader genuine = OpenSection(in, kGenuineTag, error);
    const uint32_t count = genuine.U32();
    genuine.Check(count >= 1 && count <= kMaxGenuineSamples);
    std::vector<float> values;
    if (genuine.Expect(uint64_t{count} * 4, 4)) {
        values.resize(size_t{count} * 4);
        for (float& value : values) {
            value = genuine.F32();
        }
    }
    model.genuine.clear();
    for (size_t i = 0; genuine.ok() && i < count; ++i) {
        const GenuineSample sample = {values[4 * i], values[4 * i + 1], values[4 * i + 2],
                                      values[4 * i + 3]};
        genuine.Check(GenuineSampleInRange(sample));
        model.genuine.push_back(sample);
    }
    return CloseSection(genuine, kGenuineTag, error) && Finish(in, "target model", error);
}

}  // namespace kestrune
