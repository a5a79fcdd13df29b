#include "gui/window_view.h"

#include <QApplication>

#include "gui/main_form.h"
#include "gui/qt_text.h"
#include "gui/window_helpers.h"

namespace corvane {

void WindowServerView::AppendScreenLog(const std::string& line)
{
    form_.Connections()->Log()->AppendLine(QtText(line));
}

void WindowServerView::ClearScreenLog() { form_.Connections()->Log()->ClearLines(); }

void WindowServerView::ShowStatusText(const std::string& text) { form_.StatusText()->setText(QtText(text)); }

void WindowServerView::ShowClientCounts(const std::string& ftpText, const std::string& httpText)
{
    form_.FtpStatus()->ShowUsers(QtText(ftpText));
    form_.HttpStatus()->ShowUsers(QtText(httpText));
}

void WindowServerView::ShowFtpCounters(const std::string& text) { form_.FtpStatus()->ShowTransferred(QtText(text)); }

void WindowServerView::ShowHttpCounter(const std::string& text) { form_.HttpStatus()->ShowTransferred(QtText(text)); }

void WindowServerView::ShowServiceState(ServiceKind kind, bool started)
{
    if (started) form_.ServiceStarted(kind == ServiceKind::Ftp);
    else form_.ServiceStopped(kind == ServiceKind::Ftp);
}

void WindowServerView::ShowSettingsPage() { form_.ShowSettingsEntry(); }

void WindowServerView::RefreshSessionView() { form_.Connections()->RequestRefresh(); }

void WindowServerView::ClearCacheView() { form_.Cache()->ClearView(); }

void WindowServerView::ShowCacheView(const CacheViewContents& contents) { form_.Cache()->ShowSnapshot(contents); }

// Shown task-modal; the caller (the indexer's hand-off among them) waits until it is closed.
bool WindowServerView::ShowMessageBox(MessageKind kind, const std::string& text)
{
    if (kind == MessageKind::Error) ShowError(QtText(text), &form_);
    else ShowHelp(QtText(text), &form_);
    return true;
}

void WindowServerView::ShowBusy(bool busy)
{
    if (busy) {
        if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace corvane
