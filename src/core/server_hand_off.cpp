#include "core/server_hand_off.h"

#include "core/server_controller.h"
#include "core/server_thread_loop.h"
#include "core/server_view.h"
#include "core/status_texts.h"

namespace corvane {

ServerHandOff::ServerHandOff(serverController& controller, WindowThread& window, const ServerThreadLoop& loop)
    : controller_(controller),
      loop_(loop),
      sessionViewRefresh_(window, [&controller](bool) { controller.view().RefreshSessionView(); }),
      httpCounterShow_(window, [&controller](const std::string& text) { controller.view().ShowHttpCounter(text); }),
      ftpCounterShow_(window, [&controller](const std::string& text) { controller.view().ShowFtpCounters(text); }),
      clientCountsShow_(window,
                        [&controller](const std::pair<int, int>& counts) {
                            controller.setClientCounts(counts.first, counts.second);
                            controller.view().ShowClientCounts(ClientCountText(counts.first),
                                                               ClientCountText(counts.second));
                        }),
      statusTextShow_(window, [&controller](const std::string& text) { controller.view().ShowStatusText(text); }),
      poster_(window),
      logHandOff_(window, [&controller](const std::vector<std::string>& lines) { controller.writeLogLines(lines); })
{}

void ServerHandOff::log(const std::string& line)
{
    loop_.AssertOwner();
    pendingLog_.push_back(line);
    pendingLogBytes_ += line.size();
    // Lines go to the window on the tick, or sooner when a flood of them would otherwise wait
    // in memory until then.
    if (pendingLogBytes_ > kPendingLogFlushBytes) FlushPendingLog();
}

bool ServerHandOff::logWanted() const { return controller_.logWanted(); }

void ServerHandOff::FlushPendingLog()
{
    std::vector<std::string> lines;
    lines.swap(pendingLog_);
    logHandOff_.Hand(std::move(lines), pendingLogBytes_);
    pendingLogBytes_ = 0;
}

void ServerHandOff::addFtpDownloaded(std::uint64_t bytes)
{
    ftpBytesDownloaded_ += bytes;
    ShowFtpCounters();
}

void ServerHandOff::addFtpUploaded(std::uint64_t bytes)
{
    ftpBytesUploaded_ += bytes;
    ShowFtpCounters();
}

void ServerHandOff::ResetFtpCounters()
{
    ftpBytesDownloaded_ = 0;
    ftpBytesUploaded_ = 0;
    ShowFtpCounters();
}

void ServerHandOff::addHttpBytes(std::uint64_t bytes)
{
    httpBytesSent_ += bytes;
    // Connections end by the thousand per second: the counter is shown a quarter of a second
    // after the first of them, with the total of all that ended meanwhile.
    EventLoop* loop = loop_.Get();
    if (loop == nullptr) return httpCounterShow_.Hand(HttpCounterText(httpBytesSent_));
    if (httpCounterDue_) return;
    httpCounterDue_ = true;
    loop->AddOneShot(kHttpCounterDelay, [this] {
        httpCounterDue_ = false;
        httpCounterShow_.Hand(HttpCounterText(httpBytesSent_));
    });
}

// The counters change at the end of every transfer: shown without waiting for the window.
void ServerHandOff::ShowFtpCounters() { ftpCounterShow_.Hand(FtpCounterText(ftpBytesUploaded_, ftpBytesDownloaded_)); }

void ServerHandOff::ShowClientCounts(int ftp, int http) { clientCountsShow_.Hand({ftp, http}); }

void ServerHandOff::ShowStatusText(const std::string& text) { statusTextShow_.Hand(text); }

void ServerHandOff::ShowServiceState(bool ftp, bool started)
{
    serverController& controller = controller_;
    poster_.Post([&controller, ftp, started] {
        controller.view().ShowServiceState(ftp ? ServiceKind::Ftp : ServiceKind::Http, started);
    });
}

// The snapshot is taken by the caller and drawn by the window thread when it gets to it.

void ServerHandOff::RequestSessionViewRefresh() { sessionViewRefresh_.Hand(true); }

void ServerHandOff::PostInOrder(std::function<void()> closure) { poster_.Post(std::move(closure)); }

}  // namespace corvane
