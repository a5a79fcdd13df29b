#include "common/url_text.h"

namespace corvane {

std::string AddTrailingSlash(std::string_view s)
{
    std::string result(s);
    if (result.empty() || result.back() != '/') result += '/';
    return result;
}

std::string RemoveTrailingSlash(std::string_view s)
{
    if (!s.empty() && s.back() == '/') s.remove_suffix(1);
    return std::string(s);
}

std::string JoinUrlPath(std::string_view a, std::string_view b)
{
    std::string result = AddTrailingSlash(a);
    if (!b.empty() && b.front() == '/' && !a.empty()) b.remove_prefix(1);
    result.append(b);
    return result;
}

std::string UrlParent(std::string_view u)
{
    std::string parent = RemoveTrailingSlash(u);
    std::size_t last = parent.rfind('/');
    if (last != std::string::npos) parent.erase(last);
    return parent;
}

std::string StripLeadingSlash(std::string_view s)
{
    if (!s.empty() && s.front() == '/') s.remove_prefix(1);
    return std::string(s);
}

void SplitUrl(std::string_view url, std::string& scheme, std::string& host, std::string& path, std::string& port)
{
    if (url.size() <= 7) return;
    std::string_view rest;
    if (url[4] == 's' || url[4] == 'S') {
        scheme = "https://";
        rest = url.substr(8);
    } else {
        scheme = "http://";
        rest = url.substr(7);
    }
    std::size_t colon = rest.find(':');
    if (colon != std::string_view::npos) {
        host = std::string(rest.substr(0, colon));
        std::string_view afterColon = rest.substr(colon + 1);
        std::size_t slash = afterColon.find('/');
        port = std::string(afterColon.substr(0, slash));
        path = slash == std::string_view::npos ? std::string() : std::string(afterColon.substr(slash));
        return;
    }
    std::size_t slash = rest.find('/');
    host = std::string(rest.substr(0, slash));
    port = "80";
    path = slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
}

}  // namespace corvane
