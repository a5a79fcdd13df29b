#include "core/log_writer.h"

namespace corvane {

void LogWriter::writeLog(const std::string& line)
{
    if (screenLogging_) view_.AppendScreenLog(line);
    if (fileLogging_ && file_.IsOpen()) file_.Write(line + "\r\n");
}

void LogWriter::OpenLogFile(const std::string& realPath)
{
    file_.Close();
    file_.OpenReal(realPath, FileStream::Mode::Append);
}

}  // namespace corvane
