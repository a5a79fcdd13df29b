#pragma once
// Comparisons of real local paths (system form, "C:\Pub\") as the account store makes them:
// the drive letter without regard to case, the rest exactly as this host compares names.
// Pure functions: safe from any thread.
#include <string>
#include <string_view>

namespace corvane {

// Equal texts, the drive letter ("C:" at the start) compared without regard to case.
bool SameRealPathText(std::string_view a, std::string_view b);

// The same folder: both sides with a trailing "\" appended when missing, then SameRealPathText.
bool SameRealFolder(std::string_view a, std::string_view b);

// Every ".." segment (between two "\" or after the last one) removed together with the
// segment before it; the drive part before the first "\" is never removed.
// "C:\ftp\a\b\..\..\x\" becomes "C:\ftp\x\". It is the host's own reading of the text
// (FullRealPath): "/" also separates, "." and empty names go, and a text ending in "." or ".."
// names a folder (it gets its "\"). A text that is not a drive path comes back unchanged.
std::string RemoveDotDotSegments(std::string_view path);

}  // namespace corvane
