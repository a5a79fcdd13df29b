// TCustomWSocket: the owner's loop. Pumping it, waiting on it for a flush or a close, and
// handing the socket to another thread's loop.

#include "net/custom_wsocket.h"

#include <cassert>
#include <memory>

namespace corvane {

void TCustomWSocket::MessagePump() { ProcessMessages(); }

void TCustomWSocket::ProcessMessages()
{
    if (loop_ == nullptr) return;
    EventLoop* loop = loop_;
    loop->ProcessMessages();
    // The quit request is left for the MessageLoop that runs further up the stack, if any.
    if (loop->QuitRequested()) terminated_ = true;
}

void TCustomWSocket::MessageLoop()
{
    if (loop_ != nullptr) loop_->MessageLoop();
}

void TCustomWSocket::Flush()
{
    if (loop_ == nullptr) return;
    std::weak_ptr<bool> alive = alive_;
    loop_->RunUntil([&] {
        auto token = alive.lock();
        return !token || !*token || fd_ < 0 || allSent_;
    });
}

void TCustomWSocket::WaitForClose()
{
    if (loop_ == nullptr) return;
    std::weak_ptr<bool> alive = alive_;
    loop_->RunUntil([&] {
        auto token = alive.lock();
        return !token || !*token || state_ == wsClosed;
    });
}

// A detached socket belongs to no thread until one attaches it.
void TCustomWSocket::AssertOwnerThread() const
{
    assert((loop_ == nullptr || loop_->IsInLoopThread()) && "a socket called from a thread that does not own it");
}

void TCustomWSocket::ThreadDetach()
{
    if (loop_ == nullptr) return;  // already detached
    if (!loop_->IsInLoopThread()) {
        RaiseException("Cannot detach from other thread");
        return;
    }
    StopWatching();
    home_->Detach();
    loop_ = nullptr;
}

void TCustomWSocket::ThreadAttach()
{
    if (loop_ != nullptr) {
        RaiseException("Cannot attach when not detached");
        return;
    }
    EventLoop* loop = EventLoop::Current();
    if (loop == nullptr) {
        RaiseException("Cannot create a hidden window for TWSocket");
        return;
    }
    loop_ = loop;
    home_->Attach(loop);
    if (fd_ >= 0 && !paused_) RequestNotifications();
}

}  // namespace corvane
