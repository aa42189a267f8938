// The identification methods end to end against the fake JNI environment and the fake engine:
// return codes, what reaches the engine, ranking, delivery and its failures.
#include <climits>
#include <functional>

#include "bridge/identification_fixture.h"
#include "return_codes.h"

namespace testsupport {
namespace {

using fakeengine::Target;
using fakejni::FakeJni;

const std::vector<Target> kThreeTargets = {
    {"anna", 1500, 300, 9000}, {"bert", 2500, 100, 7000}, {"carl", 500, 900, 8000}};

// --- Argument checks -------------------------------------------------------------------

TEST_F(IdentificationTest, NullStringsAreReportedBeforeAnythingElse) {
    struct {
        const char* what;
        std::optional<std::string> modelsDir;
        std::optional<std::string> className;
        std::vector<std::string> obtained;
    } const cases[] = {
        {"models dir null", std::nullopt, "test/Result", {}},
        {"both null", std::nullopt, std::nullopt, {}},
        {"class name null", "/models", std::nullopt, {"/models"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeJni local;
        const CallArgs args{.audio = std::nullopt,  // would be 2071 if checked first
                            .modelsDir = c.modelsDir,
                            .resultClassName = c.className,
                            .verbose = true};
        EXPECT_EQ(CallGetAll(local, args, nullptr), jkestrune::ERR_NULL_ARGUMENT);
        EXPECT_EQ(local.ObtainedStrings(), c.obtained);
        EXPECT_TRUE(local.Clean());
    }
    EXPECT_EQ(RunBest(CallArgs{.modelsDir = std::nullopt}, nullptr), jkestrune::ERR_NULL_ARGUMENT);
    EXPECT_EQ(jni.Count("GetStringUTFChars"), 0);
    EXPECT_FALSE(EngineCalled());
}

TEST_F(IdentificationTest, UnreadableStringsAreOutOfMemory) {
    for (int failing : {1, 2}) {
        FakeJni local;
        local.DefineResultClass("test/Result");
        local.FailCall("GetStringUTFChars", failing);
        EXPECT_EQ(CallGetAll(local, {.audio = Pcm16Wave({1, 2, 3}), .audioLength = 50}, nullptr),
                  jkestrune::ERR_OUT_OF_MEMORY)
            << "failing call " << failing;
        EXPECT_EQ(local.Count("ExceptionClear"), 1);
        EXPECT_TRUE(local.Clean());
    }
    EXPECT_FALSE(EngineCalled());
}

TEST_F(IdentificationTest, AudioLengthOutsideTheArrayIsInvalid) {
    const std::vector<uint8_t> wave = Pcm16Wave(std::vector<int16_t>(100, 7));
    const jint size = static_cast<jint>(wave.size());
    for (jint length : {jint{-1}, jint{INT_MIN}, size + 1, jint{INT_MAX}}) {
        CallArgs args{.audio = wave, .audioLength = length};
        EXPECT_EQ(RunAll(args, NewResults(3)), jkestrune::ERR_INVALID_ARGUMENT) << length;
        EXPECT_EQ(RunBest(args, jni.NewInstance(resultClass)), jkestrune::ERR_INVALID_ARGUMENT);
    }
    EXPECT_EQ(jni.Count("GetByteArrayRegion"), 0) << "nothing is copied from outside the array";
    EXPECT_FALSE(EngineCalled());
}

TEST_F(IdentificationTest, NoAudioIs2071WithoutEngineOrOutput) {
    struct {
        const char* what;
        CallArgs args;
    } const cases[] = {
        {"null array", CallArgs{.audio = std::nullopt, .audioLength = 1000}},
        {"null array, negative length", CallArgs{.audio = std::nullopt, .audioLength = -5}},
        {"zero length", CallArgs{.audioLength = 0}},
        {"not a RIFF image", CallArgs{.audio = std::vector<uint8_t>(200, 'x')}},
        {"empty data chunk", CallArgs{.audio = Pcm16Wave({})}},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        c.args.verbose = true;
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(RunAll(c.args, NewResults(3)), jkestrune::ERR_NO_AUDIO);
        EXPECT_EQ(RunBest(c.args, jni.NewInstance(resultClass)), jkestrune::ERR_NO_AUDIO);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    }
    EXPECT_FALSE(EngineCalled());
}

TEST_F(IdentificationTest, DataWithoutAWholeFrameSucceedsWithoutScoring) {
    const Bytes oneByte = SimpleWave({1, 1, 2, 16}, {0x42});  // one byte of a two-byte frame
    ScriptTargets(kThreeTargets);
    jobjectArray results = NewResults(3);
    jobject result = jni.NewInstance(resultClass);
    ::testing::internal::CaptureStdout();
    const CallArgs args{.audio = oneByte, .verbose = true};
    EXPECT_EQ(RunAll(args, results), 0);
    EXPECT_EQ(RunBest(args, result), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(EngineCalled());
    EXPECT_EQ(DeliveredNames(results, 3), (std::vector<std::string>{"-", "-", "-"}));
    EXPECT_EQ(FakeJni::StringField(result, "target_name"), "<null>");
}

TEST_F(IdentificationTest, FramesNarrowerThanOneBytePerChannelNeverReachTheEngine) {
    // nBlockAlign below nChannels: frames × channels slots with less than a byte behind each.
    // Sized from such a header, the buffer would let a few kilobytes claim gigabytes, or, with a
    // count that wraps, be shorter than the frames the engine reads.
    struct {
        const char* what;
        int16_t channels;
        int16_t blockAlign;
        size_t dataBytes;
        jint expected;
    } const cases[] = {
        // 320 slots for a 108-byte image: the count alone would size the buffer.
        {"five channels in one byte per frame", 5, 1, 64, jkestrune::ERR_NO_AUDIO},
        // 131080 frames × 32767 channels wraps to 131064 slots, fewer than the frames the
        // engine would read.
        {"slot count wrapping below the frames", 32767, 1, 131080, jkestrune::ERR_NO_AUDIO},
        // One byte per sample is what every G.711 recording has.
        {"one byte per sample", 3, 3, 300, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakeengine::Reset();
        const Bytes mulaw = SimpleWave({7, c.channels, c.blockAlign, 8}, Bytes(c.dataBytes, 0xD5));
        EXPECT_EQ(RunAll({.audio = mulaw}, NewResults(1)), c.expected);
        EXPECT_EQ(EngineCalled(), c.expected == 0);
        ExpectEngineBalanced();
    }
    EXPECT_EQ(fakeengine::Observed().sampleCount, 100);
}

// --- What reaches the engine ---------------------------------------------------------

TEST_F(IdentificationTest, EngineReceivesFramesAndInterleavedSamples) {
    std::vector<int16_t> stereo(800);
    for (size_t i = 0; i < stereo.size(); ++i) {
        stereo[i] = static_cast<int16_t>(i % 2 == 0 ? i : -static_cast<int>(i));
    }
    fakeengine::ScriptFor().captureChannels = 2;
    EXPECT_EQ(RunAll({.audio = Pcm16Wave(stereo, 2)}, NewResults(1)), 0);
    const auto& seen = fakeengine::Observed();
    EXPECT_EQ(seen.sampleCount, 400) << "frames, not samples";
    EXPECT_EQ(seen.samples, stereo);
    EXPECT_EQ(seen.paths, std::vector<std::string>{"/models"});
    EXPECT_EQ(seen.flagA, 1);
    EXPECT_EQ(seen.flagB, 1);
}

TEST_F(IdentificationTest, CompandedAudioIsExpandedBeforeScoring) {
    struct {
        int16_t tag;
        std::vector<uint8_t> codes;
        std::vector<int16_t> samples;
    } const cases[] = {
        {6, {0xD5, 0x55, 0xAA, 0x2A}, {8, -8, 32256, -32256}},
        {7, {0xFF, 0x7F, 0x00, 0x80}, {0, 0, -32124, 32124}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("tag " + std::to_string(c.tag));
        fakeengine::Reset();
        EXPECT_EQ(RunAll({.audio = G711Wave(c.tag, c.codes)}, NewResults(1)), 0);
        EXPECT_EQ(fakeengine::Observed().samples, c.samples) << "tag " << c.tag;
        ExpectEngineBalanced();
    }
}

TEST_F(IdentificationTest, OnlyTheFirstAudioLengthBytesAreUsed) {
    // A complete image followed by bytes that would be samples if they were read.
    std::vector<uint8_t> wave = Pcm16Wave({1, 2, 3, 4});
    const auto length = static_cast<jint>(wave.size() - 4);  // the last two samples cut off
    wave.insert(wave.end(), 100, 0x7F);
    EXPECT_EQ(RunAll({.audio = wave, .audioLength = length}, NewResults(1)), 0);
    EXPECT_EQ(fakeengine::Observed().samples, (std::vector<int16_t>{1, 2}));
}

TEST_F(IdentificationTest, UndecodedFormatIsScoredAsNoSamples) {
    const Bytes ieeeFloat = SimpleWave({3, 1, 4, 32}, Bytes(400, 1));
    fakeengine::ScriptFor().soundCode = 5005;
    EXPECT_EQ(RunAll({.audio = ieeeFloat}, NewResults(1)), 5005);
    EXPECT_EQ(fakeengine::Observed().sampleCount, 0);
}

// --- Engine answers --------------------------------------------------------------------

TEST_F(IdentificationTest, EngineFailureIsReturnedWithoutDelivery) {
    ScriptTargets(kThreeTargets);
    fakeengine::ScriptFor().soundCode = -42;
    jobjectArray results = NewResults(3);
    jobject result = jni.NewInstance(resultClass);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunAll({.verbose = true}, results), -42);
    EXPECT_EQ(RunBest({.verbose = true}, result), -42);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "#####CoreLogout: Quantity of targets: 3\n"
              "#####CoreLogout: Quantity of targets: 3\n");
    EXPECT_EQ(DeliveredNames(results, 3), (std::vector<std::string>{"-", "-", "-"}));
    EXPECT_EQ(jni.Count("FindClass") + jni.Count("GetObjectClass"), 0);
}

TEST_F(IdentificationTest, NegativeTargetCountBreaksTheContract) {
    ScriptTargets(kThreeTargets);
    fakeengine::ScriptFor().reportedTargetCount = -1;
    EXPECT_EQ(RunAll({}, NewResults(3)), jkestrune::ERR_ENGINE_CONTRACT);
    EXPECT_EQ(RunBest({}, jni.NewInstance(resultClass)), jkestrune::ERR_ENGINE_CONTRACT);
    EXPECT_EQ(fakeengine::Observed().scorings, 0);
    EXPECT_EQ(fakeengine::Observed().destroys, 2);
}

TEST_F(IdentificationTest, FailedLoadIsScoredWithNoTargetsAndLeavesResultsAlone) {
    fakeengine::ScriptFor().loadFails = true;
    jobjectArray results = NewResults(2);
    jobject result = jni.NewInstance(resultClass);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunAll({.verbose = true}, results), 0);
    EXPECT_EQ(RunBest({}, result), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "#####CoreLogout: Quantity of targets: 0\n");
    EXPECT_EQ(fakeengine::Observed().scorings, 2);
    EXPECT_EQ(fakeengine::Observed().scoredTargetCount, 0);
    EXPECT_EQ(DeliveredNames(results, 2), (std::vector<std::string>{"-", "-"}));
    EXPECT_EQ(FakeJni::StringField(result, "target_name"), "<null>");
    EXPECT_EQ(jni.Count("FindClass") + jni.Count("GetObjectClass"), 0);
}

TEST_F(IdentificationTest, NoTargetsWithNullDestinationsIsSuccess) {
    EXPECT_EQ(RunAll({}, nullptr), 0);
    EXPECT_EQ(RunBest({}, nullptr), 0);
}

// --- Ranking and delivery --------------------------------------------------------------

TEST_F(IdentificationTest, RankByChoosesTheOrderOfDelivery) {
    ScriptTargets(kThreeTargets);
    struct {
        jint rankBy;
        std::vector<std::string> order;
    } const cases[] = {
        {0, {"bert", "anna", "carl"}},  {3, {"bert", "anna", "carl"}},
        {-1, {"bert", "anna", "carl"}}, {1, {"carl", "anna", "bert"}},
        {2, {"bert", "carl", "anna"}},
    };
    for (const auto& c : cases) {
        jobjectArray results = NewResults(3);
        jobject best = jni.NewInstance(resultClass);
        EXPECT_EQ(RunAll({.rankBy = c.rankBy}, results), 0);
        EXPECT_EQ(RunBest({.rankBy = c.rankBy}, best), 0);
        EXPECT_EQ(DeliveredNames(results, 3), c.order) << "rankBy " << c.rankBy;
        EXPECT_EQ(FakeJni::StringField(best, "target_name"), c.order[0]);
    }
}

TEST_F(IdentificationTest, DeliveryFillsRankedPositionsAndLeavesTheTail) {
    ScriptTargets(kThreeTargets);
    jobjectArray results = NewResults(5);
    jobject keep3 = jni.NewInstance(resultClass);
    jobject keep4 = jni.NewInstance(resultClass);
    FakeJni::Unwrap(results)->elements[3] = FakeJni::Unwrap(keep3);
    FakeJni::Unwrap(results)->elements[4] = FakeJni::Unwrap(keep4);
    ASSERT_EQ(RunAll({}, results), 0);

    EXPECT_EQ(FakeJni::Element(results, 3), keep3);
    EXPECT_EQ(FakeJni::Element(results, 4), keep4);
    // Name, logScore, errorFR_percent, errorFA_percent.
    const fakejni::ResultFields expected[] = {
        {"bert", 2500, 100, 7000}, {"anna", 1500, 300, 9000}, {"carl", 500, 900, 8000}};
    for (size_t p = 0; p < 3; ++p) {
        jobject object = FakeJni::Element(results, p);
        EXPECT_EQ(fakejni::ReadResult(object), expected[p]);
        EXPECT_EQ(FakeJni::Unwrap(object)->intFields.count("age"), 0u) << "no constructor ran";
    }
    EXPECT_EQ(jni.Count("FindClass"), 3) << "looked up anew for every target";
    EXPECT_EQ(jni.Count("GetFieldID"), 12);
}

TEST_F(IdentificationTest, BestResultKeepsTheCallersOtherFields) {
    ScriptTargets(kThreeTargets);
    jobject result = jni.NewInstance(resultClass);
    FakeJni::Unwrap(result)->intFields["age"] = 42;
    ASSERT_EQ(RunBest({}, result), 0);
    EXPECT_EQ(FakeJni::IntField(result, "age"), 42);
    EXPECT_EQ(FakeJni::StringField(result, "target_name"), "bert");
    EXPECT_EQ(FakeJni::IntField(result, "logScore"), 2500);
    EXPECT_EQ(jni.Count("FindClass"), 0);
    EXPECT_EQ(jni.Count("GetObjectClass"), 1);
}

TEST_F(IdentificationTest, EqualScoresDeliverTheLowerIndexFirst) {
    ScriptTargets({{"first", 700, 1, 1}, {"second", 900, 1, 1}, {"third", 900, 1, 1}});
    jobject result = jni.NewInstance(resultClass);
    ASSERT_EQ(RunBest({}, result), 0);
    EXPECT_EQ(FakeJni::StringField(result, "target_name"), "second");
}

TEST_F(IdentificationTest, ManyTargetsKeepTheLocalReferenceTableSmall) {
    fakeengine::ScriptFor().targets.resize(3000, Target{"t", 1, 2, 3});
    jobjectArray results = NewResults(3000);
    ASSERT_EQ(RunAll({}, results), 0);
    EXPECT_LE(jni.PeakLocalRefs(), 3);
    EXPECT_EQ(jni.LiveLocalRefs(), 0);
    EXPECT_EQ(jni.Count("SetObjectArrayElement"), 3000);
}

TEST_F(IdentificationTest, TargetNamesArriveAsJavaCanReadThem) {
    const std::string longest(255, 'n');
    const std::string noNul(256, 'z');
    struct {
        const char* what;
        std::string engineName;
        std::string javaName;  // modified UTF-8
    } const cases[] = {
        {"255 bytes", longest, longest},
        {"256 bytes without NUL", noNul, noNul},
        {"two- and three-byte characters", "J\xC3\xBCrgen \xE2\x82\xAC",
         "J\xC3\xBCrgen \xE2\x82\xAC"},
        {"beyond the BMP", "\xF0\x9F\x8E\xA4", "\xED\xA0\xBC\xED\xBE\xA4"},
        {"broken bytes",
         "a\xFF"
         "b\xC3",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {"overlong slash", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakeengine::Reset();
        ScriptTargets({{c.engineName, 1, 1, 1}});
        jobjectArray results = NewResults(1);
        ASSERT_EQ(RunAll({}, results), 0);
        EXPECT_EQ(DeliveredNames(results, 1)[0], c.javaName);
        ExpectEngineBalanced();
    }
    EXPECT_EQ(jni.InvalidUtfStrings(), 0);
}

// --- Delivery failures -----------------------------------------------------------------

TEST_F(IdentificationTest, UndeliverableResultsAreReportedAndNothingStaysPending) {
    fakejni::FakeClass* other = jni.DefineClass("test/Other", {});
    jni.DefineBrokenResultClass("test/NoFrr", "errorFR_percent", std::nullopt);
    jni.DefineBrokenResultClass("test/LongScore", "logScore", "J");
    jni.DefineBrokenResultClass("test/IntName", "target_name", "I");
    struct Case {
        const char* what;
        std::string className = "test/Result";
        std::function<jobjectArray()> results;
        const char* failingCall = nullptr;
        int failingNth = 1;
    };
    auto resultsOf = [this](size_t n) { return [this, n] { return NewResults(n); }; };
    // An Object[] takes objects of any class: what fails is then the class itself.
    auto objects = [this] { return jni.NewObjectArray(jni.ObjectClass(), 3); };
    const Case cases[] = {
        {"null results", "test/Result", [] { return jobjectArray{}; }},
        {"array shorter than the targets", "test/Result", resultsOf(2)},
        {"element type that does not take the objects", "test/Result",
         [this, other] { return jni.NewObjectArray(other, 3); }},
        {"unknown class", "test/Missing", resultsOf(3)},
        {"dotted class name", "test.Result", resultsOf(3)},
        {"missing field", "test/NoFrr", objects},
        {"field of another type", "test/LongScore", objects},
        {"name field of another type", "test/IntName", objects},
        {"string cannot be made", "test/Result", resultsOf(3), "NewStringUTF", 2},
        {"class lookup fails midway", "test/Result", resultsOf(3), "FindClass", 3},
        {"object cannot be made", "test/Result", resultsOf(3), "AllocObject", 1},
    };
    ScriptTargets(kThreeTargets);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.failingCall != nullptr) {
            jni.FailCall(c.failingCall, c.failingNth);
        }
        CallArgs args;
        args.resultClassName = c.className;
        EXPECT_EQ(RunAll(args, c.results()), jkestrune::ERR_RESULT_DELIVERY);
        EXPECT_FALSE(jni.ExceptionPending());
        EXPECT_EQ(jni.CallsWhileExceptionPending(), 0);
        EXPECT_EQ(jni.LiveLocalRefs(), 0);
    }
}

TEST_F(IdentificationTest, UndeliverableBestResultIsReported) {
    fakejni::FakeClass* noName =
        jni.DefineBrokenResultClass("test/NoName", "target_name", std::nullopt);
    ScriptTargets(kThreeTargets);
    EXPECT_EQ(RunBest({}, nullptr), jkestrune::ERR_RESULT_DELIVERY);
    EXPECT_EQ(RunBest({}, jni.NewInstance(noName)), jkestrune::ERR_RESULT_DELIVERY);
    jobject wrong = jni.NewInstance(jni.DefineClass("test/Empty", {}));
    EXPECT_EQ(RunBest({}, wrong), jkestrune::ERR_RESULT_DELIVERY);
    jni.FailCall("NewStringUTF");
    EXPECT_EQ(RunBest({}, jni.NewInstance(resultClass)), jkestrune::ERR_RESULT_DELIVERY);
    EXPECT_EQ(jni.LiveLocalRefs(), 0);
}

}  // namespace
}  // namespace testsupport
