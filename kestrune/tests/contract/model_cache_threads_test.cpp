// The model cache under concurrent loads, scorings, releases on other threads and in any order,
// and rewrites of the target files, with a bound small enough to drop preparations all the
// time. Run in the ThreadSanitizer build as well (scripts/test.sh). Built a second time with
// KESTRUNE_CACHE_SOAK as the cache's soak: forty times the loads, and resident memory must not
// grow once the first tenth of them is done.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/contract/model_cache.h"
#include "core/contract/model_directories.h"
#include "core/contract/target_set.h"
#include "core/models/model_files.h"
#include "core/scoring/trial_scoring.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

constexpr int kTargets = 4;

#ifdef KESTRUNE_CACHE_SOAK
#define CACHE_THREADS_SUITE ModelCacheSoak
constexpr int kLoadsPerWorker = 1000;
// Allowed growth of resident memory after the warm-up (the threads' allocator arenas settle
// within about 1 MB): a preparation of these small models kept by mistake on every load would
// add several megabytes over the remaining loads.
constexpr long kAllowedGrowthKb = 4 * 1024;
#else
#define CACHE_THREADS_SUITE ModelCacheThreads
constexpr int kLoadsPerWorker = 25;
#endif

// Resident memory of this process in kB (VmRSS), 0 where the kernel does not say.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

std::string Name(int target) {
    return "target-" + std::to_string(target);
}

TEST(CACHE_THREADS_SUITE, LoadScoreReleaseAndRewriteAtOnce) {
    const testing::SmallBackground background = testing::TrainSmallBackground(4, 8, 1);
    const testing::TempDirectory root("cache-threads");
    std::string error;
    std::shared_ptr<const Background> ubm;
    ASSERT_TRUE(WriteBackgroundDirectory(root.path() / "ubm", background.model, error));
    ASSERT_TRUE(ReadBackground(root.path() / "ubm", ubm, error));
    std::vector<TargetModel> voices;
    for (int v = 0; v < 4; ++v) {
        voices.push_back(testing::EnrollVoice(background, v, 50 + v));
    }
    const std::vector<int16_t> speech = testing::Speak(testing::MakeVoice(1), 1.0, 3);
    const std::filesystem::path models = root.path() / "models";
    // Target t is voice t or, rewritten, voice t + 1: each version's score on the recording.
    const auto write = [&](int target, int version) {
        return WriteTargetModel(models, Name(target), voices[(target + version) % 4], error);
    };
    const auto score = [&](const TargetSet& set) {
        RecordingTraits traits;
        TrialFrames frames = ubm->Analyse(speech.data(), speech.size(), &traits);
        return ScoreRecording(*ubm, std::move(frames), traits, set.targets->banks).scores;
    };
    std::array<std::vector<double>, 2> versions;
    uint64_t listingBytes = 0;
    for (int version : {1, 0}) {
        for (int t = 0; t < kTargets; ++t) {
            ASSERT_TRUE(write(t, version)) << error;
        }
        ModelCache nothingKept(ModelCacheLimits{0, 0});
        const auto set = LoadTargetSet(models, ubm, {}, nothingKept);
        ASSERT_TRUE(set);
        versions[static_cast<size_t>(version)] = score(*set);
        listingBytes = set->targets->bytes;
    }

    // Room for one listing and a half; files kept however fresh.
    ModelCache cache(ModelCacheLimits{listingBytes * 3 / 2, 0});
    std::atomic<bool> loading{true};
    std::atomic<int> loads{0}, failures{0}, mismatches{0}, rewrites{0};
    std::atomic<long> warmResidentKb{0};
    std::mutex handoffMutex;
    std::vector<std::unique_ptr<TargetSet>> handoff;  // released by the releaser, in any order

    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kLoadsPerWorker; ++i) {
                if (w == 0 && i == kLoadsPerWorker / 10) {
                    warmResidentKb = ResidentKb();
                }
                std::unique_ptr<TargetSet> set = LoadTargetSet(models, ubm, {}, cache);
                if (!set || set->targets->Targets() != kTargets) {
                    ++failures;
                    continue;
                }
                ++loads;
                const std::vector<double> scores = score(*set);
                for (size_t t = 0; t < kTargets; ++t) {
                    mismatches += scores[t] != versions[0][t] && scores[t] != versions[1][t];
                }
                if ((i + w) % 3 != 0) {
                    std::lock_guard lock(handoffMutex);
                    handoff.push_back(std::move(set));
                }
            }
        });
    }
    std::thread rewriter([&] {
        std::string rewriteError;
        std::mt19937 random(5);
        while (loading) {
            const int target = static_cast<int>(random() % kTargets);
            rewrites += WriteTargetModel(models, Name(target), voices[(target + random() % 2) % 4],
                                         rewriteError);
        }
    });
    std::thread releaser([&] {
        std::mt19937 random(6);
        for (bool last = false; !last;) {
            last = !loading;
            std::lock_guard lock(handoffMutex);
            while (!handoff.empty()) {
                const size_t pick = random() % handoff.size();
                std::swap(handoff[pick], handoff.back());
                handoff.pop_back();
            }
        }
    });
    for (std::thread& worker : workers) {
        worker.join();
    }
    loading = false;
    rewriter.join();
    releaser.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(loads, 3 * kLoadsPerWorker);
    EXPECT_EQ(mismatches, 0) << "every target scores as one of its versions";
    EXPECT_GT(rewrites, 0);
    EXPECT_TRUE(handoff.empty());
    EXPECT_LE(cache.stats().bytes, listingBytes * 3 / 2);
#ifdef KESTRUNE_CACHE_SOAK
    const long residentKb = ResidentKb();
    std::printf("resident memory: %ld kB after the warm-up, %ld kB after %d loads\n",
                warmResidentKb.load(), residentKb, loads.load());
    ASSERT_GT(warmResidentKb, 0);
    EXPECT_LE(residentKb - warmResidentKb, kAllowedGrowthKb);
#endif
}

}  // namespace
}  // namespace kestrune
