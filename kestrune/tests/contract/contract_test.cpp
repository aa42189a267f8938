// The seven functions through libkestrune.so, on small synthetic voices: loading, target
// directories, scoring, the engine's codes, release, and concurrent use.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "core/contract/engine_codes.h"
#include "core/contract/model_directories.h"
#include "core/models/model_files.h"
#include "core/scoring/rates.h"
#include "core/scoring/trial_scoring.h"
#include "engine/kestrune.h"
#include "support/synthetic.h"

namespace kestrune {
namespace {

using testing::MakeVoice;
using testing::Speak;
using testing::TempDirectory;

// RAII around one load, released through COM_IDENTI_DestroyedBuffers.
struct LoadedSet {
    explicit LoadedSet(const std::string& path, uint8_t flagA = 1, uint8_t flagB = 1) {
        COM_IDENTI_LoadFromSubDirsToBuffers(
            path.c_str(), &set.targetCount, &set.modelValueA, &set.modelBufferA, &set.modelBufferB,
            &set.modelBufferC, &set.modelValueB, &set.modelBufferD, &set.targetNames, flagA, flagB);
    }
    ~LoadedSet() {
        COM_IDENTI_DestroyedBuffers(&set.modelBufferA, &set.modelValueA, &set.modelBufferC,
                                    &set.modelBufferB, &set.modelBufferD, &set.modelValueB,
                                    &set.targetNames);
    }
    std::string Name(int i) const { return set.targetNames + i * jkestrune::kTargetNameSlot; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (int i = 0; i < set.targetCount; ++i) {
            names.push_back(Name(i));
        }
        return names;
    }

    jkestrune::ModelSet set;
};

struct Scores {
    int32_t code = -1;
    std::vector<int32_t> log, frr, far;
};

// COM_IDENTI_SoundData on the values of `set`.
int32_t SoundData(const int16_t* samples, int32_t count, const jkestrune::ModelSet& set,
                  int32_t* log, int32_t* frr, int32_t* far) {
    return COM_IDENTI_SoundData(samples, count, set.targetCount, set.modelBufferA, set.modelValueA,
                                set.modelBufferC, set.modelBufferB, set.modelBufferD,
                                set.modelValueB, log, frr, far);
}

Scores Score(const jkestrune::ModelSet& set, const std::vector<int16_t>& samples) {
    Scores s;
    const size_t n = static_cast<size_t>(std::max(set.targetCount, 0));
    s.log.assign(n, INT32_MIN);
    s.frr.assign(n, -1);
    s.far.assign(n, -1);
    s.code = SoundData(samples.data(), static_cast<int32_t>(samples.size()), set, s.log.data(),
                       s.frr.data(), s.far.data());
    return s;
}

// Two background models of four synthetic voices each (different seeds, so different
// fingerprints); under models/, voices 0, 1 and 2 enrolled against the first as "anna",
// "bernd" and "carla"; and voice 3 enrolled against the second. Built on first use (a suite
// set-up that failed would only skip the tests).
struct World {
    World() : root("contract") {
        const testing::SmallBackground first = testing::TrainSmallBackground(4, 8, 1);
        const testing::SmallBackground second = testing::TrainSmallBackground(4, 8, 2);
        std::string error;
        if (!WriteBackgroundDirectory(UbmA(), first.model, error) ||
            !WriteBackgroundDirectory(UbmB(), second.model, error)) {
            throw std::runtime_error(error);
        }
        const char* names[] = {"anna", "bernd", "carla"};
        for (int v = 0; v < 3; ++v) {
            if (!WriteTargetModel(Models(), names[v], testing::EnrollVoice(first, v, 50 + v),
                                  error)) {
                throw std::runtime_error(error);
            }
        }
        otherTarget = testing::EnrollVoice(second, 3, 60);
    }
    std::filesystem::path UbmA() const { return root.path() / "ubm-a"; }
    std::filesystem::path UbmB() const { return root.path() / "ubm-b"; }
    std::filesystem::path Models() const { return root.path() / "models"; }

    TempDirectory root;
    TargetModel otherTarget;
};

const World& TheWorld() {
    static const World world;
    return world;
}

class Contract : public ::testing::Test {
  protected:
    Contract() : world_(TheWorld()) {}
    void SetUp() override { ASSERT_EQ(COM_IDENTI_LoadUBMModels(UbmA().c_str()), 1); }

    std::filesystem::path UbmA() const { return world_.UbmA(); }
    std::filesystem::path UbmB() const { return world_.UbmB(); }
    std::filesystem::path Models() const { return world_.Models(); }

    // A models directory of its own, with copies of the enrolled targets under other names.
    std::filesystem::path CopyTargets(
        const TempDirectory& into,
        const std::vector<std::pair<std::string, std::string>>& copies) const {
        for (const auto& [from, to] : copies) {
            const std::filesystem::path directory =
                into.path() / std::u8string(to.begin(), to.end());
            std::filesystem::create_directories(directory);
            std::filesystem::copy_file(Models() / from / kTargetFileName,
                                       directory / kTargetFileName);
        }
        return into.path();
    }

    const World& world_;
};

TEST_F(Contract, IdentifiesTheSpeakerWithHonestRates) {
    const LoadedSet loaded(Models().string());
    ASSERT_EQ(loaded.set.targetCount, 3);
    EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"anna", "bernd", "carla"}));
    for (int voice = 0; voice < 3; ++voice) {
        const Scores s = Score(loaded.set, Speak(MakeVoice(voice), 3.0, 900 + voice));
        ASSERT_EQ(s.code, 0);
        const auto best = std::max_element(s.log.begin(), s.log.end()) - s.log.begin();
        EXPECT_EQ(best, voice);
        for (int t = 0; t < 3; ++t) {
            EXPECT_GE(s.frr[t], 0);
            EXPECT_LE(s.frr[t], 100000);
            EXPECT_GE(s.far[t], 0);
            EXPECT_LE(s.far[t], 100000);
        }
        // Rates at the observed score as a threshold: the true speaker's score leaves few
        // impostors above it and many of its own genuine scores below it; the other targets'
        // scores the reverse.
        EXPECT_LT(s.far[voice], 10000);
        for (int t = 0; t < 3; ++t) {
            if (t != voice) {
                EXPECT_GE(s.frr[voice], s.frr[t]) << "target " << t;
                EXPECT_LE(s.far[voice], s.far[t]) << "target " << t;
            }
        }
    }
}

// A short trial's impostor scores spread wider than a long one's: at the same score its
// false-acceptance rate is higher than the plain tail, and a long trial's is nearly the plain
// tail.
TEST_F(Contract, AShortTrialsFalseAcceptanceAllowsForItsWiderImpostorSpread) {
    const LoadedSet loaded(Models().string());
    ASSERT_EQ(loaded.set.targetCount, 3);
    const double freedom = TargetSetDegreesOfFreedom(3);
    const auto plain = [&](int32_t logScore) {
        return PercentThousandths(FalseAcceptancePercent(logScore / 1000.0, freedom));
    };
    const Scores shortTrial = Score(loaded.set, Speak(MakeVoice(0), 0.4, 910));
    const Scores longTrial = Score(loaded.set, Speak(MakeVoice(0), 30.0, 911));
    ASSERT_EQ(shortTrial.code, 0);
    ASSERT_EQ(longTrial.code, 0);
    ASSERT_GT(shortTrial.log[0], 1000);  // the true speaker, well above impostors
    EXPECT_GT(shortTrial.far[0], plain(shortTrial.log[0]) + 500);
    for (int t = 0; t < 3; ++t) {
        EXPECT_NEAR(longTrial.far[t], plain(longTrial.log[t]), 500) << "target " << t;
    }
}

TEST_F(Contract, BackgroundModelLoadsFromItsDirectoryOrItsFile) {
    EXPECT_EQ(COM_IDENTI_LoadUBMModels((UbmA() / kBackgroundFileName).string().c_str()), 1);
    const TempDirectory scratch("ubm");
    std::ofstream(scratch.path() / "garbage.krn") << "KSRN not really";
    const std::string targetFile = (Models() / "anna" / kTargetFileName).string();
    const std::string garbage = (scratch.path() / "garbage.krn").string();
    const std::string empty = scratch.path().string();
    const std::string missing = (scratch.path() / "nothing").string();
    for (const char* path : {static_cast<const char*>(nullptr), "", missing.c_str(), empty.c_str(),
                             garbage.c_str(), targetFile.c_str()}) {
        EXPECT_EQ(COM_IDENTI_LoadUBMModels(path), 0) << (path ? path : "(null)");
    }
    // A failed load keeps the model loaded before: the targets of UbmA still load.
    const LoadedSet loaded(Models().string());
    EXPECT_EQ(loaded.set.targetCount, 3);
}

TEST_F(Contract, TargetsOfAnotherBackgroundModelAreNotLoaded) {
    std::string error;
    const TempDirectory models("mixed");
    CopyTargets(models, {{"anna", "anna"}, {"carla", "carla"}});
    ASSERT_TRUE(WriteTargetModel(models.path(), "bernd", world_.otherTarget, error));
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models.path().c_str()), 2);
    {
        const LoadedSet loaded(models.path().string());
        EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"anna", "carla"}));
    }
    {
        const LoadedSet strict(models.path().string(), 0, 1);
        EXPECT_EQ(strict.set.targetCount, 0);
        EXPECT_EQ(strict.set.modelBufferA, nullptr);
    }
    ASSERT_EQ(COM_IDENTI_LoadUBMModels(UbmB().c_str()), 1);
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models.path().c_str()), 1);
    const LoadedSet loaded(models.path().string());
    EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"bernd"}));
}

TEST_F(Contract, TargetDirectoryLayoutAndNames) {
    const TempDirectory models("layout");
    // 255 bytes on disk (the file system's limit), 381 in modified UTF-8: 63 supplementary
    // characters of 4 bytes that become 6, and 3 letters.
    std::string longName;
    for (int i = 0; i < 63; ++i) {
        longName += "\xF0\x9F\x8E\xB5";
    }
    longName += "end";
    std::string longSlot;
    for (int i = 0; i < 42; ++i) {
        longSlot += "\xED\xA0\xBC\xED\xBE\xB5";
    }
    const std::string emoji = "\xF0\x9F\x98\x80-smile";
    CopyTargets(models, {{"anna", "zoe"}, {"bernd", "Bob"}, {"carla", longName}, {"anna", emoji}});
    std::filesystem::create_directories(models.path() / "empty-directory");
    std::ofstream(models.path() / "loose-file.krn") << "x";
    std::filesystem::create_directories(models.path() / "damaged");
    std::ofstream(models.path() / "damaged" / kTargetFileName) << "KSRNTGT damaged";

    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models.path().c_str()), 4);
    {
        const LoadedSet loaded(models.path().string());
        // Byte order of the names on disk; supplementary characters as surrogate pairs, the
        // long name cut to the 42 whole pairs that fit in 255 bytes.
        EXPECT_EQ(loaded.Names(), (std::vector<std::string>{"Bob", "zoe", longSlot,
                                                            "\xED\xA0\xBD\xED\xB8\x80-smile"}));
    }
    {
        const LoadedSet skipLong(models.path().string(), 1, 0);
        EXPECT_EQ(skipLong.set.targetCount, 3);
    }
    {
        const LoadedSet strict(models.path().string(), 0, 1);
        EXPECT_EQ(strict.set.targetCount, 0) << "the damaged model fails a strict load";
    }
    // The path arrives in modified UTF-8 when it holds a supplementary character.
    const std::filesystem::path nested = models.path() / std::u8string(emoji.begin(), emoji.end());
    std::filesystem::create_directories(nested / "inner");
    std::filesystem::copy_file(Models() / "anna" / kTargetFileName,
                               nested / "inner" / kTargetFileName);
    const std::string modified = models.path().string() + "/\xED\xA0\xBD\xED\xB8\x80-smile";
    const LoadedSet inner(modified);
    EXPECT_EQ(inner.Names(), (std::vector<std::string>{"inner"}));

    for (const char* path : {static_cast<const char*>(nullptr), "", "/no/such/directory"}) {
        EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(path), 0);
        const LoadedSet none(path ? path : "");
        EXPECT_EQ(none.set.targetCount, 0);
    }
}

TEST_F(Contract, MoreTargetsThanTheLimitLoadNoneAndSayWhy) {
    const TempDirectory models("limit");
    const std::filesystem::path model = Models() / "anna" / kTargetFileName;
    for (int t = 0; t <= kMaxTargets; ++t) {
        const std::filesystem::path directory = models.path() / std::to_string(t);
        std::filesystem::create_directory(directory);
        std::filesystem::copy_file(model, directory / kTargetFileName);
    }
    EXPECT_EQ(COM_IDENTI_GetQntModelsFromSubDirs(models.path().c_str()), kMaxTargets + 1);
    {
        // A set of no targets that says why: scoring it answers the limit's own code.
        const LoadedSet tooMany(models.path().string());
        EXPECT_EQ(tooMany.set.targetCount, 0);
        EXPECT_NE(tooMany.set.modelBufferA, nullptr);
        EXPECT_EQ(Score(tooMany.set, Speak(MakeVoice(0), 1.0, 5)).code, KS_ERR_TOO_MANY_TARGETS);
    }
    std::filesystem::remove_all(models.path() / "0");
    const LoadedSet atTheLimit(models.path().string());
    EXPECT_EQ(atTheLimit.set.targetCount, kMaxTargets);
    const Scores s = Score(atTheLimit.set, Speak(MakeVoice(0), 1.0, 5));
    ASSERT_EQ(s.code, 0);
    EXPECT_EQ(s.log.front(), s.log.back()) << "copies of one model score alike";
}

TEST_F(Contract, LoadsOfUnchangedFilesShareTheirModelsAndARewrittenFileIsReadAgain) {
    const TempDirectory models("shared");
    CopyTargets(models, {{"anna", "anna"}, {"bernd", "bernd"}});
    // Files this fresh are not kept (they could change again within the file system's clock
    // tick); wait until they are old enough.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const std::vector<int16_t> speech = Speak(MakeVoice(1), 1.5, 11);
    const LoadedSet first(models.path().string());
    const LoadedSet second(models.path().string());
    ASSERT_EQ(first.set.targetCount, 2);
    EXPECT_EQ(second.set.modelBufferB, first.set.modelBufferB) << "one copy of the models";
    EXPECT_NE(second.set.targetNames, first.set.targetNames);
    const Scores before = Score(first.set, speech);
    ASSERT_EQ(before.code, 0);

    std::vector<uint8_t> carla;
    std::string error;
    ASSERT_TRUE(
        ReadWholeFile(Models() / "carla" / kTargetFileName, kMaxModelFileBytes, carla, error));
    ASSERT_TRUE(WriteFileAtomically(models.path() / "bernd" / kTargetFileName, carla, error));
    const LoadedSet rewritten(models.path().string());
    ASSERT_EQ(rewritten.set.targetCount, 2);
    EXPECT_NE(rewritten.set.modelBufferB, first.set.modelBufferB);
    const TempDirectory expected("expected");
    CopyTargets(expected, {{"anna", "anna"}, {"carla", "bernd"}});
    const LoadedSet fromFiles(expected.path().string());
    const Scores after = Score(rewritten.set, speech);
    EXPECT_EQ(after.log, Score(fromFiles.set, speech).log) << "bernd now holds carla's model";
    EXPECT_NE(after.log, before.log);
    EXPECT_EQ(Score(first.set, speech).log, before.log) << "the first set keeps its models";
}

TEST_F(Contract, SoundDataCodes) {
    const LoadedSet loaded(Models().string());
    ASSERT_EQ(loaded.set.targetCount, 3);
    const std::vector<int16_t> speech = Speak(MakeVoice(0), 2.0, 77);
    int32_t out[3][3];
    const auto with = [&](auto change) {
        jkestrune::ModelSet copy = loaded.set;
        change(copy);
        return SoundData(speech.data(), static_cast<int32_t>(speech.size()), copy, out[0], out[1],
                         out[2]);
    };
    EXPECT_EQ(with([](auto&) {}), 0);
    EXPECT_EQ(with([](auto& s) { s.targetCount = 2; }), KS_ERR_MODEL_SET);
    EXPECT_EQ(with([](auto& s) { s.targetCount = -1; }), KS_ERR_ARGUMENT);
    EXPECT_EQ(with([](auto& s) { std::swap(s.modelBufferB, s.modelBufferC); }), KS_ERR_MODEL_SET);
    EXPECT_EQ(with([](auto& s) { s.modelValueA += 1; }), KS_ERR_MODEL_SET);
    EXPECT_EQ(with([](auto& s) { s.modelBufferD = nullptr; }), KS_ERR_MODEL_SET);
    EXPECT_EQ(with([](auto& s) { s = jkestrune::ModelSet{}; }), KS_ERR_NO_TARGETS);

    const int32_t n = static_cast<int32_t>(speech.size());
    EXPECT_EQ(SoundData(speech.data(), n, loaded.set, nullptr, out[1], out[2]), KS_ERR_ARGUMENT);
    EXPECT_EQ(SoundData(nullptr, n, loaded.set, out[0], out[1], out[2]), KS_ERR_ARGUMENT);
    EXPECT_EQ(SoundData(speech.data(), -5, loaded.set, out[0], out[1], out[2]), KS_ERR_ARGUMENT);
    EXPECT_EQ(SoundData(nullptr, 0, loaded.set, out[0], out[1], out[2]), KS_ERR_TOO_LITTLE_SPEECH);
    // Every frame of a steady tone counts as speech: 3 frames (400 samples) are under the floor
    // of 5 and refused, 7 frames (680 samples) are scored.
    const std::vector<int16_t> tone = testing::Tone(440.0, 0.085, 8000.0);
    EXPECT_EQ(SoundData(tone.data(), 400, loaded.set, out[0], out[1], out[2]),
              KS_ERR_TOO_LITTLE_SPEECH);
    EXPECT_EQ(SoundData(tone.data(), 680, loaded.set, out[0], out[1], out[2]), 0);
    const std::vector<int16_t> silence(16000, 0);
    EXPECT_EQ(SoundData(silence.data(), 16000, loaded.set, out[0], out[1], out[2]),
              KS_ERR_TOO_LITTLE_SPEECH);
}

TEST_F(Contract, DestroyAcceptsFailedLoadsAndClearsEverything) {
    jkestrune::ModelSet preset;
    COM_IDENTI_DestroyedBuffers(&preset.modelBufferA, &preset.modelValueA, &preset.modelBufferC,
                                &preset.modelBufferB, &preset.modelBufferD, &preset.modelValueB,
                                &preset.targetNames);
    EXPECT_EQ(preset.modelBufferA, nullptr);
    COM_IDENTI_DestroyedBuffers(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);

    LoadedSet loaded(Models().string());
    ASSERT_NE(loaded.set.modelBufferA, nullptr);
    jkestrune::ModelSet& s = loaded.set;
    COM_IDENTI_DestroyedBuffers(&s.modelBufferA, &s.modelValueA, &s.modelBufferC, &s.modelBufferB,
                                &s.modelBufferD, &s.modelValueB, &s.targetNames);
    EXPECT_EQ(s.modelBufferA, nullptr);
    EXPECT_EQ(s.modelBufferB, nullptr);
    EXPECT_EQ(s.modelBufferC, nullptr);
    EXPECT_EQ(s.modelBufferD, nullptr);
    EXPECT_EQ(s.targetNames, nullptr);
    EXPECT_EQ(s.modelValueA, 0);
    EXPECT_EQ(s.modelValueB, 0);
    // LoadedSet's destructor destroys the cleared values a second time, which must be harmless.
}

TEST_F(Contract, ScoringWhileTheBackgroundModelIsReplaced) {
    const std::vector<int16_t> speech = Speak(MakeVoice(1), 1.5, 321);
    std::vector<int32_t> reference;
    {
        const LoadedSet loaded(Models().string());
        reference = Score(loaded.set, speech).log;
    }
    ASSERT_EQ(reference.size(), 3u);

    // One set held across every replacement; others loaded, scored and released in between.
    const LoadedSet held(Models().string());
    std::atomic<bool> stop{false};
    std::thread replacer([&] {
        for (int i = 0; !stop; ++i) {
            COM_IDENTI_LoadUBMModels((i % 2 == 0 ? UbmB() : UbmA()).c_str());
        }
    });
    std::atomic<int> mismatches{0}, scored{0}, empty{0}, failures{0};
    std::vector<std::thread> scorers;
    for (int w = 0; w < 3; ++w) {
        scorers.emplace_back([&, w] {
            for (int i = 0; i < 12; ++i) {
                const bool fresh = (i + w) % 2 == 0;
                const LoadedSet own(Models().string());
                const jkestrune::ModelSet& set = fresh ? own.set : held.set;
                const Scores s = Score(set, speech);
                if (s.code == 0) {
                    ++scored;
                    mismatches += s.log != reference;
                } else if (s.code == KS_ERR_NO_TARGETS && fresh) {
                    ++empty;  // loaded while the other background model was current
                } else {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& scorer : scorers) {
        scorer.join();
    }
    stop = true;
    replacer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GE(scored, 18);  // every call on the held set scores
    EXPECT_EQ(scored + empty, 36);
}

}  // namespace
}  // namespace kestrune
