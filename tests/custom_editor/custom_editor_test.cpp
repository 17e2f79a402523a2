// The custom editor window: opening, showing and storing a sequence, the
// change handlers, step buttons, key filters, the audio preview, hot keys,
// help and closing.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <memory>
#include <vector>

#include "custom_editor/frmCustom.h"
#include "platform/media/audio.h"
#include "tests/custom_editor/frmCustom_fixture.h"
#include "tests/name_box_keys.h"

using namespace lvtest;

namespace {

class CustomEditor : public editor_fixture {};

// Three sequences whose pictures exist, under the name "Holiday".
class ExistingSlideshow : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::doc().custom_name = "Holiday";
        for (int n = 1; n <= 3; ++n) rec[n] = add_sequence(picture(QString("pic%1.png").arg(n)), n);
    }
    lv::sequence_record rec[4];
};

TEST_F(CustomEditor, NewSlideshowOpensEmptyWithOnlyAddHelpCancelAndNameUsable) {
    auto* w = open_editor(false);
    EXPECT_EQ(w->windowTitle().toStdString(), "Lumivane - Custom SlideShow Editor");
    EXPECT_EQ(w->List1->count(), 0);
    EXPECT_EQ(w->Label2->text().toStdString(), "Total Images=0");
    EXPECT_EQ(w->Label10->text().toStdString(), "Image: 0");
    EXPECT_EQ(w->current_image, -1);
    EXPECT_EQ(lv::editors().image_preview_left, -1);
    EXPECT_EQ(lv::editors().image_preview_height, -1);
    for (QWidget* on : std::vector<QWidget*>{w->Command4, w->Command3, w->Command20, w->Text3})
        EXPECT_TRUE(on->isEnabled());
    for (QWidget* off : std::vector<QWidget*>{w->List1, w->Frame1, w->Frame2, w->Frame3, w->Frame4, w->Command21,
                                              w->Command22, w->Command24, w->Command25, w->Command34, w->Command1,
                                              w->Command2, w->Command5, w->Command6, w->Command10, w->Command32})
        EXPECT_FALSE(off->isEnabled());
    EXPECT_EQ(w->Combo1->count(), 13);
    EXPECT_EQ(w->Combo2->count(), 106);
    EXPECT_EQ(w->Combo3->count(), 9);
    EXPECT_EQ(w->Combo3->itemText(0).toStdString(), "Top Justify Left");
    EXPECT_EQ(w->Combo5->itemText(3).toStdString(), "Display Image Until Audio Is Done");
    EXPECT_EQ(w->Combo6->itemText(1).toStdString(), "Stretch To Screen");

    // A name is stored without any selection; a full stop never gets in.
    type(w->Text3, "My.Show");
    EXPECT_EQ(lv::doc().custom_name, "MyShow");
    EXPECT_EQ(w->Text3->text().toStdString(), "MyShow");
    EXPECT_EQ(lv::doc().image_count, 0);
}

TEST_F(ExistingSlideshow, OpensOnTheFirstSequenceWithEveryFieldShown) {
    auto* w = open_editor(true);
    ASSERT_EQ(w->List1->count(), 3);
    EXPECT_EQ(w->List1->item(1)->text().toStdString(), "pic2.png");
    EXPECT_EQ(w->current_image, 1);
    EXPECT_EQ(w->List1->currentRow(), 0);
    EXPECT_EQ(w->Label2->text().toStdString(), "Total Images=3");
    EXPECT_EQ(w->Label10->text().toStdString(), "Image: 1");
    EXPECT_EQ(w->Text3->text().toStdString(), "Holiday");
    const auto& r = rec[1];
    EXPECT_EQ(w->Label19->text().toStdString(), "pic1.png");
    EXPECT_EQ(w->Combo1->currentIndex(), r.display_position);
    EXPECT_EQ(w->Combo2->currentIndex(), r.display_effect);
    EXPECT_EQ(w->Label13->text().toInt(), r.effect_speed);   // not the table's speed
    EXPECT_EQ(w->Label14->text().toInt(), r.effect_grain);
    EXPECT_EQ(w->Label21->text().toInt(), r.display_time);
    EXPECT_EQ(w->Text2->text().toStdString(), r.notes);
    EXPECT_EQ(w->Text1->text().toStdString(), r.caption_text);
    EXPECT_EQ(w->Combo3->currentIndex(), r.caption_position);
    EXPECT_EQ(w->Combo4->currentIndex(), r.caption_effect);
    EXPECT_EQ(w->Label7->text().toInt(), r.caption_speed);
    EXPECT_EQ(w->Label6->text().toInt(), r.caption_grain);
    EXPECT_EQ(w->Label17->text().toStdString(), "tune1.wav");
    EXPECT_EQ(w->Combo5->currentIndex(), r.audio_mode);
    EXPECT_EQ(w->Label18->text().toStdString(), "back1.jpg");
    EXPECT_EQ(w->Combo6->currentIndex(), r.background_placement);
    EXPECT_EQ(w->Combo7->currentIndex(), r.background_effect);
    EXPECT_EQ(w->Label30->text().toInt(), r.background_speed);
    EXPECT_EQ(w->Label29->text().toInt(), r.background_grain);
    const auto& cs = lv::doc().caption_settings;
    EXPECT_EQ(cs.caption_settings_font_name, r.caption_font_name);
    EXPECT_EQ(cs.caption_settings_font_size, r.caption_font_size);
    EXPECT_EQ(cs.caption_settings_color, r.caption_color);
    EXPECT_EQ(cs.caption_settings_color_scheme, r.caption_color_scheme);
    // Showing a sequence writes nothing back.
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(same(seq(i), rec[i])) << i;
    EXPECT_EQ(lv::editors().image_preview_refresh, 2);
    EXPECT_TRUE(w->Command21->isEnabled());
}

TEST_F(ExistingSlideshow, EachControlWritesOnlyItsOwnField) {
    auto* w = open_editor(true);
    w->select_row(1);   // sequence 2
    ASSERT_EQ(w->current_image, 2);
    auto& ed = lv::editors();
    auto expect = rec[2];
    const auto& table = lv::effect_table();

    ed.image_preview_refresh = 0;
    w->Combo1->setCurrentIndex(12);
    expect.display_position = 12;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 2);

    ed.image_preview_refresh = 0;
    w->Combo2->setCurrentIndex(50);
    expect.display_effect = 50;
    expect.effect_speed = table[50].speed;
    expect.effect_grain = table[50].grain;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(w->Label13->text().toInt(), table[50].speed);
    EXPECT_EQ(ed.image_preview_refresh, 1);

    ed.image_preview_refresh = 0;
    w->Combo3->setCurrentIndex(8);
    expect.caption_position = 8;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 2);

    w->Combo4->setCurrentIndex(60);
    expect.caption_effect = 60;
    expect.caption_speed = table[60].speed;
    expect.caption_grain = table[60].grain;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 1);

    ed.image_preview_refresh = 0;
    w->Combo5->setCurrentIndex(3);
    expect.audio_mode = 3;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 0);

    w->Combo6->setCurrentIndex(1);
    expect.background_placement = 1;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 2);

    w->Combo7->setCurrentIndex(70);
    expect.background_effect = 70;
    expect.background_speed = table[70].speed;
    expect.background_grain = table[70].grain;
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 1);

    ed.image_preview_refresh = 0;
    w->Text1->selectAll();
    type(w->Text1, "Sun, \"set\"");
    expect.caption_text = "Sun set";
    EXPECT_TRUE(same(seq(2), expect));
    w->Text2->clear();
    type(w->Text2, "a,b\"c");
    expect.notes = "abc";
    EXPECT_TRUE(same(seq(2), expect));
    EXPECT_EQ(ed.image_preview_refresh, 0);

    // The other sequences were never touched.
    EXPECT_TRUE(same(seq(1), rec[1]));
    EXPECT_TRUE(same(seq(3), rec[3]));

    // Coming back to sequence 2 shows what was stored, not the table defaults.
    w->select_row(0);
    w->select_row(1);
    EXPECT_EQ(w->Label13->text().toInt(), expect.effect_speed);
    EXPECT_EQ(w->Text1->text().toStdString(), "Sun set");
    EXPECT_TRUE(same(seq(2), expect));
}

TEST_F(ExistingSlideshow, EnterInTheCaptionOnlyRedrawsAndPasteLosesRefusedCharacters) {
    auto* w = open_editor(true);
    lv::editors().image_preview_refresh = 0;
    const std::string before = seq(1).caption_text;
    type(w->Text1, "\r");
    EXPECT_EQ(seq(1).caption_text, before);
    EXPECT_EQ(lv::editors().image_preview_refresh, 2);

    // Pasted text cannot bring in what typing cannot (a paste inserts the
    // clipboard's text as one edit).
    w->Text3->clear();
    w->Text3->insert("x\"y,z.w");
    EXPECT_EQ(lv::doc().custom_name, "xyzw");
    EXPECT_EQ(w->Text3->text().toStdString(), "xyzw");
    w->Text2->clear();
    w->Text2->insert("x\"y,z.w");
    EXPECT_EQ(seq(1).notes, "xyz.w");
}

TEST_F(ExistingSlideshow, EveryEditingKeyWorksInTheNameBox) {
    auto* w = open_editor(true);
    expect_name_box_edits_as_a_line_edit(w->Text3, [] { return lv::doc().custom_name; });
}

TEST_F(ExistingSlideshow, StepButtonsStayInsideTheirRanges) {
    auto& s = lv::doc().sequences;
    s.display_time[1] = 240;
    s.effect_grain[1] = 1;
    s.effect_speed[1] = 1;
    s.background_speed[1] = 255;
    s.caption_grain[1] = 254;
    auto* w = open_editor(true);
    lv::editors().image_preview_refresh = 0;

    w->Command19->click();   // display time up at 240
    EXPECT_EQ(s.display_time[1], 240);
    w->Command18->click();
    EXPECT_EQ(s.display_time[1], 239);
    EXPECT_EQ(w->Label21->text().toStdString(), "239");
    w->Command12->click();   // grain down at 1
    EXPECT_EQ(s.effect_grain[1], 1);
    w->Command11->click();   // speed down reaches 0, then stays
    w->Command11->click();
    EXPECT_EQ(s.effect_speed[1], 0);
    EXPECT_EQ(w->Label13->text().toStdString(), "0");
    w->Command32->click();   // background speed up at 255
    EXPECT_EQ(s.background_speed[1], 255);
    w->Command14->click();   // caption grain up twice: 255 is the top
    w->Command14->click();
    EXPECT_EQ(s.caption_grain[1], 255);
    w->Command29->click();
    EXPECT_EQ(s.background_grain[1], rec[1].background_grain + 1);
    EXPECT_EQ(lv::editors().image_preview_refresh, 0);
    EXPECT_EQ(s.effect_speed[2], rec[2].effect_speed);
}

TEST_F(ExistingSlideshow, SelectingAMissingPictureWarnsAndStillShowsTheSequence) {
    auto* w = open_editor(true);
    QFile::remove(QString::fromStdString(rec[3].image_file));
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    lv::editors().image_preview_refresh = 0;
    w->select_row(2);
    EXPECT_EQ(box->title, "File Not Found! (Image 3)");
    EXPECT_EQ(box->text, "The file for this image cannot be found. Please select a new image.");
    EXPECT_EQ(box->icon, QMessageBox::NoIcon);
    EXPECT_EQ(box->buttons, 1);
    EXPECT_EQ(w->current_image, 3);
    EXPECT_EQ(w->Text1->text().toStdString(), rec[3].caption_text);
    EXPECT_EQ(lv::editors().image_preview_refresh, 0);
    EXPECT_TRUE(w->List1->isEnabled());
    EXPECT_EQ(w->display_guard, 0);
}

// The editor's own player, with a backend that plays nothing.
struct silent_playback : lv::audio_playback {};

TEST_F(ExistingSlideshow, AudioPreviewPicksTheDeviceByExtensionOrSaysThereIsNone) {
    std::vector<std::string> started;
    lv::set_audio_backend([&started](const std::string& source, std::function<void()>) {
        started.push_back(source);
        return std::make_unique<silent_playback>();
    });
    auto* w = open_editor(true);
    w->play_wav("/x/a.wav");
    EXPECT_EQ(w->MMControl1.device_type, "WaveAudio");
    w->play_wav("/x/b.MID");
    EXPECT_EQ(w->MMControl1.device_type, "Sequencer");
    w->play_wav("/x/c.rmi");
    EXPECT_EQ(w->MMControl1.device_type, "Sequencer");
    w->play_wav("/x/d.mp3");
    EXPECT_EQ(w->MMControl1.device_type, "MPEGVideo");
    EXPECT_EQ(started.size(), 4u);
    w->audio_off();
    EXPECT_FALSE(w->MMControl1.playing());

    lv::doc().sequences.audio_file[1].clear();
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command28->click();
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "There is no audio file selected for this image.");
    EXPECT_TRUE(w->Command28->isEnabled());
    lv::set_audio_backend(nullptr);
}

TEST_F(CustomEditor, HotKeysAndHelpGoThroughTheShellOrSayWhy) {
    std::vector<std::string> opened;
    auto saved = lv::frmCustom::shell_open();
    lv::frmCustom::shell_open() = [&opened](const std::string& f, const std::string&, const std::string& folder) {
        opened.push_back(f + "|" + folder);
        return f != "help.hlp";
    };
    lv::settings().hot_keys[2] = "/usr/bin/thing";
    auto* w = open_editor(false);

    // A function key reaches the window from whichever box has the focus.
    QKeyEvent f3(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
    QApplication::sendEvent(w->Text3, &f3);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "/usr/bin/thing|/usr/bin/");

    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(w, &f5);
    EXPECT_EQ(box->title, "Hot Key");
    EXPECT_EQ(box->text,
              "There is no file assoicated with the F5 key.\n\nPlease go to the OPTIONS screen to edit the hot key "
              "settings.");

    auto help_box = std::make_shared<seen_box>();
    answer_message_box(help_box);
    w->Command3->click();
    EXPECT_EQ(opened.back(), "help.hlp|");
    EXPECT_EQ(help_box->title, "Lumivane");
    EXPECT_EQ(help_box->text, "Error Launching Program!\nhelp.hlp\nPlease check the source file.");
    lv::frmCustom::shell_open() = saved;
}

TEST_F(ExistingSlideshow, CancelClosesWithoutWritingAndTakesThePreviewWindowAlong) {
    auto* w = open_editor(true);
    w->Command25->click();   // preview window on
    spin(50);
    EXPECT_EQ(lv::editors().image_preview_open, 1);
    EXPECT_EQ(lv::frmCustom::instance(), w);

    w->Text1->selectAll();
    type(w->Text1, "changed");
    w->Command20->click();
    spin(50);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
    EXPECT_EQ(lv::editors().image_preview_open, 0);
    EXPECT_TRUE(editor.isNull());   // deleted itself
    EXPECT_EQ(lv::frmCustom::instance(), nullptr);
    EXPECT_TRUE(QDir(QString::fromStdString(lv::program().data_folder)).entryList(QDir::Files).isEmpty());
    // What was changed stays in memory.
    EXPECT_EQ(seq(1).caption_text, "changed");
}

TEST_F(ExistingSlideshow, PreviewToggleRefusesAMissingPictureAndClosesWhenOpen) {
    auto* w = open_editor(true);
    w->Command25->click();
    spin(30);
    ASSERT_EQ(lv::editors().image_preview_open, 1);
    w->Command25->click();
    spin(30);
    EXPECT_EQ(lv::editors().image_preview_open, 0);
    EXPECT_TRUE(w->Command25->isEnabled());

    QFile::remove(QString::fromStdString(rec[1].image_file));
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command25->click();
    EXPECT_EQ(box->title, "File Not Found! (Image 1)");
    EXPECT_EQ(lv::editors().image_preview_open, 0);
}

TEST_F(ExistingSlideshow, ACloseWhileAHandlerYieldsUnloadsAtOnceButDeletesAfterwards) {
    auto* w = open_editor(true);
    w->select_row(1);
    // The first yield inside the remove command lets a close request in.
    bool closed = false;
    lv::hooks().yield_events = [&closed, w] {
        if (!closed) {
            closed = true;
            w->close();
        }
        QCoreApplication::processEvents();
    };
    w->Command24->click();
    EXPECT_TRUE(closed);
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
    EXPECT_TRUE(w->unloaded());
    // The command ran to its end on a live window.
    EXPECT_EQ(lv::doc().image_count, 2);
    EXPECT_TRUE(same(seq(2), rec[3]));
    EXPECT_FALSE(editor.isNull());
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    flush_deletes();
    EXPECT_TRUE(editor.isNull());
}

}  // namespace
