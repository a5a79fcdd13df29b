#include "core/setting_keys.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct Case {
    const char* key;
    const char* given;
    const char* stored;  // as the file would hold it; null: refused
};

TEST(SettingKeysTest, ValuesAreCheckedAgainstTheirKeysRule)
{
    const Case cases[] = {
        {"Port", "2121", "2121"},
        {"port", " 2121 ", "2121"},  // letter case of the key and blanks around a number aside
        {"Port", "0", nullptr},
        {"Port", "32276", nullptr},  // read back as 21 on the next start
        {"Port", "21x", nullptr},
        {"Port", "", nullptr},
        {"WebServerPort", "65535", "65535"},
        {"WebServerPort", "65536", nullptr},
        {"MaximumNumberOfConnections", "3", nullptr},
        {"MaximumNumberOfConnections", "256", "256"},
        {"WebServerConnections", "0", nullptr},
        {"PASVPortsRangeBegin", "50000", "50000"},
        {"PASVPortsRangeBegin", "-1", nullptr},
        {"FileCacheMode", "4", nullptr},
        {"CacheSize", "64", "64"},
        {"CacheSize", "-1", nullptr},
        {"TlsRequiredForPasswordLogins", "off", "0"},
        {"TlsRequiredForPasswordLogins", "1", "1"},
        {"TlsRequiredForPasswordLogins", "maybe", nullptr},
        {"UserSetServerIP", "127.0.0.1", "127.0.0.1"},
        {"UserSetServerIP", "256.0.0.1", nullptr},
        {"UserSetServerIP", "1.2.3", nullptr},
        {"UserSetServerIP", "1.2.3.4.", nullptr},
        {"UserSetServerIP", "host.example", nullptr},
        {"PASVIP", "", "10.0.0.5"},  // none: the bind address, as the dialog takes it
        {"WebServerRoot", "C:\\Web Root\\", "C:\\Web Root\\"},
        {"WebServerRoot", "C:\\Web\r\nPort=1", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = \"" + c.given + "\"");
        const SettingKey* key = FindServerSettingKey(c.key);
        ASSERT_NE(key, nullptr);
        ServerSettings settings;
        settings.UserSetServerIP = "10.0.0.5";
        const ServerSettings before = settings;
        std::string problem;
        const bool taken = SetSettingText(settings, *key, c.given, problem);
        EXPECT_EQ(taken, c.stored != nullptr) << problem;
        if (c.stored) {
            EXPECT_EQ(SettingText(settings, *key), c.stored);
        } else {
            EXPECT_NE(problem.find(std::string(key->name)), std::string::npos) << problem;
            EXPECT_EQ(SettingText(settings, *key), SettingText(before, *key));
        }
    }
}

TEST(SettingKeysTest, EveryKeyReadsBackWhatItWroteThroughTheSettingsFile)
{
    ServerSettings settings;
    // The TLS and HTTPS keys are written once they differ from their defaults.
    settings.TlsCertificateFile = "/etc/corvane/server.crt";
    settings.TlsKeyFile = "/etc/corvane/server.key";
    settings.TlsRequiredForPasswordLogins = false;
    settings.WebServerHttpsPort = 8443;
    settings.WebServerRedirectToHttps = true;
    IniImage image;
    SaveServerSettings(settings, image);
    const ServerSettings loaded = LoadServerSettings(image);
    for (const SettingKey& key : ServerSettingKeys()) {
        SCOPED_TRACE(std::string(key.name));
        EXPECT_EQ(image.ReadString(kServerDataSection, key.name, "<none>"), SettingText(settings, key));
        EXPECT_EQ(SettingText(loaded, key), SettingText(settings, key));
    }
    EXPECT_EQ(FindServerSettingKey("NoSuchSetting"), nullptr);
}

}  // namespace
}  // namespace corvane
