// What the server shows, drawn in the main window: the core's ServerView over TMainForm.
#pragma once

#include "core/server_view.h"

namespace corvane {

class TMainForm;

class WindowServerView : public ServerView {
public:
    explicit WindowServerView(TMainForm& form)
        : form_(form)
    {}

    void AppendScreenLog(const std::string& line) override;
    void ClearScreenLog() override;
    void ShowStatusText(const std::string& text) override;
    void ShowClientCounts(const std::string& ftpText, const std::string& httpText) override;
    void ShowFtpCounters(const std::string& text) override;
    void ShowHttpCounter(const std::string& text) override;
    void ShowServiceState(ServiceKind kind, bool started) override;
    void ShowSettingsPage() override;
    void RefreshSessionView() override;
    void ClearCacheView() override;
    void ShowCacheView(const CacheViewContents& contents) override;
    void ShowBusy(bool busy) override;
    bool ShowMessageBox(MessageKind kind, const std::string& text) override;

private:
    TMainForm& form_;
    int busyDepth_ = 0;
};

}  // namespace corvane
