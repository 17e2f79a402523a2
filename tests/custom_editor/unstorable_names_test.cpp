// File and folder names a slideshow file cannot store (a double quote, a
// carriage return or a line feed, all allowed on Linux) are refused where
// they are chosen, with a message that names them; a save that meets one
// anyway names the field and its sequence instead of blaming the storage.
// The name box keeps out what the slideshow's own file name cannot hold.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmCustom.h"
#include "custom_editor/frmGetbackground.h"
#include "custom_editor/frmGetimage.h"
#include "tests/custom_editor/frmCustom_fixture.h"

using namespace lvtest;

namespace {

const std::string quote_name = "say \"cheese\".jpg";
const std::string feed_name = "two\nlines.jpg";

class UnstorableNames : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        folder = dir.path().toStdString() + "/media";
        QDir().mkpath(QString::fromStdString(folder));
        for (const std::string& n : {quote_name, feed_name, std::string("fine.jpg")}) jpg(folder + "/" + n);
        for (const std::string& n : {std::string("say \"la\".wav"), std::string("cr\rname.wav"), std::string("ok.wav")})
            bytes(folder + "/" + n);
        lv::program().last_folder = lv::program().last_sound_folder = lv::program().last_music_folder = folder;
    }

    static void jpg(const std::string& path) {
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(Qt::green);
        ASSERT_TRUE(img.save(QString::fromStdString(path), "JPG"));
    }
    static void bytes(const std::string& path) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(200, 'x'));
    }
    static void choose(lv::FileList* list, const std::string& name) {
        for (int r = 0; r < list->count(); ++r)
            if (list->file_name(r) == name) {
                list->setCurrentRow(r);
                return;
            }
        ADD_FAILURE() << name << " is not listed";
    }
    // Presses a picker's Select button on `name`; the box that refuses it is
    // answered and recorded.
    static std::shared_ptr<seen_box> select(lv::picker_frame& dlg, QPushButton* button, const std::string& name) {
        choose(dlg.File1, name);
        // The Select timer enables the button only on its next tick.
        EXPECT_TRUE(lv::test::wait_ticks(dlg.Timer1));
        EXPECT_TRUE(button->isEnabled());
        auto box = std::make_shared<seen_box>();
        // Watch for a box only while the button runs: a storable name brings none.
        QPointer<QTimer> watch = when_modal<QMessageBox>(
            [box](QMessageBox* b) {
                box->title = b->windowTitle().toStdString();
                box->text = b->text().toStdString();
                b->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        button->click();
        spin(20);
        if (watch) delete watch.data();
        return box;
    }
    static void expect_refusal_names(const seen_box& box, const std::string& shown) {
        EXPECT_EQ(box.title, "Lumivane");
        EXPECT_NE(box.text.find(shown), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("The slideshow file cannot store"), std::string::npos) << box.text;
    }

    std::string folder;
};

TEST_F(UnstorableNames, ImageAndBackgroundPickersRefuseAQuoteOrALineFeedAndStayOpen) {
    for (int which = 0; which < 2; ++which) {
        std::unique_ptr<lv::picture_picker> dlg;
        QPushButton* select_button = nullptr;
        if (which == 0) {
            auto* d = new lv::frmGetimage;
            select_button = d->Command1;
            dlg.reset(d);
        } else {
            auto* d = new lv::frmGetbackground;
            select_button = d->Command1;
            dlg.reset(d);
        }
        int finished = 0;
        QObject::connect(dlg.get(), &QDialog::finished, [&finished](int) { ++finished; });

        auto box = select(*dlg, select_button, quote_name);
        expect_refusal_names(*box, folder + "/" + quote_name);
        EXPECT_EQ(lv::editors().picked_file, "");
        EXPECT_EQ(finished, 0);

        box = select(*dlg, select_button, feed_name);
        expect_refusal_names(*box, folder + "/two\\nlines.jpg");
        EXPECT_EQ(lv::editors().picked_file, "");
        EXPECT_EQ(finished, 0);

        box = select(*dlg, select_button, "fine.jpg");
        EXPECT_TRUE(box->text.empty()) << "a storable name is taken without a word";
        EXPECT_EQ(lv::editors().picked_file, folder + "/fine.jpg");
        EXPECT_EQ(finished, 1);
    }
}

TEST_F(UnstorableNames, AFolderNameWithAQuoteIsRefusedToo) {
    const std::string quoted_folder = folder + "/trip \"2024\"";
    QDir().mkpath(QString::fromStdString(quoted_folder));
    jpg(quoted_folder + "/beach.jpg");
    lv::program().last_folder = quoted_folder;
    lv::frmGetimage dlg;
    ASSERT_EQ(dlg.File1->path(), quoted_folder);
    auto box = select(dlg, dlg.Command1, "beach.jpg");
    expect_refusal_names(*box, quoted_folder + "/beach.jpg");
    EXPECT_EQ(lv::editors().picked_file, "");
}

TEST_F(UnstorableNames, SoundPickerRefusesAQuoteOrACarriageReturn) {
    lv::frmAddwav dlg;
    auto box = select(dlg, dlg.Command2, "say \"la\".wav");
    expect_refusal_names(*box, "say \"la\".wav");
    EXPECT_EQ(lv::editors().picked_sound, "");
    box = select(dlg, dlg.Command2, "cr\rname.wav");
    expect_refusal_names(*box, "cr\\rname.wav");
    EXPECT_EQ(lv::editors().picked_sound, "");
    box = select(dlg, dlg.Command2, "ok.wav");
    EXPECT_TRUE(box->text.empty());
    EXPECT_EQ(lv::editors().picked_sound, folder + "/ok.wav");
}

TEST_F(UnstorableNames, AddAllFilesLeavesThemOutAndSaysWhichInOneMessage) {
    auto* w = open_editor(false);
    auto box = std::make_shared<seen_box>();
    when_modal<lv::frmAddphotos>([box](lv::frmAddphotos* d) {
        answer_message_box(box);
        d->Command2->click();   // "&Add All Files"
    });
    w->Command4->click();
    spin(20);
    ASSERT_EQ(lv::doc().image_count, 1);
    EXPECT_EQ(lv::doc().sequences.image_file[1], folder + "/fine.jpg");
    ASSERT_EQ(w->List1->count(), 1);
    EXPECT_EQ(w->List1->item(0)->text().toStdString(), "fine.jpg");
    expect_refusal_names(*box, folder + "/" + quote_name);
    EXPECT_NE(box->text.find(folder + "/two\\nlines.jpg"), std::string::npos) << box->text;

    // The music list likewise.
    auto music_box = std::make_shared<seen_box>();
    when_modal<lv::frmAddmusic>([music_box](lv::frmAddmusic* d) {
        answer_message_box(music_box);
        d->Command2->click();
        lvtest::spin(50);
        d->accept();
    });
    w->Command1->click();
    ASSERT_EQ(lv::doc().music_count, 1);
    EXPECT_EQ(lv::doc().music_files[1], folder + "/ok.wav");
    expect_refusal_names(*music_box, "say \"la\".wav");
}

TEST_F(UnstorableNames, FileNamesToCaptionsLeavesOutANameTheFileCannotHold) {
    add_sequence(folder + "/fine.jpg", 1);
    add_sequence(folder + "/" + quote_name, 2);
    add_sequence(folder + "/" + feed_name, 3);
    auto* w = open_editor(true);
    w->popup_3->trigger();
    EXPECT_EQ(seq(1).caption_text, "fine.jpg");
    EXPECT_EQ(seq(2).caption_text, "caption 2");
    EXPECT_EQ(seq(3).caption_text, "caption 3");
    EXPECT_EQ(w->Text1->text().toStdString(), "fine.jpg");
}

TEST_F(UnstorableNames, ASaveRefusedForAFieldNamesTheFieldAndItsSequence) {
    lv::doc().custom_name = "Names";
    add_sequence(folder + "/fine.jpg", 1);
    const auto second = add_sequence(folder + "/fine.jpg", 2);
    add_sequence(folder + "/" + quote_name, 3);
    lv::doc().sequences.audio_file[2] = folder + "/say \"la\".wav";
    lv::doc().sequences.background_file[1] = folder + "/" + feed_name;
    lv::doc().sequences.notes[3] = "say \"cheese\"";
    auto* w = open_editor(true);
    auto box = std::make_shared<seen_box>();
    answer_message_box(box);
    w->Command21->click();
    spin(20);
    EXPECT_EQ(box->title, "Lumivane");
    EXPECT_NE(box->text.find("Image 1: background picture\n    " + folder + "/two\\nlines.jpg"), std::string::npos)
        << box->text;
    EXPECT_NE(box->text.find("Image 2: audio file\n    " + folder + "/say \"la\".wav"), std::string::npos)
        << box->text;
    EXPECT_NE(box->text.find("Image 3: picture or video file"), std::string::npos) << box->text;
    EXPECT_NE(box->text.find("Image 3: notes\n    say \"cheese\""), std::string::npos) << box->text;
    EXPECT_EQ(box->text.find("Please check storage media"), std::string::npos) << box->text;
    // Nothing written, the editor still open with the document as it was.
    EXPECT_TRUE(QDir(QString::fromStdString(lv::program().data_folder)).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(lv::editors().custom_editor_open, 1);
    EXPECT_FALSE(editor.isNull());
    EXPECT_EQ(seq(2).notes, second.notes);

    // Once the fields are mended the same command saves.
    lv::doc().sequences.audio_file[2].clear();
    lv::doc().sequences.background_file[1].clear();
    lv::doc().sequences.image_file[3] = folder + "/fine.jpg";
    lv::doc().sequences.notes[3] = "say cheese";
    w->Command21->click();
    spin(20);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(lv::program().data_folder + "Names.lmv")));
    EXPECT_EQ(lv::editors().custom_editor_open, 0);
}

TEST_F(UnstorableNames, SeparatorsTypedIntoTheNameAreDroppedAndTheSaveLandsInTheDataFolder) {
    struct typed {
        QString keys;
        std::string name;
    };
    for (const typed& t : {typed{"../../x", "x"}, typed{"a/b", "ab"}, typed{"c\\d", "cd"}}) {
        lv::doc() = lv::slideshow_document{};
        lv::new_custom_defaults();
        add_sequence(folder + "/fine.jpg", 1);
        auto* w = open_editor(true);
        ASSERT_NE(w, nullptr);
        w->Text3->setFocus();
        type(w->Text3, t.keys);
        EXPECT_EQ(w->Text3->text().toStdString(), t.name);
        EXPECT_EQ(lv::doc().custom_name, t.name);
        auto box = std::make_shared<seen_box>();
        QPointer<QTimer> watch = when_modal<QMessageBox>(
            [box](QMessageBox* b) {
                box->text = b->text().toStdString();
                b->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        w->Command21->click();
        spin(20);
        if (watch) delete watch.data();
        EXPECT_EQ(box->text, "") << t.name;
        EXPECT_TRUE(QFile::exists(QString::fromStdString(lv::program().data_folder + t.name + ".lmv"))) << t.name;
        EXPECT_EQ(lv::settings().active_slideshow, t.name + ".lmv");
        EXPECT_EQ(lv::editors().custom_editor_open, 0);
        flush_deletes();
    }
    // Nothing went anywhere but the data folder.
    EXPECT_EQ(QDir(QString::fromStdString(lv::program().data_folder)).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(QDir(dir.path()).entryList({"*.lmv"}, QDir::Files).size(), 0);
}

}  // namespace
