#include "custom_editor/frmAddmusic.h"

#include "core/document.h"
#include "core/file_names.h"
#include "core/state.h"
#include "platform/media/audio.h"
#include "platform/desktop/frmPopmessage.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace lv {

frmAddmusic::frmAddmusic(QWidget* parent)
    : sound_picker(parent, QStringLiteral("Add Background Music To Your SlideShow"),
                   QString::fromLatin1(music_file_pattern), program().last_music_folder, true) {
    Frame1 = new QGroupBox(QStringLiteral("Selected Music Files To Play"), this);
    List2 = new QListWidget(Frame1);
    List2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List2->setUniformItemSizes(true);
    List2->setToolTip(QStringLiteral(" This is a list of music files to play during your slideshow "));
    List2->setMinimumSize(240, 260);
    auto* frame_layout = new QVBoxLayout(Frame1);
    frame_layout->addWidget(List2);
    content_row()->addWidget(Frame1, 1);

    Command1 = make_button(QStringLiteral("Add &Selected Files Only"),
                           QStringLiteral(" Add the files that are currently selected "));
    Command2 = make_button(QStringLiteral("&Add All Files"), QStringLiteral(" Add all files from this directory "));
    Command4 = make_button(QStringLiteral("&Preview Music File"), QStringLiteral(" Preview the selected music file "));
    Command5 = make_button(QStringLiteral("&Remove Selected Music File(s)"),
                           QStringLiteral(" Removes the selected music file(s) from your slideshow "));
    Command3 = make_button(QStringLiteral("&Ok"), QString());
    button_row()->addWidget(Command1);
    button_row()->addWidget(Command2);
    button_row()->addWidget(Command4);
    button_row()->addStretch(1);
    button_row()->addWidget(Command5);
    button_row()->addWidget(Command3);

    connect(Command1, &QPushButton::clicked, this, [this] { add_clicked(true); });
    connect(Command2, &QPushButton::clicked, this, [this] { add_clicked(false); });
    connect(Command3, &QPushButton::clicked, this, [this] { accept(); });
    connect(Command4, &QPushButton::clicked, this, [this] { preview_sound(); });
    connect(Command5, &QPushButton::clicked, this, [this] { remove_clicked(); });
    connect(List2, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { list_clicked(); });
    connect(List2, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { list_clicked(); });

    const slideshow_document& d = doc();
    for (int i = 1; i <= d.music_count && static_cast<std::size_t>(i) < d.music_files.size(); ++i)
        List2->addItem(QString::fromStdString(file_title(d.music_files[static_cast<std::size_t>(i)])));
}

void frmAddmusic::add_clicked(bool selected_only) {
    if (busy() || closing()) return;
    slideshow_document& d = doc();
    // The rows join List2 in one batch after the walk: the document yields
    // after every entry, and a list that grew at each yield would lay out
    // all its rows again each time.
    QStringList rows;
    QPointer<QListWidget> list(List2);
    const bool walked = add_files(
        selected_only, [&d] { return d.music_count < max_music; },
        [&d, &rows](const std::string& path) {
            d.music_count += 1;
            redim_music(d.music_count);
            d.music_files[static_cast<std::size_t>(d.music_count)] = path;
            rows.append(QString::fromStdString(file_title(path)));
        });
    if (list) list->addItems(rows);
    if (walked && list) yield_open();
}

void frmAddmusic::remove_clicked() {
    if (busy() || closing()) return;
    audio_off();
    slideshow_document& d = doc();
    if (List2->count() > 0) {
        // Bottom-up, so that the rows still to be visited keep their numbers.
        for (int r = List2->count() - 1; r >= 0; --r) {
            if (!List2->item(r)->isSelected()) continue;
            delete List2->takeItem(r);
            const int n = r + 1;
            if (n <= d.music_count) {
                d.music_files.erase(d.music_files.begin() + n);
                d.music_count -= 1;
            }
        }
        redim_music(d.music_count);
    }
    List2->setCurrentRow(-1);
}

void frmAddmusic::list_clicked() {
    if (busy() || closing()) return;
    const int r = List2->currentRow();
    if (r < 0) return;
    const slideshow_document& d = doc();
    const auto i = static_cast<std::size_t>(r + 1);
    if (i < d.music_files.size() && d.music_files[i].size() > 3) play_music(d.music_files[i]);
}

void frmAddmusic::play_music(const std::string& path) { play_sound_file(path); }

void frmAddmusic::audio_off() { stop_sound(); }

void frmAddmusic::showEvent(QShowEvent* e) {
    sound_picker::showEvent(e);
    if (!activated_) QTimer::singleShot(0, this, [this] { activation(); });
}

bool frmAddmusic::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate && !activated_) QTimer::singleShot(0, this, [this] { activation(); });
    return sound_picker::event(e);
}

void frmAddmusic::activation() {
    if (activated_ || closing()) return;
    activated_ = true;
    show_message(9);
}

}  // namespace lv
