// The "IP/DNS Filtering (Common)" page: the rule mode and the rule list. The list is edited on
// the page only; "Save && Apply" puts it into the account store, which writes it into
// CorvaneServer.ini.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>

namespace corvane {

class permissionsClass;

class IpPage : public QWidget {
    Q_OBJECT
public:
    explicit IpPage(permissionsClass& store, QWidget* parent = nullptr);

    // Shows the store's mode and rules.
    void LoadFromStore();
    void AddRule();
    void DeleteSelected();
    void DeleteAll();
    void SaveAndApply();
    void ShowRuleHelp();

    QComboBox* ModeSelector() const { return mode_; }
    QListWidget* RuleList() const { return rules_; }
    QLineEdit* RuleEdit() const { return edit_; }

private:
    permissionsClass& store_;
    QComboBox* mode_;
    QListWidget* rules_;
    QLineEdit* edit_;
};

}  // namespace corvane
