#include "ranking/ranking.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace jkestrune {
namespace {

constexpr int32_t kLowSentinelOfOldOrder = -1410065408;  // 10^10 cut to 32 bits, negated
constexpr int32_t kHighSentinelOfOldOrder = 1410065408;
constexpr int32_t kGuard = 0x7A7A7A7A;

using Order = void (*)(int32_t, const int32_t*, int32_t*);

// Runs an order on a copy of `values` with a guard entry behind the ranking, and checks that
// neither the values nor the guard were touched.
std::vector<int32_t> Rank(Order order, const std::vector<int32_t>& values) {
    const std::vector<int32_t> before = values;
    std::vector<int32_t> ranking(values.size() + 1, kGuard);
    order(static_cast<int32_t>(values.size()), values.data(), ranking.data());
    EXPECT_EQ(values, before) << "criterion values changed";
    EXPECT_EQ(ranking.back(), kGuard) << "written at position targetCount";
    ranking.pop_back();
    return ranking;
}

// A plain selection without sentinels: each position takes the best index not yet taken,
// the lowest index among equals. This is the order the sort must reproduce.
std::vector<int32_t> ReferenceOrder(const std::vector<int32_t>& values, bool descending) {
    std::vector<bool> taken(values.size(), false);
    std::vector<int32_t> ranking;
    for (size_t p = 0; p < values.size(); ++p) {
        int best = -1;
        for (size_t i = 0; i < values.size(); ++i) {
            if (taken[i]) {
                continue;
            }
            const bool better =
                best < 0 || (descending ? values[i] > values[best] : values[i] < values[best]);
            if (better) {
                best = static_cast<int>(i);
            }
        }
        taken[best] = true;
        ranking.push_back(best);
    }
    return ranking;
}

struct OrderCase {
    const char* what;
    std::vector<int32_t> values;
    std::vector<int32_t> descending;
    std::vector<int32_t> ascending;
};

const OrderCase kOrderCases[] = {
    {"single target", {-123}, {0}, {0}},
    {"ties keep index order", {5, 9, 9, 1}, {1, 2, 0, 3}, {3, 0, 1, 2}},
    {"all equal", {4, 4, 4}, {0, 1, 2}, {0, 1, 2}},
    {"negative values", {-5, -3, -9}, {1, 0, 2}, {2, 0, 1}},
    // Values at or beyond the old sentinels are ranked like any other: every target once.
    {"low sentinel value in the middle", {7, kLowSentinelOfOldOrder, 3}, {0, 2, 1}, {1, 2, 0}},
    {"at and below the low sentinel",
     {kLowSentinelOfOldOrder, 7, kLowSentinelOfOldOrder - 1},
     {1, 0, 2},
     {2, 0, 1}},
    {"high sentinel value in the middle", {2, kHighSentinelOfOldOrder, 1}, {1, 0, 2}, {2, 0, 1}},
    {"at and above the high sentinel",
     {kHighSentinelOfOldOrder, 3, kHighSentinelOfOldOrder + 1},
     {2, 0, 1},
     {1, 0, 2}},
    {"sentinel neighbours", {kLowSentinelOfOldOrder, kLowSentinelOfOldOrder + 1}, {1, 0}, {0, 1}},
    {"extremes of int32",
     {0, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX},
     {2, 4, 0, 1, 3},
     {1, 3, 0, 2, 4}},
};

TEST(RankingOrders, KnownCases) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Rank(RankDescending, c.values), c.descending);
        EXPECT_EQ(Rank(RankAscending, c.values), c.ascending);
    }
}

TEST(RankingOrders, CountOfZeroOrLessWritesNothing) {
    const int32_t values[] = {3, 2, 1};
    for (int32_t count : {0, -1, INT32_MIN}) {
        for (Order order : {RankDescending, RankAscending}) {
            int32_t ranking[3] = {kGuard, kGuard, kGuard};
            order(count, values, ranking);
            EXPECT_EQ(ranking[0], kGuard);
            EXPECT_EQ(ranking[1], kGuard);
            EXPECT_EQ(ranking[2], kGuard);
        }
    }
}

// With no targets (a count of 0 or below) nothing is read or written: null arrays are safe (a
// read or a write through one would crash the test), and through RankBy, whatever the
// criterion, a real ranking array keeps every entry (the orders' own arrays: above).
TEST(RankingOrders, NullArraysWithNoTargetsAreNotTouched) {
    const std::vector<int32_t> untouched(4, kGuard);
    const int32_t values[4] = {5, -3, 9, 0};
    for (const int32_t count : {0, -1, -4, INT32_MIN}) {
        SCOPED_TRACE("count " + std::to_string(count));
        RankDescending(count, nullptr, nullptr);
        RankAscending(count, nullptr, nullptr);
        for (const int32_t rankBy : {RANK_BY_SCORE, RANK_BY_FRR, RANK_BY_FAR, -1}) {
            RankBy(rankBy, count, {nullptr, nullptr, nullptr}, nullptr);
            std::vector<int32_t> ranking = untouched;
            RankBy(rankBy, count, {values, values, values}, ranking.data());
            EXPECT_EQ(ranking, untouched) << "rank by " << rankBy;
        }
    }
}

// Random arrays drawn from a small pool (many ties) mixed with extreme values, against the
// plain selection: small counts (sorted by comparison), then counts large enough for the radix
// sort.
TEST(RankingOrders, MatchReferenceOnRandomArrays) {
    std::mt19937 random(20261208);
    const int32_t pool[] = {
        INT32_MIN, INT32_MIN + 1, kLowSentinelOfOldOrder,  -1000,         -1,       0,
        1,         750,           kHighSentinelOfOldOrder, INT32_MAX - 1, INT32_MAX};
    for (int round = 0; round < 412; ++round) {
        const size_t size = round < 400 ? std::uniform_int_distribution<size_t>(1, 64)(random)
                                        : std::uniform_int_distribution<size_t>(1000, 2500)(random);
        std::vector<int32_t> values(size);
        for (int32_t& v : values) {
            v = random() % 3 == 0 ? static_cast<int32_t>(random())
                                  : pool[random() % std::size(pool)];
        }
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(Rank(RankDescending, values), ReferenceOrder(values, true));
        ASSERT_EQ(Rank(RankAscending, values), ReferenceOrder(values, false));
    }
}

TEST(RankingOrders, LargeInputIsAPermutationInOrder) {
    std::mt19937 random(7);
    std::vector<int32_t> values(200000);
    for (int32_t& v : values) {
        v = static_cast<int32_t>(random() % 1000) - 500;
    }
    const std::vector<int32_t> ranking = Rank(RankDescending, values);
    std::vector<bool> seen(values.size(), false);
    for (size_t p = 0; p < ranking.size(); ++p) {
        ASSERT_FALSE(seen[ranking[p]]);
        seen[ranking[p]] = true;
        if (p > 0) {
            const int32_t prev = values[ranking[p - 1]];
            const int32_t cur = values[ranking[p]];
            ASSERT_TRUE(prev > cur || (prev == cur && ranking[p - 1] < ranking[p]));
        }
    }
}

TEST(RankBy, ChoosesArrayAndOrderByCriterion) {
    const int32_t scores[] = {10, 30, 20};
    const int32_t frr[] = {500, 100, 900};
    const int32_t far[] = {300, 200, 100};
    const RankingInputs inputs{scores, frr, far};
    struct {
        int32_t rankBy;
        std::vector<int32_t> expected;
    } const cases[] = {
        {RANK_BY_SCORE, {1, 2, 0}},
        {RANK_BY_FRR, {2, 0, 1}},
        {RANK_BY_FAR, {2, 1, 0}},
        {3, {1, 2, 0}},
        {-1, {1, 2, 0}},
        {INT32_MIN, {1, 2, 0}},
    };
    for (const auto& c : cases) {
        std::vector<int32_t> ranking(4, kGuard);
        RankBy(c.rankBy, 3, inputs, ranking.data());
        EXPECT_EQ(ranking[3], kGuard);
        ranking.pop_back();
        EXPECT_EQ(ranking, c.expected) << "rankBy " << c.rankBy;
    }
}

}  // namespace
}  // namespace jkestrune
