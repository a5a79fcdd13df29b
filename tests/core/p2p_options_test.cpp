// The P2P options as the window drives them, against the operator's services: the list
// download and merge, the sign-up and account registration, Apply with its shared-memory
// publish, what reaches the settings file; and a whole index upload through tinyproxy and
// through dante, chosen by the connection settings.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "../p2p/operator_fixture.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/p2p_options_model.h"
#include "core/server_controller.h"

namespace corvane {
namespace {

using testing::OperatorService;

struct BoxView : SilentServerView {
    std::vector<std::string> errors, helps, log;
    bool ShowMessageBox(MessageKind kind, const std::string& text) override
    {
        (kind == MessageKind::Error ? errors : helps).push_back(text);
        return true;
    }
    void AppendScreenLog(const std::string& line) override { log.push_back(line); }
};

class P2POptionsTest : public ::testing::Test {
protected:
    P2POptionsTest()
    {
        SetProgramFolder(home.Path());
        controller.startUp();
        controller.connectionSettings().NetworkListURL = service.Url("/list.txt");
    }
    ~P2POptionsTest() override { model.reset(); }
    std::vector<P2PNetwork>& Entries() { return controller.networkList().Entries(); }
    // The dialog as an operator fills it in and confirms it.
    static P2POptionsModel::SignUpDialog Typing(SignUpFields fields)
    {
        return [fields](SignUpForm& form) {
            form.Fields() = fields;
            form.Confirm();
        };
    }

    corvane::testing::ScratchFolder home;
    OperatorService service;
    EventLoop loop;
    EventLoopWindowThread window{loop};
    BoxView view;
    serverController controller{window, view, {"/p2p"}};
    std::unique_ptr<P2POptionsModel> model = std::make_unique<P2POptionsModel>(controller);
};

TEST_F(P2POptionsTest, TheDownloadedListIsMergedAndAFailedOrEmptyOneKeepsEveryAccount)
{
    service.Script({"/list.txt reply Alpha*host/base\\r\\nBrinvale One*" + service.Url("") + "\\r\\n",
                    "/list.txt status 404 no list here", "/list.txt big 2000000", "/list.txt reply ",
                    "/list.txt reply Other*x\\r\\n"});
    ASSERT_TRUE(model->RetrieveNetworkList());
    const auto rows = model->Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name + " " + rows[0].address + " " + rows[0].userName, "Alpha host/base/v6 <unregistered>");
    Entries()[0].userName = "bob";

    for (int failing = 0; failing < 3; ++failing) EXPECT_FALSE(model->RetrieveNetworkList());
    EXPECT_EQ(view.errors, std::vector<std::string>(2, kUnreachableText));  // the empty list shows nothing
    ASSERT_EQ(Entries().size(), 2u);
    EXPECT_EQ(Entries()[0].userName, "bob");

    ASSERT_TRUE(model->RetrieveNetworkList());
    ASSERT_EQ(model->Rows().size(), 1u);
    EXPECT_EQ(model->Rows()[0].name, "Other");
}

TEST_F(P2POptionsTest, OnlyNewAccountsOfBrinvaleNetworksAreRegisteredAndARefusalClearsThem)
{
    controller.networkProfile() = NetworkProfile{"a@b.c", "112345", "DE", "4"};
    for (const char* name : {"brinVALE test", "Elsewhere"}) {
        P2PNetwork network;
        network.name = name;
        network.address = service.Url("/v6");
        Entries().push_back(network);
    }
    service.Script({"/v6/user.php reply 200 welcome", "/v6/user.php reply 500 Taken"});
    const P2POptionsModel::NetworkRow row = model->RegisterOrEdit(0, Typing({"bob", "p&w", "p&w", false}));
    EXPECT_EQ(row.userName, "bob");
    EXPECT_TRUE(row.ticked);
    auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/v6/user.php");
    EXPECT_EQ(requests[0].body, "input=DE*112345*a%40b%2ec&username=bob&password=p%26w&action=insert");
    EXPECT_EQ(view.helps, std::vector<std::string>{"User bob registered and ready for indexing on brinVALE test .."});
    EXPECT_NE(std::find(view.log.begin(), view.log.end(), "Registering user bob with brinVALE test"), view.log.end());

    model->RegisterOrEdit(1, Typing({"eve", "pw", "pw", false}));  // not a Brinvale network: only stored
    model->RegisterOrEdit(0, Typing({"old", "pw", "xx", true}));   // an existing account is not registered
    EXPECT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(Entries()[1].userName, "eve");

    model->RegisterOrEdit(0, Typing({"new", "pw", "pw", false}));  // a new account of the operator's: registered
    ASSERT_EQ(service.Requests().size(), 2u);
    const std::string refusal =
        "Taken P2P account (brinVALE test) is disabled. To enable, go to Server -> P2P Options.";
    EXPECT_EQ(view.errors, std::vector<std::string>{refusal});
    EXPECT_EQ(model->Rows()[0].userName, kUnregisteredText);

    model->RegisterOrEdit(-1, {});
    EXPECT_EQ(view.errors.back(), kSelectNetworkFirstText);
}

TEST_F(P2POptionsTest, EditingARegisteredAccountKeepsItAndACancelledEditChangesNothing)
{
    P2PNetwork network;
    network.name = "Brinvale Main";
    network.address = service.Url("/v6");
    Entries().push_back(network);
    // Only the first registration may reach the service: a second one would be answered "taken".
    service.Script({"/v6/user.php reply 200 welcome", "/v6/user.php reply 500 Taken"});
    model->RegisterOrEdit(0, Typing({"bob", "pw", "pw", false}));
    ASSERT_EQ(service.Requests().size(), 1u);

    bool shownAsExisting = false;
    const auto confirmUnchanged = [&shownAsExisting](SignUpForm& form) {
        shownAsExisting = form.Fields().existingUser;
        form.Confirm();
    };
    EXPECT_EQ(model->RegisterOrEdit(0, confirmUnchanged).userName, "bob");
    EXPECT_TRUE(shownAsExisting);
    model->RegisterOrEdit(0, [](SignUpForm& form) { form.Fields().userName = "typed, then cancelled"; });
    EXPECT_EQ(service.Requests().size(), 1u);
    EXPECT_EQ(Entries()[0].userName, "bob");
    EXPECT_EQ(Entries()[0].password, "pw");
    EXPECT_TRUE(Entries()[0].enabled);
    EXPECT_EQ(view.errors, std::vector<std::string>{});
}

TEST_F(P2POptionsTest, ApplyStoresTheProfilePublishesTheAccountsAndTheFileKeepsThemPrivately)
{
    controller.networkProfile().Zipcode = "112345";
    controller.networkProfile().ConType = "99";
    const P2POptionsModel::ProfileFields shown = model->ProfileOfSettings();
    EXPECT_EQ(shown.zipcode, "12345");
    EXPECT_EQ(shown.connectionIndex, 0u);
    P2PNetwork network;
    network.name = "Alpha";
    network.userName = "bob";
    network.password = "abc";
    network.indexServerUrl = "http://idx/v6";
    Entries() = {network, P2PNetwork{}};
    Entries()[1].name = "Beta";
    model->Apply(P2POptionsModel::ProfileFields{"", CountryCodeIndex("DE"), "me@x", 5},
                 {{"Alpha", "", "", true}, {"Beta", "", "", false}});
    EXPECT_EQ(controller.networkProfile().Zipcode, "1");
    EXPECT_EQ(controller.networkProfile().Country, "DE");
    EXPECT_EQ(controller.networkProfile().ConType, "5");
    EXPECT_TRUE(Entries()[0].enabled);
    ASSERT_TRUE(controller.networkListPublished());
    const std::string published = EncodeNetworkEntry(Entries()[0]) + "\r\n";
    EXPECT_EQ(home.Get("corvaneserver.mmf").substr(0, published.size() + 1), published + '\0');

    model.reset();
    controller.shutDown();
    struct stat info {};
    ASSERT_EQ(::stat(home.Join("CorvaneServer.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const IniImage stored = IniImage::Open(home.Join("CorvaneServer.ini"));
    P2PNetworkList again;
    again.Load(stored);
    ASSERT_EQ(again.Entries().size(), 2u);
    EXPECT_EQ(again.Entries()[0].password, "abc");
    EXPECT_TRUE(again.Entries()[0].indexServerUrl.empty());
    EXPECT_EQ(stored.ReadString("Network", "Email", ""), "me@x");
}

// A whole run's exchange, the route chosen by the connection settings as the controller
// applies them to each new client.
class ProxiedUploadTest : public testing::SharedDriveTest {
protected:
    void RunThrough(const ConnectionSettings& settings)
    {
        Grant("Anonymous", "C:\\Pub\\", {FolderFlag::list, FolderFlag::CWD});
        Put("Pub/a.txt");
        testing::NetworkController controller;
        controller.prepare = [&settings](THttpCli& client) { applyHttpSettings(settings, client); };
        controller.AddNetwork("Net", service);
        service.Script({"/v6/getwindex.php reply " + service.Url("/idx/")});
        testing::ListIndex index;
        IndexThread run(&index, controller, accounts, {"iC:\\Pub"}, IndexFile());
        run.Start();
        run.Join();
        EXPECT_TRUE(controller.messages.empty()) << controller.messages.front();
        EXPECT_EQ(controller.uploadFlags, std::vector<bool>{true});
        const auto requests = service.Requests();
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requests[2].path, "/idx/v6/file.php");
        EXPECT_NE(requests[2].body.find("%2fC%3a%2fPub%2f%2aa%2etxt%2a"), std::string::npos) << requests[2].body;
    }
    OperatorService service;
};

TEST_F(ProxiedUploadTest, ThroughTinyproxy)
{
    if (!testing::ProgramInstalled("tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
    testing::TinyProxy proxy;
    ASSERT_TRUE(proxy.Ready());
    ConnectionSettings settings;
    settings.HTTPConnectionType = kHttpProxy;
    settings.HTTPProxyServer = "127.0.0.1";
    settings.HTTPProxyPort = proxy.Port();
    RunThrough(settings);
}

TEST_F(ProxiedUploadTest, ThroughDanteWithSocks5)
{
    if (!testing::DanteServer::CanRun()) GTEST_SKIP() << "danted is not installed or the test is not root";
    testing::DanteServer dante(false);
    ASSERT_TRUE(dante.Ready());
    ConnectionSettings settings;
    settings.HTTPConnectionType = kHttpSocks5;
    settings.HTTPSOCKSServer = "127.0.0.1";
    settings.HTTPSOCKSPort = dante.Port();
    RunThrough(settings);
}

}  // namespace
}  // namespace corvane
