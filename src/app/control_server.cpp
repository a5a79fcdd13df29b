#include "app/control_server.h"

#include <chrono>

#include "app/control_protocol.h"
#include "platform/local_socket.h"

namespace corvane {
namespace {

// A command side that neither finishes its request nor reads its reply in this time is dropped.
constexpr std::chrono::milliseconds kConnectionTimeout{10000};

AdminReply ErrorReply(const std::string& text)
{
    AdminReply reply;
    reply.status = kAdminRefused;
    reply.err = "corvane-server: " + text + "\n";
    return reply;
}

}  // namespace

ControlServer::ControlServer(EventLoop& loop, std::string socketPath, Runner runner)
    : loop_(loop),
      path_(std::move(socketPath)),
      runner_(std::move(runner))
{
    loop_.AssertOwnerThread();
    listenFd_ = ListenLocalSocket(path_, error_);
    if (listenFd_ >= 0) loop_.WatchFd(listenFd_, EventLoop::IoReadable, [this](std::uint32_t) { Accept(); });
}

ControlServer::~ControlServer()
{
    loop_.AssertOwnerThread();
    while (!connections_.empty()) Close(connections_.begin()->first);
    if (listenFd_ < 0) return;
    loop_.UnwatchFd(listenFd_);
    CloseLocalSocket(listenFd_);
}

void ControlServer::Accept()
{
    loop_.AssertOwnerThread();
    for (int fd = AcceptLocalConnection(listenFd_); fd >= 0; fd = AcceptLocalConnection(listenFd_)) {
        Connection& connection = connections_[fd];
        connection.serial = ++lastSerial_;
        connection.timer = loop_.AddOneShot(kConnectionTimeout, [this, fd] {
            auto it = connections_.find(fd);
            if (it == connections_.end()) return;
            it->second.timer = 0;
            Close(fd);
        });
        Watch(fd, EventLoop::IoReadable);
        // Another user's request is read to its end and then refused, so that it hears why.
        connection.refused = !PeerIsOwnerOrRoot(fd);
    }
}

void ControlServer::OnEvent(int fd, std::uint32_t events)
{
    loop_.AssertOwnerThread();
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    Connection& connection = it->second;
    if (connection.replying) {
        if (!SendAvailable(fd, connection.out) || connection.out.empty()) Close(fd);
        return;
    }
    bool failed = false;
    const bool open = ReceiveAvailable(fd, connection.in, failed);
    if (failed || (events & EventLoop::IoError)) return Close(fd);
    if (connection.in.size() > kControlMessageLimit) return Reply(fd, ErrorReply("the command is too long"));
    if (open) return;
    // The whole request is in: the command side closed its sending half.
    if (connection.refused)
        return Reply(fd, ErrorReply("the control socket takes commands only from the server's own user"));
    auto request = DecodeRequest(connection.in);
    if (!request) return Reply(fd, ErrorReply("the command did not arrive whole"));
    // Nothing more is read; a hang-up reported meanwhile would only repeat itself.
    loop_.UnwatchFd(fd);
    queue_.push_back({fd, connection.serial, std::move(*request)});
    RunQueued();
}

void ControlServer::RunQueued()
{
    loop_.AssertOwnerThread();
    // A command that waits (for the server thread) serves this loop meanwhile; one that arrives
    // then waits its turn instead of running inside it.
    if (running_) return;
    running_ = true;
    while (!queue_.empty()) {
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        AdminReply reply = runner_(next.request);
        // The command side may have been dropped meanwhile, and its number reused.
        auto it = connections_.find(next.fd);
        if (it != connections_.end() && it->second.serial == next.serial) Reply(next.fd, reply);
    }
    running_ = false;
}

void ControlServer::Reply(int fd, const AdminReply& reply)
{
    loop_.AssertOwnerThread();
    Connection& connection = connections_[fd];
    connection.replying = true;
    connection.out = EncodeReply(reply);
    if (!SendAvailable(fd, connection.out) || connection.out.empty()) return Close(fd);
    Watch(fd, EventLoop::IoWritable);
}

void ControlServer::Watch(int fd, std::uint32_t events)
{
    loop_.WatchFd(fd, events, [this, fd](std::uint32_t ready) { OnEvent(fd, ready); });
}

void ControlServer::Close(int fd)
{
    auto it = connections_.find(fd);
    if (it == connections_.end()) return;
    if (it->second.timer != 0) loop_.CancelTimer(it->second.timer);
    loop_.UnwatchFd(fd);
    CloseLocalSocket(fd);
    connections_.erase(it);
}

}  // namespace corvane
