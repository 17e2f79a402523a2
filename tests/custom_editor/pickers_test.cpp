// The custom editor's file pickers on a folder of generated files: what each
// lists, what each hands back on every way of closing, the sequences and
// music entries the adding pickers make (with their limits), the remembered
// folders, and the picture, video and sound previews.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "custom_editor/frmAddmusic.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmAddwav.h"
#include "custom_editor/frmGetbackground.h"
#include "custom_editor/frmGetimage.h"
#include "platform/media/audio.h"
#include "platform/controls/label_control.h"
#include "platform/controls/picture_control.h"
#include "platform/media/video_control.h"
#include "platform/desktop/frmPopmessage.h"
#include "player/modal_watch.h"
#include "scoped_env.h"

using lvtest::spin;
using lvtest::when_modal;

namespace {

class fake_playback : public lv::audio_playback {};

// The generated folder: pictures in several cases and kinds, a video, sounds,
// and files no picker lists.
class media_folder {
public:
    media_folder() {
        make_picture("a.jpg", 400, 200, "JPG");
        make_picture("B.PNG", 100, 200, "PNG");
        make_picture("c.bmp", 64, 64, "BMP");
        // Qt writes no GIF: the smallest one there is, 1 x 1.
        write("d.gif", std::string("GIF89a\x01\0\x01\0\x80\0\0\0\0\0\xff\xff\xff!\xf9\x04\x01\0\0\0\0,\0\0\0\0\x01\0\x01\0\0\x02\x02D\x01\0;", 43));
        make_picture(".hidden.jpg", 10, 10, "JPG");
        write("notes.txt", "not a picture");
        write("broken.mpg", std::string(4000, 'x'));
        write_wav("tone.wav");
        write("song.mid", "MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\xff\x2f\0");
        write("track.MP3", std::string(200, '\0'));
        write("riff.rmi", std::string(200, 'r'));
        dir_of().mkdir(QStringLiteral("sub"));
        dir_of().mkdir(QStringLiteral("empty"));
        make_picture("sub/e.jpg", 20, 20, "JPG");
        write("sub/f.wav", std::string(200, 'w'));
        // Five pictures of their own, for the limit cases.
        dir_of().mkdir(QStringLiteral("five"));
        for (int i = 1; i <= 5; ++i) make_picture("five/p" + std::to_string(i) + ".jpg", 8, 8, "JPG");
        dir_of().mkdir(QStringLiteral("video"));
        make_picture("video/still.bmp", 50, 50, "BMP");
        if (!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
            QProcess p;
            p.start(QStringLiteral("ffmpeg"), {QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                                               QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                               QStringLiteral("testsrc=size=160x120:rate=25"), QStringLiteral("-t"),
                                               QStringLiteral("3"), QStringLiteral("-c:v"),
                                               QStringLiteral("mpeg1video"), QStringLiteral("-f"),
                                               QStringLiteral("mpeg"), dir.filePath(QStringLiteral("video/clip.mpg"))});
            have_video = p.waitForFinished(60000) && p.exitCode() == 0;
        }
    }
    std::string path() const { return dir.path().toStdString(); }
    QDir dir_of() const { return QDir(dir.path()); }
    std::string file(const std::string& name) const { return path() + "/" + name; }

    bool have_video = false;

private:
    void make_picture(const std::string& name, int w, int h, const char* format) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(QColor(200, 40, 40));
        img.save(dir.filePath(QString::fromStdString(name)), format);
    }
    void write(const std::string& name, const std::string& bytes) {
        QFile f(dir.filePath(QString::fromStdString(name)));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    void write_wav(const std::string& name) {
        // 8 kHz, 8-bit mono, 0.1 s of silence.
        const int samples = 800;
        std::string b = "RIFF";
        auto u32 = [&b](unsigned v) {
            for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xff);
        };
        auto u16 = [&b](unsigned v) {
            b += static_cast<char>(v & 0xff);
            b += static_cast<char>((v >> 8) & 0xff);
        };
        u32(36 + samples);
        b += "WAVEfmt ";
        u32(16);
        u16(1);
        u16(1);
        u32(8000);
        u32(8000);
        u16(1);
        u16(8);
        b += "data";
        u32(samples);
        b += std::string(samples, '\x80');
        write(name, b);
    }
    QTemporaryDir dir;
};

std::vector<std::string> listed(const lv::FileList* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->file_name(i));
    return out;
}

int row_of(const lv::FileList* list, const std::string& name) {
    for (int i = 0; i < list->count(); ++i)
        if (list->file_name(i) == name) return i;
    return -1;
}

class Pickers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { media_ = new media_folder; }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }

    void SetUp() override {
        lv::set_settings_store(&store);
        // The help pop-ups stay away unless a case asks for them.
        store.values[lv::message_setting_key(9)] = "1";
        store.values[lv::message_setting_key(10)] = "1";
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::set_audio_backend([this](const std::string& source, std::function<void()>) {
            played.push_back(source);
            return std::make_unique<fake_playback>();
        });
        lv::audio_load();

        auto& p = lv::program();
        p.program_folder = media_->path() + "/";
        p.last_folder = p.last_music_folder = p.last_sound_folder = media_->path();
        lv::editors() = lv::editor_state{};
        lv::settings().audio_on = 1;
        lv::new_custom_defaults();
    }
    void TearDown() override {
        lv::stop_all_audio();
        lv::set_audio_backend(nullptr);
        lv::hooks().yield_events = nullptr;
        lv::set_settings_store(nullptr);
    }

    // Counts how often a dialog finished (every way of closing ends there).
    static std::shared_ptr<int> count_finished(QDialog& dlg) {
        auto n = std::make_shared<int>(0);
        QObject::connect(&dlg, &QDialog::finished, [n](int) { ++*n; });
        return n;
    }

    static void choose(lv::FileList* list, const std::string& name) {
        const int r = row_of(list, name);
        ASSERT_GE(r, 0) << name << " is not listed";
        list->setCurrentRow(r);
    }
    // A real double click on a row (which also makes it current).
    static void double_click(QListWidget* list, int row) {
        ASSERT_GE(row, 0);
        list->scrollToItem(list->item(row));
        const QPointF at = list->visualItemRect(list->item(row)).center();
        QWidget* vp = list->viewport();
        const QPointF global = vp->mapToGlobal(at);
        for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                               QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, at, global, Qt::LeftButton,
                          t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(vp, &e);
        }
    }
    // Lets the Select timer tick: the Select buttons follow the file list only then.
    // The select timer's next tick.
    static void tick(lv::picker_frame& dlg) { ASSERT_TRUE(lv::test::wait_ticks(dlg.Timer1)); }

    lv::memory_settings_store store;
    std::vector<std::string> played;
    static inline media_folder* media_ = nullptr;
};

// ------------------------------------------------------------ what is listed

TEST_F(Pickers, EachPickerListsOnlyItsOwnKindsInAnyCase) {
    {
        lv::frmGetimage dlg;
        EXPECT_EQ(dlg.File1->path(), media_->path());
        EXPECT_EQ(listed(dlg.File1), (std::vector<std::string>{"a.jpg", "B.PNG", "broken.mpg", "c.bmp", "d.gif"}));
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Change Current Image"));
    }
    {
        lv::frmAddphotos dlg;
        EXPECT_EQ(listed(dlg.File1), (std::vector<std::string>{"a.jpg", "B.PNG", "broken.mpg", "c.bmp", "d.gif"}));
        EXPECT_EQ(dlg.File1->selectionMode(), QAbstractItemView::ExtendedSelection);
    }
    {
        lv::frmGetbackground dlg;
        EXPECT_EQ(listed(dlg.File1), (std::vector<std::string>{"a.jpg", "c.bmp", "d.gif"}));
        EXPECT_EQ(dlg.File1->selectionMode(), QAbstractItemView::SingleSelection);
    }
    {
        lv::frmAddwav dlg;
        EXPECT_EQ(listed(dlg.File1), (std::vector<std::string>{"riff.rmi", "song.mid", "tone.wav", "track.MP3"}));
        EXPECT_EQ(dlg.File1->toolTip(), QStringLiteral("Double click on a file to preview it"));
    }
    {
        lv::frmAddmusic dlg;
        EXPECT_EQ(listed(dlg.File1), (std::vector<std::string>{"riff.rmi", "song.mid", "tone.wav", "track.MP3"}));
    }
}

TEST_F(Pickers, FolderListDrivesTheFileListAndTheFolderIsRememberedOnClose) {
    lv::frmGetimage dlg;
    // The chain of open folders ends at the current one, its sub-folders follow.
    int sub_row = -1;
    for (int r = 0; r < dlg.Dir1->count(); ++r)
        if (dlg.Dir1->entry_path(r) == media_->file("sub")) sub_row = r;
    ASSERT_GE(sub_row, 0);
    EXPECT_EQ(dlg.Dir1->entry_path(sub_row - 3), media_->path());   // "empty" and "five" come first
    EXPECT_EQ(dlg.Dir1->entry_path(0), "/");

    // A click shows the folder's files at once without opening it.
    emit dlg.Dir1->entry_clicked(QString::fromStdString(media_->file("sub")));
    EXPECT_EQ(dlg.File1->path(), media_->file("sub"));
    EXPECT_EQ(dlg.Dir1->path(), media_->path());
    EXPECT_EQ(listed(dlg.File1), std::vector<std::string>{"e.jpg"});
    // Opening another folder moves the file list along.
    int empty_row = -1;
    for (int r = 0; r < dlg.Dir1->count(); ++r)
        if (dlg.Dir1->entry_path(r) == media_->file("empty")) empty_row = r;
    ASSERT_TRUE(dlg.Dir1->open_entry(empty_row));
    EXPECT_EQ(dlg.File1->path(), media_->file("empty"));
    EXPECT_EQ(dlg.File1->count(), 0);

    // Nothing is remembered until the window closes; Esc (reject) counts.
    EXPECT_EQ(lv::program().last_folder, media_->path());
    dlg.reject();
    EXPECT_EQ(lv::program().last_folder, media_->file("empty"));
    EXPECT_EQ(lv::program().last_sound_folder, media_->path());   // the sound pickers keep their own
}

// A folder of long sub-folder names (as /tmp often is) opens with the names
// readable from their start, in every picker with a folder list; a deep
// folder scrolls only as far as the start of its own name.
TEST_F(Pickers, FolderNamesReadFromTheirStartBesideLongSubFolderNames) {
    QTemporaryDir shallow(QStringLiteral("/tmp/lv-XXXXXX"));
    ASSERT_TRUE(shallow.isValid());
    QString deep = shallow.path();
    for (int i = 1; i <= 32; ++i) deep += QStringLiteral("/d%1").arg(i);
    const QString uuid = QStringLiteral("2f1c9a0e-5b7d-4c1e-9a63-0d8e7f215b44-7d0b6c3e-91aa-4f4e-8c2b-5e6f7a8b9c0d");
    for (const QString& base : {shallow.path(), deep}) ASSERT_TRUE(QDir().mkpath(base + QLatin1Char('/') + uuid));
    auto& p = lv::program();
    p.last_folder = p.last_sound_folder = p.last_music_folder = shallow.path().toStdString();
    // Where the start of row r's name (after its indentation) lies in the view.
    const auto name_start = [](lv::FolderList* list, int r) {
        const QString text = list->item(r)->text();
        const QString indent = text.left(text.size() - QStringView(text).trimmed().size());
        return list->visualItemRect(list->item(r)).left() + list->style()->pixelMetric(QStyle::PM_SmallIconSize) +
               list->fontMetrics().horizontalAdvance(indent);
    };
    lv::frmAddphotos photos;
    lv::frmAddwav sounds;
    lv::frmAddmusic music;
    for (lv::picker_frame* dlg : std::initializer_list<lv::picker_frame*>{&photos, &sounds, &music}) {
        lv::FolderList* list = dlg->Dir1;
        QScrollBar* bar = list->horizontalScrollBar();
        dlg->resize(640, 480);
        dlg->show();
        spin(50);
        ASSERT_GT(bar->maximum(), 0) << "the sub-folder names are too short for this test";
        EXPECT_EQ(bar->value(), 0);
        // Deep down, the list scrolls, but not to its end: the open folder's
        // name and its sub-folder's name show from their start.
        ASSERT_TRUE(list->set_path(QFileInfo(deep).path().toStdString()));
        double_click(list, list->count() - 1);
        ASSERT_EQ(QString::fromStdString(list->path()), deep);
        EXPECT_GT(bar->value(), 0);
        EXPECT_LT(bar->value(), bar->maximum());
        for (int r = list->currentRow(); r < list->count(); ++r) {
            EXPECT_GE(name_start(list, r), 0) << r;
            EXPECT_LT(name_start(list, r), list->viewport()->width() - 8 * list->fontMetrics().averageCharWidth()) << r;
        }
        dlg->reject();
    }
}

TEST_F(Pickers, EachFamilyRemembersItsOwnFolder) {
    {
        lv::frmAddwav dlg;
        ASSERT_TRUE(dlg.Dir1->set_path(media_->file("sub")));
        dlg.reject();
    }
    EXPECT_EQ(lv::program().last_sound_folder, media_->file("sub"));
    EXPECT_EQ(lv::program().last_music_folder, media_->path());
    {
        lv::frmAddwav dlg;   // opens where it was left
        EXPECT_EQ(dlg.File1->path(), media_->file("sub"));
        EXPECT_EQ(listed(dlg.File1), std::vector<std::string>{"f.wav"});
    }
    {
        lv::frmAddmusic dlg;
        ASSERT_TRUE(dlg.Dir1->set_path(media_->file("empty")));
        dlg.accept();
    }
    EXPECT_EQ(lv::program().last_music_folder, media_->file("empty"));
    EXPECT_EQ(lv::program().last_folder, media_->path());
}

TEST_F(Pickers, AFolderThatWentAwayOpensTheProgramFolderInstead) {
    lv::program().last_folder = media_->file("no-such-folder");
    lv::frmGetbackground dlg;
    EXPECT_EQ(dlg.File1->path(), media_->path());
    EXPECT_EQ(dlg.Dir1->path(), media_->path());
}

TEST_F(Pickers, PlacesStandInForDrivesAndAFailedPlaceReturnsToTheOpeningFolder) {
    const std::string gone = media_->file("gone-home");
    lvtest::scoped_env env("HOME", QByteArray::fromStdString(gone));
    {
        const auto places = lv::storage_places();
        ASSERT_GE(places.size(), 2u);
        EXPECT_EQ(places.front(), "/");
        EXPECT_EQ(places.back(), gone);
        EXPECT_EQ(lv::storage_place_of(gone + "/pics"), gone);
        EXPECT_EQ(lv::storage_place_of(media_->path()), "/");

        lv::frmAddwav dlg;
        EXPECT_EQ(dlg.Drive1->drive(), "/");
        ASSERT_TRUE(dlg.Dir1->set_path(media_->file("sub")));   // wander off first
        // The home folder cannot be opened: back to where the window opened, silently.
        dlg.Drive1->setCurrentIndex(dlg.Drive1->findData(QString::fromStdString(gone)));
        emit dlg.Drive1->activated(dlg.Drive1->currentIndex());
        EXPECT_EQ(dlg.Dir1->path(), media_->path());
        EXPECT_EQ(dlg.File1->path(), media_->path());
        EXPECT_EQ(dlg.Drive1->drive(), "/");
        // The root can.
        dlg.Drive1->setCurrentIndex(dlg.Drive1->findData(QStringLiteral("/")));
        emit dlg.Drive1->activated(dlg.Drive1->currentIndex());
        EXPECT_EQ(dlg.Dir1->path(), "/");
    }
}

// ------------------------------------------------------------ one file chosen

TEST_F(Pickers, GetimageHandsBackThePathOnlyOnSelect) {
    lv::editors().picked_file = "left over";
    {
        lv::frmGetimage dlg;
        EXPECT_EQ(lv::editors().picked_file, "");   // reset on load
        choose(dlg.File1, "B.PNG");
        tick(dlg);
        auto finished = count_finished(dlg);
        dlg.Command1->click();
        EXPECT_EQ(*finished, 1);
        EXPECT_EQ(lv::editors().picked_file, media_->file("B.PNG"));
    }
    {
        lv::frmGetimage dlg;
        choose(dlg.File1, "a.jpg");
        dlg.Command3->click();
        EXPECT_EQ(lv::editors().picked_file, "");
    }
    {
        // The entry lost within one tick: Select is still enabled, nothing is chosen.
        lv::frmGetimage dlg;
        choose(dlg.File1, "a.jpg");
        tick(dlg);
        dlg.File1->clearSelection();
        ASSERT_TRUE(dlg.Command1->isEnabled());
        auto finished = count_finished(dlg);
        dlg.Command1->click();
        EXPECT_EQ(*finished, 1);
        EXPECT_EQ(lv::editors().picked_file, "");
    }
}

TEST_F(Pickers, SelectTimerEnablesSelectOnlyWithACurrentEntry) {
    lv::frmGetbackground dlg;
    ASSERT_NE(dlg.Timer1, nullptr);
    EXPECT_EQ(dlg.Timer1->interval(), 200);
    EXPECT_TRUE(dlg.Timer1->isActive());
    EXPECT_FALSE(dlg.Command1->isEnabled());
    choose(dlg.File1, "c.bmp");
    EXPECT_FALSE(dlg.Command1->isEnabled());   // only the timer changes it
    tick(dlg);
    EXPECT_TRUE(dlg.Command1->isEnabled());
    ASSERT_TRUE(dlg.Dir1->set_path(media_->file("sub")));   // the list loses its entry
    tick(dlg);
    EXPECT_FALSE(dlg.Command1->isEnabled());
    dlg.reject();
    EXPECT_FALSE(dlg.Timer1->isActive());
}

TEST_F(Pickers, BackgroundGradientAndClearChoices) {
    {
        lv::frmGetbackground dlg;
        EXPECT_TRUE(dlg.Command2->isHidden());   // clearing not offered
        EXPECT_FALSE(dlg.Command2->isEnabled());
        choose(dlg.File1, "a.jpg");
        dlg.Command5->click();                   // wins over the selected picture
        EXPECT_EQ(lv::editors().picked_file, "Gradient Background");
        EXPECT_EQ(lv::editors().offer_clear_file, 0);
    }
    lv::editors().offer_clear_file = 1;
    {
        lv::frmGetbackground dlg;
        EXPECT_FALSE(dlg.Command2->isHidden());
        EXPECT_TRUE(dlg.Command2->isEnabled());
        EXPECT_EQ(lv::editors().offer_clear_file, 0);   // taken in at load
        EXPECT_EQ(dlg.Command2->text(), QStringLiteral("Cancel And Clear &File"));
        choose(dlg.File1, "a.jpg");
        auto finished = count_finished(dlg);
        dlg.Command2->click();
        EXPECT_EQ(*finished, 1);
        EXPECT_EQ(lv::editors().offer_clear_file, 1);
        EXPECT_EQ(lv::editors().picked_file, "");
    }
}

TEST_F(Pickers, AddwavHandsBackTheSoundOrTheClearChoice) {
    lv::editors().picked_sound = "left over";
    {
        lv::frmAddwav dlg;
        EXPECT_EQ(lv::editors().picked_sound, "");
        EXPECT_TRUE(dlg.Command1->isHidden());
        choose(dlg.File1, "tone.wav");
        tick(dlg);
        dlg.Command2->click();
        EXPECT_EQ(lv::editors().picked_sound, media_->file("tone.wav"));
    }
    {
        lv::frmAddwav dlg;
        // Select with nothing current chooses nothing (not the bare folder).
        choose(dlg.File1, "tone.wav");
        tick(dlg);
        dlg.File1->clearSelection();
        auto finished = count_finished(dlg);
        dlg.Command2->click();
        EXPECT_EQ(*finished, 1);
        EXPECT_EQ(lv::editors().picked_sound, "");
    }
    lv::editors().offer_clear_file = 1;
    {
        lv::frmAddwav dlg;
        EXPECT_FALSE(dlg.Command1->isHidden());
        EXPECT_EQ(lv::editors().offer_clear_file, 0);
        choose(dlg.File1, "song.mid");
        dlg.Command1->click();
        EXPECT_EQ(lv::editors().offer_clear_file, 1);
        EXPECT_EQ(lv::editors().picked_sound, "");
    }
    lv::editors().offer_clear_file = 0;
    {
        lv::frmAddwav dlg;
        choose(dlg.File1, "song.mid");
        dlg.Command3->click();
        EXPECT_EQ(lv::editors().picked_sound, "");
        EXPECT_EQ(lv::editors().offer_clear_file, 0);
    }
}

// ------------------------------------------------------------ adding sequences

TEST_F(Pickers, AddAllAppendsSequencesWithNewSequenceDefaultsAndListRows) {
    lv::doc().image_count = 1;
    lv::redim_slides(1);
    lv::sequence_record first = lv::default_sequence("/keep/me.jpg");
    first.display_time = 99;
    first.notes = "kept";
    lv::doc().sequences.set(1, first);

    lv::frmAddphotos dlg;
    QListWidget editor_list;
    editor_list.addItem(QStringLiteral("me.jpg"));
    dlg.set_sequence_list(&editor_list);
    auto finished = count_finished(dlg);
    dlg.Command2->click();
    EXPECT_EQ(*finished, 1);

    const auto& d = lv::doc();
    ASSERT_EQ(d.image_count, 6);
    ASSERT_EQ(d.sequences.size(), 7u);
    EXPECT_EQ(d.sequences.get(1).notes, "kept");
    EXPECT_EQ(d.sequences.get(1).display_time, 99);
    const std::vector<std::string> names{"a.jpg", "B.PNG", "broken.mpg", "c.bmp", "d.gif"};
    ASSERT_EQ(editor_list.count(), 6);
    for (int i = 0; i < 5; ++i) {
        const lv::sequence_record want = lv::default_sequence(media_->file(names[static_cast<std::size_t>(i)]));
        const lv::sequence_record got = d.sequences.get(i + 2);
        EXPECT_EQ(got.image_file, want.image_file);
        EXPECT_EQ(got.display_position, want.display_position);
        EXPECT_EQ(got.display_time, want.display_time);
        EXPECT_EQ(got.caption_position, want.caption_position);
        EXPECT_EQ(got.caption_font_name, want.caption_font_name);
        EXPECT_EQ(got.caption_font_size, want.caption_font_size);
        EXPECT_EQ(got.caption_bold, want.caption_bold);
        EXPECT_EQ(got.caption_style, want.caption_style);
        EXPECT_EQ(got.caption_shadow_size, want.caption_shadow_size);
        EXPECT_EQ(got.caption_color, want.caption_color);
        EXPECT_EQ(got.audio_file, "");
        EXPECT_EQ(got.background_file, "");
        EXPECT_EQ(editor_list.item(i + 1)->text().toStdString(), names[static_cast<std::size_t>(i)]);
    }
}

TEST_F(Pickers, AddSelectedAddsOnlyTheSelectionAndEmptyListsKeepTheWindowOpen) {
    {
        lv::frmAddphotos dlg;
        std::vector<std::string> rows;
        dlg.append_to_list = [&rows](const std::string& t) { rows.push_back(t); };
        dlg.File1->item(row_of(dlg.File1, "d.gif"))->setSelected(true);
        dlg.File1->item(row_of(dlg.File1, "a.jpg"))->setSelected(true);
        dlg.Command1->click();
        EXPECT_EQ(lv::doc().image_count, 2);
        EXPECT_EQ(lv::doc().sequences.image_file[1], media_->file("a.jpg"));   // list order, not click order
        EXPECT_EQ(lv::doc().sequences.image_file[2], media_->file("d.gif"));
        EXPECT_EQ(rows, (std::vector<std::string>{"a.jpg", "d.gif"}));
    }
    {
        // Files listed, none selected: closes and adds nothing.
        lv::frmAddphotos dlg;
        auto finished = count_finished(dlg);
        dlg.Command1->click();
        EXPECT_EQ(*finished, 1);
        EXPECT_EQ(lv::doc().image_count, 2);
    }
    {
        // Nothing listed: the window stays for another folder.
        lv::frmAddphotos dlg;
        ASSERT_TRUE(dlg.Dir1->set_path(media_->file("empty")));
        auto finished = count_finished(dlg);
        dlg.Command2->click();
        dlg.Command1->click();
        EXPECT_EQ(*finished, 0);
        EXPECT_EQ(lv::doc().image_count, 2);
        dlg.reject();
        EXPECT_EQ(*finished, 1);
    }
}

TEST_F(Pickers, AddingStopsAtTheSequenceLimitWithoutAMessage) {
    lv::doc().image_count = 31998;
    lv::redim_slides(31998);
    lv::doc().sequences.image_file[31998] = "/last/one.jpg";
    lv::program().last_folder = media_->file("five");
    lv::frmAddphotos dlg;
    int rows = 0;
    dlg.append_to_list = [&rows](const std::string&) { ++rows; };
    auto finished = count_finished(dlg);
    dlg.Command2->click();
    EXPECT_EQ(*finished, 1);
    EXPECT_EQ(lv::doc().image_count, 32000);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(lv::doc().sequences.size(), 32001u);
    EXPECT_EQ(lv::doc().sequences.image_file[31998], "/last/one.jpg");
    EXPECT_EQ(lv::doc().sequences.image_file[31999], media_->file("five/p1.jpg"));
    EXPECT_EQ(lv::doc().sequences.image_file[32000], media_->file("five/p2.jpg"));
}

// ------------------------------------------------------------ the music list

TEST_F(Pickers, MusicListLoadsAddsAndRemovesInStep) {
    auto& d = lv::doc();
    d.music_count = 6;
    lv::redim_music(6);
    for (int i = 1; i <= 6; ++i) d.music_files[static_cast<std::size_t>(i)] = "/m/song" + std::to_string(i) + ".mid";

    lv::frmAddmusic dlg;
    ASSERT_EQ(dlg.List2->count(), 6);
    EXPECT_EQ(dlg.List2->item(0)->text(), QStringLiteral("song1.mid"));

    // Rows 2 and 4 (1-based) go.
    dlg.List2->item(1)->setSelected(true);
    dlg.List2->item(3)->setSelected(true);
    dlg.Command5->click();
    ASSERT_EQ(d.music_count, 4);
    ASSERT_EQ(d.music_files.size(), 5u);
    const std::vector<std::string> want{"/m/song1.mid", "/m/song3.mid", "/m/song5.mid", "/m/song6.mid"};
    ASSERT_EQ(dlg.List2->count(), 4);
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(d.music_files[static_cast<std::size_t>(r + 1)], want[static_cast<std::size_t>(r)]);
        EXPECT_EQ(dlg.List2->item(r)->text().toStdString(), want[static_cast<std::size_t>(r)].substr(3));
    }
    EXPECT_EQ(dlg.List2->currentRow(), -1);

    // Adding keeps the window open and appends in list order.
    auto finished = count_finished(dlg);
    dlg.File1->item(row_of(dlg.File1, "tone.wav"))->setSelected(true);
    dlg.Command1->click();
    dlg.Command2->click();
    EXPECT_EQ(*finished, 0);
    ASSERT_EQ(d.music_count, 9);
    EXPECT_EQ(d.music_files[5], media_->file("tone.wav"));
    EXPECT_EQ(d.music_files[6], media_->file("riff.rmi"));
    EXPECT_EQ(d.music_files[9], media_->file("track.MP3"));
    ASSERT_EQ(dlg.List2->count(), 9);
    EXPECT_EQ(dlg.List2->item(8)->text(), QStringLiteral("track.MP3"));

    // Removing with nothing selected changes nothing.
    dlg.List2->clearSelection();
    dlg.Command5->click();
    EXPECT_EQ(d.music_count, 9);
    dlg.Command3->click();
    EXPECT_EQ(*finished, 1);
}

TEST_F(Pickers, MusicStopsAtItsLimit) {
    auto& d = lv::doc();
    d.music_count = 9998;
    lv::redim_music(9998);
    lv::frmAddmusic dlg;
    EXPECT_EQ(dlg.List2->count(), 9998);
    dlg.Command2->click();   // four files listed
    EXPECT_EQ(d.music_count, 10000);
    EXPECT_EQ(dlg.List2->count(), 10000);
    EXPECT_EQ(d.music_files[10000], media_->file("song.mid"));
}

// ------------------------------------------------------------ previews

TEST_F(Pickers, SoundPreviewsPlayOnTheSoundChannelAndStopOnClose) {
    {
        lv::frmAddwav dlg;
        dlg.Command4->click();   // nothing current: nothing plays
        EXPECT_TRUE(played.empty());
        choose(dlg.File1, "tone.wav");
        dlg.Command4->click();
        ASSERT_EQ(played.size(), 1u);
        EXPECT_EQ(played.back(), media_->file("tone.wav"));
        EXPECT_TRUE(lv::sound_busy());
        double_click(dlg.File1, row_of(dlg.File1, "song.mid"));
        ASSERT_EQ(played.size(), 2u);
        EXPECT_EQ(played.back(), media_->file("song.mid"));
        dlg.reject();
        EXPECT_FALSE(lv::sound_busy());
    }
    {
        auto& d = lv::doc();
        d.music_count = 2;
        lv::redim_music(2);
        d.music_files[1] = media_->file("riff.rmi");
        d.music_files[2] = media_->file("tone.wav");
        lv::frmAddmusic dlg;
        double_click(dlg.List2, 1);
        EXPECT_EQ(played.back(), media_->file("tone.wav"));
        choose(dlg.File1, "song.mid");
        dlg.Command4->click();
        EXPECT_EQ(played.back(), media_->file("song.mid"));
        EXPECT_TRUE(lv::sound_busy());
        dlg.List2->item(0)->setSelected(true);
        dlg.Command5->click();   // removing stops the preview first
        EXPECT_FALSE(lv::sound_busy());
    }
}

TEST_F(Pickers, PicturePreviewFitsThePictureInsideTheBox) {
    lv::frmGetimage dlg;
    dlg.show();
    spin(50);
    EXPECT_FALSE(dlg.FXImage1->isHidden());   // made visible on activation
    choose(dlg.File1, "a.jpg");   // 400 x 200
    dlg.Command4->click();
    EXPECT_EQ(dlg.FXImage1->file_name().toStdString(), media_->file("a.jpg"));
    EXPECT_FALSE(dlg.FXImage1->isHidden());
    EXPECT_TRUE(dlg.FXImage1->updates());
    EXPECT_TRUE(dlg.FXVid1->isHidden());
    const QRect area = dlg.preview_area();
    EXPECT_TRUE(area.contains(dlg.FXImage1->geometry()));
    EXPECT_EQ(dlg.FXImage1->width(), area.width());
    EXPECT_EQ(dlg.FXImage1->height(), area.width() / 2);

    // A portrait picture by double click: full height, centred.
    double_click(dlg.File1, row_of(dlg.File1, "B.PNG"));
    EXPECT_EQ(dlg.FXImage1->file_name().toStdString(), media_->file("B.PNG"));
    EXPECT_EQ(dlg.FXImage1->height(), area.height());
    EXPECT_EQ(dlg.FXImage1->width(), area.height() / 2);
    EXPECT_NEAR(dlg.FXImage1->geometry().center().x(), area.center().x(), 1);
    dlg.reject();
}

TEST_F(Pickers, VideoThatCannotBeOpenedIsReported) {
    lv::frmGetimage dlg;
    dlg.show();
    spin(50);
    auto seen = std::make_shared<lvtest::seen_box>();
    lvtest::answer_message_box(seen);
    choose(dlg.File1, "broken.mpg");
    dlg.Command4->click();
    EXPECT_EQ(seen->text, "Error trying to open video device!");
    EXPECT_EQ(seen->title, "Lumivane");
    EXPECT_EQ(seen->buttons, 1);
    EXPECT_EQ(seen->icon, QMessageBox::NoIcon);
    EXPECT_TRUE(dlg.FXVid1->isHidden());
    dlg.reject();
}

TEST_F(Pickers, MpgPreviewPlaysInTheVideoControlMutedWhenSoundIsOff) {
    if (!media_->have_video) GTEST_SKIP() << "ffmpeg is not available";
    std::string seen_text;
    // No message may appear; answer one anyway so a failure cannot hang.
    auto seen = std::make_shared<lvtest::seen_box>();
    auto watch = when_modal<QMessageBox>(
        [seen](QMessageBox* box) {
            seen->text = box->text().toStdString();
            box->done(QMessageBox::Ok);
        },
        lvtest::hang_guard_ms, false);
    lv::settings().audio_on = 0;
    lv::program().last_folder = media_->file("video");
    lv::frmGetimage dlg;
    dlg.show();
    spin(50);
    choose(dlg.File1, "clip.mpg");
    dlg.Command4->click();
    EXPECT_EQ(seen->text, "");
    EXPECT_FALSE(dlg.FXVid1->isHidden());
    EXPECT_TRUE(dlg.FXImage1->isHidden());
    EXPECT_TRUE(dlg.FXVid1->muted());
    EXPECT_EQ(dlg.FXVid1->status(), QStringLiteral("PLAYING"));
    // 160 x 120 fills the 320 x 240 box.
    EXPECT_EQ(dlg.FXVid1->geometry(), dlg.preview_area());

    // A picture afterwards stops the video and takes the box back.
    choose(dlg.File1, "still.bmp");
    dlg.Command4->click();
    EXPECT_TRUE(dlg.FXVid1->isHidden());
    EXPECT_NE(dlg.FXVid1->status(), QStringLiteral("PLAYING"));
    EXPECT_FALSE(dlg.FXImage1->isHidden());

    lv::settings().audio_on = 1;
    choose(dlg.File1, "clip.mpg");
    dlg.Command4->click();
    EXPECT_FALSE(dlg.FXVid1->muted());
    dlg.reject();   // closing stops it
    EXPECT_NE(dlg.FXVid1->status(), QStringLiteral("PLAYING"));
    if (watch) delete watch.data();
}

// ------------------------------------------------------------ help pop-ups

template <class Picker>
void expect_one_popup(int message) {
    // The pop-up comes once even though the window is activated again when
    // the pop-up closes; a second watcher would catch a second one.
    std::vector<int> seen;
    auto record = [&seen](lv::frmPopmessage* w) {
        seen.push_back(lv::help_popup().message_number);
        w->done(0);
    };
    Picker dlg;
    QPointer<QTimer> second;
    // Once the first is answered, a second watcher looks a while longer.
    auto first = when_modal<lv::frmPopmessage>([&](lv::frmPopmessage* w) {
        record(w);
        second = when_modal<lv::frmPopmessage>(record, lvtest::hang_guard_ms, false);
        QTimer::singleShot(600, &dlg, [&dlg] { dlg.reject(); });
    });
    dlg.exec();
    EXPECT_EQ(seen, std::vector<int>{message});
    if (first) delete first.data();
    if (second) delete second.data();
}

TEST_F(Pickers, FirstActivationShowsTheHelpPopupOnce) {
    store.values.erase(lv::message_setting_key(10));
    store.values.erase(lv::message_setting_key(9));
    expect_one_popup<lv::frmAddphotos>(10);
    expect_one_popup<lv::frmAddmusic>(9);
    // The pickers that return one file show none.
    int popups = 0;
    auto watch = when_modal<lv::frmPopmessage>([&popups](lv::frmPopmessage* w) {
        ++popups;
        w->done(0);
    }, lvtest::hang_guard_ms, false);
    {
        lv::frmGetimage dlg;
        QTimer::singleShot(500, &dlg, [&dlg] { dlg.reject(); });
        dlg.exec();
    }
    EXPECT_EQ(popups, 0);
    if (watch) delete watch.data();
}

}  // namespace
