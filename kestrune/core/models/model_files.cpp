// Encoding, decoding and validation of the engine's files.
#include "core/models/model_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
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
constexpr char kFusionTag[5] = "FUSE";
constexpr char kCompanionTag[5] = "COMP";
constexpr char kOriginTag[5] = "BGFP";
constexpr char kAdaptationTag[5] = "ADAP";
constexpr char kMeansTag[5] = "MEAN";
constexpr char kGenuineTag[5] = "GENU";
constexpr char kCompanionMeansTag[5] = "CMEA";

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

// Background payload, four sections, and two more when the model has a companion:
//   FEND  the front-end constants, as WriteFrontEnd writes them
//   TOPC  u32 components evaluated per frame when scoring
//   MIXT  u32 M, u32 D, then weights (M), means (M × D) and variances (M × D) as f64, row by row
//   COHO  u32 cohort speakers K, then the clean, noisy and telephone cohort means
//         (K·M × D f32 each, row by row)
//   FUSE  f32 the model's own weight, f32 the companion's
//   COMP  the companion's own FEND, TOPC, MIXT and COHO sections
void WriteBackgroundSections(ByteWriter& out, const BackgroundModel& model) {
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

    if (model.companion != nullptr) {
        ByteWriter fusion;
        fusion.F32(model.ownWeight);
        fusion.F32(model.companionWeight);
        WriteSection(out, kFusionTag, fusion);
        ByteWriter companion;
        WriteBackgroundSections(companion, *model.companion);
        WriteSection(out, kCompanionTag, companion);
    }
}

std::vector<uint8_t> BackgroundPayload(const BackgroundModel& model) {
    ByteWriter out;
    WriteBackgroundSections(out, model);
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

namespace {

bool ReadBackgroundSections(ByteReader& in, BackgroundModel& model, bool companionAllowed,
                            std::string& error);

// The FUSE and COMP sections of a model that has a companion.
bool ReadCompanion(ByteReader& in, BackgroundModel& model, std::string& error) {
    ByteReader fusion = OpenSection(in, kFusionTag, error);
    model.ownWeight = fusion.F32();
    model.companionWeight = fusion.F32();
    fusion.Check(InRange(model.ownWeight, 0.0, kMaxFusionWeight) &&
                 InRange(model.companionWeight, 0.0, kMaxFusionWeight));
    if (!CloseSection(fusion, kFusionTag, error)) {
        return false;
    }
    ByteReader sections = OpenSection(in, kCompanionTag, error);
    auto companion = std::make_shared<BackgroundModel>();
    // The companion's own checks fail the section; bytes after its four sections (a companion
    // of the companion) leave it unread and fail it too.
    sections.Check(sections.ok() && ReadBackgroundSections(sections, *companion, false, error));
    if (!CloseSection(sections, kCompanionTag, error)) {
        return false;
    }
    if (!companion->frontEnd.SameSpeechFrames(model.frontEnd)) {
        error = "the companion background model does not analyse the same speech frames";
        return false;
    }
    model.companion = std::move(companion);
    return true;
}

bool ReadBackgroundSections(ByteReader& in, BackgroundModel& model, bool companionAllowed,
                            std::string& error) {
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
    if (!CloseSection(cohort, kCohortTag, error)) {
        return false;
    }
    if (!model.gmm.Valid() || !MixtureInRange(model.gmm)) {
        error = "background model parameters out of range";
        return false;
    }
    model.companion = nullptr;
    model.ownWeight = 1.0f;
    model.companionWeight = 0.0f;
    return !companionAllowed || in.remaining() == 0 || ReadCompanion(in, model, error);
}

}  // namespace

bool DecodeBackground(const std::vector<uint8_t>& file, BackgroundModel& model,
                      uint64_t& fingerprint, std::string& error) {
    error.clear();  // the section readers keep the first failure's message
    ByteReader in = OpenPayload(file, kBackgroundKind, error);
    if (!in.ok() || !ReadBackgroundSections(in, model, true, error) ||
        !Finish(in, "background model", error)) {
        return false;
    }
    fingerprint = Fnv1a64(file.data() + kHeaderBytes, file.size() - kHeaderBytes);
    return true;
}

namespace {

void WriteConditionMeans(ByteWriter& out, const char (&tag)[5],
                         const std::array<FloatMatrix, kConditions>& means) {
    ByteWriter fields;
    fields.U32(static_cast<uint32_t>(means[0].rows()));
    fields.U32(static_cast<uint32_t>(means[0].cols()));
    for (const FloatMatrix& condition : means) {
        WriteFloats(fields, condition);
    }
    WriteSection(out, tag, fields);
}

bool ReadConditionMeans(ByteReader& in, const char (&tag)[5],
                        std::array<FloatMatrix, kConditions>& means, std::string& error) {
    ByteReader fields = OpenSection(in, tag, error);
    const uint32_t m = fields.U32();
    const uint32_t d = fields.U32();
    fields.Check(m >= 1 && m <= kMaxComponents && d >= 1 && d <= kMaxDimension);
    fields.Expect(uint64_t{kConditions} * m * d, 4);
    for (FloatMatrix& condition : means) {
        const std::vector<float> values = ReadMeans(fields, uint64_t{m} * d);
        if (fields.ok()) {
            condition = Eigen::Map<const FloatMatrix>(values.data(), m, d);
        }
    }
    return CloseSection(fields, tag, error);
}

}  // namespace

// Target payload, four sections, and a fifth when its background model has a companion:
//   BGFP  u64 fingerprint of the background model it was adapted from
//   ADAP  f32 relevance factor, u32 enrollment speech frames
//   MEAN  u32 M, u32 D, then the clean, noisy and telephone means (M × D f32 each, row by row)
//   GENU  u32 genuine samples, then per sample: score, speech frames, SNR dB, telephone weight
//         (f32 each)
//   CMEA  the means adapted from the companion, laid out as MEAN
std::vector<uint8_t> EncodeTarget(const TargetModel& model) {
    ByteWriter out;
    ByteWriter origin;
    origin.U64(model.ubmFingerprint);
    WriteSection(out, kOriginTag, origin);

    ByteWriter adaptation;
    adaptation.F32(model.relevance);
    adaptation.U32(model.enrollmentFrames);
    WriteSection(out, kAdaptationTag, adaptation);

    WriteConditionMeans(out, kMeansTag, model.means);

    ByteWriter genuine;
    genuine.U32(static_cast<uint32_t>(model.genuine.size()));
    for (const GenuineSample& sample : model.genuine) {
        genuine.F32(sample.score);
        genuine.F32(sample.frames);
        genuine.F32(sample.snrDb);
        genuine.F32(sample.telephone);
    }
    WriteSection(out, kGenuineTag, genuine);
    if (model.companionMeans[0].rows() > 0) {
        WriteConditionMeans(out, kCompanionMeansTag, model.companionMeans);
    }
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

    if (!ReadConditionMeans(in, kMeansTag, model.means, error)) {
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
    if (!CloseSection(genuine, kGenuineTag, error)) {
        return false;
    }
    model.companionMeans = {};
    if (in.remaining() > 0 &&
        !ReadConditionMeans(in, kCompanionMeansTag, model.companionMeans, error)) {
        return false;
    }
    return Finish(in, "target model", error);
}

}  // namespace kestrune
