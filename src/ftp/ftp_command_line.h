// The parsing of one FTP command line into its keyword and its parameters.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Telnet escapes: 255 255 stands for one byte 255; 255 followed by any other byte (or by
// nothing, at the end of the line) is dropped together with that byte.
std::string RemoveTelnetEscapes(std::string_view line);

// Leading spaces and tabs are skipped; the keyword is the following run of ASCII letters and
// digits, upper-cased; the spaces and tabs after it are skipped; the parameters are the rest of
// the line, unchanged (trailing blanks included). A line that starts with anything else gives
// an empty keyword and the whole line, less its leading blanks, as parameters.
void SplitFtpCommandLine(std::string_view line, std::string& keyword, std::string& params);

// The text without the blanks and control characters (bytes up to and including the space) at
// both ends, as USER, PASS, CWD and TYPE take their parameters.
std::string TrimBlanks(std::string_view text);

}  // namespace corvane
