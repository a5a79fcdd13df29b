// PasswordCheckWorker: checks login passwords against their hashes off the server thread.
//
// A check costs tens of milliseconds and a good deal of memory; the server thread queues it
// here and goes on serving everyone else, and the verdict comes back as an event of the
// thread that queued it. The queue is served address by address in turn, so that one address
// that sends many guesses at once does not hold up the logins of the others.
//
// Check and DropQueued: the owner thread only. The verdicts run on the owner's loop, never
// after the worker has gone.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "accounts/permissions.h"
#include "common/thread_owner.h"

namespace corvane {

class PasswordCheckWorker {
public:
    using Verdict = std::function<void(PasswordVerdict verdict)>;

    // `threads` checks at once (at least 1).
    explicit PasswordCheckWorker(unsigned threads = 2);
    // Waits for the checks running now; the queued ones and their verdicts are dropped.
    ~PasswordCheckWorker();
    PasswordCheckWorker(const PasswordCheckWorker&) = delete;
    PasswordCheckWorker& operator=(const PasswordCheckWorker&) = delete;

    void Check(const std::string& address, permissionsClass::LoginCheck check, std::string password,
               Verdict verdict);
    // Takes the address's queued checks back unchecked; their verdicts are the caller's to give.
    std::vector<Verdict> DropQueued(const std::string& address);

private:
    struct Job {
        permissionsClass::LoginCheck check;
        std::string password;
        Verdict verdict;
    };
    void Run();
    bool TakeJob(Job& job);  // false once stopping

    std::thread::id ownerThread_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // owner thread only
    std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;                                    // guarded by lock_
    std::unordered_map<std::string, std::deque<Job>> queued_;  // guarded by lock_
    std::deque<std::string> turns_;                            // addresses with queued jobs, guarded by lock_
    std::vector<std::thread> threads_;
    ThreadOwner owner_;
};

}  // namespace corvane
