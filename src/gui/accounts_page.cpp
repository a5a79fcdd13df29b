#include "gui/accounts_page.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QVBoxLayout>

#include "accounts/account_names.h"
#include "accounts/group_removal.h"
#include "accounts/permissions.h"
#include "common/constants.h"
#include "common/path_text.h"
#include "common/program_folder.h"
#include "common/ratio_text.h"
#include "gui/qt_text.h"
#include "gui/url_form.h"
#include "gui/window_helpers.h"
#include "platform/drive_map.h"

namespace corvane {
namespace {

constexpr const char* kSelectGroupFirst = "Please first select a group in which the user will belong to";

const char* const kGridRows[] = {"Maximum account connections", "Maximum IP connections",
                                 "Maximum download rate (KB/s)", "Idle timeout (Sec)", "U/D Ratio"};

bool IsAnonymousName(const QString& name)
{
    return MapLoginName(ToStd(name)) == kAnonymousName;
}

}  // namespace

AccountsPage::AccountsPage(permissionsClass& store, std::function<QString()> thisServer, QWidget* parent)
    : QWidget(parent),
      store_(store),
      thisServer_(std::move(thisServer))
{
    AssertWindowThread();
    chooseFolder = [this] { return QFileDialog::getExistingDirectory(this, "Add Folder"); };
    BuildMenus();
    BuildWidgets();
    SelectionChanged();
}

AccountsPage::~AccountsPage()
{
    AssertWindowThread();
    if (following_) store_.SetObserver(nullptr);
}

void AccountsPage::BuildMenus()
{
    groupMenu_ = new QMenu(this);
    groupMenu_->addAction("Add Group", this, &AccountsPage::AddGroup);
    deleteGroup_ = groupMenu_->addAction("Delete Group", this, &AccountsPage::DeleteGroup);
    userMenu_ = new QMenu(this);
    userMenu_->addAction("Add User", this, &AccountsPage::AddUser);
    deleteUser_ = userMenu_->addAction("Delete User", this, &AccountsPage::DeleteUser);
    cutUser_ = userMenu_->addAction("Cut User", this, &AccountsPage::CutUser);
    pasteUser_ = userMenu_->addAction("Paste User", this, &AccountsPage::PasteUser);
    pasteUser_->setEnabled(false);
    folderMenu_ = new QMenu(this);
    folderMenu_->addAction("Add Folder", this, &AccountsPage::AddFolder);
    folderMenu_->addAction("Delete Folder", this, &AccountsPage::DeleteFolder);
}

void AccountsPage::BuildWidgets()
{
    tree_ = new AccountTree;
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QWidget::customContextMenuRequested, this, &AccountsPage::ShowTreeMenu);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &AccountsPage::SelectionChanged);
    tree_->onUserDropped = [this](const QString& user, const QString& group) { MoveUser(user, group); };

    folders_ = new QTreeWidget;
    folders_->setObjectName("ListViewFolders");
    folders_->setHeaderLabels({"Directories", "WEBLink (SITE WEBL Responses)"});
    folders_->setRootIsDecorated(false);
    folders_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(folders_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { folderMenu_->popup(folders_->viewport()->mapToGlobal(at)); });
    connect(folders_, &QTreeWidget::itemSelectionChanged, this, &AccountsPage::LoadRights);

    grid_ = new QTableWidget(5, 2);
    grid_->setObjectName("AccountGrid");
    grid_->setHorizontalHeaderLabels({"Group/User Permissions", "Value"});
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid_->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < 5; ++row) {
        auto* title = new QTableWidgetItem(kGridRows[row]);
        title->setFlags(Qt::ItemIsEnabled);
        grid_->setItem(row, 0, title);
    }
    for (int row = 0; row < 4; ++row) {
        auto* edit = new QLineEdit("0");
        // At most five digits.
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), edit));
        edit->setMaxLength(5);
        edit->setFrame(false);
        connect(edit, &QLineEdit::editingFinished, this, [this, row] { LimitEdited(row); });
        limitEdits_[static_cast<std::size_t>(row)] = edit;
        grid_->setCellWidget(row, 1, edit);
    }
    ratio_ = new QComboBox;
    for (std::string_view text : kRatioTexts) ratio_->addItem(QtText(text));
    connect(ratio_, &QComboBox::activated, this, &AccountsPage::RatioChosen);
    grid_->setCellWidget(4, 1, ratio_);

    const std::array<std::pair<FolderFlag, const char*>, 8> boxes = {{{FolderFlag::get, "Download"},
                                                                      {FolderFlag::put, "Upload"},
                                                                      {FolderFlag::dele, "Delete"},
                                                                      {FolderFlag::list, "List"},
                                                                      {FolderFlag::mkDir, "Create"},
                                                                      {FolderFlag::rmd, "Remove"},
                                                                      {FolderFlag::CWD, "Change"},
                                                                      {FolderFlag::inherit, "Inherit"}}};
    for (const auto& [flag, label] : boxes) {
        auto* box = new QCheckBox(label);
        connect(box, &QCheckBox::toggled, this, [this, flag = flag](bool on) { RightToggled(flag, on); });
        rights_[static_cast<std::size_t>(flag)] = box;
    }
    homeFolder_ = new QCheckBox("Home Folder");
    connect(homeFolder_, &QCheckBox::toggled, this, &AccountsPage::HomeFolderToggled);

    auto* files = new QGroupBox("Files' Rights:");
    auto* filesLayout = new QVBoxLayout(files);
    for (FolderFlag f : {FolderFlag::get, FolderFlag::put, FolderFlag::dele}) filesLayout->addWidget(RightBox(f));
    auto* foldersBox = new QGroupBox("Folders' Rights:");
    auto* foldersLayout = new QVBoxLayout(foldersBox);
    for (FolderFlag f : {FolderFlag::list, FolderFlag::mkDir, FolderFlag::rmd, FolderFlag::CWD})
        foldersLayout->addWidget(RightBox(f));
    auto* subBox = new QGroupBox("Subdirectories:");
    auto* subLayout = new QVBoxLayout(subBox);
    subLayout->addWidget(RightBox(FolderFlag::inherit));
    subLayout->addWidget(homeFolder_);
    subLayout->addStretch(1);
    auto* rightsRow = new QHBoxLayout;
    rightsRow->addWidget(files);
    rightsRow->addWidget(foldersBox);
    rightsRow->addWidget(subBox);

    auto* userButton = new QPushButton("&User");
    userButton->setMenu(userMenu_);
    auto* groupButton = new QPushButton("&Group");
    groupButton->setMenu(groupMenu_);
    auto* folderButton = new QPushButton("&Folder");
    folderButton->setMenu(folderMenu_);
    setPassword_ = new QPushButton("Set &Password");
    connect(setPassword_, &QPushButton::clicked, this, &AccountsPage::SetPassword);
    auto* anonymous = new QPushButton("Add Anonymous User");
    connect(anonymous, &QPushButton::clicked, this, &AccountsPage::AddAnonymousUser);
    auto* defaultLink = new QPushButton("Edit Default Web Link");
    connect(defaultLink, &QPushButton::clicked, this, &AccountsPage::EditDefaultWebLink);
    auto* folderLink = new QPushButton("Edit Web Link");
    connect(folderLink, &QPushButton::clicked, this, &AccountsPage::EditWebLink);
    auto* buttons = new QGridLayout;
    buttons->addWidget(userButton, 0, 0);
    buttons->addWidget(groupButton, 0, 1);
    buttons->addWidget(folderButton, 0, 2);
    buttons->addWidget(setPassword_, 0, 3);
    buttons->addWidget(anonymous, 1, 0, 1, 2);
    buttons->addWidget(defaultLink, 1, 2);
    buttons->addWidget(folderLink, 1, 3);

    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(folders_, 2);
    rightLayout->addLayout(rightsRow);
    rightLayout->addWidget(grid_, 1);
    auto* splitter = new QSplitter;
    splitter->addWidget(tree_);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
}

void AccountsPage::FillFromStore()
{
    AssertWindowThread();
    filling_ = true;
    tree_->clear();
    for (const std::string& group : store_.GroupNames()) tree_->AddGroup(QtText(group));
    for (const std::string& user : store_.UserNames()) tree_->AddUser(QtText(user), QtText(store_.GetUserGroup(user)));
    filling_ = false;
    if (!following_) store_.SetObserver(this);
    following_ = true;
    SelectionChanged();
}

// ---- Selection ----

QTreeWidgetItem* AccountsPage::SelectedNode() const
{
    const auto selected = tree_->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

QString AccountsPage::SelectedAccount() const
{
    const QTreeWidgetItem* node = SelectedNode();
    return node ? AccountTree::NameOf(node) : QString();
}

QString AccountsPage::SelectedGroup() const
{
    const QTreeWidgetItem* node = SelectedNode();
    if (!node) return {};
    return AccountTree::IsGroup(node) ? AccountTree::NameOf(node) : AccountTree::NameOf(node->parent());
}

QString AccountsPage::SelectedFolder() const
{
    const auto selected = folders_->selectedItems();
    return selected.isEmpty() ? QString() : selected.front()->text(0);
}

bool AccountsPage::SelectAccount(const QString& name)
{
    AssertWindowThread();
    QTreeWidgetItem* item = tree_->FindGroup(name);
    if (!item) item = tree_->FindUser(name);
    if (!item) return false;
    tree_->setCurrentItem(item);
    item->setSelected(true);
    return true;
}

bool AccountsPage::SelectFolderRow(const QString& folder)
{
    AssertWindowThread();
    for (int i = 0; i < folders_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = folders_->topLevelItem(i);
        if (row->text(0).compare(folder, Qt::CaseInsensitive) != 0) continue;
        folders_->setCurrentItem(row);
        row->setSelected(true);
        return true;
    }
    return false;
}

void AccountsPage::SelectionChanged()
{
    const QTreeWidgetItem* node = SelectedNode();
    const bool group = node && AccountTree::IsGroup(node);
    const bool user = node && !group;
    deleteGroup_->setEnabled(group);
    deleteUser_->setEnabled(user);
    cutUser_->setEnabled(user);
    setPassword_->setEnabled(user && AccountTree::NameOf(node) != "Anonymous");
    LoadFolders();
    LoadGrid();
}

void AccountsPage::LoadFolders()
{
    const QString keep = SelectedFolder();
    filling_ = true;
    folders_->clear();
    const std::string name = ToStd(SelectedAccount());
    if (!name.empty()) {
        const AccountPtr account = store_.FindAccount(name);
        if (account) {
            for (const FolderEntryPtr& entry : account->Entries())
                folders_->addTopLevelItem(
                    new QTreeWidgetItem(QStringList{QtText(entry->Path()), QtText(entry->WebLink())}));
        }
    }
    filling_ = false;
    if (!keep.isEmpty()) SelectFolderRow(keep);
    LoadRights();
}

void AccountsPage::LoadRights()
{
    filling_ = true;
    const std::string name = ToStd(SelectedAccount());
    const std::string folder = ToStd(SelectedFolder());
    const AccountPtr account = name.empty() ? nullptr : store_.FindAccount(name);
    const FolderEntryPtr entry = (account && !folder.empty()) ? FolderRights::FindEntry(*account, folder) : nullptr;
    for (std::size_t f = 0; f < rights_.size(); ++f) {
        rights_[f]->setEnabled(entry != nullptr);
        rights_[f]->setChecked(entry && entry->Flag(static_cast<FolderFlag>(f)));
    }
    homeFolder_->setEnabled(entry != nullptr);
    homeFolder_->setChecked(entry && store_.Folders().IsHomeFolder(name, folder));
    filling_ = false;
}

void AccountsPage::LoadGrid()
{
    filling_ = true;
    const std::string name = ToStd(SelectedAccount());
    const AccountPtr account = name.empty() ? nullptr : store_.FindAccount(name);
    const int values[4] = {account ? account->maxAccountConnections.Get() : 0,
                           account ? account->maxIpConnections.Get() : 0, account ? account->maxTransferRate.Get() : 0,
                           account ? account->idleTimeout.Get() : 0};
    for (std::size_t row = 0; row < limitEdits_.size(); ++row) {
        limitEdits_[row]->setText(QString::number(values[row]));
        limitEdits_[row]->setEnabled(account != nullptr);
    }
    ratio_->setCurrentIndex(static_cast<int>(RatioIndex(account ? account->udRatio.Get() : 0.0f)));
    ratio_->setEnabled(account != nullptr);
    filling_ = false;
}

void AccountsPage::ShowTreeMenu(const QPoint& position)
{
    QMenu menu(this);
    menu.addActions(groupMenu_->actions());
    menu.addSeparator();
    menu.addActions(userMenu_->actions());
    menu.exec(tree_->viewport()->mapToGlobal(position));
}

// ---- Accounts ----

void AccountsPage::AddUser()
{
    AssertWindowThread();
    if (!SelectedNode()) return ShowError(kSelectGroupFirst, this);
    const QString name = AskName("Enter new user name", false, this);
    if (IsAnonymousName(name)) return AddAnonymousUser();
    if (name.isEmpty()) return;
    const QString password = AskName("Enter password for " + name, true, this);
    std::string reason;
    if (!store_.AddUser(ToStd(name), ToStd(password), ToStd(SelectedGroup()), &reason))
        return ShowError(QtText(reason), this);
    SaveAccountFiles();
}

void AccountsPage::AddAnonymousUser()
{
    AssertWindowThread();
    if (!SelectedNode()) return ShowError(kSelectGroupFirst, this);
    if (!store_.AddUser("Anonymous", "", ToStd(SelectedGroup())))
        return ShowError(
            "Anonymous user already exists\nPlease either remove it first then create a new one or just modify it.",
            this);
    SaveAccountFiles();
}

void AccountsPage::AddGroup()
{
    AssertWindowThread();
    const QString name = AskName("Enter new group name:", false, this);
    if (name.isEmpty()) return;
    std::string reason;
    if (!store_.AddGroup(ToStd(name), &reason)) return ShowError(QtText(reason), this);
    SaveAccountFiles();
}

void AccountsPage::DeleteGroup()
{
    AssertWindowThread();
    const QTreeWidgetItem* node = SelectedNode();
    if (!node || !AccountTree::IsGroup(node)) return;
    const QString name = AccountTree::NameOf(node);
    if (AccountTree::SameName(name, QtText(kAllOthersGroup)))
        return ShowError("Group \"All Others\" cannot be removed", this);
    if (AskYesNo(this, "Do you really want to remove the group " + name, "Really delete group?") != QMessageBox::Yes)
        return;
    // Its users go with it, permanently, as from the command line.
    for (const std::string& user : RemoveGroupWithUsers(store_, ToStd(name)).users) ForgetCutUser(QtText(user));
    SaveAccountFiles();
}

void AccountsPage::DeleteUser()
{
    AssertWindowThread();
    const QTreeWidgetItem* node = SelectedNode();
    if (!node || AccountTree::IsGroup(node)) return;
    const QString name = AccountTree::NameOf(node);
    if (AskYesNo(this, "Do you really want to remove the user " + name, "Really delete user?") != QMessageBox::Yes)
        return;
    ForgetCutUser(name);
    store_.RemoveUser(ToStd(name), true);
    SaveAccountFiles();
}

void AccountsPage::ForgetCutUser(const QString& removed)
{
    if (!AccountTree::SameName(cutUser_Name_, removed)) return;
    cutUser_Name_.clear();
    pasteUser_->setEnabled(false);
}

void AccountsPage::CutUser()
{
    AssertWindowThread();
    const QTreeWidgetItem* node = SelectedNode();
    if (!node || AccountTree::IsGroup(node)) return;
    if (QTreeWidgetItem* earlier = tree_->FindUser(cutUser_Name_)) earlier->setForeground(0, palette().text());
    cutUser_Name_ = AccountTree::NameOf(node);
    tree_->FindUser(cutUser_Name_)->setForeground(0, palette().placeholderText());
    pasteUser_->setEnabled(true);
}

void AccountsPage::PasteUser()
{
    AssertWindowThread();
    if (cutUser_Name_.isEmpty() || !SelectedNode()) return;
    const QString user = cutUser_Name_;
    cutUser_Name_.clear();
    pasteUser_->setEnabled(false);
    if (QTreeWidgetItem* node = tree_->FindUser(user)) node->setForeground(0, palette().text());
    MoveUser(user, SelectedGroup());
}

void AccountsPage::MoveUser(const QString& user, const QString& group)
{
    AssertWindowThread();
    if (!store_.SetUserGroup(ToStd(user), ToStd(group))) return;
    SaveAccountFiles();
}

void AccountsPage::SetPassword()
{
    AssertWindowThread();
    const QTreeWidgetItem* node = SelectedNode();
    if (!node || AccountTree::IsGroup(node)) return;
    const QString name = AccountTree::NameOf(node);
    const QString password = AskName("Enter password for user " + name, true, this);
    std::string reason;
    if (!store_.SetPassword(ToStd(name), ToStd(password), &reason)) return ShowError(QtText(reason), this);
    SaveAccountFiles();
}

// ---- Folders and rights ----

void AccountsPage::AddFolder()
{
    AssertWindowThread();
    const std::string name = ToStd(SelectedAccount());
    if (name.empty()) return ShowError("Select a user/group from the left pane first.", this);
    const QString chosen = chooseFolder();
    if (chosen.isEmpty()) return;
    const auto real = DriveMap::RealPathOf(ToStd(chosen));
    if (!real)
        return ShowError("The folder " + chosen +
                             " lies on no drive of the server.\nMap a drive to it in the section \"Drives\" of "
                             "CorvaneServer.ini first.",
                         this);
    const std::string folder = AddTrailingBackslash(*real);
    for (FolderFlag flag : {FolderFlag::get, FolderFlag::list, FolderFlag::CWD, FolderFlag::inherit})
        store_.Folders().GrantFlag(name, folder, flag);
    SaveAccountFiles();
    LoadFolders();
    SelectFolderRow(QtText(folder));
}

void AccountsPage::DeleteFolder()
{
    AssertWindowThread();
    const QString name = SelectedAccount();
    const QString folder = SelectedFolder();
    if (name.isEmpty() || folder.isEmpty()) return;
    if (AskYesNo(this, "Do you really want to remove the folder " + folder + " of the user/group " + name + "?",
                 "Really delete folder?") != QMessageBox::Yes)
        return;
    store_.Folders().RemoveFolder(ToStd(name), ToStd(folder));
    SaveAccountFiles();
    LoadFolders();
}

void AccountsPage::RightToggled(FolderFlag flag, bool on)
{
    if (filling_) return;
    const std::string name = ToStd(SelectedAccount());
    const std::string folder = ToStd(SelectedFolder());
    if (name.empty() || folder.empty()) return;
    if (on) store_.Folders().GrantFlag(name, folder, flag);
    else store_.Folders().RevokeFlag(name, folder, flag);
    SaveAccountFiles();
}

void AccountsPage::HomeFolderToggled(bool on)
{
    if (filling_) return;
    const std::string name = ToStd(SelectedAccount());
    const std::string folder = ToStd(SelectedFolder());
    if (name.empty() || folder.empty()) return;
    store_.Folders().SetHomeFolder(name, on ? folder : std::string());
    if (on) {
        // The home must be entered and listed: ticking the boxes grants both.
        RightBox(FolderFlag::CWD)->setChecked(true);
        RightBox(FolderFlag::list)->setChecked(true);
    }
    SaveAccountFiles();
}

void AccountsPage::LimitEdited(int row)
{
    if (filling_) return;
    const std::string name = ToStd(SelectedAccount());
    if (name.empty()) return;
    bool ok = false;
    int value = GridEdit(row)->text().toInt(&ok);
    if (!ok) value = 0;
    GridEdit(row)->setText(QString::number(value));
    switch (row) {
    case 0: store_.SetMaxAccountConnections(name, value); break;
    case 1: store_.SetMaxIpConnections(name, value); break;
    case 2: store_.SetMaxTransferRate(name, value); break;
    default: store_.SetIdleTimeout(name, value); break;
    }
    SaveAccountFiles();
}

void AccountsPage::RatioChosen(int index)
{
    if (filling_ || index < 0) return;
    const std::string name = ToStd(SelectedAccount());
    if (name.empty()) return;
    store_.SetUdRatio(name, static_cast<float>(RatioFromText(ToStd(ratio_->itemText(index)))));
    SaveAccountFiles();
}

// ---- Web links ----

void AccountsPage::EditDefaultWebLink()
{
    AssertWindowThread();
    const std::string name = ToStd(SelectedAccount());
    if (name.empty()) return ShowError("Select a user/group from the left pane first.", this);
    const auto link = TURLForm::Edit(QtText(store_.GetDefaultWebLink(name)), thisServer_(), this);
    if (!link) return;
    store_.SetDefaultWebLink(name, ToStd(*link));
    SaveAccountFiles();
}

void AccountsPage::EditWebLink()
{
    AssertWindowThread();
    const std::string name = ToStd(SelectedAccount());
    const std::string folder = ToStd(SelectedFolder());
    if (name.empty() || folder.empty()) return;
    const auto link = TURLForm::Edit(QtText(store_.Folders().GetWebLink(name, folder)), thisServer_(), this);
    if (!link) return;
    store_.Folders().SetFolderWebLink(name, folder, ToStd(*link));
    SaveAccountFiles();
    LoadFolders();
}

void AccountsPage::SaveAccountFiles()
{
    const std::string settingsPath = ProgramFolder() + std::string(kServerSettingsFileName);
    IniImage settings = IniImage::Open(settingsPath);
    const bool written = store_.WriteAccounts(settings) && settings.SaveOwnerOnly(settingsPath);
    if (!written)
        ShowError(
            "The account files could not be written now; the change is in force and is written again at shut-down.",
            this);
}

// ---- The store's changes ----

void AccountsPage::AccountAdded(const std::string& name, bool isGroup, const std::string& group)
{
    AssertWindowThread();
    QTreeWidgetItem* node = isGroup ? tree_->AddGroup(QtText(name)) : tree_->AddUser(QtText(name), QtText(group));
    if (filling_) return;
    tree_->setCurrentItem(node);
    node->setSelected(true);
}

void AccountsPage::AccountRemoved(const std::string& name, bool isGroup)
{
    AssertWindowThread();
    tree_->RemoveAccount(QtText(name), isGroup);
    SelectionChanged();
}

void AccountsPage::AccountChanged(const std::string& name)
{
    AssertWindowThread();
    QTreeWidgetItem* node = tree_->FindUser(QtText(name));
    if (node) {
        const QString group = QtText(store_.GetUserGroup(name));
        if (!AccountTree::SameName(AccountTree::NameOf(node->parent()), group)) {
            const bool wasSelected = node->isSelected();
            tree_->RemoveAccount(QtText(name), false);
            node = tree_->AddUser(QtText(name), group, true);
            if (wasSelected) {
                tree_->setCurrentItem(node);
                node->setSelected(true);
            }
        }
    }
    if (AccountTree::SameName(SelectedAccount(), QtText(name))) {
        LoadFolders();
        LoadGrid();
    }
}

}  // namespace corvane
