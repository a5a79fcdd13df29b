// Deleting a group as the administration does it, from the window and from the command line
// alike: every user of the group is removed permanently first, then the group. The store's own
// RemoveGroup leaves the users alone (they would load into "All Others" next time); this is the
// one place that decides what an operator's Delete Group means.
#pragma once

#include <string>
#include <vector>

namespace corvane {

class permissionsClass;

// The users whose group is `group` (names compared as account names), in the store's order.
std::vector<std::string> UsersOfGroup(const permissionsClass& store, const std::string& group);

// What RemoveGroupWithUsers did: `removed` is false, and nothing changed, when there is no such
// group or it is "All Others", which always stays.
struct GroupRemoval {
    bool removed = false;
    std::vector<std::string> users;  // the users removed with it
};
// Removes the group's users permanently, then the group.
GroupRemoval RemoveGroupWithUsers(permissionsClass& store, const std::string& group);

}  // namespace corvane
