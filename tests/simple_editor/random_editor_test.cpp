// The simple slideshow editor: its folder lists, the options it writes into
// the definition, saving, previewing, refusals and every way of closing.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "custom_editor/FrmBorder.h"
#include "custom_editor/frmCaptionSettings.h"
#include "custom_editor/picker_common.h"
#include "platform/desktop/frmPopmessage.h"
#include "player/frmSlideshow.h"
#include "player/modal_watch.h"
#include "simple_editor/frmRandom.h"
#include "tests/name_box_keys.h"
#include "tests/qt_wait.h"

using namespace lv;
using lvtest::answer_message_box;
using lvtest::seen_box;
using lvtest::when_modal;

namespace {

struct launch_call {
    std::string file, parameters, folder;
};

class RandomEditorTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    memory_settings_store store;
    std::vector<launch_call> launches;
    bool launch_result = true;
    std::function<void()> saved_preview;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        store.values["Message6"] = "1";   // help pop-up 6 stays away unless a test wants it
        set_settings_store(&store);
        hooks().yield_events = [] { QCoreApplication::processEvents(); };
        settings() = config_settings{};
        run() = run_flags{};
        editors() = editor_state{};
        program().windows_dir = dir() + "/";
        program().data_folder = dir() + "/Lumivane Data/";
        QDir().mkpath(QString::fromStdString(program().data_folder));
        reset_effect_table();
        new_random_defaults();
        new_custom_defaults();
        for (auto& f : program().last_random_folders) f = dir() + "/";
        saved_preview = frmRandom::play_preview;
        frmRandom::play_preview = [] { ADD_FAILURE() << "no preview expected"; };
        frmRandom::launcher = [this](const std::string& f, const std::string& p, const std::string& w) {
            launches.push_back({f, p, w});
            return launch_result;
        };
    }

    void TearDown() override {
        flush();
        frmRandom::play_preview = saved_preview;
        set_settings_store(nullptr);
        hooks().yield_events = nullptr;
    }

    static void flush() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    std::string dir() const { return tmp.path().toStdString(); }

    std::string make_dir(const std::string& rel) {
        const std::string p = dir() + "/" + rel;
        EXPECT_TRUE(QDir().mkpath(QString::fromStdString(p)));
        return p + "/";
    }

    void make_picture(const std::string& folder, const std::string& name) {
        QImage img(32, 24, QImage::Format_RGB32);
        img.fill(Qt::red);
        ASSERT_TRUE(img.save(QString::fromStdString(folder + name), "PNG"));
    }

    void make_file(const std::string& path, const std::string& bytes = "RIFF....") {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }

    static std::string read_all(const std::string& path) {
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }

    // The main screen's hand-off: the flag goes to 1, the editor shows modeless.
    QPointer<frmRandom> open_editor() {
        editors().random_editor_open = 1;
        auto* w = new frmRandom;
        w->show();
        QCoreApplication::processEvents();
        return w;
    }

    static std::vector<std::string> entries(QListWidget* l) {
        std::vector<std::string> out;
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
        return out;
    }

    // A picture folder, a background folder and a music folder ready to add.
    struct folders {
        std::string pics, bgs, music;
    };
    folders make_media() {
        folders f{make_dir("pics"), make_dir("bgs"), make_dir("music")};
        make_picture(f.pics, "a.png");
        make_picture(f.pics, "b.jpg");
        make_picture(f.bgs, "back.bmp");
        make_file(f.music + "tune.wav");
        return f;
    }
    void add_media(frmRandom& w, const folders& f) {
        w.set_folder(0, f.pics);
        w.add_folder(0);
        w.set_folder(1, f.bgs);
        w.add_folder(1);
        w.set_folder(2, f.music);
        w.add_folder(2);
    }
};

TEST_F(RandomEditorTest, WindowTextsAndPanels) {
    auto w = open_editor();
    EXPECT_EQ(w->windowTitle(), "Lumivane - Simple SlideShow Editor");
    EXPECT_EQ(w->Frame1[0]->title(), "Select Image Folders");
    EXPECT_EQ(w->Frame1[1]->title(), "Select Background Folders (Tiled Background)");
    EXPECT_EQ(w->Frame1[2]->title(), "Select Audio Folders");
    EXPECT_EQ(w->Command21->text(), "&Save And Exit");
    EXPECT_EQ(w->Command20->toolTip(), " Cancel and exit without saving ");
    ASSERT_EQ(w->Combo1->count(), 13);
    EXPECT_EQ(w->Combo1->itemText(0), "Center Full Screen 100%");
    EXPECT_EQ(w->Combo1->itemText(12), "Bottom Justify Right");
    // Each panel opens on its remembered folder and lists only its own kinds.
    const std::string f = make_dir("mixed");
    make_picture(f, "Pic.PNG");
    make_file(f + "song.mp3");
    make_file(f + "clip.avi");
    make_file(f + "notes.txt");
    for (int k = 0; k < 3; ++k) w->set_folder(k, f);
    auto names = [&](int k) {
        std::vector<std::string> out;
        for (int i = 0; i < w->File1[k]->count(); ++i) out.push_back(w->File1[k]->item(i)->text().toStdString());
        return out;
    };
    EXPECT_EQ(names(0), (std::vector<std::string>{"clip.avi", "Pic.PNG"}));
    EXPECT_EQ(names(1), (std::vector<std::string>{"Pic.PNG"}));
    EXPECT_EQ(names(2), (std::vector<std::string>{"song.mp3"}));
    EXPECT_EQ(w->file_folder(0), f);
    w->close();
}

TEST_F(RandomEditorTest, AddingFoldersOnceEachCaseSensitiveAndPerList) {
    const std::string lower = make_dir("pics");
    const std::string upper = make_dir("PICS");
    auto w = open_editor();
    w->set_folder(0, lower);
    w->add_folder(0);
    w->add_folder(0);
    w->set_folder(0, upper);
    w->add_folder(0);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{lower, upper}));
    // A folder given without its trailing separator is added with it.
    w->set_folder(1, dir() + "/pics");
    w->add_folder(1);
    EXPECT_EQ(entries(w->List1[1]), (std::vector<std::string>{lower}));
    EXPECT_EQ(w->List1[2]->count(), 0);
    w->close();
}

TEST_F(RandomEditorTest, FolderNamesTheFileCannotStoreAreRefusedWhenAdded) {
    const std::string quoted = make_dir("trip \"2024\"");
    const std::string broken = make_dir("two\nlines");
    const std::string fine = make_dir("fine");
    auto w = open_editor();
    for (const std::string& folder : {quoted, broken}) {
        auto seen = std::make_shared<seen_box>();
        answer_message_box(seen);
        w->set_folder(1, folder);
        w->Command1[1]->click();
        EXPECT_EQ(seen->title, "Lumivane");
        EXPECT_NE(seen->text.find(lv::printable_path(folder)), std::string::npos) << seen->text;
        EXPECT_NE(seen->text.find("cannot store"), std::string::npos) << seen->text;
    }
    EXPECT_EQ(w->List1[1]->count(), 0);
    w->set_folder(1, fine);
    w->Command1[1]->click();
    EXPECT_EQ(entries(w->List1[1]), (std::vector<std::string>{fine}));
    w->close();
}

TEST_F(RandomEditorTest, EachListHoldsAtMostOneHundredFolders) {
    std::vector<std::string> many;
    for (int i = 0; i < 101; ++i) many.push_back(make_dir("f" + std::to_string(i)));
    auto w = open_editor();
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 100; ++i) {
            w->set_folder(k, many[static_cast<std::size_t>(i)]);
            w->add_folder(k);
        }
        ASSERT_EQ(w->List1[k]->count(), 100);
        auto seen = std::make_shared<seen_box>();
        answer_message_box(seen);
        w->set_folder(k, many[100]);
        w->add_folder(k);
        EXPECT_EQ(seen->title, "Folder Capacity Reached!");
        EXPECT_EQ(seen->text, "You can only add up to 100 folders!");
        EXPECT_EQ(w->List1[k]->count(), 100) << k;
        // An entry already there is no capacity problem: nothing happens.
        w->set_folder(k, many[0]);
        w->add_folder(k);
        EXPECT_EQ(w->List1[k]->count(), 100);
    }
    w->collect_folders();
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(doc().random_folder_counts[k], 100);
        EXPECT_EQ(doc().random_folders[k][100], many[99]);
    }
    w->close();
}

TEST_F(RandomEditorTest, RemoveMoveAndTheButtonTimer) {
    const std::string a = make_dir("a"), b = make_dir("b"), c = make_dir("c");
    auto w = open_editor();
    EXPECT_EQ(w->Timer1->interval(), 200);
    EXPECT_TRUE(w->Timer1->isActive());
    // An empty image list: nothing to save or preview.
    EXPECT_FALSE(w->Command21->isEnabled());
    EXPECT_FALSE(w->Command22->isEnabled());
    for (const auto& f : {a, b, c}) {
        w->set_folder(0, f);
        w->add_folder(0);
    }
    ASSERT_TRUE(lv::test::wait_ticks(w->Timer1));   // the timer catches up by itself
    EXPECT_TRUE(w->Command21->isEnabled());
    EXPECT_TRUE(w->Command22->isEnabled());
    EXPECT_FALSE(w->Command2[0]->isEnabled());   // nothing selected
    EXPECT_FALSE(w->Command5[0]->isEnabled());

    // Without a selection nothing moves and nothing is removed.
    w->move_down(0);
    w->move_up(0);
    w->remove_folder(0);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{a, b, c}));

    w->List1[0]->setCurrentRow(0);
    w->timer1_tick();
    EXPECT_TRUE(w->Command2[0]->isEnabled());
    EXPECT_TRUE(w->Command5[0]->isEnabled());
    EXPECT_TRUE(w->Command6[0]->isEnabled());
    w->move_up(0);   // first entry: stays
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{a, b, c}));
    w->move_down(0);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{b, a, c}));
    EXPECT_EQ(w->selected_index(0), 1);
    w->move_down(0);
    w->move_down(0);   // last entry: stays
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{b, c, a}));
    EXPECT_EQ(w->selected_index(0), 2);
    w->move_up(0);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{b, a, c}));
    EXPECT_EQ(w->selected_index(0), 1);

    w->remove_folder(0);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{b, c}));
    EXPECT_EQ(w->selected_index(0), -1);
    w->remove_folder(0);   // the removal took the selection with it
    EXPECT_EQ(w->List1[0]->count(), 2);

    // One entry selected: removable, not movable.
    w->List1[0]->setCurrentRow(0);
    w->remove_folder(0);
    w->List1[0]->setCurrentRow(0);
    w->timer1_tick();
    EXPECT_TRUE(w->Command2[0]->isEnabled());
    EXPECT_FALSE(w->Command5[0]->isEnabled());
    EXPECT_FALSE(w->Command6[0]->isEnabled());
    w->remove_folder(0);
    ASSERT_TRUE(lv::test::wait_ticks(w->Timer1));
    EXPECT_FALSE(w->Command21->isEnabled());
    EXPECT_FALSE(w->Command22->isEnabled());
    w->close();
}

TEST_F(RandomEditorTest, SpaceOnRemoveTakesOneFolderAndTheNextSpaceNothingElse) {
    const std::string a = make_dir("a"), b = make_dir("b"), c = make_dir("c");
    auto w = open_editor();
    w->activateWindow();
    for (const auto& f : {a, b, c}) {
        w->set_folder(0, f);
        w->add_folder(0);
    }
    w->List1[0]->setCurrentRow(1);
    w->timer1_tick();
    const auto space = [] {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(target, &release);
    };
    w->Command2[0]->setFocus(Qt::TabFocusReason);
    space();
    ASSERT_TRUE(lv::test::wait_ticks(w->Timer1));   // the button timer greys Remove out: nothing is selected now
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{a, c}));
    EXPECT_FALSE(w->Command2[0]->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), w->List1[0]);
    space();   // lands on the list, which only selects
    lvtest::spin(50);
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{a, c}));
    w->close();
}

TEST_F(RandomEditorTest, OptionsGoIntoTheDefinition) {
    auto w = open_editor();
    auto& d = doc();
    // The opening shows the definition.
    EXPECT_TRUE(w->Option1[1]->isChecked());
    EXPECT_TRUE(w->Check2->isChecked());
    EXPECT_FALSE(w->Check1->isChecked());   // border_off 1 after a reset
    EXPECT_EQ(w->HScroll1->value(), 10);
    EXPECT_EQ(w->Label1->text(), "10");
    EXPECT_EQ(w->Combo1->currentIndex(), 1);

    // The delay goes in at once, the others when the values are gathered.
    w->HScroll1->setValue(45);
    EXPECT_EQ(d.random_image_delay, 45);
    EXPECT_EQ(w->Label1->text(), "45");
    w->Option1[2]->setChecked(true);
    w->Check1->setChecked(true);
    w->Check2->setChecked(false);
    w->Combo1->setCurrentIndex(11);
    w->get_values();
    EXPECT_EQ(d.random_effect_speed, 2);
    EXPECT_EQ(d.border.border_off, 0);
    EXPECT_EQ(d.random_show_file_names, 0);
    EXPECT_EQ(d.random_image_delay, 45);
    EXPECT_EQ(d.random_display_position, 11);
    w->close();
}

TEST_F(RandomEditorTest, NameBoxRefusesCharactersTheFileCannotHold) {
    auto w = open_editor();
    w->Text3->setFocus();
    for (QChar ch : QStringLiteral("My.Sh,o\"w")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w->Text3, &press);
    }
    EXPECT_EQ(w->Text3->text(), "MyShow");
    EXPECT_EQ(doc().random_name, "MyShow");
    // Pasted text passes the same filter.
    QApplication::clipboard()->setText(QStringLiteral(" 2.0,\"x\""));
    w->Text3->end(false);
    w->Text3->paste();
    EXPECT_EQ(doc().random_name, "MyShow 20x");
    EXPECT_EQ(w->Text3->text(), "MyShow 20x");
    w->close();
}

TEST_F(RandomEditorTest, EveryEditingKeyWorksInTheNameBox) {
    doc().random_name = "Holiday";
    editors().editing_existing = 1;
    auto w = open_editor();
    lvtest::expect_name_box_edits_as_a_line_edit(w->Text3, [] { return doc().random_name; });
    w->close();
}

TEST_F(RandomEditorTest, SeparatorsTypedIntoTheNameAreDroppedAndTheSaveLandsInTheDataFolder) {
    const folders f = make_media();
    for (const auto& [keys, name] : {std::pair<QString, std::string>{"../../x", "x"}, {"a/b", "ab"}, {"c\\d", "cd"}}) {
        new_random_defaults();
        auto w = open_editor();
        add_media(*w, f);
        w->Text3->setFocus();
        QTest::keyClicks(w->Text3, keys);
        EXPECT_EQ(w->Text3->text().toStdString(), name);
        ASSERT_TRUE(lv::test::wait_for([&w] { return w->Command21->isEnabled(); }));
        auto seen = std::make_shared<seen_box>();
        QPointer<QTimer> watch = when_modal<QMessageBox>(
            [seen](QMessageBox* b) {
                seen->text = b->text().toStdString();
                b->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        w->Command21->click();
        flush();
        if (watch) delete watch.data();
        EXPECT_EQ(seen->text, "") << name;
        EXPECT_TRUE(w.isNull()) << name;
        EXPECT_EQ(settings().active_slideshow, name + ".lmv");
        EXPECT_TRUE(QFile::exists(QString::fromStdString(program().data_folder + name + ".lmv"))) << name;
    }
    EXPECT_EQ(QDir(QString::fromStdString(program().data_folder)).entryList(QDir::Files).size(), 3);
    EXPECT_TRUE(QDir(QString::fromStdString(dir())).entryList({"*.lmv"}, QDir::Files).isEmpty());
}

TEST_F(RandomEditorTest, StoredNameShowsAsItIsAndSavesUnderItsOwnFile) {
    // A slideshow file can carry any of the refused characters in its name
    // (one made by hand, say); opening must not rename the show behind the
    // user's back.
    for (const std::string name : {"My.Show", "A,B", "Say \"Hi\""}) {
        doc().random_name = name;
        editors().editing_existing = 1;
        auto w = open_editor();
        EXPECT_EQ(w->Text3->text().toStdString(), name);
        EXPECT_EQ(doc().random_name, name);
        // Typing still passes the filter, even next to a stored refused character.
        w->Text3->setFocus();
        w->Text3->end(false);
        QKeyEvent dot(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("."));
        QApplication::sendEvent(w->Text3, &dot);
        QKeyEvent x(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(w->Text3, &x);
        EXPECT_EQ(doc().random_name, name + "x");
        EXPECT_EQ(w->Text3->cursorPosition(), static_cast<int>(QString::fromStdString(name).size()) + 1);
        w->close();
        flush();
    }
}

TEST_F(RandomEditorTest, NewSlideshowStartsEmptyExistingOneBringsItsFolders) {
    auto& d = doc();
    d.random_folder_counts = {2, 1, 1};
    d.random_folders[0][1] = "/x/";
    d.random_folders[0][2] = "/y/";
    d.random_folders[1][1] = "/b/";
    d.random_folders[2][1] = "/m/";
    editors().editing_existing = 0;
    auto fresh = open_editor();
    for (int k = 0; k < 3; ++k) EXPECT_EQ(fresh->List1[k]->count(), 0);
    fresh->close();
    flush();

    editors().editing_existing = 1;
    auto w = open_editor();
    EXPECT_EQ(entries(w->List1[0]), (std::vector<std::string>{"/x/", "/y/"}));
    EXPECT_EQ(entries(w->List1[1]), (std::vector<std::string>{"/b/"}));
    EXPECT_EQ(entries(w->List1[2]), (std::vector<std::string>{"/m/"}));
    // Entries beyond the new count are left where they were.
    w->List1[0]->setCurrentRow(1);
    w->remove_folder(0);
    w->collect_folders();
    EXPECT_EQ(d.random_folder_counts[0], 1);
    EXPECT_EQ(d.random_folders[0][2], "/y/");
    w->close();
}

TEST_F(RandomEditorTest, ValuesTheControlsCannotShowDoNotBreakTheOpening) {
    // Hand-made files can carry anything the number fields hold.
    auto& d = doc();
    d.random_image_delay = 500;
    d.random_effect_speed = 7;
    d.random_display_position = 40;
    d.border.border_off = 5;
    auto w = open_editor();
    EXPECT_EQ(w->HScroll1->value(), 120);
    EXPECT_EQ(w->Label1->text(), "120");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(w->Option1[i]->isChecked());
    EXPECT_EQ(w->Combo1->currentIndex(), -1);
    w->get_values();
    EXPECT_EQ(d.random_image_delay, 120);
    EXPECT_EQ(d.random_effect_speed, 7);       // nothing chosen: kept
    EXPECT_EQ(d.random_display_position, 40);  // nothing chosen: kept
    EXPECT_EQ(d.border.border_off, 1);         // shown unchecked, stored as no border
    w->close();
}

TEST_F(RandomEditorTest, SaveAndExitWritesAFileTheLoaderReadsBack) {
    const folders f = make_media();
    auto w = open_editor();
    add_media(*w, f);
    w->Text3->setText(QStringLiteral("Holiday"));
    w->Option1[0]->setChecked(true);
    w->Check1->setChecked(true);
    w->HScroll1->setValue(33);
    w->Combo1->setCurrentIndex(8);
    doc().caption_settings.caption_settings_font_name = "DejaVu Sans";
    w->save_and_exit();
    flush();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(editors().random_editor_open, 0);
    EXPECT_EQ(settings().active_slideshow, "Holiday.lmv");
    // The build ran as the check and its sequences stay in memory.
    EXPECT_EQ(doc().image_count, 2);

    const std::string path = program().data_folder + "Holiday.lmv";
    new_random_defaults();
    ASSERT_EQ(load_random_file(path), 0);
    auto& d = doc();
    EXPECT_EQ(d.random_name, "Holiday");
    EXPECT_EQ(d.random_effect_speed, 0);
    EXPECT_EQ(d.border.border_off, 0);
    EXPECT_EQ(d.random_image_delay, 33);
    EXPECT_EQ(d.random_display_position, 8);
    EXPECT_EQ(d.caption_settings.caption_settings_font_name, "DejaVu Sans");
    EXPECT_EQ(d.random_folder_counts, (std::array<int, 3>{1, 1, 1}));
    EXPECT_EQ(d.random_folders[0][1], f.pics);
    EXPECT_EQ(d.random_folders[1][1], f.bgs);
    EXPECT_EQ(d.random_folders[2][1], f.music);
}

TEST_F(RandomEditorTest, SavingUnderAnExistingNameReplacesItSilently) {
    const folders f = make_media();
    const std::string path = program().data_folder + "Same.lmv";
    make_file(path, "old contents\r\n");
    auto w = open_editor();
    add_media(*w, f);
    w->Text3->setText(QStringLiteral("Same"));
    w->HScroll1->setValue(77);
    w->save_and_exit();   // no box: a box would block here
    flush();
    EXPECT_TRUE(w.isNull());
    new_random_defaults();
    ASSERT_EQ(load_random_file(path), 0);
    EXPECT_EQ(doc().random_image_delay, 77);
}

TEST_F(RandomEditorTest, SaveRefusalsKeepTheEditorOpen) {
    const folders f = make_media();
    const std::string empty = make_dir("empty");
    auto w = open_editor();

    struct refusal {
        std::string name;
        std::string image_folder;
        std::string text;
    };
    const std::vector<refusal> cases = {
        {"", f.pics, "Please enter a name for this slideshow!"},
        {"Nothing", empty, "No images to display were found! Please select a folder(s) with images in them."},
        {"a/b", f.pics, "Error During File Save! Please check storage media."},
        {"a\\b", f.pics, "Error During File Save! Please check storage media."},
    };
    for (const refusal& c : cases) {
        w->List1[0]->clear();
        w->set_folder(0, c.image_folder);
        w->add_folder(0);
        w->Text3->setText(QString::fromStdString(c.name));
        auto seen = std::make_shared<seen_box>();
        answer_message_box(seen);
        w->save_and_exit();
        EXPECT_EQ(seen->title, "Lumivane") << c.text;
        EXPECT_EQ(seen->text, c.text);
        EXPECT_EQ(seen->buttons, 1);
        flush();
        ASSERT_FALSE(w.isNull()) << c.text;
        EXPECT_EQ(editors().random_editor_open, 1);
    }
    EXPECT_TRUE(QDir(QString::fromStdString(program().data_folder)).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(settings().active_slideshow, "");

    // A folder that cannot be scanned (its name is too long for the file
    // system): the build fails.
    w->List1[0]->clear();
    w->List1[0]->addItem(QString::fromStdString(f.pics + std::string(300, 'x') + "/"));
    w->Text3->setText(QStringLiteral("Broken"));
    auto seen = std::make_shared<seen_box>();
    answer_message_box(seen);
    w->save_and_exit();
    EXPECT_EQ(seen->text, "Error trying to build SlideShow data! Cannot save SlideShow!");
    EXPECT_FALSE(w.isNull());

    // A data folder that is gone: the save fails and says so.
    w->List1[0]->clear();
    w->set_folder(0, f.pics);
    w->add_folder(0);
    program().data_folder = dir() + "/gone/";
    seen = std::make_shared<seen_box>();
    answer_message_box(seen);
    w->save_and_exit();
    EXPECT_EQ(seen->text, "Error During File Save! Please check storage media.");
    flush();
    EXPECT_FALSE(w.isNull());
    EXPECT_EQ(settings().active_slideshow, "");
    w->close();
}

TEST_F(RandomEditorTest, CancelLeavesTheFileUntouched) {
    const folders f = make_media();
    // An existing slideshow on disk, loaded as the main screen loads it.
    doc().random_name = "Kept";
    doc().random_folder_counts = {1, 0, 0};
    doc().random_folders[0][1] = f.pics;
    const std::string path = program().data_folder + "Kept.lmv";
    ASSERT_EQ(lv::save_random(path), 0);
    const std::string before = read_all(path);
    new_random_defaults();
    ASSERT_EQ(load_random_file(path), 0);
    editors().editing_existing = 1;

    auto w = open_editor();
    w->set_folder(1, f.bgs);
    w->add_folder(1);
    w->HScroll1->setValue(99);
    w->Text3->setText(QStringLiteral("Renamed"));
    w->Command20->click();
    flush();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(editors().random_editor_open, 0);
    EXPECT_EQ(read_all(path), before);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(program().data_folder + "Renamed.lmv")));
    EXPECT_EQ(settings().active_slideshow, "");
    // The panels' folders are remembered for the next opening.
    EXPECT_EQ(program().last_random_folders[1], f.bgs);
    EXPECT_EQ(program().last_random_folders[0], dir() + "/");
}

TEST_F(RandomEditorTest, EveryWayOfClosingDropsTheOpenFlag) {
    const std::string pics = make_dir("pics");
    {   // the close box
        auto w = open_editor();
        w->set_folder(2, pics);
        w->close();
        flush();
        EXPECT_TRUE(w.isNull());
        EXPECT_EQ(editors().random_editor_open, 0);
        EXPECT_EQ(program().last_random_folders[2], pics);
    }
    {   // destroyed with its owner, never closed
        auto* w = new frmRandom;
        editors().random_editor_open = 1;
        delete w;
        EXPECT_EQ(editors().random_editor_open, 0);
    }
    {   // the next opening starts where the last one ended
        auto w = open_editor();
        EXPECT_EQ(w->file_folder(2), pics);
        w->Command20->click();
        flush();
        EXPECT_EQ(editors().random_editor_open, 0);
    }
}

TEST_F(RandomEditorTest, PreviewPlaysTheBuiltShowAndCleansUp) {
    const folders f = make_media();
    settings().presentation_mode = 1;
    run().screensaver_slideshow_path = "/somewhere/else.lmv";
    auto w = open_editor();
    add_media(*w, f);
    struct during {
        int origin = -1, presentation = -1, images = -1, music = -1;
        std::string path = "unset";
        bool close_refused = false;
    } seen;
    frmRandom::play_preview = [&] {
        seen.origin = run().show_origin;
        seen.presentation = settings().presentation_mode;
        seen.images = doc().image_count;
        seen.music = doc().music_count;
        seen.path = run().screensaver_slideshow_path;
        // The editor cannot go away under its own preview.
        w->close();
        seen.close_refused = !w.isNull() && w->isVisible();
    };
    w->timer1_tick();
    w->Command22->click();
    EXPECT_EQ(seen.origin, 2);
    EXPECT_EQ(seen.presentation, 0);
    EXPECT_EQ(seen.images, 2);
    EXPECT_EQ(seen.music, 1);
    EXPECT_EQ(seen.path, "");
    EXPECT_TRUE(seen.close_refused);
    EXPECT_EQ(editors().random_editor_open, 1);
    EXPECT_EQ(run().show_origin, 0);
    EXPECT_EQ(doc().image_count, 0);
    EXPECT_EQ(doc().music_count, 0);
    EXPECT_EQ(doc().sequences.size(), 1u);
    EXPECT_EQ(doc().music_files.size(), 1u);
    EXPECT_EQ(settings().presentation_mode, 1);

    // Nothing to show: a box, and no player.
    int plays = 0;
    frmRandom::play_preview = [&] { ++plays; };
    w->List1[0]->clear();
    w->set_folder(0, make_dir("empty"));
    w->add_folder(0);
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->preview();
    EXPECT_EQ(box->text, "No images to display were found! Please select a folder(s) with images in them.");
    EXPECT_EQ(plays, 0);
    EXPECT_EQ(settings().presentation_mode, 1);

    w->List1[0]->clear();
    w->List1[0]->addItem(QString::fromStdString(f.pics + std::string(300, 'x') + "/"));
    box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->preview();
    EXPECT_EQ(box->text, "Error trying to build SlideShow data! Cannot display SlideShow!");
    EXPECT_EQ(plays, 0);
    w->close();
}

TEST_F(RandomEditorTest, PreviewRunsTheRealPlayer) {
    const folders f = make_media();
    frmRandom::play_preview = saved_preview;
    frmSlideshow::manual_timers = false;
    frmSlideshow::password_prompt = nullptr;
    frmSlideshow::wallpaper_saver = nullptr;
    auto& a = frmSlideshow::audio();
    a.play_sound = [](const std::string&) {};
    a.play_music = [](const std::string&) {};
    a.stop_sound = [] {};
    a.stop_all = [] {};
    a.sound_busy = [] { return false; };
    a.music_busy = [] { return false; };
    auto w = open_editor();
    add_media(*w, f);
    int origin_seen = -1;
    QTimer probe;
    probe.setInterval(100);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() && qobject_cast<frmSlideshow*>(QApplication::activeModalWidget())) {
            origin_seen = run().show_origin;
            run().time_to_end = 1;
        }
    });
    probe.start();
    w->preview();
    probe.stop();
    frmSlideshow::reset_audio();
    frmSlideshow::manual_timers = true;
    EXPECT_EQ(origin_seen, 2);
    EXPECT_EQ(run().show_finished, 1);
    EXPECT_EQ(run().show_origin, 0);
    EXPECT_EQ(doc().image_count, 0);
    EXPECT_FALSE(w.isNull());
    w->close();
}

TEST_F(RandomEditorTest, HotKeysAndHelpLaunchFilesOrSaySoWhenTheyCannot) {
    settings().hot_keys[2] = "/opt/tools/viewer";
    settings().install_path = "/opt/lumivane/";
    auto w = open_editor();
    // F3 while a list has the focus: the window still sees it.
    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::ShiftModifier);
    QApplication::sendEvent(w->List1[1], &f3);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].file, "/opt/tools/viewer");
    EXPECT_EQ(launches[0].parameters, "");
    EXPECT_EQ(launches[0].folder, "/opt/tools/");

    auto seen = std::make_shared<seen_box>();
    answer_message_box(seen);
    QKeyEvent f12(QEvent::KeyPress, Qt::Key_F12, Qt::NoModifier);
    QApplication::sendEvent(w.data(), &f12);
    EXPECT_EQ(seen->title, "Hot Key");
    EXPECT_EQ(seen->text,
              "There is no file assoicated with the F12 key.\n\n"
              "Please go to the OPTIONS screen to edit the hot key settings.");
    EXPECT_EQ(launches.size(), 1u);

    // Other keys do nothing.
    EXPECT_FALSE(w->hot_key(Qt::Key_Escape));

    launch_result = false;
    seen = std::make_shared<seen_box>();
    answer_message_box(seen);
    w->Command7->click();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].file, "/opt/lumivane/help.hlp");
    EXPECT_EQ(launches[1].folder, "/opt/lumivane/");
    EXPECT_EQ(seen->title, "Lumivane");
    EXPECT_EQ(seen->text, "Error Launching Program!\n/opt/lumivane/help.hlp\nPlease check the source file.");
    w->close();
}

TEST_F(RandomEditorTest, DrivesAndUnreadablePlaces) {
    const std::vector<std::string> roots{"/", "/home/u/", "/media/u/stick/"};
    EXPECT_EQ(frmRandom::drive_of("/home/u/pics/", roots), "/home/u/");
    EXPECT_EQ(frmRandom::drive_of("/home/u", roots), "/home/u/");
    EXPECT_EQ(frmRandom::drive_of("/home/user2/", roots), "/");
    EXPECT_EQ(frmRandom::drive_of("/media/u/stick/x/", roots), "/media/u/stick/");
    const auto real = frmRandom::drive_roots();
    ASSERT_GE(real.size(), 1u);
    EXPECT_EQ(real[0], "/");

    const std::string pics = make_dir("pics");
    program().last_random_folders[0] = pics;
    auto w = open_editor();
    w->set_folder(0, make_dir("other"));
    // A drive that cannot be read sends the panel back to its remembered folder.
    w->set_drive(0, dir() + "/no such drive/");
    EXPECT_EQ(w->file_folder(0), pics);
    w->set_drive(0, "/");
    EXPECT_EQ(w->file_folder(0), "/");
    w->close();
    flush();

    // A remembered folder that has gone: the nearest folder above it.
    program().last_random_folders[1] = dir() + "/gone/deeper/";
    auto again = open_editor();
    EXPECT_EQ(again->file_folder(1), dir() + "/");
    again->close();
}

TEST_F(RandomEditorTest, CaptionDialogEditsTheCaptionLookAfterGatheringValues) {
    auto w = open_editor();
    w->Check2->setChecked(false);
    const caption_settings_record before = doc().caption_settings;
    bool opened = false;
    when_modal<frmCaptionSettings>([&](frmCaptionSettings* dlg) {
        opened = true;
        dlg->Command2_Click();   // Cancel
    });
    w->Command4->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(doc().random_show_file_names, 0);   // gathered before the dialog
    EXPECT_EQ(doc().caption_settings.caption_settings_font_name, before.caption_settings_font_name);
    EXPECT_EQ(doc().caption_settings.caption_settings_style, before.caption_settings_style);

    when_modal<frmCaptionSettings>([&](frmCaptionSettings* dlg) {
        dlg->update_style(0);
        dlg->Command1_Click();   // Save And Exit
    });
    w->caption_config();
    EXPECT_EQ(doc().caption_settings.caption_settings_style, 0);
    w->close();
}

TEST_F(RandomEditorTest, BorderDialogDecidesTheDisplayBorderBox) {
    auto w = open_editor();
    w->Check1->setChecked(true);
    bool saw_border_on = false;
    // The dialog opens on what the window shows and may switch it off.
    when_modal<FrmBorder>([&](FrmBorder* dlg) {
        saw_border_on = doc().border.border_off == 0;
        dlg->Check1->setChecked(true);   // "Do not display border"
        dlg->Command3_Click();           // Cancel still stores the box
    });
    w->Command3->click();
    EXPECT_TRUE(saw_border_on);
    EXPECT_EQ(doc().border.border_off, 1);
    EXPECT_FALSE(w->Check1->isChecked());

    when_modal<FrmBorder>([&](FrmBorder* dlg) {
        dlg->Check1->setChecked(false);
        dlg->Command2_Click();
    });
    w->border_config();
    EXPECT_EQ(doc().border.border_off, 0);
    EXPECT_TRUE(w->Check1->isChecked());
    w->close();
}

TEST_F(RandomEditorTest, HelpPopUpSixOnTheFirstActivationOnly) {
    store.values.erase("Message6");
    int shown = 0;
    auto watch = [&] {
        return when_modal<frmPopmessage>(
            [&](frmPopmessage* p) {
                ++shown;
                EXPECT_EQ(help_popup().message_number, 6);
                p->done(0);
            },
            lvtest::hang_guard_ms, false);
    };
    watch();
    auto w = open_editor();
    EXPECT_TRUE(lv::test::wait_for([&shown] { return shown == 1; }));
    QPointer<QTimer> second = watch();
    w->hide();
    w->show();
    lvtest::spin(300);
    EXPECT_EQ(shown, 1);
    w->close();
    if (second) delete second.data();
}

}  // namespace
