// The "Permissions (FTP)" page: the users/groups tree, the selected account's folders with
// their rights, the account's limits and the web links. Every edit goes to the account store
// at once and the account files are written right after it, so no change waits for the
// shut-down. Window thread only.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWidget>
#include <array>
#include <functional>

#include "accounts/account_observer.h"
#include "accounts/folder_entry.h"
#include "gui/account_tree.h"

namespace corvane {

class permissionsClass;

class AccountsPage : public QWidget, public AccountObserver {
    Q_OBJECT
public:
    // `thisServer` gives the web editor's local address (bind address ":" web port).
    AccountsPage(permissionsClass& store, std::function<QString()> thisServer, QWidget* parent = nullptr);
    ~AccountsPage() override;

    // Fills the tree from the store (after it has loaded) and starts following its changes.
    void FillFromStore();

    // The handlers of the buttons and popup menus.
    void AddUser();
    void AddAnonymousUser();
    void AddGroup();
    void DeleteGroup();
    void DeleteUser();
    void CutUser();
    void PasteUser();
    void SetPassword();
    void AddFolder();
    void DeleteFolder();
    void EditDefaultWebLink();
    void EditWebLink();
    // The move of a cut or dragged user: under `group`, as its first user.
    void MoveUser(const QString& user, const QString& group);

    // The folder chooser of "Add Folder": a host folder, or empty when none was chosen. Tests
    // put their own in place of the desktop's dialog.
    std::function<QString()> chooseFolder;

    // The account the selected node stands for (empty when none), and its group.
    QString SelectedAccount() const;
    QString SelectedFolder() const;
    bool SelectFolderRow(const QString& folder);
    bool SelectAccount(const QString& name);

    AccountTree* Tree() const { return tree_; }
    QTreeWidget* FolderList() const { return folders_; }
    QTableWidget* Grid() const { return grid_; }
    QLineEdit* GridEdit(int row) const { return limitEdits_[static_cast<std::size_t>(row)]; }
    QComboBox* RatioChoice() const { return ratio_; }
    QCheckBox* RightBox(FolderFlag flag) const { return rights_[static_cast<std::size_t>(flag)]; }
    QCheckBox* HomeFolderBox() const { return homeFolder_; }
    QPushButton* PasswordButton() const { return setPassword_; }
    QAction* PasteUserAction() const { return pasteUser_; }
    QAction* DeleteGroupAction() const { return deleteGroup_; }
    QAction* DeleteUserAction() const { return deleteUser_; }
    QAction* CutUserAction() const { return cutUser_; }

    // AccountObserver: the store's changes, on the window thread.
    void AccountAdded(const std::string& name, bool isGroup, const std::string& group) override;
    void AccountRemoved(const std::string& name, bool isGroup) override;
    void AccountChanged(const std::string& name) override;

private:
    void BuildWidgets();
    void BuildMenus();
    void SelectionChanged();
    void LoadFolders();
    void LoadRights();
    void LoadGrid();
    void RightToggled(FolderFlag flag, bool on);
    void HomeFolderToggled(bool on);
    void LimitEdited(int row);
    void RatioChosen(int index);
    void ShowTreeMenu(const QPoint& position);
    QTreeWidgetItem* SelectedNode() const;
    // The group the selected node stands for (a user's group for a user node).
    QString SelectedGroup() const;
    // A removed user is no longer there to be pasted.
    void ForgetCutUser(const QString& removed);
    void SaveAccountFiles();

    permissionsClass& store_;
    std::function<QString()> thisServer_;
    bool following_ = false;
    // Set while the widgets are being filled, so that their change signals do not write back.
    bool filling_ = false;
    QString cutUser_Name_;

    AccountTree* tree_ = nullptr;
    QTreeWidget* folders_ = nullptr;
    QTableWidget* grid_ = nullptr;
    std::array<QLineEdit*, 4> limitEdits_{};
    QComboBox* ratio_ = nullptr;
    std::array<QCheckBox*, 8> rights_{};
    QCheckBox* homeFolder_ = nullptr;
    QPushButton* setPassword_ = nullptr;
    QMenu* groupMenu_ = nullptr;
    QMenu* userMenu_ = nullptr;
    QMenu* folderMenu_ = nullptr;
    QAction* deleteGroup_ = nullptr;
    QAction* deleteUser_ = nullptr;
    QAction* cutUser_ = nullptr;
    QAction* pasteUser_ = nullptr;
};

}  // namespace corvane
