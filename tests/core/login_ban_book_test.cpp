#include <gtest/gtest.h>

#include "core/login_ban_book.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = LoginBanBook::Clock;

LoginBanRules ThreeIn60BanFor100()
{
    LoginBanRules rules;
    rules.failures = 3;
    rules.window = 60s;
    rules.ban = 100s;
    rules.exemptLoopback = false;
    return rules;
}

// Each case: failures at these seconds from the start, then whether the address is banned at
// `probe` seconds.
TEST(LoginBanBook, FailuresInsideTheWindowBanUntilTheBanRunsOut)
{
    struct Case {
        const char* what;
        std::vector<int> failures;
        int probe;
        bool banned;
    };
    const Case cases[] = {
        {"fewer than the limit", {0, 1}, 2, false},
        {"the limit within the window", {0, 1, 2}, 3, true},
        {"the limit spread wider than the window", {0, 30, 61}, 62, false},
        {"old failures fall out, new ones ban", {0, 61, 62, 63}, 64, true},
        {"the ban lasts its time", {0, 1, 2}, 101, true},
        {"and ends after it", {0, 1, 2}, 102, false},
    };
    for (const Case& c : cases) {
        LoginBanBook book(ThreeIn60BanFor100());
        const auto start = Clock::now();
        for (int at : c.failures) book.NoteFailure("10.0.0.9", start + std::chrono::seconds(at));
        EXPECT_EQ(book.Banned("10.0.0.9", start + std::chrono::seconds(c.probe)), c.banned) << c.what;
        EXPECT_FALSE(book.Banned("10.0.0.8", start + std::chrono::seconds(c.probe))) << c.what;
    }
}

TEST(LoginBanBook, ThePauseGrowsWithTheFailuresAndTheBanStartsOnce)
{
    LoginBanRules rules = ThreeIn60BanFor100();
    rules.pauseStep = 200ms;
    rules.longestPause = 500ms;
    LoginBanBook book(rules);
    const auto now = Clock::now();
    std::vector<std::chrono::milliseconds> pauses;
    std::vector<bool> starts;
    for (int i = 0; i < 4; ++i) {
        const LoginBanBook::Failure f = book.NoteFailure("10.0.0.9", now);
        pauses.push_back(f.pause);
        starts.push_back(f.banStarted);
    }
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{200ms, 400ms, 500ms, 500ms}));
    EXPECT_EQ(starts, (std::vector<bool>{false, false, true, false}));
    ASSERT_EQ(book.Snapshot(now + 40s).size(), 1u);
    EXPECT_EQ(book.Snapshot(now + 40s)[0].left, 60s);

    EXPECT_TRUE(book.Unban("10.0.0.9"));
    EXPECT_FALSE(book.Unban("10.0.0.9"));
    EXPECT_FALSE(book.Banned("10.0.0.9", now));
    EXPECT_TRUE(book.Snapshot(now).empty());
    // Lifted, the address starts again from no failures.
    EXPECT_EQ(book.NoteFailure("10.0.0.9", now).counted, 1);
}

TEST(LoginBanBook, ExemptAddressesAreNeverCounted)
{
    struct Case {
        std::string address;
        bool exemptLoopback;
        bool banned;
    };
    const Case cases[] = {
        {"127.0.0.1", true, false},  {"127.0.0.2", true, false},        {"::1", true, false},
        {"::ffff:127.0.0.1", true, false}, {"127.0.0.1", false, true}, {"10.1.1.1", true, true},
        {"192.168.5.5", true, false},  // named by the owner's test
    };
    for (const Case& c : cases) {
        LoginBanRules rules = ThreeIn60BanFor100();
        rules.exemptLoopback = c.exemptLoopback;
        LoginBanBook book(rules, [](const std::string& a) { return a == "192.168.5.5"; });
        const auto now = Clock::now();
        for (int i = 0; i < 5; ++i) book.NoteFailure(c.address, now);
        EXPECT_EQ(book.Banned(c.address, now), c.banned) << c.address;
    }
    LoginBanRules off = ThreeIn60BanFor100();
    off.failures = 0;
    LoginBanBook none(off);
    for (int i = 0; i < 5; ++i) none.NoteFailure("10.1.1.1", Clock::now());
    EXPECT_FALSE(none.Banned("10.1.1.1", Clock::now()));
}

TEST(LoginBanBook, PruneForgetsAddressesThatStoppedTrying)
{
    LoginBanBook book(ThreeIn60BanFor100());
    const auto now = Clock::now();
    book.NoteFailure("10.0.0.1", now);
    for (int i = 0; i < 3; ++i) book.NoteFailure("10.0.0.2", now);
    book.Prune(now + 61s);
    EXPECT_EQ(book.AddressCount(), 1u);  // the ban stays
    book.Prune(now + 101s);
    EXPECT_EQ(book.AddressCount(), 0u);
}

}  // namespace
}  // namespace corvane
