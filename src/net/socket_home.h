// SocketHome: where the work posted for one socket runs.
//
// A socket's posted work (the write notification after Send, CloseDelayed, Release, line-mode
// re-delivery, lookup results) must run on the socket's owner thread, after the handler that
// posted it, and never after the socket is gone. The owner can change: ThreadDetach leaves the
// socket without a loop, ThreadAttach gives it the calling thread's loop. The home is shared
// by the socket and by every piece of work posted for it, so work queued on the old loop, or
// posted from a resolver thread, finds out where the socket lives now:
//  - socket gone: the work is dropped;
//  - socket detached: the work is held and handed to the next loop it is attached to;
//  - socket attached to another loop: the work is forwarded there.
// Work runs only on the thread whose loop the socket is attached to, so it may touch the socket.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/event_loop.h"

namespace corvane {

class SocketHome : public std::enable_shared_from_this<SocketHome> {
public:
    using Work = std::function<void()>;

    explicit SocketHome(EventLoop* loop)
        : loop_(loop)
    {}

    // Any thread. Queues the work for the socket's owner thread. False when it is dropped at
    // once (socket gone, or its loop is shutting down).
    bool Post(Work work);

    // Owner thread. The socket leaves its loop; work arriving meanwhile is held.
    void Detach();
    // The new owner thread. Held work is queued on `loop` in the order it was posted.
    void Attach(EventLoop* loop);
    // Owner thread, from the socket's destructor: nothing posted for the socket runs any more.
    void Abandon();

private:
    bool PostLocked(Work work);  // mutex_ held
    void RunOrForward(Work work);
    void AssertOwnerThread() const;  // mutex_ held

    std::mutex mutex_;
    EventLoop* loop_;         // guarded by mutex_; nullptr while detached
    bool alive_ = true;       // guarded by mutex_
    std::vector<Work> held_;  // guarded by mutex_
};

}  // namespace corvane
