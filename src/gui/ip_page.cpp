#include "gui/ip_page.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "accounts/permissions.h"
#include "common/constants.h"
#include "common/program_folder.h"
#include "gui/qt_text.h"
#include "gui/window_helpers.h"

namespace corvane {
namespace {

// No rule is longer than a host name may be.
constexpr int kLongestRule = 253;

// What the store would keep as a rule: some text, no control characters (they would split the
// settings file's line), no longer than a host name.
bool AcceptableRule(const QString& text)
{
    if (text.isEmpty() || text.size() > kLongestRule) return false;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
    return true;
}

}  // namespace

IpPage::IpPage(permissionsClass& store, BanAccess bans, QWidget* parent)
    : QWidget(parent),
      store_(store),
      mode_(new QComboBox),
      rules_(new QListWidget),
      edit_(new QLineEdit),
      banAccess_(std::move(bans)),
      bans_(new QListWidget)
{
    mode_->setObjectName("IpModeSelector");
    mode_->addItems({"Allow IPs obeying below rules and deny all of the rest",
                     "Deny IPs obeying below rules and allow all of the rest "});
    rules_->setObjectName("IpRuleList");
    edit_->setObjectName("IpRuleEdit");
    auto* add = new QPushButton("Add IP");
    connect(add, &QPushButton::clicked, this, &IpPage::AddRule);
    connect(edit_, &QLineEdit::returnPressed, this, &IpPage::AddRule);
    auto* deleteOne = new QPushButton("Delete Selected IP");
    connect(deleteOne, &QPushButton::clicked, this, &IpPage::DeleteSelected);
    auto* deleteAll = new QPushButton("Delete All IPs");
    connect(deleteAll, &QPushButton::clicked, this, &IpPage::DeleteAll);
    auto* save = new QPushButton("Save && Apply");
    connect(save, &QPushButton::clicked, this, &IpPage::SaveAndApply);
    auto* help = new QPushButton("&Help");
    connect(help, &QPushButton::clicked, this, &IpPage::ShowRuleHelp);

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(edit_, 1);
    editRow->addWidget(add);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(deleteOne);
    buttons->addWidget(deleteAll);
    buttons->addStretch(1);
    buttons->addWidget(help);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mode_);
    layout->addLayout(editRow);
    layout->addWidget(rules_, 1);
    layout->addLayout(buttons);

    bans_->setObjectName("BanList");
    bans_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* refresh = new QPushButton("Refresh");
    connect(refresh, &QPushButton::clicked, this, &IpPage::RefreshBans);
    auto* lift = new QPushButton("Lift Selected Bans");
    lift->setObjectName("LiftBans");
    connect(lift, &QPushButton::clicked, this, &IpPage::LiftSelectedBans);
    auto* banButtons = new QHBoxLayout;
    banButtons->addWidget(refresh);
    banButtons->addStretch(1);
    banButtons->addWidget(lift);
    layout->addWidget(new QLabel("Addresses banned after too many failed logins:"));
    layout->addWidget(bans_);
    layout->addLayout(banButtons);
}

void IpPage::RefreshBans()
{
    bans_->clear();
    if (!banAccess_.list) return;
    for (const LoginBanBook::Ban& ban : banAccess_.list()) {
        auto* item = new QListWidgetItem(QtText(ban.address + "  (" + std::to_string(ban.left.count()) +
                                                " s left, " + std::to_string(ban.failures) + " failed logins)"));
        item->setData(Qt::UserRole, QtText(ban.address));
        bans_->addItem(item);
    }
}

void IpPage::LiftSelectedBans()
{
    for (QListWidgetItem* item : bans_->selectedItems()) {
        if (!banAccess_.lift || !banAccess_.lift(ToStd(item->data(Qt::UserRole).toString())))
            return ShowError("The ban could not be lifted: no server runs.", this);
        delete item;  // the server forgets it at once; the next refresh agrees
    }
}

void IpPage::LoadFromStore()
{
    mode_->setCurrentIndex(store_.IpRules().GetIpRuleMode() == 0 ? 0 : 1);
    rules_->clear();
    for (const std::string& rule : store_.IpRules().ListIpRules()) rules_->addItem(QtText(rule));
    RefreshBans();
}

void IpPage::AddRule()
{
    const QString text = edit_->text().trimmed();
    if (!AcceptableRule(text)) return ShowError("Invalid IP address/rule entered.", this);
    rules_->addItem(text);
    edit_->clear();
}

void IpPage::DeleteSelected()
{
    for (QListWidgetItem* item : rules_->selectedItems()) delete item;
}

void IpPage::DeleteAll() { rules_->clear(); }

void IpPage::SaveAndApply()
{
    store_.IpRules().ClearIpRules();
    store_.IpRules().SetIpRuleMode(mode_->currentIndex());
    for (int i = 0; i < rules_->count(); ++i) store_.IpRules().AddIpRule(ToStd(rules_->item(i)->text()));
    // Written now as well as at shut-down, so a rule in force is never lost with the process.
    const std::string settingsPath = ProgramFolder() + std::string(kServerSettingsFileName);
    IniImage settings = IniImage::Open(settingsPath);
    store_.IpRules().SaveIpRules(settings);
    if (!settings.Save(settingsPath))
        ShowError("The IP rules could not be written now; they are in force and are written at shut-down.", this);
}

void IpPage::ShowRuleHelp()
{
    ShowHelp("In order to set IP rules, you need to enter the IP addresses in the dotted form (i.e. 123.123.231.xxx).\n"
             "To cover ranges, use \"x\"'s like 123.233.xxx.xxx or 123.251.12x-14x.xxx .\n"
             "Note that 141.x.x.x will cover only 141.[0-9].[0-9].[0-9] and not for example 141.12.223.34 . "
             "Similarly 231.12.12.xx will not apply to 231.12.12.123 .",
             this);
}

}  // namespace corvane
