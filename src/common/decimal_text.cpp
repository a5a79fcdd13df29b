#include "common/decimal_text.h"

#include <array>
#include <charconv>

namespace corvane {

std::optional<int> ParseInt32(std::string_view digits)
{
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::string DecimalText(double value, int digits)
{
    std::array<char, 64> text;
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::general, digits);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

}  // namespace corvane
