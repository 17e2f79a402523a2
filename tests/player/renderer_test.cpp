// The renderer on an 800x600 host window, checked through the controls'
// geometry, the pixels of grab() and the lines of the diagnostic log.
#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/effects.h"
#include "core/file_names.h"
#include "core/hooks.h"
#include "core/state.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "player/renderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

// Readable geometry in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << "QPoint(" << p.x() << ", " << p.y() << ")"; }
QT_END_NAMESPACE

namespace {

using lv::Renderer;

const QColor k_red(255, 0, 0), k_green(0, 200, 0), k_blue(0, 0, 255), k_white(255, 255, 255);

bool near(QColor a, QColor b, int tol = 24) {
    return std::abs(a.red() - b.red()) <= tol && std::abs(a.green() - b.green()) <= tol &&
           std::abs(a.blue() - b.blue()) <= tol;
}

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::set_random_source(nullptr);
        lv::reset_effect_table();
        lv::init_caption_schemes();
        lv::settings() = lv::config_settings{};
        lv::run() = lv::run_flags{};
        lv::doc() = lv::slideshow_document{};
        lv::doc().border.border_off = 1;
        ASSERT_TRUE(dir_.isValid());
        lv::program().windows_dir = dir_.path().toStdString() + "/";

        host_ = std::make_unique<QWidget>();
        host_->setAutoFillBackground(true);
        QPalette pal = host_->palette();
        pal.setColor(QPalette::Window, Qt::black);
        host_->setPalette(pal);
        host_->resize(800, 600);
        host_->show();
        r_ = std::make_unique<Renderer>(host_.get());
        settle();
    }

    void TearDown() override {
        r_.reset();
        host_.reset();
        lv::set_random_source(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    // One sequence without background, caption or effect.
    lv::sequence_record& seq(int n = 1) {
        if (static_cast<int>(lv::doc().sequences.size()) <= n) {
            lv::redim_slides(n);
            lv::doc().image_count = n;
        }
        records_.resize(static_cast<std::size_t>(n) + 1);
        lv::sequence_record& r = records_[static_cast<std::size_t>(n)];
        if (r.display_effect == 0 && r.caption_effect == 0 && r.background_effect == 0 && r.image_file.empty()) {
            r.display_effect = 1;
            r.caption_effect = 1;
            r.background_effect = 1;
            r.caption_font_name = "DejaVu Sans";
            r.caption_font_size = 28;
            r.caption_shadow_size = 1;
        }
        return r;
    }
    void commit() {
        for (std::size_t i = 1; i < records_.size(); ++i) lv::doc().sequences.set(static_cast<int>(i), records_[i]);
    }

    std::string picture(const QString& name, const QImage& img) {
        const QString p = dir_.filePath(name);
        EXPECT_TRUE(img.save(p));
        return p.toStdString();
    }
    static QImage solid(int w, int h, QColor c) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(c);
        return img;
    }

    // Lets every pending event and running transition finish.
    void settle() {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 100) QCoreApplication::processEvents();
        for (lv::EffectControl* c : host_->findChildren<lv::EffectControl*>())
            if (c->transition_running()) c->finish_transition();
        QCoreApplication::processEvents();
    }

    QImage shot() {
        settle();
        return host_->grab().toImage();
    }

    // Draws sequence n the way the engine does.
    void draw(int n = 1, bool banner = true) {
        commit();
        r_->image_index = n;
        r_->load_error = 0;
        r_->updates_off();
        r_->display_background();
        const std::string& f = lv::doc().sequences.image_file[static_cast<std::size_t>(n)];
        if (lv::is_video_file(f))
            r_->display_video();
        else
            r_->display_picture();
        r_->display_caption();
        if (banner && r_->load_error == 1) r_->display_error_banner();
        settle();
    }

    std::vector<std::string> log_lines(const std::string& prefix) {
        std::vector<std::string> out;
        std::ifstream in(lv::program().windows_dir + "Lumivane Log.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(prefix, 0) == 0) {
                // Strip the "  hh:mm:ss  mm-dd-yyyy" tail.
                const auto cut = line.rfind("  ", line.rfind("  ") - 1);
                out.push_back(line.substr(0, cut));
            }
        }
        return out;
    }

    QTemporaryDir dir_;
    std::unique_ptr<QWidget> host_;
    std::unique_ptr<Renderer> r_;
    std::vector<lv::sequence_record> records_;
};

TEST_F(RendererTest, FullScreenFitsScaleTheWholePictureIntoTheWindow) {
    const std::string p = picture("p.png", solid(400, 300, k_green));
    const QRect expected[] = {{0, 0, 800, 600}, {100, 75, 600, 450}, {200, 150, 400, 300}};
    for (int pos = 0; pos <= 2; ++pos) {
        seq().image_file = p;
        seq().display_position = pos;
        draw();
        EXPECT_EQ(r_->image_picture()->geometry(), expected[pos]) << "position " << pos;
        const QImage img = shot();
        const QRect e = expected[pos];
        EXPECT_TRUE(near(img.pixelColor(e.left() + 2, e.top() + 2), k_green)) << pos;
        EXPECT_TRUE(near(img.pixelColor(e.right() - 2, e.bottom() - 2), k_green)) << pos;
        if (pos > 0) {
            EXPECT_TRUE(near(img.pixelColor(e.left() - 3, e.top() - 3), Qt::black)) << pos;
            EXPECT_TRUE(near(img.pixelColor(e.right() + 3, e.bottom() + 3), Qt::black)) << pos;
        }
    }
    EXPECT_EQ(r_->load_error, 0);
}

TEST_F(RendererTest, AnchoredPictureKeepsItsSizeAndLeavesTheBackgroundVisible) {
    seq().background_file = picture("bg.png", solid(64, 64, k_blue));
    seq().background_placement = 0;
    seq().image_file = picture("p.png", solid(200, 100, k_green));
    seq().display_position = 12;
    draw();
    EXPECT_EQ(r_->image_picture()->pos(), QPoint(600, 500));
    const QImage img = shot();
    EXPECT_TRUE(near(img.pixelColor(700, 550), k_green));
    EXPECT_TRUE(near(img.pixelColor(605, 505), k_green));
    EXPECT_TRUE(near(img.pixelColor(100, 100), k_blue));
    EXPECT_TRUE(near(img.pixelColor(590, 590), k_blue));
    EXPECT_TRUE(near(img.pixelColor(790, 490), k_blue));

    // Top left, middle and the centre of the window keep the background
    // around a picture anchored in the window's top-left corner too.
    seq().display_position = 4;
    draw();
    EXPECT_EQ(r_->image_picture()->pos(), QPoint(0, 0));
    const QImage img2 = shot();
    EXPECT_TRUE(near(img2.pixelColor(10, 10), k_green));
    EXPECT_TRUE(near(img2.pixelColor(400, 300), k_blue));
    EXPECT_TRUE(near(img2.pixelColor(250, 50), k_blue));
}

TEST_F(RendererTest, NineAnchorsPlaceThePictureByColumnAndRow) {
    // A picture wider than tall in a window wider than tall: a column taken
    // for a row, or the window's width for its height, lands elsewhere.
    seq().image_file = picture("p.png", solid(200, 100, k_green));
    const int lefts[3] = {0, 300, 600}, tops[3] = {0, 250, 500};
    for (int pos = 4; pos <= 12; ++pos) {
        seq().display_position = pos;
        draw();
        const QPoint expected(lefts[(pos - 4) % 3], tops[(pos - 4) / 3]);
        EXPECT_EQ(r_->image_picture()->geometry(), QRect(expected, QSize(200, 100))) << "position " << pos;
        const QImage img = shot();
        EXPECT_TRUE(near(img.pixelColor(expected + QPoint(3, 3)), k_green)) << "position " << pos;
        EXPECT_TRUE(near(img.pixelColor(expected + QPoint(196, 96)), k_green)) << "position " << pos;
        // Nothing of it at the mirrored place across the window's centre.
        const QPoint mirrored(800 - expected.x() - 100, 600 - expected.y() - 50);
        if (mirrored != expected + QPoint(100, 50)) {
            EXPECT_TRUE(near(img.pixelColor(mirrored), Qt::black)) << "position " << pos;
        }
    }
}

TEST_F(RendererTest, NineAnchorsPlaceTheCaptionByColumnAndRow) {
    seq().image_file = picture("k.png", solid(10, 10, Qt::black));
    seq().caption_text = "Caption";
    seq().caption_font_size = 20;
    seq().caption_color = 0xFFFFFF;
    for (int pos = 0; pos <= 8; ++pos) {
        seq().caption_position = pos;
        draw();
        const lv::LabelControl* cap = r_->image_caption();
        const int w = cap->width(), h = cap->height();
        const int col = pos % 3, row = pos / 3;
        const int left = col == 0 ? 0 : col == 1 ? static_cast<int>(std::lround(400 - w / 2.0)) : 800 - w;
        const int top = row == 0 ? 0 : row == 1 ? static_cast<int>(std::lround(300 - h / 2.0)) : 600 - h;
        EXPECT_EQ(cap->pos(), QPoint(left, top)) << "caption position " << pos;
        EXPECT_TRUE(cap->isVisible()) << "caption position " << pos;
    }
}

TEST_F(RendererTest, APictureDecodedAheadIsTheOneDisplayPictureShows) {
    // Fitted (decoded for the window's box) and at natural size.
    for (int pos : {0, 8}) {
        const std::string p = picture("ahead.png", solid(400, 300, k_green));
        seq().image_file = p;
        seq().display_position = pos;
        commit();
        r_->predecode_picture(1);
        QThreadPool::globalInstance()->waitForDone();
        // Changed after the early decode: showing green proves that
        // display_picture asked for the very file and box decoded ahead.
        picture("ahead.png", solid(400, 300, k_red));
        draw();
        EXPECT_TRUE(near(shot().pixelColor(400, 300), k_green)) << "position " << pos;
        draw();
        EXPECT_TRUE(near(shot().pixelColor(400, 300), k_red)) << "position " << pos;
    }
    // The placeholder show loads no file, so nothing is decoded ahead for it.
    r_->no_images_mode = 1;
    r_->predecode_picture(1);
    r_->no_images_mode = 0;
    draw();
    EXPECT_TRUE(near(shot().pixelColor(400, 300), k_red));
}

TEST_F(RendererTest, LargePictureInTheMiddleIsCentredNotClamped) {
    QImage big(1000, 800, QImage::Format_RGB32);
    big.fill(k_red);
    QPainter(&big).fillRect(500, 0, 500, 800, k_green);
    seq().image_file = picture("big.png", big);
    seq().display_position = 8;
    draw();
    EXPECT_EQ(r_->image_picture()->pos(), QPoint(-100, -100));
    const QImage img = shot();
    EXPECT_TRUE(near(img.pixelColor(397, 300), k_red));
    EXPECT_TRUE(near(img.pixelColor(402, 300), k_green));
    EXPECT_TRUE(near(img.pixelColor(0, 0), k_red));
    EXPECT_TRUE(near(img.pixelColor(799, 599), k_green));
}

TEST_F(RendererTest, TileAndTiledBackgroundsCoverTheWindow) {
    QImage tile(50, 50, QImage::Format_RGB32);
    tile.fill(k_green);
    QPainter(&tile).fillRect(0, 0, 25, 25, k_red);
    seq().image_file = picture("t.png", tile);
    seq().display_position = 3;
    draw();
    EXPECT_EQ(r_->image_picture()->geometry(), QRect(0, 0, 800, 600));
    QImage img = shot();
    EXPECT_TRUE(near(img.pixelColor(760, 560), k_red));
    EXPECT_TRUE(near(img.pixelColor(790, 590), k_green));

    // Stretched background: one 4x4 picture over the whole window.
    seq().image_file = picture("small.png", solid(10, 10, k_white));
    seq().display_position = 4;
    QImage quarters(4, 4, QImage::Format_RGB32);
    quarters.fill(k_blue);
    QPainter(&quarters).fillRect(0, 0, 2, 2, k_red);
    seq().background_file = picture("q.png", quarters);
    seq().background_placement = 1;
    draw();
    EXPECT_EQ(r_->image_background()->geometry(), QRect(0, 0, 800, 600));
    EXPECT_TRUE(r_->image_background()->isVisible());
    img = shot();
    EXPECT_TRUE(near(img.pixelColor(300, 200), k_red, 60));
    EXPECT_TRUE(near(img.pixelColor(500, 400), k_blue, 60));

    // ignore_background hides a set background, as an empty one does.
    lv::settings().ignore_background = 1;
    draw();
    EXPECT_FALSE(r_->image_background()->isVisible());
    img = shot();
    EXPECT_TRUE(near(img.pixelColor(500, 400), Qt::black));
}

TEST_F(RendererTest, TransparentColourShowsTheBackgroundThroughThatColourOnly) {
    QImage stripes(200, 100, QImage::Format_RGB32);
    stripes.fill(k_blue);
    QPainter(&stripes).fillRect(0, 0, 100, 100, k_red);
    seq().image_file = picture("s.png", stripes);
    seq().display_position = 8;
    seq().background_file = picture("bg.png", solid(32, 32, k_green));
    seq().transparent_color = 0x0000FF + 1;   // red, stored as colour + 1
    draw();
    QImage img = shot();
    EXPECT_TRUE(near(img.pixelColor(350, 300), k_green));   // the red half
    EXPECT_TRUE(near(img.pixelColor(450, 300), k_blue));

    seq().transparent_color = 0;   // none
    draw();
    img = shot();
    EXPECT_TRUE(near(img.pixelColor(350, 300), k_red));
    EXPECT_TRUE(near(img.pixelColor(450, 300), k_blue));
}

TEST_F(RendererTest, BorderFromThePaletteOnlyWhenSwitchedOn) {
    seq().image_file = picture("w.png", solid(200, 100, k_white));
    seq().display_position = 8;
    lv::border_record& b = lv::doc().border;
    b.border_off = 0;
    b.border_inner_color_1 = b.border_inner_color_2 = 12;
    b.border_outer_color_1 = b.border_outer_color_2 = 12;
    b.border_middle_color = 12;
    b.border_inner_style = b.border_outer_style = 1;
    b.border_inner_width = 2;
    b.border_outer_width = 2;
    b.border_middle_width = 1;
    draw();
    const lv::control_border& cb = r_->image_picture()->border();
    EXPECT_EQ(cb.inner_color_1, 0x0000FF);
    EXPECT_EQ(cb.total_width(), 5);

    auto red_ring = [&](const QImage& img) {
        // Count red pixels along a horizontal line through the picture's middle.
        int red = 0;
        for (int x = 0; x < 800; ++x)
            if (near(img.pixelColor(x, 300), k_red, 40)) ++red;
        return red;
    };
    QImage img = shot();
    EXPECT_EQ(red_ring(img), 10) << "five pixels on each side";

    b.border_off = 1;
    draw();
    EXPECT_EQ(r_->image_picture()->border().total_width(), 0);
    img = shot();
    EXPECT_EQ(red_ring(img), 0);
    EXPECT_TRUE(near(img.pixelColor(400, 300), k_white));
}

TEST_F(RendererTest, OutOfRangeBorderValuesAreClamped) {
    seq().image_file = picture("w.png", solid(50, 50, k_white));
    lv::border_record& b = lv::doc().border;
    b.border_off = 0;
    b.border_inner_color_1 = 40;
    b.border_inner_color_2 = -3;
    b.border_inner_style = 9;
    b.border_inner_width = 500;
    b.border_outer_style = -1;
    b.border_outer_width = 0;
    b.border_middle_width = -7;
    draw();
    const lv::control_border& cb = r_->image_picture()->border();
    EXPECT_EQ(cb.inner_color_1, 0xFFFFFF);
    EXPECT_EQ(cb.inner_color_2, 0x000000);
    EXPECT_EQ(cb.inner_style, 2);
    EXPECT_EQ(cb.inner_width, 30);
    EXPECT_EQ(cb.outer_style, 0);
    EXPECT_EQ(cb.outer_width, 1);
    EXPECT_EQ(cb.middle_width, 0);
    EXPECT_EQ(lv::palette16_color(12), 0x0000FF);
    EXPECT_EQ(lv::palette16_color(1), 0x800000);
}

TEST_F(RendererTest, CaptionSchemeDrawsTheSchemeColoursNotTheSolidOne) {
    seq().image_file = picture("k.png", solid(10, 10, Qt::black));
    seq().caption_text = "MMMM";
    seq().caption_font_size = 48;
    seq().caption_bold = 1;
    seq().caption_style = 0;
    seq().caption_position = 4;
    seq().caption_color = 0x00FF00;   // solid green
    seq().caption_color_scheme = 4;   // "Gradient Blue"
    draw();
    ASSERT_TRUE(r_->image_caption()->isVisible());
    const QRect g = r_->image_caption()->geometry();
    QImage img = shot();
    int bluish = 0, greenish = 0;
    for (int y = g.top(); y <= g.bottom(); ++y)
        for (int x = g.left(); x <= g.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.blue() > 150 && c.blue() > c.green() + 40) ++bluish;
            if (c.green() > 150 && c.green() > c.blue() + 60 && c.green() > c.red() + 60) ++greenish;
        }
    EXPECT_GT(bluish, 100);
    EXPECT_EQ(greenish, 0);

    // A scheme number without a row draws in the solid colour.
    seq().caption_color_scheme = 12;
    draw();
    img = shot();
    bluish = greenish = 0;
    for (int y = g.top(); y <= g.bottom(); ++y)
        for (int x = g.left(); x <= g.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.blue() > 150 && c.blue() > c.green() + 40) ++bluish;
            if (c.green() > 150 && c.green() > c.blue() + 60 && c.green() > c.red() + 60) ++greenish;
        }
    EXPECT_GT(greenish, 100);
    EXPECT_EQ(bluish, 0);
}

TEST_F(RendererTest, CaptionIsMeasuredThenAnchoredWithBlanksAround) {
    seq().image_file = picture("k.png", solid(10, 10, Qt::black));
    seq().caption_text = "Hello";
    seq().caption_color = 0xFFFFFF;
    seq().caption_position = 8;   // bottom right
    draw();
    lv::LabelControl* cap = r_->image_caption();
    EXPECT_EQ(cap->caption(), QStringLiteral("  Hello  "));
    EXPECT_GT(cap->width(), 20);
    EXPECT_EQ(cap->geometry().right(), 799);
    EXPECT_EQ(cap->geometry().bottom(), 599);

    seq().caption_position = 1;   // top middle
    draw();
    EXPECT_EQ(cap->y(), 0);
    EXPECT_LE(std::abs(cap->x() + cap->width() / 2 - 400), 1);

    // Outside 0-8 the caption stays where it was measured: left edge, two
    // pixel rows above the bottom.
    seq().caption_position = 11;
    draw();
    EXPECT_EQ(cap->pos(), QPoint(0, 598));

    // No text: hidden, and no log line.
    lv::settings().logging = 1;
    seq().caption_text.clear();
    draw();
    EXPECT_FALSE(cap->isVisible());
    EXPECT_TRUE(log_lines("Display Caption:").empty());
}

TEST_F(RendererTest, LoadErrorsGiveTheBannerTextAlongTheBottomAboveEverything) {
    const std::string missing = dir_.filePath("nothere.png").toStdString();
    seq().image_file = missing;
    seq().caption_text = "Caption";
    seq().caption_position = 7;
    draw();
    EXPECT_EQ(r_->load_error, 1);
    EXPECT_EQ(r_->load_error_text,
              missing + " - Could not be loaded!   Error# = -1  Cannot find the image file.");
    EXPECT_FALSE(r_->image_picture()->isVisible());
    EXPECT_TRUE(r_->image_caption()->isVisible());   // the caption is still drawn

    lv::LabelControl* b = r_->error_banner();
    ASSERT_TRUE(b->isVisible());
    EXPECT_EQ(b->caption(), QString::fromStdString(r_->load_error_text));
    EXPECT_EQ(b->x(), 0);
    EXPECT_EQ(b->width(), 800);
    EXPECT_EQ(b->geometry().bottom(), 599);
    EXPECT_GT(b->height(), 5);
    EXPECT_EQ(host_->childAt(5, 598), b);   // above the caption

    // A file of a kind no decoder knows.
    const QString odd = dir_.filePath("odd.qqq");
    {
        QFile f(odd);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a picture at all, just some words in a file");
    }
    seq().image_file = odd.toStdString();
    draw();
    EXPECT_EQ(r_->load_error_text,
              odd.toStdString() + " - Could not be loaded!   Error# = -2  The image file type is unknown.");

    // A failed background is replaced by the picture's later failure.
    seq().background_file = dir_.filePath("nobg.png").toStdString();
    seq().image_file = missing;
    draw();
    EXPECT_FALSE(r_->image_background()->isVisible());
    EXPECT_EQ(r_->load_error_text.substr(0, missing.size()), missing);

    seq().image_file = picture("p.png", solid(100, 100, k_green));
    draw();
    EXPECT_EQ(r_->load_error_text, seq().background_file + " - Could not be loaded!");

    EXPECT_EQ(lv::load_result_text(-7), "Cannot allocate memory for the image");
    EXPECT_EQ(lv::load_result_text(-3), "A memory error occured,");
    EXPECT_EQ(lv::load_result_text(-9), "");
}

TEST_F(RendererTest, NothingOfTheLastSequenceStaysUnderOneWithoutIt) {
    seq(1).background_file = lv::gradient_background;
    seq(1).image_file = dir_.filePath("missing.png").toStdString();
    seq(2).image_file = picture("p.png", solid(100, 100, k_green));
    seq(2).display_position = 8;
    draw(1);
    ASSERT_TRUE(r_->gradient()->isVisible());
    ASSERT_TRUE(r_->error_banner()->isVisible());
    EXPECT_EQ(r_->gradient()->geometry(), QRect(0, 0, 800, 600));

    draw(2);
    EXPECT_FALSE(r_->gradient()->isVisible());
    EXPECT_FALSE(r_->error_banner()->isVisible());
    const QImage img = shot();
    EXPECT_TRUE(near(img.pixelColor(10, 10), Qt::black));
    EXPECT_TRUE(near(img.pixelColor(10, 595), Qt::black));
    EXPECT_TRUE(near(img.pixelColor(400, 300), k_green));

    // A picture background after a gradient covers it and the gradient goes.
    seq(1).image_file = seq(2).image_file;
    draw(1);
    ASSERT_TRUE(r_->gradient()->isVisible());
    seq(2).background_file = picture("bg.png", solid(16, 16, k_blue));
    draw(2);
    EXPECT_FALSE(r_->gradient()->isVisible());
    EXPECT_TRUE(near(shot().pixelColor(10, 10), k_blue));

    // A picture that fails does not leave the previous one under its banner.
    seq(1).background_file.clear();
    seq(1).image_file = dir_.filePath("missing.png").toStdString();
    draw(1);
    EXPECT_FALSE(r_->image_picture()->isVisible());
    EXPECT_TRUE(near(shot().pixelColor(400, 300), Qt::black));
}

TEST_F(RendererTest, StackingOrderFollowsTheDrawingOrder) {
    seq().background_file = picture("bg.png", solid(16, 16, k_blue));
    seq().image_file = picture("p.png", solid(800, 600, k_green));
    seq().display_position = 4;
    seq().caption_text = "Top";
    seq().caption_position = 6;
    draw();
    EXPECT_EQ(host_->childAt(400, 300), r_->image_picture());
    const QPoint cap = r_->image_caption()->geometry().center();
    EXPECT_EQ(host_->childAt(cap), r_->image_caption());
    r_->load_error_text = "x";
    r_->display_error_banner();
    settle();
    EXPECT_EQ(host_->childAt(cap.x(), 599), r_->error_banner());
}

TEST_F(RendererTest, EffectRuleAndLogLines) {
    lv::settings().logging = 1;
    const std::string bg = picture("bg.png", solid(16, 16, k_blue));
    const std::string p = picture("p.png", solid(100, 100, k_green));
    seq().background_file = bg;
    seq().background_effect = 5;   // effect number 4
    seq().background_speed = 20;
    seq().background_grain = 3;
    seq().image_file = p;
    seq().display_effect = 0;      // random
    seq().effect_speed = 99;
    seq().effect_grain = 99;
    seq().caption_text = "c";
    seq().caption_effect = 200;    // no such row
    seq().caption_speed = 9;
    seq().caption_grain = 9;
    lv::doc().random_effect_speed = 2;        // fast: halves 15 to 7.5
    lv::set_random_source([] { return 0.0; });   // row 2, "Left To Right"
    draw();

    EXPECT_EQ(log_lines("Display Background:"), std::vector<std::string>{"Display Background: " + bg + " 4 3 20"});
    EXPECT_EQ(log_lines("Display Picture:"), std::vector<std::string>{"Display Picture: " + p + " 1 4 7.5"});
    ASSERT_EQ(log_lines("Display Caption:").size(), 1u);
    EXPECT_EQ(log_lines("Display Caption:")[0].substr(0, 18), "Display Caption: 0");
    // After showing, every element is left with effect number 0.
    EXPECT_EQ(r_->image_background()->effect_number(), 0);
    EXPECT_EQ(r_->image_picture()->effect_number(), 0);
    EXPECT_EQ(r_->image_caption()->effect_number(), 0);

    // "No Effect" keeps the speed and grain the control already had.
    r_->image_picture()->set_effect(0, 33, 7);
    seq().display_effect = 1;
    draw();
    EXPECT_EQ(log_lines("Display Picture:").back(), "Display Picture: " + p + " 0 7 33");

    // A negative row shows like "No Effect" too.
    seq().display_effect = -4;
    draw();
    EXPECT_EQ(log_lines("Display Picture:").back(), "Display Picture: " + p + " 0 7 33");

    // The power saver overrides every row.
    lv::run().power_saver_active = 1;
    seq().display_effect = 0;
    seq().background_effect = 5;
    draw();
    EXPECT_EQ(log_lines("Display Picture:").back(), "Display Picture: " + p + " 0 1 1");
    EXPECT_EQ(log_lines("Display Background:").back(), "Display Background: " + bg + " 0 1 1");

    // Gradient: its own marker line.
    lv::run().power_saver_active = 0;
    seq().background_file = lv::gradient_background;
    draw();
    EXPECT_EQ(log_lines("Display Gradient:").size(), 1u);

    // A failed picture writes no line; the error banner writes its marker.
    const auto before = log_lines("Display Picture:").size();
    seq().image_file = dir_.filePath("gone.png").toStdString();
    draw();
    EXPECT_EQ(log_lines("Display Picture:").size(), before);
    EXPECT_EQ(log_lines("Display Error Banner:").size(), 1u);
}

TEST_F(RendererTest, TransitionRunsWithTheTableRowsValues) {
    seq().image_file = picture("p.png", solid(100, 100, k_green));
    seq().display_effect = 2;   // "Left To Right", effect number 1
    seq().effect_speed = 200;
    seq().effect_grain = 6;
    commit();
    r_->image_index = 1;
    r_->updates_off();
    r_->display_background();
    lv::PictureControl* pic = r_->image_picture();
    pic->set_effect(0, 1, 1);
    r_->display_picture();
    EXPECT_TRUE(pic->transition_running());
    EXPECT_EQ(pic->effect_number(), 0);   // set back after showing; the run goes on
    EXPECT_EQ(pic->effect_speed(), 200);
    EXPECT_EQ(pic->effect_grain(), 6);
    settle();
}

TEST_F(RendererTest, GradientUsesPaletteColoursOneToEight) {
    seq().background_file = lv::gradient_background;
    seq().image_file = picture("p.png", solid(10, 10, Qt::black));
    seq().display_position = 4;
    // The largest draws still fall inside the table.
    lv::set_random_source([] { return 0.9999; });
    draw();
    EXPECT_TRUE(r_->gradient()->isVisible());
    EXPECT_EQ(r_->gradient()->geometry(), QRect(0, 0, 800, 600));
    const QImage img = shot();
    // Palette colour 8 (grey) somewhere on the window.
    bool any = false;
    for (int y = 20; y < 600 && !any; y += 20)
        for (int x = 20; x < 800 && !any; x += 20) any = !near(img.pixelColor(x, y), Qt::black, 8);
    EXPECT_TRUE(any);
}

TEST_F(RendererTest, SequenceIndexOutsideTheDocumentDrawsNothing) {
    seq().image_file = picture("p.png", solid(10, 10, k_green));
    commit();
    r_->image_index = 7;
    r_->updates_off();
    r_->display_background();
    r_->display_picture();
    r_->display_caption();
    EXPECT_EQ(r_->load_error, 0);
    EXPECT_FALSE(r_->image_picture()->isVisible());
}

TEST_F(RendererTest, PlaceholderShowUsesTheHeldPicture) {
    seq().image_file = "test.jpg";
    seq().display_position = 8;
    r_->no_images_mode = 1;
    r_->no_images_picture = solid(100, 60, k_red);
    draw();
    EXPECT_EQ(r_->load_error, 0);
    EXPECT_EQ(r_->image_picture()->pos(), QPoint(350, 270));
    EXPECT_TRUE(near(shot().pixelColor(400, 300), k_red));
}

TEST_F(RendererTest, ResetForegroundEmptiesThePicture) {
    seq().image_file = picture("p.png", solid(800, 600, k_green));
    seq().display_position = 4;
    draw();
    ASSERT_TRUE(near(shot().pixelColor(400, 300), k_green));
    r_->updates_off();
    r_->reset_foreground();
    EXPECT_TRUE(r_->image_picture()->isVisible());
    EXPECT_TRUE(r_->image_picture()->updates());
    EXPECT_TRUE(r_->image_picture()->file_name().isEmpty());
    EXPECT_TRUE(near(shot().pixelColor(400, 300), Qt::black));
}

// Makes a clip with ffmpeg; "" when ffmpeg is missing or fails.
std::string make_clip(const QTemporaryDir& dir, const QString& name, const QStringList& inputs) {
    const QString out = dir.filePath(name);
    QStringList args{"-y", "-loglevel", "error"};
    args << inputs << out;
    QProcess p;
    p.start("ffmpeg", args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return "";
    return out.toStdString();
}

TEST_F(RendererTest, VideoIsOpenedPlacedAndPlayed) {
    const std::string clip = make_clip(dir_, "clip.avi",
        {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "3", "-c:v", "mjpeg"});
    if (clip.empty()) GTEST_SKIP() << "ffmpeg cannot make a test clip";
    lv::settings().logging = 1;
    lv::settings().audio_on = 0;
    seq().image_file = clip;
    seq().display_position = 1;
    draw();
    lv::VideoControl* v = r_->image_video();
    ASSERT_EQ(r_->load_error, 0) << r_->load_error_text;
    EXPECT_EQ(v->geometry(), QRect(100, 75, 600, 450));
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(v->status(), QStringLiteral("PLAYING"));
    EXPECT_TRUE(v->muted());
    EXPECT_EQ(v->effect_number(), 0);
    ASSERT_EQ(log_lines("Display Video:").size(), 1u);
    EXPECT_EQ(log_lines("Display Video:")[0].substr(0, 15 + clip.size() + 2), "Display Video: " + clip + " 0");

    r_->video_off();
    EXPECT_NE(v->status(), QStringLiteral("PLAYING"));

    // "Tile To Screen" fits at 100 percent; the anchors keep the clip's size.
    lv::settings().audio_on = 1;
    seq().display_position = 3;
    draw();
    EXPECT_EQ(v->geometry(), QRect(0, 0, 800, 600));
    EXPECT_FALSE(v->muted());
    r_->video_off();
    seq().display_position = 12;
    draw();
    EXPECT_EQ(v->geometry(), QRect(480, 360, 320, 240));
    r_->video_off();

    // The next sequence hides the video at once.
    r_->updates_off();
    EXPECT_FALSE(v->isVisible());
}

TEST_F(RendererTest, VideoThatCannotBeOpenedSetsTheErrorText) {
    const std::string missing = dir_.filePath("none.avi").toStdString();
    seq().image_file = missing;
    draw();
    EXPECT_EQ(r_->load_error, 1);
    EXPECT_EQ(r_->load_error_text, missing + " - Could not be loaded!");
    EXPECT_FALSE(r_->image_video()->isVisible());
    EXPECT_TRUE(r_->error_banner()->isVisible());
}

// A clip of half a second takes the place of the picture before it, with no
// error banner.
TEST_F(RendererTest, HalfSecondClipReplacesThePictureBefore) {
    const std::string clip = make_clip(dir_, "short.mpg",
        {"-f", "lavfi", "-i", "color=c=blue:size=320x240:rate=25", "-t", "0.5", "-c:v", "mpeg1video", "-f", "mpeg"});
    if (clip.empty()) GTEST_SKIP() << "ffmpeg cannot make a test clip";
    seq().image_file = picture("red.png", solid(800, 600, Qt::red));
    draw();
    ASSERT_TRUE(near(shot().pixelColor(400, 300), Qt::red));
    seq().image_file = clip;
    seq().display_position = 3;
    draw();
    EXPECT_EQ(r_->load_error, 0) << r_->load_error_text;
    EXPECT_FALSE(r_->error_banner()->isVisible());
    EXPECT_TRUE(near(shot().pixelColor(400, 300), Qt::blue, 60));
    r_->video_off();
}

TEST(FitRect, FitsScaleAndCentreAndZeroSizesTakeTheWholeWindow) {
    EXPECT_EQ(lv::fit_rect(800, 600, 400, 300, 100), QRect(0, 0, 800, 600));
    EXPECT_EQ(lv::fit_rect(800, 600, 400, 300, 75), QRect(100, 75, 600, 450));
    EXPECT_EQ(lv::fit_rect(800, 600, 400, 300, 50), QRect(200, 150, 400, 300));
    EXPECT_EQ(lv::fit_rect(800, 600, 500, 1000, 75), QRect(288, 75, 225, 450));   // portrait
    EXPECT_EQ(lv::fit_rect(800, 600, 0, 300, 100), QRect(0, 0, 800, 600));
    EXPECT_EQ(lv::fit_rect(800, 600, 400, 0, 50), QRect(0, 0, 800, 600));
    EXPECT_EQ(lv::fit_rect(800, 600, -5, -5, 75), QRect(0, 0, 800, 600));
}

}  // namespace
