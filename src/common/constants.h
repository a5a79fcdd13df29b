// Fixed names and texts shared by several subsystems.
#pragma once

#include <string_view>

namespace corvane {

// The server settings file in the program folder.
inline constexpr std::string_view kServerSettingsFileName = "CorvaneServer.ini";
// The account database file in the program folder.
inline constexpr std::string_view kAccountDatabaseFileName = "usersgroups.ini";
// Appended to a folder's path to form the cache key of its HTTP listing page.
inline constexpr std::string_view kListingMarker = "<HTTPDirectoryListing>";
// Captions of the error and help message boxes.
inline constexpr std::string_view kErrorCaption = "Brinvale Corvane Server Error";
inline constexpr std::string_view kHelpCaption = "Brinvale Corvane Server Help";

}  // namespace corvane
