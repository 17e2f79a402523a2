// The border dialog: defaults versus current values, what each way of
// closing stores, the scroll bars' ranges and the live sample.
#include "custom_editor/FrmBorder.h"

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"
#include "platform/controls/effect_control.h"
#include "player/modal_watch.h"
#include "player/renderer.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

using lv::FrmBorder;

std::array<int, 10> values_of(const lv::border_record& b) {
    return {b.border_inner_color_1, b.border_inner_color_2, b.border_inner_style, b.border_inner_width,
            b.border_outer_color_1, b.border_outer_color_2, b.border_outer_style, b.border_outer_width,
            b.border_middle_color,  b.border_middle_width};
}

void set_values(lv::border_record& b, const std::array<int, 10>& v) {
    b.border_inner_color_1 = v[0];
    b.border_inner_color_2 = v[1];
    b.border_inner_style = v[2];
    b.border_inner_width = v[3];
    b.border_outer_color_1 = v[4];
    b.border_outer_color_2 = v[5];
    b.border_outer_style = v[6];
    b.border_outer_width = v[7];
    b.border_middle_color = v[8];
    b.border_middle_width = v[9];
}

std::array<int, 10> bar_values(const FrmBorder& dlg) {
    std::array<int, 10> v{};
    for (int i = 0; i < 10; ++i) v[static_cast<std::size_t>(i)] = dlg.HScroll(i + 1)->value();
    return v;
}

const std::array<int, 10> k_defaults{8, 15, 1, 3, 8, 15, 2, 4, 1, 2};
const std::array<int, 10> k_other{12, 10, 2, 7, 9, 14, 1, 5, 13, 0};

// What the sample control holds must be what the bars say.
void expect_sample_matches(const FrmBorder& dlg, const std::array<int, 10>& v) {
    const lv::control_border& b = dlg.FXImage1->border();
    EXPECT_TRUE(b.on);
    EXPECT_EQ(b.inner_color_1, lv::palette16_color(v[0]));
    EXPECT_EQ(b.inner_color_2, lv::palette16_color(v[1]));
    EXPECT_EQ(b.inner_style, v[2]);
    EXPECT_EQ(b.inner_width, v[3]);
    EXPECT_EQ(b.outer_color_1, lv::palette16_color(v[4]));
    EXPECT_EQ(b.outer_color_2, lv::palette16_color(v[5]));
    EXPECT_EQ(b.outer_style, v[6]);
    EXPECT_EQ(b.outer_width, v[7]);
    EXPECT_EQ(b.middle_color, lv::palette16_color(v[8]));
    EXPECT_EQ(b.middle_width, v[9]);
}

void press_escape(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

class BorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::program() = lv::program_state{};
        lv::doc() = lv::slideshow_document{};
    }
    void TearDown() override { lv::hooks().yield_events = nullptr; }

    // Shows the dialog and waits for its first activation to fill it.
    std::unique_ptr<FrmBorder> open() {
        auto dlg = std::make_unique<FrmBorder>();
        dlg->show();
        for (int i = 0; i < 200 && !dlg->FXImage1->isVisible(); ++i) lvtest::spin(5);
        EXPECT_TRUE(dlg->FXImage1->isVisible());
        return dlg;
    }
};

TEST_F(BorderTest, FormShowsItsCaptionsRangesAndTooltips) {
    FrmBorder dlg;
    EXPECT_EQ(dlg.windowTitle(), "Add A Border To Your SlideShow");
    EXPECT_EQ(dlg.size(), QSize(598, 451));   // 8970 x 6765 twips at 15 twips a pixel
    EXPECT_EQ(dlg.Check1->text(), "Do &not display border");
    EXPECT_EQ(dlg.Check1->toolTip(),
              " Place a check here if you do not want to display a border around your images ");
    EXPECT_EQ(dlg.Command1->toolTip(), " Restore nomal border defaults ");
    EXPECT_EQ(dlg.Command2->text(), "&Save And Exit");
    EXPECT_EQ(dlg.Command3->toolTip(), " Exit without updating the border properties ");
    EXPECT_EQ(dlg.Label10->text(), "Middle Width");
    const int lo[10] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
    const int hi[10] = {15, 15, 2, 30, 15, 15, 2, 30, 15, 30};
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(dlg.HScroll(n)->minimum(), lo[n - 1]) << n;
        EXPECT_EQ(dlg.HScroll(n)->maximum(), hi[n - 1]) << n;
    }
    // Middle width can be 0; the inner and outer widths cannot go below 1.
    dlg.HScroll10->setValue(0);
    dlg.HScroll4->setValue(0);
    dlg.HScroll8->setValue(-3);
    EXPECT_EQ(dlg.HScroll10->value(), 0);
    EXPECT_EQ(dlg.HScroll4->value(), 1);
    EXPECT_EQ(dlg.HScroll8->value(), 1);
    // Each bar sits under its own label.
    const QLabel* labels[10] = {dlg.Label1, dlg.Label2, dlg.Label3, dlg.Label4, dlg.Label5,
                                dlg.Label6, dlg.Label7, dlg.Label8, dlg.Label9, dlg.Label10};
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(dlg.HScroll(n)->x(), labels[n - 1]->x());
        EXPECT_GE(dlg.HScroll(n)->y(), labels[n - 1]->geometry().bottom());
        EXPECT_TRUE(dlg.rect().contains(dlg.HScroll(n)->geometry()));
    }
    // The rows, the sample and the check fill the height down to the
    // buttons: no wide empty band above these, nothing touching them.
    const int check_bottom = dlg.Check1->geometry().bottom();
    EXPECT_GE(dlg.Check1->y(), dlg.FXImage1->geometry().bottom());
    EXPECT_GE(dlg.Command1->y() - check_bottom, 8);
    EXPECT_LE(dlg.Command1->y() - check_bottom, 48);
}

TEST_F(BorderTest, NewSlideshowOpensOnTheDefaultsThenOnWhatWasSaved) {
    // A loaded file's values are not shown until the first save after a reset.
    set_values(lv::doc().border, k_other);
    lv::doc().border_use_defaults = 1;
    {
        auto dlg = open();
        EXPECT_EQ(bar_values(*dlg), k_defaults);
        expect_sample_matches(*dlg, k_defaults);
        dlg->Command3->click();
    }
    EXPECT_EQ(values_of(lv::doc().border), k_other);
    EXPECT_EQ(lv::doc().border_use_defaults, 1);

    // Save writes the bars, as set by the user, and ends the defaults.
    lvtest::when_modal<FrmBorder>([](FrmBorder* dlg) {
        lvtest::spin(30);
        for (int n = 1; n <= 10; ++n) dlg->HScroll(n)->setValue(k_other[static_cast<std::size_t>(n - 1)]);
        dlg->Command2->click();
    });
    {
        FrmBorder dlg;
        EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    }
    EXPECT_EQ(values_of(lv::doc().border), k_other);
    EXPECT_EQ(lv::doc().border_use_defaults, 0);

    // From now on it opens on the current values.
    auto dlg = open();
    EXPECT_EQ(bar_values(*dlg), k_other);
    expect_sample_matches(*dlg, k_other);
}

TEST_F(BorderTest, CancelEscapeAndCloseBoxStoreOnlyTheCheckBox) {
    for (int way = 0; way < 3; ++way) {
        set_values(lv::doc().border, k_other);
        lv::doc().border.border_off = 0;
        lv::doc().border_use_defaults = 0;
        lvtest::when_modal<FrmBorder>([way](FrmBorder* dlg) {
            lvtest::spin(30);
            dlg->Command1->click();   // defaults on the bars ...
            dlg->HScroll2->setValue(3);
            dlg->Check1->setChecked(true);
            if (way == 0) dlg->Command3->click();
            else if (way == 1) press_escape(dlg);
            else dlg->close();
        });
        FrmBorder dlg;
        EXPECT_EQ(dlg.exec(), QDialog::Rejected) << way;
        EXPECT_EQ(lv::doc().border.border_off, 1) << way;   // ... but only the check box is kept
        EXPECT_EQ(values_of(lv::doc().border), k_other) << way;
        EXPECT_EQ(lv::doc().border_use_defaults, 0) << way;
    }
    // Unticking and cancelling turns the border on again.
    auto dlg = open();
    EXPECT_TRUE(dlg->Check1->isChecked());
    dlg->Check1->setChecked(false);
    dlg->Command3_Click();
    EXPECT_EQ(lv::doc().border.border_off, 0);
}

TEST_F(BorderTest, SaveStoresTheCheckBoxAndTheTenValues) {
    lv::doc().border_use_defaults = 0;
    set_values(lv::doc().border, k_defaults);
    lv::doc().border.border_off = 1;
    auto dlg = open();
    EXPECT_TRUE(dlg->Check1->isChecked());
    dlg->Check1->setChecked(false);
    for (int n = 1; n <= 10; ++n) dlg->HScroll(n)->setValue(k_other[static_cast<std::size_t>(n - 1)]);
    dlg->Command2_Click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(values_of(lv::doc().border), k_other);
    EXPECT_EQ(lv::doc().border.border_off, 0);
}

TEST_F(BorderTest, DefaultsResetBarsAndSampleButNotTheCheckBox) {
    lv::doc().border_use_defaults = 0;
    set_values(lv::doc().border, k_other);
    lv::doc().border.border_off = 1;
    auto dlg = open();
    EXPECT_EQ(bar_values(*dlg), k_other);
    dlg->Command1->click();
    EXPECT_EQ(bar_values(*dlg), k_defaults);
    expect_sample_matches(*dlg, k_defaults);
    EXPECT_TRUE(dlg->Check1->isChecked());
    EXPECT_EQ(values_of(lv::doc().border), k_other);   // nothing stored yet
}

TEST_F(BorderTest, ValuesOutsideTheRangesAreTakenIntoThem) {
    lv::doc().border_use_defaults = 0;
    const std::array<int, 10> wild{-4, 99, 7, 0, 16, 15, -1, 45, 3, 31};
    const std::array<int, 10> taken{0, 15, 2, 1, 15, 15, 0, 30, 3, 30};
    set_values(lv::doc().border, wild);
    {
        auto dlg = open();
        EXPECT_EQ(bar_values(*dlg), taken);
        expect_sample_matches(*dlg, taken);
        dlg->Command3_Click();
    }
    EXPECT_EQ(values_of(lv::doc().border), wild);   // cancelled: left as they were
    FrmBorder dlg;
    dlg.show();
    dlg.Form_Activate();
    dlg.Command2_Click();
    EXPECT_EQ(values_of(lv::doc().border), taken);
}

TEST_F(BorderTest, SavingBeforeTheBarsAreFilledKeepsTheValues) {
    lv::doc().border_use_defaults = 0;
    set_values(lv::doc().border, k_other);
    FrmBorder dlg;   // never shown, so never activated
    dlg.Command2_Click();
    EXPECT_EQ(values_of(lv::doc().border), k_other);
}

TEST_F(BorderTest, SampleDrawsTheBorderAndWalksThePalette) {
    lv::doc().border_use_defaults = 0;
    // Outer band raised (first colour on the top and left edges), 6 pixels.
    set_values(lv::doc().border, {0, 0, 0, 1, 0, 0, 1, 6, 0, 0});
    lv::doc().border.border_off = 1;   // the sample shows the border all the same
    auto dlg = open();
    const QRect s = dlg->FXImage1->geometry();
    const QPoint left_edge = s.topLeft() + QPoint(2, s.height() / 2);
    for (int c = 0; c <= 15; ++c) {
        dlg->HScroll5->setValue(c);
        lvtest::spin(5);
        const QImage img = dlg->grab().toImage();
        EXPECT_EQ(img.pixelColor(left_edge), lv::color_from_bgr(lv::palette16_color(c))) << c;
    }
    // A middle band in bright green (palette 10), 5 pixels inside the outer band.
    dlg->HScroll9->setValue(10);
    dlg->HScroll10->setValue(5);
    lvtest::spin(5);
    QImage img = dlg->grab().toImage();
    EXPECT_EQ(img.pixelColor(left_edge + QPoint(8, 0)), QColor(0, 255, 0));
    // Middle width 0: the picture starts right inside the outer band.
    dlg->HScroll10->setValue(0);
    lvtest::spin(5);
    img = dlg->grab().toImage();
    EXPECT_NE(img.pixelColor(left_edge + QPoint(8, 0)), QColor(0, 255, 0));
}

}  // namespace
