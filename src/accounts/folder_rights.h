#pragma once
// FolderRights: the folder permissions of the account store. Decides what an account may do
// in a real folder (its own entries, then for a user its group's; an entry applies to the
// folders below it when it inherits), finds web links and home folders, and takes the
// window's edits of the entries.
//
// Threads: the server thread decides, the window thread edits. It holds no state of its own:
// the records and their entries carry their own locks (see accountClass, folderEntryClass),
// and the directory its own.
#include <functional>
#include <string>
#include <vector>

#include "accounts/account.h"
#include "accounts/account_directory.h"

namespace corvane {

class FolderRights {
public:
    // Whether a real folder path (system form) exists as a directory.
    using FolderExistsTest = std::function<bool(const std::string& realFolder)>;
    // Called with the account's name after an edit of its entries or home folder.
    using ChangeNotice = std::function<void(const std::string& name)>;

    FolderRights(const AccountDirectory& accounts, FolderExistsTest folderExists, ChangeNotice changed);

    // The account's entry for the folder (compared with a trailing "\" on both sides); null for
    // none and for a text holding "...". Neither the account nor its entries change.
    static FolderEntryPtr FindEntry(const accountClass& account, const std::string& folder);
    // Makes the first entry the home folder and lets it be listed, entered and read (an account
    // whose files name no home); an account without entries gets an empty home.
    static void MakeFirstEntryHome(accountClass& account);

    // The account's own entries only (no group). `link` receives the link for "weblink".
    bool CheckAccountFolder(const accountClass& account, const std::string& folder, const std::string& op,
                            std::string* link = nullptr, bool inherited = false) const;
    bool CheckFolderPermission(const std::string& name, const std::string& folder, const std::string& op) const;
    std::string GetWebLink(const std::string& name, const std::string& folder) const;
    std::string GetHomeFolder(const std::string& name) const;
    bool IsHomeFolder(const std::string& name, const std::string& folder) const;

    // ---- Edits (window thread) ----
    // An empty folder makes the first entry the home (see MakeFirstEntryHome).
    void SetHomeFolder(const std::string& name, const std::string& folder);
    // Adds the entry when the account has none for the folder (it becomes the home when the
    // account has none).
    void GrantFlag(const std::string& name, const std::string& folder, FolderFlag flag);
    void RevokeFlag(const std::string& name, const std::string& folder, FolderFlag flag);
    bool GetInheritFlag(const std::string& name, const std::string& folder) const;
    void SetFolderWebLink(const std::string& name, const std::string& folder, const std::string& link);
    void RemoveFolder(const std::string& name, const std::string& folder);
    std::vector<std::string> ListFolders(const std::string& name) const;
    // Every account's folders, each "i" (inheriting) or "-" and the path, sorted without regard
    // to case, repeats dropped.
    std::vector<std::string> ListSharedFolders() const;

private:
    const AccountDirectory& accounts_;
    const FolderExistsTest folderExists_;
    const ChangeNotice changed_;
};

}  // namespace corvane
