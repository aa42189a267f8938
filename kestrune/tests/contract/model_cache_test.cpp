// The model cache through loads of real target files: what is shared, what is read again, what
// a set keeps, and what the bound drops.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/contract/model_cache.h"
#include "core/contract/model_directories.h"
#include "core/contract/target_set.h"
#include "core/models/model_files.h"
#include "core/scoring/trial_scoring.h"
#include "engine/kestrune.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::TempDirectory;

// A small background model, four enrolled voices, and a recording of voice 1.
struct Material {
    Material() : root("cache") {
        const testing::SmallBackground background = testing::TrainSmallBackground(4, 8, 1);
        std::string error;
        if (!WriteBackgroundDirectory(root.path() / "ubm", background.model, error) ||
            !ReadBackground(root.path() / "ubm", ubm, error)) {
            throw std::runtime_error(error);
        }
        for (int v = 0; v < 4; ++v) {
            voices.push_back(testing::EnrollVoice(background, v, 50 + v));
        }
        recording = testing::Speak(testing::MakeVoice(1), 2.0, 7);
    }
    TempDirectory root;
    std::shared_ptr<const Background> ubm;
    std::vector<TargetModel> voices;
    std::vector<int16_t> recording;
};

const Material& TheMaterial() {
    static const Material material;
    return material;
}

// Caches that keep files however recently they changed: the tests rewrite files at once.
ModelCacheLimits Unsettled(uint64_t maxBytes = kDefaultCacheBytes) {
    return ModelCacheLimits{maxBytes, 0};
}

class ModelCacheTest : public ::testing::Test {
  protected:
    ModelCacheTest() : material_(TheMaterial()), models_("models") {}

    // Writes voice `voice` as target `name` (atomically, as enrollment does).
    void Write(const std::string& name, int voice) {
        std::string error;
        ASSERT_TRUE(WriteTargetModel(models_.path(), name, material_.voices[voice], error))
            << error;
    }
    std::unique_ptr<TargetSet> Load(ModelCache& cache, size_t* filesRead = nullptr,
                                    const LoadRules& rules = {}) const {
        return LoadTargetSet(models_.path(), material_.ubm, rules, cache, filesRead);
    }
    std::vector<double> Scores(const TargetSet& set) const {
        RecordingTraits traits;
        TrialFrames frames =
            material_.ubm->Analyse(material_.recording.data(), material_.recording.size(), &traits);
        return ScoreRecording(*material_.ubm, std::move(frames), traits, set.targets->banks).scores;
    }
    // The scores of a load that reads every file.
    std::vector<double> ColdScores() const {
        ModelCache nothingKept(Unsettled(0));
        return Scores(*Load(nothingKept));
    }
    std::vector<std::string> Names(const TargetSet& set) const {
        std::vector<std::string> names;
        for (Eigen::Index t = 0; t < set.targets->Targets(); ++t) {
            names.emplace_back(set.names.data() + t * jkestrune::kTargetNameSlot);
        }
        return names;
    }

    const Material& material_;
    TempDirectory models_;
};

TEST_F(ModelCacheTest, AnUnchangedListingIsSharedWithoutReadingAnyFile) {
    Write("anna", 0);
    Write("bernd", 1);
    Write("carla", 2);
    ModelCache cache(Unsettled());
    size_t read = 0;
    const auto first = Load(cache, &read);
    ASSERT_TRUE(first);
    EXPECT_EQ(read, 3u);
    const auto second = Load(cache, &read);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(second->targets, first->targets) << "one shared preparation";
    EXPECT_NE(second->names.data(), first->names.data()) << "names belong to each set";
    EXPECT_EQ(Names(*second), (std::vector<std::string>{"anna", "bernd", "carla"}));
    EXPECT_EQ(CountUsableTargets(models_.path(), material_.ubm.get(), cache), 3u);
    EXPECT_EQ(cache.stats().preparations, 1u);
    EXPECT_EQ(cache.stats().bytes, first->targets->bytes);
}

TEST_F(ModelCacheTest, ARewrittenFileIsReadAgainWhileOlderSetsKeepTheirModel) {
    Write("anna", 0);
    Write("bernd", 1);
    Write("carla", 2);
    ModelCache cache(Unsettled());
    const auto before = Load(cache);
    const std::vector<double> scoresBefore = Scores(*before);

    Write("bernd", 3);  // same path, another voice
    size_t read = 0;
    const auto after = Load(cache, &read);
    EXPECT_EQ(read, 1u) << "only the rewritten file";
    EXPECT_NE(after->targets, before->targets);
    const std::vector<double> scoresAfter = Scores(*after);
    EXPECT_EQ(Scores(*before), scoresBefore) << "the older set scores with the model it loaded";
    EXPECT_EQ(scoresAfter, ColdScores()) << "copied targets score as targets read from files";
    EXPECT_EQ(scoresAfter[0], scoresBefore[0]);
    EXPECT_EQ(scoresAfter[2], scoresBefore[2]);
    EXPECT_GT(scoresBefore[1], scoresAfter[1] + 0.5) << "bernd is no longer voice 1";
}

TEST_F(ModelCacheTest, AddedRemovedAndDamagedTargetsAreSeenAtOnce) {
    Write("anna", 0);
    Write("carla", 2);
    ModelCache cache(Unsettled());
    size_t read = 0;
    Load(cache, &read);

    Write("bernd", 1);
    std::filesystem::create_directories(models_.path() / "damaged");
    std::ofstream(models_.path() / "damaged" / kTargetFileName) << "KSRNTGT damaged";
    const auto grown = Load(cache, &read);
    EXPECT_EQ(read, 2u) << "the two new files";
    EXPECT_EQ(Names(*grown), (std::vector<std::string>{"anna", "bernd", "carla"}));
    EXPECT_EQ(Scores(*grown), ColdScores());
    EXPECT_EQ(cache.stats().preparations, 1u) << "the superseded listing is dropped";
    LoadRules strict;
    strict.strict = true;
    EXPECT_FALSE(Load(cache, &read, strict)) << "the damaged file, known unusable, fails it";
    EXPECT_EQ(read, 0u);

    std::filesystem::remove_all(models_.path() / "anna");
    const auto shrunk = Load(cache, &read);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(Names(*shrunk), (std::vector<std::string>{"bernd", "carla"}));
    EXPECT_EQ(Scores(*shrunk), ColdScores());
    EXPECT_EQ(CountUsableTargets(models_.path(), material_.ubm.get(), cache), 2u);
}

TEST_F(ModelCacheTest, TargetsSkippedForTheirNamesLeaveASetOfTheOthers) {
    Write("anna", 0);
    Write(std::string(250, 'b') + "\xF0\x9F\x8E\xB5", 1);  // 256 bytes in modified UTF-8
    Write("carla", 2);
    ModelCache cache(Unsettled());
    LoadRules skipLong;
    skipLong.cutLongNames = false;
    const auto all = Load(cache);
    const auto some = Load(cache, nullptr, skipLong);
    EXPECT_EQ(Names(*some), (std::vector<std::string>{"anna", "carla"}));
    const std::vector<double> allScores = Scores(*all);
    EXPECT_EQ(Scores(*some), (std::vector<double>{allScores[0], allScores[2]}));
}

TEST_F(ModelCacheTest, TheBoundDropsTheLeastRecentlyUsedButNeverASetsTargets) {
    Write("anna", 0);
    Write("bernd", 1);
    const TempDirectory other("others");
    std::string error;
    for (const char* name : {"anna", "bernd"}) {
        ASSERT_TRUE(WriteTargetModel(other.path(), name, material_.voices[2], error));
    }
    uint64_t oneListing;
    {
        ModelCache measure(Unsettled());
        oneListing = Load(measure)->targets->bytes;
    }
    // Room for one listing of two targets, not for two.
    ModelCache cache(Unsettled(oneListing + oneListing / 2));
    size_t read = 0;
    auto held = Load(cache, &read);
    const std::vector<double> heldScores = Scores(*held);
    ASSERT_TRUE(LoadTargetSet(other.path(), material_.ubm, {}, cache, &read));
    EXPECT_EQ(read, 2u);
    EXPECT_EQ(cache.stats().preparations, 1u);
    EXPECT_LE(cache.stats().bytes, oneListing + oneListing / 2);
    ASSERT_TRUE(LoadTargetSet(other.path(), material_.ubm, {}, cache, &read));
    EXPECT_EQ(read, 0u) << "the most recent listing stays";
    EXPECT_EQ(Scores(*held), heldScores) << "a dropped preparation lives on in its set";
    EXPECT_TRUE(Load(cache, &read));
    EXPECT_EQ(read, 2u) << "the dropped listing is read again";

    // A listing larger than the bound is never kept; a cache of 0 keeps nothing.
    for (const uint64_t bound : {oneListing - 1, uint64_t{0}}) {
        ModelCache small(Unsettled(bound));
        Load(small);
        Load(small, &read);
        EXPECT_EQ(read, 2u) << bound;
        EXPECT_EQ(small.stats().bytes, 0u);
    }
}

TEST_F(ModelCacheTest, FilesChangedWithinTheSettleTimeAreNotKept) {
    Write("anna", 0);
    ModelCache cache{ModelCacheLimits{}};  // two seconds
    size_t read = 0;
    Load(cache);
    Load(cache, &read);
    EXPECT_EQ(read, 1u);
    EXPECT_EQ(cache.stats().preparations, 0u);
}

TEST(ModelCacheSetting, MegabytesOrTheDefault) {
    const struct {
        const char* setting;
        uint64_t bytes;
    } cases[] = {{nullptr, kDefaultCacheBytes},
                 {"", kDefaultCacheBytes},
                 {"0", 0},
                 {"64", uint64_t{64} << 20},
                 {"000012", uint64_t{12} << 20},
                 // Beyond kMaxCacheMegabytes (16 TiB) is no longer taken as a bound.
                 {"16777215", kMaxCacheMegabytes << 20},
                 {"999999999999", kDefaultCacheBytes},
                 {"9999999999999", kDefaultCacheBytes},
                 {"-1", kDefaultCacheBytes},
                 {"+5", kDefaultCacheBytes},
                 {" 5", kDefaultCacheBytes},
                 {"5 ", kDefaultCacheBytes},
                 {"12MB", kDefaultCacheBytes},
                 {"1e3", kDefaultCacheBytes}};
    for (const auto& c : cases) {
        EXPECT_EQ(CacheBytesFromSetting(c.setting), c.bytes) << (c.setting ? c.setting : "(unset)");
    }
}

}  // namespace
}  // namespace kestrune
