// The engine's files: exact round trips, and rejection of damaged or inconsistent files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "core/base/byte_io.h"
#include "core/frontend/front_end_fields.h"
#include "core/models/model_files.h"
#include "models/small_models.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::SmallModel;
using testing::SmallTarget;

// Replaces the payload of an encoded file and fixes its header, so that a test can hand the
// decoder well-framed files with values it must still reject.
std::vector<uint8_t> Reframe(std::vector<uint8_t> file,
                             const std::function<void(std::vector<uint8_t>&)>& edit) {
    std::vector<uint8_t> payload(file.begin() + 32, file.end());
    edit(payload);
    ByteWriter header;
    header.Bytes(file.data(), 12);
    header.U32(0);
    header.U64(payload.size());
    header.U64(Fnv1a64(payload.data(), payload.size()));
    std::vector<uint8_t> out = header.bytes();
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}
void PutF32(std::vector<uint8_t>& bytes, size_t offset, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    PutU32(bytes, offset, bits);
}

TEST(ModelFiles, RoundTripsAreExact) {
    const BackgroundModel model = SmallModel();
    BackgroundModel decoded;
    uint64_t fingerprint = 0;
    std::string error;
    ASSERT_TRUE(DecodeBackground(EncodeBackground(model), decoded, fingerprint, error)) << error;
    EXPECT_EQ(fingerprint, BackgroundFingerprint(model));
    EXPECT_EQ(decoded.gmm.means, model.gmm.means);
    EXPECT_EQ(decoded.gmm.variances, model.gmm.variances);
    EXPECT_EQ(decoded.gmm.weights, model.gmm.weights);
    EXPECT_EQ(decoded.topComponents, 2u);
    EXPECT_EQ(decoded.cohortMeans, model.cohortMeans);
    EXPECT_EQ(EncodeBackground(decoded), EncodeBackground(model));

    const TargetModel target = SmallTarget(fingerprint);
    TargetModel decodedTarget;
    ASSERT_TRUE(DecodeTarget(EncodeTarget(target), decodedTarget, error)) << error;
    EXPECT_EQ(EncodeTarget(decodedTarget), EncodeTarget(target));
    EXPECT_EQ(decodedTarget.means, target.means);
    ASSERT_EQ(decodedTarget.genuine.size(), 2u);
    EXPECT_EQ(decodedTarget.genuine[1].score, 5.25f);
    EXPECT_EQ(decodedTarget.genuine[1].telephone, 1.0f);
}

// Every front-end constant a tool can set is stored: each case moves some fields off their
// defaults (cepstra and deltaOrder together, keeping the dimension), and the decoded model must
// hold them. A field the file leaves out comes back as its default.
TEST(ModelFiles, EveryFrontEndFieldIsStored) {
    const std::vector<std::vector<std::pair<const char*, const char*>>> cases = {
        {{"frameLength", "240"}},
        {{"frameShift", "60"}},
        {{"fftSize", "512"}},
        {{"filterCount", "30"}},
        {{"lowHz", "133.5"}},
        {{"highHz", "3700.25"}},
        {{"cepstra", "4"}, {"deltaOrder", "0"}},
        {{"firstCepstrum", "1"}},
        {{"deltaWindow", "3"}},
        {{"preEmphasis", "0.5"}},
        {{"vadRangeDb", "35"}},
        {{"vadFloorDb", "-60.5"}},
        {{"varianceNormalise", "1"}},
        {{"normaliseWindow", "0"}},
        {{"warping", "0"}},
        {{"vadNoiseMarginDb", "4.5"}},
        {{"linearFilters", "1"}},
    };
    std::set<std::string> covered;
    for (const auto& settings : cases) {
        BackgroundModel model = SmallModel();
        std::string error;
        for (const auto& [name, value] : settings) {
            ASSERT_TRUE(SetFrontEndField(model.frontEnd, name, value, error)) << error;
            covered.insert(name);
        }
        ASSERT_TRUE(model.frontEnd.Valid()) << settings[0].first;
        ASSERT_EQ(model.frontEnd.Dimension(), 4u);
        BackgroundModel decoded;
        uint64_t fingerprint = 0;
        ASSERT_TRUE(DecodeBackground(EncodeBackground(model), decoded, fingerprint, error))
            << settings[0].first << ": " << error;
        for (const OptionField<FrontEndConfig>& field : FrontEndFields()) {
            EXPECT_EQ(field.Value(decoded.frontEnd), field.Value(model.frontEnd))
                << field.name << " after setting " << settings[0].first;
        }
    }
    for (const OptionField<FrontEndConfig>& field : FrontEndFields()) {
        EXPECT_TRUE(covered.count(field.name)) << field.name << " has no case here";
    }
}

TEST(ModelFiles, DamagedFilesAreRejected) {
    const std::vector<uint8_t> good = EncodeBackground(SmallModel());
    const std::vector<uint8_t> target = EncodeTarget(SmallTarget(1));
    const auto changed = [&](auto edit) {
        std::vector<uint8_t> file = good;
        edit(file);
        return file;
    };
    struct {
        const char* what;
        std::vector<uint8_t> file;
    } const cases[] = {
        {"empty", {}},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 32)},
        {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"extended", changed([](auto& f) { f.push_back(0); })},
        {"payload bit flipped", changed([](auto& f) { f[100] ^= 0x10; })},
        {"magic", changed([](auto& f) { f[0] = 'X'; })},
        {"a later version", changed([](auto& f) { f[8] = 5; })},
        {"reserved", changed([](auto& f) { f[12] = 1; })},
        {"a target file", target},
    };
    for (const auto& c : cases) {
        BackgroundModel model;
        uint64_t fingerprint = 0;
        std::string error;
        EXPECT_FALSE(DecodeBackground(c.file, model, fingerprint, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    // A file of an earlier format (the first, the positional one before sections, the one
    // before companions) says how to make a new one.
    for (const uint8_t version : {1, 2, 3}) {
        BackgroundModel model;
        uint64_t fingerprint = 0;
        std::string error;
        EXPECT_FALSE(
            DecodeBackground(changed([&](auto& f) { f[8] = version; }), model, fingerprint, error));
        EXPECT_NE(error.find("(file version " + std::to_string(version) +
                             "): re-create it with kestrune train-ubm"),
                  std::string::npos)
            << error;
        TargetModel targetModel;
        std::vector<uint8_t> oldTarget = target;
        oldTarget[8] = version;
        EXPECT_FALSE(DecodeTarget(oldTarget, targetModel, error));
        EXPECT_NE(error.find("kestrune enroll (targets)"), std::string::npos) << error;
    }
}

TEST(ModelFiles, WellFramedButInconsistentBackgroundsAreRejected) {
    // Payload offsets (each section: a 12-byte tag and length, then its fields): FEND's 19
    // front-end fields @12, TOPC's top u32 @100, MIXT's M u32 @116, D u32 @120, f64 weights
    // @124, means @148, variances @244, COHO's cohort size @352, cohort means (3 x 6 x 4 f32)
    // @356.
    const std::vector<uint8_t> good = EncodeBackground(SmallModel());
    struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
    } const cases[] = {
        {"sample rate 16000", [](auto& p) { PutU32(p, 12, 16000); }},
        {"warping neither 0 nor 1", [](auto& p) { PutU32(p, 76, 2); }},
        {"linearFilters neither 0 nor 1", [](auto& p) { PutU32(p, 84, 2); }},
        {"top above M", [](auto& p) { PutU32(p, 100, 4); }},
        {"no top components", [](auto& p) { PutU32(p, 100, 0); }},
        {"no components", [](auto& p) { PutU32(p, 116, 0); }},
        {"huge M", [](auto& p) { PutU32(p, 116, 0xFFFFFFFF); }},
        {"D not the front end's", [](auto& p) { PutU32(p, 120, 5); }},
        {"negative variance", [](auto& p) { p[244 + 7] = 0xC0; }},
        {"weights not summing to 1", [](auto& p) { p[124 + 6] = 0xF0; }},
        {"cohort beyond the file", [](auto& p) { PutU32(p, 352, 3); }},
        {"huge cohort", [](auto& p) { PutU32(p, 352, 0xFFFFFFFF); }},
        {"infinite cohort mean", [](auto& p) { PutF32(p, 356, INFINITY); }},
        {"trailing bytes", [](auto& p) { p.push_back(0); }},
    };
    for (const auto& c : cases) {
        BackgroundModel model;
        uint64_t fingerprint = 0;
        std::string error;
        EXPECT_FALSE(DecodeBackground(Reframe(good, c.edit), model, fingerprint, error)) << c.what;
    }
    BackgroundModel model;
    uint64_t fingerprint = 0;
    std::string error;
    EXPECT_TRUE(DecodeBackground(Reframe(good, [](auto&) {}), model, fingerprint, error)) << error;
}

TEST(ModelFiles, WellFramedButInconsistentTargetsAreRejected) {
    // Payload offsets (each section: a 12-byte tag and length, then its fields): BGFP's
    // fingerprint @12, ADAP's relevance @32, frames @36, MEAN's M @52, D @56, clean means @60
    // (48 bytes), noisy means @108, telephone means @156, GENU's sample count @216, samples @220
    // (score, frames, SNR, telephone weight; 16 bytes each).
    const std::vector<uint8_t> good = EncodeTarget(SmallTarget(7));
    struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
    } const cases[] = {
        {"negative relevance", [](auto& p) { PutF32(p, 32, -1.0f); }},
        {"relevance beyond its range", [](auto& p) { PutF32(p, 32, 2e6f); }},
        {"no components", [](auto& p) { PutU32(p, 52, 0); }},
        {"NaN mean", [](auto& p) { PutF32(p, 60, NAN); }},
        {"NaN telephone mean", [](auto& p) { PutF32(p, 156, NAN); }},
        {"no genuine scores", [](auto& p) { PutU32(p, 216, 0); }},
        {"huge genuine count", [](auto& p) { PutU32(p, 216, 0x40000000); }},
        {"infinite score", [](auto& p) { PutF32(p, 220, INFINITY); }},
        {"a sample of no frames", [](auto& p) { PutF32(p, 224, 0.0f); }},
        {"SNR above the estimate's range", [](auto& p) { PutF32(p, 228, 41.0f); }},
        {"telephone weight above 1", [](auto& p) { PutF32(p, 232, 1.5f); }},
        {"trailing bytes", [](auto& p) { p.push_back(0); }},
    };
    for (const auto& c : cases) {
        TargetModel model;
        std::string error;
        EXPECT_FALSE(DecodeTarget(Reframe(good, c.edit), model, error)) << c.what;
    }
}

TEST(ModelFiles, FingerprintTiesTargetsToOneBackground) {
    const BackgroundModel model = SmallModel();
    BackgroundModel other = model;
    other.gmm.means(2, 3) += 1e-9;
    EXPECT_NE(BackgroundFingerprint(model), BackgroundFingerprint(other));
    BackgroundModel otherFrontEnd = model;
    otherFrontEnd.frontEnd.vadRangeDb = 35.0f;
    EXPECT_NE(BackgroundFingerprint(model), BackgroundFingerprint(otherFrontEnd));

    const Background ubm(model, BackgroundFingerprint(model));
    EXPECT_TRUE(TargetFitsBackground(SmallTarget(ubm.fingerprint()), ubm));
    EXPECT_FALSE(TargetFitsBackground(SmallTarget(BackgroundFingerprint(other)), ubm));
    TargetModel wrongShape = SmallTarget(ubm.fingerprint());
    wrongShape.means[kClean] = FloatMatrix::Zero(2, 4);
    EXPECT_FALSE(TargetFitsBackground(wrongShape, ubm));
    TargetModel wrongTelephone = SmallTarget(ubm.fingerprint());
    wrongTelephone.means[kTelephone] = FloatMatrix::Zero(3, 5);
    EXPECT_FALSE(TargetFitsBackground(wrongTelephone, ubm));
}

BackgroundModel WithCompanion(const std::function<void(BackgroundModel&)>& edit = {}) {
    BackgroundModel model = SmallModel();
    BackgroundModel companion = SmallModel();
    companion.frontEnd.linearFilters = 1;
    companion.gmm.means(2, 1) = 1.5;
    companion.cohortMeans[kNoisy](0, 0) = -0.75f;
    model.companionWeight = 0.5f;
    if (edit) {
        edit(companion);
    }
    model.companion = std::make_shared<const BackgroundModel>(std::move(companion));
    return model;
}

// A companion is stored whole and counts in the fingerprint; one that would see other speech
// frames, carries a companion itself or is weighed out of range is refused, and so is a target
// whose companion models do not match its background model's companion.
TEST(ModelFiles, CompanionsRoundTripAndAreChecked) {
    const BackgroundModel model = WithCompanion();
    BackgroundModel decoded;
    uint64_t fingerprint = 0;
    std::string error;
    ASSERT_TRUE(DecodeBackground(EncodeBackground(model), decoded, fingerprint, error)) << error;
    ASSERT_NE(decoded.companion, nullptr);
    EXPECT_EQ(EncodeBackground(decoded), EncodeBackground(model));
    EXPECT_EQ(decoded.companion->gmm.means, model.companion->gmm.means);
    EXPECT_EQ(decoded.companion->cohortMeans, model.companion->cohortMeans);
    EXPECT_EQ(decoded.companion->frontEnd.linearFilters, 1u);
    EXPECT_EQ(decoded.companionWeight, 0.5f);
    EXPECT_NE(fingerprint, BackgroundFingerprint(SmallModel()));
    EXPECT_NE(fingerprint, BackgroundFingerprint(WithCompanion([](BackgroundModel& companion) {
                  companion.gmm.means(0, 0) += 0.5;
              })));

    const struct {
        const char* what;
        BackgroundModel model;
    } refused[] = {
        {"other framing", WithCompanion([](BackgroundModel& c) { c.frontEnd.frameShift = 60; })},
        {"other speech detection",
         WithCompanion([](BackgroundModel& c) { c.frontEnd.vadRangeDb = 30.0f; })},
        {"a companion of its own", WithCompanion([](BackgroundModel& c) {
             c.companion = std::make_shared<const BackgroundModel>(SmallModel());
         })},
        {"weight NaN",
         [] {
             BackgroundModel m = WithCompanion();
             m.companionWeight = NAN;
             return m;
         }()},
        {"weight negative",
         [] {
             BackgroundModel m = WithCompanion();
             m.ownWeight = -1.0f;
             return m;
         }()},
        {"weight huge",
         [] {
             BackgroundModel m = WithCompanion();
             m.companionWeight = 1e6f;
             return m;
         }()},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(DecodeBackground(EncodeBackground(c.model), decoded, fingerprint, error))
            << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }

    const Background ubm(model, BackgroundFingerprint(model));
    TargetModel target = SmallTarget(ubm.fingerprint());
    EXPECT_FALSE(TargetFitsBackground(target, ubm));  // no companion models
    target.companionMeans = {FloatMatrix::Constant(3, 4, 0.5f), FloatMatrix::Constant(3, 4, 1.0f),
                             FloatMatrix::Constant(3, 4, -1.0f)};
    TargetModel decodedTarget;
    ASSERT_TRUE(DecodeTarget(EncodeTarget(target), decodedTarget, error)) << error;
    EXPECT_EQ(decodedTarget.companionMeans, target.companionMeans);
    EXPECT_TRUE(TargetFitsBackground(decodedTarget, ubm));
    decodedTarget.companionMeans[kTelephone] = FloatMatrix::Zero(3, 5);
    EXPECT_FALSE(TargetFitsBackground(decodedTarget, ubm));
    const Background alone(SmallModel(), BackgroundFingerprint(SmallModel()));
    target.ubmFingerprint = alone.fingerprint();
    EXPECT_FALSE(TargetFitsBackground(target, alone));  // companion models it cannot use
}

TEST(ModelFiles, FilesAreWrittenWhole) {
    const testing::TempDirectory directory("files");
    const std::filesystem::path path = directory.path() / "ubm.krn";
    std::string error;
    const std::vector<uint8_t> bytes = EncodeBackground(SmallModel());
    ASSERT_TRUE(WriteFileAtomically(path, bytes, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "ubm.krn.partial"));
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadWholeFile(path, kMaxModelFileBytes, read, error)) << error;
    EXPECT_EQ(read, bytes);
    EXPECT_FALSE(ReadWholeFile(path, bytes.size() - 1, read, error));
    EXPECT_FALSE(ReadWholeFile(directory.path(), kMaxModelFileBytes, read, error));
    EXPECT_FALSE(ReadWholeFile(directory.path() / "missing", kMaxModelFileBytes, read, error));
}

}  // namespace
}  // namespace kestrune
