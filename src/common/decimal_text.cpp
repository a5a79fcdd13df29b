#include "common/decimal_text.h"

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

}  // namespace corvane
