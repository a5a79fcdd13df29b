#include "app/window_control.h"

#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>

#include "app/control_server.h"
#include "core/window_thread.h"
#include "platform/event_loop.h"
#include "platform/local_socket.h"

namespace corvane {

// Shared with the closures handed to the window thread, which may outlive this object in its
// queue: they find `stopping` set and do nothing.
struct WindowControlSocket::Shared {
    Runner runner;  // called on the window thread only
    std::mutex lock;
    std::condition_variable replied;
    bool stopping = false;     // guarded by lock
    std::uint64_t serial = 0;  // guarded by lock: the command the socket thread waits for
    bool started = false;      // guarded by lock: the window thread took it up
    bool done = false;         // guarded by lock
    AdminReply reply;          // guarded by lock
};

namespace {

AdminReply ShuttingDown(bool started)
{
    AdminReply reply;
    reply.status = kAdminRefused;
    reply.err = started ? "corvane-server: the server shut down while the command ran; it may be carried out in part\n"
                        : "corvane-server: the server is shutting down; the command was not carried out\n";
    return reply;
}

}  // namespace

WindowControlSocket::WindowControlSocket(WindowThread& window, std::string socketPath, Runner runner)
    : window_(window),
      path_(std::move(socketPath)),
      shared_(std::make_shared<Shared>())
{
    CORVANE_ASSERT_WINDOW_THREAD(window_);
    shared_->runner = std::move(runner);
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    thread_ = std::thread([this, &ready] {
        EventLoop loop;
        ControlServer server(loop, path_, [this](const AdminRequest& request) { return RunOnWindow(request); });
        listening_ = server.Listening();
        error_ = server.Error();
        loop_ = &loop;
        ready.set_value();
        if (listening_) loop.MessageLoop();
    });
    started.wait();
    if (!listening_) {
        thread_.join();
        loop_ = nullptr;
    }
}

WindowControlSocket::~WindowControlSocket()
{
    CORVANE_ASSERT_WINDOW_THREAD(window_);
    if (!thread_.joinable()) return;
    {
        std::lock_guard guard(shared_->lock);
        shared_->stopping = true;
    }
    // A command waiting for this thread gives up; the loop ends after it.
    shared_->replied.notify_all();
    loop_->Quit();
    thread_.join();
    RemoveLocalSocketFile(path_);
}

AdminReply WindowControlSocket::RunOnWindow(const AdminRequest& request)
{
    loop_->AssertOwnerThread();
    std::uint64_t serial = 0;
    {
        std::lock_guard guard(shared_->lock);
        if (shared_->stopping) return ShuttingDown(false);
        serial = ++shared_->serial;
        shared_->started = false;
        shared_->done = false;
    }
    const bool posted = window_.Post([shared = shared_, serial, request] {
        {
            std::lock_guard guard(shared->lock);
            if (shared->stopping || shared->serial != serial) return;
            shared->started = true;
        }
        AdminReply reply = shared->runner(request);
        std::lock_guard guard(shared->lock);
        if (shared->serial != serial) return;
        shared->reply = std::move(reply);
        shared->done = true;
        shared->replied.notify_all();
    });
    if (!posted) return ShuttingDown(false);
    std::unique_lock guard(shared_->lock);
    shared_->replied.wait(guard, [this] { return shared_->done || shared_->stopping; });
    if (!shared_->done) return ShuttingDown(shared_->started);
    return std::move(shared_->reply);
}

}  // namespace corvane
