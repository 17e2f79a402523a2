// The custom editor and its live preview window together: the window goes
// when the last sequence goes, the editor's own sound stops whenever the
// window is switched on or off and when the editor closes, the window
// redraws on its own 250 ms timer, it belongs to the editor, above it, and
// it still draws pictures after the editor's full-screen preview has ended.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>
#include <vector>

#include "custom_editor/frmCustom.h"
#include "custom_editor/frmImagePreview.h"
#include "custom_editor/frmStartfrom.h"
#include "platform/media/audio.h"
#include "player/frmSlideshow.h"
#include "tests/custom_editor/frmCustom_fixture.h"
#include "tests/qt_wait.h"

using namespace lvtest;

namespace {

// A started sound that says when it has been stopped (destroyed).
struct watched_playback : lv::audio_playback {
    explicit watched_playback(std::shared_ptr<int> live) : live_(std::move(live)) { ++*live_; }
    ~watched_playback() override { --*live_; }
    std::shared_ptr<int> live_;
};

class PreviewWindow : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::set_audio_backend([this](const std::string&, std::function<void()>) {
            return std::make_unique<watched_playback>(playing);
        });
        lv::doc().custom_name = "Preview";
        for (int n = 1; n <= 2; ++n) add_sequence(picture(QString("pic%1.png").arg(n)), n);
        tune = picture("tune.wav");
        for (int i = 1; i <= 2; ++i) lv::doc().sequences.audio_file[static_cast<std::size_t>(i)] = tune;
    }
    void TearDown() override {
        editor_fixture::TearDown();
        lv::set_audio_backend(nullptr);
    }

    static lv::frmImagePreview* preview_window() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<lv::frmImagePreview*>(w); p && p->isVisible()) return p;
        return nullptr;
    }
    // The editor's audio preview, as the user starts it.
    void play(lv::frmCustom* w) {
        w->Command28->click();
        ASSERT_EQ(*playing, 1);
        ASSERT_TRUE(w->MMControl1.playing());
    }

    // Waits for the window's redraw and reads the pixel at its middle.
    static QColor middle_after_redraw(lv::frmImagePreview* p) {
        EXPECT_TRUE(lv::test::wait_for([] { return lv::editors().image_preview_refresh == 0; }));
        return p->grab().toImage().pixelColor(p->width() / 2, p->height() / 2);
    }
    static bool reddish(QColor c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; }

    std::shared_ptr<int> playing = std::make_shared<int>(0);
    std::string tune;
};

TEST_F(PreviewWindow, RemovingTheLastSequenceClosesTheWindowRemovingOneOfTwoDoesNot) {
    auto* w = open_editor(true);
    w->Command25->click();
    ASSERT_TRUE(lv::test::wait_for([] { return preview_window() != nullptr; }));
    EXPECT_EQ(lv::editors().image_preview_open, 1);

    w->Command24->click();   // one sequence left: the window stays on it
    spin(30);
    EXPECT_EQ(lv::doc().image_count, 1);
    EXPECT_EQ(lv::editors().image_preview_open, 1);
    EXPECT_NE(preview_window(), nullptr);

    w->Command24->click();   // none left
    EXPECT_EQ(lv::doc().image_count, 0);
    EXPECT_TRUE(lv::test::wait_for([] { return preview_window() == nullptr; }));
    EXPECT_EQ(lv::editors().image_preview_open, 0);
    EXPECT_EQ(w->current_image, -1);
}

TEST_F(PreviewWindow, TheEditorsSoundStopsWhenTheWindowIsSwitchedOnOrOffAndWhenTheEditorCloses) {
    auto* w = open_editor(true);
    play(w);
    w->Command25->click();   // on
    EXPECT_EQ(*playing, 0);
    EXPECT_FALSE(w->MMControl1.playing());
    ASSERT_TRUE(lv::test::wait_for([] { return preview_window() != nullptr; }));

    play(w);
    w->Command25->click();   // off
    EXPECT_EQ(*playing, 0);
    EXPECT_TRUE(lv::test::wait_for([] { return preview_window() == nullptr; }));

    play(w);
    w->Command20->click();   // "&Cancel And Exit"
    flush_deletes();
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(*playing, 0);
}

TEST_F(PreviewWindow, TheWindowRedrawsOnItsOwnQuarterSecondTimer) {
    auto* w = open_editor(true);
    w->Command25->click();
    lv::frmImagePreview* p = nullptr;
    ASSERT_TRUE(lv::test::wait_for([&p] { return (p = preview_window()) != nullptr; }));
    ASSERT_NE(p->Timer1, nullptr);
    EXPECT_EQ(p->Timer1->interval(), 250);
    EXPECT_TRUE(p->Timer1->isActive());
    // A request the editor posts is carried out by a later tick, and cleared.
    ASSERT_TRUE(lv::test::wait_for([] { return lv::editors().image_preview_refresh == 0; }));
    w->select_row(1);
    EXPECT_EQ(lv::editors().image_preview_refresh, 2);
    EXPECT_TRUE(lv::test::wait_for([] { return lv::editors().image_preview_refresh == 0; }));
}

TEST_F(PreviewWindow, TheWindowBelongsToTheEditorAndStaysOverItWhenTheEditorIsClicked) {
    auto* w = open_editor(true);
    w->Command25->click();
    lv::frmImagePreview* p = nullptr;
    ASSERT_TRUE(lv::test::wait_for([&p] { return (p = preview_window()) != nullptr; }));
    // A tool window with the editor as its transient parent: the window
    // manager keeps it above the editor. It blocks nothing.
    const auto owned = [w, p] {
        return p->isVisible() && p->isWindow() && p->parentWidget() == w && p->windowType() == Qt::Tool &&
               p->windowHandle() && p->windowHandle()->transientParent() == w->windowHandle();
    };
    EXPECT_TRUE(owned());
    EXPECT_EQ(p->windowModality(), Qt::NonModal);

    w->activateWindow();
    QListWidget* list = w->List1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    spin(30);
    EXPECT_EQ(list->currentRow(), 1);   // the click was the editor's
    EXPECT_TRUE(owned());
}

TEST_F(PreviewWindow, PicturesStillShowAfterTheFullScreenPreviewWasEndedByAKey) {
    // The red pictures fill the middle; the missing backgrounds leave black.
    auto* w = open_editor(true);
    w->Command25->click();
    lv::frmImagePreview* p = nullptr;
    ASSERT_TRUE(lv::test::wait_for([&p] { return (p = preview_window()) != nullptr; }));
    ASSERT_TRUE(reddish(middle_after_redraw(p)));

    // "&Preview" plays the show in the real player, from the first sequence;
    // a key ends it once the first picture waits out its time.
    when_modal<lv::frmStartfrom>([](lv::frmStartfrom* d) { d->Command21->click(); });
    bool key_sent = false;
    QElapsedTimer clock;
    clock.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&key_sent, &clock] {
        auto* player = qobject_cast<lv::frmSlideshow*>(QApplication::activeModalWidget());
        if (clock.elapsed() > lv::test::hang_guard_ms) lv::run().time_to_end = 1;   // never hang here
        if (!player || key_sent || player->slideshow_state != 8) return;
        QWidget* focused = QApplication::focusWidget();
        ASSERT_TRUE(focused && (focused == player || player->isAncestorOf(focused)));
        key_sent = true;
        QTest::keyClick(focused, Qt::Key_A);
    });
    probe.start(20);
    w->Command22->click();
    ASSERT_TRUE(key_sent);
    EXPECT_EQ(lv::run().show_finished, 1);

    // The editor's request after the show, then the window closed and opened
    // again, and another sequence chosen: each redraw shows its picture.
    EXPECT_TRUE(reddish(middle_after_redraw(p)));
    w->Command25->click();
    ASSERT_TRUE(lv::test::wait_for([] { return preview_window() == nullptr; }));
    w->Command25->click();
    ASSERT_TRUE(lv::test::wait_for([&p] { return (p = preview_window()) != nullptr; }));
    EXPECT_TRUE(reddish(middle_after_redraw(p)));
    w->select_row(1);
    EXPECT_TRUE(reddish(middle_after_redraw(p)));
}

}  // namespace
