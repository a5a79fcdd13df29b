// What the operator sees of the server: the screen log, the status bar, the counters and the
// service state. The controller and the server thread (inside closures run on the window
// thread) write to it; the administration window draws it, the headless program prints the
// screen log on standard output and shows nothing else. Window thread only.
#pragma once

#include <string>

#include "core/cache_view_rows.h"

namespace corvane {

enum class ServiceKind { Ftp, Http };

class ServerView {
public:
    virtual ~ServerView() = default;

    virtual void AppendScreenLog(const std::string& line) = 0;
    virtual void ClearScreenLog() = 0;
    // The first panel of the status bar.
    virtual void ShowStatusText(const std::string& text) = 0;
    // "N users" / "No users" texts of the FTP and HTTP client counts.
    virtual void ShowClientCounts(const std::string& ftpText, const std::string& httpText) = 0;
    // The byte counter labels: FTP "x UL, y DL", HTTP "z DL".
    virtual void ShowFtpCounters(const std::string& text) = 0;
    virtual void ShowHttpCounter(const std::string& text) = 0;
    // A service shown as started, or as stopped (also after a failed start).
    virtual void ShowServiceState(ServiceKind kind, bool started) = 0;
    // The settings page, shown on the first run.
    virtual void ShowSettingsPage() = 0;
    // The session view's rows changed.
    virtual void RefreshSessionView() = 0;
    virtual void ClearCacheView() = 0;
    // The cache page's list, hit-rate panel and size panel, filled anew.
    virtual void ShowCacheView(const CacheViewContents&) {}
    // The wait cursor while a command is being handed to the server thread.
    virtual void ShowBusy(bool busy) = 0;
    // A message box for the operator with the caption and icon of its kind; returns once it
    // was closed. False when this view shows no boxes: the controller then writes the text to
    // the log instead (the headless program), and nothing waits for an operator.
    enum class MessageKind { Error, Help };
    virtual bool ShowMessageBox(MessageKind kind, const std::string& text)
    {
        (void)kind;
        (void)text;
        return false;
    }
};

// A view that shows nothing (the base of the headless view, and of tests that only watch a
// few of the calls).
class SilentServerView : public ServerView {
public:
    void AppendScreenLog(const std::string&) override {}
    void ClearScreenLog() override {}
    void ShowStatusText(const std::string&) override {}
    void ShowClientCounts(const std::string&, const std::string&) override {}
    void ShowFtpCounters(const std::string&) override {}
    void ShowHttpCounter(const std::string&) override {}
    void ShowServiceState(ServiceKind, bool) override {}
    void ShowSettingsPage() override {}
    void RefreshSessionView() override {}
    void ClearCacheView() override {}
    void ShowBusy(bool) override {}
};

}  // namespace corvane
