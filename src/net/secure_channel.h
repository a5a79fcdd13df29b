// TSecureChannel: the encryption a connected stream socket sends and receives through once it
// has been made secure (TCustomWSocket::StartSecureChannel). The socket layer knows only this
// interface; the implementation (and its library) lives in src/tls.
//
// A channel is bound to one socket handle at creation and reads and writes that handle itself,
// never blocking. Results follow the socket calls of platform/socket_api.h: 0 on success,
// otherwise a socket error number, WSAEWOULDBLOCK when the call can make no progress now.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace corvane {

class TSecureChannel {
public:
    enum class Step { Done, WantRead, WantWrite, Failed };

    virtual ~TSecureChannel() = default;

    // One step of the handshake, as far as the handle allows now.
    virtual Step Handshake() = 0;
    // Why the handshake or the last call failed, for logs.
    virtual std::string FailureText() const = 0;

    // Encrypts and sends up to `len` bytes; `sent` tells how many were taken. A call that was
    // left unfinished (WSAEWOULDBLOCK) must be repeated with the same bytes first.
    virtual int Send(const void* data, int len, int& sent) = 0;
    // Decrypted bytes; a `received` of 0 is the end of the stream (the peer's closing alert or
    // the connection's end).
    virtual int Receive(void* buffer, int len, bool peek, int& received) = 0;
    // Decrypted bytes held by the channel that the handle no longer reports readable.
    virtual int Pending() const = 0;
    // True when the last call stopped because the handle must become writable first (also a
    // receive: a protocol message may have to be answered before more data can be read).
    virtual bool WantsWritable() const = 0;

    // True when the kernel encrypts what is sent (kernel TLS offload): a file can then go from
    // the file to the socket directly, through SendFile.
    virtual bool KernelSends() const = 0;
    // As sockapi::SendFile; only while KernelSends().
    virtual int SendFile(int fileFd, long long offset, long long count, long long& sent) = 0;

    // Before the handshake: this connection hands the peer no tickets for later sessions.
    // For connections that are resumed, not resumed from (FTP's data connections): a peer
    // that only sends (an upload) never reads them, and a connection closed with unread
    // bytes ends in a reset that can cut the end of what it sent.
    virtual void IssueNoSessionTickets() = 0;
    // True when the handshake resumed an earlier session instead of making a new one.
    virtual bool Resumed() const = 0;
    // The protocol version agreed, e.g. "TLSv1.3"; empty before the handshake is done.
    virtual std::string Version() const = 0;

    // True once the peer's closing alert has been read: the peer sends no more, and waits
    // for ours, usually without closing the connection itself.
    virtual bool PeerClosed() const = 0;
    // Sends the closing alert once, without waiting for the peer's.
    virtual void Shutdown() = 0;
};

// Makes the server side of a channel for a connected handle; nullptr when none can be made.
using TSecureChannelMaker = std::function<std::unique_ptr<TSecureChannel>(int handle)>;

}  // namespace corvane
