// Loads whose files fail to read: a read that failed is tried again on the next load (it says
// nothing about the file), while a verdict on a file's contents is kept for its unchanged
// identity; and a directory over the limit is refused before any file is read.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/contract/model_cache.h"
#include "core/contract/model_directories.h"
#include "core/contract/target_set.h"
#include "core/models/model_files.h"
#include "engine/kestrune.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::TempDirectory;

// A background model small enough to build by hand: three components over four dimensions.
std::shared_ptr<const Background> TinyBackground() {
    BackgroundModel model = testing::TinyBackgroundModel();
    const uint64_t fingerprint = BackgroundFingerprint(model);
    return std::make_shared<const Background>(std::move(model), fingerprint);
}

TargetModel TinyTarget(const Background& ubm, float shift) {
    return testing::TinyTargetModel(ubm.fingerprint(), 0.5f + shift);
}

class LoadFailures : public ::testing::Test {
  protected:
    LoadFailures() : ubm_(TinyBackground()), models_("failures") {
        std::string error;
        for (const char* name : {"anna", "bernd"}) {
            EXPECT_TRUE(WriteTargetModel(models_.path(), name, TinyTarget(*ubm_, 0.1f), error))
                << error;
        }
        std::filesystem::create_directories(models_.path() / "damaged");
        std::ofstream(models_.path() / "damaged" / kTargetFileName) << "KSRN damaged";
        rules_.reader = [this](const std::filesystem::path& file, std::vector<uint8_t>& bytes,
                               std::string& error) {
            const std::string name = file.parent_path().filename().string();
            ++reads_[name];
            if (failuresLeft_[name] > 0) {
                --failuresLeft_[name];
                error = "injected failure";
                return ReadOutcome::kUnavailable;
            }
            return ReadFileOutcome(file, kMaxModelFileBytes, bytes, error);
        };
    }

    std::vector<std::string> LoadNames(ModelCache& cache) {
        reads_.clear();
        const std::unique_ptr<TargetSet> set = LoadTargetSet(models_.path(), ubm_, rules_, cache);
        std::vector<std::string> names;
        for (Eigen::Index t = 0; set && t < set->targets->Targets(); ++t) {
            names.emplace_back(set->names.data() + t * jkestrune::kTargetNameSlot);
        }
        return names;
    }

    std::shared_ptr<const Background> ubm_;
    TempDirectory models_;
    LoadRules rules_;
    std::map<std::string, int> reads_;
    std::map<std::string, int> failuresLeft_;
};

TEST_F(LoadFailures, AFailedReadIsRetriedWhileVerdictsAreKept) {
    ModelCache cache(ModelCacheLimits{kDefaultCacheBytes, 0});
    failuresLeft_["bernd"] = 2;  // as a process out of file descriptors would see it, twice
    struct Step {
        std::vector<std::string> names;
        std::map<std::string, int> reads;
    } const steps[] = {
        {{"anna"}, {{"anna", 1}, {"bernd", 1}, {"damaged", 1}}},
        {{"anna"}, {{"bernd", 1}}},  // the damaged file's verdict is kept, the failure is not
        {{"anna", "bernd"}, {{"bernd", 1}}},
        {{"anna", "bernd"}, {}},  // now the whole listing is kept
    };
    for (size_t s = 0; s < std::size(steps); ++s) {
        EXPECT_EQ(LoadNames(cache), steps[s].names) << "load " << s + 1;
        EXPECT_EQ(reads_, steps[s].reads) << "load " << s + 1;
    }
}

TEST_F(LoadFailures, CountingRetriesAFailedReadToo) {
    ModelCache cache(ModelCacheLimits{kDefaultCacheBytes, 0});
    failuresLeft_["anna"] = 1;
    EXPECT_EQ(LoadNames(cache), std::vector<std::string>{"bernd"});
    EXPECT_EQ(CountUsableTargets(models_.path(), ubm_.get(), cache, SIZE_MAX, rules_.reader), 2u);
}

TEST_F(LoadFailures, ADirectoryOverTheLimitIsRefusedWithoutReading) {
    ModelCache cache(ModelCacheLimits{kDefaultCacheBytes, 0});
    for (const size_t limit : {size_t{2}, size_t{3}}) {
        rules_.limit = limit;
        reads_.clear();
        size_t filesRead = 99;
        const std::unique_ptr<TargetSet> set =
            LoadTargetSet(models_.path(), ubm_, rules_, cache, &filesRead);
        ASSERT_TRUE(set) << limit;
        const bool over = limit < 3;  // three target directories, one of them damaged
        EXPECT_EQ(set->tooManyTargets, over) << limit;
        EXPECT_EQ(set->targets->Targets(), over ? 0 : 2) << limit;
        EXPECT_EQ(filesRead, over ? 0u : 3u) << limit;
        EXPECT_EQ(CountUsableTargets(models_.path(), ubm_.get(), cache, limit, rules_.reader),
                  over ? 3u : 2u)
            << limit;
    }
}

}  // namespace
}  // namespace kestrune
