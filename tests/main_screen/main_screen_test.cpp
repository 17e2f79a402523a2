// The main screen: the list of slideshows, the editor hand-off, playing and
// deleting, hot keys, the intro with its colour choice, and closing.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <vector>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmCustom.h"
#include "main_screen/frmTitle.h"
#include "simple_editor/frmRandom.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/desktop/ini_store.h"
#include "platform/desktop/startup_services.h"
#include "player/modal_watch.h"
#include "scoped_env.h"
#include "tests/qt_wait.h"

using lvtest::seen_box;

namespace {

struct launch_call {
    std::string file, parameters, folder;
};

class MainScreenTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QTemporaryDir runtime;
    lvtest::scoped_env env;
    lv::memory_settings_store store;
    std::vector<launch_call> launches;
    std::vector<QPointer<QTimer>> watchers;   // message-box answers still waiting
    bool launch_result = true;
    struct play_seen {
        int plays = 0, origin = -1, image_count = -1;
        std::string path_in_run = "<unset>";
        bool screen_visible = true;
    } seen;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        env.set("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        QDir(tmp.path()).mkdir("data");
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::run() = lv::run_flags{};
        lv::editors() = lv::editor_state{};
        lv::program().data_folder = data("");
        lv::program().version_caption = "Lumivane - v.6.0.11";
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        // The help pop-ups stay away; which one was asked for is still known.
        for (int n : {1, 3, 4, 11}) store.values[lv::message_setting_key(n)] = "1";
        lv::new_custom_defaults();
        lv::new_random_defaults();
        lv::frmTitle::open_file = [this](const std::string& f, const std::string& p, const std::string& d) {
            launches.push_back({f, p, d});
            return launch_result;
        };
        lv::frmTitle::play_show = [this] {
            ++seen.plays;
            seen.origin = lv::run().show_origin;
            seen.image_count = lv::doc().image_count;
            seen.path_in_run = lv::run().screensaver_slideshow_path;
        };
        lv::frmTitle::open_custom_editor = nullptr;
        lv::frmTitle::open_random_editor = nullptr;
        lv::frmTitle::color_count_source = [] { return 16777216.0; };
    }
    void TearDown() override {
        for (auto& w : watchers) delete w.data();
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
        lv::frmTitle::color_count_source = nullptr;
        lv::frmTitle::open_file = lv::desktop_open_file;
    }

    std::string data(const std::string& name) { return (tmp.path() + "/data/").toStdString() + name; }
    std::string path(const std::string& name) { return tmp.filePath(QString::fromStdString(name)).toStdString(); }

    static void touch(const std::string& p, const QByteArray& bytes = "x,y\r\n") {
        QFile f(QString::fromStdString(p));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    std::string picture(const std::string& name) {
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(Qt::darkYellow);
        EXPECT_TRUE(img.save(QString::fromStdString(path(name))));
        return path(name);
    }

    void custom_file(const std::string& file, int images) {
        lv::new_custom_defaults();
        lv::doc().custom_name = file.substr(0, file.size() - 4);
        lv::redim_slides(images);
        lv::doc().image_count = images;
        for (int i = 1; i <= images; ++i)
            lv::doc().sequences.set(i, lv::default_sequence(picture("p" + std::to_string(i) + ".png")));
        ASSERT_EQ(lv::write_custom_file(data(file)), 0);
        lv::new_custom_defaults();
    }

    void simple_file(const std::string& file, const std::string& folder) {
        lv::new_random_defaults();
        lv::doc().random_name = file.substr(0, file.size() - 4);
        lv::doc().random_folder_counts[0] = 1;
        lv::doc().random_folders[0][1] = folder;
        ASSERT_EQ(lv::save_random(data(file)), 0);
        lv::new_random_defaults();
    }

    static std::vector<std::string> names(const lv::frmTitle& f) {
        std::vector<std::string> out;
        for (int i = 0; i < f.Combo1->count(); ++i) out.push_back(f.Combo1->itemText(i).toStdString());
        return out;
    }

    // Answers the next message box with `button` and records it.
    std::shared_ptr<seen_box> answer_next_box(QMessageBox::StandardButton button, int* default_button = nullptr) {
        auto seen = std::make_shared<seen_box>();
        watchers.push_back(lvtest::when_modal<QMessageBox>(
            [seen, button, default_button](QMessageBox* box) {
                seen->title = box->windowTitle().toStdString();
                seen->text = box->text().toStdString();
                seen->icon = box->icon();
                seen->buttons = static_cast<int>(box->buttons().size());
                if (default_button && box->defaultButton()) *default_button = box->standardButton(box->defaultButton());
                box->done(button);
            },
            lvtest::hang_guard_ms, false));
        return seen;
    }

    // Runs the first activation to its end.
    static void activate(lv::frmTitle& f) {
        f.show();
        QElapsedTimer t;
        t.start();
        while (!(f.activated == 1 && f.intro_finished == 1) && t.elapsed() < lv::test::hang_guard_ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        lvtest::spin(50);   // the colour choice follows the intro
    }
};

TEST_F(MainScreenTest, ListsTheSlideshowFilesOfTheDataFolder) {
    touch(data("Beach.lmv"));
    touch(data("trip.LMV"));
    touch(data("Holidaylmv"));     // no dot: still listed, less four characters
    touch(data("notes.lmvx"));     // the extension only begins with it
    touch(data("readme.txt"));
    touch(data(".hidden.lmv"));
    QDir(tmp.path() + "/data").mkdir("folder.lmv");
    lv::settings().active_slideshow = "trip.LMV";

    lv::frmTitle f;
    EXPECT_EQ(names(f), (std::vector<std::string>{"Beach", "Holida", "trip"}));
    EXPECT_EQ(f.slideshow_count, 3);
    EXPECT_EQ(f.slideshow_files[3], "trip.LMV");
    EXPECT_EQ(f.Combo1->currentIndex(), 2);
    EXPECT_EQ(lv::settings().active_slideshow, "trip.LMV");

    // The user's choice becomes the active slideshow.
    f.Combo1->setCurrentIndex(0);
    EXPECT_EQ(lv::settings().active_slideshow, "Beach.lmv");

    // An active slideshow that is gone (or differs in letter case) gives way
    // to the first entry.
    lv::settings().active_slideshow = "TRIP.lmv";
    f.get_slideshows();
    EXPECT_EQ(f.Combo1->currentIndex(), 0);
    EXPECT_EQ(lv::settings().active_slideshow, "Beach.lmv");
}

TEST_F(MainScreenTest, EmptyFolderLeavesTheActiveSlideshowAndDoesNothing) {
    lv::settings().active_slideshow = "Gone.lmv";
    lv::frmTitle f;
    EXPECT_EQ(f.slideshow_count, 0);
    EXPECT_EQ(f.Combo1->currentIndex(), -1);
    EXPECT_EQ(lv::settings().active_slideshow, "Gone.lmv");
    lv::frmTitle::open_custom_editor = [] {
        ADD_FAILURE() << "no editor without a selection";
        return nullptr;
    };
    f.edit_selected();
    f.play_selected();
    f.delete_selected();   // no question either: the test would hang on it
    EXPECT_EQ(seen.plays, 0);
}

TEST_F(MainScreenTest, NewCustomSlideshowWaitsForTheEditorThenSelectsWhatItSaved) {
    touch(data("Old.lmv"));
    lv::settings().active_slideshow = "Old.lmv";
    lv::doc().custom_name = "left over";
    lv::frmTitle f;
    f.activated = 1;
    f.show();
    bool screen_hidden = false;
    lv::frmTitle::open_custom_editor = [&]() -> QWidget* {
        EXPECT_EQ(lv::editors().custom_editor_open, 1);
        EXPECT_EQ(lv::editors().editing_existing, 0);
        EXPECT_EQ(lv::doc().custom_name, "");   // the defaults
        screen_hidden = !f.isVisible();
        // The "editor" saves a new slideshow a little later and closes.
        QTimer::singleShot(100, [this] {
            touch(data("Fresh.lmv"));
            lv::settings().active_slideshow = "Fresh.lmv";
            lv::editors().custom_editor_open = 0;
        });
        return nullptr;
    };
    f.create_new_custom();
    EXPECT_TRUE(screen_hidden);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
    EXPECT_EQ(names(f), (std::vector<std::string>{"Fresh", "Old"}));
    EXPECT_EQ(f.Combo1->currentIndex(), 0);
}

TEST_F(MainScreenTest, EditingLoadsTheFileIntoTheEditorOfItsKind) {
    custom_file("Custom Show.lmv", 2);
    QDir(tmp.path()).mkdir("pics");
    simple_file("Simple Show.lmv", path("pics"));
    lv::frmTitle f;
    f.activated = 1;

    int custom_opened = 0, random_opened = 0;
    lv::frmTitle::open_custom_editor = [&]() -> QWidget* {
        ++custom_opened;
        EXPECT_EQ(lv::editors().editing_existing, 1);
        EXPECT_EQ(lv::doc().image_count, 2);
        EXPECT_EQ(lv::doc().custom_name, "Custom Show");
        lv::editors().custom_editor_open = 0;
        return nullptr;
    };
    lv::frmTitle::open_random_editor = [&]() -> QWidget* {
        ++random_opened;
        EXPECT_EQ(lv::editors().editing_existing, 1);
        EXPECT_EQ(lv::doc().random_folders[0][1], path("pics"));
        // An editor window that goes away without clearing its flag must not
        // keep the screen waiting for ever.
        auto* editor = new QWidget;
        editor->show();
        QTimer::singleShot(50, editor, [editor] { delete editor; });
        return editor;
    };
    f.Combo1->setCurrentIndex(0);
    f.edit_selected();
    f.Combo1->setCurrentIndex(1);
    f.edit_selected();
    EXPECT_EQ(custom_opened, 1);
    EXPECT_EQ(random_opened, 1);
    EXPECT_EQ(lv::editors().random_editor_open, 0);
    EXPECT_EQ(lv::settings().active_slideshow, "Simple Show.lmv");

    // A new simple slideshow starts from the defaults.
    lv::doc().random_name = "stale";
    lv::frmTitle::open_random_editor = [&]() -> QWidget* {
        EXPECT_EQ(lv::editors().editing_existing, 0);
        EXPECT_EQ(lv::doc().random_name, "");
        EXPECT_EQ(lv::editors().random_editor_open, 1);
        lv::editors().random_editor_open = 0;
        return nullptr;
    };
    f.create_new_simple();
}

TEST_F(MainScreenTest, UnreadableFileIsReportedAndNoEditorOpens) {
    // A custom file cut short after its header.
    lv::new_custom_defaults();
    const std::string whole = lv::custom_file_text().value_or("");
    touch(data("Broken.lmv"), QByteArray::fromStdString(whole.substr(0, whole.find('\n') + 1)));
    touch(data("Empty.lmv"), "");
    lv::frmTitle f;
    lv::frmTitle::open_custom_editor = [] {
        ADD_FAILURE() << "opened an editor on a broken file";
        return nullptr;
    };
    lv::frmTitle::open_random_editor = lv::frmTitle::open_custom_editor;
    for (int i = 0; i < 2; ++i) {
        f.Combo1->setCurrentIndex(i);
        auto box = answer_next_box(QMessageBox::Ok);
        f.edit_selected();
        EXPECT_EQ(box->title, "Lumivane");
        EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");
        box = answer_next_box(QMessageBox::Ok);
        f.play_selected();
        EXPECT_EQ(box->text, "Error loading SlideShow data! Please check file.");
    }
    EXPECT_EQ(seen.plays, 0);
}

TEST_F(MainScreenTest, PlayingShowsTheLoadedDocumentAsTheUsersShow) {
    custom_file("A.lmv", 3);
    QDir(tmp.path()).mkdir("pics");
    QDir(tmp.path()).mkdir("nothing");
    picture("pics/one.png");
    picture("pics/two.png");
    simple_file("B.lmv", path("pics"));
    simple_file("C.lmv", path("nothing"));
    lv::run().screensaver_slideshow_path = "stale";
    lv::frmTitle f;
    f.activated = 1;
    f.show();

    f.Combo1->setCurrentIndex(0);
    f.play_selected();
    EXPECT_EQ(seen.plays, 1);
    EXPECT_EQ(seen.origin, 1);
    EXPECT_EQ(seen.image_count, 3);
    EXPECT_EQ(seen.path_in_run, "");
    EXPECT_EQ(lv::run().show_origin, 0);
    EXPECT_TRUE(f.isVisible());

    f.Combo1->setCurrentIndex(1);
    f.play_selected();
    EXPECT_EQ(seen.plays, 2);
    EXPECT_EQ(seen.image_count, 2);   // built from the folder

    // Nothing to show: the player's own no-images display, no message.
    auto box = answer_next_box(QMessageBox::Ok);
    f.Combo1->setCurrentIndex(2);
    f.play_selected();
    EXPECT_EQ(seen.plays, 3);
    EXPECT_EQ(seen.image_count, 0);
    EXPECT_TRUE(box->title.empty()) << box->text;
    EXPECT_EQ(lv::settings().active_slideshow, "C.lmv");
}

TEST_F(MainScreenTest, DeleteAsksFirstAndRemovesTheFileOnYes) {
    touch(data("Keep.lmv"));
    touch(data("Only.lmv"));
    lv::settings().active_slideshow = "Only.lmv";
    lv::frmTitle f;
    ASSERT_EQ(f.Combo1->currentIndex(), 1);

    int default_button = 0;
    auto box = answer_next_box(QMessageBox::No, &default_button);
    f.Command9->click();
    EXPECT_EQ(box->title, "Delete Slideshow");
    EXPECT_EQ(box->text, "Would you like to delete this slideshow?\n\nOnly\n");
    EXPECT_EQ(box->icon, QMessageBox::Critical);
    EXPECT_EQ(box->buttons, 2);
    EXPECT_EQ(default_button, QMessageBox::No);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(data("Only.lmv"))));
    EXPECT_EQ(f.slideshow_count, 2);

    box = answer_next_box(QMessageBox::Yes);
    f.delete_selected();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(data("Only.lmv"))));
    EXPECT_EQ(names(f), (std::vector<std::string>{"Keep"}));
    EXPECT_EQ(lv::settings().active_slideshow, "Keep.lmv");

    // Deleting the last one leaves the name of the deleted file active.
    box = answer_next_box(QMessageBox::Yes);
    f.delete_selected();
    EXPECT_EQ(f.slideshow_count, 0);
    EXPECT_EQ(lv::settings().active_slideshow, "Keep.lmv");
}

TEST_F(MainScreenTest, FunctionKeysStartTheirFilesOrSayNoneIsBound) {
    lv::settings().hot_keys[2] = "/opt/tools/editor";
    lv::frmTitle f;

    // F3, with Shift held, reaches the screen through its focused list.
    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::ShiftModifier);
    QCoreApplication::sendEvent(f.Combo1, &f3);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].file, "/opt/tools/editor");
    EXPECT_EQ(launches[0].parameters, "");
    EXPECT_EQ(launches[0].folder, "/opt/tools/");

    auto box = answer_next_box(QMessageBox::Ok);
    EXPECT_TRUE(f.hot_key(Qt::Key_F12));
    EXPECT_EQ(box->title, "Hot Key");
    EXPECT_EQ(box->text,
              "There is no file assoicated with the F12 key.\n\nPlease go to the OPTIONS screen to edit the hot key "
              "settings.");

    EXPECT_FALSE(f.hot_key(Qt::Key_F13));
    EXPECT_FALSE(f.hot_key(Qt::Key_A));
    EXPECT_EQ(launches.size(), 1u);

    // A file the desktop cannot open.
    launch_result = false;
    box = answer_next_box(QMessageBox::Ok);
    f.help();
    EXPECT_EQ(launches.back().file, "help.hlp");
    EXPECT_EQ(launches.back().folder, "");
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "Error Launching Program!\nhelp.hlp\nPlease check the source file.");
}

TEST_F(MainScreenTest, DesktopOpenStartsProgramsInTheirFolder) {
    const std::string marker = path("ran");
    const std::string script = path("tool.sh");
    {
        QFile f(QString::fromStdString(script));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("#!/bin/sh\npwd > \"") + QByteArray::fromStdString(marker) + "\"\necho \"$1\" >> \"" +
                QByteArray::fromStdString(marker) + "\"\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    EXPECT_EQ(lv::launch_folder(script), path("") + "/");
    EXPECT_TRUE(lv::desktop_open_file(script, "hello", lv::launch_folder(script)));
    // The script writes its folder and then its parameter.
    QByteArray text;
    lv::test::wait_for([&] {
        QFile out(QString::fromStdString(marker));
        text = out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
        return text.endsWith("hello\n");
    });
    EXPECT_TRUE(text.startsWith(QDir(tmp.path()).canonicalPath().toUtf8() + "\n")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("hello\n")) << text.toStdString();

    EXPECT_FALSE(lv::desktop_open_file(path("missing.exe"), "", path("") + "/"));
    EXPECT_FALSE(lv::desktop_open_file("", "", ""));
}

TEST_F(MainScreenTest, PictureButtonsActOnlyWhenReleasedInside) {
    custom_file("A.lmv", 1);
    lv::frmTitle f;
    f.activated = 1;
    auto* play = f.FXImage1[3];
    f.picture_mouse_down(3);
    f.picture_mouse_up(3, QPoint(0, 5));                  // the left edge
    f.picture_mouse_up(3, QPoint(play->width(), 5));      // the right edge
    f.picture_mouse_up(3, QPoint(5, play->height() + 3)); // below
    EXPECT_EQ(seen.plays, 0);
    f.picture_mouse_up(3, QPoint(5, 5));
    EXPECT_EQ(seen.plays, 1);
    EXPECT_EQ(f.FXImage1[3]->picture(), f.Picture1[6]);   // the normal face again
}

TEST_F(MainScreenTest, TextButtonsHighlightUnderTheMouse) {
    lv::frmTitle f;
    f.label_mouse_move(2);
    EXPECT_EQ(f.highlighted_button, 2);
    EXPECT_EQ(f.label_button[2]->button_look(), 2);
    f.label_mouse_move(3);
    EXPECT_EQ(f.label_button[2]->button_look(), 0);
    EXPECT_EQ(f.label_button[3]->button_look(), 2);
    f.label_mouse_down(3);
    EXPECT_EQ(f.label_button[3]->button_look(), 1);
    f.button_up();
    EXPECT_EQ(f.label_button[3]->button_look(), 0);
    EXPECT_EQ(f.highlighted_button, -1);

    // "Help" acts on release; "Exit" does nothing before the intro has ended.
    f.label_mouse_up(4);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].file, "help.hlp");
    f.label_mouse_up(5);
    EXPECT_FALSE(f.unloaded());
}

TEST_F(MainScreenTest, KeyboardReachesAndPressesThePictureTextAndDeleteButtons) {
    custom_file("A.lmv", 1);
    lv::frmTitle f;
    activate(f);
    f.activateWindow();
    const auto key = [](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QKeyEvent press(QEvent::KeyPress, k, m);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, k, m);
        QApplication::sendEvent(target, &release);
    };
    const auto focus_on = [&f](QWidget* w) {
        ASSERT_TRUE(lv::test::wait_for([&f, w] {
            f.activateWindow();
            w->setFocus(Qt::OtherFocusReason);
            return QApplication::focusWidget() == w;
        }));
    };
    const auto mark_around = [&f](QWidget* w) {
        auto* mark = f.findChildren<QWidget*>().last();   // the mark is made after every control
        return mark->isVisible() && mark->geometry().contains(w->geometry());
    };

    // After the list the delete button: marked, and Enter asks as a click does.
    focus_on(f.Combo1);
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.Command9);
    EXPECT_TRUE(mark_around(f.Command9));
    for (int k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
        focus_on(f.Command9);   // the window has it back as the question closes
        auto box = answer_next_box(QMessageBox::No);
        key(k);
        EXPECT_EQ(box->title, "Delete Slideshow") << "key " << k;
    }

    // Combo, delete button, then the text links left to right: Help is fifth.
    focus_on(f.Combo1);
    for (int i = 0; i < 5; ++i) key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.label_button[4]);
    EXPECT_TRUE(mark_around(f.label_button[4]));
    key(Qt::Key_Space);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_NE(launches[0].file.find("help.hlp"), std::string::npos);
    EXPECT_EQ(f.label_button[4]->button_look(), 0);

    // Tab goes round every control and back to the first picture button:
    // four pictures, the list, delete and five links (no packager here).
    focus_on(f.FXImage1[0]);
    for (int i = 0; i < 11; ++i) key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.FXImage1[0]);

    // Last, as the show takes the screen away: Shift+Tab from the list is Play.
    focus_on(f.Combo1);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), f.FXImage1[3]);
    EXPECT_TRUE(mark_around(f.FXImage1[3]));
    key(Qt::Key_Return);
    EXPECT_EQ(seen.plays, 1);

    f.intro_finished = 1;
    f.close();
}

TEST_F(MainScreenTest, FirstStartChoosesTheColourModeOnceAndWritesItAtOnce) {
    struct row {
        double colours;
        int preset, mode, last_message;
    };
    const std::vector<row> rows = {
        {256, 0, 1, 3}, {65536, 0, 2, 4}, {16777216, 0, 3, 1}, {256, 2, 2, 1}, {4294967296.0, 1, 1, 1},
    };
    for (const row& r : rows) {
        store.values.erase("display_mode");
        store.calls.clear();
        lv::settings().display_mode = r.preset;
        lv::frmTitle::color_count_source = [c = r.colours] { return c; };
        lv::frmTitle f;
        activate(f);
        EXPECT_EQ(lv::settings().display_mode, r.mode) << r.colours;
        EXPECT_EQ(lv::help_popup().message_number, r.last_message) << r.colours;
        if (r.preset == 0) EXPECT_EQ(store.values["display_mode"], std::to_string(r.mode));
        else EXPECT_EQ(store.values.count("display_mode"), 0u);
        f.intro_finished = 1;
        f.close();
    }
}

TEST_F(MainScreenTest, IntroRevealsTheButtonsAndHoldsOffClosing) {
    touch(data("Show.lmv"));
    lv::frmTitle f;
    EXPECT_EQ(f.windowTitle().toStdString(), "Lumivane - v.6.0.11");
    EXPECT_FALSE(lv::no_window_titled("Lumivane - v.6.0.11"));   // a second main screen would end
    for (auto* c : f.FXImage1) EXPECT_FALSE(c->isVisible());

    // While the buttons are still appearing.
    bool checked = false;
    QTimer::singleShot(100, &f, [&] {
        checked = true;
        EXPECT_EQ(f.activated, 1);
        EXPECT_EQ(f.intro_finished, 0);
        EXPECT_TRUE(f.label_button[5]->isVisible());
        EXPECT_FALSE(f.label_button[6]->isVisible());   // no packager configured
        f.close();
        f.exit_program();
        EXPECT_TRUE(f.isVisible());
        EXPECT_FALSE(f.unloaded());
    });
    activate(f);
    EXPECT_TRUE(checked);
    for (auto* c : f.FXImage1) EXPECT_TRUE(c->isVisible());
    for (auto* c : f.FXImage1) EXPECT_EQ(c->effect_number(), 0);   // later faces change without effect
    EXPECT_EQ(lv::help_popup().message_number, 1);

    // Exit: pop-up 11, then every setting is saved and the title is free.
    lv::settings().active_slideshow = "Show.lmv";
    lv::settings().hot_keys[0] = "/bin/true";
    store.calls.clear();
    f.exit_program();
    EXPECT_TRUE(f.unloaded());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(lv::help_popup().message_number, 11);
    EXPECT_EQ(store.values["active_slideshow"], "Show.lmv");
    EXPECT_EQ(store.values["Hot Keys 0"], "/bin/true");
    EXPECT_TRUE(lv::no_window_titled("Lumivane - v.6.0.11"));
}

// Exit saves the settings into the settings file. A folder (or anything
// else) standing at the name of the save's lock holds neither the save nor
// the screen: it closes, the settings saved, without a message.
TEST_F(MainScreenTest, ExitClosesTheScreenAndSavesWithAFolderAtTheLockName) {
    QDir(tmp.path()).mkdir("config");
    const std::string file = path("config/Tavrel Lumivane.ini");
    const QString lock = QString::fromStdString(path("config/.Tavrel Lumivane.ini.lumivane-lock"));
    ASSERT_TRUE(QDir().mkpath(lock + "/inside"));
    lv::ini_store ini(file);
    for (int n : {1, 3, 4, 11}) ini.write(lv::message_setting_key(n), "1");
    lv::set_settings_store(&ini);
    auto box = answer_next_box(QMessageBox::Ok);
    ::alarm(300);   // a hang ends the test run instead of stalling it
    {
        lv::frmTitle f;
        activate(f);
        lv::settings().active_slideshow = "Chosen.lmv";
        QWidget* exit_button = f.label_button[5];
        ASSERT_TRUE(lv::test::wait_for([&f, exit_button] {
            f.activateWindow();
            exit_button->setFocus(Qt::OtherFocusReason);
            return QApplication::focusWidget() == exit_button;
        }));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QApplication::sendEvent(exit_button, &press);
        EXPECT_TRUE(f.unloaded());
    }
    ::alarm(0);
    lv::set_settings_store(&store);
    EXPECT_EQ(box->title, "");   // no message
    EXPECT_EQ(lv::ini_store(file).read("active_slideshow", ""), "Chosen.lmv");
    EXPECT_TRUE(QFileInfo::exists(lock + "/inside"));
}

TEST_F(MainScreenTest, PackagerAppearsWhenConfiguredAndShowModalReturnsOnClose) {
    lv::settings().publisher_path = "/opt/packager/run";
    lv::frmTitle f;
    QTimer::singleShot(1, [&f] {
        QElapsedTimer t;
        t.start();
        while (f.intro_finished == 0 && t.elapsed() < lv::test::hang_guard_ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(f.label_button[6]->isVisible());
        f.label_mouse_up(6);
        f.close();
    });
    f.show_modal();
    EXPECT_TRUE(f.unloaded());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].file, "/opt/packager/run");
}

}  // namespace

namespace {

// The real editors: the screen waits while one is open and comes back when
// it is closed, whichever way.
TEST_F(MainScreenTest, RealEditorsHandBackWhenClosed) {
    for (int n = 1; n <= 14; ++n) store.values[lv::message_setting_key(n)] = "1";
    lv::frmTitle::open_custom_editor = [] {
        auto* e = new lv::frmCustom();
        e->show();
        return static_cast<QWidget*>(e);
    };
    lv::frmTitle::open_random_editor = [] {
        auto* e = new lv::frmRandom();
        e->show();
        return static_cast<QWidget*>(e);
    };
    lv::frmTitle f;
    f.activated = 1;
    f.show();
    for (int kind = 0; kind < 2; ++kind) {
        bool seen_editor = false;
        QTimer::singleShot(200, [&seen_editor, kind] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                const bool match = kind == 0 ? qobject_cast<lv::frmCustom*>(w) != nullptr
                                             : qobject_cast<lv::frmRandom*>(w) != nullptr;
                if (match && w->isVisible()) {
                    seen_editor = true;
                    w->close();
                }
            }
        });
        if (kind == 0) f.create_new_custom();
        else f.create_new_simple();
        EXPECT_TRUE(seen_editor) << kind;
        EXPECT_TRUE(f.isVisible()) << kind;
        EXPECT_EQ(lv::editors().custom_editor_open, 0);
        EXPECT_EQ(lv::editors().random_editor_open, 0);
    }
}

// The whole road of a new custom slideshow through the real editor: pictures
// added with its picker, a name typed, Save And Exit; the screen comes back
// with the new show in its list and selected.
TEST_F(MainScreenTest, RealCustomEditorCreatesSavesAndHandsBackTheShow) {
    for (int n = 1; n <= 14; ++n) store.values[lv::message_setting_key(n)] = "1";
    touch(data("Old.lmv"));
    lv::settings().active_slideshow = "Old.lmv";
    QDir(tmp.path()).mkdir(QStringLiteral("pictures"));
    picture("pictures/one.png");
    picture("pictures/two.png");
    lv::program().last_folder = path("pictures");
    lv::frmTitle::open_custom_editor = [] {
        auto* e = new lv::frmCustom();
        e->show();
        return static_cast<QWidget*>(e);
    };
    lv::frmTitle f;
    f.activated = 1;
    f.show();

    bool saved = false;
    QTimer::singleShot(200, [&] {
        lv::frmCustom* e = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<lv::frmCustom*>(w); c && c->isVisible()) e = c;
        ASSERT_NE(e, nullptr);
        watchers.push_back(lvtest::when_modal<lv::frmAddphotos>([](lv::frmAddphotos* d) { d->Command2->click(); }));
        e->Command4->click();   // add images: the picker adds all files of the folder
        EXPECT_EQ(e->List1->count(), 2);
        e->Text3->setFocus();
        for (QChar c : QStringLiteral("Holiday")) {
            QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
            QApplication::sendEvent(e->Text3, &press);
        }
        e->Command21->click();   // Save And Exit
        saved = true;
    });
    f.create_new_custom();
    EXPECT_TRUE(saved);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
    EXPECT_EQ(names(f), (std::vector<std::string>{"Holiday", "Old"}));
    EXPECT_EQ(f.Combo1->currentText(), "Holiday");
    EXPECT_EQ(lv::settings().active_slideshow, "Holiday.lmv");
    // What the editor wrote is a show the loader reads back whole.
    ASSERT_EQ(lv::load_custom_file(data("Holiday.lmv")), 0);
    EXPECT_EQ(lv::doc().image_count, 2);
    f.intro_finished = 1;
    f.close();
}

}  // namespace
