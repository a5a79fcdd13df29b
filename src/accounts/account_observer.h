#pragma once
// What the administration window's account tree listens to. The store calls these on the
// thread that made the change (the window thread, for every administration operation and for
// loading), after the change is in place. No toolkit types: the window adapts them.
#include <string>

namespace corvane {

class AccountObserver {
public:
    virtual ~AccountObserver() = default;
    // A user (under `group`) or a group (`group` empty) was added.
    virtual void AccountAdded(const std::string& name, bool isGroup, const std::string& group) = 0;
    virtual void AccountRemoved(const std::string& name, bool isGroup) = 0;
    // A property, a folder entry or (for a user) the group changed.
    virtual void AccountChanged(const std::string& name) = 0;
};

}  // namespace corvane
