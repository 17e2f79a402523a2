// The options screen: every control set from its setting at load and written
// back (at the click or at the close), the store written on every way of
// closing, the text filters and the power-saver hours, and the log tools.
#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QKeyEvent>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/settings.h"
#include "core/state.h"
#include "main_screen/frmEffects.h"
#include "main_screen/frmHotkeys.h"
#include "main_screen/frmOptions.h"
#include "platform/desktop/frmPopmessage.h"
#include "player/FrmNewPassword.h"
#include "player/modal_watch.h"

using lvtest::seen_box;
using lvtest::spin;
using lvtest::when_modal;

namespace fs = std::filesystem;

namespace {

// Key presses as the keyboard sends them.
void press(QWidget* w, int key, const QString& text = QString()) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &up);
}

void type(QWidget* w, const QString& text) {
    for (QChar c : text) press(w, c.unicode() == ',' ? Qt::Key_Comma : Qt::Key_A, QString(c));
}

class OptionsTest : public ::testing::Test {
protected:
    lv::memory_settings_store store;
    fs::path dir;
    std::vector<std::string> opened;
    int volume_starts = 0;
    bool open_result = true;

    void SetUp() override {
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::reset_effect_table();
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        dir = fs::temp_directory_path() /
              ("lv_options_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        lv::program().windows_dir = dir.string() + "/";
        lv::options_desktop_hooks().open_document = [this](const QString& p) {
            opened.push_back(p.toStdString());
            return open_result;
        };
        lv::options_desktop_hooks().start_volume_control = [this] { ++volume_starts; };
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
        fs::remove_all(dir);
    }

    std::string stored(const std::string& key) {
        auto it = store.values.find(key);
        return it == store.values.end() ? "<none>" : it->second;
    }

    void write_log_of(std::size_t bytes) {
        std::ofstream out(lv::log_path(), std::ios::binary);
        out << std::string(bytes, 'x');
    }

    // Answers the next message box with `button` and records it.
    static QPointer<QTimer> answer(std::shared_ptr<seen_box> seen, QMessageBox::StandardButton button,
                                   int timeout_ms = lvtest::hang_guard_ms, bool required = true) {
        return when_modal<QMessageBox>(
            [seen, button](QMessageBox* box) {
                seen->title = box->windowTitle().toStdString();
                seen->text = box->text().toStdString();
                seen->icon = box->icon();
                seen->buttons = static_cast<int>(box->buttons().size());
                box->done(button);
            },
            timeout_ms, required);
    }
};

}  // namespace

// ---------------------------------------------------------------- settings

TEST_F(OptionsTest, LoadSelectsTheButtonOfEachStoredValue) {
    auto& s = lv::settings();
    s.audio_on = 0;
    s.save_as_wallpaper = 1;
    s.cancel_mode = 7;
    s.slideshow_method = 1;
    s.slideshow_random_start = 1;
    s.screen_saver_type = 1;
    s.button_position = "2";
    s.display_mode = 3;
    s.logging = 1;
    s.random_music = 1;
    s.extended_flag = "0";
    s.extended_time = "7";
    s.music_launch = 12;
    s.mouse_moves_exit = 25;
    s.ignore_background = 1;
    s.auto_stop = 1;
    s.wav_devicename = "w";
    s.mid_devicename = "m";
    s.mpg_devicename = "p";
    s.avi_devicename = "a";

    lv::frmOptions dlg;
    EXPECT_EQ(dlg.windowTitle(), "Lumivane - Options");
    EXPECT_TRUE(dlg.Option1->isChecked());
    EXPECT_FALSE(dlg.Option2->isChecked());
    EXPECT_TRUE(dlg.Option10->isChecked());
    EXPECT_TRUE(dlg.Option16->isChecked());
    EXPECT_TRUE(dlg.Option19->isChecked());
    EXPECT_TRUE(dlg.Check1->isChecked());
    EXPECT_TRUE(dlg.Option4->isChecked());
    EXPECT_TRUE(dlg.Option7->isChecked());
    EXPECT_TRUE(dlg.Option9[2]->isChecked());
    EXPECT_TRUE(dlg.Check2->isChecked());
    EXPECT_TRUE(dlg.Check3->isChecked());
    EXPECT_FALSE(dlg.Check4->isChecked());
    EXPECT_EQ(dlg.Text7->text(), "7");
    EXPECT_EQ(dlg.HScroll2->value(), 12);
    EXPECT_EQ(dlg.Label9->text(), "12 (seconds)");
    EXPECT_EQ(dlg.HScroll1->value(), 25);
    EXPECT_TRUE(dlg.Check5->isChecked());
    EXPECT_TRUE(dlg.Check6->isChecked());
    EXPECT_EQ(dlg.Text1->text(), "w");
    EXPECT_EQ(dlg.Text2->text(), "m");
    EXPECT_EQ(dlg.Text3->text(), "p");
    EXPECT_EQ(dlg.Text5->text(), "a");
    EXPECT_TRUE(dlg.Option20->isChecked());
}

TEST_F(OptionsTest, ValuesNoButtonStandsForSelectNothingAndSurviveTheClose) {
    auto& s = lv::settings();
    s.display_mode = 0;
    s.cancel_mode = 5;
    s.screen_saver_type = 5;
    s.audio_on = 3;
    s.button_position = "x";
    s.music_launch = 45;   // beyond the bar

    lv::frmOptions dlg;
    for (auto* b : dlg.Option9) EXPECT_FALSE(b->isChecked());
    EXPECT_FALSE(dlg.Option15->isChecked() || dlg.Option16->isChecked() || dlg.Option17->isChecked());
    EXPECT_FALSE(dlg.Option1->isChecked() || dlg.Option2->isChecked());
    EXPECT_FALSE(dlg.Option5->isChecked() || dlg.Option6->isChecked() || dlg.Option7->isChecked() ||
                 dlg.Option8->isChecked());
    EXPECT_TRUE(dlg.Option3->isChecked());   // "Play Active SlideShow" for anything but 1
    EXPECT_EQ(dlg.Label9->text(), "45 (seconds)");
    dlg.done(QDialog::Accepted);

    EXPECT_EQ(s.display_mode, 0);
    EXPECT_EQ(stored("display_mode"), "0");
    EXPECT_EQ(stored("cancel_mode"), "5");
    EXPECT_EQ(stored("screen_saver_type"), "5");
    EXPECT_EQ(stored("audio_on"), "3");
    EXPECT_EQ(stored("button_position"), "x");
    EXPECT_EQ(stored("music_launch"), "45");
}

TEST_F(OptionsTest, EveryClickSettingChangesAtTheClickAndIsStoredAtTheClose) {
    auto& s = lv::settings();
    struct case_ {
        const char* key;
        std::function<QAbstractButton*(lv::frmOptions&)> button;
        std::function<std::string()> value;
        std::string expected;
    };
    auto num = [](const int& v) { return [&v] { return std::to_string(v); }; };
    const std::vector<case_> cases = {
        {"audio_on", [](auto& d) { return d.Option1; }, num(s.audio_on), "0"},
        {"audio_on", [](auto& d) { return d.Option2; }, num(s.audio_on), "1"},
        {"save_as_wallpaper", [](auto& d) { return d.Option10; }, num(s.save_as_wallpaper), "1"},
        {"save_as_wallpaper", [](auto& d) { return d.Option11; }, num(s.save_as_wallpaper), "0"},
        {"cancel_mode", [](auto& d) { return d.Option15; }, num(s.cancel_mode), "4"},
        {"cancel_mode", [](auto& d) { return d.Option16; }, num(s.cancel_mode), "7"},
        {"cancel_mode", [](auto& d) { return d.Option17; }, num(s.cancel_mode), "9"},
        {"slideshow_method", [](auto& d) { return d.Option19; }, num(s.slideshow_method), "1"},
        {"slideshow_method", [](auto& d) { return d.Option18; }, num(s.slideshow_method), "0"},
        {"slideshow_random_start", [](auto& d) { return d.Check1; }, num(s.slideshow_random_start), "1"},
        {"screen_saver_type", [](auto& d) { return d.Option4; }, num(s.screen_saver_type), "1"},
        {"screen_saver_type", [](auto& d) { return d.Option3; }, num(s.screen_saver_type), "0"},
        {"presentation_mode", [](auto& d) { return d.Option20; }, num(s.presentation_mode), "0"},
        {"button_position", [](auto& d) { return d.Option5; }, [&s] { return s.button_position; }, "0"},
        {"button_position", [](auto& d) { return d.Option6; }, [&s] { return s.button_position; }, "1"},
        {"button_position", [](auto& d) { return d.Option7; }, [&s] { return s.button_position; }, "2"},
        {"button_position", [](auto& d) { return d.Option8; }, [&s] { return s.button_position; }, "3"},
        {"ignore_background", [](auto& d) { return d.Check5; }, num(s.ignore_background), "1"},
        {"auto_stop", [](auto& d) { return d.Check6; }, num(s.auto_stop), "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " = " + c.expected);
        // Start from the opposite value so the click is a change.
        lv::settings() = lv::config_settings{};
        s.audio_on = c.expected == "1" ? 0 : 1;
        s.save_as_wallpaper = c.expected == "1" ? 0 : 1;
        s.slideshow_method = c.expected == "1" ? 0 : 1;
        s.screen_saver_type = c.expected == "1" ? 0 : 1;
        s.cancel_mode = 99;
        s.button_position = "9";
        store.values.clear();

        lv::frmOptions dlg;
        dlg.show();
        c.button(dlg)->click();
        EXPECT_EQ(c.value(), c.expected) << "at the click";
        EXPECT_EQ(stored(c.key), "<none>") << "nothing stored before the close";
        dlg.done(QDialog::Accepted);
        EXPECT_EQ(stored(c.key), c.expected);

        // ... and back: the stored value selects the same control.
        lv::settings() = lv::config_settings{};
        lv::load_settings();
        lv::frmOptions again;
        EXPECT_TRUE(c.button(again)->isChecked());
    }
}

TEST_F(OptionsTest, CheckBoxesUnchecksAndScrollBarsReachTheirSettings) {
    auto& s = lv::settings();
    s.slideshow_random_start = 1;
    s.ignore_background = 1;
    s.auto_stop = 1;
    lv::frmOptions dlg;
    dlg.show();
    dlg.Check1->click();
    dlg.Check5->click();
    dlg.Check6->click();
    EXPECT_EQ(s.slideshow_random_start, 0);
    EXPECT_EQ(s.ignore_background, 0);
    EXPECT_EQ(s.auto_stop, 0);

    dlg.HScroll2->setValue(20);
    EXPECT_EQ(s.music_launch, 20);
    EXPECT_EQ(dlg.Label9->text(), "20 (seconds)");
    dlg.HScroll1->setValue(3);
    EXPECT_EQ(s.mouse_moves_exit, 3);
    dlg.done(QDialog::Accepted);
    EXPECT_EQ(stored("music_launch"), "20");
    EXPECT_EQ(stored("mouse_moves_exit"), "3");
    EXPECT_EQ(stored("slideshow_random_start"), "0");
}

TEST_F(OptionsTest, CloseSettingsChangeOnlyWhenTheScreenCloses) {
    auto& s = lv::settings();
    s.display_mode = 1;
    lv::frmOptions dlg;
    dlg.show();
    dlg.Option9[1]->click();
    dlg.Check2->click();
    dlg.Check3->click();
    dlg.Check4->click();   // on by default: now off
    dlg.Text1->setText("wav dev");
    dlg.Text2->setText("mid dev");
    dlg.Text3->setText("mpg dev");
    dlg.Text5->setText("avi, dev");
    dlg.Text7->setText("4");
    EXPECT_EQ(s.display_mode, 1);
    EXPECT_EQ(s.logging, 0);
    EXPECT_EQ(s.random_music, 0);
    EXPECT_EQ(s.extended_flag, "1");
    EXPECT_EQ(s.wav_devicename, "WaveAudio");

    dlg.done(QDialog::Accepted);
    EXPECT_EQ(s.display_mode, 2);
    EXPECT_EQ(stored("display_mode"), "2");
    EXPECT_EQ(stored("logging"), "1");
    EXPECT_EQ(stored("random_music"), "1");
    EXPECT_EQ(stored("extended_flag"), "0");
    EXPECT_EQ(stored("extended_time"), "4");
    EXPECT_EQ(stored("wav_devicename"), "wav dev");
    EXPECT_EQ(stored("mid_devicename"), "mid dev");
    EXPECT_EQ(stored("mpg_devicename"), "mpg dev");
    EXPECT_EQ(stored("avi_devicename"), "avi, dev");
    // Everything save_settings writes was written, the password last.
    ASSERT_FALSE(store.writes().empty());
    EXPECT_EQ(store.writes().back().key, "misc");
}

TEST_F(OptionsTest, EscAndTheCloseBoxSaveLikeTheExitButton) {
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        store.values.clear();
        lv::settings() = lv::config_settings{};
        lv::frmOptions dlg;
        when_modal<lv::frmOptions>([way](lv::frmOptions* d) {
            d->Text3->setText("changed");
            if (way == 0) press(d, Qt::Key_Escape);
            if (way == 1) d->close();
            if (way == 2) d->Command1->click();
        });
        dlg.exec();
        EXPECT_EQ(lv::settings().mpg_devicename, "changed");
        EXPECT_EQ(stored("mpg_devicename"), "changed");
        EXPECT_EQ(stored("logging"), "0");
    }
}

TEST_F(OptionsTest, PresentationModeOnFromTheStoreShowsNoPopupButAClickDoes) {
    lv::settings().presentation_mode = 1;
    lv::frmOptions dlg;
    dlg.show();
    EXPECT_TRUE(dlg.Option21->isChecked());
    EXPECT_EQ(dlg.presentation_from_load, 0);

    dlg.Option20->click();
    EXPECT_EQ(lv::settings().presentation_mode, 0);
    int popup = 0;
    when_modal<lv::frmPopmessage>([&popup](lv::frmPopmessage* p) {
        popup = lv::help_popup().message_number;
        p->done(QDialog::Accepted);
    });
    dlg.Option21->click();
    EXPECT_EQ(popup, 8);
    EXPECT_EQ(lv::settings().presentation_mode, 1);
    dlg.done(QDialog::Accepted);
    EXPECT_EQ(stored("presentation_mode"), "1");
}

TEST_F(OptionsTest, DeviceNameFiltersAndDefaults) {
    lv::frmOptions dlg;
    dlg.show();
    for (QLineEdit* t : {dlg.Text1, dlg.Text2, dlg.Text3}) {
        t->clear();
        type(t, "a,b\"c");
        press(t, Qt::Key_Return, "\r");
        EXPECT_EQ(t->text(), "abc");
    }
    // A stored name keeps what it holds; an edit drops the banned characters
    // and leaves the cursor where it was.
    lv::frmOptions stored_comma;
    stored_comma.Text2->setText("Se,q");
    EXPECT_EQ(stored_comma.Text2->text(), "Se,q");
    stored_comma.Text2->setCursorPosition(4);
    type(stored_comma.Text2, "x");
    EXPECT_EQ(stored_comma.Text2->text(), "Seqx");
    EXPECT_EQ(stored_comma.Text2->cursorPosition(), 4);
    stored_comma.Text2->setCursorPosition(1);
    stored_comma.Text2->insert("\",\"");   // what a paste does
    EXPECT_EQ(stored_comma.Text2->text(), "Seqx");

    dlg.Text5->clear();
    type(dlg.Text5, "a,b\"c");
    EXPECT_EQ(dlg.Text5->text(), "a,b\"c");

    dlg.Command4->click();
    EXPECT_EQ(dlg.Text1->text(), "WaveAudio");
    EXPECT_EQ(lv::settings().avi_devicename, "AVIVideo");   // only at the close
    dlg.Text1->setText("x");
    dlg.Command4->click();
    dlg.done(QDialog::Accepted);
    EXPECT_EQ(stored("wav_devicename"), "WaveAudio");
    EXPECT_EQ(stored("mid_devicename"), "Sequencer");
    EXPECT_EQ(stored("mpg_devicename"), "MPEGVIDEO");
    EXPECT_EQ(stored("avi_devicename"), "AVIVideo");
}

// ---------------------------------------------------------------- power saver

TEST(LeadingValue, ReadsTheLeadingNumberOnly) {
    EXPECT_EQ(lv::leading_value("12abc"), 12);
    EXPECT_EQ(lv::leading_value("  2.5 h"), 2.5);
    EXPECT_EQ(lv::leading_value("abc"), 0);
    EXPECT_EQ(lv::leading_value(""), 0);
    EXPECT_EQ(lv::leading_value("-3"), -3);
    EXPECT_EQ(lv::leading_value(".5"), 0.5);
    EXPECT_EQ(lv::leading_value("1e1x"), 10);
    EXPECT_EQ(lv::leading_value("1e"), 1);
    EXPECT_EQ(lv::leading_value("0x1A"), 0);
    EXPECT_EQ(lv::number_text(2.5), "2.5");
    EXPECT_EQ(lv::number_text(20), "20");
}

TEST_F(OptionsTest, PowerSaverHoursAreCheckedWhenTheBoxLosesFocus) {
    struct case_ {
        const char* typed;
        const char* shown;
        const char* setting;
        bool message;
    };
    const case_ cases[] = {
        {"abc", "1", "1", true},   {"25", "20", "20", true}, {"0.5", "1", "1", true},
        {"2.5", "2.5", "2.5", false}, {"20", "20", "20", false}, {"-4", "1", "1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        lv::frmOptions dlg;
        dlg.show();
        dlg.Text7->setText(c.typed);
        auto box = std::make_shared<seen_box>();
        QPointer<QTimer> watch = answer(box, QMessageBox::Ok, lvtest::hang_guard_ms, c.message);
        // The focus moving to another control.
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(dlg.Text7, &out);
        if (c.message)
            lv::test::wait_for([&box] { return !box->text.empty(); });
        else
            spin(100);
        delete watch.data();
        EXPECT_EQ(dlg.Text7->text(), c.shown);
        EXPECT_EQ(lv::settings().extended_time, c.setting);
        if (c.message) {
            EXPECT_EQ(box->text, "Only values of 1 - 20 are allowed for the Power Saver setting.");
            EXPECT_EQ(box->title, "Lumivane");
        } else {
            EXPECT_TRUE(box->text.empty());
        }
        dlg.done(QDialog::Accepted);
    }
}

TEST_F(OptionsTest, PowerSaverHoursAreClampedSilentlyAtTheClose) {
    for (auto [typed, expected] : {std::pair{"99", "20"}, std::pair{"x", "1"}, std::pair{"3.25", "3.25"}}) {
        SCOPED_TRACE(typed);
        store.values.clear();
        lv::frmOptions dlg;
        dlg.show();
        dlg.Text7->setText(typed);
        auto box = std::make_shared<seen_box>();
        QPointer<QTimer> watch = answer(box, QMessageBox::Ok, lvtest::hang_guard_ms, false);
        dlg.done(QDialog::Accepted);
        spin(50);
        delete watch.data();
        EXPECT_TRUE(box->text.empty());
        EXPECT_EQ(stored("extended_time"), expected);
    }
}

// ---------------------------------------------------------------- log tools

TEST_F(OptionsTest, ALogOf100000BytesIsOfferedForResetAtFirstActivation) {
    write_log_of(100000);
    auto box = std::make_shared<seen_box>();
    answer(box, QMessageBox::Yes);
    lv::frmOptions dlg;
    // The exit is pressed once the question has been answered.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!box->text.empty() && dlg.isVisible() && QApplication::activeModalWidget() == &dlg)
            dlg.done(QDialog::Accepted);
    });
    closer.start(20);
    dlg.exec();
    EXPECT_EQ(box->title, "Lumivane - Logging");
    EXPECT_EQ(box->text, "Your current log size is over 100k in size.\nWould you like to reset the log?");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
    EXPECT_EQ(box->buttons, 2);
    EXPECT_FALSE(fs::exists(lv::log_path()));
    EXPECT_EQ(dlg.activated, 1);
}

TEST_F(OptionsTest, LogSizeCheckThresholdAndAnswerNo) {
    write_log_of(99999);
    lv::frmOptions dlg;
    auto box = std::make_shared<seen_box>();
    QPointer<QTimer> watch = answer(box, QMessageBox::No, lvtest::hang_guard_ms, false);
    dlg.check_log_size();
    spin(50);
    delete watch.data();
    EXPECT_TRUE(box->text.empty()) << "no question below 100000 bytes";
    EXPECT_EQ(lv::log_file_size(), 99999);

    write_log_of(100000);
    answer(box, QMessageBox::No);
    dlg.check_log_size();
    EXPECT_FALSE(box->text.empty());
    EXPECT_EQ(lv::log_file_size(), 100000) << "No keeps the log";

    // A 1-byte log counts as none.
    write_log_of(1);
    EXPECT_EQ(lv::log_file_size(), 0);
}

TEST_F(OptionsTest, ViewLogOpensItOrSaysWhy) {
    lv::frmOptions dlg;
    auto box = std::make_shared<seen_box>();
    answer(box, QMessageBox::Ok);
    dlg.Command5->click();
    EXPECT_EQ(box->text, "Log File Not Available.");
    EXPECT_EQ(box->title, "Logging");
    EXPECT_TRUE(opened.empty());

    write_log_of(200);
    *box = seen_box{};
    QPointer<QTimer> watch = answer(box, QMessageBox::Ok, lvtest::hang_guard_ms, false);
    dlg.Command5->click();
    spin(50);
    delete watch.data();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], lv::log_path());
    EXPECT_TRUE(box->text.empty());

    open_result = false;
    answer(box, QMessageBox::Ok);
    dlg.Command5->click();
    EXPECT_EQ(box->text, "Error attempting to view log!");
    EXPECT_EQ(box->title, "Lumivane Log.txt");
}

TEST_F(OptionsTest, ResetLogDeletesOnlyTheLogAndOnlyOnYes) {
    write_log_of(500);
    const fs::path neighbour = dir / "Lumivane Log.txt.bak";
    std::ofstream(neighbour) << "keep me";
    lv::frmOptions dlg;

    auto box = std::make_shared<seen_box>();
    answer(box, QMessageBox::No);
    dlg.Command6->click();
    EXPECT_EQ(box->text, "Would you like to reset the log?");
    EXPECT_EQ(box->title, "Lumivane - Logging");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
    EXPECT_TRUE(fs::exists(lv::log_path()));

    answer(box, QMessageBox::Yes);
    dlg.Command6->click();
    EXPECT_FALSE(fs::exists(lv::log_path()));
    EXPECT_TRUE(fs::exists(neighbour));

    // No log: the answer Yes is harmless.
    answer(box, QMessageBox::Yes);
    dlg.Command6->click();
    EXPECT_FALSE(fs::exists(lv::log_path()));

    // A folder that happens to carry the log's name is not removed.
    fs::create_directories(lv::log_path());
    fs::path inside = fs::path(lv::log_path()) / "file";
    std::ofstream(inside) << "data";
    EXPECT_FALSE(lv::delete_log_file());
    EXPECT_TRUE(fs::exists(inside));

    // The log is written again from a fresh header after a reset.
    fs::remove_all(lv::log_path());
    lv::settings().logging = 1;
    lv::write_log("after reset");
    EXPECT_GT(lv::log_file_size(), 100);
}

// ---------------------------------------------------------------- other buttons

TEST_F(OptionsTest, ToolButtonsOpenTheirDialogs) {
    lv::frmOptions dlg;
    dlg.show();
    dlg.Command3->click();
    EXPECT_EQ(volume_starts, 1);

    bool effects = false;
    when_modal<lv::frmEffects>([&effects](lv::frmEffects* e) {
        effects = true;
        e->reject();
    });
    store.values["Message5"] = "1";
    dlg.Command7->click();
    EXPECT_TRUE(effects);

    bool hot_keys = false;
    when_modal<lv::frmHotkeys>([&hot_keys](lv::frmHotkeys* h) {
        hot_keys = true;
        h->reject();
    });
    dlg.Command8->click();
    EXPECT_TRUE(hot_keys);

    bool password = false;
    when_modal<lv::FrmNewPassword>([&password](lv::FrmNewPassword* p) {
        password = true;
        p->reject();
    });
    dlg.Command2->click();
    EXPECT_TRUE(password);

    bool hidden_check = false;
    int number = 0;
    when_modal<lv::frmPopmessage>([&](lv::frmPopmessage* p) {
        number = lv::help_popup().message_number;
        hidden_check = !p->Check1->isVisibleTo(p);
        p->done(QDialog::Accepted);
    });
    dlg.Command9->click();
    EXPECT_EQ(number, 14);
    EXPECT_TRUE(hidden_check);
    dlg.done(QDialog::Accepted);
}
