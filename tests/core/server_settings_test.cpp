#include "core/server_settings.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

IniImage ServerData(const std::string& lines) { return IniImage::FromText("[ServerData]\r\n" + lines); }

TEST(ServerSettingsTest, MissingFileWritesEveryValueWithItsDefaultInSaveOrder)
{
    const ServerSettings s = LoadServerSettings(IniImage());
    IniImage written;
    SaveServerSettings(s, written);
    const std::vector<std::string> expected = {"ServerDesiredButNoP2PSharingMode",
                                               "Port",
                                               "MaximumNumberOfConnections",
                                               "LogFilePath",
                                               "LoggingToFile",
                                               "ScreenLoggingEnabled",
                                               "BannerFilePath",
                                               "BannerFromFile",
                                               "AfterLoginMessageFilePath",
                                               "AfterLoginMessage",
                                               "WebLinkRequired",
                                               "ManualPASVPortsEnabled",
                                               "PASVIP",
                                               "PASVPortsRangeBegin",
                                               "WebServerRoot",
                                               "WebServerPort",
                                               "WebServerConnections",
                                               "WebServerError404Answer",
                                               "WebServerHtmlHeader",
                                               "MD5IndexingEnabled",
                                               "ServerFirstRun",
                                               "UserSetServerIP",
                                               "DirectoryCacheEnabled",
                                               "FileCacheEnabled",
                                               "FileCacheMode",
                                               "CacheSize",
                                               "CacheAutoRefreshGUI",
                                               "RunWebServerNextTime"};
    EXPECT_EQ(written.ReadSection("ServerData"), expected);
    EXPECT_EQ(written.ReadString("ServerData", "Port", ""), "21");
    EXPECT_EQ(written.ReadString("ServerData", "LogFilePath", ""), "c:\\corvaneserver.log");
    EXPECT_EQ(written.ReadString("ServerData", "ServerFirstRun", ""), "1");
    EXPECT_EQ(written.ReadString("ServerData", "CacheSize", ""), "128");
    EXPECT_EQ(written.ReadString("ServerData", "PASVIP", ""), "0.0.0.0");
    EXPECT_EQ(written.ReadString("ServerData", "WebServerRoot", ""), "C:\\My Downloads");
    EXPECT_EQ(written.ReadString("ServerData", "BannerFilePath", ""), "Brinvale Corvane FTP Service");
    EXPECT_TRUE(written.ValueExists("ServerData", "WebServerHtmlHeader"));
}

TEST(ServerSettingsTest, OutOfRangePortsAndConnectionLimitsAreCorrectedAtLoad)
{
    EXPECT_EQ(LoadServerSettings(ServerData("Port=40000\r\n")).Port, 21);
    EXPECT_EQ(LoadServerSettings(ServerData("Port=32275\r\n")).Port, 32275);
    EXPECT_EQ(LoadServerSettings(ServerData("Port=32276\r\n")).Port, 21);
    EXPECT_EQ(LoadServerSettings(ServerData("Port=0\r\n")).Port, 21);
    EXPECT_EQ(LoadServerSettings(ServerData("Port=-7\r\n")).Port, 21);
    EXPECT_EQ(LoadServerSettings(ServerData("Port=2121\r\n")).Port, 2121);
    EXPECT_EQ(LoadServerSettings(ServerData("MaximumNumberOfConnections=2\r\n")).MaximumNumberOfConnections, 64);
    EXPECT_EQ(LoadServerSettings(ServerData("MaximumNumberOfConnections=300\r\n")).MaximumNumberOfConnections, 64);
    EXPECT_EQ(LoadServerSettings(ServerData("MaximumNumberOfConnections=4\r\n")).MaximumNumberOfConnections, 4);
    EXPECT_EQ(LoadServerSettings(ServerData("MaximumNumberOfConnections=256\r\n")).MaximumNumberOfConnections, 256);
}

TEST(ServerSettingsTest, ValuesThatDoNotParseTakeTheirDefaults)
{
    const ServerSettings s = LoadServerSettings(
        ServerData("Port=21x\r\nLoggingToFile=yes\r\nScreenLoggingEnabled=0\r\nWebServerPort=99999999999\r\n"
                   "CacheAutoRefreshGUI=7\r\nFileCacheMode=\r\n"));
    EXPECT_EQ(s.Port, 21);
    EXPECT_FALSE(s.LoggingToFile);
    EXPECT_FALSE(s.ScreenLoggingEnabled);
    EXPECT_EQ(s.WebServerPort, 80);      // beyond 32 bits
    EXPECT_TRUE(s.CacheAutoRefreshGUI);  // any non-zero integer is true
    EXPECT_EQ(s.FileCacheMode, 0);
}

TEST(ServerSettingsTest, CacheSizeIsHeldInBytesAndStoredInMegabytes)
{
    ServerSettings s = LoadServerSettings(ServerData("CacheSize=16\r\n"));
    EXPECT_EQ(s.CacheSize, 16777216);
    IniImage written;
    SaveServerSettings(s, written);
    EXPECT_EQ(written.ReadString("ServerData", "CacheSize", ""), "16");
    // 4 GB of cache would not fit the 32-bit byte count of the stored form's reader.
    s = LoadServerSettings(ServerData("CacheSize=4096\r\n"));
    EXPECT_EQ(s.CacheSize, 4096LL * 1048576);
}

TEST(ServerSettingsTest, PassiveAddressDefaultsToTheBindAddress)
{
    const ServerSettings s = LoadServerSettings(ServerData("UserSetServerIP=192.168.1.5\r\n"));
    EXPECT_EQ(s.PASVIP, "192.168.1.5");
    EXPECT_EQ(s.HttpBindAddress, "192.168.1.5");
    EXPECT_EQ(LoadServerSettings(ServerData("UserSetServerIP=192.168.1.5\r\nPASVIP=10.0.0.1\r\n")).PASVIP, "10.0.0.1");
}

TEST(ServerSettingsTest, SavingKeepsOtherSectionsAndRoundTrips)
{
    IniImage image =
        IniImage::FromText("[Drives]\r\nC=/srv/share\r\n[ServerData]\r\nPort=2121\r\nBannerFromFile=1\r\n");
    ServerSettings s = LoadServerSettings(image);
    s.BannerFilePath = "My server";
    SaveServerSettings(s, image);
    EXPECT_EQ(image.ReadString("Drives", "C", ""), "/srv/share");
    const ServerSettings again = LoadServerSettings(image);
    EXPECT_EQ(again.Port, 2121);
    EXPECT_TRUE(again.BannerFromFile);
    EXPECT_EQ(again.BannerFilePath, "My server");
}

TEST(ServerSettingsTest, TlsKeysAreWrittenOnceChangedOrNamedAndReadBack)
{
    // A file that never named them gets none (the save-order test above shows it).
    ServerSettings s = LoadServerSettings(ServerData("TlsKeyFile=/etc/corvane/key.pem\r\n"));
    s.TlsRequiredForPasswordLogins = false;
    IniImage written = ServerData("TlsKeyFile=/etc/corvane/key.pem\r\n");
    SaveServerSettings(s, written);
    EXPECT_FALSE(written.ValueExists("ServerData", "TlsCertificateFile"));
    EXPECT_EQ(written.ReadString("ServerData", "TlsKeyFile", ""), "/etc/corvane/key.pem");
    EXPECT_EQ(written.ReadString("ServerData", "TlsRequiredForPasswordLogins", ""), "0");
    const ServerSettings again = LoadServerSettings(written);
    EXPECT_FALSE(again.TlsRequiredForPasswordLogins);
    EXPECT_EQ(again.TlsKeyFile, "/etc/corvane/key.pem");
    EXPECT_EQ(again.TlsCertificateFile, "");
}

TEST(ServerSettingsTest, NetworkProfileWritesEmailZipcodeCountryConType)
{
    NetworkProfile p;
    p.Email = "a@b.c";
    p.Country = "FR";
    IniImage image;
    SaveNetworkProfile(p, image);
    EXPECT_EQ(image.ReadSection("Network"), (std::vector<std::string>{"Email", "Zipcode", "Country", "ConType"}));
    const NetworkProfile back = LoadNetworkProfile(image);
    EXPECT_EQ(back.Email, "a@b.c");
    EXPECT_EQ(back.Country, "FR");
    EXPECT_EQ(back.ConType, "0");
}

TEST(ServerSettingsTest, DialogPortCorrection)
{
    EXPECT_EQ(CorrectedDialogPort("2121"), 2121);
    EXPECT_EQ(CorrectedDialogPort(" 65535 "), 65535);
    EXPECT_EQ(CorrectedDialogPort("65536"), 21);
    EXPECT_EQ(CorrectedDialogPort("0"), 21);
    EXPECT_EQ(CorrectedDialogPort("abc"), 21);
    EXPECT_EQ(CorrectedDialogPort(""), 21);
}

}  // namespace
}  // namespace corvane
