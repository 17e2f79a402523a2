// The screens that save the settings as they close, when the settings cannot
// be stored (a read-only settings file, a full disk): each says so instead of
// closing as if they had been saved.
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmHotkeys.h"
#include "main_screen/frmOptions.h"
#include "main_screen/frmTitle.h"
#include "player/modal_watch.h"
#include "qt_wait.h"

namespace {

struct unwritable_store : lv::memory_settings_store {
    bool durable = false;
    bool sync() override { return durable; }
};

class OptionsSave : public ::testing::Test {
protected:
    unwritable_store store;
    QTemporaryDir dir;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::reset_effect_table();
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::program().windows_dir = dir.path().toStdString() + "/";
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    // What message box, if any, appeared while action ran.
    static std::shared_ptr<lvtest::seen_box> box_during(const std::function<void()>& action) {
        auto seen = std::make_shared<lvtest::seen_box>();
        QPointer<QTimer> watch = lvtest::when_modal<QMessageBox>(
            [seen](QMessageBox* box) {
                seen->title = box->windowTitle().toStdString();
                seen->text = box->text().toStdString();
                seen->icon = box->icon();
                box->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        action();
        delete watch.data();
        return seen;
    }
    static void expect_failure_box(const lvtest::seen_box& seen, const std::string& what) {
        EXPECT_EQ(seen.title, "Lumivane");
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_EQ(seen.text.rfind(what + " could not be saved", 0), 0u) << seen.text;
    }

    // Closes the screen with its exit button; what message box it showed.
    std::shared_ptr<lvtest::seen_box> close_screen() {
        lv::frmOptions dlg;
        dlg.show();
        auto seen = box_during([&dlg] { dlg.Command1->click(); });
        EXPECT_FALSE(dlg.isVisible()) << "the screen stayed open";
        return seen;
    }
};

}  // namespace

TEST_F(OptionsSave, SettingsThatCouldNotBeStoredAreReported) {
    auto seen = close_screen();
    expect_failure_box(*seen, "The options");

    store.durable = true;
    seen = close_screen();
    EXPECT_TRUE(seen->title.empty()) << "a saved close said " << seen->text;
}

// The hot keys and the main screen's save as it closes (which holds the
// chosen slideshow) say so too.
TEST_F(OptionsSave, HotKeysAndTheMainScreenReportSettingsTheyCouldNotStore) {
    lv::frmHotkeys keys;
    keys.show();
    expect_failure_box(*box_during([&keys] { keys.Command21->click(); }), "The hot keys");
    EXPECT_FALSE(keys.isVisible());

    for (int n : {1, 3, 4, 11}) store.values[lv::message_setting_key(n)] = "1";   // no help pop-ups
    lv::frmTitle::color_count_source = [] { return 16777216.0; };
    lv::program().data_folder = lv::program().windows_dir;
    lv::frmTitle title;
    title.show();
    ASSERT_TRUE(lv::test::wait_for([&title] { return title.intro_finished == 1; }));
    expect_failure_box(*box_during([&title] { title.close(); }), "The settings");
    EXPECT_TRUE(title.unloaded());
    lv::frmTitle::color_count_source = nullptr;
}
