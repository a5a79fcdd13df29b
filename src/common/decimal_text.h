// Decimal numbers read from and written into stored texts, whatever the process's locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// An optional sign ("+" or "-") and decimal digits only, within 32 bits; nothing for any other
// text (empty, blanks, letters, 2^31).
std::optional<int> ParseInt32(std::string_view text);

// `value` with at most `digits` significant digits, as printf's "%.<digits>g" writes it in the
// "C" locale: "." as the decimal separator also where the operator's locale has ",", so that a
// file the window writes reads back the same everywhere.
std::string DecimalText(double value, int digits);

}  // namespace corvane
