// Which resources an identification call releases, and in which order, on every way out:
// strings (JNI), native buffers (heap, seen through a replaced operator delete) and the engine's
// model set. Also the calls whose native buffers cannot be allocated.
#include "audio/wave_header.h"
#include "bridge/identification_fixture.h"
#include "return_codes.h"
#include "support/allocation_tracker.h"

namespace testsupport {
namespace {

using EventList = std::vector<std::string>;

constexpr int kTargets = 3;
constexpr size_t kSamples = 500;
const size_t kAudioBytes = Pcm16Wave(std::vector<int16_t>(kSamples)).size();
const std::vector<fakeengine::Target> kTargetScript = {
    {"a", 3, 2, 1}, {"b", 1, 2, 3}, {"c", 2, 2, 2}};

class ReleaseOrder : public IdentificationTest {
  protected:
    void SetUp() override {
        IdentificationTest::SetUp();
        ScriptTargets(kTargetScript);
        results = NewResults(kTargets);
    }

    // Runs one call with tracking on and returns the releases and engine/JNI events that make
    // up the release order. With a `failSize`, the `failNth` allocation of that size fails.
    EventList Releases(const CallArgs& args, jint* code, size_t failSize = 0, int failNth = 1) {
        testsupport::Events().clear();
        StartAllocationTracking(&ReleaseOrder::Label);
        if (failSize != 0) {
            FailAllocationOfSize(failSize, failNth);
        }
        *code = RunAll(args, results);
        StopAllocationTracking();
        EventList relevant;
        for (const std::string& event : testsupport::Events()) {
            if (event.rfind("free ", 0) == 0 || event.rfind("Release", 0) == 0 ||
                event == "DestroyedBuffers" || event.rfind("SoundData", 0) == 0) {
                relevant.push_back(event);
            }
        }
        return relevant;
    }

    static std::string Label(const void* block, size_t size) {
        const auto& seen = fakeengine::Observed();
        if (block == seen.samplesAddress)
            return "samples";
        if (block == seen.frrValues)
            return "frrValues";
        if (block == seen.farValues)
            return "farValues";
        if (block == seen.logScores)
            return "logScores";
        if (size == kAudioBytes)
            return "audio copy";
        if (size == sizeof(jkestrune::WaveHeader))
            return "header";
        if (size == kSamples * sizeof(int16_t))
            return "samples";
        if (size == kTargets * sizeof(int32_t))
            return "score array";
        if (size == (kTargets + 1) * sizeof(int32_t))
            return "ranking";
        return "";
    }

    jobjectArray results = nullptr;
};

const EventList kFullRelease = {"SoundData(500,3)",
                                "free audio copy",
                                "free header",
                                "ReleaseStringUTFChars(/models)",
                                "ReleaseStringUTFChars(test/Result)",
                                "free samples",
                                "free frrValues",
                                "free farValues",
                                "free logScores",
                                "free ranking",
                                "DestroyedBuffers"};

// What a call that read the audio releases before it reaches the engine: its copy of the audio,
// the header and both strings.
const EventList kInputReleases = {"free audio copy", "free header",
                                  "ReleaseStringUTFChars(/models)",
                                  "ReleaseStringUTFChars(test/Result)"};

// kInputReleases followed by `tail`.
EventList With(const EventList& tail) {
    EventList all = kInputReleases;
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
}

TEST_F(ReleaseOrder, SuccessEngineFailureAndDeliveryFailureReleaseEverythingInOrder) {
    struct {
        const char* what;
        int32_t soundCode;
        size_t resultsLength;
        jint expected;
    } const cases[] = {
        {"success", 0, kTargets, 0},
        {"engine failure", 77, kTargets, 77},
        {"delivery failure", 0, kTargets - 1, jkestrune::ERR_RESULT_DELIVERY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakeengine::ScriptFor().soundCode = c.soundCode;
        results = NewResults(c.resultsLength);
        const CallArgs args;
        jint code = 0;
        EXPECT_EQ(Releases(args, &code), kFullRelease);
        EXPECT_EQ(code, c.expected);
        EXPECT_EQ(OutstandingTrackedBlocks(), 0);
    }
}

TEST_F(ReleaseOrder, EarlyReturnsReleaseExactlyWhatWasObtained) {
    struct {
        const char* what;
        CallArgs args;
        jint expected;
        EventList releases;
    } const cases[] = {
        {"class name null",
         CallArgs{.resultClassName = std::nullopt},
         jkestrune::ERR_NULL_ARGUMENT,
         {"ReleaseStringUTFChars(/models)"}},
        {"length too large",
         CallArgs{.audioLength = 1 << 20},
         jkestrune::ERR_INVALID_ARGUMENT,
         {"ReleaseStringUTFChars(/models)", "ReleaseStringUTFChars(test/Result)"}},
        {"no audio", CallArgs{.audio = std::vector<uint8_t>(kAudioBytes, 0)},
         jkestrune::ERR_NO_AUDIO, kInputReleases},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        jint code = 0;
        EXPECT_EQ(Releases(c.args, &code), c.releases);
        EXPECT_EQ(code, c.expected);
        EXPECT_EQ(OutstandingTrackedBlocks(), 0);
    }
    EXPECT_FALSE(EngineCalled());
}

TEST_F(ReleaseOrder, NegativeTargetCountReleasesTheModelSetWithoutScoring) {
    fakeengine::ScriptFor().reportedTargetCount = -3;
    jint code = 0;
    EXPECT_EQ(Releases({}, &code), With({"free samples", "DestroyedBuffers"}));
    EXPECT_EQ(code, jkestrune::ERR_ENGINE_CONTRACT);
}

TEST_F(ReleaseOrder, BuffersThatCannotBeAllocatedEndTheCallCleanly) {
    struct {
        const char* what;
        size_t size;
        int nth;
        EventList releases;
        bool engineLoaded;
    } const cases[] = {
        {"audio copy",
         kAudioBytes,
         1,
         {"ReleaseStringUTFChars(/models)", "ReleaseStringUTFChars(test/Result)"},
         false},
        {"header",
         sizeof(jkestrune::WaveHeader),
         1,
         {"free audio copy", "ReleaseStringUTFChars(/models)",
          "ReleaseStringUTFChars(test/Result)"},
         false},
        {"samples", kSamples * 2, 1, kInputReleases, false},
        {"first score array", kTargets * 4, 1, With({"free samples", "DestroyedBuffers"}), true},
        {"third score array", kTargets * 4, 3,
         With({"free samples", "free score array", "free score array", "DestroyedBuffers"}), true},
        {"ranking", (kTargets + 1) * 4, 1,
         With({"free samples", "free score array", "free score array", "free score array",
               "DestroyedBuffers"}),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fakeengine::Reset();
        ScriptTargets(kTargetScript);
        const CallArgs args;  // built before tracking: its own buffers are not the call's
        jint code = 0;
        const EventList releases = Releases(args, &code, c.size, c.nth);
        EXPECT_EQ(code, jkestrune::ERR_OUT_OF_MEMORY);
        EXPECT_EQ(releases, c.releases);
        EXPECT_EQ(EngineCalled(), c.engineLoaded);
        EXPECT_EQ(fakeengine::Observed().scorings, 0);
        EXPECT_EQ(OutstandingTrackedBlocks(), 0);
        ExpectEngineBalanced();
    }
}

}  // namespace
}  // namespace testsupport
