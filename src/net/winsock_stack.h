// The network stack's lifetime as the socket layer counts it.
//
// The Windows build loads the system's socket library when the first socket is created and
// unloads it when the last one is destroyed. On Linux the stack is part of the kernel and
// needs no loading; the layer keeps the same bookkeeping under the same names, so that the
// count of live sockets, the forced load and the stack description behave as callers expect.
// All functions are safe from any thread.
#pragma once

#include <string>

namespace corvane {

// The stack's start-up description.
struct TWSAData {
    int wVersion = 0;      // the interface version in use, 1.1 as 0x0101
    int wHighVersion = 0;  // the highest version the stack offers
    std::string szDescription;
    std::string szSystemStatus;
    int iMaxSockets = 0;
    int iMaxUdpDg = 0;
};

// Loads the stack and keeps it loaded, counted as one live socket, until
// WSocketCancelForceLoadWinsock. A second call while forced does nothing.
void WSocketForceLoadWinsock();
void WSocketCancelForceLoadWinsock();
// Marks the stack unloaded; the next socket or forced load loads it again.
void WSocketUnloadWinsock();
// The stack's description; loads and unloads the stack around the call when no socket is alive.
TWSAData WinsockInfo();

// Live sockets, the forced load included.
int WSocketLiveSocketCount();
bool WSocketStackLoaded();

// Called by every socket at creation and destruction: the first loads the stack, the last
// unloads it.
void WSocketCountSocketCreated();
void WSocketCountSocketDestroyed();

}  // namespace corvane
