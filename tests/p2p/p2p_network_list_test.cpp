// The network list: its entries as stored, damaged settings, the list file and the merge of a
// download, and how the services' replies read.
#include "p2p/p2p_network_list.h"

#include <gtest/gtest.h>

#include "p2p/index_server_texts.h"

namespace corvane {
namespace {

P2PNetwork Network(const std::string& name, const std::string& user = "", const std::string& password = "")
{
    P2PNetwork n;
    n.name = name;
    n.address = "http://" + name + "/v6";
    n.userName = user;
    n.password = password;
    return n;
}

TEST(P2PNetworkEntry, IsStoredWithItsPasswordScrambledAndReadBackWhole)
{
    P2PNetwork n = Network("Alpha", "bob", "abc");
    n.enabled = true;
    EXPECT_EQ(EncodeNetworkEntry(n), "Alpha*http://Alpha/v6*bob*\x9e\x9d\x9c*1*0");
    // A password byte whose complement is "*" (0xD5) must not shift the flags.
    n.password = "a\xd5z";
    n.existingAccount = true;
    const P2PNetwork back = DecodeNetworkEntry(EncodeNetworkEntry(n));
    EXPECT_EQ(back.password, n.password);
    EXPECT_TRUE(back.enabled);
    EXPECT_TRUE(back.existingAccount);
    EXPECT_TRUE(back.indexServerUrl.empty());
    // Missing fields read as empty or false.
    const P2PNetwork partial = DecodeNetworkEntry("Beta*http://b/v6");
    EXPECT_EQ(partial.name, "Beta");
    EXPECT_EQ(partial.address, "http://b/v6");
    EXPECT_FALSE(partial.registered());
    EXPECT_FALSE(partial.enabled);
}

TEST(P2PNetworkListStorage, DamagedCountsAndEntriesReadAsWhatIsThere)
{
    const std::string entry = EncodeNetworkEntry(Network("A", "u", "p"));
    struct Case {
        std::string section;
        std::size_t entries;
    } cases[] = {
        {"Count=-1\r\nNetwork0=" + entry, 0},
        {"Count=abc\r\nNetwork0=" + entry, 0},
        {"Count=2147483648\r\nNetwork0=" + entry, 1},
        {"Count=2147483647\r\nNetwork0=" + entry + "\r\nNetwork2=" + entry, 2},
        {"Count=3\r\nNetwork0=\r\nNetwork1=" + entry, 1},
        {"Network0=" + entry, 0},
    };
    for (const Case& c : cases) {
        P2PNetworkList list;
        list.Load(IniImage::FromText("[Network]\r\n" + c.section + "\r\n"));
        EXPECT_EQ(list.Entries().size(), c.entries) << c.section;
    }
}

TEST(P2PNetworkListStorage, SavesFromTheLastEntryToTheFirstAndDropsStaleOnes)
{
    IniImage image = IniImage::FromText("[Network]\r\nEmail=x\r\nCount=3\r\nNetwork2=old\r\n");
    P2PNetworkList list;
    list.Entries() = {Network("A", "u", "p"), Network("B")};
    list.Save(image);
    EXPECT_EQ(image.ToText(), "[Network]\r\nEmail=x\r\nCount=2\r\nNetwork1=" + EncodeNetworkEntry(list.Entries()[1]) +
                                  "\r\nNetwork0=" + EncodeNetworkEntry(list.Entries()[0]) + "\r\n\r\n");
    P2PNetworkList again;
    again.Load(image);
    EXPECT_EQ(again.RegisteredEntriesText(), EncodeNetworkEntry(list.Entries()[0]) + "\r\n");
}

TEST(P2PNetworkListFile, LinesOfAnyEndAndShape)
{
    const auto lines = ParseNetworkListText("Alpha*host/base\r\nNoStar\rBeta*h2*extra\n\n*anon\nGamma");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].name + "|" + lines[0].address, "Alpha|host/base");
    EXPECT_EQ(lines[1].name + "|" + lines[1].address, "NoStar|");
    EXPECT_EQ(lines[2].name + "|" + lines[2].address, "Beta|h2");
    EXPECT_EQ(lines[3].name + "|" + lines[3].address, "|anon");
    EXPECT_EQ(lines[4].name, "Gamma");
}

TEST(P2PNetworkListMerge, KeepsAccountsOfListedNetworksAndNeverEmptiesTheList)
{
    P2PNetworkList list;
    list.Entries() = {Network("Alpha", "bob", "pw"), Network("Gone", "eve", "pw")};
    list.Entries()[0].enabled = true;
    list.MergePublished(ParseNetworkListText("Alpha*host/base\r\nNew*n\r\nNew*n2\r\n"));
    ASSERT_EQ(list.Entries().size(), 2u);
    EXPECT_EQ(list.Entries()[0].address, "host/base/v6");
    EXPECT_EQ(list.Entries()[0].userName, "bob");
    EXPECT_TRUE(list.Entries()[0].enabled);
    EXPECT_EQ(list.Entries()[1].name, "New");
    EXPECT_EQ(list.Entries()[1].address, "n2/v6");
    EXPECT_FALSE(list.Entries()[1].enabled);

    list.MergePublished(ParseNetworkListText("\r\n\r\n"));
    EXPECT_EQ(list.Entries().size(), 2u);
}

TEST(IndexServerReplies, ReadAsTheirStatusSays)
{
    struct Case {
        const char* reply;
        bool byServer, byLookup;
    } cases[] = {
        {"", true, true},         {"abc", true, true},     {"200 OK", true, true},
        {"299 x", true, true},    {"300 x", false, false}, {"500 Sorry", false, false},
        {"OK fine", false, true}, {"20 OK", false, true},  {"http://idx/", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplyAccepted(c.reply, kServerNonNumberStatus), c.byServer) << c.reply;
        EXPECT_EQ(ReplyAccepted(c.reply, kLookupNonNumberStatus), c.byLookup) << c.reply;
    }
    EXPECT_EQ(IndexServerUrlOfReply("abc"), "abc/v6");
    EXPECT_EQ(RegistrationBody("DE", "112345", "a@b.c", "bob", "p w"),
              "input=DE*112345*a%40b%2ec&username=bob&password=p+w&action=insert");
}

}  // namespace
}  // namespace corvane
