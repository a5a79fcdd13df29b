// The control socket while the administration window runs. The window's own thread runs Qt's
// queue, not an EventLoop, so the socket is served by a thread of its own; each command is
// handed to the window thread and carried out there, on the same store and controller as the
// window's own edits, one command at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/admin_commands.h"

namespace corvane {

class EventLoop;
class WindowThread;

class WindowControlSocket {
public:
    // Window thread: what carries out a command there.
    using Runner = std::function<AdminReply(const AdminRequest&)>;

    // Window thread. Listens on `socketPath` before it returns; see Listening.
    WindowControlSocket(WindowThread& window, std::string socketPath, Runner runner);
    // Window thread. Stops listening and removes the socket file. A command the window thread
    // has not started yet is not carried out; its sender is told so.
    ~WindowControlSocket();
    WindowControlSocket(const WindowControlSocket&) = delete;
    WindowControlSocket& operator=(const WindowControlSocket&) = delete;

    bool Listening() const { return listening_; }
    const std::string& Error() const { return error_; }

private:
    struct Shared;

    // Socket thread: hands the command to the window thread and waits for its reply.
    AdminReply RunOnWindow(const AdminRequest& request);

    WindowThread& window_;
    std::string path_;
    std::shared_ptr<Shared> shared_;
    EventLoop* loop_ = nullptr;  // the socket thread's, while it serves
    bool listening_ = false;
    std::string error_;
    std::thread thread_;
};

}  // namespace corvane
