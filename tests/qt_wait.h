#pragma once
// Runs the message loop until a condition holds or a time has passed; for
// tests of code that works from timers and queued events.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace lv::test {

inline bool wait_for(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}

}  // namespace lv::test
