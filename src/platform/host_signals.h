// Signals with which the host would end the whole process for a fault of one connection or one
// file: SIGPIPE (a send to a peer that has gone, from sendfile, send, writev or a write to a
// closed standard output) and SIGXFSZ (a write past the file size limit). The server reports
// both as errors of the call that met them (EPIPE and EFBIG), never as the end of every session.
#pragma once

namespace corvane {

// Sets both signals to be ignored for the whole process. Safe from any thread and any number of
// times; the program calls it before it starts a thread, and the creation of every socket and
// every send from a file call it again, so that no binary that sends (tests and benchmarks
// included) can miss it.
void IgnoreConnectionFaultSignals();

}  // namespace corvane
