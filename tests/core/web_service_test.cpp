// The web service through the controller: its start and stop on the server thread, what the
// window is shown, the log lines of a request, and the byte counter.
#include <gtest/gtest.h>

#include "../http/http_engine_fixture.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/ftp_server_thread.h"
#include "core/server_controller.h"
#include "platform/executable_folder.h"
#include "window_thread_pump.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using testing::FreeLoopbackPort;

struct WebView : SilentServerView {
    std::vector<std::string> lines;
    std::vector<std::pair<ServiceKind, bool>> states;
    std::string status, httpCounter, httpCounts;
    void AppendScreenLog(const std::string& line) override { lines.push_back(line); }
    void ShowServiceState(ServiceKind kind, bool started) override { states.emplace_back(kind, started); }
    void ShowStatusText(const std::string& text) override { status = text; }
    void ShowHttpCounter(const std::string& text) override { httpCounter = text; }
    void ShowClientCounts(const std::string&, const std::string& http) override { httpCounts = http; }
    int Count(const std::string& part) const
    {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const std::string& l) { return l.find(part) != std::string::npos; }));
    }
};

class WebServiceTest : public ::testing::Test {
protected:
    WebServiceTest() { SetProgramFolder(home.Path()); }
    void WriteSettings(int httpPort, const std::string& extra = std::string())
    {
        home.Put("CorvaneServer.ini", "[ServerData]\r\nPort=" + std::to_string(FreeLoopbackPort()) +
                                          "\r\nUserSetServerIP=127.0.0.1\r\nWebServerPort=" + std::to_string(httpPort) +
                                          "\r\n" + extra);
    }
    bool PumpUntil(const std::function<bool()>& done) { return testing::PumpUntil(loop, done); }
    // A request on a new connection, read to its close while the window thread keeps serving.
    std::string Fetch(int port, const std::string& request)
    {
        testing::RawHttpClient client(port);
        client.Send(request);
        std::string received;
        bool closed = false;
        PumpUntil([&] {
            received += client.ReadAll(5ms, closed);
            return closed;
        });
        return received;
    }

    testing::ScratchFolder home;
    EventLoop loop;
    EventLoopWindowThread window{loop};
    WebView view;
};

TEST_F(WebServiceTest, StartsServesLogsCountsAndIsRememberedForTheNextRun)
{
    const int port = FreeLoopbackPort();
    WriteSettings(port);
    serverController controller(window, view, {});
    controller.startUp();
    home.Put("drive_c/My Downloads/f.txt", "0123456789");
    controller.startServices(kServiceHttp);
    // The listening flag can turn before the window has been told: wait for both.
    ASSERT_TRUE(PumpUntil([&] { return controller.httpListening() && !view.states.empty(); }));
    EXPECT_EQ(view.states.back(), std::make_pair(ServiceKind::Http, true));
    // The status text is handed apart from the service state: it may come a moment later.
    EXPECT_TRUE(PumpUntil([&] { return view.status.rfind(" IP: ", 0) == 0; })) << view.status;
    EXPECT_NE(Fetch(port, "GET /f.txt HTTP/1.0\r\n\r\n").find("\r\n\r\n0123456789"), std::string::npos);
    EXPECT_TRUE(PumpUntil([&] { return view.httpCounter == "1 KB DL"; })) << view.httpCounter;
    EXPECT_NE(Fetch(port, "HEAD /f.txt HTTP/1.0\r\n\r\n").find("Content-Length: 10"), std::string::npos);
    // The icons are in the root, under the names the pages ask for.
    EXPECT_TRUE(std::filesystem::exists(home.Join("drive_c/My Downloads/images/folder.gif")) ||
                !std::filesystem::exists(ExecutableFolder() + "/images/folder.gif"));
    controller.stopServices(kServiceHttp);
    ASSERT_TRUE(PumpUntil([&] { return !controller.httpListening() && view.Count("! HTTP 127.0.0.1 : ") >= 4; }));
    EXPECT_EQ(view.Count(" Connected"), 2);
    EXPECT_EQ(view.Count(" disconnected"), 2);
    EXPECT_EQ(view.Count("< HTTP GET /f.txt [127.0.0.1 <- 127.0.0.1 ("), 1);
    EXPECT_EQ(view.Count("< HTTP HEAD /f.txt [127.0.0.1 <- 127.0.0.1 ("), 1);
    EXPECT_TRUE(PumpUntil([&] { return view.status == "IP: Not listening"; })) << view.status;
    controller.startServices(kServiceHttp);
    ASSERT_TRUE(PumpUntil([&] { return controller.httpListening(); }));
    controller.shutDown();
    EXPECT_NE(home.Get("CorvaneServer.ini").find("RunWebServerNextTime=1\r\n"), std::string::npos);
}

TEST_F(WebServiceTest, APortInUseShowsTheServiceStoppedAndLeavesFtpAlone)
{
    const int port = FreeLoopbackPort();
    WriteSettings(port, "ServerFirstRun=0\r\n");
    const int blocker = testing::HoldLoopbackPort(port);
    ASSERT_GE(blocker, 0);
    serverController controller(window, view, {});
    controller.startUp();
    controller.startServices(kServiceBoth);
    ASSERT_TRUE(PumpUntil([&] {
        return controller.ftpListening() && !view.states.empty() &&
               view.states.back() == std::make_pair(ServiceKind::Http, false);
    }));
    EXPECT_FALSE(controller.httpListening());
    EXPECT_EQ(view.Count(kCannotRunServer), 0);
    ::close(blocker);
    controller.shutDown();
}

}  // namespace
}  // namespace corvane
