#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "net/custom_wsocket.h"
#include "net/dns_lookup_request.h"

using namespace corvane;
using namespace std::chrono_literals;

namespace {

// A connected pair on the calling thread: `client` connects to a listener, `server` is the
// accepted side.
struct ConnectedPair {
    TCustomWSocket listener;
    std::unique_ptr<TCustomWSocket> server;
    TCustomWSocket client;

    explicit ConnectedPair(EventLoop& loop)
    {
        listener.SetAddr("127.0.0.1");
        listener.SetPort("0");
        listener.OnSessionAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
            server = std::make_unique<TCustomWSocket>();
            server->Dup(sender->Accept());
        };
        listener.Listen();
        bool connected = false;
        client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t) { connected = true; };
        client.SetAddr("127.0.0.1");
        client.SetPort(listener.GetXPort());
        client.Connect();
        loop.RunUntil([&] { return connected && server != nullptr; }, 2000ms);
        client.OnSessionConnected = nullptr;
    }
};

}  // namespace

TEST(ThreadAttach, EventsAndPostedWorkFollowTheSocketToItsNewThread)
{
    EventLoop loop;
    ConnectedPair pair(loop);
    ASSERT_NE(pair.server, nullptr);
    TCustomWSocket& moved = pair.client;

    std::atomic<int> dataSentOnMain{0};
    std::thread::id dataThread, sentThread;
    std::string got;
    moved.OnDataSent = [&](TCustomWSocket*, std::uint16_t) {
        if (std::this_thread::get_id() == loop.OwnerThread()) ++dataSentOnMain;
        sentThread = std::this_thread::get_id();
    };
    moved.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
        dataThread = std::this_thread::get_id();
        got += sender->ReceiveStr();
    };

    std::string serverGot;
    pair.server->OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) { serverGot += sender->ReceiveStr(); };
    // Send posts the write notification to the owner's queue; the socket leaves before it runs.
    moved.SendStr("to the server");
    moved.ThreadDetach();
    EXPECT_FALSE(moved.Attached());
    loop.ProcessMessages();  // the queued notification finds the socket detached and is held

    std::promise<void> attached;
    std::thread worker([&] {
        EventLoop workerLoop;
        moved.ThreadAttach();
        attached.set_value();
        workerLoop.RunUntil([&] { return got == "to the client" && sentThread != std::thread::id(); }, 3000ms);
        moved.ThreadDetach();
    });
    attached.get_future().wait();
    loop.RunUntil([&] { return serverGot == "to the server"; }, 2000ms);
    pair.server->SendStr("to the client");
    worker.join();

    EXPECT_EQ(serverGot, "to the server");
    EXPECT_EQ(got, "to the client");
    EXPECT_NE(dataThread, loop.OwnerThread());
    EXPECT_NE(dataThread, std::thread::id());
    EXPECT_EQ(sentThread, dataThread);  // the held OnDataSent ran on the new owner
    EXPECT_EQ(dataSentOnMain, 0);

    // Back home: the socket works on the first thread again.
    moved.ThreadAttach();
    got.clear();
    pair.server->SendStr("again");
    ASSERT_TRUE(loop.RunUntil([&] { return got == "again"; }, 2000ms));
    EXPECT_EQ(dataThread, loop.OwnerThread());
}

TEST(ThreadAttach, WrongThreadAndDoubleAttachAreRefused)
{
    EventLoop loop;
    TCustomWSocket socket;
    try {
        socket.ThreadAttach();
        FAIL() << "an attached socket cannot attach again";
    } catch (const ESocketException& e) {
        EXPECT_STREQ(e.what(), "Cannot attach when not detached");
    }
    std::string fromOther;
    std::thread([&] {
        try {
            socket.ThreadDetach();
        } catch (const ESocketException& e) {
            fromOther = e.what();
        }
    }).join();
    EXPECT_EQ(fromOther, "Cannot detach from other thread");
    EXPECT_TRUE(socket.Attached());

    socket.ThreadDetach();
    EXPECT_THROW(socket.DnsLookup("localhost"), ESocketException);  // no endpoint to answer to
    std::string noLoop;
    std::thread([&] {
        try {
            socket.ThreadAttach();
        } catch (const ESocketException& e) {
            noLoop = e.what();
        }
    }).join();
    EXPECT_EQ(noLoop, "Cannot create a hidden window for TWSocket");
    socket.ThreadAttach();
}

TEST(ThreadAttach, SocketDestroyedOnItsNewThreadDropsWorkQueuedOnTheOldOne)
{
    EventLoop loop;
    auto* socket = new TCustomWSocket;
    bool ran = false;
    socket->OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) { ran = true; };
    socket->CloseDelayed();  // queued on this loop
    socket->ThreadDetach();
    std::thread([socket] {
        EventLoop other;
        socket->ThreadAttach();
        delete socket;
    }).join();
    loop.ProcessMessages();  // the queued close finds the socket gone
    EXPECT_FALSE(ran);
}

TEST(ThreadAttach, LookupFinishedWhileDetachedAnswersOnTheNewThread)
{
    EventLoop loop;
    TCustomWSocket socket;
    std::thread::id answeredOn;
    int error = -1;
    socket.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t e) {
        error = e;
        answeredOn = std::this_thread::get_id();
    };
    socket.DnsLookup("localhost");
    socket.ThreadDetach();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (DnsLookupRequest::InFlight() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    loop.ProcessMessages();  // nothing may answer here: the socket has left this thread
    EXPECT_EQ(error, -1);

    std::thread([&] {
        EventLoop other;
        socket.ThreadAttach();
        other.RunUntil([&] { return error != -1; }, 2000ms);
        socket.ThreadDetach();
    }).join();
    EXPECT_EQ(error, 0);
    EXPECT_NE(answeredOn, std::this_thread::get_id());
    EXPECT_FALSE(socket.DnsResultList().empty());
    socket.ThreadAttach();
}
