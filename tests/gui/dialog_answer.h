// Answers the modal dialogs the window opens, from the event loop, the way an operator would:
// the test queues what to do with each before the call that opens them, and the answers are
// used in order, one per dialog.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

namespace corvane::testing {

struct DialogSeen {
    QString title;
    QString text;  // a message box's text
    bool seen = false;
};

class DialogAnswers {
public:
    static DialogAnswers& Instance()
    {
        static DialogAnswers answers;
        return answers;
    }

    std::shared_ptr<DialogSeen> Queue(std::function<void(QWidget*)> act)
    {
        auto seen = std::make_shared<DialogSeen>();
        queue_.push_back({std::move(act), seen});
        return seen;
    }
    // Drops the answers no dialog came for; how many there were.
    std::size_t Clear()
    {
        const std::size_t left = queue_.size();
        queue_.clear();
        return left;
    }
    // The dialogs that came without an answer queued (closed after a while, so that a test
    // fails instead of hanging); the count is reset.
    int TakeUnexpected()
    {
        const int count = unexpected_;
        unexpected_ = 0;
        return count;
    }

private:
    struct Answer {
        std::function<void(QWidget*)> act;
        std::shared_ptr<DialogSeen> seen;
    };

    DialogAnswers()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == answered_.data()) {
            idlePolls_ = 0;
            return;
        }
        if (queue_.empty()) {
            if (++idlePolls_ < kUnexpectedPolls) return;
            idlePolls_ = 0;
            ++unexpected_;
            answered_ = modal;
            modal->close();
            return;
        }
        idlePolls_ = 0;
        Answer answer = std::move(queue_.front());
        queue_.pop_front();
        answered_ = modal;
        answer.seen->seen = true;
        answer.seen->title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) answer.seen->text = box->text();
        answer.act(modal);
    }

    static constexpr int kUnexpectedPolls = 300;  // 3 s
    std::deque<Answer> queue_;
    int idlePolls_ = 0;
    int unexpected_ = 0;
    QPointer<QWidget> answered_;
    QTimer timer_;
};

inline std::shared_ptr<DialogSeen> AnswerNextDialog(std::function<void(QWidget*)> act)
{
    return DialogAnswers::Instance().Queue(std::move(act));
}

// A message box answered with one of its buttons.
inline std::shared_ptr<DialogSeen> AnswerBox(QMessageBox::StandardButton button)
{
    return AnswerNextDialog([button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->button(button)) box->button(button)->click();
        else modal->close();
    });
}

}  // namespace corvane::testing
