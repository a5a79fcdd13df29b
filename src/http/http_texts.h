// The small texts of the web server: content types by extension, HTTP dates, the URL decoding
// of request paths, and the time of a document. Pure text work except FileDate.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "common/rfc1123_date.h"

namespace corvane {

// The content type of a document by its extension in lower case: htm/html "text/html", gif
// "image/gif", bmp "image/bmp", jpg/jpeg "image/jpeg", txt "text/plain", anything else
// "application/binary".
std::string_view DocumentToContentType(std::string_view path);

// Dates of header lines: RFC1123_Date of common/rfc1123_date.h ("Wed, 09 Dec 2026 22:30:05",
// UTC, English names; header lines append " GMT").

// Reads a date as browsers send it in If-Modified-Since: the RFC 1123 form ("Wed, 09 Dec 2026
// 22:30:05 GMT"), the RFC 850 form ("Wednesday, 09-Dec-26 22:30:05 GMT") or asctime's ("Wed Dec
// 9 22:30:05 2026"). Nothing when the text is none of them.
std::optional<std::time_t> ParseHttpDate(std::string_view text);

// The local modification time of a real path, whole seconds since the epoch; 0 when it cannot
// be read.
std::time_t FileDate(std::string_view realPath);

// Replaces every "%" that has at least two more characters after it by one byte read from
// those two as a hexadecimal number: blanks before the digits are skipped, a letter counts as
// the low four bits of its code plus 9 (so A-F and a-f are 10-15), and reading stops at the
// first other character. A "%" among the last two characters stays, with what follows it.
// "+" is left alone. The web server's own decoding of request paths, in a namespace of its
// own: the HTTP client's UrlDecode (common/url_codec.h) decodes differently.
namespace httpsrv {
std::string UrlDecode(std::string_view text);
}  // namespace httpsrv

// Day of the week, 0 for Monday to 6 for Sunday, of a date of the Gregorian calendar.
int WeekdayOf(int year, int month, int day);

}  // namespace corvane
