// Loads jkestrune.dll the way a Java virtual machine on Windows does (LoadLibrary, then
// GetProcAddress of the JNI names) from a folder in which it lies beside a test kestrune.dll,
// and drives it through a fake JNI environment: the import from kestrune.dll must resolve to
// that engine, the six methods must be reachable by their undecorated names, and calls must
// reach the engine and come back with the right values.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "bridge/load_manager.h"
#include "support/fake_jni.h"
#include "windows/test_engine_hooks.h"

namespace {

// The folder of this program, where the build puts jkestrune.dll and the test kestrune.dll.
std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return L"";
        }
        if (length < path.size()) {
            std::wstring file(path.data(), length);
            return file.substr(0, file.find_last_of(L"\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring LibraryPath() {
    return ProgramFolder() + L"jkestrune.dll";
}

// GetProcAddress as the function type `Fn`; null when the name is not exported.
template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#define JNI_METHOD(method) "Java_com_mirelta_requests_LoadManager_" #method

// The six methods, with the library's own declarations as their types.
struct Methods {
    decltype(&Java_com_mirelta_requests_LoadManager_MaxQntTargets) maxQntTargets;
    decltype(&Java_com_mirelta_requests_LoadManager_MaxQntProgramStreams) maxQntProgramStreams;
    decltype(&Java_com_mirelta_requests_LoadManager_LoadBgModels) loadBgModels;
    decltype(&Java_com_mirelta_requests_LoadManager_GetTargetQuantity) getTargetQuantity;
    decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll) verifyDataWithGetAll;
    decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability)
        verifyDataWithGetMaxProbability;

    explicit Methods(HMODULE library)
        : maxQntTargets(Resolve<decltype(maxQntTargets)>(library, JNI_METHOD(MaxQntTargets))),
          maxQntProgramStreams(
              Resolve<decltype(maxQntProgramStreams)>(library, JNI_METHOD(MaxQntProgramStreams))),
          loadBgModels(Resolve<decltype(loadBgModels)>(library, JNI_METHOD(LoadBgModels))),
          getTargetQuantity(
              Resolve<decltype(getTargetQuantity)>(library, JNI_METHOD(GetTargetQuantity))),
          verifyDataWithGetAll(
              Resolve<decltype(verifyDataWithGetAll)>(library, JNI_METHOD(VerifyDataWithGetAll))),
          verifyDataWithGetMaxProbability(Resolve<decltype(verifyDataWithGetMaxProbability)>(
              library, JNI_METHOD(VerifyDataWithGetMaxProbability))) {}
};

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

class LoadedLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        library_ = LoadLibraryW(LibraryPath().c_str());
        ASSERT_NE(library_, nullptr) << "LoadLibrary failed with error " << GetLastError();
        // The engine stays loaded for the rest of the program: its per-thread state must not
        // go away under a test.
        ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"kestrune.dll", &engine_));
    }
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
    }

    static HMODULE library_;
    static HMODULE engine_;
    Methods methods{library_};
    Engine engine{engine_};
    fakejni::FakeJni jni;
    JNIEnv* env = jni.env();
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

}  // namespace
