// The information page: a local page about the running server (addresses, ports, services,
// accounts and the home), drawn from the controller each time it is shown. No remote page.
#pragma once

#include <QTextBrowser>

namespace corvane {

class serverController;

class InfoPage : public QTextBrowser {
    Q_OBJECT
public:
    explicit InfoPage(serverController& controller, QWidget* parent = nullptr);
    void Reload();

protected:
    void showEvent(QShowEvent* event) override;

private:
    serverController& controller_;
};

}  // namespace corvane
