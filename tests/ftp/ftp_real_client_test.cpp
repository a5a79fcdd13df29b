// Python's ftplib against a TFtpServer on a thread of its own: uploads, downloads, REST, APPE,
// STOU and ABOR in passive and in active mode, as a real client drives them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "ftp/ftp_server.h"
#include "platform/drive_map.h"
#include "platform/scratch_folder.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

constexpr const char* kTransferScript = R"PY(
import ftplib, io, sys
port = int(sys.argv[1])
data = bytes(range(256)) * 4099
for passive in (True, False):
    mode = 'passive' if passive else 'active'
    ftp = ftplib.FTP()
    ftp.connect('127.0.0.1', port, timeout=10)
    ftp.login('tester', 'secret')
    ftp.set_pasv(passive)
    print(mode, ftp.storbinary('STOR up.bin', io.BytesIO(data)))
    got = io.BytesIO()
    print(mode, ftp.retrbinary('RETR up.bin', got.write), got.getvalue() == data)
    got = io.BytesIO()
    print(mode, ftp.retrbinary('RETR up.bin', got.write, rest=1000), got.getvalue() == data[1000:])
    print(mode, ftp.storbinary('APPE up.bin', io.BytesIO(b'tail')))
    got = io.BytesIO()
    ftp.retrbinary('RETR up.bin', got.write)
    print(mode, got.getvalue() == data + b'tail')
    print(mode, ftp.storbinary('STOU', io.BytesIO(b'unique')).split("'")[0])
    conn = ftp.transfercmd('RETR up.bin')
    conn.recv(1000)
    try:
        ftp.abort()
    except ftplib.error_proto as e:
        print(mode, e)
    print(mode, ftp.getresp())
    conn.close()
    print(mode, ftp.sendcmd('NOOP'))
    print(mode, ftp.quit())
)PY";

std::string RunCommand(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t got = 0;
        while ((got = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, got);
        ::pclose(pipe);
    }
    return output;
}

}  // namespace

// A TFtpServer on a thread of its own, every login accepted, drive C: a scratch folder.
class ServerOnThread {
public:
    explicit ServerOnThread(const std::string& folder, int holdMs)
    {
        DriveMap::Configure({{'C', folder}}, folder);
        std::promise<int> port;
        thread_ = std::thread([this, &port, holdMs] {
            EventLoop loop;
            TFtpServer server;
            server.SetAddr("127.0.0.1");
            server.SetPort("0");
            server.OnClientConnect = [](TFtpServer*, TFtpCtrlSocket* client, std::uint16_t) {
                client->SetHomeDirectory("C:\\");
            };
            server.OnRetrDataSent = [holdMs](TFtpServer*, TFtpCtrlSocket* client, TWSocket*, std::uint16_t) {
                client->Transfer().HoldNextBlockMs = holdMs;
            };
            server.Start();
            loop_ = &loop;
            port.set_value(std::stoi(server.ServerWSocket().GetXPort()));
            loop.MessageLoop();
            server.DisconnectAll();
        });
        port_ = port.get_future().get();
    }
    ~ServerOnThread()
    {
        loop_->Quit();
        thread_.join();
    }
    int Port() const { return port_; }

private:
    std::thread thread_;
    EventLoop* loop_ = nullptr;
    int port_ = 0;
};

TEST(FtpRealClient, FtplibTransfersInBothModes)
{
    if (RunCommand("python3 -c 'import ftplib; print(1)' 2>/dev/null") != "1\n")
        GTEST_SKIP() << "python3 with ftplib is not here";
    ScratchFolder scratch;
    // Slow enough that the abort below finds the download still running.
    ServerOnThread server(scratch.Path(), 20);
    const int serverPort = server.Port();
    {
        std::ofstream(scratch.Join("script.py")) << kTransferScript;
    }
    const std::string output =
        RunCommand("timeout 60 python3 " + scratch.Join("script.py") + " " + std::to_string(serverPort) + " 2>&1");
    std::string expected;
    for (const char* mode : {"passive", "active"}) {
        const std::string m = mode;
        expected += m + " 226 File received ok\n";
        expected += m + " 226 File sent ok True\n";
        expected += m + " 226 File sent ok True\n";
        expected += m + " 226 File received ok\n";
        expected += m + " True\n";
        expected += m + " 250 \n";
        expected += m + " 501 Cannot RETR. ABORT requested by client\n";
        expected += m + " 225 ABOR command successful.\n";
        expected += m + " 200 Ok. Parameter was ''.\n";
        expected += m + " 221 Goodbye.\n";
    }
    EXPECT_EQ(output, expected);
}

TEST(FtpRealClient, CurlDownloadsUploadsAndResumesInBothModes)
{
    if (RunCommand("curl --version >/dev/null 2>&1 && echo yes") != "yes\n") GTEST_SKIP() << "curl is not here";
    ScratchFolder scratch;
    std::string content;
    for (int i = 0; i < 300000; ++i) content += static_cast<char>('a' + i % 26);
    scratch.Put("f.txt", content);
    ServerOnThread server(scratch.Path(), -1);
    const std::string url = "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/";
    const std::string curl = "timeout 30 curl -s -S --disable-epsv ";
    EXPECT_TRUE(RunCommand(curl + url + "f.txt") == content);
    EXPECT_TRUE(RunCommand(curl + "-P 127.0.0.1 --disable-eprt " + url + "f.txt") == content);
    EXPECT_TRUE(RunCommand(curl + "-C 1000 " + url + "f.txt") == content.substr(1000));
    EXPECT_EQ(RunCommand(curl + "-T " + scratch.Join("f.txt") + " " + url + "copy.txt 2>&1"), "");
    EXPECT_TRUE(scratch.Get("copy.txt") == content);
    EXPECT_EQ(RunCommand(curl + "-P 127.0.0.1 --disable-eprt --append -T " + scratch.Join("f.txt") + " " + url +
                         "copy.txt 2>&1"),
              "");
    EXPECT_TRUE(scratch.Get("copy.txt") == content + content);
}
