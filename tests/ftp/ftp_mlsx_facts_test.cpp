// MFMT's times: the form RFC 3659 gives them, and only dates that exist.
#include <gtest/gtest.h>

#include "ftp/ftp_mlsx_facts.h"

namespace corvane {
namespace {

TEST(MlsxTime, ParsesWhatMfmtSendsAndRefusesTheRest)
{
    struct Case {
        const char* text;
        bool valid;
        std::time_t when;
    };
    const Case cases[] = {
        {"20200102030405", true, 1577934245},
        {"20200102030405.123", true, 1577934245},  // the fraction is dropped
        {"20240229120000", true, 1709208000},      // a leap day
        {"00010101000000", true, -62135596800},    // year 1
        {"99991231235959", true, 253402300799},    // year 9999
        {"00000101000000", false, 0},
        {"20230229120000", false, 0},  // no leap day that year
        {"20201301000000", false, 0},
        {"20200100000000", false, 0},
        {"20200101240000", false, 0},
        {"20200101006000", false, 0},
        {"20200101000060", false, 0},
        {"2020010100000", false, 0},
        {"2020010100000x", false, 0},
        {"20200101000000.", false, 0},
        {"20200101000000Z", false, 0},
        {"+2020010100000", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseMlsxTime(c.text);
        EXPECT_EQ(parsed.has_value(), c.valid) << c.text;
        if (!parsed || !c.valid) continue;
        EXPECT_EQ(*parsed, c.when) << c.text;
        EXPECT_EQ(MlsxTime(*parsed), std::string(c.text).substr(0, 14)) << c.text;
    }
}

}  // namespace
}  // namespace corvane
