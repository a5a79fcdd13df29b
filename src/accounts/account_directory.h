#pragma once
// AccountDirectory: the account store's records and its two name lists. A record is found by
// its folded name (ASCII case folding) through a hash index, so a look-up costs the same with
// one account or ten thousand. The record lists keep the order in which the records were
// added (the save writes in that order); the name lists keep the order the window shows and
// the files hold.
//
// Threads: the window thread adds and removes, the server thread looks up. Users and groups
// each have one lock over their list and its index, held for one look-up, add or remove; each
// name list has its own lock. A look-up hands out a share of the record (see accountClass).
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "accounts/account.h"

namespace corvane {

class AccountDirectory {
public:
    // "anonymous" and "ftp" in any case find the "Anonymous" user; the record's Name() is the
    // name as stored.
    AccountPtr FindUser(std::string_view name) const;
    AccountPtr FindGroup(std::string_view name) const;
    // A group of that name, else a user.
    AccountPtr FindAccount(std::string_view name) const;
    // The user's group; null for a group or a user whose group does not exist.
    AccountPtr GroupOf(const accountClass& user) const;

    // The account's own value of `field`, or for a user whose own value is unset (zero or
    // empty) its group's; the unset value when the account does not exist.
    template <typename Field>
    auto Effective(std::string_view name, Field field) const;

    // Appends the record to the users or the groups (by IsGroup); false, and nothing added, when
    // that list already holds the name.
    bool Add(AccountPtr record);
    // Removes this record (by identity) if present.
    void Remove(const AccountPtr& record);
    // Snapshots in list order; Take* also leaves the list empty.
    std::vector<AccountPtr> Users() const;
    std::vector<AccountPtr> Groups() const;
    std::vector<AccountPtr> TakeUsers();
    std::vector<AccountPtr> TakeGroups();

    std::vector<std::string> UserNames() const;
    std::vector<std::string> GroupNames() const;
    void SetUserNames(std::vector<std::string> names);
    void SetGroupNames(std::vector<std::string> names);
    void AppendUserName(std::string name);
    void AppendGroupName(std::string name);
    // Removes the first name equal to `name` (case folded); false when there is none.
    bool RemoveUserName(std::string_view name);
    bool RemoveGroupName(std::string_view name);

private:
    class RecordList {
    public:
        AccountPtr Find(const std::string& foldedName) const;
        bool Add(AccountPtr record);
        void Remove(const AccountPtr& record);
        std::vector<AccountPtr> Snapshot() const;
        std::vector<AccountPtr> Take();

    private:
        mutable std::mutex lock_;
        std::vector<AccountPtr> records_;                       // guarded by lock_
        std::unordered_map<std::string, AccountPtr> byFolded_;  // guarded by lock_
    };

    class NameList {
    public:
        std::vector<std::string> Get() const;
        void Set(std::vector<std::string> names);
        void Append(std::string name);
        bool Remove(std::string_view name);

    private:
        mutable std::mutex lock_;
        std::vector<std::string> names_;  // guarded by lock_
    };

    RecordList users_;
    RecordList groups_;
    NameList userNames_;
    NameList groupNames_;
};

template <typename Field>
auto AccountDirectory::Effective(std::string_view name, Field field) const
{
    using Value = decltype(field(std::declval<const accountClass&>()).Get());
    AccountPtr account = FindAccount(name);
    if (!account) return Value{};
    Value own = field(*account).Get();
    if (own != Value{} || account->IsGroup()) return own;
    AccountPtr group = GroupOf(*account);
    return group ? field(*group).Get() : own;
}

}  // namespace corvane
