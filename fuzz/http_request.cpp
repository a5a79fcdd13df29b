// The web server's request texts: a request line, header lines, the body length, the range and
// the decoding of the path, as a browser's request gives them.
//
// The input is the request's text; its lines end at "\n" (a CR before it is kept, as the
// connection's line mode keeps it). The first line is the request line, the rest header lines;
// the first eight bytes, when there are that many, are also read as a file size for the range.
//
// Checked:
//  - the method and version come out in upper case, the path holds no "?", and path, "?" and
//    parameters together are at most the line's length;
//  - a body length is read only from decimal digits (blanks around them) and is never negative;
//  - a partial range lies inside the file: 0 <= first <= last < size;
//  - decoding a path never makes it longer.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "http/http_request.h"
#include "http/http_texts.h"

using namespace corvane;

namespace {

[[noreturn]] void Fail(const char* what, std::string_view detail)
{
    std::fprintf(stderr, "fuzz_http_request: %s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

bool HasLowerCase(const std::string& text)
{
    for (char c : text)
        if (c >= 'a' && c <= 'z') return true;
    return false;
}

bool OnlyDigitsInsideBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

void CheckRequestLine(std::string_view line)
{
    const THttpRequestLine request = ParseRequestLine(line);
    if (HasLowerCase(request.method)) Fail("method not in upper case", line);
    if (HasLowerCase(request.version)) Fail("version not in upper case", line);
    if (request.path.find('?') != std::string::npos) Fail("path holds a '?'", line);
    if (request.path.size() + request.params.size() > line.size())
        Fail("path and parameters longer than the line", line);
    if (httpsrv::UrlDecode(request.path).size() > request.path.size()) Fail("decoding made the path longer", line);
}

void CheckHeaders(const THttpRequestHeaders& headers, std::int64_t size, std::string_view input)
{
    if (const auto length = ParseContentLength(headers.contentLengthText)) {
        if (*length < 0) Fail("negative body length", input);
        if (!OnlyDigitsInsideBlanks(headers.contentLengthText)) Fail("body length read from other text", input);
    }
    TByteRange range;
    if (ResolveRange(headers.range, size, range) == TRangeAnswer::Partial &&
        (range.first < 0 || range.first > range.last || range.last >= size))
        Fail("partial range outside the file", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::int64_t fileSize = 0;
    if (size >= 8) {
        std::memcpy(&fileSize, data, 8);
        fileSize = fileSize < 0 ? -(fileSize + 1) : fileSize;  // a size is never negative
    }
    THttpRequestHeaders headers;
    std::size_t start = 0;
    bool first = true;
    while (start <= input.size()) {
        const std::size_t end = input.find('\n', start);
        const std::string_view line =
            input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (first) CheckRequestLine(line);
        else ApplyHeaderLine(line, headers);
        first = false;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    CheckHeaders(headers, fileSize, input);
    return 0;
}
