// Waiting on the test's window thread while it keeps serving its queue: the server thread
// runs closures there (on connect, login, every command) and waits for them.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "test_client.h"

namespace corvane::testing {

// Serves the loop until `done` or the timeout; the last value of `done`.
inline bool PumpUntil(EventLoop& loop, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        loop.RunUntil(done, std::chrono::milliseconds(1));
    }
    return true;
}

// The client's next reply line, read while the loop is served; "<timeout>" or "<closed>".
inline std::string ReadLinePumping(EventLoop& loop, LineClient& client)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string line = client.ReadLine(std::chrono::milliseconds(2));
        if (line != "<timeout>") return line;
        loop.ProcessMessages();
    }
    return "<timeout>";
}

}  // namespace corvane::testing
