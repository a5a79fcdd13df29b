// NOOP reply latency of the FTP service under a steady load: `clients` control connections,
// each on a thread of its own, log in anonymously and send NOOP after NOOP for `duration`.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "blocking_ftp_client.h"

namespace corvane::bench {

struct NoopLatencies {
    double p50 = 0, p99 = 0;  // microseconds
    long long replies = 0;
    bool ok = true;  // every client logged in and every NOOP got its 200
};

inline NoopLatencies MeasureNoops(int port, int clients, std::chrono::milliseconds duration)
{
    std::vector<std::vector<double>> perClient(static_cast<std::size_t>(clients));
    std::atomic<bool> ok{true};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            BlockingFtpClient client(port);
            if (!client.LoginAnonymously()) {
                ok = false;
                return;
            }
            const auto end = std::chrono::steady_clock::now() + duration;
            while (std::chrono::steady_clock::now() < end) {
                const auto start = std::chrono::steady_clock::now();
                if (client.Command("NOOP").rfind("200", 0) != 0) {
                    ok = false;
                    return;
                }
                perClient[static_cast<std::size_t>(i)].push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
            }
            client.Command("QUIT");
        });
    for (auto& t : threads) t.join();
    std::vector<double> all;
    for (const auto& v : perClient) all.insert(all.end(), v.begin(), v.end());
    NoopLatencies result;
    result.ok = ok && !all.empty();
    if (all.empty()) return result;
    std::sort(all.begin(), all.end());
    result.p50 = all[all.size() / 2];
    result.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    result.replies = static_cast<long long>(all.size());
    return result;
}

}  // namespace corvane::bench
