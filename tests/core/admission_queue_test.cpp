// The order in which connections that have not logged in give way, and the per-address counts
// behind the cap.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/admission_queue.h"

namespace corvane {
namespace {

using Clock = AdmissionQueue::Clock;
using std::chrono::seconds;

struct Step {
    char op;  // 'a': add (number, address, at second), 'r': remove (number)
    long long number;
    std::string address;
    int at = 0;
};

struct EvictionCase {
    const char* name;
    std::vector<Step> steps;
    int cutoffSecond;
    std::optional<long long> eldest;
    std::string address;
    int waitingFromAddress;
};

TEST(AdmissionQueue, TheEldestStillWaitingGivesWayAndEachAddressIsCounted)
{
    const std::vector<EvictionCase> cases = {
        {"empty", {}, 10, std::nullopt, "a", 0},
        {"eldest first", {{'a', 1, "a", 0}, {'a', 2, "b", 1}, {'a', 3, "a", 2}}, 10, 1, "a", 2},
        {"too young to go", {{'a', 1, "a", 5}, {'a', 2, "a", 6}}, 4, std::nullopt, "a", 2},
        {"exactly at the cutoff", {{'a', 1, "a", 4}}, 4, 1, "a", 1},
        {"logged in leaves the queue", {{'a', 1, "a", 0}, {'a', 2, "b", 1}, {'r', 1, ""}}, 10, 2, "a", 0},
        {"removed twice is harmless", {{'a', 1, "a", 0}, {'r', 1, ""}, {'r', 1, ""}, {'a', 2, "a", 3}}, 10, 2, "a", 1},
        {"unknown number ignored", {{'a', 1, "a", 0}, {'r', 9, ""}}, 10, 1, "a", 1},
        {"added twice counts once", {{'a', 1, "a", 0}, {'a', 1, "a", 1}}, 10, 1, "a", 1},
        {"middle removed keeps the order", {{'a', 1, "a", 0}, {'a', 2, "a", 1}, {'a', 3, "b", 2}, {'r', 1, ""},
                                            {'r', 2, ""}}, 10, 3, "b", 1},
    };
    const Clock::time_point start = Clock::now();
    for (const EvictionCase& c : cases) {
        SCOPED_TRACE(c.name);
        AdmissionQueue queue;
        for (const Step& step : c.steps) {
            if (step.op == 'a') queue.Add(step.number, step.address, start + seconds(step.at));
            else queue.Remove(step.number);
        }
        EXPECT_EQ(queue.EldestWaitingSince(start + seconds(c.cutoffSecond)), c.eldest);
        EXPECT_EQ(queue.WaitingFrom(c.address), c.waitingFromAddress);
    }
}

TEST(AdmissionQueue, EvictingOneAfterAnotherWalksTheArrivalOrder)
{
    AdmissionQueue queue;
    const Clock::time_point start = Clock::now();
    for (long long n = 1; n <= 1000; ++n) queue.Add(n, n % 2 ? "odd" : "even", start);
    for (long long n = 2; n <= 1000; n += 2) queue.Remove(n);  // the even ones logged in
    std::vector<long long> evicted;
    while (const auto eldest = queue.EldestWaitingSince(start)) {
        evicted.push_back(*eldest);
        queue.Remove(*eldest);
    }
    ASSERT_EQ(evicted.size(), 500u);
    for (std::size_t i = 0; i < evicted.size(); ++i) EXPECT_EQ(evicted[i], static_cast<long long>(2 * i + 1));
    EXPECT_EQ(queue.WaitingFrom("odd"), 0);
    EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace corvane
