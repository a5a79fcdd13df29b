// The "Connections / Logs (Common)" page: the connected FTP users with the action filter and
// the disconnect buttons, the screen log with its buttons and the log-file options.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include "gui/screen_log.h"

namespace corvane {

class serverController;

class ConnectionsPage : public QWidget {
    Q_OBJECT
public:
    ConnectionsPage(serverController& controller, QWidget* parent = nullptr);

    // Redraws the list soon; requests that come while one is due share it.
    void RequestRefresh();
    // Redraws the list from the session table now, with the chosen filter.
    void RefreshNow();
    // Shows the log options of the settings.
    void LoadLogOptions();

    void DisconnectSelected();
    void DisconnectAll();
    void ApplyLogOptions();
    void CopyLogs();

    // The action filter's position (0 = all).
    int FilterPosition() const { return filter_->currentIndex(); }

    QTreeWidget* SessionList() const { return sessions_; }
    QComboBox* ActionFilter() const { return filter_; }
    ScreenLogView* Log() const { return log_; }
    QCheckBox* RecordToFileBox() const { return recordToFile_; }
    QCheckBox* DisableScreenLogsBox() const { return disableScreen_; }
    QLineEdit* LogPathEdit() const { return logPath_; }
    qint64 RefreshCount() const { return refreshes_; }

private:
    void UpdateLogFileWidgets();

    serverController& controller_;
    QTreeWidget* sessions_;
    QComboBox* filter_;
    ScreenLogView* log_;
    QCheckBox* recordToFile_;
    QCheckBox* disableScreen_;
    QLineEdit* logPath_;
    QPushButton* browse_;
    QWidget* logFileGroup_;
    QTimer refreshTimer_;
    qint64 refreshes_ = 0;
};

}  // namespace corvane
