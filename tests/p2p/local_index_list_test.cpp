// The server's list of search lines: a visit hands every line once, in order, across the
// batches in which it holds the lock, and stops where its visitor says.
#include "p2p/local_index_list.h"

#include <gtest/gtest.h>

#include <thread>

namespace corvane {
namespace {

TEST(LocalIndexList, VisitsEveryLineOnceInOrderAcrossItsBatches)
{
    LocalIndexList list;
    const std::size_t total = LocalIndexList::kLinesPerHold * 3 + 7;
    for (std::size_t i = 0; i < total; ++i) list.indexAdd(std::to_string(i));
    const struct {
        std::size_t from, count, stopAt, expectedEnd;
    } cases[] = {
        {0, total, total, total},   {5, 500, total, 505},
        {700, total, total, total},  // a count past the end stops at the end
        {0, total, 300, 301},        // stopped by the visitor: the position after it
        {total, 10, total, total},
    };
    for (const auto& c : cases) {
        std::size_t expected = c.from;
        bool inOrder = true;
        const std::size_t end = list.indexVisit(c.from, c.count, [&](std::string_view line) {
            inOrder = inOrder && line == std::to_string(expected);
            return expected++ != c.stopAt;
        });
        EXPECT_EQ(end, c.expectedEnd) << c.from << " " << c.count;
        EXPECT_TRUE(inOrder);
    }
    EXPECT_EQ(list.indexLine(total), "");
    list.indexClear();
    EXPECT_EQ(list.indexCount(), 0u);
}

TEST(LocalIndexList, AVisitSeesWholeLinesWhileAnotherThreadAdds)
{
    LocalIndexList list;
    const std::string line(100, 'x');
    std::thread adder([&] {
        for (int i = 0; i < 20000; ++i) list.indexAdd(line);
    });
    std::size_t seen = 0;
    bool whole = true;
    while (seen < 20000)
        seen = list.indexVisit(seen, list.indexCount() - seen, [&](std::string_view l) {
            whole = whole && l == line;
            return true;
        });
    adder.join();
    EXPECT_TRUE(whole);
}

}  // namespace
}  // namespace corvane
