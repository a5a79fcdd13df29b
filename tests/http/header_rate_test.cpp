#include <gtest/gtest.h>

#include "http/header_rate.h"

namespace corvane {
namespace {

using std::chrono::milliseconds;

TEST(HeaderRate, AHeaderTooSlowAfterItsFirstSecondIsCaught)
{
    struct Case {
        std::size_t bytes;
        int elapsedMs;
        int minRate;
        bool tooSlow;
    } cases[] = {
        {0, 1000, 64, false},    // the first second is free
        {1, 2000, 64, true},     // a byte a second
        {128, 2000, 64, false},  // exactly the minimum
        {127, 2000, 64, true},
        {500, 1500, 64, false},  // a whole header in one packet
        {0, 29000, 0, false},    // no minimum set
        {10, 1001, 64, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes in " << c.elapsedMs << " ms");
        EXPECT_EQ(HeaderTooSlow(c.bytes, milliseconds(c.elapsedMs), c.minRate), c.tooSlow);
    }
}

}  // namespace
}  // namespace corvane
