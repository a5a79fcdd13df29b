// corvane-server: the server program. `--headless` runs it as a service without the
// administration window: the main thread plays the window thread, the screen log goes to
// standard output, SIGINT, SIGTERM and SIGHUP shut it down in order.
#include <clocale>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/headless_view.h"
#include "core/server_controller.h"
#include "platform/event_loop.h"
#include "platform/home_folder.h"
#include "platform/host_signals.h"
#include "platform/shutdown_signals.h"

namespace {

constexpr const char* kVersion = "corvane-server 0.2.0";

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: corvane-server [/p2p] --headless [--home DIR]\n"
                 "\n"
                 "Shares local folders over FTP (and HTTP), with accounts and folder rights.\n"
                 "\n"
                 "  --headless   run as a service, without the administration window\n"
                 "  --home DIR   folder of the settings and account files (default: $CORVANE_HOME,\n"
                 "               else $XDG_DATA_HOME/corvane-server, else ~/.local/share/corvane-server)\n"
                 "  /p2p         first argument when started by the P2P companion client\n"
                 "  --help       show this text and exit\n"
                 "  --version    show the version and exit\n"
                 "\n"
                 "SIGINT, SIGTERM or SIGHUP stops the services, saves the settings and accounts, and exits.\n");
}

struct Options {
    bool headless = false;
    std::string home;
    std::vector<std::string> controllerArguments;  // what the controller sees ("/p2p" first)
};

// Parses the command line; returns an exit code when the program should stop at once.
int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--home") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "corvane-server: --home needs a folder\n");
                return 2;
            }
            options.home = argv[++i];
        } else if (i == 1 && (arg == "/p2p" || arg == "/P2P")) {
            options.controllerArguments.push_back(arg);
        } else {
            std::fprintf(stderr, "corvane-server: unknown argument '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    return -1;
}

int RunHeadless(const Options& options)
{
    const std::string home = corvane::ResolveHomeFolder(options.home);
    if (home.empty()) {
        std::fprintf(stderr, "corvane-server: cannot find or create the home folder\n");
        return 1;
    }
    corvane::SetProgramFolder(home);
    corvane::EventLoop loop;
    // Blocked before any thread exists, so that every thread leaves them to the loop.
    corvane::ShutdownSignals signals(loop, [&loop](int) { loop.Quit(); });
    corvane::EventLoopWindowThread window(loop);
    corvane::HeadlessServerView view;
    corvane::serverController controller(window, view, options.controllerArguments);
    controller.startUp();
    std::fprintf(stderr, "corvane-server: home %s, FTP port %d\n", home.c_str(), controller.settings().Port);
    // The window starts the services when it is first painted: here, once the loop runs.
    loop.Post([&controller] { controller.startInitialServices(); });
    loop.MessageLoop();
    controller.shutDown();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    corvane::IgnoreConnectionFaultSignals();
    Options options;
    const int early = ParseOptions(argc, argv, options);
    if (early >= 0) return early;
    if (!options.headless) {
        std::fprintf(stderr, "corvane-server: the administration window is not built yet; use --headless\n");
        return 2;
    }
    std::setlocale(LC_TIME, "");  // log time stamps in the operator's date and time format
    try {
        return RunHeadless(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-server: %s\n", e.what());
        return 1;
    }
}
