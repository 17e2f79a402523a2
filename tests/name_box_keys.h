#pragma once
// A slideshow name box in a keyboard user's hands: every editing key, sent
// to the focused widget as the X11 keyboard sends it (Backspace, Tab and the
// Ctrl letters carry control characters in their text), works as in any line
// edit, and a paste keeps only the characters a name may hold. Shared by the
// custom and the simple editor's tests.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/qt_wait.h"

namespace lvtest {

// One key on whatever has the keyboard focus; text is what the keyboard puts
// in the event.
inline void key_on_focus(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr) << "nothing has the keyboard focus";
    QTest::sendKeyEvent(QTest::Click, target, key, text, mods);
}

inline void ctrl_key(char letter) {
    key_on_focus(static_cast<Qt::Key>(Qt::Key_A + (letter - 'a')), Qt::ControlModifier,
                 QString(QChar(letter - 'a' + 1)));
}

// box: the name box of a shown editor window holding "Holiday"; stored: the
// name the editor keeps for the show.
inline void expect_name_box_edits_as_a_line_edit(QLineEdit* box, const std::function<std::string()>& stored) {
    box->window()->activateWindow();
    ASSERT_TRUE(lv::test::wait_for([box] { return QApplication::activeWindow() == box->window(); }));
    box->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), box);
    ASSERT_EQ(box->text(), QStringLiteral("Holiday"));
    auto expect_name = [&](const char* name) {
        EXPECT_EQ(box->text().toStdString(), name);
        EXPECT_EQ(stored(), name);
    };

    key_on_focus(Qt::Key_End);
    for (int i = 0; i < 4; ++i) key_on_focus(Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    expect_name("Hol");
    key_on_focus(Qt::Key_Home);
    key_on_focus(Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7f)));
    expect_name("ol");
    key_on_focus(Qt::Key_Right);
    QTest::keyClicks(box, QStringLiteral("i"));
    expect_name("oil");
    key_on_focus(Qt::Key_Left);
    key_on_focus(Qt::Key_Left);
    QTest::keyClicks(box, QStringLiteral("b"));
    expect_name("boil");

    // The clipboard keys and undo.
    ctrl_key('a');
    EXPECT_EQ(box->selectedText(), QStringLiteral("boil"));
    ctrl_key('c');
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("boil"));
    key_on_focus(Qt::Key_End);
    ctrl_key('v');
    expect_name("boilboil");
    ctrl_key('z');
    expect_name("boil");
    ctrl_key('a');
    ctrl_key('x');
    expect_name("");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("boil"));

    // A paste keeps only what a name may hold.
    QApplication::clipboard()->setText(QStringLiteral("a/b.c,d\"e\\f\tg\nh"));
    ctrl_key('v');
    expect_name("abcdefgh");

    // Tab and Shift+Tab leave the box; the name stays as it was.
    key_on_focus(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));
    EXPECT_NE(QApplication::focusWidget(), box);
    key_on_focus(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), box);
    key_on_focus(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), box);
    expect_name("abcdefgh");
}

}  // namespace lvtest
