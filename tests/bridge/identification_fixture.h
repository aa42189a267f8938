// Shared set-up for tests of the two identification methods against the fake JNI environment
// and the fake engine.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "bridge/load_manager.h"
#include "support/event_log.h"
#include "support/fake_engine.h"
#include "support/fake_jni.h"
#include "support/wave_images.h"

namespace testsupport {

using jkestrune::test::Bytes;
using jkestrune::test::G711Wave;
using jkestrune::test::Pcm16Wave;
using jkestrune::test::SimpleWave;

// The arguments of one call; every field has a sensible default.
struct CallArgs {
    std::optional<std::vector<uint8_t>> audio = Pcm16Wave(std::vector<int16_t>(500, 100));
    std::optional<jint> audioLength = std::nullopt;  // default: the whole array
    std::optional<std::string> modelsDir = "/models";
    jint rankBy = 0;
    std::optional<std::string> resultClassName = "test/Result";
    bool verbose = false;
};

class IdentificationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakeengine::Reset();
        Events().clear();
        resultClass = jni.DefineResultClass("test/Result", {{"age", "I"}});
    }

    void TearDown() override {
        EXPECT_TRUE(jni.Clean()) << "pending exception, unreleased characters or a broken rule";
        EXPECT_EQ(fakeengine::LiveModelSets(), 0) << "model set not handed back to the engine";
        EXPECT_EQ(fakeengine::Observed().destroyMismatches, 0);
        EXPECT_EQ(fakeengine::Observed().destroys, fakeengine::Observed().loads)
            << "every load is destroyed exactly once";
    }

    static void ScriptTargets(std::vector<fakeengine::Target> targets) {
        fakeengine::ScriptFor().targets = std::move(targets);
    }

    jint RunAll(const CallArgs& args, jobjectArray results) {
        return Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll(
            jni.env(), nullptr, Audio(args), Length(args), String(args.modelsDir), args.rankBy,
            String(args.resultClassName), results, args.verbose ? JNI_TRUE : JNI_FALSE);
    }

    jint RunBest(const CallArgs& args, jobject result) {
        return Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability(
            jni.env(), nullptr, Audio(args), Length(args), String(args.modelsDir), args.rankBy,
            result, args.verbose ? JNI_TRUE : JNI_FALSE);
    }

    jobjectArray NewResults(size_t length) { return jni.NewObjectArray(resultClass, length); }

    // Names of the delivered objects in array order ("-" for an untouched null element).
    static std::vector<std::string> DeliveredNames(jobjectArray results, size_t length) {
        std::vector<std::string> names;
        for (size_t i = 0; i < length; ++i) {
            jobject element = fakejni::FakeJni::Element(results, i);
            names.push_back(
                element == nullptr ? "-" : fakejni::FakeJni::StringField(element, "target_name"));
        }
        return names;
    }

    static bool EngineCalled() { return fakeengine::Observed().loads > 0; }

    fakejni::FakeJni jni;
    fakejni::FakeClass* resultClass = nullptr;

  private:
    jbyteArray Audio(const CallArgs& args) {
        return args.audio ? jni.NewByteArray(*args.audio) : nullptr;
    }
    static jint Length(const CallArgs& args) {
        return args.audioLength.value_or(args.audio ? static_cast<jint>(args.audio->size()) : 0);
    }
    jstring String(const std::optional<std::string>& text) {
        return text ? jni.NewString(*text) : nullptr;
    }
};

}  // namespace testsupport
