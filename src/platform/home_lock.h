// The lock that gives a home to one server (or one administration command) at a time: an
// advisory lock on the file "corvane-server.lock" in the home. The host releases it when its
// holder ends in any way, so the lock of a server that died is free again at once; the file
// itself stays and only tells which process held it last.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

namespace corvane {

inline constexpr const char* kHomeLockFileName = "corvane-server.lock";

class HomeLock {
public:
    enum class Outcome { Acquired, Held, Failed };

    // Tries once, without waiting. On Acquired `lock` holds the lock and the file names this
    // process; on Held another process holds it; on Failed `error` tells why.
    static Outcome TryAcquire(const std::string& home, std::unique_ptr<HomeLock>& lock, std::string& error);
    // The process named in the lock file (the last holder that wrote itself there), 0 if none.
    static pid_t LastHolder(const std::string& home);

    ~HomeLock();
    HomeLock(const HomeLock&) = delete;
    HomeLock& operator=(const HomeLock&) = delete;

    // Writes this process's number into the lock file (the server does; commands do not).
    void NameHolder();
    // The process that the file named before this lock was taken, if it was not this one: the
    // holder that ended without cleaning up (0 when the file named none).
    pid_t PreviousHolder() const { return previousHolder_; }

private:
    explicit HomeLock(int fd)
        : fd_(fd)
    {}
    int fd_;
    bool named_ = false;
    pid_t previousHolder_ = 0;
};

}  // namespace corvane
