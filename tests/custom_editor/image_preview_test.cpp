// The custom editor's live preview window: where it opens, how its timer
// carries out redraw requests, what it draws, and how it survives a close or
// a tick that arrives while it yields.
#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/editor_state.h"
#include "core/effects.h"
#include "core/hooks.h"
#include "core/state.h"
#include "custom_editor/frmImagePreview.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "platform/transitions/transitions.h"
#include "player/modal_watch.h"
#include "player/renderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using lv::editors;
using lv::frmImagePreview;

bool near(QColor a, QColor b, int tol = 24) {
    return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
           std::abs(a.blue() - b.blue()) <= tol;
}

// A table row whose effect really animates (a slow one at speed 255).
int animated_row() {
    for (int r = 2; r < lv::effect_rows; ++r)
        if (lv::effect_table()[r].effect_number > 0 && lv::has_transition(lv::effect_table()[r].effect_number))
            return r;
    return 1;
}

class ImagePreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [this] {
            QCoreApplication::processEvents();
            if (on_yield) on_yield();
        };
        lv::set_random_source(nullptr);
        lv::reset_effect_table();
        lv::init_caption_schemes();
        lv::settings() = lv::config_settings{};
        lv::settings().display_mode = 3;
        lv::run() = lv::run_flags{};
        lv::program() = lv::program_state{};
        lv::doc() = lv::slideshow_document{};
        editors() = lv::editor_state{};
        editors().image_preview_left = editors().image_preview_top = -1;
        editors().image_preview_width = editors().image_preview_height = -1;
        ASSERT_TRUE(dir_.isValid());
        lv::program().windows_dir = dir_.path().toStdString() + "/";

        red_ = picture("red.png", solid(60, 40, Qt::red));
        green_ = picture("green.png", solid(8, 8, QColor(0, 200, 0)));
    }

    void TearDown() override {
        on_yield = nullptr;
        if (preview_) preview_->close();
        flush_deletes();
        delete preview_;
        lv::hooks().yield_events = nullptr;
        lv::set_random_source(nullptr);
    }

    static QImage solid(int w, int h, QColor c) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(c);
        return img;
    }
    std::string picture(const QString& name, const QImage& img) {
        const QString p = dir_.filePath(name);
        EXPECT_TRUE(img.save(p));
        return p.toStdString();
    }

    // Sequence n of the document: a picture at "Middle Justify Middle", no
    // background, no caption, no effects.
    lv::sequence_record& seq(int n = 1) {
        if (lv::doc().image_count < n) {
            lv::redim_slides(n);
            lv::doc().image_count = n;
            records_.resize(static_cast<std::size_t>(n) + 1);
        }
        lv::sequence_record& r = records_[static_cast<std::size_t>(n)];
        if (r.image_file.empty() && r.display_effect == 0) {
            r.image_file = red_;
            r.display_position = 8;
            r.display_effect = r.caption_effect = r.background_effect = 1;
            r.caption_font_name = "DejaVu Sans";
            r.caption_font_size = 14;
            r.caption_color = 0xFFFFFF;
            r.caption_shadow_size = 1;
            r.caption_position = 7;
        }
        return r;
    }
    void commit() {
        for (std::size_t i = 1; i < records_.size(); ++i) lv::doc().sequences.set(static_cast<int>(i), records_[i]);
    }

    frmImagePreview* open(QWidget* editor = nullptr) {
        commit();
        preview_ = new frmImagePreview(editor);
        preview_->set_current_image_source([this] { return current; });
        preview_->show();
        return preview_;
    }

    // Waits until the pending request has been carried out.
    bool wait_redraw(int ms = lv::test::hang_guard_ms) {
        QElapsedTimer t;
        t.start();
        while (editors().image_preview_refresh != 0 || (preview_ && preview_->timer_busy)) {
            if (t.elapsed() > ms) return false;
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    void finish_transitions() {
        if (!preview_) return;
        for (lv::EffectControl* c : preview_->findChildren<lv::EffectControl*>())
            if (c->transition_running()) c->finish_transition();
        QApplication::processEvents();
    }
    static void flush_deletes() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    QColor pixel(int x, int y) { return preview_->grab().toImage().pixelColor(x, y); }

    QTemporaryDir dir_;
    std::string red_, green_;
    std::vector<lv::sequence_record> records_;
    QPointer<frmImagePreview> preview_;
    int current = 1;
    std::function<void()> on_yield;
};

TEST_F(ImagePreviewTest, OpensBesideTheEditorThenWhereTheUserLeftIt) {
    seq();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget editor;
    editor.setGeometry(screen.x() + 10, screen.y() + 20, 400, 300);   // room to its right
    editor.show();
    const QSize design = frmImagePreview::design_size();
    EXPECT_EQ(design, QSize(234, 167));   // 3510 x 2505 twips at 15 twips a pixel

    open(&editor);
    EXPECT_EQ(editors().image_preview_open, 1);
    EXPECT_EQ(preview_->windowTitle(), "Lumivane - Preview");
    QRect ed = editor.frameGeometry();
    EXPECT_EQ(preview_->pos(), QPoint(ed.right() + 1, ed.top()));
    EXPECT_EQ(preview_->size(), design);

    // The user moves and sizes it; closing keeps that rectangle.
    preview_->move(40, 50);
    preview_->resize(300, 200);
    QPointer<frmImagePreview> first = preview_;
    preview_->close();
    EXPECT_EQ(editors().image_preview_open, 0);
    EXPECT_EQ(editors().image_preview_left, 40);
    EXPECT_EQ(editors().image_preview_top, 50);
    EXPECT_EQ(editors().image_preview_width, 300);
    EXPECT_EQ(editors().image_preview_height, 200);
    flush_deletes();
    EXPECT_TRUE(first.isNull());   // it deletes itself

    open(&editor);
    EXPECT_EQ(preview_->pos(), QPoint(40, 50));
    EXPECT_EQ(preview_->size(), QSize(300, 200));
    preview_->close();
    flush_deletes();

    // The editor opened again resets the rectangle: below an editor as wide
    // as the screen, over the middle of one that fills it.
    editors().image_preview_left = -1;
    editor.setGeometry(screen.x() + 10, screen.y() + 10, screen.width() - 20, screen.height() - 200);
    ed = editor.frameGeometry();
    open(&editor);
    EXPECT_EQ(preview_->size(), design);
    EXPECT_EQ(preview_->pos(), QPoint(ed.left(), ed.bottom() + 1));
    preview_->close();
    flush_deletes();
    editors().image_preview_left = -1;
    editor.setGeometry(screen);
    ed = editor.frameGeometry();
    open(&editor);
    EXPECT_LE((preview_->frameGeometry().center() - ed.center()).manhattanLength(), 2);   // odd sizes round
}

TEST_F(ImagePreviewTest, OpeningAndResizingDrawAtOnceARequestOfOneRunsTransitions) {
    const int row = animated_row();
    ASSERT_GT(row, 1);
    lv::sequence_record& r = seq();
    r.display_effect = row;
    r.effect_speed = 255;   // several seconds
    r.effect_grain = 4;
    r.caption_text = "Hello";
    open();
    EXPECT_EQ(editors().image_preview_refresh, 2);   // the show asks for a redraw at once
    ASSERT_TRUE(wait_redraw());
    lv::Renderer& rd = preview_->renderer();
    EXPECT_TRUE(rd.image_picture()->isVisible());
    EXPECT_FALSE(rd.image_picture()->transition_running());
    EXPECT_TRUE(rd.image_caption()->isVisible());
    EXPECT_TRUE(near(pixel(preview_->width() / 2, preview_->height() / 2), Qt::red));
    EXPECT_TRUE(near(pixel(2, 2), Qt::black));   // the black stand-in background

    // Request 1 (an effect combo changed): the picture reveals with its effect.
    editors().image_preview_refresh = 1;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(rd.image_picture()->transition_running());
    finish_transitions();

    // A resize lays out anew at once.
    preview_->resize(400, 300);
    EXPECT_EQ(editors().image_preview_refresh, 2);
    ASSERT_TRUE(wait_redraw());
    EXPECT_FALSE(rd.image_picture()->transition_running());
    EXPECT_EQ(rd.image_picture()->geometry().center(), QRect(0, 0, 400, 300).center());
    EXPECT_EQ(rd.image_background()->geometry(), QRect(0, 0, 400, 300));
}

TEST_F(ImagePreviewTest, ARequestTurnedToTwoDuringARedrawStopsTheLaterTransitions) {
    const int row = animated_row();
    lv::sequence_record& r = seq();
    r.background_file = green_;
    r.background_effect = row;
    r.background_speed = 255;
    r.display_effect = row;
    r.effect_speed = 255;
    open();
    ASSERT_TRUE(wait_redraw());
    lv::Renderer& rd = preview_->renderer();
    on_yield = [&rd] {
        if (rd.image_background()->transition_running() && editors().image_preview_refresh == 1)
            editors().image_preview_refresh = 2;   // a list click while the background reveals
    };
    editors().image_preview_refresh = 1;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(rd.image_picture()->isVisible());
    EXPECT_FALSE(rd.image_picture()->transition_running());
}

TEST_F(ImagePreviewTest, BackgroundsShowOnBlackWhateverIgnoreBackgroundSays) {
    lv::settings().ignore_background = 1;   // the player's setting; the preview does not read it
    seq(1).background_file = green_;       // tiled over the window
    seq(2);                                // none: black over the whole window
    seq(3).background_file = lv::gradient_background;
    open();
    ASSERT_TRUE(wait_redraw());
    lv::Renderer& rd = preview_->renderer();
    EXPECT_TRUE(rd.image_background()->isVisible());
    EXPECT_TRUE(near(pixel(3, 3), QColor(0, 200, 0)));

    current = 2;
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(rd.image_background()->isVisible());
    EXPECT_EQ(rd.image_background()->geometry(), preview_->rect());
    EXPECT_TRUE(near(pixel(3, 3), Qt::black));
    EXPECT_TRUE(near(pixel(preview_->width() / 2, preview_->height() / 2), Qt::red));

    // "Gradient Background": a new random gradient at every redraw.
    int draws = 0;
    lv::set_random_source([&draws] {
        ++draws;
        return 0.3;
    });
    current = 3;
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(rd.gradient()->isVisible());
    const int after_first = draws;
    EXPECT_GE(after_first, 2);   // colour and style
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_GE(draws, 2 * after_first);
}

TEST_F(ImagePreviewTest, AMissingPictureShowsNothingAndSaysNothing) {
    lv::sequence_record& r = seq();
    r.image_file = dir_.filePath(QStringLiteral("gone.png")).toStdString();
    r.caption_text = "Still here";
    r.background_file = green_;
    bool boxed = false;
    on_yield = [&boxed] {
        if (QApplication::activeModalWidget()) boxed = true;
    };
    open();
    ASSERT_TRUE(wait_redraw());
    lv::Renderer& rd = preview_->renderer();
    EXPECT_FALSE(rd.image_picture()->isVisible());
    EXPECT_TRUE(rd.image_picture()->file_name().isEmpty());
    EXPECT_TRUE(rd.image_background()->isVisible());
    EXPECT_TRUE(rd.image_caption()->isVisible());
    EXPECT_FALSE(boxed);
    EXPECT_FALSE(rd.error_banner()->isVisible());
}

TEST_F(ImagePreviewTest, NoSelectionOrAStaleOneDrawsNothingButClearsTheRequest) {
    seq();
    current = -1;
    open();
    ASSERT_TRUE(wait_redraw());
    EXPECT_FALSE(preview_->renderer().image_picture()->isVisible());
    current = 5;   // beyond image_count, as while a removal is under way
    editors().image_preview_refresh = 1;
    ASSERT_TRUE(wait_redraw());
    EXPECT_FALSE(preview_->renderer().image_picture()->isVisible());
    current = 1;
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(preview_->renderer().image_picture()->isVisible());
}

TEST_F(ImagePreviewTest, TicksDuringARedrawAreTurnedAwayAndNothingIsLogged) {
    lv::settings().logging = 1;
    lv::sequence_record& r = seq();
    r.caption_text = "Logged?";
    r.background_file = green_;
    open();
    ASSERT_TRUE(wait_redraw());

    // Every yield of a redraw delivers another tick; a second redraw would
    // read the selection while the first is still inside a yield.
    int nested_reads = 0;
    bool in_tick = false;
    preview_->set_current_image_source([&] {
        if (in_tick) ++nested_reads;
        return 1;
    });
    on_yield = [&] {
        if (in_tick || !preview_ || !preview_->timer_busy) return;
        in_tick = true;
        editors().image_preview_refresh = 2;
        preview_->Timer1_Timer();
        in_tick = false;
    };
    editors().image_preview_refresh = 1;
    ASSERT_TRUE(wait_redraw());
    on_yield = nullptr;
    EXPECT_EQ(nested_reads, 0);
    EXPECT_TRUE(preview_->renderer().image_caption()->isVisible());

    QFile log(QString::fromStdString(lv::program().windows_dir) + QStringLiteral("Lumivane Log.txt"));
    if (log.open(QIODevice::ReadOnly)) {
        EXPECT_FALSE(log.readAll().contains("Display ")) << "the preview logs nothing";
    }
}

TEST_F(ImagePreviewTest, AClosePostedWhileARedrawYieldsEndsTheRedrawSafely) {
    lv::sequence_record& r = seq();
    r.caption_text = "Never shown";
    r.background_file = green_;
    open();
    ASSERT_TRUE(wait_redraw());
    QPointer<frmImagePreview> w = preview_;
    bool closed = false;
    int reads_after_close = 0;
    preview_->set_current_image_source([&] {
        if (closed) ++reads_after_close;
        return 1;
    });
    on_yield = [&] {
        if (!closed && w && w->timer_busy) {
            closed = true;
            w->close();   // the editor's toggle, or interface_off
        }
    };
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_TRUE(closed);
    EXPECT_EQ(reads_after_close, 0) << "the redraw goes on after the close";
    EXPECT_EQ(editors().image_preview_open, 0);
    EXPECT_EQ(editors().image_preview_refresh, 0);
    flush_deletes();
    EXPECT_TRUE(w.isNull());
}

// ---- videos --------------------------------------------------------------------

class ImagePreviewVideoTest : public ImagePreviewTest {
protected:
    void SetUp() override {
        ImagePreviewTest::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) GTEST_SKIP() << "no ffmpeg";
        clip_ = dir_.filePath(QStringLiteral("clip.mpg"));
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-t", "4", "-c:v",
                 "mpeg1video", "-f", "mpeg", clip_});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) GTEST_SKIP() << "ffmpeg could not make a clip";
    }
    QString clip_;
};

TEST_F(ImagePreviewVideoTest, AVideoPlaysMutedAsSetIsStoppedOnRedrawAndOnClose) {
    lv::settings().audio_on = 0;
    seq(1).image_file = clip_.toStdString();
    seq(2);
    open();
    ASSERT_TRUE(wait_redraw());
    lv::VideoControl* vid = preview_->renderer().image_video();
    EXPECT_EQ(vid->status(), "PLAYING");
    EXPECT_TRUE(vid->muted());

    // Another sequence: the video is stopped first.
    current = 2;
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_NE(vid->status(), "PLAYING");
    EXPECT_TRUE(preview_->renderer().image_picture()->isVisible());

    current = 1;
    editors().image_preview_refresh = 2;
    ASSERT_TRUE(wait_redraw());
    EXPECT_EQ(vid->status(), "PLAYING");
    QPointer<lv::VideoControl> watch = vid;
    preview_->close();
    if (watch) {
        EXPECT_NE(watch->status(), "PLAYING");
    }
}

}  // namespace
