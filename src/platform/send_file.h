// Sending a stretch of an open file to a connected stream socket straight from the file, without
// a copy through this process. Non-blocking like every call of socket_api.h, with the same
// result convention: 0 on success, otherwise the system's socket error number (win_errors.h).
#pragma once

namespace corvane::sockapi {

// Hands up to `count` bytes of the file `fileFd`, starting at `offset`, to the stack of the
// socket `socketFd`. The file's own position is neither used nor moved. On success `sent` holds
// the number of bytes the stack took; 0 (with a count above 0) means the file ends at `offset`.
// WSAEWOULDBLOCK when the stack takes nothing now. A file that the host cannot hand over
// directly (a pipe, a special file system) is read and sent through a buffer instead, with the
// same results. Sending never raises SIGPIPE.
int SendFile(int socketFd, int fileFd, long long offset, long long count, long long& sent);

// Reads up to `len` bytes of the file at `offset` without moving its position, for a send that
// has to pass the bytes through this process (an encrypted connection). `got` of 0: the file
// ends at `offset`.
int ReadFileAt(int fileFd, void* buffer, int len, long long offset, int& got);

// True when the host's kernel offers TLS as an upper-layer protocol of TCP (kernel TLS
// offload: it can encrypt what a socket sends, so that files go out without a copy).
bool KernelTlsAvailable();

}  // namespace corvane::sockapi
