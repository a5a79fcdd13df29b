// ServerHandOff: what the server thread shows on the window thread, and how. The log lines wait
// in a batch that goes to the window on each tick (or sooner when it grows large); the counters,
// client counts, status text, and session view are handed without waiting, the
// latest value winning; a service's start and stop, and the answer of a window command, are
// posted one by one in order. Nothing here waits for the window.
//
// Threads: made and destroyed by the window thread (with the server thread object); every other
// call on the server thread, but WriteArrived, which the window thread makes once the server
// thread has ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/log_hand_off.h"
#include "core/window_hand_off.h"

namespace corvane {

class ServerThreadLoop;
class WindowThread;
class serverController;

inline constexpr std::chrono::milliseconds kHttpCounterDelay{250};

class ServerHandOff {
public:
    ServerHandOff(serverController& controller, WindowThread& window, const ServerThreadLoop& loop);
    ServerHandOff(const ServerHandOff&) = delete;
    ServerHandOff& operator=(const ServerHandOff&) = delete;

    void log(const std::string& line);
    // Whether a line handed to log would be written anywhere: callers with costly texts build
    // them only then. Any thread.
    bool logWanted() const;
    // The lines go to the window in order, without waiting for it to write them.
    void FlushPendingLog();
    const std::vector<std::string>& pendingLog() const { return pendingLog_; }
    // Window thread, once the server thread has ended: writes what the window has not yet.
    void WriteArrived() { logHandOff_.WriteArrived(); }

    void addFtpDownloaded(std::uint64_t bytes);
    void addFtpUploaded(std::uint64_t bytes);
    void addHttpBytes(std::uint64_t bytes);
    // A new FTP service counts from zero.
    void ResetFtpCounters();

    void ShowClientCounts(int ftp, int http);
    void ShowStatusText(const std::string& text);
    void ShowServiceState(bool ftp, bool started);
    void RequestSessionViewRefresh();
    // In order behind everything posted or flushed before it.
    void PostInOrder(std::function<void()> closure);

private:
    void ShowFtpCounters();

    serverController& controller_;
    const ServerThreadLoop& loop_;
    LatestValueShow<bool> sessionViewRefresh_;
    LatestValueShow<std::string> httpCounterShow_;
    LatestValueShow<std::string> ftpCounterShow_;
    LatestValueShow<std::pair<int, int>> clientCountsShow_;  // FTP, HTTP
    LatestValueShow<std::string> statusTextShow_;
    // Handed one by one, in order: a service's start and stop each write log lines, and the
    // end of a window command must follow what the command showed.
    WindowPoster poster_;
    LogHandOff logHandOff_;

    // Server thread only.
    std::vector<std::string> pendingLog_;
    std::size_t pendingLogBytes_ = 0;  // the text of pendingLog_
    static constexpr std::size_t kPendingLogFlushBytes = 256 * 1024;
    std::uint64_t httpBytesSent_ = 0;
    bool httpCounterDue_ = false;  // a show of the HTTP counter is timed
    std::uint64_t ftpBytesDownloaded_ = 0;
    std::uint64_t ftpBytesUploaded_ = 0;
};

}  // namespace corvane
