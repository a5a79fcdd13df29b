// Local (Unix-domain) stream sockets for the control socket in the home: the server side
// listens owner-only and checks who connects; the command side connects and talks with
// deadlines, so that a server that does not answer never holds a command for ever.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace corvane {

// Binds and listens on `path` (a stale socket file left there is replaced; the caller holds
// the home lock, so no live server owns it), readable and writable by the owner only.
// Non-blocking and close-on-exec. -1 with `error` set on failure.
int ListenLocalSocket(const std::string& path, std::string& error);
// A waiting connection, non-blocking and close-on-exec; -1 when none is waiting.
int AcceptLocalConnection(int listenFd);
// True when the connected peer runs as this process's user (or as root).
bool PeerIsOwnerOrRoot(int fd);

// Connects to the socket at `path`; -1 when nobody listens there (or it does not exist).
int ConnectLocalSocket(const std::string& path);
// Writes all of `data` before `deadline`; false on failure or time-out.
bool SendAllBefore(int fd, std::string_view data, std::chrono::steady_clock::time_point deadline);
// Reads up to the end of the stream before `deadline` (at most `limit` bytes); false on
// failure, time-out or a longer stream.
bool ReceiveAllBefore(int fd, std::string& out, std::size_t limit, std::chrono::steady_clock::time_point deadline);
// Non-blocking: appends what can be read now; false once the stream has ended (or failed).
bool ReceiveAvailable(int fd, std::string& out, bool& failed);
// Non-blocking: sends what can be sent now and drops it from `pending`; false on failure.
bool SendAvailable(int fd, std::string& pending);
void EndSending(int fd);
void CloseLocalSocket(int fd);
// Removes the socket file of a listener that has closed.
void RemoveLocalSocketFile(const std::string& path);

}  // namespace corvane
