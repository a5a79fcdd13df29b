// The screen log: the last kScreenLogLines log lines, coloured by their first character
// (black for ">" replies, green for "<" commands, blue for the rest).
//
// Lines arrive in bursts (the server thread hands over its batch every 10 s, or sooner in a
// flood); they are queued and drawn together on the next turn of the event loop, so handing a
// line over costs the server thread almost nothing and a burst of any size costs one redraw.
// What is queued beyond the screen's capacity is dropped before it is drawn. A line longer
// than kScreenLogLineChars is shown cut (the log file keeps it whole).
#pragma once

#include <QPlainTextEdit>
#include <QTimer>
#include <deque>

namespace corvane {

inline constexpr int kScreenLogLines = 5000;
inline constexpr int kScreenLogLineChars = 4096;

class ScreenLogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ScreenLogView(QWidget* parent = nullptr);

    // An empty line does nothing.
    void AppendLine(const QString& line);
    void ClearLines();
    // Draws what is queued now (the timer does it otherwise).
    void DrawQueued();
    int QueuedCount() const { return static_cast<int>(queued_.size()); }

private:
    std::deque<QString> queued_;
    QTimer drawTimer_;
};

}  // namespace corvane
