#include "accounts/account.h"

#include <algorithm>
#include <cctype>

namespace corvane {

int accountClass::IpConnectionCount(const std::string& address) const {
  std::lock_guard lock(ipCountsLock_);
  for (const auto& entry : ipCounts_) {
    size_t star = entry.find('*');
    if (star == std::string::npos || entry.compare(0, star, address) != 0 || star != address.size())
      continue;
    std::string digits = entry.substr(star + 1);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      return 0;
    return std::stoi(digits);
  }
  return 0;
}

void accountClass::SetIpConnectionCount(const std::string& address, int count) {
  std::string entry = address + "*" + std::to_string(count);
  std::lock_guard lock(ipCountsLock_);
  for (auto& existing : ipCounts_) {
    size_t star = existing.find('*');
    if (star == address.size() && existing.compare(0, star, address) == 0) {
      existing = entry;
      return;
    }
  }
  ipCounts_.push_back(entry);
}

std::vector<FolderEntryPtr> accountClass::Entries() const {
  std::lock_guard lock(entriesLock_);
  return entries_;
}

size_t accountClass::EntryCount() const {
  std::lock_guard lock(entriesLock_);
  return entries_.size();
}

void accountClass::AppendEntry(FolderEntryPtr entry) {
  std::lock_guard lock(entriesLock_);
  entries_.push_back(std::move(entry));
}

void accountClass::RemoveEntry(const FolderEntryPtr& entry) {
  std::lock_guard lock(entriesLock_);
  auto it = std::find(entries_.begin(), entries_.end(), entry);
  if (it != entries_.end()) entries_.erase(it);
}

void accountClass::ClearEntries() {
  std::lock_guard lock(entriesLock_);
  entries_.clear();
}

}  // namespace corvane
