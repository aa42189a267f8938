// The tools' share of the engine's scoring places: how many calls they start, and how a busy
// answer is retried and finally given up.
#include "tool/busy_retry.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrune {
namespace {

using std::chrono::milliseconds;

TEST(BusyRetry, ConcurrentCallsStayWithinTheEngineLimitAndTheWork) {
    struct {
        unsigned requested;
        int32_t engineStreams;
        size_t work;
        unsigned calls;
    } const cases[] = {
        {64, 16, 1000, 16},  // more threads than the engine scores at once
        {4, 16, 1000, 4},   {16, 16, 1000, 16}, {64, 16, 3, 3},  // fewer trials than threads
        {8, 0, 100, 8},                                          // an engine stating no limit
        {8, -5, 100, 8},                                         // nor a sensible one
        {8, 1, 100, 1},     {8, 16, 0, 1},                       // at least one
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConcurrentCalls(c.requested, c.engineStreams, c.work), c.calls)
            << c.requested << " threads, limit " << c.engineStreams << ", " << c.work << " items";
    }
}

TEST(BusyRetry, BusyAnswersAreRetriedWithDoublingWaitsThenGivenUp) {
    const std::vector<milliseconds> allWaits = {
        milliseconds(5),   milliseconds(10),  milliseconds(20),  milliseconds(40), milliseconds(80),
        milliseconds(160), milliseconds(320), milliseconds(320), milliseconds(320)};
    struct {
        int busyAnswers;     // busy answers before the engine's real one
        int32_t realAnswer;  // what it then answers
        int32_t result;
        int calls;
    } const cases[] = {
        {0, 0, 0, 1},
        {0, 4105, 4105, 1},  // a verdict on the recording is not retried
        {1, 0, 0, 2},
        {3, 4105, 4105, 4},
        {9, 0, 0, 10},             // the tenth try still counts
        {10, 0, kEngineBusy, 10},  // then it is given up
        {50, 0, kEngineBusy, 10},
    };
    for (const auto& c : cases) {
        int calls = 0;
        std::vector<milliseconds> waits;
        const int32_t result =
            CallRetryingBusy([&] { return calls++ < c.busyAnswers ? kEngineBusy : c.realAnswer; },
                             BusyRetry{}, [&](milliseconds pause) { waits.push_back(pause); });
        EXPECT_EQ(result, c.result) << c.busyAnswers;
        EXPECT_EQ(calls, c.calls) << c.busyAnswers;
        EXPECT_EQ(waits, std::vector<milliseconds>(allWaits.begin(), allWaits.begin() + calls - 1))
            << c.busyAnswers;
    }
}

}  // namespace
}  // namespace kestrune
