// Urgent data read in line with the rest of a stream.
//
// A client that sends a command as urgent data (Python's ftplib sends "ABOR" CR LF so, as the
// Telnet "synch" of the FTP standard asks) marks its last byte urgent; on this host that byte
// is taken out of the normal stream unless the socket reads urgent data inline, and the command
// line would never end. With it inline, the bytes arrive in order like any others.
#pragma once

namespace corvane::sockapi {

// 0, or the error in the Windows Sockets numbering.
int SetOobInline(int fd, bool on);

}  // namespace corvane::sockapi
