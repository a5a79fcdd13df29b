#include "common/ini_image.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/fs.h"
#include "platform/scratch_folder.h"

namespace corvane {
namespace {

TEST(IniImageTest, ReadsSectionsAndKeysWithoutRegardToCase)
{
    auto image = IniImage::FromText("[ServerData]\r\nPort=21\r\nName=Corvane\r\n\r\n[Other]\r\nX=1\r\n");
    EXPECT_EQ(image.ReadString("serverdata", "NAME", "?"), "Corvane");
    EXPECT_EQ(image.ReadInteger("SERVERDATA", "port", 0), 21);
    EXPECT_EQ(image.ReadString("ServerData", "Missing", "dflt"), "dflt");
    EXPECT_EQ(image.ReadString("Missing", "Port", "dflt"), "dflt");
    EXPECT_TRUE(image.SectionExists("other"));
    EXPECT_TRUE(image.ValueExists("OTHER", "x"));
    EXPECT_FALSE(image.ValueExists("Other", "Port"));
    EXPECT_EQ(image.ReadSections(), (std::vector<std::string>{"ServerData", "Other"}));
    EXPECT_EQ(image.ReadSection("serverdata"), (std::vector<std::string>{"Port", "Name"}));
}

TEST(IniImageTest, TrimsLinesNamesKeysAndValuesOfBlanksAndControlCharacters)
{
    auto image = IniImage::FromText("ignored=before any section\n"
                                    "  [ \tSpaced Section\x01 ]  \n"
                                    "; a comment=not a key\n"
                                    "\t Key One \t=  value with inner  blanks \x7f\x02\r\n"
                                    "no equals sign here\n"
                                    "Path=C:\\a=b\\\n");
    EXPECT_EQ(image.ReadSections(), std::vector<std::string>{"Spaced Section"});
    EXPECT_EQ(image.ReadSection("spaced section"), (std::vector<std::string>{"Key One", "Path"}));
    // Bytes above the space (0x7f included) are not trimmed; the line splits at its first "=".
    EXPECT_EQ(image.ReadString("Spaced Section", "key one", ""), "value with inner  blanks \x7f");
    EXPECT_EQ(image.ReadString("Spaced Section", "Path", ""), "C:\\a=b\\");
}

TEST(IniImageTest, RawValuesKeepEveryByteAfterTheFirstEquals)
{
    // A scrambled password may begin or end with bytes that trimming would remove.
    std::string scrambled = "\x1f\xba\x9c \x0b";
    auto image = IniImage::FromText("[acc]\r\nPassword=" + scrambled + "\r\n");
    EXPECT_EQ(image.ReadRawValue("ACC", "password"), scrambled);
    EXPECT_EQ(image.ReadString("acc", "Password", ""), "\xba\x9c");
    EXPECT_EQ(image.ReadRawValue("acc", "none"), std::nullopt);
    // and they survive a rewrite unchanged
    EXPECT_EQ(IniImage::FromText(image.ToText()).ReadRawValue("acc", "Password"), scrambled);
}

TEST(IniImageTest, RepeatedSectionsMergeAndTheFirstOfRepeatedKeysCounts)
{
    auto image = IniImage::FromText("[A]\nk=1\n[B]\nz=0\n[a]\nk=2\nm=3\n");
    EXPECT_EQ(image.ReadSections(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(image.ReadInteger("A", "k", 0), 1);
    EXPECT_EQ(image.ReadInteger("A", "m", 0), 3);
}

TEST(IniImageTest, NumbersAndBooleansFallBackToTheirDefaults)
{
    auto image = IniImage::FromText(
        "[n]\na= 42 \nb=-7\nc=+8\nd=12abc\ne=\nf=0x10\ng=99999999999999999999\nh=1\ni=0\nj=yes\nk=2\nl=+-3\n");
    EXPECT_EQ(image.ReadInteger("n", "a", 0), 42);
    EXPECT_EQ(image.ReadInteger("n", "b", 0), -7);
    EXPECT_EQ(image.ReadInteger("n", "c", 0), 8);
    for (const char* bad : {"d", "e", "f", "g", "j", "l", "missing"})
        EXPECT_EQ(image.ReadInteger("n", bad, 5), 5) << bad;
    EXPECT_TRUE(image.ReadBool("n", "h", false));
    EXPECT_FALSE(image.ReadBool("n", "i", true));
    EXPECT_TRUE(image.ReadBool("n", "k", false));  // any integer but 0 is true
    EXPECT_TRUE(image.ReadBool("n", "j", true));
    EXPECT_FALSE(image.ReadBool("n", "j", false));
    // -1 is an integer like any other: it does not count as "not an integer"
    EXPECT_TRUE(IniImage::FromText("[n]\nm=-1\n").ReadBool("n", "m", false));
}

TEST(IniImageTest, WritesReplaceInPlaceAppendKeysAndSectionsAtTheEnd)
{
    auto image = IniImage::FromText("[One]\nA=1\nB=2\n[Two]\nC=3\n");
    image.WriteString("one", "a", "10");  // in place, with the new spelling of the key
    image.WriteInteger("ONE", "D", -4);
    image.WriteBool("Three", "E", true);
    image.WriteBool("Three", "F", false);
    EXPECT_EQ(image.ToText(), "[One]\r\na=10\r\nB=2\r\nD=-4\r\n\r\n"
                              "[Two]\r\nC=3\r\n\r\n"
                              "[Three]\r\nE=1\r\nF=0\r\n\r\n");
}

TEST(IniImageTest, EraseAndDeleteRemoveWhatTheyName)
{
    auto image = IniImage::FromText("[One]\nA=1\nB=2\n[Two]\nC=3\n[Three]\nD=4\n");
    image.EraseSection("two");
    image.DeleteKey("one", "a");
    image.DeleteKey("one", "missing");
    image.EraseSection("missing");
    EXPECT_FALSE(image.SectionExists("Two"));
    EXPECT_FALSE(image.ValueExists("One", "A"));
    EXPECT_EQ(image.ToText(), "[One]\r\nB=2\r\n\r\n[Three]\r\nD=4\r\n\r\n");
    // A section written again after its erasure goes to the end, empty of its old keys.
    image.WriteString("Two", "New", "x");
    EXPECT_EQ(image.ReadSections(), (std::vector<std::string>{"One", "Three", "Two"}));
    EXPECT_EQ(image.ReadSection("Two"), std::vector<std::string>{"New"});
    image.WriteString("One", "A", "again");
    EXPECT_EQ(image.ReadSection("One"), (std::vector<std::string>{"B", "A"}));
}

TEST(IniImageTest, ManyErasuresKeepOrderAndLookupsRight)
{
    IniImage image;
    for (int i = 0; i < 200; ++i) image.WriteInteger("S" + std::to_string(i), "k", i);
    for (int i = 0; i < 200; ++i)
        if (i % 4 != 0) image.EraseSection("s" + std::to_string(i));
    auto names = image.ReadSections();
    ASSERT_EQ(names.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(names[i], "S" + std::to_string(i * 4));
        EXPECT_EQ(image.ReadInteger(names[i], "K", -1), i * 4);
    }
    for (int i = 0; i < 100; ++i) image.WriteInteger("S0", "key" + std::to_string(i), i);
    for (int i = 0; i < 100; i += 3) image.DeleteKey("S0", "KEY" + std::to_string(i));
    EXPECT_EQ(image.ReadInteger("s0", "key98", -1), 98);
    EXPECT_EQ(image.ReadInteger("s0", "key99", -1), -1);
    EXPECT_EQ(image.ReadSection("S0").size(), 1u + 100 - 34);
}

TEST(IniImageTest, LineBreaksInWrittenTextCannotAddLinesOfTheirOwn)
{
    IniImage image;
    image.WriteString("Acc", "Default Web Link", "http://x\r\n[Admin]\r\nPassword=");
    image.WriteString("Evil\n[Admin]", "Key\nOther=1", "v");
    auto reread = IniImage::FromText(image.ToText());
    EXPECT_FALSE(reread.SectionExists("Admin"));
    EXPECT_EQ(reread.ReadString("Acc", "Default Web Link", ""), "http://x");
    EXPECT_EQ(reread.ReadSections(), (std::vector<std::string>{"Acc", "Evil"}));
    EXPECT_EQ(reread.ReadSection("Evil"), std::vector<std::string>{"Key"});
}

// Found by fuzzing: the line "[a=b]" reads back as a section, taking the keys after it along.
TEST(IniImageTest, AWriteThatWouldReadBackAsASectionLineIsRefused)
{
    IniImage image;
    image.WriteString("Acc", "First", "1");
    image.WriteString("Acc", " [Admin", "x] ");
    image.WriteString("Acc", "[Admin", "]\r\n");
    image.WriteString("Acc", "Last", "2");
    image.WriteString("Acc", "[ok", "fine");  // not a section line: kept
    EXPECT_FALSE(image.ValueExists("Acc", "[Admin"));
    auto reread = IniImage::FromText(image.ToText());
    EXPECT_EQ(reread.ReadSections(), std::vector<std::string>{"Acc"});
    EXPECT_EQ(reread.ReadSection("Acc"), (std::vector<std::string>{"First", "Last", "[ok"}));
}

TEST(IniImageTest, NonsenseAndBinaryTextLoadsWithoutFailing)
{
    EXPECT_TRUE(IniImage::FromText("").ReadSections().empty());
    EXPECT_TRUE(IniImage::FromText("\n\n\r\r\n=\n[").ReadSections().empty());
    auto truncated = IniImage::FromText("[Usernames]\r\nUserCount=2\r\nUser0=an");
    EXPECT_EQ(truncated.ReadString("Usernames", "User0", ""), "an");
    auto empty = IniImage::FromText("[]\n=x\n");
    EXPECT_EQ(empty.ReadString("", "", "d"), "x");

    std::mt19937 random(12345);
    for (int round = 0; round < 50; ++round) {
        std::string noise(4096, '\0');
        for (char& c : noise) c = static_cast<char>(random() % 256);
        if (round % 2)
            for (int i = 0; i < 40; ++i) noise[random() % noise.size()] = "[]=\n;"[random() % 5];
        auto image = IniImage::FromText(noise);
        // Whatever was parsed is written back and parses to the same image.
        auto again = IniImage::FromText(image.ToText());
        EXPECT_EQ(again.ToText(), image.ToText());
    }
}

TEST(IniImageTest, OpenAndSaveGoThroughTheHostFile)
{
    testing::ScratchFolder scratch;
    const std::string path = scratch.Join("usersgroups.ini");
    EXPECT_TRUE(IniImage::Open(path).ReadSections().empty());  // missing file: empty image

    IniImage image;
    image.WriteString("Usernames", "UserCount", "1");
    image.WriteString("Usernames", "User0", "anonymous");
    ASSERT_TRUE(image.Save(path));
    EXPECT_EQ(scratch.Get("usersgroups.ini"), "[Usernames]\r\nUserCount=1\r\nUser0=anonymous\r\n\r\n");
    EXPECT_EQ(IniImage::Open(path).ReadString("usernames", "user0", ""), "anonymous");
    EXPECT_FALSE(image.Save(scratch.Join("no/folder/file.ini")));

    scratch.Put("binary.ini", std::string("\0\0\xff[x]\0=\0", 9));
    EXPECT_NO_FATAL_FAILURE(IniImage::Open(scratch.Join("binary.ini")).ToText());
}

// The account store's pattern: ten thousand accounts of nine keys, written into one image and
// saved once. Lookups are hashed, so this is linear; the benchmark measures the time.
TEST(IniImageTest, TenThousandSectionsOfNineKeysRoundTrip)
{
    testing::ScratchFolder scratch;
    IniImage image;
    for (int account = 0; account < 10000; ++account) {
        const std::string section = "user" + std::to_string(account);
        for (int key = 0; key < 9; ++key)
            image.WriteString(section, "Key" + std::to_string(key), std::to_string(account * 9 + key));
    }
    ASSERT_TRUE(image.Save(scratch.Join("big.ini")));
    auto reread = IniImage::Open(scratch.Join("big.ini"));
    EXPECT_EQ(reread.ReadSections().size(), 10000u);
    EXPECT_EQ(reread.ReadInteger("USER9999", "key8", -1), 9999 * 9 + 8);
    EXPECT_EQ(reread.ReadInteger("user0", "KEY0", -1), 0);
}

}  // namespace
}  // namespace corvane
