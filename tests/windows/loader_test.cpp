// Loads jkestrune.dll the way a Java virtual machine on Windows does (LoadLibrary by full path,
// then GetProcAddress of the JNI names) and drives it through a fake JNI environment: the import
// from kestrune.dll must resolve to the test engine beside it, the six methods must be reachable
// by their undecorated names, and calls must reach the engine and come back with the right
// values. Both DLLs lie in this program's folder, which Windows searches for kestrune.dll.
#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "return_codes.h"
#include "support/fake_jni.h"
#include "support/identification_call.h"
#include "support/wave_images.h"
#include "windows/jkestrune_dll.h"
#include "windows/test_engine_hooks.h"

namespace {

using jkestrune::windows_test::LibraryPath;
using jkestrune::windows_test::LoadLibraryPinningEngine;
using jkestrune::windows_test::Methods;
using jkestrune::windows_test::ProgramFolder;
using jkestrune::windows_test::Resolve;
using testsupport::CallArgs;
using testsupport::CallGetAll;
using testsupport::CallGetBest;

constexpr char kResultClass[] = "com/mirelta/requests/TargetResult";

// The hooks of the engine DLL that the library loaded.
struct Engine {
    TestEngineReset reset;
    TestEngineSetAnswers setAnswers;
    TestEngineAddTarget addTarget;
    TestEngineGetSeen getSeen;
    TestEngineGetSamples getSamples;
    TestEngineGetPath getPath;

    explicit Engine(HMODULE engine)
        : reset(Resolve<TestEngineReset>(engine, "TestEngine_Reset")),
          setAnswers(Resolve<TestEngineSetAnswers>(engine, "TestEngine_SetAnswers")),
          addTarget(Resolve<TestEngineAddTarget>(engine, "TestEngine_AddTarget")),
          getSeen(Resolve<TestEngineGetSeen>(engine, "TestEngine_GetSeen")),
          getSamples(Resolve<TestEngineGetSamples>(engine, "TestEngine_GetSamples")),
          getPath(Resolve<TestEngineGetPath>(engine, "TestEngine_GetPath")) {}

    bool Complete() const {
        return reset && setAnswers && addTarget && getSeen && getSamples && getPath;
    }
    TestEngineSeen Seen() const {
        TestEngineSeen seen{};
        getSeen(&seen);
        return seen;
    }
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        char buffer[1024];
        for (int32_t i = 0; getPath(i, buffer, sizeof buffer) >= 0; ++i) {
            paths.emplace_back(buffer);
        }
        return paths;
    }
};

TEST(Loading, LoadsUnloadsAndReloadsWithThreadsComingAndGoing) {
    for (int round = 0; round < 2; ++round) {
        HMODULE library = LoadLibraryW(LibraryPath().c_str());
        ASSERT_NE(library, nullptr) << "LoadLibrary failed with error " << GetLastError();
        // Thread attach and detach reach the load entry of a loaded DLL.
        std::thread([] {}).join();
        EXPECT_NE(GetModuleHandleW(L"kestrune.dll"), nullptr);
        EXPECT_TRUE(FreeLibrary(library));
    }
}

// Sends what the process writes to its standard output into a file for as long as it lives.
// The library writes through the C runtime DLL that the whole process shares, so its lines
// land there too. The file is binary: the text arrives as written, without CR LF translation.
class StdoutCapture {
  public:
    explicit StdoutCapture(const std::wstring& path) : path_(path) {
        std::fflush(stdout);
        saved_ = _dup(_fileno(stdout));
        const int file = _wopen(path.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, 0600);
        if (saved_ >= 0 && file >= 0) {
            capturing_ = _dup2(file, _fileno(stdout)) == 0;
        }
        if (file >= 0) {
            _close(file);
        }
    }
    ~StdoutCapture() { Finish(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    bool capturing() const { return capturing_; }

    // Restores the standard output and returns what was written meanwhile.
    std::string Finish() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            _dup2(saved_, _fileno(stdout));
            _close(saved_);
            saved_ = -1;
        }
        std::string text;
        if (FILE* file = _wfopen(path_.c_str(), L"rb")) {
            char buffer[4096];
            size_t read;
            while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
                text.append(buffer, read);
            }
            std::fclose(file);
        }
        _wremove(path_.c_str());
        return text;
    }

  private:
    std::wstring path_;
    int saved_ = -1;
    bool capturing_ = false;
};

class LoadedLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(LoadLibraryPinningEngine(library_, engine_), ""); }
    static void TearDownTestSuite() {
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
    }

    void SetUp() override {
        ASSERT_NE(library_, nullptr);
        ASSERT_TRUE(engine.Complete()) << "kestrune.dll beside the library is not the test engine";
        engine.reset();
    }
    void TearDown() override {
        EXPECT_TRUE(jni.Clean()) << "pending exception, unreleased characters or a broken rule";
        if (engine.Complete()) {
            ExpectEngineBalanced();
        }
    }

    // Every model set loaded so far was handed back to the engine exactly once. Checked after
    // each test, and by loops of cases before engine.reset() forgets a case's loads.
    void ExpectEngineBalanced() const {
        const TestEngineSeen seen = engine.Seen();
        EXPECT_EQ(seen.liveModelSets, 0) << "a model set was not handed back to the engine";
        EXPECT_EQ(seen.destroyMismatches, 0);
        EXPECT_EQ(seen.destroys, seen.loads);
    }

    // Three targets whose best differs by each ranking order: bob by score, alice by
    // false-rejection rate (highest first), carol by false-acceptance rate (lowest first).
    void ScriptThreeTargets() const {
        engine.addTarget("alice", 1500, 700, 900);
        engine.addTarget("bob", 2500, 100, 300);
        engine.addTarget("carol", -500, 200, 50);
    }

    jint GetAll(const CallArgs& args, jobjectArray results) {
        return CallGetAll(jni, args, results, methods.verifyDataWithGetAll);
    }
    jint GetBest(const CallArgs& args, jobject result) {
        return CallGetBest(jni, args, result, methods.verifyDataWithGetMaxProbability);
    }

    std::vector<int16_t> SamplesSeen() const {
        std::vector<int16_t> samples(static_cast<size_t>(engine.getSamples(nullptr, 0)));
        engine.getSamples(samples.data(), static_cast<int32_t>(samples.size()));
        return samples;
    }

    // "name logScore errorFR_percent errorFA_percent", or "-" for a null reference.
    static std::string Describe(jobject result) {
        return result == nullptr ? "-" : fakejni::ReadResult(result).Text();
    }

    static HMODULE library_;
    static HMODULE engine_;
    Methods methods{library_};
    Engine engine{engine_};
    fakejni::FakeJni jni;
    JNIEnv* env = jni.env();
    fakejni::FakeClass* resultClass = jni.DefineResultClass(kResultClass);
};

HMODULE LoadedLibrary::library_ = nullptr;
HMODULE LoadedLibrary::engine_ = nullptr;

TEST_F(LoadedLibrary, ExportsTheSixMethodsByTheirUndecoratedNames) {
    EXPECT_NE(methods.maxQntTargets, nullptr);
    EXPECT_NE(methods.maxQntProgramStreams, nullptr);
    EXPECT_NE(methods.loadBgModels, nullptr);
    EXPECT_NE(methods.getTargetQuantity, nullptr);
    EXPECT_NE(methods.verifyDataWithGetAll, nullptr);
    EXPECT_NE(methods.verifyDataWithGetMaxProbability, nullptr);
    // A virtual machine looks these up when it loads a library; none may be found.
    for (const char* name : {"JNI_OnLoad", "JNI_OnLoad_jkestrune", "JNI_OnUnload", "DllMain",
                             "COM_IDENTI_SoundData"}) {
        EXPECT_EQ(GetProcAddress(library_, name), nullptr) << name;
    }
}

TEST_F(LoadedLibrary, EngineQueriesReachTheEngineBesideTheLibrary) {
    struct {
        int32_t maxTargets;
        int32_t maxStreams;
        uint8_t loadUbm;
        int32_t quantity;
        jboolean loaded;
    } const cases[] = {
        {0, 0, 0, 0, JNI_FALSE},
        {4096, 16, 1, 12, JNI_TRUE},
        {INT32_MAX, INT32_MIN, 0xFF, -3, JNI_TRUE},
    };
    for (const auto& c : cases) {
        engine.reset();
        const TestEngineAnswers answers{c.maxTargets, c.maxStreams, c.loadUbm, c.quantity, 0};
        engine.setAnswers(&answers);
        EXPECT_EQ(methods.maxQntTargets(env, nullptr), c.maxTargets);
        EXPECT_EQ(methods.maxQntProgramStreams(env, nullptr), c.maxStreams);
        EXPECT_EQ(methods.loadBgModels(env, nullptr, jni.NewString("C:\\ubm\\models")), c.loaded);
        EXPECT_EQ(methods.loadBgModels(env, nullptr, nullptr), c.loaded);
        EXPECT_EQ(methods.getTargetQuantity(env, nullptr, jni.NewString("D:\\targets")),
                  c.quantity);
        EXPECT_EQ(methods.getTargetQuantity(env, nullptr, nullptr), 0);
        EXPECT_EQ(engine.Paths(), (std::vector<std::string>{"C:\\ubm\\models", "", "D:\\targets"}));
    }
}

TEST_F(LoadedLibrary, IdentificationScoresTheDecodedSamplesAndDeliversRankedResults) {
    ScriptThreeTargets();
    const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234, -4321};
    const std::vector<uint8_t> wave = jkestrune::test::Pcm16Wave(samples);
    jobjectArray results = jni.NewObjectArray(resultClass, 4);

    EXPECT_EQ(GetAll({.audio = wave, .modelsDir = "D:\\targets", .resultClassName = kResultClass},
                     results),
              0);

    EXPECT_EQ(SamplesSeen(), samples);
    const TestEngineSeen seen = engine.Seen();
    EXPECT_EQ(seen.sampleCount, 7);
    EXPECT_EQ(seen.scoredTargetCount, 3);
    EXPECT_EQ(seen.loads, 1);
    EXPECT_EQ(seen.scorings, 1);
    EXPECT_EQ(seen.flagA, 1);
    EXPECT_EQ(seen.flagB, 1);
    EXPECT_EQ(engine.Paths(), std::vector<std::string>{"D:\\targets"});
    std::vector<std::string> delivered;
    for (size_t i = 0; i < 4; ++i) {
        delivered.push_back(Describe(fakejni::FakeJni::Element(results, i)));
    }
    EXPECT_EQ(delivered, (std::vector<std::string>{"bob 2500 100 300", "alice 1500 700 900",
                                                   "carol -500 200 50", "-"}));
}

// A-law and mu-law recordings arrive at the engine as 16-bit linear samples, and the best
// target by each order is written into the caller's object.
TEST_F(LoadedLibrary, BestTargetOfG711RecordingsByEachOrder) {
    struct {
        int16_t formatTag;
        std::vector<uint8_t> codes;
        std::vector<int16_t> linear;
    } const recordings[] = {
        {6, {0xD5, 0x55, 0xAA, 0x2A}, {8, -8, 32256, -32256}},
        {7, {0xFF, 0x7F, 0x80, 0x00}, {0, 0, 32124, -32124}},
    };
    struct {
        jint rankBy;
        const char* best;
    } const orders[] = {{0, "bob 2500 100 300"},
                        {1, "alice 1500 700 900"},
                        {2, "carol -500 200 50"},
                        {7, "bob 2500 100 300"}};
    for (const auto& recording : recordings) {
        for (const auto& order : orders) {
            SCOPED_TRACE("format " + std::to_string(recording.formatTag) + ", order " +
                         std::to_string(order.rankBy));
            engine.reset();
            ScriptThreeTargets();
            const std::vector<uint8_t> wave =
                jkestrune::test::G711Wave(recording.formatTag, recording.codes);
            jobject result = jni.NewInstance(resultClass);
            EXPECT_EQ(GetBest({.audio = wave, .modelsDir = "D:\\targets", .rankBy = order.rankBy},
                              result),
                      0);
            EXPECT_EQ(Describe(result), order.best)
                << "format " << recording.formatTag << ", order " << order.rankBy;
            EXPECT_EQ(SamplesSeen(), recording.linear) << "format " << recording.formatTag;
            ExpectEngineBalanced();
        }
    }
}

TEST_F(LoadedLibrary, ReturnCodesCrossTheBoundaryUnchanged) {
    const std::vector<uint8_t> wave = jkestrune::test::Pcm16Wave({5, 6, 7});
    const std::vector<uint8_t> noData = jkestrune::test::Pcm16Wave({});
    const char* kClass = kResultClass;
    struct {
        const char* what;
        std::optional<std::vector<uint8_t>> audio;
        std::optional<std::string> modelsDir;
        std::optional<std::string> resultClassName;
        int32_t engineCode;
        jint expected;
        bool engineCalled;
    } const cases[] = {
        {"null models folder", wave, std::nullopt, kClass, 0, jkestrune::ERR_NULL_ARGUMENT, false},
        {"null class name", wave, "m", std::nullopt, 0, jkestrune::ERR_NULL_ARGUMENT, false},
        {"null recording", std::nullopt, "m", kClass, 0, jkestrune::ERR_NO_AUDIO, false},
        {"empty data chunk", noData, "m", kClass, 0, jkestrune::ERR_NO_AUDIO, false},
        {"engine error", wave, "m", kClass, 4242, 4242, true},
        {"negative engine code", wave, "m", kClass, INT32_MIN, INT32_MIN, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        engine.reset();
        ScriptThreeTargets();
        const TestEngineAnswers answers{0, 0, 0, 0, c.engineCode};
        engine.setAnswers(&answers);
        jobjectArray results = jni.NewObjectArray(resultClass, 3);
        const CallArgs args{
            .audio = c.audio, .modelsDir = c.modelsDir, .resultClassName = c.resultClassName};
        EXPECT_EQ(GetAll(args, results), c.expected) << c.what;
        EXPECT_EQ(engine.Seen().scorings, c.engineCalled ? 1 : 0) << c.what;
        EXPECT_EQ(fakejni::FakeJni::Element(results, 0), nullptr)
            << c.what << ": nothing is delivered on failure";
        if (c.resultClassName) {
            jobject result = jni.NewInstance(resultClass);
            EXPECT_EQ(GetBest(args, result), c.expected) << c.what;
            EXPECT_EQ(Describe(result), "<null> 0 0 0") << c.what << ": the object is untouched";
        }
        ExpectEngineBalanced();
    }
}

TEST_F(LoadedLibrary, VerboseLinesReachTheProcessStandardOutput) {
    ScriptThreeTargets();
    const std::vector<uint8_t> wave = jkestrune::test::Pcm16Wave({1, 2, 3});
    StdoutCapture capture(ProgramFolder() + L"verbose-output.txt");
    ASSERT_TRUE(capture.capturing());
    const jint code =
        GetAll({.audio = wave, .modelsDir = "m", .resultClassName = kResultClass, .verbose = true},
               jni.NewObjectArray(resultClass, 3));
    const std::string output = capture.Finish();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output,
              "#####CoreLogout: Quantity of targets: 3\n"
              "#####CoreLogout: Target: bob, FRR: 0.100 %, FAR: 0.300 %, logScore: 2.500\n"
              "#####CoreLogout: Target: alice, FRR: 0.700 %, FAR: 0.900 %, logScore: 1.500\n"
              "#####CoreLogout: Target: carol, FRR: 0.200 %, FAR: 0.050 %, logScore: -0.500\n");
}

}  // namespace
