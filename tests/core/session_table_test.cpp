#include "core/session_table.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

std::vector<long long> ClientNumbersOf(const sessionTable& table)
{
    std::vector<long long> numbers;
    for (const auto& record : table.Records()) numbers.push_back(record->ClientNumber());
    return numbers;
}

TEST(SessionTableTest, RecordsAreFoundByClientAndSessionNumberAndKeepTheirOrder)
{
    sessionTable table;
    for (long long client : {11, 12, 13, 14}) table.Add(client, "10.0.0." + std::to_string(client));
    EXPECT_EQ(table.Find(12)->PeerAddress(), "10.0.0.12");
    EXPECT_EQ(table.FindSession(3)->ClientNumber(), 13);
    EXPECT_EQ(table.Find(99), nullptr);
    EXPECT_EQ(table.FindSession(0), nullptr);

    EXPECT_TRUE(table.Remove(12));
    EXPECT_FALSE(table.Remove(12));
    EXPECT_EQ(table.Find(12), nullptr);
    EXPECT_EQ(table.FindSession(2), nullptr);
    EXPECT_EQ(ClientNumbersOf(table), (std::vector<long long>{11, 13, 14}));

    // A client number that comes again gets a fresh session, at the end, with a new number.
    const SessionRecordPtr again = table.Add(11, "10.0.0.99");
    EXPECT_EQ(again->Number(), 5u);
    EXPECT_EQ(table.FindSession(1), nullptr);
    EXPECT_EQ(table.Find(11), again);
    EXPECT_EQ(ClientNumbersOf(table), (std::vector<long long>{13, 14, 11}));
    EXPECT_EQ(table.Count(), 3u);
    EXPECT_EQ(table.HighestClientNumber(), 14);

    // Session numbers and the highest client number outlive a clear.
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.Find(13), nullptr);
    EXPECT_EQ(table.Add(20, "10.0.0.20")->Number(), 6u);
    EXPECT_EQ(table.HighestClientNumber(), 20);
}

}  // namespace
}  // namespace corvane
