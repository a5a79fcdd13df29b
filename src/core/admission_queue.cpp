#include "core/admission_queue.h"

namespace corvane {

void AdmissionQueue::Add(long long number, const std::string& address, Clock::time_point since)
{
    if (Contains(number)) return;
    order_.push_back({number, address, since});
    byNumber_.emplace(number, std::prev(order_.end()));
    ++perAddress_[address];
}

void AdmissionQueue::Remove(long long number)
{
    const auto found = byNumber_.find(number);
    if (found == byNumber_.end()) return;
    const auto entry = found->second;
    const auto count = perAddress_.find(entry->address);
    if (count != perAddress_.end() && --count->second <= 0) perAddress_.erase(count);
    order_.erase(entry);
    byNumber_.erase(found);
}

int AdmissionQueue::WaitingFrom(const std::string& address) const
{
    const auto count = perAddress_.find(address);
    return count == perAddress_.end() ? 0 : count->second;
}

std::optional<long long> AdmissionQueue::EldestWaitingSince(Clock::time_point cutoff) const
{
    if (order_.empty() || order_.front().since > cutoff) return std::nullopt;
    return order_.front().number;
}

}  // namespace corvane
