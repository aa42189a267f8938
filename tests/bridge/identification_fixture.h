// Shared set-up for tests of the two identification methods against the fake JNI environment
// and the fake engine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/event_log.h"
#include "support/fake_engine.h"
#include "support/fake_jni.h"
#include "support/identification_call.h"
#include "support/wave_images.h"

namespace testsupport {

using jkestrune::test::Bytes;
using jkestrune::test::G711Wave;
using jkestrune::test::Pcm16Wave;
using jkestrune::test::SimpleWave;

class IdentificationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakeengine::Reset();
        Events().clear();
        resultClass = jni.DefineResultClass("test/Result", {{"age", "I"}});
    }

    void TearDown() override {
        EXPECT_TRUE(jni.Clean()) << "pending exception, unreleased characters or a broken rule";
        ExpectEngineBalanced();
    }

    // Every model set loaded so far was handed back to the engine exactly once. Checked after
    // each test, and by loops of cases before fakeengine::Reset() forgets a case's loads.
    static void ExpectEngineBalanced() {
        EXPECT_EQ(fakeengine::Imbalance(), "") << "every load is destroyed exactly once";
    }

    static void ScriptTargets(std::vector<fakeengine::Target> targets) {
        fakeengine::ScriptFor().targets = std::move(targets);
    }

    jint RunAll(const CallArgs& args, jobjectArray results) {
        return CallGetAll(jni, args, results);
    }
    jint RunBest(const CallArgs& args, jobject result) { return CallGetBest(jni, args, result); }

    jobjectArray NewResults(size_t length) { return jni.NewObjectArray(resultClass, length); }

    static bool EngineCalled() { return fakeengine::Observed().loads > 0; }

    fakejni::FakeJni jni;
    fakejni::FakeClass* resultClass = nullptr;
};

}  // namespace testsupport
