// The engine's files: exact round trips, and rejection of damaged or inconsistent files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/byte_io.h"
#include "core/model_files.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

BackgroundModel SmallModel() {
    BackgroundModel model;
    model.frontEnd.cepstra = 2;
    model.frontEnd.deltaOrder = 1;
    model.topComponents = 2;
    model.gmm.weights = Eigen::Vector3d(0.25, 0.25, 0.5);
    model.gmm.means = DoubleMatrix::Constant(3, 4, 0.5);
    model.gmm.means(1, 2) = -3.25;
    model.gmm.variances = DoubleMatrix::Constant(3, 4, 2.0);
    return model;
}

TargetModel SmallTarget(uint64_t fingerprint) {
    TargetModel model;
    model.ubmFingerprint = fingerprint;
    model.relevance = 16.0f;
    model.enrollmentFrames = 1234;
    model.means = FloatMatrix::Constant(3, 4, 0.75f);
    ScoreDistribution d32{32, {-0.5f, 0.25f, 1.0f}, {-2.0f, -1.0f}};
    ScoreDistribution d64{64, {0.5f}, {-1.5f, -1.25f, 0.0f}};
    model.distributions = {d32, d64};
    return model;
}

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
    EXPECT_EQ(EncodeBackground(decoded), EncodeBackground(model));

    const TargetModel target = SmallTarget(fingerprint);
    TargetModel decodedTarget;
    ASSERT_TRUE(DecodeTarget(EncodeTarget(target), decodedTarget, error)) << error;
    EXPECT_EQ(EncodeTarget(decodedTarget), EncodeTarget(target));
    EXPECT_EQ(decodedTarget.distributions[1].impostor, target.distributions[1].impostor);

    std::vector<LabelledFeatures> impostors = {{"anna", FeatureMatrix::Constant(3, 4, 1.5f)},
                                               {"", FeatureMatrix(0, 4)}};
    std::vector<LabelledFeatures> decodedImpostors;
    uint64_t impostorFingerprint = 0;
    ASSERT_TRUE(DecodeImpostors(EncodeImpostors(fingerprint, impostors), impostorFingerprint,
                                decodedImpostors, error))
        << error;
    EXPECT_EQ(impostorFingerprint, fingerprint);
    ASSERT_EQ(decodedImpostors.size(), 2u);
    EXPECT_EQ(decodedImpostors[0].label, "anna");
    EXPECT_EQ(decodedImpostors[0].frames, impostors[0].frames);
    EXPECT_EQ(decodedImpostors[1].frames.rows(), 0);
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
        {"version 2", changed([](auto& f) { f[8] = 2; })},
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
}

TEST(ModelFiles, WellFramedButInconsistentBackgroundsAreRejected) {
    // Payload offsets: 16 front-end fields (64 bytes), top u32 @64, M u32 @68, D u32 @72,
    // then f64 weights @76, means @100, variances @196.
    const std::vector<uint8_t> good = EncodeBackground(SmallModel());
    struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
    } const cases[] = {
        {"sample rate 16000", [](auto& p) { PutU32(p, 0, 16000); }},
        {"top above M", [](auto& p) { PutU32(p, 64, 4); }},
        {"no components", [](auto& p) { PutU32(p, 68, 0); }},
        {"huge M", [](auto& p) { PutU32(p, 68, 0xFFFFFFFF); }},
        {"D not the front end's", [](auto& p) { PutU32(p, 72, 5); }},
        {"negative variance", [](auto& p) { p[196 + 7] = 0xC0; }},
        {"weights not summing to 1", [](auto& p) { p[76 + 6] = 0xF0; }},
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
    // Payload offsets: fingerprint @0, relevance @8, frames @12, M @16, D @20, means @24 (48
    // bytes), distribution count @72, first distribution @76: frames, genuine, impostor counts,
    // then scores @88.
    const std::vector<uint8_t> good = EncodeTarget(SmallTarget(7));
    struct {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> edit;
    } const cases[] = {
        {"negative relevance", [](auto& p) { PutF32(p, 8, -1.0f); }},
        {"NaN mean", [](auto& p) { PutF32(p, 24, NAN); }},
        {"no distributions", [](auto& p) { PutU32(p, 72, 0); }},
        {"huge genuine count", [](auto& p) { PutU32(p, 80, 0x40000000); }},
        {"unsorted genuine scores", [](auto& p) { PutF32(p, 88, 5.0f); }},
        {"lengths not ascending", [](auto& p) { PutU32(p, 76, 64); }},
        {"no impostor scores", [](auto& p) { PutU32(p, 84, 0); }},
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
    wrongShape.means = FloatMatrix::Zero(2, 4);
    EXPECT_FALSE(TargetFitsBackground(wrongShape, ubm));
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
