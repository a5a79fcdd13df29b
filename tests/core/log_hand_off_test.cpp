#include "core/log_hand_off.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/event_loop_window_thread.h"
#include "window_thread_pump.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class LogHandOffTest : public ::testing::Test {
protected:
    EventLoop loop;
    EventLoopWindowThread window{loop};
    std::vector<std::vector<std::string>> writes;  // window thread
    LogHandOff handOff{window, [this](const std::vector<std::string>& lines) { writes.push_back(lines); }};

    void HandFromAnotherThread(const std::vector<std::string>& lines)
    {
        std::thread([this, lines] { handOff.Hand(lines, 1); }).join();
    }
};

TEST_F(LogHandOffTest, BatchesHandedWhileTheWindowIsBusyKeepTheirPlaceAmongItsOtherWork)
{
    std::vector<std::vector<std::string>> expected;
    for (int batch = 0; batch < 50; ++batch) {
        const std::vector<std::string> lines{"a" + std::to_string(batch), "b" + std::to_string(batch)};
        expected.push_back(lines);
        HandFromAnotherThread(lines);
        // Something else the window is handed between two batches is done between them.
        if (batch == 24) window.Post([this] { writes.push_back({"between"}); });
    }
    expected.insert(expected.begin() + 25, std::vector<std::string>{"between"});
    loop.ProcessMessages();
    EXPECT_EQ(writes, expected);
}

TEST_F(LogHandOffTest, OwnerWritesWhatIsLeftAndAFarBehindWindowHoldsTheServerBack)
{
    HandFromAnotherThread({"left"});
    handOff.WriteArrived();  // on the window thread: at once
    ASSERT_EQ(writes, std::vector<std::vector<std::string>>{{"left"}});
    loop.ProcessMessages();  // the closure queued by the hand finds nothing more
    EXPECT_EQ(writes.size(), 1u);

    std::atomic<bool> returned{false};
    std::atomic<bool> writtenWhenReturned{false};
    std::thread flood([&] {
        handOff.Hand({std::string(LogHandOff::kBacklogBytes, 'x')}, LogHandOff::kBacklogBytes + 1);
        writtenWhenReturned = writes.size() == 2;
        returned = true;
    });
    // A check that Hand does not return while the window is far behind: it is given 50 ms to.
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());
    EXPECT_TRUE(testing::PumpUntil(loop, [&] { return returned.load(); }));
    flood.join();
    EXPECT_TRUE(writtenWhenReturned.load());
}

}  // namespace
}  // namespace corvane
