// The four forwarding methods against the fake JNI environment and the fake engine.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "bridge/load_manager.h"
#include "support/event_log.h"
#include "support/fake_engine.h"
#include "support/fake_jni.h"

namespace {

using Events = std::vector<std::string>;

class EngineQueries : public ::testing::Test {
  protected:
    void SetUp() override {
        fakeengine::Reset();
        testsupport::Events().clear();
    }
    void TearDown() override {
        EXPECT_TRUE(jni.Clean()) << "pending exception, unreleased characters or a broken rule";
    }

    fakejni::FakeJni jni;
    JNIEnv* env = jni.env();
};

TEST_F(EngineQueries, LimitsAreReturnedUnchangedWithoutJniCalls) {
    for (int32_t value : {0, -1, 1, 4096, INT32_MAX, INT32_MIN}) {
        testsupport::Events().clear();
        fakeengine::ScriptFor().maxTargets = value;
        fakeengine::ScriptFor().maxStreams = value ^ 0x0F0F;
        EXPECT_EQ(Java_com_mirelta_requests_LoadManager_MaxQntTargets(env, nullptr), value);
        EXPECT_EQ(Java_com_mirelta_requests_LoadManager_MaxQntProgramStreams(env, nullptr),
                  value ^ 0x0F0F);
        EXPECT_EQ(testsupport::Events(),
                  (Events{"CheckedQuantTargetUsers", "CheckedQuantVerifyStreams"}));
    }
}

TEST_F(EngineQueries, LoadBgModelsMapsAnyNonZeroByteToTrue) {
    struct {
        uint8_t engine;
        jboolean expected;
    } const cases[] = {{0, JNI_FALSE}, {1, JNI_TRUE}, {2, JNI_TRUE}, {0xFF, JNI_TRUE}};
    for (const auto& c : cases) {
        fakeengine::ScriptFor().loadUbmAnswer = c.engine;
        EXPECT_EQ(
            Java_com_mirelta_requests_LoadManager_LoadBgModels(env, nullptr, jni.NewString("/ubm")),
            c.expected)
            << "engine byte " << int(c.engine);
        EXPECT_EQ(Java_com_mirelta_requests_LoadManager_LoadBgModels(env, nullptr, nullptr),
                  c.expected);
    }
}

TEST_F(EngineQueries, LoadBgModelsObtainsAndReleasesThePathAroundTheEngineCall) {
    Java_com_mirelta_requests_LoadManager_LoadBgModels(env, nullptr, jni.NewString("/srv/ubm"));
    EXPECT_EQ(testsupport::Events(),
              (Events{"GetStringUTFChars(/srv/ubm)", "LoadUBMModels(/srv/ubm)",
                      "ReleaseStringUTFChars(/srv/ubm)"}));
}

TEST_F(EngineQueries, LoadBgModelsWithNullAsksTheEngineWithAnEmptyPath) {
    Java_com_mirelta_requests_LoadManager_LoadBgModels(env, nullptr, nullptr);
    EXPECT_EQ(testsupport::Events(), (Events{"LoadUBMModels()"}));
    EXPECT_EQ(jni.Count("GetStringUTFChars"), 0);
}

TEST_F(EngineQueries, TargetQuantityPassesThePathAndTheCount) {
    for (int32_t quantity : {0, 3, -2, INT32_MAX}) {
        testsupport::Events().clear();
        fakeengine::ScriptFor().quantity = quantity;
        EXPECT_EQ(Java_com_mirelta_requests_LoadManager_GetTargetQuantity(
                      env, nullptr, jni.NewString("/srv/targets")),
                  quantity);
        EXPECT_EQ(testsupport::Events(), (Events{"GetStringUTFChars(/srv/targets)",
                                                 "GetQntModelsFromSubDirs(/srv/targets)",
                                                 "ReleaseStringUTFChars(/srv/targets)"}));
    }
}

TEST_F(EngineQueries, TargetQuantityOfNullIsZeroWithoutCalls) {
    fakeengine::ScriptFor().quantity = 5;
    EXPECT_EQ(Java_com_mirelta_requests_LoadManager_GetTargetQuantity(env, nullptr, nullptr), 0);
    EXPECT_TRUE(testsupport::Events().empty());
    EXPECT_EQ(jni.Count("GetStringUTFChars"), 0);
}

// When the JVM cannot supply the characters, the engine is not called, nothing stays pending
// and nothing is released that was not obtained.
TEST_F(EngineQueries, UnreadablePathsAnswerFalseOrZeroWithoutEngineCalls) {
    fakeengine::ScriptFor().loadUbmAnswer = 1;
    fakeengine::ScriptFor().quantity = 4;
    jni.FailCall("GetStringUTFChars");
    EXPECT_EQ(Java_com_mirelta_requests_LoadManager_LoadBgModels(env, nullptr, jni.NewString("a")),
              JNI_FALSE);
    jni.FailCall("GetStringUTFChars");
    EXPECT_EQ(
        Java_com_mirelta_requests_LoadManager_GetTargetQuantity(env, nullptr, jni.NewString("b")),
        0);
    EXPECT_TRUE(testsupport::Events().empty());
    EXPECT_EQ(jni.Count("ReleaseStringUTFChars"), 0);
    EXPECT_EQ(jni.Count("ExceptionClear"), 2);
}

}  // namespace
