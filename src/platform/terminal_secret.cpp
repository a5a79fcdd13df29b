#include "platform/terminal_secret.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace corvane {
namespace {

// Reads bytes up to the first LF (dropped, with a CR before it); false when nothing came.
bool ReadLine(int fd, std::string& line)
{
    line.clear();
    bool any = false;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

}  // namespace

bool ReadSecretFromTerminal(const std::string& prompt, std::string& secret)
{
    if (!::isatty(STDIN_FILENO)) return false;
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    // Echo goes off (and what was typed ahead is dropped) before the prompt shows, so that
    // nothing typed after the prompt is lost or shown.
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return false;
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    const bool ok = ReadLine(STDIN_FILENO, secret);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return ok;
}

bool ReadSecretFromStandardInput(std::string& secret) { return ReadLine(STDIN_FILENO, secret); }

}  // namespace corvane
