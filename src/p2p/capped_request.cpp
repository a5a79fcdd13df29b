#include "p2p/capped_request.h"

#include "net/http_cli.h"
#include "net/socket_exception.h"
#include "p2p/reply_capture.h"
#include "platform/event_loop.h"

namespace corvane {

bool RunCappedRequest(THttpCli& client, ReplyCapture& reply, bool post, std::chrono::milliseconds timeLimit,
                      std::chrono::milliseconds period, const std::function<bool()>& stopRequested)
{
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    bool cutOff = false;
    EventLoop* loop = EventLoop::Current();
    const EventLoop::TimerId watch = loop == nullptr ? 0 : loop->AddTimer(period, period, [&] {
        if (client.State() == httpReady) return;
        const bool late = std::chrono::steady_clock::now() >= deadline;
        if (reply.Overflowed() || late) cutOff = true;
        if (cutOff || (stopRequested && stopRequested())) client.Abort();
    });
    bool raised = false;
    try {
        if (post) client.Post();
        else client.Get();
    } catch (const EHttpException&) {
        raised = true;
    } catch (const ESocketException&) {
        raised = true;
    } catch (...) {
        if (loop != nullptr) loop->CancelTimer(watch);
        throw;
    }
    if (loop != nullptr) loop->CancelTimer(watch);
    return !raised && !cutOff && !reply.Overflowed();
}

}  // namespace corvane
