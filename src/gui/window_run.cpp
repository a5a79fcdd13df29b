#include "gui/window_run.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "gui/main_form.h"
#include "platform/stop_signals.h"

namespace corvane {
namespace {

constexpr const char* kNoWindow =
    "corvane-server: the administration window cannot be shown (%s); run 'corvane-server --headless' to serve "
    "without it\n";

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The toolkit ends the process when it cannot reach the display; the operator is told what
// to do instead of seeing a bare abort.
void ToolkitMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtFatalMsg) {
        if (type != QtDebugMsg && type != QtInfoMsg) std::fprintf(stderr, "corvane-server: %s\n", qPrintable(message));
        return;
    }
    std::fprintf(stderr, kNoWindow, qPrintable(message));
    std::_Exit(1);
}

}  // namespace

bool WindowDisplayAvailable(std::string& why)
{
    if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY")) return true;
    why = "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
}

int RunMainWindow(int argc, char** argv, const std::vector<std::string>& controllerArguments,
                  const WindowCompanion& companion)
{
    std::string why;
    if (!WindowDisplayAvailable(why)) {
        std::fprintf(stderr, kNoWindow, why.c_str());
        return 1;
    }
    qInstallMessageHandler(ToolkitMessages);
    // Before the toolkit starts threads of its own, so that every thread leaves them blocked.
    StopSignals stopSignals;
    QApplication application(argc, argv);
    QApplication::setApplicationName("Corvane Server");
    QApplication::setDesktopFileName("corvane-server");
    // The window closes to the tray; only "Shut Down" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    TMainForm form(controllerArguments);
    QObject::connect(&form, &TMainForm::shutDownComplete, &application, &QApplication::quit, Qt::QueuedConnection);
    // SIGINT and SIGTERM shut down as "Shut Down" does, without asking: the sender decided.
    QSocketNotifier stopNotifier(stopSignals.Fd(), QSocketNotifier::Read);
    stopNotifier.setEnabled(stopSignals.Fd() >= 0);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &form, [&form, &stopSignals] {
        if (stopSignals.Take()) form.ShutDownWithoutAsking();
    });
    std::function<void()> endCompanion;
    if (companion)
        endCompanion =
            companion(form.Controller(), form.WindowThreadOfForm(), [&form] { form.StoreChangedElsewhere(); });
    // Ended before the controller shuts down, so that no command reaches it afterwards.
    const auto end = [&endCompanion] {
        if (!endCompanion) return;
        const std::function<void()> ending = std::move(endCompanion);
        endCompanion = nullptr;
        ending();
    };
    QObject::connect(&form, &TMainForm::shuttingDown, &form, end, Qt::DirectConnection);
    form.show();
    const int status = QApplication::exec();
    end();
    return status;
}

}  // namespace corvane
