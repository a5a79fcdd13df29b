#include <gtest/gtest.h>

#include "accounts/account_names.h"
#include "accounts/password_hash.h"
#include "accounts/stored_password.h"

namespace corvane {
namespace {

constexpr PasswordHashCost kCheap{1, 8};

TEST(StoredPassword, AHashIsWrittenBehindItsMarkerAndChecksOnlyItsPassword)
{
    const std::string hash = HashPassword("s3cret", kCheap);
    ASSERT_TRUE(IsPasswordHash(hash)) << hash;
    EXPECT_NE(HashPassword("s3cret", kCheap), hash);  // each hash has its own salt
    const std::string value = StoredPasswordFileValue(StoredPassword::FromHash(hash));
    const StoredPassword read = ParseStoredPassword(value);
    ASSERT_EQ(read.form, StoredPassword::Form::Hashed);
    EXPECT_EQ(read.text, hash);
    struct Case {
        const char* given;
        PasswordVerdict verdict;
    };
    for (const Case& c : {Case{"s3cret", PasswordVerdict::Accepted}, Case{"", PasswordVerdict::Refused},
                          Case{"s3cre", PasswordVerdict::Refused}, Case{"s3cret ", PasswordVerdict::Refused}})
        EXPECT_EQ(CheckStoredPassword(read, c.given), c.verdict) << c.given;
    EXPECT_EQ(CheckStoredPassword(read, hash), PasswordVerdict::Refused);
}

// A build that knows only scrambled passwords unscrambles the value: what it then expects
// starts with a line feed, which no command line can carry, so neither an empty password nor
// any other logs in; and its save writes the value back unchanged.
TEST(StoredPassword, AnOlderBuildReadingAHashExpectsAPasswordNoClientCanSend)
{
    const std::string hash = HashPassword("", kCheap);
    const std::string value = StoredPasswordFileValue(StoredPassword::FromHash(hash));
    const std::string olderReading = ScramblePassword(value);
    ASSERT_FALSE(olderReading.empty());
    EXPECT_EQ(olderReading.front(), '\n');
    for (const std::string& given : {std::string(), hash, value, olderReading.substr(1)})
        EXPECT_NE(olderReading, given);
    EXPECT_EQ(ScramblePassword(olderReading), value);
}

TEST(StoredPassword, EarlierScrambledPasswordsAndUnknownHashesRead)
{
    const StoredPassword plain = ParseStoredPassword(ScramblePassword("abc"));
    EXPECT_EQ(plain.form, StoredPassword::Form::Plain);
    EXPECT_EQ(CheckStoredPassword(plain, "abc"), PasswordVerdict::Accepted);
    EXPECT_EQ(CheckStoredPassword(plain, "ab"), PasswordVerdict::Refused);
    EXPECT_EQ(CheckStoredPassword(plain, "abcd"), PasswordVerdict::Refused);
    EXPECT_EQ(CheckStoredPassword(ParseStoredPassword(""), ""), PasswordVerdict::Accepted);

    // A later kind of hash: refused with its own verdict and kept byte for byte.
    const std::string later = "\xF5$balloon$v=1$c2FsdA$aGFzaA";
    const StoredPassword unknown = ParseStoredPassword(later);
    EXPECT_EQ(unknown.form, StoredPassword::Form::Unreadable);
    EXPECT_EQ(CheckStoredPassword(unknown, ""), PasswordVerdict::Unreadable);
    EXPECT_EQ(StoredPasswordFileValue(unknown), later);
}

}  // namespace
}  // namespace corvane
