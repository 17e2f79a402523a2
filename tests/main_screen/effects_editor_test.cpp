// The random effect editor: the working copy, the speed / grain / disable
// edits and their limits, the enabling timer, the preview on the sample,
// and what "&Ok" stores and "&Cancel" (or Esc) leaves alone.
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmEffects.h"
#include "platform/controls/picture_control.h"
#include "platform/desktop/frmPopmessage.h"
#include "player/modal_watch.h"

using lvtest::spin;
using lvtest::when_modal;

namespace {

class EffectsEditorTest : public ::testing::Test {
protected:
    lv::memory_settings_store store;

    void SetUp() override {
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::reset_effect_table();
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        store.values["Message5"] = "1";   // the introduction pop-up stays away
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    static void select(lv::frmEffects& dlg, int row) {
        dlg.List1->setCurrentRow(row);
        dlg.timer1_tick();
    }

    std::string stored(const std::string& key) {
        auto it = store.values.find(key);
        return it == store.values.end() ? "<none>" : it->second;
    }
};

}  // namespace

TEST_F(EffectsEditorTest, LoadCopiesTheTableAndSelectsNothing) {
    lv::effect_table()[7].speed = 99;
    lv::frmEffects dlg;
    EXPECT_EQ(dlg.windowTitle(), "Random Effect Editor");
    ASSERT_EQ(dlg.List1->count(), lv::effect_rows);
    EXPECT_EQ(dlg.List1->item(0)->text(), "Random Effect");
    EXPECT_EQ(dlg.List1->item(105)->text(), "Vert.Interlace Slide");
    EXPECT_EQ(dlg.selected_index(), -1);
    EXPECT_EQ(dlg.working_effects[7].speed, 99);
    EXPECT_EQ(dlg.working_effects[51].effect_number, 50);
    EXPECT_EQ(dlg.Timer1->interval(), 100);
    EXPECT_EQ(dlg.activated, 0);
}

TEST_F(EffectsEditorTest, EditingControlsFollowTheSelectionWithin100ms) {
    lv::frmEffects dlg;
    dlg.show();
    ASSERT_TRUE(lv::test::wait_ticks(dlg.Timer1));
    for (QWidget* w : std::initializer_list<QWidget*>{dlg.Check1, dlg.Command4, dlg.Command5, dlg.Command6,
                                                      dlg.Command7, dlg.Command8, dlg.Command9})
        EXPECT_FALSE(w->isEnabled());
    for (QWidget* w : {dlg.Command1, dlg.Command2, dlg.Command3}) EXPECT_TRUE(w->isEnabled());

    dlg.List1->setCurrentRow(5);
    ASSERT_TRUE(lv::test::wait_ticks(dlg.Timer1));
    EXPECT_TRUE(dlg.Command4->isEnabled());
    EXPECT_TRUE(dlg.Check1->isEnabled());

    dlg.List1->setCurrentRow(1);
    ASSERT_TRUE(lv::test::wait_ticks(dlg.Timer1));
    EXPECT_FALSE(dlg.Command9->isEnabled());
    EXPECT_FALSE(dlg.Check1->isEnabled());
}

TEST_F(EffectsEditorTest, SelectingShowsTheValuesAndPreviewsOnlyUsableEffects) {
    lv::frmEffects dlg;
    dlg.show();
    select(dlg, 38);   // "Swirl In": grain 30, speed 10
    EXPECT_EQ(dlg.Label13->text(), "10");
    EXPECT_EQ(dlg.Label14->text(), "30");
    EXPECT_FALSE(dlg.Check1->isChecked());
    EXPECT_EQ(dlg.previews_started(), 1);
    EXPECT_EQ(dlg.FXImage1->effect_number(), 37);
    EXPECT_TRUE(dlg.FXImage1->isVisible());

    // The end of the transition leaves the sample without one.
    dlg.FXImage1->finish_transition();
    spin(20);
    EXPECT_EQ(dlg.FXImage1->effect_number(), 0);

    select(dlg, 25);   // "Zoom Out1" is disabled by default
    EXPECT_TRUE(dlg.Check1->isChecked());
    EXPECT_EQ(dlg.previews_started(), 1);
    dlg.Command3->click();   // "&Refresh" plays it all the same
    EXPECT_EQ(dlg.previews_started(), 2);
    EXPECT_EQ(dlg.FXImage1->effect_number(), 24);

    select(dlg, 0);
    select(dlg, 1);
    dlg.Command3->click();
    EXPECT_EQ(dlg.previews_started(), 2) << "rows 0 and 1 are never previewed";
}

TEST_F(EffectsEditorTest, SpeedAndGrainStopAtTheirLimits) {
    lv::frmEffects dlg;
    dlg.show();
    select(dlg, 40);   // "Random Block": grain 3, speed 0
    dlg.Command4->click();
    EXPECT_EQ(dlg.working_effects[40].speed, 0);
    EXPECT_EQ(dlg.Label13->text(), "0");
    dlg.Command6->click();
    dlg.Command6->click();
    dlg.Command6->click();
    EXPECT_EQ(dlg.working_effects[40].grain, 1);
    EXPECT_EQ(dlg.Label14->text(), "1");
    dlg.Command5->click();
    EXPECT_EQ(dlg.working_effects[40].speed, 1);
    const int previews = dlg.previews_started();

    dlg.working_effects[40].speed = 254;
    dlg.working_effects[40].grain = 254;
    for (int i = 0; i < 3; ++i) {
        dlg.Command5->click();
        dlg.Command7->click();
    }
    EXPECT_EQ(dlg.working_effects[40].speed, 255);
    EXPECT_EQ(dlg.working_effects[40].grain, 255);
    EXPECT_EQ(dlg.Label13->text(), "255");
    EXPECT_EQ(dlg.Label14->text(), "255");
    EXPECT_EQ(dlg.previews_started(), previews) << "the buttons do not replay";
    EXPECT_EQ(lv::effect_table()[40].speed, 0) << "only the copy changes";

    // Rows 0 and 1 cannot be edited, even when a button is pressed before
    // the timer greys it out.
    dlg.List1->setCurrentRow(0);
    dlg.speed_up();
    dlg.grain_down();
    EXPECT_EQ(dlg.working_effects[0].speed, 1);
    EXPECT_EQ(dlg.working_effects[0].grain, 1);
}

TEST_F(EffectsEditorTest, DisableOneDisableAllAndEnableAll) {
    lv::frmEffects dlg;
    dlg.show();
    select(dlg, 5);
    dlg.Check1->click();
    EXPECT_EQ(dlg.working_effects[5].disabled, 1);
    dlg.Check1->click();
    EXPECT_EQ(dlg.working_effects[5].disabled, 0);

    // Row 0 cannot be disabled by itself.
    dlg.List1->setCurrentRow(0);
    dlg.Check1->setEnabled(true);
    dlg.Check1->click();
    EXPECT_FALSE(dlg.Check1->isChecked());
    EXPECT_EQ(dlg.working_effects[0].disabled, 0);

    select(dlg, 5);
    dlg.Command9->click();
    for (int i = 0; i < lv::effect_rows; ++i) EXPECT_EQ(dlg.working_effects[i].disabled, 1) << i;
    EXPECT_TRUE(dlg.Check1->isChecked());

    // Row 0 then shows the box checked but greyed out.
    select(dlg, 0);
    EXPECT_TRUE(dlg.Check1->isChecked());
    EXPECT_FALSE(dlg.Check1->isEnabled());
    EXPECT_FALSE(dlg.Command8->isEnabled());

    select(dlg, 5);
    dlg.Command8->click();
    for (int i = 0; i < lv::effect_rows; ++i) EXPECT_EQ(dlg.working_effects[i].disabled, 0) << i;
    EXPECT_FALSE(dlg.Check1->isChecked());

    // "&Disable All" with row 1 selected (before the timer greys it out)
    // leaves that row usable.
    dlg.List1->setCurrentRow(1);
    dlg.disable_all();
    EXPECT_EQ(dlg.working_effects[1].disabled, 0);
    EXPECT_EQ(dlg.working_effects[0].disabled, 1);
    EXPECT_FALSE(dlg.Check1->isChecked());
}

TEST_F(EffectsEditorTest, OkStoresEveryRowAndTheLoadReadsItBack) {
    lv::frmEffects dlg;
    dlg.show();
    select(dlg, 10);
    dlg.Command5->click();   // speed 16
    dlg.Command7->click();   // grain 5
    dlg.Check1->click();     // disabled
    select(dlg, 26);
    dlg.Check1->click();     // enabled again
    store.calls.clear();
    dlg.Command1->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    const auto writes = store.writes();
    ASSERT_EQ(writes.size(), 318u);
    EXPECT_EQ(writes[0].key, "Effect Setting Grain 0");
    EXPECT_EQ(writes[1].key, "Effect Setting Speed 0");
    EXPECT_EQ(writes[2].key, "Effect Setting Disable 0");
    EXPECT_EQ(writes[317].key, "Effect Setting Disable 105");
    EXPECT_EQ(stored("Effect Setting Speed 10"), "16");
    EXPECT_EQ(stored("Effect Setting Grain 10"), "5");
    EXPECT_EQ(stored("Effect Setting Disable 10"), "1");
    EXPECT_EQ(stored("Effect Setting Disable 26"), "0");
    EXPECT_EQ(stored("Effect Setting Disable 25"), "1");
    EXPECT_EQ(stored("Effect Setting Grain 1"), "1");

    EXPECT_EQ(lv::effect_table()[10].speed, 16);
    EXPECT_EQ(lv::effect_table()[10].disabled, 1);
    EXPECT_EQ(lv::effect_table()[10].effect_number, 9);

    // A fresh start reads the same table back.
    const auto saved = lv::effect_table();
    lv::reset_effect_table();
    lv::load_settings();
    for (int i = 0; i < lv::effect_rows; ++i) {
        EXPECT_EQ(lv::effect_table()[i].grain, saved[i].grain) << i;
        EXPECT_EQ(lv::effect_table()[i].speed, saved[i].speed) << i;
        EXPECT_EQ(lv::effect_table()[i].disabled, saved[i].disabled) << i;
        EXPECT_EQ(lv::effect_table()[i].effect_number, saved[i].effect_number) << i;
    }
}

TEST_F(EffectsEditorTest, CancelEscAndTheCloseBoxChangeNothing) {
    const auto before = lv::effect_table();
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        store.calls.clear();
        lv::frmEffects dlg;
        when_modal<lv::frmEffects>([way](lv::frmEffects* d) {
            d->List1->setCurrentRow(12);
            d->timer1_tick();
            d->Command5->click();
            d->Command9->click();
            if (way == 0) d->Command2->click();
            if (way == 1) {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(d, &esc);
            }
            if (way == 2) d->close();
        });
        dlg.exec();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_TRUE(store.writes().empty());
        for (int i = 0; i < lv::effect_rows; ++i) {
            EXPECT_EQ(lv::effect_table()[i].speed, before[i].speed);
            EXPECT_EQ(lv::effect_table()[i].disabled, before[i].disabled);
        }
    }
}

TEST_F(EffectsEditorTest, FirstActivationShowsTheIntroductionOnce) {
    store.values.erase("Message5");
    int shown = 0;
    when_modal<lv::frmPopmessage>([&shown](lv::frmPopmessage* p) {
        shown = lv::help_popup().message_number;
        p->done(QDialog::Accepted);
    });
    lv::frmEffects dlg;
    dlg.show();
    for (int i = 0; i < 200 && shown == 0; ++i) spin(10);
    EXPECT_EQ(shown, 5);
    EXPECT_EQ(dlg.activated, 1);
    dlg.hide();
    shown = 0;
    QPointer<QTimer> watch = when_modal<lv::frmPopmessage>([&shown](lv::frmPopmessage* p) {
        shown = 1;
        p->done(QDialog::Accepted);
    }, 200, false);
    dlg.show();
    spin(250);
    delete watch.data();
    EXPECT_EQ(shown, 0);
}

TEST_F(EffectsEditorTest, TheWindowKeepsItsMinimumSizeAndLayout) {
    lv::frmEffects dlg;
    dlg.show();
    const int list_w = dlg.List1->width();
    dlg.resize(10, 10);
    spin(20);
    EXPECT_GE(dlg.width(), static_cast<int>(dlg.min_width));
    EXPECT_GE(dlg.height(), static_cast<int>(dlg.min_height));
    EXPECT_FLOAT_EQ(dlg.min_width, 240.0f * 5 / 4);
    EXPECT_FLOAT_EQ(dlg.min_height, 360.0f * 5 / 4);

    dlg.resize(1000, 700);
    spin(20);
    EXPECT_EQ(dlg.List1->width(), list_w);
    EXPECT_EQ(dlg.List1->y(), 0);
    const int check_h = dlg.Check1->height();
    EXPECT_EQ(dlg.List1->height(), 700 - 2 * check_h);
    EXPECT_EQ(dlg.FXImage1->x(), dlg.List1->x() + list_w);
    EXPECT_EQ(dlg.FXImage1->width(), 1000 - list_w - dlg.Command4->width() / 4);
    EXPECT_EQ(dlg.Check1->y(), 700 - check_h - check_h / 4);
    EXPECT_EQ(dlg.Command1->y(), dlg.Check1->y());
    // The whole row stays inside the window.
    dlg.resize(10, 10);
    spin(20);
    EXPECT_LE(dlg.Command1->x() + dlg.Command1->width(), dlg.width());
}
