#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/byte_size_text.h"
#include "common/country_codes.h"
#include "common/ip_text.h"
#include "common/ratio_text.h"
#include "common/text_case.h"

namespace corvane {
namespace {

TEST(IsRealIpTest, PrivateLinkLocalAndShortAddressesAreNotReal)
{
    for (const char* notReal : {"10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.0.1", "169.254.1.1", "127.0.0.1",
                                "0.0.0.0", "1.2.3", ""})
        EXPECT_FALSE(IsRealIp(notReal)) << notReal;
    for (const char* real : {"172.32.0.1", "172.5.0.1", "172.15.0.1", "127.0.0.2", "8.8.8.8", "100.10.1.1"})
        EXPECT_TRUE(IsRealIp(real)) << real;
}

TEST(IsRealIpTest, LocalAddressWalkAndAnyAddress)
{
    std::string address = "untouched";
    const bool found = HasRealLocalIp(address);
    EXPECT_EQ(found, IsRealIp(address));
    EXPECT_NE(address, "untouched");  // every host has at least a loopback address

    std::string any = "0.0.0.0";
    ResolveAnyAddress(any);
    EXPECT_NE(any, "0.0.0.0");
    std::string given = "127.0.0.1";
    ResolveAnyAddress(given);
    EXPECT_EQ(given, "127.0.0.1");
}

TEST(FormatByteSizeTest, FollowsTheTableOfSizes)
{
    const NumberSeparators english{".", ","};
    EXPECT_EQ(FormatByteSize(1023, true, english), "1023 Bytes");
    EXPECT_EQ(FormatByteSize(0, false, english), "0 KB");
    EXPECT_EQ(FormatByteSize(1, false, english), "1 KB");
    EXPECT_EQ(FormatByteSize(1023, false, english), "1 KB");
    EXPECT_EQ(FormatByteSize(1536, false, english), "1 KB");
    EXPECT_EQ(FormatByteSize(1536, true, english), "1.50 KB");
    EXPECT_EQ(FormatByteSize(1024000, true, english), "1,000.00 KB");
    EXPECT_EQ(FormatByteSize(1024000, false, english), "1000 KB");
    EXPECT_EQ(FormatByteSize(1048576, false, english), "1.00 MB");
    EXPECT_EQ(FormatByteSize(1073741824ULL * 3 / 2, false, english), "1.50 GB");
    EXPECT_EQ(FormatByteSize(5'000'000'000'000ULL, true, english), "4,656.61 GB");  // past 32 bits
}

TEST(FormatByteSizeTest, RoundsToSixSignificantDigitsThenTwoDecimals)
{
    const NumberSeparators english{".", ","};
    // 1048575 / 1024 = 1023.999...: six digits give 1024.00
    EXPECT_EQ(FormatByteSize(1048575, true, english), "1,024.00 KB");
    // 1.234996 MB: six digits give 1.23500, two decimals then 1.24
    EXPECT_EQ(FormatByteSize(static_cast<std::uint64_t>(1.234996 * 1048576), true, english), "1.24 MB");
    EXPECT_EQ(FormatByteSize(1048576 + 5243, true, english), "1.01 MB");  // 1.0050001: half up
    EXPECT_EQ(FormatByteSize(1048576 + 5000, true, english), "1.00 MB");
}

TEST(FormatByteSizeTest, UsesTheGivenSeparators)
{
    EXPECT_EQ(FormatByteSize(1024000, true, NumberSeparators{",", "."}), "1.000,00 KB");
    EXPECT_EQ(FormatByteSize(1024000, true, NumberSeparators{".", ""}), "1000.00 KB");
    // The process has not chosen a locale here: the "C" locale's "." and no grouping.
    EXPECT_EQ(FormatByteSize(1024000, true), "1000.00 KB");
}

TEST(RatioTextTest, TextsGiveRatiosAndRatiosFindTheirIndex)
{
    EXPECT_EQ(RatioFromText("1/4"), 0.25);
    EXPECT_DOUBLE_EQ(RatioFromText("4/3"), 4.0 / 3.0);
    EXPECT_EQ(RatioFromText("5/1"), 0.0);
    EXPECT_EQ(RatioFromText(""), 0.0);
    EXPECT_EQ(RatioIndex(static_cast<float>(RatioFromText("1/4"))), 1u);
    EXPECT_EQ(RatioIndex(static_cast<float>(RatioFromText("1/3"))), 2u);
    for (std::size_t i = 0; i < kRatioTexts.size(); ++i)
        EXPECT_EQ(RatioIndex(static_cast<float>(RatioFromText(kRatioTexts[i]))), i) << kRatioTexts[i];
    EXPECT_EQ(RatioIndex(0.3f), 0u);
    EXPECT_EQ(RatioIndex(0.33f), 0u);
}

TEST(CountryCodesTest, TheListHasItsFixedShape)
{
    EXPECT_EQ(kCountryCodes.front(), "UN");
    EXPECT_EQ(kCountryCodes.back(), "ZW");
    std::set<std::string_view> distinct(kCountryCodes.begin(), kCountryCodes.end());
    EXPECT_EQ(distinct.size(), kCountryCodeCount);  // none missing, none twice
    for (auto code : kCountryCodes) EXPECT_EQ(code.size(), 2u);
    EXPECT_EQ(kCountryCodes[CountryCodeIndex("UK")], "UK");
    EXPECT_EQ(CountryCodeIndex("US"), CountryCodeIndex("UK") + 1);
    EXPECT_EQ(CountryCodeIndex("GB"), 0u);
    EXPECT_EQ(CountryCodeIndex("DE"), 81u);
}

TEST(TextCaseTest, OnlyAsciiLettersFold)
{
    EXPECT_EQ(FoldCase("Anonymous ABC-xyz"), "anonymous abc-xyz");
    EXPECT_TRUE(EqualsIgnoreCase("All Others", "ALL OTHERS"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
    EXPECT_FALSE(EqualsIgnoreCase("\xc3\x89", "\xc3\xa9"));  // É and é are different bytes
}

}  // namespace
}  // namespace corvane
