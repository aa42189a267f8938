// Preparing targets: models read from files and targets of earlier preparations, in the
// listing's order, unusable files skipped, and every target scoring as its own model does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/contract/prepared_targets.h"
#include "core/scoring/trial_scoring.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

// A small background model, three enrolled voices and a recording to score.
struct Material {
    Material()
        : background(testing::TrainSmallBackground(3, 8, 40)),
          ubm(background.model, background.fingerprint) {
        for (int v = 0; v < 3; ++v) {
            voices.push_back(testing::EnrollVoice(background, v, 60 + v));
        }
        const std::vector<int16_t> samples = testing::Speak(testing::MakeVoice(1), 2.0, 5);
        frames = ubm.frontEnd().Compute(samples.data(), samples.size(), &traits);
    }
    testing::SmallBackground background;
    Background ubm;
    std::vector<TargetModel> voices;
    FeatureMatrix frames;
    RecordingTraits traits;
};

const Material& TheMaterial() {
    static const Material material;
    return material;
}

std::vector<FileIdentity> Files(size_t count) {
    std::vector<FileIdentity> files(count);
    for (size_t i = 0; i < count; ++i) {
        files[i].path = "/models/target-" + std::to_string(i) + "/target.krn";
        files[i].inode = i + 1;
    }
    return files;
}

// The trial's score against each prepared target.
std::vector<double> Scores(const PreparedTargets& prepared) {
    const Material& m = TheMaterial();
    return ScoreRecording(m.ubm, {m.frames, FeatureMatrix()}, m.traits, prepared.banks).scores;
}

// The score of the recording against `voice` prepared on its own.
double ScoreAlone(int voice) {
    TargetModel copy = TheMaterial().voices[static_cast<size_t>(voice)];
    TargetSource source;
    source.model = &copy;
    return Scores(*PrepareTargets(TheMaterial().ubm, Files(1), {source}))[0];
}

TEST(PreparedTargets, NewModelsInListingOrderAndUnusableFilesSkipped) {
    const Material& m = TheMaterial();
    std::vector<TargetModel> models = {m.voices[2], m.voices[0]};
    std::vector<TargetSource> sources(4);
    sources[1].model = &models[0];  // files 0 and 3 are unusable
    sources[2].model = &models[1];
    const auto prepared = PrepareTargets(m.ubm, Files(4), sources);

    EXPECT_EQ(prepared->ubmFingerprint, m.background.fingerprint);
    EXPECT_EQ(prepared->files, Files(4));
    EXPECT_EQ(prepared->targetOf, (std::vector<int32_t>{-1, 0, 1, -1}));
    ASSERT_EQ(prepared->Targets(), 2);
    ASSERT_EQ(prepared->genuine.size(), 2u);
    EXPECT_EQ(prepared->genuine[0].size(), m.voices[2].genuine.size());
    EXPECT_EQ(prepared->genuine[1].size(), m.voices[0].genuine.size());
    EXPECT_EQ(prepared->genuine[1][0].score, m.voices[0].genuine[0].score);
    EXPECT_FALSE(prepared->pooledGenuine.empty());
    EXPECT_GT(prepared->bytes, sizeof(PreparedTargets));
    // What was read from the files is moved out of them, not copied.
    EXPECT_EQ(models[0].means[kClean].size(), 0);
    EXPECT_TRUE(models[1].genuine.empty());

    const std::vector<double> scores = Scores(*prepared);
    ASSERT_EQ(scores.size(), 2u);
    EXPECT_NEAR(scores[0], ScoreAlone(2), 1e-5);
    EXPECT_NEAR(scores[1], ScoreAlone(0), 1e-5);
}

// A later listing reuses targets of an earlier preparation (unchanged files) beside a new
// model: each target keeps its own models and genuine scores, wherever it now stands.
TEST(PreparedTargets, EarlierTargetsAreCopiedBesideNewOnes) {
    const Material& m = TheMaterial();
    std::vector<TargetModel> first = {m.voices[0], m.voices[1]};
    std::vector<TargetSource> firstSources(2);
    firstSources[0].model = &first[0];
    firstSources[1].model = &first[1];
    const auto earlier = PrepareTargets(m.ubm, Files(2), firstSources);

    TargetModel fresh = m.voices[2];
    std::vector<TargetSource> sources(4);
    sources[0].prepared = earlier.get();  // voice 1, now first
    sources[0].target = 1;
    sources[1].model = &fresh;            // voice 2
    sources[2].prepared = earlier.get();  // a target the earlier preparation did not have
    sources[2].target = -1;
    sources[3].prepared = earlier.get();  // voice 0
    sources[3].target = 0;
    const auto later = PrepareTargets(m.ubm, Files(4), sources);

    EXPECT_EQ(later->targetOf, (std::vector<int32_t>{0, 1, -1, 2}));
    ASSERT_EQ(later->Targets(), 3);
    EXPECT_EQ(later->genuine[0].size(), m.voices[1].genuine.size());
    EXPECT_EQ(later->genuine[2][0].score, m.voices[0].genuine[0].score);
    const std::vector<double> scores = Scores(*later);
    ASSERT_EQ(scores.size(), 3u);
    EXPECT_NEAR(scores[0], ScoreAlone(1), 1e-5);
    EXPECT_NEAR(scores[1], ScoreAlone(2), 1e-5);
    EXPECT_NEAR(scores[2], ScoreAlone(0), 1e-5);
    // The earlier preparation is left as it was.
    EXPECT_EQ(earlier->Targets(), 2);
    EXPECT_NEAR(Scores(*earlier)[1], ScoreAlone(1), 1e-5);
    // Three targets hold more than two.
    EXPECT_GT(later->bytes, earlier->bytes);
}

}  // namespace
}  // namespace kestrune
