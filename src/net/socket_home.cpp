#include "net/socket_home.h"

#include <cassert>
#include <utility>

namespace corvane {

bool SocketHome::Post(Work work)
{
    std::lock_guard lock(mutex_);
    return PostLocked(std::move(work));
}

bool SocketHome::PostLocked(Work work)
{
    if (!alive_) return false;
    if (loop_ == nullptr) {
        held_.push_back(std::move(work));
        return true;
    }
    return loop_->Post(
        [home = shared_from_this(), work = std::move(work)]() mutable { home->RunOrForward(std::move(work)); });
}

void SocketHome::RunOrForward(Work work)
{
    {
        std::lock_guard lock(mutex_);
        if (!alive_) return;
        if (loop_ != EventLoop::Current()) {
            // Queued before a ThreadDetach: it belongs to wherever the socket lives now.
            PostLocked(std::move(work));
            return;
        }
    }
    // This thread owns the socket, and only the owner can detach or destroy it, so the socket
    // stays here while the work runs.
    work();
}

void SocketHome::Detach()
{
    std::lock_guard lock(mutex_);
    AssertOwnerThread();
    loop_ = nullptr;
}

void SocketHome::Attach(EventLoop* loop)
{
    std::vector<Work> held;
    {
        std::lock_guard lock(mutex_);
        loop_ = loop;
        held.swap(held_);
        for (Work& work : held) PostLocked(std::move(work));
    }
}

void SocketHome::Abandon()
{
    std::vector<Work> dropped;
    {
        std::lock_guard lock(mutex_);
        AssertOwnerThread();
        alive_ = false;
        dropped.swap(held_);
    }
    // The dropped work is destroyed here, outside the lock.
}

// A detached socket has no owner: whoever holds it may let it go.
void SocketHome::AssertOwnerThread() const
{
    assert((loop_ == nullptr || loop_->IsInLoopThread()) && "a socket left or destroyed off its owner thread");
}

}  // namespace corvane
