// The server's end of the control socket "control.sock" in the home: it takes one command per
// connection from the command-line program (only from the owner of the server's process, or
// root), hands it to the runner on this loop's thread (the headless program's window thread; the
// window's program hands it on from there to its own window thread) and sends the reply back.
//
// This loop's thread only. Commands run one after another: one that arrives while another waits for
// the server thread (a disconnect) runs once that one has finished.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "app/admin_commands.h"
#include "platform/event_loop.h"

namespace corvane {

class ControlServer {
public:
    using Runner = std::function<AdminReply(const AdminRequest&)>;

    ControlServer(EventLoop& loop, std::string socketPath, Runner runner);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    bool Listening() const { return listenFd_ >= 0; }
    const std::string& Error() const { return error_; }

private:
    struct Connection {
        std::string in;
        std::string out;
        std::uint64_t serial = 0;
        EventLoop::TimerId timer = 0;
        bool replying = false;
        bool refused = false;  // the peer is not the server's user (nor root)
    };
    struct Queued {
        int fd;
        std::uint64_t serial;
        AdminRequest request;
    };

    void Accept();
    void OnEvent(int fd, std::uint32_t events);
    void Reply(int fd, const AdminReply& reply);
    void RunQueued();
    void Close(int fd);
    void Watch(int fd, std::uint32_t events);

    EventLoop& loop_;
    std::string path_;
    Runner runner_;
    int listenFd_ = -1;
    std::string error_;
    std::map<int, Connection> connections_;
    std::deque<Queued> queue_;
    std::uint64_t lastSerial_ = 0;
    bool running_ = false;
};

}  // namespace corvane
