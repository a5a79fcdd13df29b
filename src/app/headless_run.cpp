#include "app/headless_run.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/control_commands.h"
#include "app/control_protocol.h"
#include "app/control_server.h"
#include "app/settings_reload.h"
#include "common/program_folder.h"
#include "core/event_loop_window_thread.h"
#include "core/ftp_server_thread.h"
#include "core/headless_view.h"
#include "core/server_commands.h"
#include "core/server_controller.h"
#include "platform/event_loop.h"
#include "platform/home_folder.h"
#include "platform/home_lock.h"
#include "platform/local_socket.h"
#include "platform/service_notify.h"
#include "platform/service_signals.h"

namespace corvane {
namespace {

constexpr std::chrono::seconds kLockWait{5};
constexpr std::chrono::milliseconds kReadyPoll{10};
constexpr std::chrono::seconds kReadyWait{5};

void Say(const std::string& text) { std::fprintf(stderr, "corvane-server: %s\n", text.c_str()); }

void OnServiceSignal(int signalNumber, EventLoop& loop, serverController& controller)
{
    if (signalNumber == SIGHUP) {
        NotifyServiceManager("RELOADING=1");
        std::string message;
        ReloadSettings(controller, message);
        // The certificate pair too: a renewed one serves the next connections.
        if (ftpServerThread* thread = controller.serverThread()) thread->PostCommand(MSG_RELOAD_TLS);
        Say(message);
        controller.writeLog("! " + message);
        NotifyServiceManager("READY=1\nSTATUS=" + message);
    } else if (signalNumber == SIGUSR1) {
        controller.reopenLogFile();
        Say(controller.logFileOpen() ? "log file reopened"
                                     : "no log file to reopen (logging to a file is off or failed)");
    } else {
        loop.Quit();
    }
}

// READY once the FTP service listens (or after a while without it, so that the manager does
// not wait for ever; the log tells why it does not listen).
void NotifyReadyWhenListening(EventLoop& loop, serverController& controller)
{
    const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
    auto timer = std::make_shared<EventLoop::TimerId>(0);
    *timer = loop.AddTimer(kReadyPoll, kReadyPoll, [&loop, &controller, deadline, timer] {
        const bool listening = controller.ftpListening();
        if (!listening && std::chrono::steady_clock::now() < deadline) return;
        loop.CancelTimer(*timer);
        NotifyServiceManager(listening
                                 ? "READY=1\nSTATUS=FTP listening on port " + std::to_string(controller.settings().Port)
                                 : "READY=1\nSTATUS=FTP not listening");
    });
}

}  // namespace

// The home's lock, waiting a moment for an administration command that holds it; none (with
// the reason said) while another server runs there.
std::unique_ptr<HomeLock> TakeServerHome(const std::string& home)
{
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        std::unique_ptr<HomeLock> lock;
        std::string error;
        const HomeLock::Outcome outcome = HomeLock::TryAcquire(home, lock, error);
        if (outcome == HomeLock::Outcome::Acquired) return lock;
        if (outcome == HomeLock::Outcome::Failed) {
            Say(error);
            return nullptr;
        }
        const int probe = ConnectLocalSocket(home + "/" + kControlSocketName);
        if (probe >= 0 || std::chrono::steady_clock::now() >= deadline) {
            if (probe >= 0) CloseLocalSocket(probe);
            Say("another server runs on " + home + " (process " + std::to_string(HomeLock::LastHolder(home)) +
                "); a home is served by one server at a time");
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

int RunHeadless(const std::string& homeOption, const std::vector<std::string>& controllerArguments)
{
    const std::string home = ResolveHomeFolder(homeOption);
    if (home.empty()) {
        Say("cannot find or create the home folder");
        return 1;
    }
    std::unique_ptr<HomeLock> lock = TakeServerHome(home);
    if (!lock) return 1;
    if (lock->PreviousHolder() != 0)
        Say("process " + std::to_string(lock->PreviousHolder()) +
            " held this home and ended without stopping in order; its lock is taken over");
    lock->NameHolder();
    SetProgramFolder(home);
    EventLoop loop;
    EventLoopWindowThread window(loop);
    HeadlessServerView view;
    serverController* live = nullptr;
    // Blocked before any thread exists, so that every thread leaves them to the loop.
    ServiceSignals signals(loop, [&loop, &live](int signalNumber) {
        if (live) OnServiceSignal(signalNumber, loop, *live);
        else loop.Quit();
    });
    serverController controller(window, view, controllerArguments);
    controller.startUp();
    live = &controller;
    auto control = std::make_unique<ControlServer>(
        loop, home + "/" + kControlSocketName,
        [&controller, &home](const AdminRequest& request) { return RunControlCommand(controller, home, request); });
    if (!control->Listening())
        Say("no control socket (" + control->Error() + "); administration commands cannot reach this server");
    Say("home " + home + ", FTP port " + std::to_string(controller.settings().Port));
    // The window starts the services when it is first painted: here, once the loop runs.
    loop.Post([&loop, &controller] {
        controller.startInitialServices();
        NotifyReadyWhenListening(loop, controller);
    });
    loop.MessageLoop();
    NotifyServiceManager("STOPPING=1");
    control.reset();
    RemoveLocalSocketFile(home + "/" + kControlSocketName);
    live = nullptr;
    controller.shutDown();
    return 0;
}

}  // namespace corvane
