#include "net/http_url.h"

#include <cctype>

#include "common/ip_text.h"
#include "common/text_case.h"
#include "common/url_text.h"

namespace corvane {
namespace {

bool IsSchemeChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

// The scheme that `text` starts with ("http" of "http://x", "javascript" of "javascript:x"), or
// empty when it starts with none: a scheme is scheme characters before a ":" that comes ahead of
// any "/" or "?".
std::string LeadingScheme(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos) return {};
    for (std::size_t i = 0; i < colon; ++i)
        if (!IsSchemeChar(text[i])) return {};
    return std::string(text.substr(0, colon));
}

std::string FolderOfUrlPath(std::string_view path)
{
    const std::size_t query = path.find('?');
    const std::string_view plain = path.substr(0, query);
    const std::size_t last = plain.find_last_of("/:");
    return last == std::string_view::npos ? std::string("/") : std::string(plain.substr(0, last + 1));
}

}  // namespace

HttpUrlParts ParseURL(std::string_view url)
{
    HttpUrlParts parts;
    if (url.size() >= 1 && url[0] == '/' && (url.size() < 2 || url[1] != '/')) {
        parts.path = std::string(url);
        return parts;
    }
    std::string_view rest = url;
    if (const std::size_t mark = url.find("://"); mark != std::string_view::npos && mark > 0) {
        bool isScheme = true;
        for (std::size_t i = 0; i < mark; ++i) isScheme = isScheme && IsSchemeChar(url[i]);
        if (isScheme) {
            parts.scheme = std::string(url.substr(0, mark));
            rest = url.substr(mark + 3);
        }
    } else if (url.size() >= 2 && url[0] == '/' && url[1] == '/') {
        rest = url.substr(2);
    }
    const std::size_t pathStart = rest.find_first_of("/?");
    std::string_view hostPart = rest.substr(0, pathStart);
    if (pathStart != std::string_view::npos) {
        parts.path = std::string(rest.substr(pathStart));
        if (parts.path[0] == '?') parts.path.insert(0, "/");
    }
    if (const std::size_t at = hostPart.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = hostPart.substr(0, at);
        const std::size_t colon = credentials.find(':');
        parts.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos) parts.password = std::string(credentials.substr(colon + 1));
        hostPart = hostPart.substr(at + 1);
    }
    // An IPv6 host comes in brackets ("[::1]:8080"); the host is kept without them.
    const std::size_t close = hostPart.starts_with('[') ? hostPart.find(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
        parts.host = std::string(hostPart.substr(1, close - 1));
        hostPart.remove_prefix(close + 1);
        if (hostPart.starts_with(':')) parts.port = std::string(hostPart.substr(1));
        return parts;
    }
    const std::size_t colon = hostPart.find(':');
    parts.host = std::string(hostPart.substr(0, colon));
    if (colon != std::string_view::npos) parts.port = std::string(hostPart.substr(colon + 1));
    return parts;
}

std::string AbsoluteUrl(const HttpTarget& target)
{
    std::string url = target.scheme + "://" + UrlHost(target.host);
    if (target.port != "80") url += ":" + target.port;
    return url + target.path;
}

bool ResolveLocation(const HttpTarget& current, std::string_view location, HttpTarget& next, std::string& scheme)
{
    next = current;
    scheme.clear();
    if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
        // A network-path reference keeps the scheme and names a new host.
        return ResolveLocation(current, "http:" + std::string(location), next, scheme);
    }
    if (!location.empty() && location[0] == '/') {
        next.path = std::string(location);
        return true;
    }
    if (const std::string leading = LeadingScheme(location); !leading.empty()) {
        if (!EqualsIgnoreCase(leading, "http") || location.substr(leading.size(), 3) != "://") {
            scheme = leading;
            return false;
        }
        const HttpUrlParts parts = ParseURL(location);
        next.scheme = "http";
        next.host = parts.host;
        next.port = parts.port.empty() ? "80" : parts.port;
        next.path = parts.path.empty() ? "/" : parts.path;
        return true;
    }
    std::string folder = FolderOfUrlPath(current.path);
    for (;;) {
        if (location.substr(0, 2) == "./") {
            location.remove_prefix(2);
        } else if (location.substr(0, 3) == "../") {
            location.remove_prefix(3);
            // One folder up: "/a/b/" becomes "/a/"; the root stays.
            folder = AddTrailingSlash(UrlParent(folder));
        } else {
            break;
        }
    }
    next.path = folder + std::string(location);
    return true;
}

std::string DocumentNameOf(std::string_view path)
{
    const std::string_view plain = path.substr(0, path.find('?'));
    if (plain.empty() || plain.back() == '/') return "document.htm";
    const std::size_t last = plain.rfind('/');
    return std::string(last == std::string_view::npos ? plain : plain.substr(last + 1));
}

}  // namespace corvane
