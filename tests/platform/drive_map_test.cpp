#include "platform/drive_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/scratch_folder.h"

namespace corvane {
namespace {

class DriveMapTest : public ::testing::Test {
protected:
    void SetUp() override { DriveMap::Configure({{'c', "/srv/share/"}, {'D', "/data"}}, home.Path()); }
    void TearDown() override { DriveMap::Configure({}, home.Path()); }
    testing::ScratchFolder home;
};

TEST_F(DriveMapTest, TranslatesRealPathsOnMappedDrivesInEitherCase)
{
    EXPECT_EQ(DriveMap::HostPathOf("C:\\Pub\\a.txt"), "/srv/share/Pub/a.txt");
    EXPECT_EQ(DriveMap::HostPathOf("c:\\Pub\\a.txt"), "/srv/share/Pub/a.txt");
    EXPECT_EQ(DriveMap::HostPathOf("d:\\x"), "/data/x");
    EXPECT_EQ(DriveMap::HostPathOf("C:\\"), "/srv/share");
    EXPECT_EQ(DriveMap::HostPathOf("C:"), "/srv/share");
    // Names keep their case and a folder path keeps its trailing separator.
    EXPECT_EQ(DriveMap::HostPathOf("C:\\My Downloads\\"), "/srv/share/My Downloads/");
    EXPECT_EQ(DriveMap::HostPathOf("C:/a//b\\\\c"), "/srv/share/a/b/c");
}

TEST_F(DriveMapTest, PathsThatNameNothingTranslateToNothing)
{
    EXPECT_EQ(DriveMap::HostPathOf("E:\\x"), std::nullopt);                 // unmapped drive
    EXPECT_EQ(DriveMap::HostPathOf("\\\\server\\share\\x"), std::nullopt);  // UNC
    EXPECT_EQ(DriveMap::HostPathOf("//server/share"), std::nullopt);
    EXPECT_EQ(DriveMap::HostPathOf("C:x.txt"), std::nullopt);  // drive-relative
    EXPECT_EQ(DriveMap::HostPathOf("\\Pub"), std::nullopt);
    EXPECT_EQ(DriveMap::HostPathOf("Pub\\a"), std::nullopt);
    EXPECT_EQ(DriveMap::HostPathOf(""), std::nullopt);
    EXPECT_EQ(DriveMap::HostPathOf("1:\\x"), std::nullopt);
    EXPECT_EQ(DriveMap::HostPathOf(std::string_view("C:\\a\0/etc/passwd", 16)), std::nullopt);
}

TEST_F(DriveMapTest, DotDotNeverClimbsAboveTheMappedFolder)
{
    EXPECT_EQ(DriveMap::HostPathOf("C:\\..\\..\\etc\\passwd"), "/srv/share/etc/passwd");
    EXPECT_EQ(DriveMap::HostPathOf("C:\\Pub\\..\\..\\x"), "/srv/share/x");
    EXPECT_EQ(DriveMap::HostPathOf("C:\\Pub\\.\\a\\..\\b"), "/srv/share/Pub/b");
    EXPECT_EQ(DriveMap::HostPathOf("C:\\Pub\\.."), "/srv/share");
    EXPECT_EQ(DriveMap::HostPathOf("C:/../"), "/srv/share");
    // Names that merely contain dots are ordinary names.
    EXPECT_EQ(DriveMap::HostPathOf("C:\\...\\..a"), "/srv/share/.../..a");
}

TEST_F(DriveMapTest, LongAndNonUtf8NamesPassThroughByteForByte)
{
    std::string longName(4000, 'x');
    EXPECT_EQ(DriveMap::HostPathOf("C:\\" + longName), "/srv/share/" + longName);
    std::string latin1 = "C:\\caf\xe9\\\xff\xfe";
    EXPECT_EQ(DriveMap::HostPathOf(latin1), "/srv/share/caf\xe9/\xff\xfe");
}

TEST_F(DriveMapTest, RealPathOfIsTheInverseForMappedFolders)
{
    EXPECT_EQ(DriveMap::RealPathOf("/srv/share/Pub/a.txt"), "C:\\Pub\\a.txt");
    EXPECT_EQ(DriveMap::RealPathOf("/srv/share"), "C:\\");
    EXPECT_EQ(DriveMap::RealPathOf("/srv/shared/x"), std::nullopt);  // a sibling, not inside
    EXPECT_EQ(DriveMap::RealPathOf("/etc"), std::nullopt);
}

TEST_F(DriveMapTest, DriveRootsAreRecognisedAfterNormalising)
{
    EXPECT_TRUE(DriveMap::IsDriveRoot("C:\\"));
    EXPECT_TRUE(DriveMap::IsDriveRoot("c:"));
    EXPECT_TRUE(DriveMap::IsDriveRoot("C:\\Pub\\.."));
    EXPECT_FALSE(DriveMap::IsDriveRoot("C:\\Pub"));
    EXPECT_FALSE(DriveMap::IsDriveRoot("E:\\"));
}

TEST_F(DriveMapTest, WithoutConfiguredLettersOnlyCMapsToTheHomeDriveFolder)
{
    DriveMap::Configure({}, home.Path() + "/");
    EXPECT_EQ(DriveMap::HostPathOf("C:\\a"), home.Path() + "/drive_c/a");
    EXPECT_TRUE(std::filesystem::is_directory(home.Path() + "/drive_c"));
    EXPECT_EQ(DriveMap::HostPathOf("D:\\a"), std::nullopt);
    EXPECT_EQ(DriveMap::Snapshot().size(), 1u);
}

TEST_F(DriveMapTest, RelativeAndEmptyFoldersInTheConfiguration)
{
    DriveMap::Configure({{'E', "shares/e"}, {'F', ""}, {'?', "/x"}}, home.Path());
    EXPECT_EQ(DriveMap::HostFolderOfDrive('e'), home.Path() + "/shares/e");
    EXPECT_EQ(DriveMap::HostFolderOfDrive('F'), std::nullopt);
    EXPECT_EQ(DriveMap::HostFolderOfDrive('C'), std::nullopt);  // configured keys replace the default
    EXPECT_EQ(DriveMap::Snapshot().size(), 1u);
}

TEST_F(DriveMapTest, AWholeHostRootMappingStillJoinsCleanly)
{
    DriveMap::Configure({{'R', "/"}}, home.Path());
    EXPECT_EQ(DriveMap::HostPathOf("R:\\etc\\hosts"), "/etc/hosts");
    EXPECT_EQ(DriveMap::HostPathOf("R:\\"), "/");
    EXPECT_EQ(DriveMap::RealPathOf("/etc/hosts"), "R:\\etc\\hosts");
}

}  // namespace
}  // namespace corvane
