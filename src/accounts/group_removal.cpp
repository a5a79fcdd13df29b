#include "accounts/group_removal.h"

#include "accounts/account_names.h"
#include "accounts/permissions.h"

namespace corvane {

std::vector<std::string> UsersOfGroup(const permissionsClass& store, const std::string& group)
{
    std::vector<std::string> members;
    for (const auto& user : store.UserNames())
        if (SameAccountName(store.GetUserGroup(user), group)) members.push_back(user);
    return members;
}

GroupRemoval RemoveGroupWithUsers(permissionsClass& store, const std::string& group)
{
    GroupRemoval removal;
    const AccountPtr record = store.FindGroup(group);
    if (!record || SameAccountName(record->Name(), kAllOthersGroup)) return removal;
    removal.users = UsersOfGroup(store, record->Name());
    for (const auto& user : removal.users) store.RemoveUser(user, true);
    removal.removed = store.RemoveGroup(record->Name(), true);
    return removal;
}

}  // namespace corvane
