// The reveal protocol shared by the display controls: effect done once per
// reveal, cancelling, the updates switch, what a transition starts from, and
// the mouse events.
#include "qt_wait.h"
#include "platform/controls/picture_control.h"
#include "platform/picture/picture_files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <functional>

namespace lv {
namespace {

using lv::test::two_halves;

using lv::test::wait_for;

void settle(int ms) {
    wait_for([] { return false; }, ms);
}

QImage solid(QColor c, int w = 40, int h = 30) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

class EffectControlTest : public ::testing::Test {
protected:
    EffectControlTest() {
        host.resize(200, 150);
        QPalette pal;
        pal.setColor(QPalette::Window, Qt::green);
        host.setPalette(pal);
        host.setAutoFillBackground(true);
        host.show();
        pc = new PictureControl(&host);
        pc->setGeometry(0, 0, 200, 150);
        pc->set_picture(solid(Qt::red));
        QObject::connect(pc, &EffectControl::effect_done, [this] { ++done; });
    }
    QRgb on_screen(int x, int y) { return host.grab().toImage().pixel(x, y); }

    QWidget host;
    PictureControl* pc = nullptr;
    int done = 0;
};

TEST_F(EffectControlTest, ImmediateShowReportsDoneOnce) {
    pc->show();
    EXPECT_FALSE(pc->transition_running());
    settle(50);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(on_screen(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(on_screen(100, 100), qRgb(0, 255, 0));   // the rest of the control is see-through
    // Showing a shown control, or refreshing it, reveals nothing new.
    pc->show_with_effect();
    pc->refresh();
    settle(50);
    EXPECT_EQ(done, 1);
    pc->hide();
    pc->show_with_effect();
    settle(50);
    EXPECT_EQ(done, 2);
    // A number without a transition shows at once too.
    pc->set_effect(51, 10, 4);
    pc->refresh();
    EXPECT_FALSE(pc->transition_running());
    settle(50);
    EXPECT_EQ(done, 3);
}

TEST_F(EffectControlTest, TransitionRunsToItsEndAndReportsOnce) {
    pc->set_effect(1, 0, 4);
    pc->show();
    EXPECT_TRUE(pc->transition_running());
    EXPECT_EQ(done, 0);
    ASSERT_TRUE(wait_for([&] { return done == 1; }));
    EXPECT_FALSE(pc->transition_running());
    settle(150);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(on_screen(5, 5), qRgb(255, 0, 0));
}

TEST_F(EffectControlTest, NumberBackToZeroDoesNotStopARunningTransition) {
    pc->set_effect(1, 10, 4);
    pc->show_with_effect();
    pc->refresh();
    pc->set_effect_number(0);
    EXPECT_EQ(pc->effect_number(), 0);
    EXPECT_TRUE(pc->transition_running());
    ASSERT_TRUE(wait_for([&] { return done == 1; }));
    settle(100);
    EXPECT_EQ(done, 1);
}

TEST_F(EffectControlTest, CancelModeDecidesWhatInterrupts) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    const QPointF far_away(QCursor::pos() + QPoint(300, 200));
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), far_away, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    auto start = [&] {
        pc->hide();
        pc->set_effect(1, 255, 4);
        pc->show();
        ASSERT_TRUE(pc->transition_running());
    };

    pc->set_cancel_mode(4);   // any key
    start();
    QApplication::sendEvent(&host, &move);
    EXPECT_TRUE(pc->transition_running());
    QApplication::sendEvent(&host, &key);
    EXPECT_FALSE(pc->transition_running());
    EXPECT_EQ(done, 1);
    EXPECT_EQ(on_screen(5, 5), qRgb(255, 0, 0));   // jumped to the last frame

    pc->set_cancel_mode(7);   // a mouse move
    start();
    QApplication::sendEvent(&host, &key);
    EXPECT_TRUE(pc->transition_running());
    QApplication::sendEvent(&host, &move);
    EXPECT_FALSE(pc->transition_running());
    EXPECT_EQ(done, 2);

    pc->set_cancel_mode(9);   // either
    start();
    QApplication::sendEvent(pc, &key);
    EXPECT_FALSE(pc->transition_running());
    start();
    QApplication::sendEvent(pc, &move);
    EXPECT_FALSE(pc->transition_running());
    settle(100);
    EXPECT_EQ(done, 4);
}

TEST_F(EffectControlTest, HidingOrRevealingAgainEndsTheRunningTransition) {
    pc->set_effect(1, 255, 4);
    pc->show();
    pc->hide();
    EXPECT_FALSE(pc->transition_running());
    EXPECT_EQ(done, 1);
    pc->show();
    ASSERT_TRUE(pc->transition_running());
    pc->set_effect(2, 0, 4);   // arms another reveal
    pc->refresh();
    EXPECT_EQ(done, 2);        // the first reported its end
    EXPECT_TRUE(pc->transition_running());
    ASSERT_TRUE(wait_for([&] { return done == 3; }));
    pc->finish_transition();   // nothing runs: no extra report
    settle(50);
    EXPECT_EQ(done, 3);
}

TEST_F(EffectControlTest, TransitionStartsFromWhatLiesBeneath) {
    auto* below = new PictureControl(&host);
    below->setGeometry(0, 0, 100, 150);
    below->set_picture(solid(Qt::blue, 100, 150));
    below->show();
    pc->raise();
    pc->set_effect(3, 255, 4);
    pc->show();
    ASSERT_TRUE(pc->transition_running());
    const QImage first = pc->transition_frame_at(0), last = pc->transition_frame_at(1);
    EXPECT_EQ(first.pixel(5, 5), qRgb(0, 0, 255));     // the sibling below, not the old face
    EXPECT_EQ(first.pixel(150, 100), qRgb(0, 255, 0)); // the window's background
    EXPECT_EQ(last.pixel(5, 5), qRgb(255, 0, 0));      // the new face
    EXPECT_EQ(last.pixel(50, 100), qRgb(0, 0, 255));   // seen through its empty part
    EXPECT_EQ(last.pixel(150, 100), qRgb(0, 255, 0));
    pc->finish_transition();
}

TEST_F(EffectControlTest, UpdatesOffKeepsTheLastFaceUntilTheReveal) {
    pc->show();
    settle(30);
    ASSERT_EQ(on_screen(5, 5), qRgb(255, 0, 0));
    pc->set_updates(false);
    EXPECT_FALSE(pc->updates());
    pc->set_picture(solid(Qt::blue));
    pc->set_draw_mode(PictureControl::stretched);
    settle(30);
    EXPECT_EQ(on_screen(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(on_screen(150, 100), qRgb(0, 255, 0));
    pc->set_updates(true);
    settle(30);
    EXPECT_EQ(on_screen(5, 5), qRgb(255, 0, 0));   // armed, but not yet revealed
    pc->show_with_effect();
    settle(50);
    EXPECT_EQ(on_screen(150, 100), qRgb(0, 0, 255));
    EXPECT_EQ(done, 2);
    // Armed and visible: a change shows at once, without a reveal.
    pc->set_picture(solid(Qt::yellow));
    settle(30);
    EXPECT_EQ(on_screen(150, 100), qRgb(255, 255, 0));
    EXPECT_EQ(done, 2);
}

TEST_F(EffectControlTest, MouseEventsAndClick) {
    pc->show();
    std::vector<QPoint> moves;
    int clicks = 0, presses = 0, releases = 0;
    QObject::connect(pc, &EffectControl::mouse_moved, [&](QPoint p) { moves.push_back(p); });
    QObject::connect(pc, &EffectControl::mouse_pressed, [&](QPoint, Qt::MouseButton b) { presses += b == Qt::LeftButton; });
    QObject::connect(pc, &EffectControl::mouse_released, [&](QPoint, Qt::MouseButton) { ++releases; });
    QObject::connect(pc, &EffectControl::clicked, [&] { ++clicks; });
    auto send = [&](QEvent::Type t, QPoint p, Qt::MouseButton b) {
        QMouseEvent e(t, QPointF(p), QPointF(pc->mapToGlobal(p)), b, t == QEvent::MouseButtonPress ? b : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(pc, &e);
    };
    send(QEvent::MouseMove, {12, 7}, Qt::NoButton);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], QPoint(12, 7));
    send(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {20, 20}, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    send(QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {500, 20}, Qt::LeftButton);   // released outside
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(releases, 2);
    pc->setToolTip(QStringLiteral(" Click here "));
    EXPECT_EQ(pc->toolTip(), QStringLiteral(" Click here "));
}

}  // namespace
}  // namespace lv
