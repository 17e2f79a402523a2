#pragma once
// Acting on modal windows from a test: a modal dialog runs its own event
// loop, so the test schedules what to do with it before opening it.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/qt_wait.h"

namespace lvtest {

using lv::test::hang_guard_ms;

// Calls fn once with the topmost modal window of type T as soon as one is
// open; the event loop (the dialog's own, once it runs) looks every 10 ms.
// The watch ends there, or after timeout_ms without one, a guard against a
// hang that records a failure when the window was required. Delete the
// returned watcher (when it is still there) to stop watching early.
template <class T>
QPointer<QTimer> when_modal(std::function<void(T*)> fn, int timeout_ms = hang_guard_ms, bool required = true) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, fn, timeout_ms, required] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(w);
        } else if (clock->elapsed() > timeout_ms) {
            timer->stop();
            timer->deleteLater();
            if (required) ADD_FAILURE() << "no modal window of the expected kind appeared";
        }
    });
    timer->start(10);
    return timer;
}

// What a message box said.
struct seen_box {
    std::string title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
};

// Answers the next message box with OK and records it.
inline void answer_message_box(std::shared_ptr<seen_box> seen, int timeout_ms = hang_guard_ms) {
    when_modal<QMessageBox>(
        [seen](QMessageBox* box) {
            seen->title = box->windowTitle().toStdString();
            seen->text = box->text().toStdString();
            seen->icon = box->icon();
            seen->buttons = static_cast<int>(box->buttons().size());
            box->done(QMessageBox::Ok);
        },
        timeout_ms);
}

// Processes events for ms milliseconds: for letting a queue settle, or for
// looking that something does not happen. Wait for what the program will do
// with lv::test::wait_for instead.
inline void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace lvtest
