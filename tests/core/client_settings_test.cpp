// The connection settings, the window placement, the route they give an HTTP client, and the
// sign-up dialog's rules.
#include <gtest/gtest.h>

#include "core/connection_settings.h"
#include "core/sign_up_form.h"
#include "core/window_placement.h"
#include "net/http_cli.h"
#include "platform/event_loop.h"

namespace corvane {
namespace {

TEST(ConnectionSettings, AMissingFileGivesTheDefaultsAndTheFirstSaveWritesEveryKeyInOrder)
{
    const ConnectionSettings s = LoadConnectionSettings(IniImage());
    EXPECT_EQ(s.TimeoutPeriod, 100);
    EXPECT_EQ(s.Attempts, 3);
    EXPECT_TRUE(s.ShowLoadFormDetailsAtStartup);
    EXPECT_EQ(s.HTTPConnectionType, kHttpDirect);
    EXPECT_EQ(JoinAsciiTypes(s.ASCIITypes), kDefaultAsciiTypes);
    IniImage image;
    SaveConnectionSettings(s, image);
    const std::vector<std::string> keys = image.ReadSection("Connection");
    const std::vector<std::string> expected{"TimeoutPeriod",
                                            "KeepAlivePeriod",
                                            "Attempts",
                                            "Type",
                                            "ProxyServer",
                                            "ProxyPort",
                                            "SocksPassword",
                                            "SocksPort",
                                            "SocksUser",
                                            "SocksServer",
                                            "Mode",
                                            "AlwaysUsePassiveMode",
                                            "ShowLoadFormDetailsAtStartup",
                                            "EnableLoadFormClosingAtStartup",
                                            "AnonymousPassword",
                                            "HTTPConnectionType",
                                            "HTTPProxyServer",
                                            "HTTPProxyPort",
                                            "HTTPProxyUser",
                                            "HTTPProxyPassword",
                                            "HTTPSOCKSServer",
                                            "HTTPSOCKSPort",
                                            "HTTPSOCKSUser",
                                            "HTTPSOCKSPassword",
                                            "ASCIITypes",
                                            "P2PNetworkListURL"};
    EXPECT_EQ(keys, expected);
}

TEST(ConnectionSettings, BadNumbersTakeTheirFallbackAndAFullSectionComesBackUnchanged)
{
    const ConnectionSettings odd = LoadConnectionSettings(
        IniImage::FromText("[Connection]\r\nTimeoutPeriod=20000\r\nAttempts=abc\r\nSocksPort=2147483648\r\n"
                           "ShowLoadFormDetailsAtStartup=x\r\nASCIITypes=a  b \r\n"));
    EXPECT_EQ(odd.TimeoutPeriod, 100);
    EXPECT_EQ(odd.Attempts, 3);
    EXPECT_EQ(odd.SocksPort, 0);
    EXPECT_TRUE(odd.ShowLoadFormDetailsAtStartup);
    EXPECT_EQ(odd.ASCIITypes, (std::vector<std::string>{"a", "", "b"}));

    IniImage first;
    ConnectionSettings s;
    s.HTTPConnectionType = kHttpSocks5;
    s.HTTPSOCKSServer = "socks.example";
    s.HTTPSOCKSPassword = "pw with blanks";
    s.Mode = 7;
    s.NetworkListURL = "http://127.0.0.1:8080/list.txt";
    SaveConnectionSettings(s, first);
    IniImage second;
    SaveConnectionSettings(LoadConnectionSettings(first), second);
    EXPECT_EQ(second.ToText(), first.ToText());
}

TEST(WindowPlacement, ReadsDefaultsFallbacksAndTheMaximizedMark)
{
    const WindowPlacement fresh = LoadWindowPlacement(IniImage());
    EXPECT_EQ(fresh.Top, 40);
    EXPECT_EQ(fresh.Left, 5);
    EXPECT_EQ(fresh.Height, 434);
    EXPECT_TRUE(fresh.FirstRun);
    const WindowPlacement odd =
        LoadWindowPlacement(IniImage::FromText("[MainWindow]\r\nTop=x\r\nHeight=-500\r\nWidth=-700\r\nFirstRun=0\r\n"));
    EXPECT_EQ(odd.Top, 5);
    EXPECT_TRUE(odd.Maximized());
    EXPECT_EQ(odd.ClientHeight(), 500);
    EXPECT_EQ(odd.ClientWidth(), 700);
    EXPECT_FALSE(odd.FirstRun);
    WindowPlacement captured;
    captured.Capture(10, 20, 300, 400, true);
    IniImage image;
    SaveWindowPlacement(captured, image);
    EXPECT_EQ(image.ToText(), "[MainWindow]\r\nTop=10\r\nLeft=20\r\nHeight=-300\r\nWidth=-400\r\nFirstRun=1\r\n\r\n");
}

TEST(ApplyHttpSettings, SetsExactlyTheChosenRoute)
{
    EventLoop loop;
    ConnectionSettings s;
    s.HTTPProxyServer = "proxy";
    s.HTTPProxyPort = 3128;
    s.HTTPProxyUser = "pu";
    s.HTTPSOCKSServer = "socks";
    s.HTTPSOCKSPort = 1080;
    struct Case {
        int type;
        std::string socksUser, proxy, socksServer, level;
        TSocksAuthentication auth;
    } cases[] = {
        {kHttpDirect, "", "", "", "", socksNoAuthentication},
        {kHttpProxy, "", "proxy", "", "", socksNoAuthentication},
        {kHttpSocks4, "", "", "socks", "4", socksNoAuthentication},
        {kHttpSocks5, "", "", "socks", "5", socksNoAuthentication},
        {kHttpSocks5, "su", "", "socks", "5", socksAuthenticateUsercode},
    };
    THttpCli client;
    for (const Case& c : cases) {
        s.HTTPConnectionType = c.type;
        s.HTTPSOCKSUser = c.socksUser;
        applyHttpSettings(s, client);  // the same client each time: nothing of the last route stays
        EXPECT_EQ(client.Proxy, c.proxy) << c.type;
        EXPECT_EQ(client.ProxyPort, c.type == kHttpProxy ? "3128" : "0") << c.type;
        EXPECT_EQ(client.SocksServer(), c.socksServer) << c.type;
        if (!c.level.empty()) {
            EXPECT_EQ(client.SocksLevel(), c.level);
        }
        EXPECT_EQ(client.SocksAuthentication(), c.auth) << c.type;
    }
    HttpProxyTabFields tab = HttpProxyTabOf(s);
    EXPECT_EQ(tab.proxyPort, "3128");
    tab.proxyPort = "";
    tab.socksPort = "12x";
    ApplyHttpProxyTab(tab, s);
    EXPECT_EQ(s.HTTPProxyPort, 0);
    EXPECT_EQ(s.HTTPSOCKSPort, 0);
    EXPECT_EQ(HttpProxyTabOf(s).proxyPort, "");
}

TEST(SignUpForm, ChecksTheRulesInOrder)
{
    const std::string ok = "";
    struct Case {
        std::string user, password, retyped;
        bool existing;
        std::string refusal;
        bool passwordsEmptied;
    } cases[] = {
        {"", "pw", "pw", false, "Username cannot be empty. Please re-enter the username.", false},
        {std::string(16, 'u'), "pw", "pw", false, ok, false},
        {std::string(17, 'u'), "pw", "pw", false,
         "Username cannot exceed 16 characters; Please re-enter the password fields.", false},
        {"bob_P", "pw", "pw", false, "Username cannot have \"_p\" at the end; Please re-enter the username.", false},
        {"p", "pw", "pw", false, ok, false},
        {"bob", "", "", false, "Password field cannot be empty; Please re-enter the password.", false},
        {"bob", "12345678", "12345678", false, ok, false},
        {"bob", "123456789", "123456789", false,
         "Password cannot exceed 8 characters; Please re-enter the password fields.", true},
        {"bob", "pw", "wp", false, "Passwords do not match; Please re-enter the password fields.", true},
        {"bob", "pw", "wp", true, ok, false},
    };
    P2PNetwork network;
    network.name = "Brinvale One";
    for (const Case& c : cases) {
        SignUpForm form(SignUpForm::Mode::Register, network);
        form.Fields() = SignUpFields{c.user, c.password, c.retyped, c.existing};
        const std::optional<std::string> refusal = form.Confirm();
        EXPECT_EQ(refusal.value_or(""), c.refusal) << c.user << "/" << c.password;
        EXPECT_EQ(form.Confirmed(), c.refusal.empty());
        EXPECT_EQ(form.Fields().password.empty() && form.Fields().retypedPassword.empty(),
                  c.passwordsEmptied || c.password.empty());
        if (form.Confirmed()) {
            EXPECT_EQ(form.Network().existingAccount, c.existing);
        }
    }
    network.userName = "bob";
    network.password = "pw";
    const SignUpForm edit(SignUpForm::Mode::Edit, network);
    EXPECT_EQ(edit.Caption(), "Edit your Brinvale One Account");
    EXPECT_EQ(edit.ConfirmButton(), "Apply");
    EXPECT_EQ(SignUpForm(SignUpForm::Mode::Register, network).Caption(), "Register to Brinvale One");
    for (char key : std::string(" \"#&*;")) EXPECT_FALSE(NameKeyAllowed(key)) << key;
    EXPECT_TRUE(NameKeyAllowed('a'));
}

}  // namespace
}  // namespace corvane
