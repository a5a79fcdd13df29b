// The request texts of one HTTP request as the connection reads them: the request line, the
// header table, and the few header values that need reading beyond their text (the body length,
// the range, the wish to keep the connection).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

struct THttpRequestLine {
    std::string method;   // upper case
    std::string path;     // up to the first "?"
    std::string params;   // after the first "?"
    std::string version;  // upper case, "HTTP/1.0" when missing
};

// Splits a request line at runs of blanks into method, path?params and version.
THttpRequestLine ParseRequestLine(std::string_view line);

// The headers the engine keeps.
struct THttpRequestHeaders {
    std::string contentLengthText;  // as sent; empty when absent
    std::string contentType, accept, referer, acceptLanguage, acceptEncoding, userAgent, host, connection;
    std::string range, ifModifiedSince, transferEncoding;
    bool hasContentLength = false;

    // Empties every field for the next request; the texts keep their room.
    void Clear();
};

// Takes one header line (without its line end) into the table: the name is compared without
// regard to case, the value is the text after the colon without leading blanks. Lines with
// other names, or without a colon, change nothing.
void ApplyHeaderLine(std::string_view line, THttpRequestHeaders& headers);

// A body length of decimal digits only that fits 63 bits; nothing otherwise (blanks around it
// are allowed).
std::optional<std::int64_t> ParseContentLength(std::string_view text);

// Whether the connection stays open after the response: HTTP/1.1 unless the Connection header
// names "close", HTTP/1.0 only when it names "keep-alive" (tokens without regard to case).
bool WantsKeepAlive(const std::string& version, std::string_view connection);

// A single byte range of a file of `size` bytes, resolved to its first and last byte.
struct TByteRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
};
enum class TRangeAnswer { Whole, Partial, Unsatisfiable };
// Reads "bytes=a-b", "bytes=a-" or "bytes=-n". A header that is not one such range (several
// ranges, other units, text) is ignored: the whole file is sent.
TRangeAnswer ResolveRange(std::string_view header, std::int64_t size, TByteRange& range);

}  // namespace corvane
