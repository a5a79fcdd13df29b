// The command messages that the window thread posts to the server thread (WM_APP + 103 ... 109
// in the system's numbering; they carry no parameters).
#pragma once

namespace corvane {

enum ServerCommand : unsigned {
    MSG_START_FTP = 32871,
    MSG_STOP_FTP = 32872,
    MSG_DISCONNECT_CLIENT = 32873,
    MSG_DISCONNECT_ALL = 32874,
    MSG_START_HTTP = 32875,
    MSG_STOP_HTTP = 32876,
    MSG_REFRESH_CACHE_VIEW = 32877,
};

}  // namespace corvane
