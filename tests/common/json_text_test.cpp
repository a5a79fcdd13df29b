#include <gtest/gtest.h>

#include "common/json_text.h"

namespace corvane {
namespace {

// Names and paths are bytes: what is not UTF-8 must still make valid JSON.
TEST(JsonQuotedTest, EscapesWhatJsonCannotHoldAndKeepsUtf8)
{
    const struct {
        std::string text, json;
    } cases[] = {
        {"C:\\Music\\", "\"C:\\\\Music\\\\\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"tab\there\r\n", "\"tab\\u0009here\\u000d\\u000a\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},             // UTF-8 stays
        {"caf\xe9", "\"caf\\u00e9\""},                  // a Latin-1 byte becomes its character
        {"\xc3", "\"\\u00c3\""},                        // a sequence cut short
        {"\xe0\x80\x80", "\"\\u00e0\\u0080\\u0080\""},  // an overlong form
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // a surrogate
        {"\xf0\x9f\x8e\xb5", "\"\xf0\x9f\x8e\xb5\""},   // four bytes
        {std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const auto& c : cases) EXPECT_EQ(JsonQuoted(c.text), c.json) << c.text;
}

TEST(JsonWriterTest, PutsCommasBetweenMembersAndElementsOnly)
{
    JsonWriter j;
    j.BeginObject().String("name", "bob").BeginArray("folders").String("C:\\").String("D:\\").EndArray();
    j.BeginObject("limit")
        .Number("own", 0)
        .Number("effective", 3)
        .EndObject()
        .Bool("any", false)
        .BeginArray("none")
        .EndArray();
    j.EndObject();
    EXPECT_EQ(j.Text(),
              R"({"name":"bob","folders":["C:\\","D:\\"],"limit":{"own":0,"effective":3},"any":false,"none":[]})");
}

}  // namespace
}  // namespace corvane
