// The custom editor in a keyboard user's hands: the list, "Remove", the
// preview toggle and the audio preview grey themselves out while they work,
// and the keyboard focus must come back to them afterwards, or the next key
// runs whatever button the focus fell on.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "custom_editor/frmCustom.h"
#include "tests/custom_editor/frmCustom_fixture.h"
#include "tests/qt_wait.h"

using namespace lvtest;

namespace {

class KeyboardFocus : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::doc().custom_name = "Keys";
        for (int n = 1; n <= 3; ++n) add_sequence(picture(QString("pic%1.png").arg(n)), n);
    }

    static bool activate(QWidget* w) {
        w->activateWindow();
        return lv::test::wait_for([w] { return QApplication::activeWindow() == w; });
    }

    lv::frmCustom* open_active() {
        auto* w = open_editor(true);
        EXPECT_TRUE(activate(w));
        return w;
    }

    // A mouse click on a row of the list, as the user makes it.
    static void click_row(lv::frmCustom* w, int row) {
        QListWidgetItem* item = w->List1->item(row);
        ASSERT_NE(item, nullptr);
        const QRect r = w->List1->visualItemRect(item);
        QTest::mouseClick(w->List1->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        spin(20);
    }

    // A key pressed on whatever has the keyboard focus now.
    static void press(int key) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr) << "nothing has the keyboard focus";
        QTest::keyClick(target, static_cast<Qt::Key>(key));
        spin(20);
    }

    std::vector<std::string> rows() const {
        std::vector<std::string> r;
        for (int i = 0; i < editor->List1->count(); ++i) r.push_back(editor->List1->item(i)->text().toStdString());
        return r;
    }
    const std::vector<std::string> all_three{"pic1.png", "pic2.png", "pic3.png"};
};

TEST_F(KeyboardFocus, ArrowKeysWalkTheListAndSpaceRemovesNothing) {
    auto* w = open_active();
    click_row(w, 0);
    EXPECT_EQ(QApplication::focusWidget(), w->List1);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(rows(), all_three);
    EXPECT_EQ(w->current_image, 3);
    EXPECT_EQ(w->List1->currentRow(), 2);
    EXPECT_EQ(w->Label19->text().toStdString(), "pic3.png");
    EXPECT_EQ(QApplication::focusWidget(), w->List1);

    press(Qt::Key_Up);
    press(Qt::Key_Up);
    press(Qt::Key_Space);
    EXPECT_EQ(rows(), all_three);
    EXPECT_EQ(w->current_image, 1);
    EXPECT_EQ(w->Label10->text().toStdString(), "Image: 1");
}

TEST_F(KeyboardFocus, HomeAndEndJumpThroughTheListAndKeepTheFocus) {
    auto* w = open_active();
    click_row(w, 1);
    press(Qt::Key_End);
    EXPECT_EQ(w->current_image, 3);
    press(Qt::Key_Home);
    EXPECT_EQ(w->current_image, 1);
    press(Qt::Key_End);
    press(Qt::Key_Space);
    press(Qt::Key_Space);
    EXPECT_EQ(rows(), all_three);
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(w->current_image, 3);
    EXPECT_EQ(QApplication::focusWidget(), w->List1);
}

TEST_F(KeyboardFocus, ASelectionThatWarnsStillLeavesTheKeyboardOnTheList) {
    auto* w = open_active();
    QFile::remove(QString::fromStdString(lv::doc().sequences.image_file[2]));
    click_row(w, 0);
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    press(Qt::Key_Down);   // the second picture is missing: a box, answered
    EXPECT_EQ(box->title, "File Not Found! (Image 2)");
    // The desktop hands the activation back once the box is gone (the
    // offscreen platform leaves that to us).
    ASSERT_TRUE(activate(w));
    EXPECT_EQ(QApplication::focusWidget(), w->List1);
    press(Qt::Key_Down);
    press(Qt::Key_Space);
    EXPECT_EQ(lv::doc().image_count, 3);
    EXPECT_EQ(w->current_image, 3);
}

TEST_F(KeyboardFocus, RemoveKeepsTheFocusUntilNothingIsLeftThenHandsItOn) {
    auto* w = open_active();
    click_row(w, 0);
    w->Command24->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w->Command24);
    press(Qt::Key_Space);
    EXPECT_EQ(lv::doc().image_count, 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic2.png", "pic3.png"}));
    // The focus is back on "Remove", not on the move button beside it.
    EXPECT_EQ(QApplication::focusWidget(), w->Command24);
    press(Qt::Key_Space);
    EXPECT_EQ(lv::doc().image_count, 1);
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic3.png"}));
    EXPECT_EQ(QApplication::focusWidget(), w->Command24);
    press(Qt::Key_Space);
    EXPECT_EQ(lv::doc().image_count, 0);
    // "Remove" is greyed out now: the focus went on to a control that can
    // still be used, never to nothing.
    QWidget* f = QApplication::focusWidget();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isEnabled());
    EXPECT_NE(f, w);
}

TEST_F(KeyboardFocus, PreviewToggleAndAudioPreviewKeepTheirFocus) {
    auto* w = open_active();
    click_row(w, 0);
    w->Command25->setFocus();
    press(Qt::Key_Space);   // preview window on
    spin(30);
    EXPECT_EQ(lv::editors().image_preview_open, 1);
    ASSERT_TRUE(activate(w));
    EXPECT_EQ(QApplication::focusWidget(), w->Command25);
    press(Qt::Key_Space);   // and off again
    spin(30);
    EXPECT_EQ(lv::editors().image_preview_open, 0);
    EXPECT_EQ(QApplication::focusWidget(), w->Command25);

    lv::doc().sequences.audio_file[1].clear();
    w->Command28->setFocus();
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    press(Qt::Key_Space);
    EXPECT_EQ(box->text, "There is no audio file selected for this image.");
    ASSERT_TRUE(activate(w));
    EXPECT_EQ(QApplication::focusWidget(), w->Command28);
    EXPECT_TRUE(w->Command28->isEnabled());
}

TEST_F(KeyboardFocus, FocusTheUserMovedMeanwhileStaysWhereTheUserPutIt) {
    auto* w = open_active();
    click_row(w, 0);
    // While the list shows the record it yields; a click on the caption box
    // arriving then must not be undone when the list is enabled again.
    bool moved = false;
    lv::hooks().yield_events = [&moved, w] {
        if (!moved && !w->List1->isEnabled()) {
            moved = true;
            w->Text1->setFocus();
        }
        QCoreApplication::processEvents();
    };
    press(Qt::Key_Down);
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    EXPECT_TRUE(moved);
    EXPECT_EQ(w->current_image, 2);
    EXPECT_EQ(QApplication::focusWidget(), w->Text1);
}

}  // namespace
