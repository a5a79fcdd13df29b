#include "core/login_ban_book.h"

#include <algorithm>

namespace corvane {

bool IsLoopbackAddress(const std::string& address)
{
    if (address == "::1") return true;
    const std::string_view v4 = address.rfind("::ffff:", 0) == 0 ? std::string_view(address).substr(7) : address;
    return v4.substr(0, 4) == "127.";
}

LoginBanBook::LoginBanBook(LoginBanRules rules, ExemptTest exempt)
    : rules_(rules),
      exempt_(std::move(exempt))
{}

bool LoginBanBook::Exempt(const std::string& address) const
{
    if (rules_.exemptLoopback && IsLoopbackAddress(address)) return true;
    return exempt_ && exempt_(address);
}

bool LoginBanBook::Banned(const std::string& address, Clock::time_point now)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    auto it = addresses_.find(address);
    if (it == addresses_.end() || !it->second.banned) return false;
    if (now < it->second.bannedUntil) return true;
    // The ban has run out: the address starts again from no failures.
    addresses_.erase(it);
    return false;
}

void LoginBanBook::DropOldFailures(Record& record, Clock::time_point now) const
{
    while (!record.failures.empty() && now - record.failures.front() >= rules_.window) record.failures.pop_front();
}

LoginBanBook::Failure LoginBanBook::NoteFailure(const std::string& address, Clock::time_point now)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    Failure failure;
    if (rules_.failures <= 0 || Exempt(address)) return failure;
    Banned(address, now);  // forgets a ban that has ended
    Record& record = addresses_[address];
    DropOldFailures(record, now);
    record.failures.push_back(now);
    while (record.failures.size() > static_cast<std::size_t>(rules_.failures)) record.failures.pop_front();
    failure.counted = static_cast<int>(record.failures.size());
    failure.pause = std::min(rules_.longestPause, rules_.pauseStep * failure.counted);
    if (!record.banned && failure.counted >= rules_.failures) {
        record.banned = true;
        record.bannedUntil = now + rules_.ban;
        failure.banStarted = true;
    }
    return failure;
}

bool LoginBanBook::Unban(const std::string& address)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    auto it = addresses_.find(address);
    if (it == addresses_.end() || !it->second.banned) return false;
    addresses_.erase(it);
    return true;
}

std::vector<LoginBanBook::Ban> LoginBanBook::Snapshot(Clock::time_point now) const
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    std::vector<Ban> bans;
    for (const auto& [address, record] : addresses_) {
        if (!record.banned || now >= record.bannedUntil) continue;
        // Rounded up: a ban with half a second left shows one second, not none.
        const auto left = std::chrono::ceil<std::chrono::seconds>(record.bannedUntil - now);
        bans.push_back({address, left, static_cast<int>(record.failures.size())});
    }
    std::sort(bans.begin(), bans.end(), [](const Ban& a, const Ban& b) {
        return a.left != b.left ? a.left > b.left : a.address < b.address;
    });
    return bans;
}

void LoginBanBook::Prune(Clock::time_point now)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    for (auto it = addresses_.begin(); it != addresses_.end();) {
        Record& record = it->second;
        if (record.banned) {
            // An ended ban is forgotten with its failures, as Banned() forgets it.
            it = now < record.bannedUntil ? std::next(it) : addresses_.erase(it);
            continue;
        }
        DropOldFailures(record, now);
        it = record.failures.empty() ? addresses_.erase(it) : std::next(it);
    }
}

}  // namespace corvane
