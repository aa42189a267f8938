// The cohort's speakers: files given without a speaker are pooled until a cohort model has
// enough speech to stand for an impostor; named speakers never are.
#include "core/enrollment/cohort.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace kestrune
