#pragma once
// Runs the message loop until a condition holds; for tests of code that
// works from timers and queued events. The limit only guards against a hang:
// a loaded machine may take many times longer than an idle one.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>

namespace lv::test {

// How long a test waits for what the program will do before it calls it a hang.
inline constexpr int hang_guard_ms = 120000;

inline bool wait_for(const std::function<bool()>& done, int ms = hang_guard_ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}

// Runs the message loop until the timer has fired n more times: for what a
// window's own timer does on its next tick. The count comes after the
// window's handler has run, which was connected first.
inline bool wait_ticks(QTimer* timer, int n = 1, int ms = hang_guard_ms) {
    int fired = 0;
    const QMetaObject::Connection counting = QObject::connect(timer, &QTimer::timeout, [&fired] { ++fired; });
    const bool ok = wait_for([&fired, n] { return fired >= n; }, ms);
    QObject::disconnect(counting);
    return ok;
}

}  // namespace lv::test
