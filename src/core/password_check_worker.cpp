#include "core/password_check_worker.h"

#include <algorithm>

#include "platform/event_loop.h"

namespace corvane {

PasswordCheckWorker::PasswordCheckWorker(unsigned threads)
    : ownerThread_(std::this_thread::get_id())
{
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) threads_.emplace_back([this] { Run(); });
}

PasswordCheckWorker::~PasswordCheckWorker()
{
    *alive_ = false;  // verdicts already posted find it so and are dropped
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        queued_.clear();
        turns_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void PasswordCheckWorker::Check(const std::string& address, permissionsClass::LoginCheck check,
                                std::string password, Verdict verdict)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    // The verdict runs on the owner's loop, and only while this worker is there.
    std::weak_ptr<bool> alive = alive_;
    Verdict guarded = [alive, verdict = std::move(verdict)](PasswordVerdict v) {
        if (auto token = alive.lock(); token && *token) verdict(v);
    };
    {
        std::lock_guard lock(lock_);
        auto& jobs = queued_[address];
        if (jobs.empty()) turns_.push_back(address);
        jobs.push_back({std::move(check), std::move(password), std::move(guarded)});
    }
    wake_.notify_one();
}

std::vector<PasswordCheckWorker::Verdict> PasswordCheckWorker::DropQueued(const std::string& address)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    std::vector<Verdict> verdicts;
    std::lock_guard lock(lock_);
    auto it = queued_.find(address);
    if (it == queued_.end()) return verdicts;
    for (Job& job : it->second) verdicts.push_back(std::move(job.verdict));
    queued_.erase(it);
    turns_.erase(std::remove(turns_.begin(), turns_.end(), address), turns_.end());
    return verdicts;
}

bool PasswordCheckWorker::TakeJob(Job& job)
{
    std::unique_lock lock(lock_);
    wake_.wait(lock, [this] { return stopping_ || !turns_.empty(); });
    if (stopping_) return false;
    const std::string address = std::move(turns_.front());
    turns_.pop_front();
    auto it = queued_.find(address);
    job = std::move(it->second.front());
    it->second.pop_front();
    // The address waits for its next turn behind every other address with a check queued.
    if (it->second.empty()) queued_.erase(it);
    else turns_.push_back(address);
    return true;
}

void PasswordCheckWorker::Run()
{
    Job job;
    while (TakeJob(job)) {
        const PasswordVerdict verdict = permissionsClass::CheckLogin(job.check, job.password);
        std::fill(job.password.begin(), job.password.end(), '\0');
        EventLoop::PostToThread(ownerThread_, [verdict, answer = std::move(job.verdict)] { answer(verdict); });
        job = Job{};
    }
}

}  // namespace corvane
