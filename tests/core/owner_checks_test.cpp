// The owner-thread checks of the engines and their parts: in a debug build, a call from a thread
// that does not own the object stops the program at once instead of racing with the owner.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cache/cache_memory_stream.h"
#include "core/peer_lookups.h"
#include "core/server_thread_loop.h"
#include "ftp/ftp_data_channel.h"
#include "ftp/ftp_server.h"
#include "http/http_server.h"
#include "p2p/previous_index.h"
#include "p2p/reply_capture.h"
#include "platform/event_loop.h"

namespace corvane {
namespace {

#ifndef NDEBUG
TEST(OwnerChecksDeathTest, CallsFromAnotherThreadStopADebugBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Each case makes its object on this thread and returns the call another thread makes.
    struct Case {
        const char* name;
        std::function<std::function<void()>()> make;
    };
    const std::vector<Case> cases = {
        {"FTP engine",
         [] {
             auto loop = std::make_shared<EventLoop>();
             auto server = std::make_shared<TFtpServer>();
             return std::function<void()>([loop, server] { server->FindClientByNumber(1); });
         }},
        {"FTP data channel",
         [] {
             auto channel = std::make_shared<TFtpDataChannel>();
             return std::function<void()>([channel] { channel->Apply(TFtpDataChannel::Event::PassiveOpened); });
         }},
        {"web engine",
         [] {
             auto loop = std::make_shared<EventLoop>();
             auto server = std::make_shared<THttpServer>();
             return std::function<void()>([loop, server] { server->ClientCount(); });
         }},
        {"cached copy",
         [] {
             auto stream = std::make_shared<CacheMemoryStream>(16, 16);
             return std::function<void()>([stream] { stream->write("x", 1); });
         }},
        {"previous index",
         [] {
             auto index = std::make_shared<PreviousIndex>();
             return std::function<void()>([index] { index->FindFirst("/a"); });
         }},
        {"peer lookups",
         [] {
             auto loop = std::make_shared<EventLoop>();
             auto lookups = std::make_shared<PeerLookups>([](long long, int, const std::string&) {},
                                                          [](const std::string&) {});
             return std::function<void()>([loop, lookups] { lookups->Start(1, "127.0.0.1"); });
         }},
        {"server thread's parts",
         [] {
             auto loop = std::make_shared<EventLoop>();
             auto parts = std::make_shared<ServerThreadLoop>();
             parts->Set(loop.get());
             return std::function<void()>([loop, parts] { parts->AssertOwner(); });
         }},
        {"reply capture",
         [] {
             auto reply = std::make_shared<ReplyCapture>();
             return std::function<void()>([reply] { *reply << "x" << std::flush; });
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DEATH(
            {
                const std::function<void()> call = c.make();
                std::thread other(call);
                other.join();
            },
            "called from");
    }
}
#endif

}  // namespace
}  // namespace corvane
