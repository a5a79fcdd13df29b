// One service's status group: state text, lamp, connected users, transferred data and the
// Start, Stop and Restart buttons. The FTP and the HTTP pages are two of these.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace corvane {

// The lamp: green while the service runs, red while it is stopped; reports double clicks.
class StatusLamp : public QLabel {
    Q_OBJECT
public:
    explicit StatusLamp(QWidget* parent = nullptr);
    void SetRunning(bool running);
    bool Running() const { return running_; }
signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool running_ = false;
};

class StatusPage : public QWidget {
    Q_OBJECT
public:
    // `idleTransferText`: what the transfer label shows while stopped ("0 KB UL, 0 KB DL" for
    // FTP, "0 KB" for HTTP).
    StatusPage(const QString& title, const QString& idleTransferText, QWidget* parent = nullptr);

    void ShowRunning(bool running);
    void ShowUsers(const QString& text) { users_->setText(text); }
    void ShowTransferred(const QString& text) { transferred_->setText(text); }
    // While a stop is under way: Stop and Restart disabled until the stopped state is shown.
    void DisableStopAndRestart();

    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* RestartButton() const { return restart_; }
    StatusLamp* Lamp() const { return lamp_; }
    QLabel* StateLabel() const { return state_; }
    QLabel* UsersLabel() const { return users_; }
    QLabel* TransferredLabel() const { return transferred_; }

private:
    QString idleTransferText_;
    QLabel* state_;
    StatusLamp* lamp_;
    QLabel* users_;
    QLabel* transferred_;
    QPushButton* start_;
    QPushButton* stop_;
    QPushButton* restart_;
};

}  // namespace corvane
