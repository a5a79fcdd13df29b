// Reading a secret (a password) on the command line: from the terminal without echo, or as the
// first line of standard input.
#pragma once

#include <string>

namespace corvane {

// Shows `prompt` on the terminal and reads one line with echo off (echo is restored even when
// the read fails). False when standard input is not a terminal or the read fails.
bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret);
// The first line of standard input without its line end (CR LF or LF); all of it when it has
// no line end. False when nothing could be read.
bool ReadSecretFromStandardInput(std::string& secret);

}  // namespace corvane
