// The custom editor's list commands: adding, removing and moving sequences,
// the copy menus, the transparent colour and what the editor reads back from
// the pickers and dialogs.
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "custom_editor/FrmBorder.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmCaptionSettings.h"
#include "custom_editor/frmCustom.h"
#include "custom_editor/frmGetbackground.h"
#include "custom_editor/frmGetimage.h"
#include "tests/custom_editor/frmCustom_fixture.h"

using namespace lvtest;

namespace {

class ListCommands : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::doc().custom_name = "Trip";
        for (int n = 1; n <= 3; ++n) rec[n] = add_sequence(picture(QString("pic%1.png").arg(n)), n);
    }
    // Every column holds exactly image_count + 1 entries.
    static void expect_columns_aligned() {
        const auto& s = lv::doc().sequences;
        const std::size_t n = static_cast<std::size_t>(lv::doc().image_count) + 1;
        EXPECT_EQ(s.image_file.size(), n);
        EXPECT_EQ(s.display_position.size(), n);
        EXPECT_EQ(s.notes.size(), n);
        EXPECT_EQ(s.caption_color.size(), n);
        EXPECT_EQ(s.background_grain.size(), n);
        EXPECT_EQ(s.transparent_color.size(), n);
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> r;
        for (int i = 0; i < editor->List1->count(); ++i) r.push_back(editor->List1->item(i)->text().toStdString());
        return r;
    }
    lv::sequence_record rec[4];
};

TEST_F(ListCommands, RemovingTheMiddleSequenceMovesTheNextOneUpWhole) {
    auto* w = open_editor(true);
    w->select_row(1);
    w->Command24->click();
    ASSERT_EQ(lv::doc().image_count, 2);
    EXPECT_TRUE(same(seq(1), rec[1]));
    EXPECT_TRUE(same(seq(2), rec[3]));
    expect_columns_aligned();
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic1.png", "pic3.png"}));
    EXPECT_EQ(w->current_image, 2);
    EXPECT_EQ(w->Text1->text().toStdString(), rec[3].caption_text);
    EXPECT_EQ(w->Label2->text().toStdString(), "Total Images=2");
    EXPECT_TRUE(w->Command24->isEnabled());
}

TEST_F(ListCommands, RemovingTheLastSequenceSelectsTheNewLastAndRemovingAllSwitchesOff) {
    auto* w = open_editor(true);
    w->select_row(2);
    w->remove_image();
    EXPECT_EQ(lv::doc().image_count, 2);
    EXPECT_EQ(w->current_image, 2);
    EXPECT_EQ(w->Label19->text().toStdString(), "pic2.png");
    EXPECT_TRUE(same(seq(2), rec[2]));
    w->remove_image();
    w->remove_image();
    EXPECT_EQ(lv::doc().image_count, 0);
    expect_columns_aligned();
    EXPECT_EQ(w->List1->count(), 0);
    EXPECT_EQ(w->current_image, -1);
    EXPECT_EQ(w->Label10->text().toStdString(), "Image: 0");
    EXPECT_FALSE(w->List1->isEnabled());
    EXPECT_FALSE(w->Command21->isEnabled());
    EXPECT_FALSE(w->Command24->isEnabled());
    EXPECT_TRUE(w->Command4->isEnabled());
    // Nothing selected: removing does nothing.
    w->remove_image();
    EXPECT_EQ(lv::doc().image_count, 0);
}

TEST_F(ListCommands, MovingDownAndUpAgainRestoresTheDocumentExactly) {
    auto* w = open_editor(true);
    w->select_row(0);
    w->Command5->click();   // down
    EXPECT_TRUE(same(seq(1), rec[2]));
    EXPECT_TRUE(same(seq(2), rec[1]));
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic2.png", "pic1.png", "pic3.png"}));
    EXPECT_EQ(w->current_image, 2);
    EXPECT_EQ(w->List1->currentRow(), 1);
    EXPECT_EQ(w->Label30->text().toInt(), rec[1].background_speed);
    w->Command6->click();   // up
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(same(seq(i), rec[i])) << i;
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic1.png", "pic2.png", "pic3.png"}));
    EXPECT_EQ(w->current_image, 1);

    // Up on the first row and down on the last do nothing.
    w->move_up();
    w->select_row(2);
    w->move_down();
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(same(seq(i), rec[i])) << i;
    EXPECT_EQ(w->current_image, 3);
    expect_columns_aligned();
}

TEST_F(ListCommands, CopyMenusCopyExactlyTheirGroup) {
    auto* w = open_editor(true);
    w->select_row(1);
    const auto src = rec[2];

    w->popup_6->trigger();   // effect, speed, grain
    for (int i : {1, 3}) {
        auto expect = rec[i];
        expect.display_effect = src.display_effect;
        expect.effect_speed = src.effect_speed;
        expect.effect_grain = src.effect_grain;
        EXPECT_TRUE(same(seq(i), expect)) << i;
        rec[i] = expect;
    }
    w->popup_8->trigger();   // background
    w->popup_5->trigger();   // caption effect
    w->popup_2->trigger();   // display time
    w->popup_1a->trigger();  // display position
    w->popup_4->trigger();   // caption text, position, font
    for (int i : {1, 3}) {
        auto expect = rec[i];
        expect.background_file = src.background_file;
        expect.background_placement = src.background_placement;
        expect.background_effect = src.background_effect;
        expect.background_speed = src.background_speed;
        expect.background_grain = src.background_grain;
        expect.caption_effect = src.caption_effect;
        expect.caption_speed = src.caption_speed;
        expect.caption_grain = src.caption_grain;
        expect.display_time = src.display_time;
        expect.display_position = src.display_position;
        expect.caption_text = src.caption_text;
        expect.caption_position = src.caption_position;
        expect.caption_font_name = src.caption_font_name;
        expect.caption_font_size = src.caption_font_size;
        expect.caption_bold = src.caption_bold;
        expect.caption_italic = src.caption_italic;
        expect.caption_style = src.caption_style;
        expect.caption_shadow_size = src.caption_shadow_size;
        expect.caption_color = src.caption_color;
        expect.caption_color_scheme = src.caption_color_scheme;
        EXPECT_TRUE(same(seq(i), expect)) << i;
        rec[i] = expect;
    }
    EXPECT_TRUE(same(seq(2), src));

    // The image settings: every row then names the same picture.
    w->popup_1->trigger();
    for (int i : {1, 3}) {
        auto expect = rec[i];
        expect.image_file = src.image_file;
        expect.notes = src.notes;
        expect.transparent_color = src.transparent_color;
        EXPECT_TRUE(same(seq(i), expect)) << i;
    }
    EXPECT_EQ(rows(), (std::vector<std::string>{"pic2.png", "pic2.png", "pic2.png"}));
    EXPECT_EQ(w->current_image, 2);
    EXPECT_EQ(w->List1->currentRow(), 1);
    expect_columns_aligned();
}

TEST_F(ListCommands, FileNamesBecomeEveryCaptionAndTheBoxShowsTheSelectedOne) {
    auto* w = open_editor(true);
    w->select_row(2);
    w->popup_3->trigger();
    EXPECT_EQ(seq(1).caption_text, "pic1.png");
    EXPECT_EQ(seq(2).caption_text, "pic2.png");
    EXPECT_EQ(seq(3).caption_text, "pic3.png");
    EXPECT_EQ(w->Text1->text().toStdString(), "pic3.png");
}

TEST_F(ListCommands, TransparentColourStoresColourPlusOneAndRefusesVideo) {
    auto* w = open_editor(true);
    when_modal<QColorDialog>([](QColorDialog* d) {
        d->setCurrentColor(Qt::black);
        d->accept();
    });
    w->popup_7->trigger();
    EXPECT_EQ(seq(1).transparent_color, 1);

    when_modal<QColorDialog>([](QColorDialog* d) {
        d->setCurrentColor(QColor(0x11, 0x22, 0x33));
        d->accept();
    });
    w->popup_7->trigger();
    EXPECT_EQ(seq(1).transparent_color, 0x332211 + 1);

    when_modal<QColorDialog>([](QColorDialog* d) { d->reject(); });
    w->popup_7->trigger();
    EXPECT_EQ(seq(1).transparent_color, 0x332211 + 1);

    lv::doc().sequences.image_file[2] = picture("clip.avi");
    w->select_row(1);
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->popup_7->trigger();
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_EQ(box->text, "Video Files Can Not Be Displayed Transparent.");
    EXPECT_EQ(seq(2).transparent_color, rec[2].transparent_color);
}

TEST_F(ListCommands, AddingToAnEmptySlideshowSwitchesOnAndSelectsTheFirst) {
    lv::new_custom_defaults();
    QDir().mkpath(dir.path() + "/pics");
    const QString folder = dir.path() + "/pics";
    lv::program().last_folder = folder.toStdString();
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::blue);
        img.save(folder + "/" + name, "PNG");
    }
    auto* w = open_editor(false);
    when_modal<lv::frmAddphotos>([](lv::frmAddphotos* d) { d->add_clicked(false); });
    w->Command4->click();
    ASSERT_EQ(lv::doc().image_count, 3);
    expect_columns_aligned();
    EXPECT_EQ(rows(), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
    EXPECT_EQ(w->current_image, 1);
    EXPECT_EQ(w->Label2->text().toStdString(), "Total Images=3");
    EXPECT_TRUE(w->Command21->isEnabled());
    EXPECT_TRUE(w->List1->isEnabled());
    EXPECT_EQ(w->Label19->text().toStdString(), "a.png");

    // Adding more keeps the selection where it was.
    w->select_row(1);
    when_modal<lv::frmAddphotos>([](lv::frmAddphotos* d) { d->add_clicked(false); });
    w->add_images();
    EXPECT_EQ(lv::doc().image_count, 6);
    EXPECT_EQ(w->List1->count(), 6);
    EXPECT_EQ(w->current_image, 2);

    // Adding nothing to an empty slideshow leaves the interface off.
    for (int i = 0; i < 6; ++i) w->remove_image();
    when_modal<lv::frmAddphotos>([](lv::frmAddphotos* d) { d->reject(); });
    w->add_images();
    EXPECT_EQ(lv::doc().image_count, 0);
    EXPECT_FALSE(w->Command21->isEnabled());
    EXPECT_EQ(w->current_image, -1);
}

TEST_F(ListCommands, BackgroundPickerSetsClearsOrLeavesTheBackground) {
    auto* w = open_editor(true);
    auto& ed = lv::editors();

    when_modal<lv::frmGetbackground>([](lv::frmGetbackground* d) { d->gradient_clicked(); });
    w->Command8->click();
    EXPECT_EQ(seq(1).background_file, "Gradient Background");
    EXPECT_EQ(w->Label18->text().toStdString(), "Gradient Background");
    EXPECT_EQ(ed.image_preview_refresh, 1);
    EXPECT_EQ(ed.offer_clear_file, 0);

    bool offered = false;
    when_modal<lv::frmGetbackground>([&offered](lv::frmGetbackground* d) {
        offered = d->Command2->isVisibleTo(d);
        d->clear_clicked();
    });
    w->Command8->click();
    EXPECT_TRUE(offered);
    EXPECT_EQ(seq(1).background_file, "");
    EXPECT_EQ(w->Label18->text().toStdString(), "");
    EXPECT_EQ(ed.image_preview_refresh, 2);
    EXPECT_EQ(ed.offer_clear_file, 0);

    // Cancelled: nothing changes; no clearing offered for an empty field.
    ed.image_preview_refresh = 0;
    when_modal<lv::frmGetbackground>([&offered](lv::frmGetbackground* d) {
        offered = d->Command2->isVisibleTo(d);
        d->reject();
    });
    w->Command8->click();
    EXPECT_FALSE(offered);
    EXPECT_EQ(seq(1).background_file, "");
    EXPECT_EQ(ed.image_preview_refresh, 0);
    auto expect = rec[1];
    expect.background_file = "";
    EXPECT_TRUE(same(seq(1), expect));
}

TEST_F(ListCommands, AudioPickerSetsOrClearsTheSound) {
    auto* w = open_editor(true);
    const QString sounds = dir.path() + "/sounds";
    QDir().mkpath(sounds);
    QFile f(sounds + "/ding.wav");
    f.open(QIODevice::WriteOnly);
    f.write("RIFF....WAVE");
    f.close();
    lv::program().last_sound_folder = sounds.toStdString();

    when_modal<lv::frmAddwav>([](lv::frmAddwav* d) {
        d->File1->setCurrentRow(0);
        d->select_clicked();
    });
    w->Command7->click();
    EXPECT_EQ(seq(1).audio_file, (sounds + "/ding.wav").toStdString());
    EXPECT_EQ(w->Label17->text().toStdString(), "ding.wav");

    when_modal<lv::frmAddwav>([](lv::frmAddwav* d) { d->clear_clicked(); });
    w->Command7->click();
    EXPECT_EQ(seq(1).audio_file, "");
    EXPECT_EQ(w->Label17->text().toStdString(), "");
    EXPECT_EQ(lv::editors().offer_clear_file, 0);
}

TEST_F(ListCommands, ImagePickerReplacesThePictureAndItsRowOrChangesNothing) {
    auto* w = open_editor(true);
    w->select_row(1);
    when_modal<lv::frmGetimage>([](lv::frmGetimage* d) { d->reject(); });
    w->Command9->click();
    EXPECT_TRUE(same(seq(2), rec[2]));

    const QString folder = dir.path() + "/new";
    QDir().mkpath(folder);
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::green);
    img.save(folder + "/zebra.png", "PNG");
    lv::program().last_folder = folder.toStdString();
    lv::editors().image_preview_refresh = 0;
    when_modal<lv::frmGetimage>([](lv::frmGetimage* d) {
        d->File1->setCurrentRow(0);
        d->File1->item(0)->setSelected(true);
        d->select_clicked();
    });
    w->Command9->click();
    EXPECT_EQ(seq(2).image_file, (folder + "/zebra.png").toStdString());
    EXPECT_EQ(w->List1->item(1)->text().toStdString(), "zebra.png");
    EXPECT_EQ(w->Label19->text().toStdString(), "zebra.png");
    EXPECT_EQ(lv::editors().image_preview_refresh, 1);
}

TEST_F(ListCommands, CaptionDialogCancelKeepsTheFontAndSaveStoresIt) {
    auto* w = open_editor(true);
    when_modal<lv::frmCaptionSettings>([](lv::frmCaptionSettings* d) {
        d->update_style(6);
        d->Command2_Click();
    });
    w->Command23->click();
    EXPECT_TRUE(same(seq(1), rec[1]));
    EXPECT_EQ(lv::doc().caption_sample_text, rec[1].caption_text);
    EXPECT_EQ(lv::editors().image_preview_refresh, 1);

    when_modal<lv::frmCaptionSettings>([](lv::frmCaptionSettings* d) {
        d->update_style(6);   // "Outline Shadow"
        d->update_gradient(4);
        d->Command1_Click();
    });
    w->Command23->click();
    auto expect = rec[1];
    expect.caption_style = 7;
    expect.caption_color_scheme = 4;
    EXPECT_TRUE(same(seq(1), expect));
}

TEST_F(ListCommands, BorderDialogAsksForAnImmediateRedraw) {
    auto* w = open_editor(true);
    lv::editors().image_preview_refresh = 0;
    when_modal<lv::FrmBorder>([](lv::FrmBorder* d) { d->Command3_Click(); });
    w->Command2->click();
    EXPECT_EQ(lv::editors().image_preview_refresh, 2);
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(same(seq(i), rec[i]));
}

}  // namespace
