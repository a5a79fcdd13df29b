// Byte counts as the window shows them: "512 Bytes", "1.50 KB", "1,000.00 KB", "2.00 GB".
#pragma once

#include <cstdint>
#include <string>

#include "platform/number_locale.h"

namespace corvane {

// Formats `bytes`. Below 1024: "<n> Bytes" when precise, else "0 KB" for 0 and "1 KB" for the
// rest. Below 1 MiB: KB with 2 decimals when precise, else whole KB truncated. Below 1 GiB: MB
// with 2 decimals; above: GB with 2 decimals. A number with decimals is first rounded to 6
// significant digits, then written with exactly 2 decimals and the locale's separators.
// The count is 64-bit (transfer counters pass 4 GiB).
std::string FormatByteSize(std::uint64_t bytes, bool precise);
// The same with given separators (CurrentNumberSeparators() for the one above).
std::string FormatByteSize(std::uint64_t bytes, bool precise, const NumberSeparators& separators);

}  // namespace corvane
