// A headless server set up by hand for two P2P networks takes part in them: it runs in a
// network namespace of its own whose only public-looking address is 203.0.113.9, beside the
// operator's services on a port of that namespace. The message box of a refusal is a log
// line, and nothing waits for an operator.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "../net/http_peers.h"
#include "p2p/p2p_network_list.h"
#include "test_source_dir.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

bool NamespacesAvailable()
{
    return ::geteuid() == 0 && testing::ProgramInstalled("unshare") && testing::ProgramInstalled("ip") &&
           std::system("unshare -n true >/dev/null 2>&1") == 0;
}

P2PNetwork Entry(const std::string& name, const std::string& base)
{
    P2PNetwork network;
    network.name = name;
    network.address = "http://127.0.0.1:8080" + base + "/v6";
    network.userName = "alice";
    network.password = "secret";
    network.enabled = true;
    return network;
}

TEST(P2PHeadless, AServerWithRegisteredAccountsUploadsItsIndexAndLogsTheRefusal)
{
    if (!NamespacesAvailable()) GTEST_SKIP() << "network namespaces need root, unshare and ip";
    testing::ScratchFolder scratch;
    const std::string home = scratch.Join("home");
    WriteFile(
        home + "/usersgroups.ini",
        "[Anonymous]\r\nHome Directory=C:\\My Downloads\\\r\nGroup=All Others\r\nPassword=\r\n\r\n"
        "[All Others]\r\nHome Directory=\r\n\r\n"
        "[Usernames]\r\nUserCount=1\r\nUser0=Anonymous\r\n\r\n[Groupnames]\r\nGroupCount=1\r\nGroup0=All Others\r\n");
    WriteFile(home + "/user - Anonymous.kcf", "g-lc---iC:\\My Downloads\\*\r\n");
    WriteFile(home + "/drive_c/My Downloads/song.mp3", "la la");
    const std::string records = scratch.Join("records");
    std::filesystem::create_directories(records);
    WriteFile(records + "/script.txt",
              "/v6/getwindex.php reply http://127.0.0.1:8080/idx/\n/second/v6/getwindex.php reply 500 Sorry\n");
    {
        std::ofstream ini(home + "/CorvaneServer.ini", std::ios::binary);
        ini << "[ServerData]\r\nPort=2121\r\nServerFirstRun=0\r\nServerDesiredButNoP2PSharingMode=0\r\n\r\n[Network]"
               "\r\nCountry=DE\r\nConType=5\r\nCount=2\r\nNetwork0="
            << EncodeNetworkEntry(Entry("Brinvale Test", ""))
            << "\r\nNetwork1=" << EncodeNetworkEntry(Entry("Second", "/second")) << "\r\n";
    }
    const std::string service = std::string(CORVANE_TEST_SOURCE_DIR) + "/p2p/operator_service.py";
    const std::string program =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/corvane-server";
    std::vector<std::string> log;
    P2PNetworkList stored;
    {
        testing::ChildProcess server("unshare -n sh -c 'ip link set lo up && ip addr add 203.0.113.9/32 dev lo && "
                                     "(python3 -u " +
                                     service + " " + records + " 8080 >" + records +
                                     "/port 2>/dev/null &) && "
                                     "while [ ! -s " +
                                     records +
                                     "/port ]; do sleep 0.05; done && "
                                     "echo $$ >" +
                                     records + "/pid && exec " + program + " --headless --home " + home +
                                     " 2>/dev/null'");
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            log.push_back(server.ReadLine(1000ms));
            if (log.back().find("Brinvale Corvane Server Error: Sorry P2P account (Second)") != std::string::npos)
                break;
        }
        // The orderly stop writes the list back (the child's own end would not wait for it).
        ::kill(std::atoi(ReadFile(records + "/pid").c_str()), SIGTERM);
        for (int i = 0; i < 200; ++i) {
            std::this_thread::sleep_for(100ms);
            stored.Load(IniImage::Open(home + "/CorvaneServer.ini"));
            if (stored.Entries().size() == 2 && stored.Entries()[1].userName.empty()) break;
        }
    }
    const auto has = [&log](const std::string& text) { return std::find(log.begin(), log.end(), text) != log.end(); };
    EXPECT_TRUE(has("! Username alice has registered Dravik server at 203.0.113.9 at Brinvale Test"));
    EXPECT_TRUE(has("! Sorry P2P account (Second) is disabled. To enable, go to Server -> P2P Options."));
    EXPECT_TRUE(has("Brinvale Corvane Server Error: Sorry P2P account (Second) is disabled. To enable, go to Server -> "
                    "P2P Options."));
    const std::string update = ReadFile(records + "/req-0002.txt");
    EXPECT_NE(update.find(
                  "\r\n\r\ninput=&username=alice&password=secret&ip=203.0.113.9&port=2121&protocol=0&action=updateip"),
              std::string::npos)
        << update;
    EXPECT_NE(ReadFile(records + "/req-0003.txt").find("%2fC%3a%2fMy+Downloads%2f%2asong%2emp3%2a"), std::string::npos);
    EXPECT_NE(ReadFile(home + "/p2pIndex.ksl").find("/C:/My Downloads/song.mp3*5*"), std::string::npos);

    // The orderly stop wrote the list back, with the refused account cleared, privately.
    ASSERT_EQ(stored.Entries().size(), 2u);
    EXPECT_EQ(stored.Entries()[0].userName, "alice");
    EXPECT_TRUE(stored.Entries()[1].userName.empty());
    struct stat info {};
    ASSERT_EQ(::stat((home + "/CorvaneServer.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

}  // namespace
}  // namespace corvane
