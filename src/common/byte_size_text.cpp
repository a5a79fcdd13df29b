#include "common/byte_size_text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace corvane {
namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr std::uint64_t kGiB = 1024 * kMiB;

// Adds one unit at the last digit of a decimal digit string; a carry out of the first digit
// grows the string ("999" -> "1000").
std::string IncrementDigits(std::string digits)
{
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

std::string GroupThousands(const std::string& digits, const std::string& separator)
{
    if (separator.empty()) return digits;
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
        grouped += digits[i];
    }
    return grouped;
}

// The value rounded to 6 significant digits, then written with exactly 2 decimals (the second
// rounding works on the decimal digits, half up), with the locale's separators.
std::string TwoDecimals(double value, const NumberSeparators& separators)
{
    char scientific[32];
    std::snprintf(scientific, sizeof scientific, "%.5e", value);  // d.ddddde+XX
    std::string significant{scientific[0]};
    significant.append(scientific + 2, 5);
    const int exponent = std::atoi(scientific + 8);
    std::string whole;
    std::string fraction;
    if (exponent >= 0) {
        const std::size_t wholeDigits = static_cast<std::size_t>(exponent) + 1;
        whole = significant.substr(0, wholeDigits);
        if (whole.size() < wholeDigits) whole.append(wholeDigits - whole.size(), '0');
        if (wholeDigits < significant.size()) fraction = significant.substr(wholeDigits);
    } else {
        whole = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + significant;
    }
    fraction.resize(std::max<std::size_t>(fraction.size(), 3), '0');
    const bool roundUp = fraction[2] >= '5';
    std::string kept = whole + fraction.substr(0, 2);
    if (roundUp) kept = IncrementDigits(kept);
    whole = kept.substr(0, kept.size() - 2);
    return GroupThousands(whole, separators.thousands) + separators.decimal + kept.substr(kept.size() - 2);
}

}  // namespace

std::string FormatByteSize(std::uint64_t bytes, bool precise)
{
    return FormatByteSize(bytes, precise, CurrentNumberSeparators());
}

std::string FormatByteSize(std::uint64_t bytes, bool precise, const NumberSeparators& separators)
{
    if (bytes < kKiB) {
        if (precise) return std::to_string(bytes) + " Bytes";
        return bytes == 0 ? "0 KB" : "1 KB";
    }
    if (bytes < kMiB) {
        if (!precise) return std::to_string(bytes / kKiB) + " KB";
        return TwoDecimals(static_cast<double>(bytes) / kKiB, separators) + " KB";
    }
    if (bytes < kGiB) return TwoDecimals(static_cast<double>(bytes) / kMiB, separators) + " MB";
    return TwoDecimals(static_cast<double>(bytes) / kGiB, separators) + " GB";
}

}  // namespace corvane
