// The options screen when its settings cannot be stored (a read-only
// settings file, a full disk): it says so as it closes instead of closing as
// if they had been saved.
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/effects.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmOptions.h"
#include "player/modal_watch.h"

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

    // Closes the screen with its exit button; what message box it showed.
    std::shared_ptr<lvtest::seen_box> close_screen() {
        auto seen = std::make_shared<lvtest::seen_box>();
        lv::frmOptions dlg;
        dlg.show();
        QPointer<QTimer> watch = lvtest::when_modal<QMessageBox>(
            [seen](QMessageBox* box) {
                seen->title = box->windowTitle().toStdString();
                seen->text = box->text().toStdString();
                seen->icon = box->icon();
                box->done(QMessageBox::Ok);
            },
            1000, false);
        dlg.Command1->click();
        delete watch.data();
        EXPECT_FALSE(dlg.isVisible()) << "the screen stayed open";
        return seen;
    }
};

}  // namespace

TEST_F(OptionsSave, SettingsThatCouldNotBeStoredAreReported) {
    auto seen = close_screen();
    EXPECT_EQ(seen->title, "Lumivane");
    EXPECT_EQ(seen->icon, QMessageBox::Critical);
    EXPECT_NE(seen->text.find("could not be saved"), std::string::npos) << seen->text;

    store.durable = true;
    seen = close_screen();
    EXPECT_TRUE(seen->title.empty()) << "a saved close said " << seen->text;
}
