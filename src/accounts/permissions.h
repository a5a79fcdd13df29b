#pragma once
// permissionsClass: the account store. Holds every user and group (an AccountDirectory), the
// IP access rules (IpAccessRules) and the folder permissions (FolderRights); reads and writes
// the account files, answers the server thread's login and admission questions and takes the
// window's edits of accounts and limits. IpRules() and Folders() are its two other faces.
//
// Threads: two threads use it, the window thread (administration, loading, saving, password
// changes) and the server thread (checks and the connection counters). Each list has its own
// lock, held for one get, count, add or remove; each account field has its own lock (see
// accountClass). Records and folder entries are std::shared_ptr: a lookup hands out a share,
// so a record or entry removed on the window thread stays valid until the server thread's
// check holding it returns. Read-modify-write of the connection counters is not atomic; only
// the server thread performs it. Look-ups go through hash indexes: their cost does not grow
// with the number of accounts or of a user's client addresses.
//
// Names compare case-insensitively (ASCII case folding); real paths compare with the drive
// letter without regard to case and the rest exactly, after a trailing "\" is appended.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "accounts/account.h"
#include "accounts/account_directory.h"
#include "accounts/account_observer.h"
#include "accounts/folder_rights.h"
#include "accounts/ip_access_rules.h"
#include "accounts/password_hash.h"
#include "common/ini_image.h"

namespace corvane {

class permissionsClass {
public:
    // `programFolder` is the host folder of usersgroups.ini, the ".kcf" files and
    // CorvaneServer.ini (the controller passes ProgramFolder()). `folderExists` answers whether
    // a real folder path (system form) exists as a directory; the controller passes
    // fs::RealFolderExists, tests their own.
    using FolderExistsTest = FolderRights::FolderExistsTest;

    permissionsClass(std::string programFolder, FolderExistsTest folderExists);
    ~permissionsClass();
    permissionsClass(const permissionsClass&) = delete;
    permissionsClass& operator=(const permissionsClass&) = delete;

    // The window's tree; null for none. Set before loading; called on the editing thread.
    void SetObserver(AccountObserver* observer);

    // ---- Account files (window thread) ----
    // Reads the IP rules from `serverSettings` (section "ServerData"), then the name lists and
    // every account from usersgroups.ini and the ".kcf" files of the program folder. Saves
    // first when already loaded. Missing, empty or nonsense files load with the defaults.
    void LoadAccounts(const IniImage& serverSettings);
    // Writes the IP rules into `serverSettings` (the caller saves that image), then the name
    // lists and every account (usersgroups.ini is written once), and empties the store.
    // False when a file could not be written (the remaining files are still written).
    bool SaveAccounts(IniImage& serverSettings);
    // Writes the same files as SaveAccounts and keeps the store as it is: what the
    // administration commands change in a running server lasts at once.
    bool WriteAccounts(IniImage& serverSettings);
    // The same with CorvaneServer.ini of the program folder, opened and saved here.
    void LoadAccounts();
    bool SaveAccounts();
    bool Loaded() const { return loaded_.Get(); }

    // ---- The IP access rules and the folder permissions ----
    IpAccessRules& IpRules() { return ipRules_; }
    const IpAccessRules& IpRules() const { return ipRules_; }
    FolderRights& Folders() { return folders_; }
    const FolderRights& Folders() const { return folders_; }

    // ---- Lookups ----
    // "anonymous" and "ftp" in any case find the "Anonymous" user: the record's Name() is the
    // name as stored (MapLoginName gives it without a look-up).
    AccountPtr FindUser(const std::string& name) const;
    AccountPtr FindGroup(const std::string& name) const;
    AccountPtr FindAccount(const std::string& name) const;

    // ---- Administration ----
    // Refused (false, with `reason` set when given) when the name is taken by any account, or
    // cannot survive a save and load, or the password cannot be stored.
    bool AddUser(const std::string& name, const std::string& password, const std::string& group,
                 std::string* reason = nullptr);
    bool AddGroup(const std::string& name, std::string* reason = nullptr);
    // Permanent removal drops the name from the name list and deletes the account's files at
    // once; a non-permanent one writes them. Removing "All Others" is refused.
    bool RemoveUser(const std::string& name, bool permanently);
    bool RemoveGroup(const std::string& name, bool permanently);
    // False (nothing stored) when the account does not exist or the password cannot be stored.
    bool SetPassword(const std::string& name, const std::string& password, std::string* reason = nullptr);
    bool SetUserGroup(const std::string& user, const std::string& group);
    std::string GetUserGroup(const std::string& name) const;
    void SetDefaultWebLink(const std::string& name, const std::string& link);
    std::string GetDefaultWebLink(const std::string& name) const;
    std::vector<std::string> UserNames() const;
    std::vector<std::string> GroupNames() const;

    // Limit setters store the account's own value; getters return the effective value (a
    // user's 0 takes the group's), 0 when the account does not exist.
    void SetUdRatio(const std::string& name, float ratio);
    float GetUdRatio(const std::string& name) const;
    void SetMaxAccountConnections(const std::string& name, int n);
    int GetMaxAccountConnections(const std::string& name) const;
    void SetMaxIpConnections(const std::string& name, int n);
    int GetMaxIpConnections(const std::string& name) const;
    void SetMaxTransferRate(const std::string& name, int kbPerSecond);
    int GetMaxTransferRate(const std::string& name) const;
    void SetIdleTimeout(const std::string& name, int seconds);
    int GetIdleTimeout(const std::string& name) const;

    // What new and changed passwords are hashed with (any thread).
    void SetPasswordHashCost(PasswordHashCost cost) { hashCost_.Set(BoundedPasswordHashCost(cost)); }
    PasswordHashCost GetPasswordHashCost() const { return hashCost_.Get(); }

    // ---- Login (server thread) ----
    // What a login to `user` is checked against, taken on the server thread; the check itself
    // (CheckLogin, any thread) may then run on a worker.
    struct LoginCheck {
        bool known = false;  // a user of that name exists
        bool anyPassword = false;
        StoredPassword stored;
    };
    LoginCheck LoginCheckFor(const std::string& user) const;
    // An unknown user costs as much as a known one, so the time of a refusal does not tell
    // whether the name exists.
    static PasswordVerdict CheckLogin(const LoginCheck& check, const std::string& password);
    // Both steps at once, on the calling thread.
    bool Authenticate(const std::string& user, const std::string& password) const;
    // Raises both counters and returns true, or leaves them as they were and returns false.
    bool AdmitConnection(const std::string& user, const std::string& address);
    int GetConnectionCount(const std::string& user) const;
    void SetConnectionCount(const std::string& user, int n);
    int GetIpConnectionCount(const std::string& user, const std::string& address) const;
    void SetIpConnectionCount(const std::string& user, const std::string& address, int n);
    // The FTP-side password change: refused for an account that takes any password.
    bool changePassword(const std::string& name, const std::string& password);

private:
    std::string AccountsFilePath() const;
    // SaveAccounts (`empty`: the records are destroyed after writing) and WriteAccounts.
    bool WriteStore(IniImage& serverSettings, bool empty);
    std::string FolderFilePath(const accountClass& account) const;
    // The account files (usersgroups.ini section and ".kcf" folder file) of one record.
    void ReadAccountFiles(accountClass& account);
    void WriteAccountFiles(accountClass& account);
    bool WriteAccountFiles(accountClass& account, IniImage& accountsImage);
    // The nine keys of the account's section of usersgroups.ini.
    void WriteAccountSection(const accountClass& account, IniImage& accountsImage) const;
    // The account's folder file text when it differs from what the file holds; none otherwise.
    static std::optional<std::string> ChangedFolderFileText(const accountClass& account);
    void DeleteAccountFiles(accountClass& account);
    // Builds a record (reads its files, applies the group fallback) and appends it to its list.
    AccountPtr BuildUser(const std::string& name, bool isNew, const StoredPassword& password,
                         const std::string& group);
    AccountPtr BuildGroup(const std::string& name, bool isNew);
    AccountObserver* Observer() const;
    bool RemoveAccount(const std::string& name, bool isGroup, bool permanently);
    void NotifyChanged(const std::string& name) const;
    // The password as stored for a new or changed one: its hash (none when it failed).
    std::optional<StoredPassword> HashedPassword(const std::string& password) const;
    // A password read from an earlier version's file becomes its hash before it is written.
    void HashPlainPassword(accountClass& account) const;

    const std::string programFolder_;  // ends in "/"
    LockedValue<bool> loaded_{false};
    LockedValue<PasswordHashCost> hashCost_{InteractivePasswordHashCost()};
    // The usersgroups.ini image while LoadAccounts or SaveAccounts runs (window thread only);
    // null otherwise, and then each account's files are opened on their own.
    IniImage* accountsImage_ = nullptr;

    mutable std::mutex observerLock_;
    AccountObserver* observer_ = nullptr;  // guarded by observerLock_

    AccountDirectory accounts_;
    IpAccessRules ipRules_;
    FolderRights folders_;
};

}  // namespace corvane
