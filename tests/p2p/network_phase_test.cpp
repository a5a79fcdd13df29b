// The network phase of an indexer run against the operator's services (a real HTTP peer): what
// is sent, in which chunks and with which encoding, and how every kind of answer ends.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/url_codec.h"
#include "p2p/index_file.h"
#include "p2p/index_lines.h"
#include "p2p/index_thread.h"
#include "operator_fixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::RecordedRequest;

constexpr const char* kTail = "&username=alice&password=secret&country=DE&ip=198.51.100.7&port=2121&contype=5"
                              "&version=6&protocol=0&zipcode=0&action=";
constexpr const char* kLookupFailed =
    "Index server IP retrieval failed: Connection error! Please restart the server if you want to retry joining the "
    "network.";
constexpr const char* kUploadError =
    "File index upload failed: Connection error. Please restart the server if you want to retry joining the network.";
constexpr const char* kUploadTimedOut =
    "File index upload failed: Connection timed out! Please restart the server if you want to retry joining the "
    "network.";

std::string Refusal(const std::string& text, const std::string& network)
{
    return text + " P2P account (" + network + ") is disabled. To enable, go to Server -> P2P Options.";
}

class NetworkPhaseTest : public testing::SharedDriveTest {
protected:
    NetworkPhaseTest()
    {
        Grant("Anonymous", "C:\\Pub\\", {FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit});
        Put("Pub/a.txt");
        controller.settings.countryCode = "DE";
        controller.settings.ftpPort = 2121;
        controller.settings.connectionType = "5";
        controller.settings.firstRun = false;
    }
    IndexThread& Run(std::chrono::milliseconds requestLimit = kMostRequestTime)
    {
        thread = std::make_unique<IndexThread>(&index, controller, accounts, std::vector<std::string>{"iC:\\Pub"},
                                               IndexFile());
        thread->SetRequestTimeLimit(requestLimit);
        thread->Start();
        thread->Join();
        return *thread;
    }
    // The lookup names the index server under /idx/; the index server's answers follow.
    void ScriptIndexServer(const std::vector<std::string>& fileAnswers)
    {
        std::vector<std::string> lines{"/v6/getwindex.php reply " + service.Url("/idx/")};
        for (const std::string& answer : fileAnswers) lines.push_back("/idx/v6/file.php " + answer);
        service.Script(lines);
    }
    bool Logged(const std::string& line) const
    {
        return std::find(controller.log.begin(), controller.log.end(), line) != controller.log.end();
    }
    std::vector<RecordedRequest> Posts() const
    {
        std::vector<RecordedRequest> posts;
        for (RecordedRequest& r : service.Requests())
            if (r.method == "POST") posts.push_back(std::move(r));
        return posts;
    }

    testing::OperatorService service;
    testing::NetworkController controller;
    testing::ListIndex index;
    std::unique_ptr<IndexThread> thread;
};

TEST_F(NetworkPhaseTest, SendsTheAddressOnceThenTheNewLinesInChunksOfAHundred)
{
    ASSERT_NE(service.Port(), 0);
    for (int i = 1; i < 250; ++i) Put("Pub/f" + std::to_string(1000 + i) + ".txt");
    controller.AddNetwork("Net", service);
    ScriptIndexServer({});
    const IndexThread& run = Run();
    ASSERT_EQ(run.newLines().size(), 250u);

    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].method + " " + requests[0].target, "GET /v6/getwindex.php?username=alice");
    EXPECT_EQ(requests[1].body,
              "input=&username=alice&password=secret&ip=198.51.100.7&port=2121&protocol=0&action=updateip");
    const std::size_t sizes[] = {100, 100, 50};
    std::size_t start = 0;
    for (int chunk = 0; chunk < 3; ++chunk) {
        const RecordedRequest& post = requests[2 + chunk];
        EXPECT_EQ(post.path, "/idx/v6/file.php");
        EXPECT_TRUE(post.HeaderHas("Content-Type: application/x-www-form-urlencoded")) << post.header;
        const std::string tail = std::string(kTail) + "insert";
        ASSERT_GT(post.body.size(), tail.size());
        EXPECT_EQ(post.body.substr(post.body.size() - tail.size()), tail);
        const std::string lines = post.body.substr(6, post.body.size() - tail.size() - 6);
        // Only letters and digits travel as they are: no raw separator of any kind.
        EXPECT_EQ(lines.find_first_of("*|/&=. "), std::string::npos);
        std::string expected;
        for (std::size_t i = start; i < start + sizes[chunk]; ++i)
            expected += UploadLineOf(run.newLines()[i]) + (i + 1 < start + sizes[chunk] ? "|" : "");
        EXPECT_EQ(UrlDecode(lines), expected);
        start += sizes[chunk];
    }
    EXPECT_EQ(controller.indexServer, service.Url("/idx/v6"));
    EXPECT_EQ(controller.uploadFlags, std::vector<bool>{true});
    EXPECT_TRUE(Logged("! Seeking optimal index server on Net"));
    EXPECT_TRUE(Logged("! Username alice has registered Dravik server at 198.51.100.7 at Net"));
    EXPECT_EQ(ReadIndexFile(IndexFile()).size(), 250u);
    EXPECT_TRUE(controller.messages.empty());
}

TEST_F(NetworkPhaseTest, ARefusalClearsTheAccountAndTheNextRunPassesTheNetworkOver)
{
    controller.AddNetwork("Net", service);
    ScriptIndexServer({"reply 200 OK", "reply 500 Sorry"});
    Run();
    EXPECT_EQ(controller.messages, std::vector<std::string>{Refusal("Sorry", "Net")});
    EXPECT_TRUE(Logged("! " + Refusal("Sorry", "Net")));
    EXPECT_TRUE(Logged("! Dravik index upload operation completed unsuccessfully."));
    EXPECT_EQ(controller.uploadFlags, std::vector<bool>{false});
    EXPECT_TRUE(controller.list.Entries()[0].userName.empty());
    EXPECT_EQ(controller.list.Entries()[0].password, "secret");
    EXPECT_FALSE(std::filesystem::exists(IndexFile()));

    const std::size_t sent = service.Requests().size();
    controller.messages.clear();
    Run();
    EXPECT_EQ(service.Requests().size(), sent);
    EXPECT_TRUE(controller.messages.empty());
}

TEST_F(NetworkPhaseTest, TwoNetworksGetTheAddressUpdateOnceAndKeepTheirIndexServer)
{
    controller.AddNetwork("One", service);
    controller.AddNetwork("Two", service);
    ScriptIndexServer({"reply abc"});  // three letters count as accepted
    Run();
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 3u);
    EXPECT_NE(posts[0].body.find("action=updateip"), std::string::npos);
    EXPECT_NE(posts[1].body.find("action=insert"), std::string::npos);
    EXPECT_NE(posts[2].body.find("action=insert"), std::string::npos);
    EXPECT_EQ(controller.uploadFlags, (std::vector<bool>{true, true}));
    for (const P2PNetwork& network : controller.list.Entries())
        EXPECT_EQ(network.indexServerUrl, service.Url("/idx/v6"));
}

TEST_F(NetworkPhaseTest, ALookupReplyWithOrWithoutItsFinalSlashLeadsToTheSameIndexServer)
{
    for (const std::string& reply : {service.Url("/idx/"), service.Url("/idx"), service.Url("/idx/") + "\r\n"}) {
        controller.list.Entries().clear();
        controller.AddNetwork("Net", service);
        service.Script({"/v6/getwindex.php reply " + reply});
        const std::size_t before = Posts().size();
        Run();
        const auto posts = Posts();
        ASSERT_GT(posts.size(), before) << reply;
        EXPECT_EQ(posts.back().path, "/idx/v6/file.php") << reply;
    }
}

// Every failure ends as a failure, with its message; only the service's own refusal clears
// the account.
TEST_F(NetworkPhaseTest, FailedLookupsAndUploadsSayWhyAndKeepTheAccountUnlessRefused)
{
    const std::string big = "big " + std::to_string(2 * 1024 * 1024);
    struct Case {
        std::vector<std::string> script;
        std::string message;
        bool accountKept;
    } cases[] = {
        {{"/v6/getwindex.php status 404 not here at all"}, kLookupFailed, true},
        {{"/v6/getwindex.php redirect"}, kLookupFailed, true},
        {{"/v6/getwindex.php close"}, kLookupFailed, true},
        {{"/v6/getwindex.php " + big}, kLookupFailed, true},
        {{"/v6/getwindex.php endless"}, kLookupFailed, true},
        {{"/v6/getwindex.php reply 403 Unknown user"}, Refusal("Unknown user", "Net"), false},
        {{"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php reply "}, kUploadTimedOut, true},
        {{"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php close"}, kUploadError, true},
        {{"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php status 404 500 gone"},
         kUploadError,
         true},
        {{"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php " + big}, kUploadError, true},
    };
    for (const Case& c : cases) {
        controller.list.Entries().clear();
        controller.messages.clear();
        controller.AddNetwork("Net", service);
        service.Script(c.script);
        Run();
        EXPECT_EQ(controller.messages, std::vector<std::string>{c.message}) << c.script.back();
        EXPECT_EQ(controller.list.Entries()[0].userName.empty(), !c.accountKept) << c.script.back();
        EXPECT_FALSE(std::filesystem::exists(IndexFile())) << c.script.back();
    }
}

TEST_F(NetworkPhaseTest, AStopEndsAPendingRequestSilentlyAndAServiceThatNeverAnswersTimesOut)
{
    controller.AddNetwork("Net", service);
    // Hanging in the lookup, in the address update, and in the first add request.
    const std::vector<std::vector<std::string>> scripts{
        {"/v6/getwindex.php hang"},
        {"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php hang"},
        {"/v6/getwindex.php reply " + service.Url("/idx/"), "/idx/v6/file.php reply 200 OK", "/idx/v6/file.php hang"}};
    std::size_t seen = 0;
    for (const auto& script : scripts) {
        controller.list.Entries()[0].indexServerUrl.clear();
        service.Script(script);
        thread = std::make_unique<IndexThread>(&index, controller, accounts, std::vector<std::string>{"iC:\\Pub"},
                                               IndexFile());
        thread->Start();
        seen += script.size();
        while (service.Requests().size() < seen) std::this_thread::sleep_for(10ms);
        const auto stopped = std::chrono::steady_clock::now();
        thread->requestStop();
        thread->Join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 10s) << script.back();  // a hang lasts 60 s
        EXPECT_TRUE(controller.messages.empty()) << script.back();
        EXPECT_EQ(controller.list.Entries()[0].userName, "alice");
    }
    controller.list.Entries()[0].indexServerUrl.clear();
    service.Script({"/v6/getwindex.php hang"});

    Run(1s);
    EXPECT_EQ(controller.messages, std::vector<std::string>{kLookupFailed});
}

TEST_F(NetworkPhaseTest, NetworksWithoutAccountOrTickAndMachinesWithoutARealAddressSendNothing)
{
    Run();
    EXPECT_EQ(controller.addressQueries, 0);  // an empty list makes no address test

    controller.AddNetwork("Off", service, "alice", false);
    controller.AddNetwork("NoAccount", service, "");
    Run();
    EXPECT_TRUE(service.Requests().empty());
    EXPECT_TRUE(controller.messages.empty());

    controller.addresses = {"10.0.0.2", "127.0.0.1"};
    controller.settings.firstRun = true;
    Run();
    EXPECT_TRUE(controller.messages.empty());
    controller.settings.firstRun = false;
    Run();
    ASSERT_EQ(controller.messages.size(), 1u);
    EXPECT_EQ(controller.messages[0].rfind("Your computer does not have a real IP address.\nOnly computers", 0), 0u);
    EXPECT_TRUE(service.Requests().empty());
}

TEST_F(NetworkPhaseTest, NamesAndPasswordsWithFormCharactersReachTheServiceAsTyped)
{
    controller.AddNetwork("Net", service, "a&b=c d");
    controller.list.Entries()[0].password = "p+%\xc3\xbc";
    ScriptIndexServer({});
    Run();
    const auto requests = service.Requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, "/v6/getwindex.php?username=a%26b%3dc+d");
    EXPECT_EQ(requests[1].body.rfind("input=&username=a%26b%3dc+d&password=p%2b%25%c3%bc&ip=", 0), 0u)
        << requests[1].body;
}

}  // namespace
}  // namespace corvane
