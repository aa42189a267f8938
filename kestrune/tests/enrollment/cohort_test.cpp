// The cohort's speakers: files given without a speaker are pooled until a cohort model has
// enough speech to stand for an impostor; named speakers never are.
#include "core/enrollment/cohort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/synthetic.h"

namespace kestrune {
namespace {

using Groups = std::vector<std::vector<size_t>>;

CohortCandidate Named(Eigen::Index frames) {
    return {frames, false};
}
CohortCandidate Unnamed(Eigen::Index frames) {
    return {frames, true};
}

TEST(Cohort, PoolsRunsOfUnlabelledFilesUntilEachHasEnoughSpeech) {
    struct Case {
        const char* what;
        std::vector<CohortCandidate> candidates;
        Groups expected;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"named speakers stand alone however short",
         {Named(10), Named(10), Named(5000)},
         {{0}, {1}, {2}}},
        {"short files pooled until the pool has enough",
         {Unnamed(300), Unnamed(300), Unnamed(400), Unnamed(600), Unnamed(500)},
         {{0, 1, 2}, {3, 4}}},
        {"a short remainder joins the pool before it",
         {Unnamed(600), Unnamed(600), Unnamed(600)},
         {{0, 1, 2}}},
        {"a long file alone is its own pool", {Unnamed(1500), Unnamed(1000)}, {{0}, {1}}},
        {"a short file before a long one is pooled with it",
         {Unnamed(200), Unnamed(1500), Unnamed(1000)},
         {{0, 1}, {2}}},
        {"too little in all: one pool", {Unnamed(100), Unnamed(100)}, {{0, 1}}},
        {"a named speaker ends a run, whose short pool stays apart",
         {Unnamed(600), Unnamed(600), Unnamed(300), Named(50), Unnamed(200)},
         {{0, 1, 2}, {3}, {4}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PoolCohortSpeakers(c.candidates, 1000), c.expected) << c.what;
    }
}

// Through AddCohort: the same short recordings make one cohort model each when every one is
// named, and fewer, pooled models when none is.
TEST(Cohort, UnlabelledShortRecordingsMakeFewerCohortModels) {
    testing::SmallBackground background = testing::TrainSmallBackground(2, 8, 7);
    std::vector<LabelledRecording> recordings;
    for (int i = 0; i < 8; ++i) {
        recordings.push_back({"file-" + std::to_string(i),
                              testing::Speak(testing::MakeVoice(i % 2), 1.5, 50 + i), true});
    }
    const Eigen::Index components = background.model.gmm.Components();
    const auto cohortModels = [&](const std::vector<LabelledRecording>& given) {
        BackgroundModel model = background.model;
        AddCohort(model, given, 50);
        return model.cohortMeans[0].rows() / components;
    };
    std::vector<LabelledRecording> named = recordings;
    for (LabelledRecording& recording : named) {
        recording.unlabelled = false;
    }
    EXPECT_EQ(cohortModels(named), 8);
    // Eight files of 1.5 s hold less than 12 s of speech: fewer than two pools of 10 s.
    EXPECT_EQ(cohortModels(recordings), 1);
}

}  // namespace
}  // namespace kestrune
