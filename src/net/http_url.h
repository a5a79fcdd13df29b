// URLs as the HTTP client reads them: the parts of a URL, the target a redirection leads to,
// and the document name of a path.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// scheme "://" [user [":" password] "@"] host [":" port] path. Text before "://" is the scheme
// only when it is letters, digits, "+", "-" and "."; without one the scheme is empty (the caller
// assumes "http"). A URL that starts with a single "/" is a path on the current host: only the
// path is set. The path starts at the first "/" or "?" after the host part ("?" alone gets a
// "/" before it); the last "@" of the host part ends the credentials (user and password split
// at their first ":"), and a ":" after it starts the port.
struct HttpUrlParts {
    std::string scheme, user, password, host, port, path;
};
HttpUrlParts ParseURL(std::string_view url);

// Where a request goes: the URL's scheme, host, port (text) and path ("/" at least).
struct HttpTarget {
    std::string scheme = "http";
    std::string host;
    std::string port = "80";
    std::string path = "/";
};

// The absolute form, for a request through a proxy: scheme "://" host [":" port] path; the
// port is left out when it is "80".
std::string AbsoluteUrl(const HttpTarget& target);

// The target of a Location value seen while fetching `current`. A value starting with "/"
// replaces the path on the same host; "http://..." (any case) replaces scheme, host, port
// (default "80") and path; any other value without a scheme is taken relative to the folder of
// the current path (its text up to the last "/" or ":" before any "?"), "./" staying in that
// folder and each "../" going one folder up. A value with any other scheme cannot be followed:
// the result is false and `scheme` names it.
bool ResolveLocation(const HttpTarget& current, std::string_view location, HttpTarget& next, std::string& scheme);

// The last segment of the path before any "?", or "document.htm" when it ends in "/".
std::string DocumentNameOf(std::string_view path);

}  // namespace corvane
