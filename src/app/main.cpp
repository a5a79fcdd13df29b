// The headless program. Until the FTP and HTTP services exist it runs a demonstration of the
// network layer that is built: a line echo service on a loopback port.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/wsocket_server.h"
#include "platform/event_loop.h"
#include "platform/shutdown_signals.h"

namespace {

constexpr const char* kVersion = "corvane-server 0.1.0";

void PrintUsage()
{
    std::printf(
        "Usage: corvane-server --headless [--home DIR] [--echo-port PORT]\n"
        "\n"
        "  --headless         run without the administration window\n"
        "  --home DIR         folder of the settings and account files\n"
        "  --echo-port PORT   loopback port of the demonstration echo service (default 2121)\n"
        "  --help             show this text\n"
        "  --version          show the version\n");
}

// Echoes every line back to the client that sent it.
void RunEchoService(const std::string& port)
{
    corvane::EventLoop loop;
    corvane::ShutdownSignals signals(loop, [&loop](int) { loop.Quit(); });
    corvane::TWSocketServer server;
    server.SetBanner("Corvane echo service: every line you send comes back");
    server.OnClientConnect = [](corvane::TCustomWSocketServer*, corvane::TWSocketClient* client, std::uint16_t) {
        client->SetLineMode(true);
        client->OnDataAvailable = [](corvane::TCustomWSocket* sender, std::uint16_t) {
            sender->SendStr(sender->ReceiveStr());
        };
    };
    server.SetAddr("127.0.0.1");
    server.SetPort(port);
    server.Listen();
    std::printf("! Echo service listening on 127.0.0.1:%s (try: nc 127.0.0.1 %s); Ctrl-C stops it\n",
                server.GetXPort().c_str(), server.GetXPort().c_str());
    std::fflush(stdout);
    loop.MessageLoop();
    std::printf("! Echo service stopped\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string port = "2121";
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            PrintUsage();
            return 0;
        }
        if (arg == "--headless") {
            headless = true;
        } else if ((arg == "--home" || arg == "--echo-port") && i + 1 < argc) {
            if (arg == "--echo-port") port = argv[i + 1];
            ++i;
        } else if (arg == "/p2p" && i == 1) {
            // Started by the companion client; nothing differs yet.
        } else {
            std::fprintf(stderr, "corvane-server: unknown argument '%s'\n", arg.c_str());
            PrintUsage();
            return 2;
        }
    }
    if (!headless) {
        std::fprintf(stderr, "corvane-server: the administration window is not built yet; use --headless\n");
        return 2;
    }
    try {
        RunEchoService(port);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
