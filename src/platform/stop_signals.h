// SIGINT and SIGTERM as a descriptor that becomes readable when one arrives, for an owner
// loop that is not an EventLoop (the administration window's toolkit loop).
#pragma once

namespace corvane {

class StopSignals {
public:
    // Blocks SIGINT and SIGTERM for the process (call before other threads start) and opens the
    // descriptor; Fd() is -1 when it could not be opened (the signals then stay blocked).
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int Fd() const { return fd_; }
    // Reads what has arrived; true when at least one stop signal had.
    bool Take();
    // In a child process between fork and exec: the programs it starts (a browser, a mail
    // program) get the signals as usual. Async-signal-safe.
    static void UnblockInChild();

private:
    int fd_ = -1;
};

}  // namespace corvane
