// The command messages that the window thread posts to the server thread (WM_APP + 103 ... 109
// in the system's numbering). A disconnect carries the number of its client and the answer it
// waits for; the others carry nothing.
#pragma once

#include <cstddef>

namespace corvane {

enum ServerCommand : unsigned {
    MSG_START_FTP = 32871,
    MSG_STOP_FTP = 32872,
    MSG_DISCONNECT_CLIENT = 32873,
    MSG_DISCONNECT_ALL = 32874,
    MSG_START_HTTP = 32875,
    MSG_STOP_HTTP = 32876,
    MSG_REFRESH_CACHE_VIEW = 32877,
    MSG_RELOAD_TLS = 32878,  // the certificate pair, loaded again for new connections
};

// What a disconnect did, filled in on the window thread once the server thread is through with
// it. Each request has its own, so two requests at once each hear their own result.
struct DisconnectAnswer {
    bool done = false;
    std::size_t disconnected = 0;  // clients that went
};

}  // namespace corvane
