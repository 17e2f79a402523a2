#include "custom_editor/frmAddwav.h"

#include "core/editor_state.h"
#include "core/state.h"
#include "platform/media/audio.h"

#include <QBoxLayout>
#include <QPushButton>

namespace lv {

frmAddwav::frmAddwav(QWidget* parent)
    : sound_picker(parent, QStringLiteral("Select An Audio File To Play When This Image Is Displayed"),
                   QString::fromLatin1(sound_file_pattern), program().last_sound_folder, false) {
    editors().picked_sound.clear();
    Drive1->setToolTip(QStringLiteral("Choose which storage device to use"));
    File1->setToolTip(QStringLiteral("Double click on a file to preview it"));

    Command2 = make_button(QStringLiteral("&Select This File And Exit"), QStringLiteral(" Choose the selected file and exit "));
    Command4 = make_button(QStringLiteral("&Preview Audio File"), QStringLiteral(" Preview the selected audio file "));
    Command1 = make_button(QStringLiteral("Cancel And Clear &File"), QStringLiteral(" Clear the current setting and exit "));
    Command3 = make_button(QStringLiteral("&Cancel"), QStringLiteral(" Exit without selecting a file "));
    button_row()->addWidget(Command2);
    button_row()->addWidget(Command4);
    button_row()->addStretch(1);
    button_row()->addWidget(Command1);
    button_row()->addWidget(Command3);

    connect(Command1, &QPushButton::clicked, this, [this] { clear_clicked(); });
    connect(Command2, &QPushButton::clicked, this, [this] { select_clicked(); });
    connect(Command3, &QPushButton::clicked, this, [this] { cancel_clicked(); });
    connect(Command4, &QPushButton::clicked, this, [this] { preview_sound(); });

    Command1->setVisible(false);
    Command1->setEnabled(false);
    if (editors().offer_clear_file == 1) {
        Command1->setVisible(true);
        Command1->setEnabled(true);
    }
    editors().offer_clear_file = 0;

    start_select_timer(Command2);
}

void frmAddwav::select_clicked() {
    if (busy()) return;
    // With no current entry nothing is chosen (never the bare folder).
    const std::string path = File1->current_full_path();
    if (!storable_choice(this, path)) return;   // the window stays for another choice
    editors().picked_sound = path;
    accept();
}

void frmAddwav::cancel_clicked() {
    if (busy()) return;
    editors().picked_sound.clear();
    reject();
}

void frmAddwav::clear_clicked() {
    if (busy()) return;
    editors().offer_clear_file = 1;
    reject();
}

void frmAddwav::play_wav(const std::string& path) { play_sound_file(path); }

}  // namespace lv
