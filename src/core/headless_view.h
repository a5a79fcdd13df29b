// The view of the headless program: the screen log is standard output, one line per log line;
// nothing else is shown.
#pragma once

#include <cstdio>

#include "core/server_view.h"

namespace corvane {

class HeadlessServerView : public SilentServerView {
public:
    explicit HeadlessServerView(std::FILE* out = stdout)
        : out_(out)
    {}
    void AppendScreenLog(const std::string& line) override;

private:
    std::FILE* out_;
};

}  // namespace corvane
