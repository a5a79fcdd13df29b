// TIndexerOptionsForm: the P2P options dialog. Tab "Network Options" (the network list with its
// ticks, the operator's profile, the list download and the sign-up) drives P2POptionsModel;
// tab "HTTP Firewall / Proxy Options" edits the controller's connection settings. Window
// thread only.
#pragma once

#include <QDialog>
#include <memory>

#include "core/p2p_options_model.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace corvane {

class EventLoop;
class serverController;

class TIndexerOptionsForm : public QDialog {
    Q_OBJECT
public:
    // `firstRun`: the main window's first-run flag; the list is then fetched at the first paint.
    TIndexerOptionsForm(serverController& controller, bool firstRun, QWidget* parent = nullptr);
    ~TIndexerOptionsForm() override;

    // The buttons' work, callable by the window's tests.
    void RetrieveNetworkList();
    void RegisterOrEditSelected();
    void ApplyNetworkOptions();
    void ApplyProxyOptions();

    QTreeWidget* NetworkView() const { return networks_; }
    QTabWidget* Tabs() const { return tabs_; }
    bool RequestInFlight() const { return requestRunning_; }
    QPushButton* RetrieveButton() const { return retrieve_; }
    QLineEdit* ZipcodeEdit() const { return zipcode_; }
    QLineEdit* EmailEdit() const { return email_; }
    QComboBox* CountryList() const { return country_; }
    QComboBox* ConnectionKindList() const { return connectionKind_; }
    QComboBox* ProxyTypeList() const { return proxyType_; }
    QLineEdit* ProxyServerEdit() const { return proxyServer_; }
    QLineEdit* ProxyPortEdit() const { return proxyPort_; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    class RequestRunning;

    QWidget* BuildNetworkTab();
    QWidget* BuildProxyTab();
    void FillRows();
    std::vector<P2POptionsModel::NetworkRow> RowsOfView() const;

    serverController& controller_;
    // The HTTP client of the model needs this thread's socket queue; made here when the
    // window thread has none yet.
    std::unique_ptr<EventLoop> socketLoop_;
    std::unique_ptr<P2POptionsModel> model_;
    bool firstRun_;
    bool shownOnce_ = false;
    bool requestRunning_ = false;

    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    QTreeWidget* networks_ = nullptr;
    QPushButton* retrieve_ = nullptr;
    QLineEdit* zipcode_ = nullptr;
    QLineEdit* email_ = nullptr;
    QComboBox* country_ = nullptr;
    QComboBox* connectionKind_ = nullptr;
    QComboBox* proxyType_ = nullptr;
    QLineEdit* proxyServer_ = nullptr;
    QLineEdit* proxyPort_ = nullptr;
    QLineEdit* proxyUser_ = nullptr;
    QLineEdit* proxyPassword_ = nullptr;
    QLineEdit* socksServer_ = nullptr;
    QLineEdit* socksPort_ = nullptr;
    QLineEdit* socksUser_ = nullptr;
    QLineEdit* socksPassword_ = nullptr;
};

}  // namespace corvane
