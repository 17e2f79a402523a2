// The caption dialog: what it loads, what it hands back on each way of
// closing, the font and colour dialogs, and the look and place of its sample.
#include "custom_editor/frmCaptionSettings.h"

#include "core/caption_schemes.h"
#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"
#include "platform/controls/label_control.h"
#include "player/modal_watch.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <memory>

namespace {

using lv::frmCaptionSettings;

lv::caption_settings_record odd_settings() {
    lv::caption_settings_record r;
    r.caption_settings_bold = 0;
    r.caption_settings_italic = 1;
    r.caption_settings_font_size = 37;
    r.caption_settings_font_name = "Nonexistent Serif";
    r.caption_settings_style = 3;
    r.caption_settings_shadow_size = 9;
    r.caption_settings_color = 0x123456;
    r.caption_settings_color_scheme = 6;
    return r;
}

void expect_same(const lv::caption_settings_record& a, const lv::caption_settings_record& b) {
    EXPECT_EQ(a.caption_settings_bold, b.caption_settings_bold);
    EXPECT_EQ(a.caption_settings_italic, b.caption_settings_italic);
    EXPECT_EQ(a.caption_settings_font_size, b.caption_settings_font_size);
    EXPECT_EQ(a.caption_settings_font_name, b.caption_settings_font_name);
    EXPECT_EQ(a.caption_settings_style, b.caption_settings_style);
    EXPECT_EQ(a.caption_settings_shadow_size, b.caption_settings_shadow_size);
    EXPECT_EQ(a.caption_settings_color, b.caption_settings_color);
    EXPECT_EQ(a.caption_settings_color_scheme, b.caption_settings_color_scheme);
}

// Pixels of the dialog's grab inside the sample's rectangle.
struct pixel_count {
    int reddish = 0, bluish = 0, greenish = 0;
};

pixel_count sample_pixels(frmCaptionSettings& dlg) {
    const QImage img = dlg.grab().toImage();
    const QRect r = dlg.FXLabel1->geometry().intersected(img.rect());
    pixel_count n;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++n.reddish;
            if (c.blue() > 200 && c.red() < 200 && c.blue() - c.red() > 60) ++n.bluish;
            if (c.green() > 200 && c.red() < 60 && c.blue() < 60) ++n.greenish;
        }
    return n;
}

// A family installed with bold and italic faces, so the font dialog can show
// every combination.
QString full_family() {
    for (const QString& f : QFontDatabase::families()) {
        const QStringList st = QFontDatabase::styles(f);
        const bool bold = st.filter(QStringLiteral("Bold")).size() > 0;
        const bool slanted = st.filter(QStringLiteral("Italic")).size() + st.filter(QStringLiteral("Oblique")).size() > 0;
        if (bold && slanted) return f;
    }
    return {};
}

void press_escape(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

class CaptionSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::init_caption_schemes();
        lv::program() = lv::program_state{};
        lv::doc() = lv::slideshow_document{};
    }
    void TearDown() override { lv::hooks().yield_events = nullptr; }

    // Shows the dialog and waits for its first activation to draw the sample.
    std::unique_ptr<frmCaptionSettings> open() {
        auto dlg = std::make_unique<frmCaptionSettings>();
        dlg->show();
        for (int i = 0; i < 200 && !dlg->FXLabel1->isVisible(); ++i) lvtest::spin(5);
        EXPECT_TRUE(dlg->FXLabel1->isVisible());
        EXPECT_FALSE(dlg->is_loading());
        return dlg;
    }
};

TEST_F(CaptionSettingsTest, FormShowsItsCaptionsAndTooltips) {
    frmCaptionSettings dlg;
    EXPECT_EQ(dlg.windowTitle(), "Caption Font Properties");
    EXPECT_EQ(dlg.size(), QSize(358, 318));   // 5370 x 4770 twips at 15 twips a pixel
    EXPECT_EQ(dlg.Command4->toolTip(), " Choose a solid color ");
    EXPECT_EQ(dlg.Command3->toolTip(), " Choose font type, size, bold, italic, etc");
    EXPECT_EQ(dlg.Command1->toolTip(), " Accept these settings and exit ");
    EXPECT_EQ(dlg.Command2->toolTip(), " Exit ");
    EXPECT_EQ(dlg.Option1[8]->text(), "Gradient Midnight Blue");
    EXPECT_EQ(dlg.Option2[5]->text(), "Shadow");
    EXPECT_EQ(dlg.HScroll1->minimum(), 1);
    EXPECT_EQ(dlg.HScroll1->maximum(), 10);
    // Every control lies inside the fixed dialog.
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (w->parentWidget() == &dlg && w != dlg.FXLabel1) {
            EXPECT_TRUE(dlg.rect().contains(w->geometry())) << w->metaObject()->className();
        }
    }
    // The buttons keep clear of the frames; the styles, the size's label and
    // its bar follow one another without overlapping, inside their frame.
    EXPECT_GE(dlg.Command1->y() - dlg.Frame2->geometry().bottom(), 8);
    EXPECT_LE(dlg.Option2[6]->geometry().bottom(), dlg.Label1->y());
    EXPECT_LE(dlg.Label1->geometry().bottom(), dlg.HScroll1->y());
    EXPECT_LE(dlg.HScroll1->geometry().bottom(), dlg.Frame2->height() - 3);
}

TEST_F(CaptionSettingsTest, SampleTextFallsBackWhenNoCaptionIsGiven) {
    lv::doc().caption_sample_text = "";
    {
        auto dlg = open();
        EXPECT_EQ(dlg->sample(), "No Caption Entered");
        EXPECT_EQ(dlg->FXLabel1->caption(), "No Caption Entered");
    }
    lv::doc().caption_sample_text = "Grandma's birthday";
    auto dlg = open();
    EXPECT_EQ(dlg->FXLabel1->caption(), "Grandma's birthday");   // no blanks added
}

TEST_F(CaptionSettingsTest, LoadSelectsTheOptionsOfTheStoredValues) {
    struct row {
        int style, option;
    };
    for (row r : {row{0, 0}, row{4, 4}, row{6, 5}, row{7, 6}}) {
        lv::doc().caption_settings.caption_settings_style = r.style;
        frmCaptionSettings dlg;
        for (int i = 0; i < 7; ++i) EXPECT_EQ(dlg.Option2[i]->isChecked(), i == r.option) << r.style;
        EXPECT_EQ(dlg.working_copy().caption_settings_style, r.style);
    }
    // Style 5 has no option: none is selected and 5 stays unless one is chosen.
    lv::doc().caption_settings.caption_settings_style = 5;
    lv::doc().caption_settings.caption_settings_color_scheme = 12;
    {
        auto dlg = open();
        for (QRadioButton* o : dlg->Option2) EXPECT_FALSE(o->isChecked());
        for (QRadioButton* o : dlg->Option1) EXPECT_FALSE(o->isChecked());
        dlg->Command1_Click();
    }
    EXPECT_EQ(lv::doc().caption_settings.caption_settings_style, 5);
    EXPECT_EQ(lv::doc().caption_settings.caption_settings_color_scheme, 12);

    lv::doc().caption_settings.caption_settings_color_scheme = 4;
    lv::doc().caption_settings.caption_settings_shadow_size = 7;
    frmCaptionSettings dlg;
    EXPECT_TRUE(dlg.Option1[4]->isChecked());
    EXPECT_EQ(dlg.HScroll1->value(), 7);
}

TEST_F(CaptionSettingsTest, StyleAndSchemeUpdatesMapAndIgnoreStrayValues) {
    frmCaptionSettings dlg;
    const int expected[7] = {0, 1, 2, 3, 4, 6, 7};
    for (int i = 0; i < 7; ++i) {
        dlg.Option2[i]->click();
        EXPECT_EQ(dlg.working_copy().caption_settings_style, expected[i]);
    }
    dlg.update_style(7);
    dlg.update_style(-1);
    EXPECT_EQ(dlg.working_copy().caption_settings_style, 7);
    dlg.Option1[3]->click();
    EXPECT_EQ(dlg.working_copy().caption_settings_color_scheme, 3);
    dlg.update_gradient(9);
    dlg.update_gradient(-1);
    EXPECT_EQ(dlg.working_copy().caption_settings_color_scheme, 3);
}

TEST_F(CaptionSettingsTest, SaveStoresEveryFieldExactly) {
    const lv::caption_settings_record before = odd_settings();
    lv::doc().caption_settings = before;
    {   // Unchanged values come back as they went in, even a font this machine lacks.
        auto dlg = open();
        dlg->Command1->click();
        EXPECT_EQ(dlg->result(), QDialog::Accepted);
    }
    expect_same(lv::doc().caption_settings, before);

    // Every control changed, then saved through a modal run as the editors do.
    lv::caption_settings_record want = before;
    want.caption_settings_style = 7;
    want.caption_settings_shadow_size = 2;
    want.caption_settings_color_scheme = 0;
    want.caption_settings_color = 0x00FF00;   // green, 0x00BBGGRR
    const QString family = full_family();
    ASSERT_FALSE(family.isEmpty());
    want.caption_settings_font_name = family.toStdString();
    want.caption_settings_font_size = 23;
    want.caption_settings_bold = 1;
    want.caption_settings_italic = 0;

    lvtest::when_modal<frmCaptionSettings>([&](frmCaptionSettings* dlg) {
        lvtest::spin(50);
        dlg->Option2[6]->click();
        dlg->HScroll1->setValue(2);
        dlg->Option1[0]->click();
        lvtest::when_modal<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(QColor(0, 255, 0));
            c->accept();
        });
        dlg->Command4->click();
        lvtest::when_modal<QFontDialog>([&](QFontDialog* f) {
            QFont font(family);
            font.setPointSize(23);
            font.setBold(true);
            font.setItalic(false);
            f->setCurrentFont(font);
            f->accept();
        });
        dlg->Command3->click();
        dlg->Command1->click();
    });
    frmCaptionSettings dlg;
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    expect_same(lv::doc().caption_settings, want);
}

TEST_F(CaptionSettingsTest, CancelEscapeAndCloseBoxChangeNothing) {
    const lv::caption_settings_record before = odd_settings();
    auto change_everything = [](frmCaptionSettings* dlg) {
        dlg->Option2[0]->click();
        dlg->Option1[2]->click();
        dlg->HScroll1->setValue(1);
        lvtest::when_modal<QColorDialog>([](QColorDialog* c) {
            c->setCurrentColor(Qt::red);
            c->accept();
        });
        dlg->Command4->click();
        EXPECT_EQ(dlg->working_copy().caption_settings_color, 0x0000FF);
    };
    for (int way = 0; way < 3; ++way) {
        lv::doc().caption_settings = before;
        lvtest::when_modal<frmCaptionSettings>([&](frmCaptionSettings* dlg) {
            change_everything(dlg);
            if (way == 0) dlg->Command2->click();
            else if (way == 1) press_escape(dlg);
            else dlg->close();
        });
        frmCaptionSettings dlg;
        EXPECT_EQ(dlg.exec(), QDialog::Rejected) << way;
        expect_same(lv::doc().caption_settings, before);
    }
}

TEST_F(CaptionSettingsTest, OutOfRangeShadowSizeIsTakenIntoTheBarsRange) {
    lv::doc().caption_settings.caption_settings_shadow_size = 25;
    {
        frmCaptionSettings dlg;
        EXPECT_EQ(dlg.HScroll1->value(), 10);
        EXPECT_EQ(dlg.working_copy().caption_settings_shadow_size, 10);
        dlg.Command2_Click();
    }
    EXPECT_EQ(lv::doc().caption_settings.caption_settings_shadow_size, 25);   // cancelled
    lv::doc().caption_settings.caption_settings_shadow_size = 0;
    frmCaptionSettings dlg;
    dlg.Command1_Click();
    EXPECT_EQ(lv::doc().caption_settings.caption_settings_shadow_size, 1);
}

TEST_F(CaptionSettingsTest, FontDialogIsPresetAndItsCancelChangesNothing) {
    const QString family = full_family();
    ASSERT_FALSE(family.isEmpty());
    lv::doc().caption_settings.caption_settings_font_name = family.toStdString();
    lv::doc().caption_settings.caption_settings_font_size = 31;
    lv::doc().caption_settings.caption_settings_bold = 0;
    lv::doc().caption_settings.caption_settings_italic = 1;
    auto dlg = open();
    QFont seen;
    lvtest::when_modal<QFontDialog>([&](QFontDialog* f) {
        seen = f->currentFont();
        QFont other(family);
        other.setPointSize(12);
        other.setBold(true);
        f->setCurrentFont(other);
        f->reject();
    });
    dlg->Command3->click();
    EXPECT_EQ(seen.family(), family);
    EXPECT_EQ(seen.pointSize(), 31);
    EXPECT_FALSE(seen.bold());
    EXPECT_TRUE(seen.italic());
    expect_same(dlg->working_copy(), lv::doc().caption_settings);
}

TEST_F(CaptionSettingsTest, ColourDialogOpensOnTheLastColourChosenInIt) {
    lv::doc().caption_settings.caption_settings_color = 0xFFFFFF;
    auto dlg = open();
    QColor first, second;
    lvtest::when_modal<QColorDialog>([&](QColorDialog* c) {
        first = c->currentColor();
        c->setCurrentColor(QColor(10, 20, 30));
        c->accept();
    });
    dlg->Command4->click();
    EXPECT_EQ(first, QColor(Qt::black));   // not the caption's white
    EXPECT_EQ(dlg->working_copy().caption_settings_color, 0x1E140A);
    lvtest::when_modal<QColorDialog>([&](QColorDialog* c) {
        second = c->currentColor();
        c->setCurrentColor(QColor(200, 0, 0));
        c->reject();
    });
    dlg->Command4->click();
    EXPECT_EQ(second, QColor(10, 20, 30));
    EXPECT_EQ(dlg->working_copy().caption_settings_color, 0x1E140A);   // cancelled
}

TEST_F(CaptionSettingsTest, SampleShowsGradientUntilSolidIsChosen) {
    lv::doc().caption_settings.caption_settings_font_size = 28;
    lv::doc().caption_settings.caption_settings_bold = 1;
    lv::doc().caption_settings.caption_settings_style = 0;
    lv::doc().caption_settings.caption_settings_color_scheme = 4;   // "Gradient Blue"
    lv::doc().caption_sample_text = "WMWMWM";
    auto dlg = open();
    pixel_count n = sample_pixels(*dlg);
    EXPECT_GT(n.bluish, 20);
    EXPECT_EQ(n.reddish, 0);

    lvtest::when_modal<QColorDialog>([](QColorDialog* c) {
        c->setCurrentColor(QColor(255, 0, 0));
        c->accept();
    });
    dlg->Command4->click();
    EXPECT_EQ(dlg->working_copy().caption_settings_color, 0x0000FF);
    EXPECT_EQ(dlg->working_copy().caption_settings_color_scheme, 4);
    n = sample_pixels(*dlg);
    EXPECT_GT(n.bluish, 20) << "the gradient stays while a scheme is chosen";
    EXPECT_EQ(n.reddish, 0);

    dlg->Option1[0]->click();
    n = sample_pixels(*dlg);
    EXPECT_GT(n.reddish, 20);
    EXPECT_EQ(n.bluish, 0);

    dlg->Option1[3]->click();   // "Gradient Green"
    n = sample_pixels(*dlg);
    EXPECT_GT(n.greenish, 20);
    EXPECT_EQ(n.reddish, 0);
}

TEST_F(CaptionSettingsTest, SampleIsCentredAcrossAndRaisedAboveTheMiddle) {
    lv::doc().caption_sample_text = "Summer at the lake";
    for (int size : {8, 20, 48}) {
        lv::doc().caption_settings.caption_settings_font_size = size;
        auto dlg = open();
        const QRect g = dlg->FXLabel1->geometry();
        EXPECT_NEAR(g.center().x() + 0.5, dlg->width() / 2.0, 1.0) << size;
        EXPECT_NEAR(g.top() + g.height() / 2.0, dlg->height() / 2.0 - 120, 1.0) << size;
        // The bigger the font, the bigger the sample.
        EXPECT_EQ(g.size(), dlg->FXLabel1->caption_size());
    }
    // A change of look places the sample anew.
    lv::doc().caption_settings.caption_settings_font_size = 10;
    auto dlg = open();
    const int w10 = dlg->FXLabel1->width();
    dlg->Option2[6]->click();
    dlg->HScroll1->setValue(10);
    const QRect g = dlg->FXLabel1->geometry();
    EXPECT_GT(g.width(), w10);
    EXPECT_NEAR(g.center().x() + 0.5, dlg->width() / 2.0, 1.0);
}

TEST_F(CaptionSettingsTest, SampleIsNotDrawnBeforeTheFirstActivation) {
    frmCaptionSettings dlg;
    EXPECT_TRUE(dlg.is_loading());
    dlg.Option1[5]->click();
    dlg.update_display();
    EXPECT_FALSE(dlg.FXLabel1->isVisible());
    EXPECT_TRUE(dlg.FXLabel1->caption().isEmpty());
    dlg.show();
    dlg.Form_Activate();
    EXPECT_FALSE(dlg.is_loading());
    EXPECT_EQ(dlg.FXLabel1->caption(), "Sample Text");
    EXPECT_TRUE(dlg.FXLabel1->isVisible());
}

}  // namespace
