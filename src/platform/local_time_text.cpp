#include "platform/local_time_text.h"

#include <langinfo.h>

#include <string_view>

namespace corvane {
namespace {

// The locale's date format with a two-digit year widened to four digits.
std::string ShortDateFormat()
{
    std::string format = nl_langinfo(D_FMT);
    if (format.empty()) format = "%m/%d/%Y";
    for (std::size_t at = format.find("%y"); at != std::string::npos; at = format.find("%y", at + 2))
        format[at + 1] = 'Y';
    return format;
}

std::string LongTimeFormat()
{
    std::string format = nl_langinfo(T_FMT);
    return format.empty() ? std::string("%H:%M:%S") : format;
}

}  // namespace

std::string LocalDateTimeText(std::time_t when)
{
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::string();
    const std::string format = ShortDateFormat() + " " + LongTimeFormat();
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, format.c_str(), &local);
    return std::string(text, length);
}

std::string LocalDateTimeText() { return LocalDateTimeText(std::time(nullptr)); }

}  // namespace corvane
