// Both identification methods on many threads at once, each thread with its own JNI environment
// (a JNIEnv belongs to one thread) and its own engine answers, over the success path and every
// failure path. Built with ThreadSanitizer in CI, where any state shared by calls (a static
// buffer, a cache) is a report; in every build, cross-talk between calls shows as another
// thread's names or codes, and a log line written in pieces shows as a broken line.
#include <gtest/gtest.h>

#include <latch>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bridge/console_log.h"
#include "return_codes.h"
#include "support/event_log.h"
#include "support/fake_engine.h"
#include "support/fake_jni.h"
#include "support/identification_call.h"
#include "support/wave_images.h"

namespace {

using fakejni::FakeJni;

constexpr int kThreads = 8;
constexpr int kRounds = 100;

// "t<thread>-": the prefix of every name and path that belongs to one thread.
std::string Tag(int thread) {
    std::string tag = "t";
    tag.append(std::to_string(thread)).push_back('-');
    return tag;
}

// The targets thread t loads: names that only this thread uses, and values that rank them in a
// different order by each criterion.
std::vector<fakeengine::Target> TargetsOf(int thread) {
    const std::string prefix = Tag(thread);
    return {{prefix + "anna", 1500 + thread, 300, 9000},
            {prefix + "bert", 2500 + thread, 100, 7000},
            {prefix + "carl \xF0\x9F\x8E\xA4", 500 + thread, 900, 8000}};
}

// Names as Java receives them, ranked by score, by false-rejection and by false-acceptance rate.
std::vector<std::string> RankedNames(int thread, jint rankBy) {
    const std::string prefix = Tag(thread);
    const std::string anna = prefix + "anna";
    const std::string bert = prefix + "bert";
    const std::string carl = prefix + "carl \xED\xA0\xBC\xED\xBE\xA4";
    switch (rankBy) {
        case 1:
            return {carl, anna, bert};
        case 2:
            return {bert, carl, anna};
        default:
            return {bert, anna, carl};
    }
}

// The log lines a verbose successful call of thread t prints for a ranking by score.
std::vector<std::string> VerboseLines(int thread) {
    std::vector<std::string> lines = {std::string(jkestrune::QuantityLine(3).view())};
    const std::vector<fakeengine::Target> targets = TargetsOf(thread);
    for (int k : {1, 0, 2}) {
        const fakeengine::Target& target = targets[k];
        lines.emplace_back(
            jkestrune::TargetLine(target.name, target.frr, target.far, target.logScore).view());
    }
    for (std::string& line : lines) {
        line.pop_back();  // the newline
    }
    return lines;
}

enum class Method { kAll, kBest };

// One call of a round: how the thread's engine and JNI environment behave, what is passed, and
// what must come back.
struct Scenario {
    const char* what;
    Method method = Method::kAll;
    jint rankBy = 0;
    bool verbose = false;
    int32_t soundCode = 0;
    bool loadFails = false;
    std::optional<int32_t> reportedCount = std::nullopt;
    bool nullModelsDir = false;
    bool nullAudio = false;
    bool notAWave = false;
    jint lengthDelta = 0;  // added to the array's length
    bool nullResults = false;
    size_t resultsLength = 3;
    const char* failingCall = nullptr;
    jint expected = 0;
    bool delivers = false;
};

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios = {
        {.what = "all by score", .expected = 0, .delivers = true},
        {.what = "all by FRR", .rankBy = 1, .expected = 0, .delivers = true},
        {.what = "best by FAR", .method = Method::kBest, .rankBy = 2, .delivers = true},
        {.what = "best by score", .method = Method::kBest, .delivers = true},
        {.what = "verbose", .verbose = true, .delivers = true},
        {.what = "engine code", .soundCode = 4000, .expected = 4000},
        {.what = "verbose engine code", .verbose = true, .soundCode = -7, .expected = -7},
        {.what = "failed load", .loadFails = true, .expected = 0},
        {.what = "negative count", .reportedCount = -1, .expected = jkestrune::ERR_ENGINE_CONTRACT},
        {.what = "null models", .nullModelsDir = true, .expected = jkestrune::ERR_NULL_ARGUMENT},
        {.what = "null audio", .nullAudio = true, .expected = jkestrune::ERR_NO_AUDIO},
        {.what = "not a wave", .notAWave = true, .expected = jkestrune::ERR_NO_AUDIO},
        {.what = "length too long", .lengthDelta = 1, .expected = jkestrune::ERR_INVALID_ARGUMENT},
        {.what = "null results", .nullResults = true, .expected = jkestrune::ERR_RESULT_DELIVERY},
        {.what = "short results", .resultsLength = 2, .expected = jkestrune::ERR_RESULT_DELIVERY},
        {.what = "string cannot be made",
         .failingCall = "NewStringUTF",
         .expected = jkestrune::ERR_RESULT_DELIVERY},
        {.what = "characters cannot be read",
         .method = Method::kBest,
         .failingCall = "GetStringUTFChars",
         .expected = jkestrune::ERR_OUT_OF_MEMORY},
    };
    return scenarios;
}

// Runs every scenario kRounds times on this thread; returns a description of each misbehaving
// call.
std::vector<std::string> RunThread(int thread, const std::vector<uint8_t>& wave,
                                   std::latch& start) {
    std::vector<std::string> failures;
    fakeengine::Reset();
    FakeJni jni;
    fakejni::FakeClass* resultClass = jni.DefineResultClass("test/Result");
    const std::vector<uint8_t> notAWave(wave.size(), 'x');
    const std::string path = "/models/" + Tag(thread);
    start.arrive_and_wait();

    for (int round = 0; round < kRounds; ++round) {
        for (const Scenario& s : Scenarios()) {
            std::ostringstream where;
            where << "thread " << thread << " round " << round << " " << s.what << ": ";
            fakeengine::Reset();
            testsupport::Events().clear();
            fakeengine::Script& script = fakeengine::ScriptFor();
            script.targets = TargetsOf(thread);
            script.soundCode = s.soundCode;
            script.loadFails = s.loadFails;
            script.reportedTargetCount = s.reportedCount;
            if (s.failingCall != nullptr) {
                jni.FailCall(s.failingCall);
            }

            const std::vector<uint8_t>& bytes = s.notAWave ? notAWave : wave;
            const testsupport::CallArgs args{
                .audio = s.nullAudio ? std::nullopt : std::optional(bytes),
                .audioLength = static_cast<jint>(bytes.size()) + s.lengthDelta,
                .modelsDir = s.nullModelsDir ? std::nullopt : std::optional(path),
                .rankBy = s.rankBy,
                .verbose = s.verbose};
            jobjectArray results =
                s.nullResults ? nullptr : jni.NewObjectArray(resultClass, s.resultsLength);
            jobject best = jni.NewInstance(resultClass);
            const jint code = s.method == Method::kAll ? testsupport::CallGetAll(jni, args, results)
                                                       : testsupport::CallGetBest(jni, args, best);

            if (code != s.expected) {
                failures.push_back(where.str() + "code " + std::to_string(code));
            }
            if (!jni.Clean() || jni.LiveLocalRefs() != 0) {
                failures.push_back(where.str() + "JNI environment not clean");
            }
            if (const std::string imbalance = fakeengine::Imbalance(); !imbalance.empty()) {
                failures.push_back(where.str() + imbalance);
            }
            const fakeengine::Seen& seen = fakeengine::Observed();
            if (seen.loads > 0 && seen.paths.back() != path) {
                failures.push_back(where.str() + "engine got path " + seen.paths.back());
            }
            if (!s.delivers) {
                continue;
            }
            const std::vector<std::string> expected = RankedNames(thread, s.rankBy);
            if (s.method == Method::kBest) {
                if (FakeJni::StringField(best, "target_name") != expected[0]) {
                    failures.push_back(where.str() + "best is " +
                                       FakeJni::StringField(best, "target_name"));
                }
                continue;
            }
            const std::vector<std::string> names =
                testsupport::DeliveredNames(results, expected.size());
            for (size_t p = 0; p < expected.size(); ++p) {
                if (names[p] != expected[p]) {
                    failures.push_back(where.str() + "position " + std::to_string(p) + " is " +
                                       names[p]);
                }
            }
        }
    }
    fakeengine::Reset();
    return failures;
}

TEST(IdentificationThreads, ConcurrentCallsStayIndependentOnEveryPath) {
    const std::vector<uint8_t> wave = jkestrune::test::Pcm16Wave(std::vector<int16_t>(400, 321));
    std::vector<std::vector<std::string>> failures(kThreads);
    std::latch start(kThreads);

    ::testing::internal::CaptureStdout();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] { failures[t] = RunThread(t, wave, start); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string output = ::testing::internal::GetCapturedStdout();

    for (const auto& list : failures) {
        for (const std::string& failure : list) {
            ADD_FAILURE() << failure;
        }
    }

    // Every line printed must be one whole line of some thread's calls: one verbose success
    // prints the quantity and three targets, one verbose engine failure the quantity alone.
    std::multiset<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int round = 0; round < kRounds; ++round) {
            for (const std::string& line : VerboseLines(t)) {
                expected.insert(line);
            }
            expected.insert(VerboseLines(t)[0]);
        }
    }
    std::multiset<std::string> printed;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        printed.insert(line);
    }
    EXPECT_TRUE(printed == expected)
        << printed.size() << " lines printed, " << expected.size() << " expected";
}

}  // namespace
