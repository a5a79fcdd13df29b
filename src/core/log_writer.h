// The writer of the server log: the screen log and the optional log file. Window thread only;
// the server thread's lines reach it in batches, one hand-off per flush (see
// ServerHandOff::FlushPendingLog).
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "common/thread_owner.h"
#include "core/server_view.h"
#include "platform/file_stream.h"

namespace corvane {

class LogWriter {
public:
    explicit LogWriter(ServerView& view)
        : view_(view)
    {}

    void SetScreenLogging(bool on)
    {
        screenLogging_ = on;
        wanted_.store(screenLogging_ || fileLogging_, std::memory_order_relaxed);
    }
    void SetFileLogging(bool on)
    {
        fileLogging_ = on;
        wanted_.store(screenLogging_ || fileLogging_, std::memory_order_relaxed);
    }
    // Any thread: whether lines are written anywhere at all. A busy server spares itself the
    // texts of lines nobody would see.
    bool Wanted() const { return wanted_.load(std::memory_order_relaxed); }

    // The screen log when screen logging is on; the log file, the line followed by CR LF, when
    // file logging is on and a file is open. A file that cannot be written is ignored.
    void writeLog(const std::string& line);
    // The same for several lines in order; the log file gets them in one write.
    void writeLogLines(const std::vector<std::string>& lines);

    // Opens the log file at a real path (created when missing), positioned at its end; another
    // writer of the same file is refused. On failure there is simply no log file.
    void OpenLogFile(const std::string& realPath);
    void CloseLogFile() { file_.Close(); }
    bool LogFileOpen() const { return file_.IsOpen(); }

private:
    ServerView& view_;
    FileStream file_;
    bool screenLogging_ = true;
    bool fileLogging_ = false;
    std::atomic<bool> wanted_{true};
    ThreadOwner owner_;
};

}  // namespace corvane
