#include "platform/number_locale.h"

#include <climits>
#include <clocale>

namespace corvane {

NumberSeparators CurrentNumberSeparators()
{
    NumberSeparators separators;
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr) return separators;
    if (conventions->decimal_point != nullptr && conventions->decimal_point[0] != '\0')
        separators.decimal = conventions->decimal_point;
    // Grouping is used only when the locale groups at all (its first group is a real size).
    const char* grouping = conventions->grouping;
    const bool groups = grouping != nullptr && grouping[0] > 0 && grouping[0] != CHAR_MAX;
    if (groups && conventions->thousands_sep != nullptr) separators.thousands = conventions->thousands_sep;
    return separators;
}

}  // namespace corvane
