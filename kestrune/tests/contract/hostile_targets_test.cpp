// Hostile target directories through libkestrune.so: files with values no model made from speech
// holds, names that meet once converted, and directories over the target limit. Whatever one
// target holds changes that target's result alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/contract/engine_codes.h"
#include "core/contract/model_directories.h"
#include "core/models/model_files.h"
#include "engine/kestrune.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::TempDirectory;

// A background model of four voices and three targets enrolled against it.
struct Material {
    Material() : root("hostile") {
        const testing::SmallBackground background = testing::TrainSmallBackground(4, 8, 3);
        std::string error;
        if (!WriteBackgroundDirectory(Ubm(), background.model, error)) {
            throw std::runtime_error(error);
        }
        for (int v = 0; v < 3; ++v) {
            targets.push_back(testing::EnrollVoice(background, v, 70 + v));
        }
        speech = testing::Speak(testing::MakeVoice(1), 2.0, 31);
    }
    std::filesystem::path Ubm() const { return root.path() / "ubm"; }

    TempDirectory root;
    std::vector<TargetModel> targets;
    std::vector<int16_t> speech;
};

const Material& TheMaterial() {
    static const Material material;
    return material;
}

struct Result {
    int32_t count = 0;
    int32_t code = -1;
    std::vector<std::string> names;
    std::vector<int32_t> log, frr, far;
};

// Loads `models` through the seven functions and scores `speech` against it.
Result LoadAndScore(const std::filesystem::path& models, const std::vector<int16_t>& speech) {
    jkestrune::ModelSet set;
    COM_IDENTI_LoadFromSubDirsToBuffers(
        models.c_str(), &set.targetCount, &set.modelValueA, &set.modelBufferA, &set.modelBufferB,
        &set.modelBufferC, &set.modelValueB, &set.modelBufferD, &set.targetNames, 1, 1);
    Result result;
    result.count = set.targetCount;
    const auto n = static_cast<size_t>(std::max(set.targetCount, 0));
    for (size_t t = 0; t < n; ++t) {
        result.names.emplace_back(set.targetNames + t * jkestrune::kTargetNameSlot);
    }
    result.log.assign(n, 0);
    result.frr.assign(n, -1);
    result.far.assign(n, -1);
    result.code = COM_IDENTI_SoundData(
        speech.data(), static_cast<int32_t>(speech.size()), set.targetCount, set.modelBufferA,
        set.modelValueA, set.modelBufferC, set.modelBufferB, set.modelBufferD, set.modelValueB,
        result.log.data(), result.frr.data(), result.far.data());
    COM_IDENTI_DestroyedBuffers(&set.modelBufferA, &set.modelValueA, &set.modelBufferC,
                                &set.modelBufferB, &set.modelBufferD, &set.modelValueB,
                                &set.targetNames);
    return result;
}

class HostileTargets : public ::testing::Test {
  protected:
    HostileTargets() : material_(TheMaterial()), models_("models") {}
    void SetUp() override {
        ASSERT_EQ(COM_IDENTI_LoadUBMModels(material_.Ubm().c_str()), 1);
        for (int v = 0; v < 3; ++v) {
            Write(std::string(1, static_cast<char>('a' + v)) + "-target", material_.targets[v]);
        }
    }
    void Write(const std::string& name, const TargetModel& model) {
        std::string error;
        ASSERT_TRUE(WriteTargetModel(models_.path(), name, model, error)) << error;
    }
    // Writes bytes as a target's file, bypassing the encoder's checks.
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path directory =
            models_.path() / std::u8string(name.begin(), name.end());
        std::filesystem::create_directories(directory);
        std::ofstream(directory / kTargetFileName, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    const Material& material_;
    TempDirectory models_;
};

struct PoisonCase {
    const char* what;
    std::function<void(TargetModel&)> edit;
    bool loads;  // in range: loaded, then taken out of the call; else refused at load
};

// A target made from target 1 with one kind of poison, beside the three honest targets: the
// honest targets' scores, rates and names come out exactly as without it.
TEST_F(HostileTargets, OneTargetsValuesChangeNoOtherTargetsResult) {
    const Result honest = LoadAndScore(models_.path(), material_.speech);
    ASSERT_EQ(honest.code, 0);
    ASSERT_EQ(honest.count, 3);
    const PoisonCase cases[] = {
        {"means of 1e19", [](TargetModel& m) { m.means[kClean].setConstant(1e19f); }, false},
        {"a genuine score of 1e30", [](TargetModel& m) { m.genuine[0].score = 1e30f; }, false},
        {"every mean at the range's edge",
         [](TargetModel& m) {
             for (FloatMatrix& means : m.means) {
                 means.setConstant(1e4f);
             }
         },
         true},
        {"alternating means at the edge",
         [](TargetModel& m) {
             for (FloatMatrix& means : m.means) {
                 for (Eigen::Index i = 0; i < means.size(); ++i) {
                     means.data()[i] = i % 2 == 0 ? 1e4f : -1e4f;
                 }
             }
         },
         true},
    };
    for (const PoisonCase& c : cases) {
        TargetModel poisoned = material_.targets[1];
        c.edit(poisoned);
        WriteBytes("b-poisoned", EncodeTarget(poisoned));
        EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models_.path().c_str()), c.loads ? 4 : 3)
            << c.what;
        const Result mixed = LoadAndScore(models_.path(), material_.speech);
        ASSERT_EQ(mixed.code, 0) << c.what;
        std::vector<int32_t> log = mixed.log, frr = mixed.frr, far = mixed.far;
        if (c.loads) {
            ASSERT_EQ(mixed.count, 4) << c.what;
            ASSERT_EQ(mixed.names[1], "b-poisoned");
            EXPECT_EQ(log[1], kRemovedTargetScore) << c.what;
            EXPECT_EQ(frr[1], 0) << c.what;
            EXPECT_EQ(far[1], kRemovedTargetFar) << c.what;
            for (std::vector<int32_t>* values : {&log, &frr, &far}) {
                values->erase(values->begin() + 1);
            }
        } else {
            ASSERT_EQ(mixed.count, 3) << c.what;
        }
        EXPECT_EQ(log, honest.log) << c.what;
        EXPECT_EQ(frr, honest.frr) << c.what;
        EXPECT_EQ(far, honest.far) << c.what;
    }
}

// Genuine scores in range but far apart size the false-rejection table: the call completes
// with rates in range (a table sized from them once overflowed or took minutes).
TEST_F(HostileTargets, WideGenuineScoresKeepTheCallBounded) {
    for (const float high : {4000.0f, 16000.0f, 1e6f}) {
        TargetModel wide = material_.targets[2];
        for (size_t i = 0; i < wide.genuine.size(); ++i) {
            wide.genuine[i].score = i % 2 == 0 ? high : -high;
        }
        Write("c-wide", wide);
        const Result result = LoadAndScore(models_.path(), material_.speech);
        ASSERT_EQ(result.code, 0) << high;
        ASSERT_EQ(result.count, 4) << high;
        for (int t = 0; t < 4; ++t) {
            EXPECT_GE(result.frr[t], 0) << high;
            EXPECT_LE(result.frr[t], 100000) << high;
            EXPECT_GE(result.far[t], 0) << high;
            EXPECT_LE(result.far[t], 100000) << high;
        }
    }
}

// Names that differ on disk but not once converted (bytes that are not UTF-8 all become
// U+FFFD; a cut to the slot drops what told two long names apart) leave every target of the
// group out, with one line each on standard error, on the first load only.
TEST_F(HostileTargets, NamesThatMeetOnceConvertedAreLeftOut) {
    // 63 supplementary characters (252 bytes on disk, 378 in modified UTF-8, cut to 42 in the
    // slot) that differ in the last one only.
    std::string longA, longB;
    for (int i = 0; i < 62; ++i) {
        longA += "\xF0\x9F\x8E\xB5";
    }
    longB = longA;
    longA += "\xF0\x9F\x98\x80";
    longB += "\xF0\x9F\x98\x81";
    const std::vector<std::string> colliding = {"caf\xE9", "caf\xE8", "caf\xEF\xBF\xBD", longA,
                                                longB};
    for (const std::string& name : colliding) {
        WriteBytes(name, EncodeTarget(material_.targets[0]));
    }
    WriteBytes("caf\xC3\xA9", EncodeTarget(material_.targets[0]));  // proper UTF-8: distinct

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models_.path().c_str()), 4);
    const Result first = LoadAndScore(models_.path(), material_.speech);
    const Result second = LoadAndScore(models_.path(), material_.speech);
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(first.code, 0);
    EXPECT_EQ(first.names,
              (std::vector<std::string>{"a-target", "b-target", "c-target", "caf\xC3\xA9"}));
    EXPECT_EQ(second.names, first.names);
    size_t lines = 0;
    for (size_t at = log.find("left out"); at != std::string::npos;
         at = log.find("left out", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, colliding.size()) << log;
    EXPECT_NE(log.find("caf\\xE9"), std::string::npos) << log;
}

// A directory over the target limit is counted, not read: its count is the number of target
// directories even when none of their files is a model, and its set answers every call with
// the limit's own code.
TEST_F(HostileTargets, ADirectoryOverTheLimitIsCountedNotRead) {
    const TempDirectory many("many");
    const std::filesystem::path junk = many.path() / "junk.krn";
    std::ofstream(junk) << "not a model";
    for (int t = 0; t <= kMaxTargets; ++t) {
        const std::filesystem::path directory = many.path() / std::to_string(t);
        std::filesystem::create_directory(directory);
        std::filesystem::create_hard_link(junk, directory / kTargetFileName);
    }
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(many.path().c_str()), kMaxTargets + 1);
    const Result over = LoadAndScore(many.path(), material_.speech);
    EXPECT_EQ(over.count, 0);
    EXPECT_EQ(over.code, KS_ERR_TOO_MANY_TARGETS);

    // At the limit the files are read, and none is a model.
    std::filesystem::remove_all(many.path() / "0");
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(many.path().c_str()), 0);
}

}  // namespace
}  // namespace kestrune
