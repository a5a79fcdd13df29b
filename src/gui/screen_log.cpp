#include "gui/screen_log.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace corvane {
namespace {

QColor LineColour(const QString& line)
{
    if (line.startsWith('>')) return Qt::black;
    if (line.startsWith('<')) return QColor(0, 128, 0);
    return Qt::blue;
}

}  // namespace

ScreenLogView::ScreenLogView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setObjectName("MemoLog");
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(kScreenLogLines);
    setUndoRedoEnabled(false);
    drawTimer_.setSingleShot(true);
    drawTimer_.setInterval(0);
    connect(&drawTimer_, &QTimer::timeout, this, &ScreenLogView::DrawQueued);
}

void ScreenLogView::AppendLine(const QString& line)
{
    if (line.isEmpty()) return;
    queued_.push_back(line.size() > kScreenLogLineChars ? line.left(kScreenLogLineChars) + " [...]" : line);
    if (queued_.size() > static_cast<std::size_t>(kScreenLogLines)) queued_.pop_front();
    if (!drawTimer_.isActive()) drawTimer_.start();
}

void ScreenLogView::ClearLines()
{
    queued_.clear();
    clear();
}

void ScreenLogView::DrawQueued()
{
    if (queued_.empty()) return;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    bool first = document()->isEmpty();
    for (const QString& line : queued_) {
        QTextCharFormat format;
        format.setForeground(LineColour(line));
        if (!first) cursor.insertBlock();
        first = false;
        cursor.insertText(line, format);
    }
    cursor.endEditBlock();
    queued_.clear();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

}  // namespace corvane
