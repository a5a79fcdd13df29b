// The "IP/DNS Filtering (Common)" page: the rule mode and the rule list. The list is edited on
// the page only; "Save && Apply" puts it into the account store, which writes it into
// CorvaneServer.ini. Below, the addresses banned for failed logins, which the page shows as
// the server last published them and whose bans it can lift.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/login_ban_book.h"

namespace corvane {

class permissionsClass;

class IpPage : public QWidget {
    Q_OBJECT
public:
    // The bans in force (none while no server runs), and the lifting of one (false when it
    // could not be asked for).
    struct BanAccess {
        std::function<std::vector<LoginBanBook::Ban>()> list;
        std::function<bool(const std::string& address)> lift;
    };
    IpPage(permissionsClass& store, BanAccess bans, QWidget* parent = nullptr);

    // Shows the store's mode and rules.
    void LoadFromStore();
    void AddRule();
    void DeleteSelected();
    void DeleteAll();
    void SaveAndApply();
    void ShowRuleHelp();
    void RefreshBans();
    void LiftSelectedBans();

    QComboBox* ModeSelector() const { return mode_; }
    QListWidget* RuleList() const { return rules_; }
    QLineEdit* RuleEdit() const { return edit_; }
    QListWidget* BanList() const { return bans_; }

private:
    permissionsClass& store_;
    QComboBox* mode_;
    QListWidget* rules_;
    QLineEdit* edit_;
    BanAccess banAccess_;
    QListWidget* bans_;
};

}  // namespace corvane
