// corvane-server: the server program. `--headless` runs it as a service without the
// administration window (see headless_run.h); a command word (user, group, folder, ip,
// sessions, status, ...) administers a home instead (see admin_front.h).
#include <clocale>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/admin_commands.h"
#include "app/admin_front.h"
#include "app/tls_commands.h"
#include "app/headless_run.h"
#include "common/program_folder.h"
#include "platform/home_folder.h"
#include "platform/home_lock.h"
#include "platform/host_signals.h"
#ifdef CORVANE_WITH_WINDOW
#include "app/control_commands.h"
#include "app/control_protocol.h"
#include "app/window_control.h"
#include "gui/window_run.h"
#endif

namespace {

constexpr const char* kVersion = "corvane-server " CORVANE_VERSION;

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: corvane-server [/p2p] [--headless] [--home DIR]\n"
                 "       corvane-server [--home DIR] COMMAND ...\n"
                 "\n"
                 "Shares local folders over FTP (and HTTP), with accounts and folder rights.\n"
                 "\n"
                 "  (none)       open the administration window (needs a display)\n"
                 "  --headless   run as a service, without the administration window\n"
                 "  --home DIR   folder of the settings and account files (default: $CORVANE_HOME,\n"
                 "               else $XDG_DATA_HOME/corvane-server, else ~/.local/share/corvane-server)\n"
                 "  /p2p         first argument when started by the P2P companion client\n"
                 "  --help       show this text and exit\n"
                 "  --version    show the version and exit\n"
                 "\n"
                 "SIGINT or SIGTERM stops the services, saves the settings and accounts, and exits;\n"
                 "SIGHUP reloads CorvaneServer.ini and the certificate; SIGUSR1 reopens the log file.\n"
                 "\n"
                 "%s%s",
                 corvane::AdminUsageText(), corvane::TlsUsageText());
}

struct Options {
    bool headless = false;
    std::string home;
    std::vector<std::string> controllerArguments;  // what the controller sees ("/p2p" first)
    std::vector<std::string> command;              // an administration command and its words
};

// Parses the command line; returns an exit code when the program should stop at once.
int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options.command.empty()) {
            options.command.push_back(arg);  // everything after the command word is the command's
        } else if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        } else if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--home") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "corvane-server: --home needs a folder\n");
                return 2;
            }
            options.home = argv[++i];
        } else if (i == 1 && (arg == "/p2p" || arg == "/P2P")) {
            options.controllerArguments.push_back(arg);
        } else if (corvane::IsAdminCommandWord(arg) || corvane::IsTlsCommandWord(arg)) {
            options.command.push_back(arg);
        } else {
            std::fprintf(stderr, "corvane-server: unknown argument '%s'\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    if (options.headless && !options.command.empty()) {
        std::fprintf(stderr, "corvane-server: --headless runs the server; give a command without it\n");
        return 2;
    }
    return -1;
}

#ifdef CORVANE_WITH_WINDOW
// The administration commands reach the window's server through the control socket, as they
// reach the headless one.
corvane::WindowCompanion ControlSocketBesideTheWindow(const std::string& home)
{
    return [home](corvane::serverController& controller, corvane::WindowThread& window,
                  std::function<void()> storeChanged) -> std::function<void()> {
        auto socket = std::make_shared<corvane::WindowControlSocket>(
            window, home + "/" + corvane::kControlSocketName,
            [&controller, home, storeChanged](const corvane::AdminRequest& request) {
                corvane::AdminReply reply = corvane::RunControlCommand(controller, home, request);
                if (reply.changed && reply.status == corvane::kAdminDone) storeChanged();
                return reply;
            });
        if (!socket->Listening())
            std::fprintf(stderr,
                         "corvane-server: no control socket (%s); administration commands cannot reach this server\n",
                         socket->Error().c_str());
        return [socket]() mutable { socket.reset(); };
    };
}
#endif

// The server with its administration window, on the home it holds.
int RunWindowed(int argc, char** argv, const Options& options)
{
#ifdef CORVANE_WITH_WINDOW
    std::string why;
    if (!corvane::WindowDisplayAvailable(why)) return corvane::RunMainWindow(argc, argv, options.controllerArguments);
    const std::string home = corvane::ResolveHomeFolder(options.home);
    if (home.empty()) {
        std::fprintf(stderr, "corvane-server: cannot find or create the home folder\n");
        return 1;
    }
    std::unique_ptr<corvane::HomeLock> lock = corvane::TakeServerHome(home);
    if (!lock) return 1;
    lock->NameHolder();
    corvane::SetProgramFolder(home);
    return corvane::RunMainWindow(argc, argv, options.controllerArguments, ControlSocketBesideTheWindow(home));
#else
    (void)argc;
    (void)argv;
    (void)options;
    std::fprintf(stderr,
                 "corvane-server: this build has no administration window (Qt 6 was not found when it was built); "
                 "run 'corvane-server --headless' to serve without it\n");
    return 2;
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    corvane::IgnoreConnectionFaultSignals();
    Options options;
    const int early = ParseOptions(argc, argv, options);
    if (early >= 0) return early;
    try {
        if (!options.command.empty()) return corvane::RunAdministration(options.home, options.command);
        std::setlocale(LC_TIME, "");  // log time stamps in the operator's date and time format
        if (!options.headless) return RunWindowed(argc, argv, options);
        return corvane::RunHeadless(options.home, options.controllerArguments);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvane-server: %s\n", e.what());
        return 1;
    }
}
