// The window thread of the administration window: Qt's event queue on the thread that creates
// this object (the program's main thread, which runs QApplication::exec).
#pragma once

#include <QObject>
#include <deque>
#include <mutex>

#include "core/window_thread.h"

namespace corvane {

class QtWindowThread : public WindowThread {
public:
    // Create on the window thread, after the QApplication.
    QtWindowThread();
    // Closures still queued are dropped unrun; a server thread waiting for one of them is
    // released. Later posts fail.
    ~QtWindowThread() override;
    QtWindowThread(const QtWindowThread&) = delete;
    QtWindowThread& operator=(const QtWindowThread&) = delete;

    bool Post(Closure closure) override;
    // Handles the queued closures and the window's own events, except the operator's input:
    // a click that arrives while the controller waits for the server thread waits too, so no
    // second command starts inside the first.
    void PumpQueue() override;
    bool IsWindowThread() const override;

private:
    void RunQueued();

    // The wake-ups' receiver; deleting it drops the one still queued for it.
    QObject* receiver_;
    std::mutex lock_;
    std::deque<Closure> queued_;  // guarded by lock_
    bool wakePending_ = false;    // guarded by lock_: a wake-up is in Qt's queue
    bool open_ = true;            // guarded by lock_
};

}  // namespace corvane
