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

SessionRecordPtr sessionTable::Add(long long clientNumber, const std::string& peerAddress)
{
    std::lock_guard guard(lock_);
    if (const auto old = byClient_.find(clientNumber); old != byClient_.end()) EraseLocked(old->second);
    auto record = std::make_shared<sessionRecord>(clientNumber, peerAddress, ++lastNumber_);
    const auto where = records_.insert(records_.end(), record);
    byClient_.emplace(clientNumber, where);
    bySession_.emplace(record->Number(), where);
    highestClientNumber_ = std::max(highestClientNumber_, clientNumber);
    return record;
}

void sessionTable::EraseLocked(Order::iterator where)
{
    byClient_.erase((*where)->ClientNumber());
    bySession_.erase((*where)->Number());
    records_.erase(where);
}

bool sessionTable::Remove(long long clientNumber)
{
    std::lock_guard guard(lock_);
    const auto found = byClient_.find(clientNumber);
    if (found == byClient_.end()) return false;
    EraseLocked(found->second);
    return true;
}

SessionRecordPtr sessionTable::Find(long long clientNumber) const
{
    std::lock_guard guard(lock_);
    const auto found = byClient_.find(clientNumber);
    return found == byClient_.end() ? nullptr : *found->second;
}

SessionRecordPtr sessionTable::FindSession(std::uint64_t sessionNumber) const
{
    std::lock_guard guard(lock_);
    const auto found = bySession_.find(sessionNumber);
    return found == bySession_.end() ? nullptr : *found->second;
}

std::vector<SessionRecordPtr> sessionTable::Records() const
{
    std::lock_guard guard(lock_);
    return {records_.begin(), records_.end()};
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
    byClient_.clear();
    bySession_.clear();
}

long long sessionTable::HighestClientNumber() const
{
    std::lock_guard guard(lock_);
    return highestClientNumber_;
}

}  // namespace corvane
