// One synchronous request of an HTTP client whose reply goes into a ReplyCapture, watched
// while it runs: it is aborted when the reply outgrows the capture, when the caller's stop
// test says so, or when it has not ended within the time limit. The watch runs on the calling
// thread's EventLoop (the one the client's wait serves), every `period`.
#pragma once

#include <chrono>
#include <functional>

namespace corvane {

class THttpCli;
class ReplyCapture;

// Runs client.Post() or client.Get(). True when the request raised neither a socket-layer nor
// an HTTP-client error (a status of 400 or more, an abort included) and was not cut off;
// other errors pass through. The reply's bytes are in `reply` either way.
bool RunCappedRequest(THttpCli& client, ReplyCapture& reply, bool post, std::chrono::milliseconds timeLimit,
                      std::chrono::milliseconds period, const std::function<bool()>& stopRequested);

}  // namespace corvane
