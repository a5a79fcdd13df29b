// Texts of URLs and URL paths ("/" separates names).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends "/" unless the text already ends with it; an empty text becomes "/".
std::string AddTrailingSlash(std::string_view s);
// Removes one final "/" when present.
std::string RemoveTrailingSlash(std::string_view s);
// AddTrailingSlash(a), then b; b loses its leading "/" when it has one and a is not empty.
std::string JoinUrlPath(std::string_view a, std::string_view b);
// u without a final "/", then the text before its last "/" (unchanged when there is no "/").
std::string UrlParent(std::string_view u);
// Removes one leading "/".
std::string StripLeadingSlash(std::string_view s);

// Splits an http:// or https:// URL. URLs of 7 characters or fewer set nothing. When the fifth
// character is "s" or "S" the scheme is "https://" and the rest follows the eighth character,
// else "http://" and the rest follows the seventh. With a ":" in the rest, host is the text
// before it, port the text up to the next "/", path the text from that "/" on (empty without
// one). Without ":", host is the text up to the first "/", port "80" (also for https) and path
// the text from the first "/" on, or empty.
void SplitUrl(std::string_view url, std::string& scheme, std::string& host, std::string& path, std::string& port);

}  // namespace corvane
