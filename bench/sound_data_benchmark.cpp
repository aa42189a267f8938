// COM_IDENTI_SoundData on 60 s of real speech against 10, 100 and 1000 targets, on 2 s against
// 10 and 1000, the front end on its own, the shared scoring alone with each kernel the
// processor runs, and the load and release of 1000 and 10 000 targets with the model cache
// cold, warm, and with one target rewritten. The background model is trained from the
// repository's recordings; the targets are adapted from different slices of them, so that
// each one is a real, distinct model.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bridge/scoped_model_set.h"
#include "core/base/settings.h"
#include "core/contract/model_directories.h"
#include "core/contract/target_set.h"
#include "core/enrollment/cohort.h"
#include "core/models/adaptation.h"
#include "core/models/background_training.h"
#include "core/models/model_files.h"
#include "core/scoring/rates.h"
#include "core/scoring/scoring.h"
#include "core/scoring/scoring_kernel.h"
#include "engine/kestrune.h"
#include "support/corpus.h"
#include "support/synthetic.h"
#include "tool/audio_input.h"

namespace kestrune {
namespace {

using testing::CorpusRecording;
using testing::kCorpusSpeakers;

std::vector<int16_t> Read(int digit, const char* speaker, int index) {
    std::vector<int16_t> samples;
    std::string error;
    if (!ReadRecording(CorpusRecording(digit, speaker, index), 8000, samples, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    return samples;
}

// KESTRUNE_BENCH_TOP=N scores N components per frame with the model (the companion keeps its
// own), so that the engine's earlier settings can be timed beside today's on long recordings;
// trials under kShortTrialFrames are scored with at least kShortTrialTopComponents whatever N
// is, so the short cases of an earlier engine are timed with a build of its revision. Read as
// the engine reads its settings; 0 or a value not understood leaves train-ubm's default.
void ApplyTopSetting(BackgroundOptions& options) {
    const std::optional<uint64_t> top =
        SettingNumber("KESTRUNE_BENCH_TOP", std::getenv("KESTRUNE_BENCH_TOP"), options.components);
    if (top && *top > 0) {
        options.topComponents = static_cast<uint32_t>(*top);
    }
}

// Everything the benchmarks share, built once.
class Fixture {
  public:
    Fixture() : root_("bench") {
        BackgroundOptions options;
        ApplyTopSetting(options);
        const FrontEnd frontEnd(options.frontEnd);
        std::vector<LabelledRecording> recordings;
        for (const char* speaker : kCorpusSpeakers) {
            for (int index = 5; index <= 14; ++index) {
                for (int digit = 0; digit < 10; ++digit) {
                    recordings.push_back({speaker, Read(digit, speaker, index)});
                }
            }
        }
        const std::vector<LabelledFeatures> background = TrainingSessions(frontEnd, recordings, 0);
        BackgroundModel model = TrainBackground(background, options);
        AddCohort(model, recordings, options.cohortSpeakers);
        // With a companion, as train-ubm trains by default; KESTRUNE_BENCH_COMPANION=0 measures
        // the model alone (with KESTRUNE_BENCH_TOP=5, the engine before the companion on the
        // 60-s cases).
        const char* companionSetting = std::getenv("KESTRUNE_BENCH_COMPANION");
        std::vector<LabelledFeatures> companionBackground;
        if (companionSetting == nullptr || std::string(companionSetting) != "0") {
            const BackgroundOptions companion = CompanionOptions(options);
            companionBackground = TrainingSessions(FrontEnd(companion.frontEnd), recordings, 0);
            BackgroundModel companionModel = TrainBackground(companionBackground, companion);
            AddCohort(companionModel, recordings, companion.cohortSpeakers);
            model.companion = std::make_shared<const BackgroundModel>(std::move(companionModel));
            model.companionWeight = kCompanionWeight;
        }
        std::string error;
        if (!WriteBackgroundDirectory(root_.path() / "ubm", model, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        const Background ubm(model, BackgroundFingerprint(model));

        // 60 s of speech: recordings 40-49 of every speaker, joined.
        for (int index = 40; index <= 49 && audio_.size() < 480000; ++index) {
            for (const char* speaker : kCorpusSpeakers) {
                for (int digit = 0; digit < 10 && audio_.size() < 480000; ++digit) {
                    const std::vector<int16_t> samples = Read(digit, speaker, index);
                    audio_.insert(audio_.end(), samples.begin(), samples.end());
                }
            }
        }
        audio_.resize(std::min<size_t>(audio_.size(), 480000));

        // The recording's frames as the scoring sees them.
        frames_ = ubm.RawFeatures(audio_.data(), audio_.size());
        ubm.Normalise(frames_);
        top_ = SelectTopComponents(ubm.evaluator(), frames_, model.topComponents);
        // The work per target of each model, in (frame, component) pairs per frame.
        pairsPerFrame_ = KeptPairsPerFrame(top_);
        if (const Background* companion = ubm.companion()) {
            FeatureMatrix companionFrames = companion->RawFeatures(audio_.data(), audio_.size());
            companion->Normalise(companionFrames);
            companionPairsPerFrame_ = KeptPairsPerFrame(SelectTopComponents(
                companion->evaluator(), companionFrames, companion->model().topComponents));
        }

        // 1000 targets, each adapted from a different run of 2-5 s of the background speech.
        const Eigen::Index components = ubm.gmm().Components();
        FloatMatrix allMeans(1000 * components, ubm.gmm().Dimension());
        std::mt19937 random(1);
        // The same runs of speech as the companion analyses them, when there is one.
        const auto join = [](const std::vector<LabelledFeatures>& sessions,
                             const std::vector<size_t>& picks) {
            FeatureMatrix frames = sessions[picks[0]].frames;
            for (size_t i = 1; i < picks.size(); ++i) {
                const FeatureMatrix& more = sessions[picks[i]].frames;
                frames.conservativeResize(frames.rows() + more.rows(), Eigen::NoChange);
                frames.bottomRows(more.rows()) = more;
            }
            return frames;
        };
        for (int t = 0; t < 1000; ++t) {
            std::vector<size_t> picks = {random() % background.size()};
            const auto wanted = 200 + static_cast<Eigen::Index>(random() % 300);
            for (Eigen::Index rows = background[picks[0]].frames.rows(); rows < wanted;) {
                picks.push_back(random() % background.size());
                rows += background[picks.back()].frames.rows();
            }
            FeatureMatrix frames = join(background, picks);
            ubm.Normalise(frames);
            TargetModel target;
            target.ubmFingerprint = ubm.fingerprint();
            target.relevance = 16.0f;
            target.enrollmentFrames = static_cast<uint32_t>(frames.rows());
            const FloatMatrix means =
                MapAdaptMeans(ubm.gmm(), AccumulateStats(ubm.evaluator(), frames), 16.0);
            target.means = {means, means, means};
            if (const Background* companion = ubm.companion()) {
                FeatureMatrix companionFrames = join(companionBackground, picks);
                companion->Normalise(companionFrames);
                const FloatMatrix companionMeans =
                    MapAdaptMeans(companion->gmm(),
                                  AccumulateStats(companion->evaluator(), companionFrames), 16.0);
                target.companionMeans = {companionMeans, companionMeans, companionMeans};
            }
            allMeans.middleRows(t * components, components) = means;
            // As many genuine scores as an enrollment keeps.
            for (int i = 0; i < 120; ++i) {
                target.genuine.push_back(
                    {3.0f + 0.02f * i, static_cast<float>(50 << (i % 5)), 20.0f, 0.0f});
            }
            char name[32];
            std::snprintf(name, sizeof name, "target-%04d", t);
            for (int count : {10, 100, 1000}) {
                if (t < count && !WriteTargetModel(Models(count), name, target, error)) {
                    std::fprintf(stderr, "%s\n", error.c_str());
                    std::exit(1);
                }
            }
        }
        for (int count : {16, 1000}) {
            banks_.emplace(count, TargetBank(ubm.gmm(), allMeans.topRows(count * components)));
        }
        if (COM_IDENTI_LoadUBMModels((root_.path() / "ubm").string().c_str()) != 1 ||
            !ReadBackground(root_.path() / "ubm", ubm_, error)) {
            std::fprintf(stderr, "the background model does not load\n");
            std::exit(1);
        }
        written_ = std::chrono::steady_clock::now();
    }
    std::filesystem::path Models(int count) const {
        return root_.path() / ("models-" + std::to_string(count));
    }
    // `count` targets (a multiple of 1000): copies of the 1000 models under other names, made
    // on first use.
    std::filesystem::path ManyModels(int count) {
        const std::filesystem::path models = Models(count);
        if (count == 1000 || std::filesystem::exists(models)) {
            return models;
        }
        for (int t = 0; t < count; ++t) {
            char name[32];
            std::snprintf(name, sizeof name, "target-%05d", t);
            std::filesystem::create_directories(models / name);
            char source[32];
            std::snprintf(source, sizeof source, "target-%04d", t % 1000);
            std::filesystem::copy_file(Models(1000) / source / kTargetFileName,
                                       models / name / kTargetFileName);
        }
        written_ = std::chrono::steady_clock::now();
        return models;
    }
    // Rewrites the first target of `models` with the same contents, as an enrollment would.
    void RewriteOne(const std::filesystem::path& models) {
        std::filesystem::path file = models / "target-0000" / kTargetFileName;
        if (!std::filesystem::exists(file)) {
            file = models / "target-00000" / kTargetFileName;
        }
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ReadWholeFile(file, kMaxModelFileBytes, bytes, error) ||
            !WriteFileAtomically(file, bytes, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        written_ = std::chrono::steady_clock::now();
    }
    // Waits until every file written is old enough for the engine's cache to keep it.
    void Settle() const {
        std::this_thread::sleep_until(written_ + std::chrono::milliseconds(2100));
    }
    const std::shared_ptr<const Background>& ubm() const { return ubm_; }
    const std::vector<int16_t>& audio() const { return audio_; }
    const FeatureMatrix& frames() const { return frames_; }
    const TopComponents& top() const { return top_; }
    double pairsPerFrame() const { return pairsPerFrame_; }
    double companionPairsPerFrame() const { return companionPairsPerFrame_; }
    const TargetBank& bank(int count) const { return banks_.at(count); }

  private:
    testing::TempDirectory root_;
    std::vector<int16_t> audio_;
    std::shared_ptr<const Background> ubm_;
    std::chrono::steady_clock::time_point written_;
    FeatureMatrix frames_;
    TopComponents top_;
    double pairsPerFrame_ = 0.0;
    double companionPairsPerFrame_ = 0.0;  // 0 without a companion
    std::map<int, TargetBank> banks_;      // the first 16 and all 1000 targets' clean models
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void SoundData(benchmark::State& state, size_t samples) {
    const Fixture& fixture = Shared();
    jkestrune::ScopedModelSet set;
    set.Load(fixture.Models(static_cast<int>(state.range(0))).string().c_str());
    if (set.targetCount() != state.range(0)) {
        state.SkipWithError("the targets did not load");
        return;
    }
    const auto targets = static_cast<size_t>(set.targetCount());
    std::vector<int32_t> log(targets), frr(targets), far(targets);
    const std::vector<int16_t>& audio = fixture.audio();
    samples = std::min(samples, audio.size());
    for (auto _ : state) {
        const int32_t code = set.Score(audio.data(), static_cast<int32_t>(samples),
                                       {log.data(), frr.data(), far.data()});
        if (code != 0) {
            state.SkipWithError("scoring failed");
            break;
        }
        benchmark::DoNotOptimize(log.data());
    }
    state.counters["audio_s"] = static_cast<double>(samples) / 8000.0;
}

void BM_SoundData(benchmark::State& state) {
    SoundData(state, 480000);
    // What the time per target follows: the pairs of both models, each D + 1 multiply-adds.
    state.counters["pairs_per_frame"] = Shared().pairsPerFrame();
    state.counters["companion_pairs_per_frame"] = Shared().companionPairsPerFrame();
}
BENCHMARK(BM_SoundData)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Loads and releases of `range(0)` targets, as every identification does them.
//
// Cold: the engine's load with a cache that keeps nothing (every file read, checked and
// prepared), released at once.
void BM_LoadColdCache(benchmark::State& state) {
    Fixture& fixture = Shared();
    const std::filesystem::path models = fixture.ManyModels(static_cast<int>(state.range(0)));
    ModelCache nothingKept(ModelCacheLimits{0});
    for (auto _ : state) {
        const std::unique_ptr<TargetSet> set =
            LoadTargetSet(models, fixture.ubm(), LoadRules{}, nothingKept);
        if (!set || set->targets->Targets() != state.range(0)) {
            state.SkipWithError("the targets did not load");
            break;
        }
    }
}
BENCHMARK(BM_LoadColdCache)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// Warm: COM_IDENTI_LoadFromSubDirsToBuffers and COM_IDENTI_DestroyedBuffers on files that do
// not change between calls.
void BM_LoadWarmCache(benchmark::State& state) {
    Fixture& fixture = Shared();
    const std::string models = fixture.ManyModels(static_cast<int>(state.range(0))).string();
    fixture.Settle();
    jkestrune::ScopedModelSet().Load(models.c_str());  // the first load fills the cache
    for (auto _ : state) {
        jkestrune::ScopedModelSet set;
        set.Load(models.c_str());
        if (set.targetCount() != state.range(0)) {
            state.SkipWithError("the targets did not load");
            break;
        }
    }
}
BENCHMARK(BM_LoadWarmCache)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// One target rewritten before each load (untimed): that file is read, the others copied from
// the cache. A file this fresh is not kept, so every load finds the cache as the first did.
void BM_LoadOneRewritten(benchmark::State& state) {
    Fixture& fixture = Shared();
    const std::filesystem::path models = fixture.ManyModels(static_cast<int>(state.range(0)));
    fixture.Settle();
    jkestrune::ScopedModelSet().Load(models.string().c_str());
    for (auto _ : state) {
        state.PauseTiming();
        fixture.RewriteOne(models);
        state.ResumeTiming();
        jkestrune::ScopedModelSet set;
        set.Load(models.string().c_str());
        if (set.targetCount() != state.range(0)) {
            state.SkipWithError("the targets did not load");
            break;
        }
    }
}
BENCHMARK(BM_LoadOneRewritten)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// A short recording: the targets' panels are read for few frames each.
void BM_SoundDataShort(benchmark::State& state) {
    SoundData(state, 16000);
}
BENCHMARK(BM_SoundDataShort)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

// One second, the shortest trial callers commonly send: what more components per frame would
// cost where the frames are fewest.
void BM_SoundDataOneSecond(benchmark::State& state) {
    SoundData(state, 8000);
}
BENCHMARK(BM_SoundDataOneSecond)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond);

// ScoreTargets alone on the 60 s recording's frames, with kernel range(0) of ScoringKernels()
// and range(1) targets (the clean models only, as a clean recording is scored);
// us_per_target_s is the time per target and second of audio.
void BM_ScoreTargets(benchmark::State& state) {
    const Fixture& fixture = Shared();
    const auto kernels = ScoringKernels();
    const auto index = static_cast<size_t>(state.range(0));
    if (index >= kernels.size() || !kernels[index].supported()) {
        state.SkipWithError("the processor does not run this kernel");
        return;
    }
    const ScoringKernel& kernel = kernels[index];
    const TargetBank& bank = fixture.bank(static_cast<int>(state.range(1)));
    std::vector<double> scores(static_cast<size_t>(bank.Targets()));
    for (auto _ : state) {
        ScoreTargets(fixture.top(), fixture.frames(), bank, scores.data(), kernel);
        benchmark::DoNotOptimize(scores.data());
    }
    state.SetLabel(kernel.name);
    // Seconds of the recording, silence included, as BM_SoundData counts them.
    const double audioSeconds = static_cast<double>(fixture.audio().size()) / 8000.0;
    state.counters["speech_frames"] = static_cast<double>(fixture.frames().rows());
    // Microseconds per target and second of audio, from the time per iteration.
    state.counters["us_per_target_s"] = benchmark::Counter(
        static_cast<double>(bank.Targets()) * audioSeconds * 1e-6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScoreTargets)->ArgsProduct({{0, 1, 2}, {16, 1000}})->Unit(benchmark::kMillisecond);

// The part of every call that does not depend on the targets.
void BM_FrontEnd(benchmark::State& state) {
    const std::vector<int16_t>& audio = Shared().audio();
    const FrontEnd frontEnd{FrontEndConfig{}};
    for (auto _ : state) {
        FeatureMatrix frames = frontEnd.Compute(audio.data(), audio.size());
        NormaliseRecording(frames, frontEnd.config());
        benchmark::DoNotOptimize(frames.data());
    }
}
BENCHMARK(BM_FrontEnd)->Unit(benchmark::kMillisecond);

// The false-rejection curve every call builds for its trial, from a pool at its cap (the
// genuine samples of a set of about 300 targets or more): the samples' lengths, SNRs and
// telephone weights as enrollment writes them, for a 2-s trial.
void BM_FalseRejectionCurve(benchmark::State& state) {
    std::mt19937 random(20261210);
    std::normal_distribution<float> score(3.0f, 1.5f);
    const float lengths[] = {50.0f, 100.0f, 200.0f, 400.0f, 800.0f};
    const float snrs[] = {kMaxSnrDb, 12.0f, 6.0f};
    std::vector<GenuineSample> pool(kPooledSamples);
    for (size_t i = 0; i < pool.size(); ++i) {
        pool[i] = {score(random), lengths[i % 5], snrs[i % 3], i % 7 == 0 ? 1.0f : 0.0f};
    }
    const TrialConditions trial{170.0, kMaxSnrDb, 0.0};
    for (auto _ : state) {
        const FalseRejectionCurve curve(pool, trial);
        benchmark::DoNotOptimize(curve.Percent(3.0));
    }
}
BENCHMARK(BM_FalseRejectionCurve)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kestrune

BENCHMARK_MAIN();
