// The reference engine as the Windows build makes it: jkestrune.dll is loaded beside the real
// kestrune.dll, as a Java virtual machine would load them, and identifications run through a
// fake JNI environment from a WAVE recording to the result objects.
//
// The material is made here, at run time, by the engine's own training and enrollment code
// (linked into this program): four synthetic voices (a pulse train through formant filters,
// differing in pitch and vocal-tract length), a background model of 8 components trained on
// them, and voices 0-2 enrolled as targets. Voices this different are told apart by so small a
// model, which keeps the whole program within seconds, and nothing binary is committed or has
// to be made by a host tool. Every trial is speech the models never saw (other seeds).
//
// The directories carry characters outside ASCII, one of them outside the Basic Multilingual
// Plane, and the paths reach the engine as Java hands them over (modified UTF-8): an engine
// that opened files through the narrow Windows code page would find none of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/base/path_text.h"
#include "core/contract/engine_codes.h"
#include "core/contract/model_directories.h"
#include "core/contract/names.h"
#include "core/models/model_files.h"
#include "engine/kestrune.h"
#include "support/fake_jni.h"
#include "support/identification_call.h"
#include "support/synthetic.h"
#include "support/wave_writer.h"
#include "windows/jkestrune_dll.h"

namespace {

using jkestrune::windows_test::LoadLibraryPinningEngine;
using jkestrune::windows_test::Methods;
using jkestrune::windows_test::ProgramFolder;
using jkestrune::windows_test::Resolve;
using kestrune::testing::MakeVoice;
using kestrune::testing::Speak;
using kestrune::testing::WaveEncoding;

constexpr char kResultClass[] = "com/mirelta/requests/TargetResult";
constexpr int kTargets = 3;

// Directory names as UTF-8 on disk: "arrière-plan", "modèles-🎵" (U+1F3B5).
constexpr char kUbmDirectory[] = "arri\xC3\xA8re-plan";
constexpr char kModelsDirectory[] = "mod\xC3\xA8les-\xF0\x9F\x8E\xB5";

// The targets, voices 0-2, by their directory names (UTF-8), and the names Java receives:
// modified UTF-8, U+1F3B5 as the surrogate pair D83C DFB5. The engine lists targets in the
// byte order of their names, which is voice order here.
struct TargetName {
    const char* onDisk;
    const char* inJava;
};
constexpr TargetName kNames[kTargets] = {
    {"anna", "anna"},
    {"bj\xC3\xB6rn", "bj\xC3\xB6rn"},
    {"\xF0\x9F\x8E\xB5-carla", "\xED\xA0\xBC\xED\xBE\xB5-carla"},
};

std::filesystem::path Utf8Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path as Java's GetStringUTFChars gives it.
std::string JavaPath(const std::filesystem::path& path) {
    return kestrune::ModifiedUtf8Name(kestrune::PathUtf8(path), std::numeric_limits<size_t>::max());
}

// The background model and targets, made once for the whole program.
struct World {
    World() : root("engine-dll") {
        const kestrune::testing::SmallBackground background =
            kestrune::testing::TrainSmallBackground(4, 8, 1);
        std::string error;
        if (!kestrune::WriteBackgroundDirectory(Ubm(), background.model, error)) {
            throw std::runtime_error(error);
        }
        for (int voice = 0; voice < kTargets; ++voice) {
            if (!kestrune::WriteTargetModel(
                    Models(), kNames[voice].onDisk,
                    kestrune::testing::EnrollVoice(background, voice, 50 + voice), error)) {
                throw std::runtime_error(error);
            }
        }
        // A second models directory: one usable target beside what a load must step over.
        std::filesystem::create_directories(Mixed() / "anna");
        std::filesystem::copy_file(Models() / "anna" / kestrune::kTargetFileName,
                                   Mixed() / "anna" / kestrune::kTargetFileName);
        std::filesystem::create_directories(Mixed() / "damaged");
        std::ofstream(Mixed() / "damaged" / kestrune::kTargetFileName, std::ios::binary)
            << "KSRNTGT not a model";
        std::filesystem::create_directories(Mixed() / "empty");
        std::ofstream(Mixed() / "loose.krn", std::ios::binary) << "x";
    }
    std::filesystem::path Ubm() const { return root.path() / Utf8Path(kUbmDirectory); }
    std::filesystem::path Models() const { return root.path() / Utf8Path(kModelsDirectory); }
    std::filesystem::path Mixed() const { return root.path() / "mixed"; }

    kestrune::testing::TempDirectory root;
};

// One delivered result object.
using Result = fakejni::ResultFields;

// The seven functions of the kestrune.dll that the library loaded, for answers to compare the
// library's results with.
struct Engine {
    decltype(&COM_IDENTI_LoadFromSubDirsToBuffers) load;
    decltype(&COM_IDENTI_SoundData) score;
    decltype(&COM_IDENTI_DestroyedBuffers) destroy;

    explicit Engine(HMODULE engine)
        : load(Resolve<decltype(load)>(engine, "COM_IDENTI_LoadFromSubDirsToBuffers")),
          score(Resolve<decltype(score)>(engine, "COM_IDENTI_SoundData")),
          destroy(Resolve<decltype(destroy)>(engine, "COM_IDENTI_DestroyedBuffers")) {}

    bool Complete() const { return load && score && destroy; }

    // The engine's own scores of `samples` against the targets under `models`, in its order,
    // names as it writes them; empty when loading or scoring fails.
    std::vector<Result> Scores(const std::string& models,
                               const std::vector<int16_t>& samples) const {
        jkestrune::ModelSet set;
        load(models.c_str(), &set.targetCount, &set.modelValueA, &set.modelBufferA,
             &set.modelBufferB, &set.modelBufferC, &set.modelValueB, &set.modelBufferD,
             &set.targetNames, 1, 1);
        std::vector<Result> results;
        const auto count = static_cast<size_t>(std::max(set.targetCount, 0));
        std::vector<int32_t> logScores(count), frrValues(count), farValues(count);
        if (count > 0 && score(samples.data(), static_cast<int32_t>(samples.size()),
                               set.targetCount, set.modelBufferA, set.modelValueA, set.modelBufferC,
                               set.modelBufferB, set.modelBufferD, set.modelValueB,
                               logScores.data(), frrValues.data(), farValues.data()) == 0) {
            for (size_t t = 0; t < count; ++t) {
                results.push_back({set.targetNames + t * jkestrune::kTargetNameSlot, logScores[t],
                                   frrValues[t], farValues[t]});
            }
        }
        destroy(&set.modelBufferA, &set.modelValueA, &set.modelBufferC, &set.modelBufferB,
                &set.modelBufferD, &set.modelValueB, &set.targetNames);
        return results;
    }
};

// A fake JNI environment with the result class, and the identification methods on it. One per
// thread, as a JNIEnv is.
class Caller {
  public:
    explicit Caller(const Methods& methods)
        : methods_(methods), resultClass_(jni_.DefineResultClass(kResultClass)) {}

    fakejni::FakeJni& jni() { return jni_; }
    JNIEnv* env() { return jni_.env(); }

    // VerifyDataWithGetAll into an array one longer than the targets; `code` receives its code
    // and the result is what the array holds (an empty name for an element left null).
    std::vector<Result> GetAll(const std::vector<uint8_t>& wave, const std::string& models,
                               jint rankBy, jint& code) {
        jobjectArray results = jni_.NewObjectArray(resultClass_, kTargets + 1);
        code = testsupport::CallGetAll(
            jni_,
            {.audio = wave, .modelsDir = models, .rankBy = rankBy, .resultClassName = kResultClass},
            results, methods_.verifyDataWithGetAll);
        std::vector<Result> delivered;
        for (size_t i = 0; i <= kTargets; ++i) {
            const jobject element = fakejni::FakeJni::Element(results, i);
            delivered.push_back(element != nullptr ? fakejni::ReadResult(element) : Result{});
        }
        return delivered;
    }

    // VerifyDataWithGetMaxProbability into a fresh object (fields "<null> 0 0 0" if untouched).
    Result GetBest(const std::vector<uint8_t>& wave, const std::string& models, jint rankBy,
                   jint& code) {
        jobject result = jni_.NewInstance(resultClass_);
        code =
            testsupport::CallGetBest(jni_, {.audio = wave, .modelsDir = models, .rankBy = rankBy},
                                     result, methods_.verifyDataWithGetMaxProbability);
        return fakejni::ReadResult(result);
    }

  private:
    const Methods& methods_;
    fakejni::FakeJni jni_;
    fakejni::FakeClass* resultClass_;
};

const Result kUntouched{"<null>", 0, 0, 0};

class EngineDll : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(LoadLibraryPinningEngine(library_, engine_), "");
        world_ = new World();
    }
    static void TearDownTestSuite() {
        delete world_;
        world_ = nullptr;
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
    }

    void SetUp() override {
        ASSERT_NE(world_, nullptr);
        ASSERT_TRUE(methods.Complete());
        ASSERT_TRUE(engine.Complete()) << "kestrune.dll does not export the engine functions";
        ASSERT_EQ(methods.loadBgModels(caller.env(), nullptr, caller.jni().NewString(UbmPath())),
                  JNI_TRUE);
    }
    void TearDown() override {
        EXPECT_TRUE(caller.jni().Clean())
            << "pending exception, unreleased characters or a broken rule";
    }

    static std::string UbmPath() { return JavaPath(world_->Ubm()); }
    static std::string ModelsPath() { return JavaPath(world_->Models()); }

    // `seconds` of new speech of `voice`.
    static std::vector<int16_t> Trial(int voice, double seconds, uint32_t seed) {
        return Speak(MakeVoice(voice), seconds, 900 + 10 * seed + static_cast<uint32_t>(voice));
    }
    static std::vector<uint8_t> Wave(const std::vector<int16_t>& samples,
                                     WaveEncoding encoding = WaveEncoding::Pcm16) {
        return kestrune::testing::WaveImage(samples, 8000, 1, encoding);
    }

    static HMODULE library_;
    static HMODULE engine_;
    static World* world_;
    Methods methods{library_};
    Engine engine{engine_};
    Caller caller{methods};
};

HMODULE EngineDll::library_ = nullptr;
HMODULE EngineDll::engine_ = nullptr;
World* EngineDll::world_ = nullptr;

TEST_F(EngineDll, TheLibraryLoadedTheRealEngineFromItsFolder) {
    std::vector<wchar_t> file(MAX_PATH * 4);
    const DWORD length = GetModuleFileNameW(engine_, file.data(), static_cast<DWORD>(file.size()));
    std::wstring expected = ProgramFolder() + L"kestrune.dll";
    std::wstring actual(file.data(), length);
    for (std::wstring* path : {&expected, &actual}) {
        std::transform(path->begin(), path->end(), path->begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(GetProcAddress(engine_, "TestEngine_Reset"), nullptr) << "the test engine was loaded";
    EXPECT_EQ(methods.maxQntTargets(caller.env(), nullptr), kestrune::kMaxTargets);
    EXPECT_EQ(methods.maxQntProgramStreams(caller.env(), nullptr), kestrune::kMaxStreams);
}

TEST_F(EngineDll, BackgroundModelLoadsFromItsDirectoryOrFileByUtf8Path) {
    const std::filesystem::path ubm = world_->Ubm();
    struct {
        std::string path;
        jboolean loaded;
    } const cases[] = {
        {JavaPath(ubm), JNI_TRUE},
        {JavaPath(ubm / kestrune::kBackgroundFileName), JNI_TRUE},
        {JavaPath(world_->Models() / "anna" / kestrune::kTargetFileName), JNI_FALSE},
        {JavaPath(world_->root.path() / "nothing"), JNI_FALSE},
        {JavaPath(world_->Models()), JNI_FALSE},
        // The same directory with its "è" as the single byte of the Windows Latin code page.
        {JavaPath(world_->root.path()) + "\\arri\xE8re-plan", JNI_FALSE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(methods.loadBgModels(caller.env(), nullptr, caller.jni().NewString(c.path)),
                  c.loaded)
            << c.path;
    }
}

TEST_F(EngineDll, CountsTheUsableTargetsOfADirectory) {
    struct {
        std::string path;
        jint count;
    } const cases[] = {
        {ModelsPath(), kTargets},
        {JavaPath(world_->Mixed()), 1},  // the damaged model, the empty folder and the file
        {JavaPath(world_->root.path() / "nothing"), 0},
        {UbmPath(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(methods.getTargetQuantity(caller.env(), nullptr, caller.jni().NewString(c.path)),
                  c.count)
            << c.path;
    }
}

// Each voice, in each encoding the library decodes, comes back first, with every target
// delivered once under the name Java must see. For 16-bit PCM the library hands the engine
// the very samples, so its results must equal the engine's own answer.
TEST_F(EngineDll, IdentifiesEachVoiceInEachEncoding) {
    const WaveEncoding encodings[] = {WaveEncoding::Pcm16, WaveEncoding::ALaw, WaveEncoding::MuLaw};
    for (const WaveEncoding encoding : encodings) {
        for (int voice = 0; voice < kTargets; ++voice) {
            SCOPED_TRACE("voice " + std::to_string(voice) + ", encoding " +
                         std::to_string(static_cast<int>(encoding)));
            const std::vector<int16_t> samples = Trial(voice, 3.0, 1);
            const std::vector<uint8_t> wave = Wave(samples, encoding);
            jint code = -1;
            const std::vector<Result> all = caller.GetAll(wave, ModelsPath(), 0, code);
            ASSERT_EQ(code, 0);
            EXPECT_EQ(all[0].name, kNames[voice].inJava);
            EXPECT_EQ(all[kTargets], Result{}) << "only as many elements as targets are set";
            std::vector<std::string> names;
            for (int i = 0; i < kTargets; ++i) {
                names.push_back(all[i].name);
                EXPECT_GE(all[i].errorFR, 0);
                EXPECT_LE(all[i].errorFR, 100000);
                EXPECT_GE(all[i].errorFA, 0);
                EXPECT_LE(all[i].errorFA, 100000);
                if (i > 0) {
                    EXPECT_GE(all[i - 1].logScore, all[i].logScore);
                }
            }
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, (std::vector<std::string>{kNames[0].inJava, kNames[1].inJava,
                                                       kNames[2].inJava}));

            const Result best = caller.GetBest(wave, ModelsPath(), 0, code);
            EXPECT_EQ(code, 0);
            EXPECT_EQ(best, all[0]);

            if (encoding == WaveEncoding::Pcm16) {
                std::vector<Result> own = engine.Scores(ModelsPath(), samples);
                ASSERT_EQ(own.size(), static_cast<size_t>(kTargets));
                for (size_t t = 0; t < own.size(); ++t) {
                    own[t].name = kNames[t].inJava;
                }
                std::vector<Result> delivered(all.begin(), all.begin() + kTargets);
                const auto byName = [](const Result& a, const Result& b) {
                    return a.name < b.name;
                };
                std::sort(own.begin(), own.end(), byName);
                std::sort(delivered.begin(), delivered.end(), byName);
                EXPECT_EQ(delivered, own);
            }
        }
    }
}

// The same trial under each order: the same three results, sorted by the order's field, the
// true speaker first by each (its score leaves most of its own genuine scores below it and
// leaves few impostors above).
TEST_F(EngineDll, EveryRankingOrderPutsTheSpeakerFirst) {
    const std::vector<uint8_t> wave = Wave(Trial(1, 3.0, 2));
    jint code = -1;
    const std::vector<Result> byScore = caller.GetAll(wave, ModelsPath(), 0, code);
    ASSERT_EQ(code, 0);
    struct {
        jint rankBy;
        bool (*inOrder)(const Result&, const Result&);
    } const orders[] = {
        {0, [](const Result& a, const Result& b) { return a.logScore >= b.logScore; }},
        {1, [](const Result& a, const Result& b) { return a.errorFR >= b.errorFR; }},
        {2, [](const Result& a, const Result& b) { return a.errorFA <= b.errorFA; }},
    };
    for (const auto& order : orders) {
        SCOPED_TRACE("rankBy " + std::to_string(order.rankBy));
        std::vector<Result> ranked = caller.GetAll(wave, ModelsPath(), order.rankBy, code);
        ASSERT_EQ(code, 0);
        ranked.resize(kTargets);
        EXPECT_EQ(ranked[0].name, kNames[1].inJava);
        for (int i = 1; i < kTargets; ++i) {
            EXPECT_TRUE(order.inOrder(ranked[i - 1], ranked[i]))
                << ranked[i - 1] << " / " << ranked[i];
        }
        EXPECT_TRUE(std::is_permutation(ranked.begin(), ranked.end(), byScore.begin()));
        EXPECT_EQ(caller.GetBest(wave, ModelsPath(), order.rankBy, code), ranked[0]);
    }
}

// The engine's codes pass through the library unchanged, and nothing is delivered with them.
TEST_F(EngineDll, EngineCodesReachTheCaller) {
    const std::string missing = JavaPath(world_->root.path() / "nothing");
    struct {
        const char* what;
        std::vector<int16_t> samples;
        std::string models;
        jint code;
    } const cases[] = {
        {"a twentieth of a second", Trial(0, 0.05, 3), ModelsPath(),
         kestrune::KS_ERR_TOO_LITTLE_SPEECH},
        {"silence", std::vector<int16_t>(16000, 0), ModelsPath(),
         kestrune::KS_ERR_TOO_LITTLE_SPEECH},
        {"no targets", Trial(0, 2.0, 3), missing, kestrune::KS_ERR_NO_TARGETS},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> wave = Wave(c.samples);
        jint code = -1;
        const std::vector<Result> all = caller.GetAll(wave, c.models, 0, code);
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(all[0], Result{}) << c.what;
        EXPECT_EQ(caller.GetBest(wave, c.models, 0, code), kUntouched) << c.what;
        EXPECT_EQ(code, c.code) << c.what;
    }
    // A directory holding one usable target among things a load steps over.
    jint code = -1;
    const std::vector<Result> all =
        caller.GetAll(Wave(Trial(0, 2.0, 4)), JavaPath(world_->Mixed()), 0, code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(all[0].name, "anna");
    EXPECT_EQ(all[1], Result{});
}

// Identifications on several threads at once, each with its own JNI environment, through the
// engine's shared background model and its limit on concurrent recordings (above the threads
// used here): every call gets its own speaker back.
TEST_F(EngineDll, IdentificationsOnSeveralThreads) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3;
    std::vector<std::vector<uint8_t>> waves;
    for (int t = 0; t < kThreads; ++t) {
        waves.push_back(Wave(Trial(t % kTargets, 2.0, 5 + t)));
    }
    const std::string models = ModelsPath();
    std::vector<std::vector<std::string>> firsts(kThreads);
    std::vector<std::vector<jint>> codes(kThreads);
    std::vector<char> clean(kThreads, 0);  // not vector<bool>: one byte per thread
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Caller own(methods);
            for (int round = 0; round < kRounds; ++round) {
                jint code = -1;
                const std::vector<Result> all = own.GetAll(waves[t], models, 0, code);
                codes[t].push_back(code);
                firsts[t].push_back(all[0].name);
            }
            clean[t] = own.jni().Clean();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(codes[t], std::vector<jint>(kRounds, 0)) << "thread " << t;
        EXPECT_EQ(firsts[t], std::vector<std::string>(kRounds, kNames[t % kTargets].inJava))
            << "thread " << t;
        EXPECT_TRUE(clean[t]) << "thread " << t;
    }
}

}  // namespace
