#include "core/session_table.h"

#include <algorithm>

namespace corvane {

int SessionActionIcon(std::int32_t action)
{
    static constexpr int kIcons[] = {3, 2, 2, 1, 6, 8, 4, 4, 7, 0, 5};
    return action >= 0 && action < static_cast<std::int32_t>(std::size(kIcons)) ? kIcons[action] : 5;
}

std::int32_t sessionRecord::LastAction() const
{
    std::lock_guard guard(lock_);
    return lastAction_;
}

void sessionRecord::SetAction(const std::string& account, const std::string& path, std::int32_t action,
                              const std::string& group)
{
    std::lock_guard guard(lock_);
    accountName_ = account;
    currentPath_ = path;
    lastAction_ = action;
    groupName_ = group;
}

std::string sessionRecord::Get(const std::string& field) const
{
    std::lock_guard guard(lock_);
    return field;
}

void sessionRecord::Set(std::string& field, const std::string& value)
{
    std::lock_guard guard(lock_);
    field = value;
}

SessionRecordPtr sessionTable::Add(const void* client, const std::string& peerAddress)
{
    std::lock_guard guard(lock_);
    auto record = std::make_shared<sessionRecord>(client, peerAddress, ++lastNumber_);
    records_.push_back(record);
    return record;
}

bool sessionTable::Remove(const void* client)
{
    std::lock_guard guard(lock_);
    const auto found = std::find_if(records_.begin(), records_.end(),
                                    [client](const SessionRecordPtr& r) { return r->Client() == client; });
    if (found == records_.end()) return false;
    records_.erase(found);
    return true;
}

SessionRecordPtr sessionTable::Find(const void* client) const
{
    std::lock_guard guard(lock_);
    for (const auto& record : records_)
        if (record->Client() == client) return record;
    return nullptr;
}

std::vector<SessionRecordPtr> sessionTable::Records() const
{
    std::lock_guard guard(lock_);
    return records_;
}

std::size_t sessionTable::Count() const
{
    std::lock_guard guard(lock_);
    return records_.size();
}

void sessionTable::Clear()
{
    std::lock_guard guard(lock_);
    records_.clear();
}

}  // namespace corvane
