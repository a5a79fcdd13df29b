#include "core/log_writer.h"

namespace corvane {

void LogWriter::writeLog(const std::string& line) { writeLogLines({line}); }

void LogWriter::writeLogLines(const std::vector<std::string>& lines)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    if (screenLogging_)
        for (const std::string& line : lines) view_.AppendScreenLog(line);
    if (!fileLogging_ || !file_.IsOpen() || lines.empty()) return;
    std::string text;
    for (const std::string& line : lines) text.append(line).append("\r\n");
    file_.Write(text);
}

void LogWriter::OpenLogFile(const std::string& realPath)
{
    CORVANE_ASSERT_OWNER_THREAD(owner_);
    file_.Close();
    // The log holds what clients typed, user names and addresses: the owner's only.
    file_.OpenReal(realPath, FileStream::Mode::AppendPrivate);
}

}  // namespace corvane
