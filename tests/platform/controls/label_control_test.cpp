// The label control: it sizes itself to its caption at once, draws the text
// in its colour, gradient and relief, and paints the full-window gradients
// and the three button looks.
#include "platform/controls/label_control.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <set>

namespace lv {
namespace {

int count_pixels(const QImage& img, const std::function<bool(QRgb)>& match) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += match(img.pixel(x, y)) ? 1 : 0;
    return n;
}

bool reddish(QRgb c) { return qAlpha(c) > 200 && qRed(c) > 180 && qGreen(c) < 60 && qBlue(c) < 60; }
bool bluish(QRgb c) { return qAlpha(c) > 200 && qBlue(c) > 180 && qGreen(c) < 60 && qRed(c) < 60; }

QByteArray digest(const QImage& img) {
    return QCryptographicHash::hash(QByteArrayView(img.constBits(), img.sizeInBytes()), QCryptographicHash::Md5);
}

class LabelControlTest : public ::testing::Test {
protected:
    LabelControl label;
};

TEST_F(LabelControlTest, SizeFollowsTheCaptionAtOnce) {
    label.set_font(QStringLiteral("DejaVu Sans"), 20, false, false);
    label.set_caption(QStringLiteral("  Hi  "));
    const QSize small = label.size();
    EXPECT_GT(small.width(), 10);
    EXPECT_GT(small.height(), 10);
    EXPECT_EQ(small, label.caption_size());
    label.set_caption(QStringLiteral("  A much longer caption  "));
    EXPECT_GT(label.width(), small.width() * 2);
    const int plain_height = label.height();
    label.set_font(QStringLiteral("DejaVu Sans"), 40, false, false);
    EXPECT_GT(label.height(), plain_height * 3 / 2);
    const QSize plain = label.size();
    label.set_relief(6, 5);   // shadow: five pixels more to the right and below
    EXPECT_EQ(label.size(), plain + QSize(5, 5));
    label.set_relief(0, 1);
    label.set_caption(QStringLiteral("one\ntwo"));
    EXPECT_GT(label.height(), plain.height() * 3 / 2);   // two lines

    label.set_auto_size(false);
    label.resize(300, 40);
    label.set_caption(QStringLiteral("x"));
    EXPECT_EQ(label.size(), QSize(300, 40));
}

TEST_F(LabelControlTest, TextColourAndGradientFill) {
    label.set_font(QStringLiteral("DejaVu Sans"), 48, true, false);
    label.set_caption(QStringLiteral("MW"));
    label.set_text_color(0x0000FF);   // red, 0x00BBGGRR
    QImage face = label.render_face();
    EXPECT_GT(count_pixels(face, reddish), 200);
    EXPECT_EQ(count_pixels(face, bluish), 0);
    EXPECT_EQ(qAlpha(face.pixel(0, 0)), 0);   // transparent around the text

    // Fill mode 2: red at the top of the text, blue at its bottom.
    label.set_gradient_kind(2);
    label.set_gradient_colors(0x0000FF, 0xFF0000);
    label.set_fill_mode(2);
    face = label.render_face();
    const QImage top = face.copy(0, 0, face.width(), face.height() / 2);
    const QImage bottom = face.copy(0, face.height() / 2, face.width(), face.height() - face.height() / 2);
    EXPECT_GT(count_pixels(top, reddish), count_pixels(top, bluish));
    EXPECT_GT(count_pixels(bottom, bluish), count_pixels(bottom, reddish));

    label.set_fill_mode(0);
    label.set_transparent_background(false);
    label.set_back_color(0x00FF00);
    EXPECT_EQ(label.render_face().pixel(0, 0), qRgb(0, 255, 0));
}

TEST_F(LabelControlTest, ReliefStylesDrawDifferently) {
    label.set_font(QStringLiteral("DejaVu Sans"), 36, true, false);
    label.set_caption(QStringLiteral("Ag"));
    label.set_text_color(0x00FFFF);
    std::set<QByteArray> looks;
    for (int style : {0, 1, 2, 3, 4, 6, 7}) {
        label.set_relief(style, 4);
        looks.insert(digest(label.render_face()));
    }
    EXPECT_EQ(looks.size(), 7u);
    // The drop shadow is black, below and right of the text.
    label.set_relief(6, 4);
    const QImage face = label.render_face();
    const int dark = count_pixels(face, [](QRgb c) { return qAlpha(c) == 255 && qRed(c) < 30 && qGreen(c) < 30; });
    EXPECT_GT(dark, 50);
}

TEST_F(LabelControlTest, TwentyBackgroundGradientsFromTheColourToBlack) {
    label.set_auto_size(false);
    label.resize(160, 120);
    std::set<QByteArray> styles;
    for (int style = 0; style < 20; ++style) {
        label.set_background_gradient(0x0000FF, style, 200);
        const QImage face = label.render_face();
        styles.insert(digest(face));
        EXPECT_EQ(qAlpha(face.pixel(80, 60)), 255);
        for (int y = 0; y < 120; y += 11)
            for (int x = 0; x < 160; x += 13) {
                const QRgb c = face.pixel(x, y);
                ASSERT_EQ(qGreen(c), 0);
                ASSERT_EQ(qBlue(c), 0);
            }
    }
    EXPECT_EQ(styles.size(), 20u);
    label.set_background_gradient(0x0000FF, 0, 200);   // top down
    QImage face = label.render_face();
    EXPECT_EQ(face.pixel(80, 0), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(80, 119), qRgb(0, 0, 0));
    label.set_background_gradient(0xFF0000, 2, 200);   // left to right, blue
    face = label.render_face();
    EXPECT_EQ(face.pixel(0, 60), qRgb(0, 0, 255));
    EXPECT_EQ(face.pixel(159, 60), qRgb(0, 0, 0));
    label.clear_background_gradient();
    EXPECT_EQ(qAlpha(label.render_face().pixel(80, 60)), 0);
}

TEST_F(LabelControlTest, ThreeButtonLooks) {
    label.set_font(QStringLiteral("DejaVu Sans"), 18, false, false);
    label.set_caption(QStringLiteral(" Options "));
    label.set_text_color(0xFFFFFF);
    const QSize size = label.size();
    std::set<QByteArray> looks;
    for (int look : {0, 1, 2, 0}) {
        label.set_button_look(look);
        EXPECT_EQ(label.button_look(), look);
        EXPECT_EQ(label.size(), size);   // the look never moves the button
        looks.insert(digest(label.render_face()));
    }
    EXPECT_EQ(looks.size(), 3u);
}

// Exposes the face of a part of the label, as its parent shows it.
struct PartLabel : LabelControl {
    using LabelControl::LabelControl;
    using LabelControl::render_face_area;
    using EffectControl::current_face;
};

QString repeated(const QString& unit, int n) {
    QString s;
    for (int i = 0; i < n; ++i) s += unit;
    return s;
}

TEST(LongCaption, MeasuresLikeAWholeLineWithoutAJumpAtTheLongLineLimit) {
    LabelControl label;
    label.set_font(QStringLiteral("DejaVu Sans"), 20, false, false);
    label.set_caption(QStringLiteral("W"));
    const int one = label.width();
    // Short lines are measured whole, long ones in pieces: wherever the
    // limit lies, one character more widens the label by about one character.
    int before = 0;
    for (int n = 100; n <= 1100; n += n < 400 ? 1 : 50) {
        label.set_caption(repeated(QStringLiteral("W"), n));
        if (before > 0 && n <= 400) {
            ASSERT_NEAR(label.width() - before, one, 3) << n << " characters";
        }
        EXPECT_NEAR(label.width(), n * one, n * one / 50) << n << " characters";
        before = label.width();
    }
    // A caption far longer than any screen.
    label.set_caption(repeated(QStringLiteral("Wi "), 200000));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(20);
    const double expected = QFontMetricsF(font).horizontalAdvance(QStringLiteral("Wi ")) * 200000;
    EXPECT_NEAR(double(label.width()), expected, expected * 0.005);
    EXPECT_EQ(label.height(), [] {
        LabelControl l;
        l.set_font(QStringLiteral("DejaVu Sans"), 20, false, false);
        l.set_caption(QStringLiteral("W"));
        return l.height();
    }());
}

TEST(LongCaption, OnlyThePartInsideTheParentIsRendered) {
    QWidget parent;
    parent.resize(400, 90);
    PartLabel label(&parent);
    auto set_look = [](LabelControl& l) {
        l.set_font(QStringLiteral("DejaVu Sans"), 20, true, true);
        l.set_relief(7, 4);   // outline and shadow reach beyond the glyphs
        l.set_text_color(0x00FFFF);
    };
    set_look(label);
    const QString caption = QStringLiteral("  ") + repeated(QStringLiteral("Lumivane shows a long caption "), 150) +
                            QStringLiteral("  ");
    label.set_caption(caption);
    ASSERT_GT(label.width(), 40000);
    // Centred as "Bottom Justify Middle" places it: far out on both sides.
    label.move(200 - label.width() / 2, 90 - label.height());
    label.show();
    const QRect area = label.face_rect();
    EXPECT_EQ(area, QRect(label.width() / 2 - 200, 0, 400, label.height()));
    const QImage part = label.current_face();
    EXPECT_EQ(part.size(), area.size());
    EXPECT_GT(count_pixels(part, [](QRgb c) { return qAlpha(c) > 200 && qRed(c) > 180 && qGreen(c) > 180; }), 500);
    // Moved so that its left end shows: the cached part follows, pixel for
    // pixel what a caption of only its first words shows there.
    label.move(0, 0);
    EXPECT_EQ(label.current_face().size(), QSize(400, label.height()));
    PartLabel start;
    set_look(start);
    start.set_caption(caption.left(120));
    ASSERT_GT(start.width(), 400);
    EXPECT_EQ(label.current_face(), start.render_face().copy(QRect(0, 0, 400, label.height())));
    // Wholly outside its parent it renders nothing at all.
    label.move(-label.width() - 10, 0);
    EXPECT_TRUE(label.face_rect().isEmpty());
    EXPECT_TRUE(label.current_face().isNull());
}

TEST(LongCaption, AShortCaptionsPartIsTheSameAsItsWholeFaceWithGradientText) {
    PartLabel label;
    label.set_font(QStringLiteral("DejaVu Sans"), 36, true, false);
    label.set_caption(QStringLiteral("  Gradient caption  "));
    label.set_gradient_kind(2);
    label.set_gradient_colors(0x0000FF, 0xFF0000);
    label.set_fill_mode(2);
    label.set_relief(2, 3);
    const QImage whole = label.render_face();
    const QRect part(label.width() / 3, label.height() / 4, label.width() / 3, label.height() / 2);
    EXPECT_EQ(label.render_face_area(part), whole.copy(part));
    // The full-window gradient background in parts, too.
    label.set_auto_size(false);
    label.resize(160, 120);
    label.set_background_gradient(0x00FF00, 12, 200);
    const QRect corner(100, 70, 60, 50);
    EXPECT_EQ(label.render_face_area(corner), label.render_face().copy(corner));
}

}  // namespace
}  // namespace lv
