#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "net/custom_wsocket.h"
#include "net/dns_lookup_request.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// Waits until every resolver thread has finished and its result has been queued, then runs the
// queue once, so that a result that should have been dropped had every chance to show up.
void DrainLookups(EventLoop& loop)
{
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (DnsLookupRequest::InFlight() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(DnsLookupRequest::InFlight(), 0);
    loop.ProcessMessages();
}

struct LookupEvents {
    std::vector<int> errors;
    std::vector<std::thread::id> threads;
    void Bind(TCustomWSocket& socket)
    {
        socket.OnDnsLookupDone = [this](TCustomWSocket*, std::uint16_t error) {
            errors.push_back(error);
            threads.push_back(std::this_thread::get_id());
        };
    }
};

}  // namespace

TEST(DnsLookup, NameCompletesLaterOnTheOwnerThreadWithEveryAddress)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    socket.DnsLookup("localhost");
    EXPECT_TRUE(events.errors.empty());  // never inside the call that started it
    EXPECT_TRUE(socket.DnsLookupPending());
    ASSERT_TRUE(loop.RunUntil([&] { return !events.errors.empty(); }, 5000ms));
    EXPECT_EQ(events.errors, std::vector<int>{0});
    EXPECT_EQ(events.threads.front(), std::this_thread::get_id());
    EXPECT_FALSE(socket.DnsLookupPending());
    const auto& list = socket.DnsResultList();
    EXPECT_NE(std::find(list.begin(), list.end(), "127.0.0.1"), list.end());
    EXPECT_EQ(socket.DnsResult(), list.front());
}

TEST(DnsLookup, DottedAddressAnswersAtOnceAndUnknownNameReportsHostNotFound)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    socket.DnsLookup(" 10.0.0.1 ");
    EXPECT_EQ(events.errors, std::vector<int>{0});
    EXPECT_EQ(socket.DnsResult(), "10.0.0.1");
    EXPECT_EQ(socket.DnsResultList(), std::vector<std::string>{"10.0.0.1"});

    socket.DnsLookup("no-such-host.invalid");
    EXPECT_TRUE(socket.DnsResult().empty());  // the previous result is forgotten at the start
    ASSERT_TRUE(loop.RunUntil([&] { return events.errors.size() == 2; }, 5000ms));
    EXPECT_EQ(events.errors.back(), 11001);
    EXPECT_TRUE(socket.DnsResultList().empty());
}

TEST(DnsLookup, InvalidInputRaisesOrGoesToOnErrorThenTheEvent)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    try {
        socket.DnsLookup("");
        FAIL() << "an empty host name must be refused";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "DNS lookup: invalid host name.");
    }
    EXPECT_THROW(socket.ReverseDnsLookup(std::string(257, '1')), ESocketException);
    EXPECT_TRUE(events.errors.empty());

    int reported = 0;
    socket.OnError = [&](TCustomWSocket*) { ++reported; };
    socket.DnsLookup("");
    socket.ReverseDnsLookup("");
    EXPECT_EQ(reported, 2);
    EXPECT_EQ(events.errors, (std::vector<int>{10022, 10022}));
}

TEST(DnsLookup, ReverseLookupGivesTheHostName)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    socket.ReverseDnsLookup("127.0.0.1");
    ASSERT_TRUE(loop.RunUntil([&] { return !events.errors.empty(); }, 5000ms));
    ASSERT_EQ(events.errors.front(), 0);
    EXPECT_FALSE(socket.DnsResult().empty());
    EXPECT_EQ(socket.DnsResultList(), std::vector<std::string>{socket.DnsResult()});

    socket.ReverseDnsLookup("not an address");
    ASSERT_TRUE(loop.RunUntil([&] { return events.errors.size() == 2; }, 5000ms));
    EXPECT_EQ(events.errors.back(), 11001);
}

TEST(DnsLookup, CancelFiresInterruptedOnceAndTheResultNeverArrives)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    socket.DnsLookup("localhost");
    socket.CancelDnsLookup();
    EXPECT_EQ(events.errors, std::vector<int>{10004});
    socket.CancelDnsLookup();  // nothing pending: nothing fires
    DrainLookups(loop);
    EXPECT_EQ(events.errors, std::vector<int>{10004});
    EXPECT_TRUE(socket.DnsResultList().empty());

    // A new lookup replaces a pending one: the first is cancelled, only the second answers.
    socket.DnsLookup("localhost");
    socket.ReverseDnsLookup("127.0.0.1");
    DrainLookups(loop);
    ASSERT_EQ(events.errors, (std::vector<int>{10004, 10004, 0}));
    EXPECT_EQ(socket.DnsResultList().size(), 1u);
    EXPECT_NE(socket.DnsResult(), "127.0.0.1");  // a name, not the forward lookup's address
}

TEST(DnsLookup, DestroyedSocketGetsNothingAndItsHandlerNeverRuns)
{
    EventLoop loop;
    int fired = 0;
    {
        auto socket = std::make_unique<TCustomWSocket>();
        socket->OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t) { ++fired; };
        socket->DnsLookup("localhost");
        socket->ReverseDnsLookup("127.0.0.1");  // cancels the first: fired == 1
    }
    EXPECT_EQ(fired, 1);  // destruction cancels quietly
    DrainLookups(loop);
    EXPECT_EQ(fired, 1);  // a use after free here is what the sanitizers would report
}

TEST(DnsLookup, AbortCancelsAPendingLookup)
{
    EventLoop loop;
    TCustomWSocket socket;
    LookupEvents events;
    events.Bind(socket);
    socket.DnsLookup("localhost");
    socket.Abort();
    EXPECT_EQ(events.errors, std::vector<int>{10004});
    DrainLookups(loop);
    EXPECT_EQ(events.errors.size(), 1u);
}
