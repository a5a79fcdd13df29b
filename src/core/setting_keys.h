// The server settings by the names they have in CorvaneServer.ini, with the rule each value
// must follow: the one place where a value typed by a person (on the command line, or in the
// options dialog) is checked before it goes into the settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/server_settings.h"

namespace corvane {

enum class SettingTextRule { Any, Address, PassiveAddress };

struct SettingKey {
    std::string_view name;  // as the settings file names it
    bool ServerSettings::*flag = nullptr;
    int ServerSettings::*number = nullptr;
    std::string ServerSettings::*text = nullptr;
    std::int64_t ServerSettings::*megabytes = nullptr;  // held in bytes, written in megabytes
    long long low = 0;                                   // the range of a number
    long long high = 0;
    SettingTextRule rule = SettingTextRule::Any;
};

// The keys of section "ServerData" that a person sets, in the options dialog's order.
const std::vector<SettingKey>& ServerSettingKeys();
// The key of that name (letter case aside); null when there is none.
const SettingKey* FindServerSettingKey(std::string_view name);

// The value as the settings file holds it (booleans "0" or "1", sizes in megabytes).
std::string SettingText(const ServerSettings& settings, const SettingKey& key);
// Checks `value` against the key's rule and stores it; false, with `problem` saying what a
// value must be, when it does not follow the rule (the settings are then unchanged).
bool SetSettingText(ServerSettings& settings, const SettingKey& key, const std::string& value, std::string& problem);
// A whole decimal number within [low, high] (blanks around it allowed); false otherwise.
bool SettingNumberInRange(const std::string& text, long long low, long long high, long long& number);

}  // namespace corvane
