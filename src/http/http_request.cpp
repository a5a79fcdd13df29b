#include "http/http_request.h"

#include <limits>

#include "common/text_case.h"

namespace corvane {
namespace {

std::string Upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<std::int64_t> Digits(std::string_view text)
{
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

bool HasToken(std::string_view list, std::string_view token)
{
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string_view::npos) end = list.size();
        if (EqualsIgnoreCase(Trim(list.substr(start, end - start)), token)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

THttpRequestLine ParseRequestLine(std::string_view line)
{
    std::string words[3];
    std::size_t count = 0, i = 0;
    while (count < 3) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        words[count++] = std::string(line.substr(start, i - start));
    }
    THttpRequestLine request;
    request.method = Upper(words[0]);
    const std::size_t question = words[1].find('?');
    request.path = words[1].substr(0, question);
    if (question != std::string::npos) request.params = words[1].substr(question + 1);
    request.version = Upper(Trim(words[2]));
    if (request.version.empty()) request.version = "HTTP/1.0";
    return request;
}

void THttpRequestHeaders::Clear()
{
    for (std::string* text : {&contentLengthText, &contentType, &accept, &referer, &acceptLanguage, &acceptEncoding,
                              &userAgent, &host, &connection, &range, &ifModifiedSince, &transferEncoding})
        text->clear();
    hasContentLength = false;
}

void ApplyHeaderLine(std::string_view line, THttpRequestHeaders& headers)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    struct Field {
        const char* name;
        std::string THttpRequestHeaders::*field;
    };
    static const Field kFields[] = {
        {"content-length", &THttpRequestHeaders::contentLengthText},
        {"content-type", &THttpRequestHeaders::contentType},
        {"accept", &THttpRequestHeaders::accept},
        {"referer", &THttpRequestHeaders::referer},
        {"accept-language", &THttpRequestHeaders::acceptLanguage},
        {"accept-encoding", &THttpRequestHeaders::acceptEncoding},
        {"user-agent", &THttpRequestHeaders::userAgent},
        {"host", &THttpRequestHeaders::host},
        {"connection", &THttpRequestHeaders::connection},
        {"range", &THttpRequestHeaders::range},
        {"if-modified-since", &THttpRequestHeaders::ifModifiedSince},
        {"transfer-encoding", &THttpRequestHeaders::transferEncoding},
    };
    for (const Field& f : kFields) {
        if (!EqualsIgnoreCase(name, f.name)) continue;
        headers.*(f.field) = std::string(value);
        if (f.field == &THttpRequestHeaders::contentLengthText) headers.hasContentLength = true;
        return;
    }
}

std::optional<std::int64_t> ParseContentLength(std::string_view text) { return Digits(Trim(text)); }

bool WantsKeepAlive(const std::string& version, std::string_view connection)
{
    if (version == "HTTP/1.1") return !HasToken(connection, "close");
    return HasToken(connection, "keep-alive");
}

TRangeAnswer ResolveRange(std::string_view header, std::int64_t size, TByteRange& range)
{
    header = Trim(header);
    if (header.size() < 6 || !EqualsIgnoreCase(header.substr(0, 6), "bytes=")) return TRangeAnswer::Whole;
    const std::string_view byteRange = Trim(header.substr(6));
    if (byteRange.find(',') != std::string_view::npos) return TRangeAnswer::Whole;
    const std::size_t dash = byteRange.find('-');
    if (dash == std::string_view::npos) return TRangeAnswer::Whole;
    const std::string_view firstText = Trim(byteRange.substr(0, dash));
    const std::string_view lastText = Trim(byteRange.substr(dash + 1));
    if (firstText.empty()) {  // the last n bytes
        const auto count = Digits(lastText);
        if (!count) return TRangeAnswer::Whole;
        if (*count == 0 || size == 0) return TRangeAnswer::Unsatisfiable;
        range.first = *count >= size ? 0 : size - *count;
        range.last = size - 1;
        return TRangeAnswer::Partial;
    }
    const auto first = Digits(firstText);
    if (!first) return TRangeAnswer::Whole;
    std::int64_t last = size - 1;
    if (!lastText.empty()) {
        const auto given = Digits(lastText);
        if (!given || *given < *first) return TRangeAnswer::Whole;
        last = std::min(*given, size - 1);
    }
    if (*first >= size) return TRangeAnswer::Unsatisfiable;
    range.first = *first;
    range.last = last;
    return TRangeAnswer::Partial;
}

}  // namespace corvane
