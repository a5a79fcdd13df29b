#include "core/headless_view.h"

namespace corvane {

void HeadlessServerView::AppendScreenLog(const std::string& line)
{
    // A log line that holds a line break (a client's text) still takes one output line.
    for (char c : line) std::fputc(c == '\n' || c == '\r' ? ' ' : c, out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace corvane
