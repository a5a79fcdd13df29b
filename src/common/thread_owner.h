// The check behind "owner thread only". An object that belongs to one thread keeps a
// ThreadOwner; its owner-only methods start with CORVANE_ASSERT_OWNER_THREAD, which stops a
// debug build at once when another thread calls them. Release builds compile the check away.
#pragma once

#include <cassert>
#include <thread>

namespace corvane {

class ThreadOwner {
public:
    // The creating thread is the owner.
    ThreadOwner() = default;

    // The object has moved to the calling thread (after its old owner let it go).
    void Adopt() { owner_ = std::this_thread::get_id(); }
    bool IsOwner() const { return std::this_thread::get_id() == owner_; }

private:
    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace corvane

#define CORVANE_ASSERT_OWNER_THREAD(owner)                                                                             \
    assert((owner).IsOwner() && "called from a thread that does not own the object")
