#include "custom_editor/frmGetimage.h"

#include "core/editor_state.h"

#include <QBoxLayout>
#include <QPushButton>

namespace lv {

frmGetimage::frmGetimage(QWidget* parent)
    : picture_picker(parent, QStringLiteral("Change Current Image"), QString::fromLatin1(picture_file_pattern),
                     QStringLiteral("Double click on an image to preview it")) {
    editors().picked_file.clear();

    Command1 = make_button(QStringLiteral("&Select This Image And Exit"), QStringLiteral(" Select this filename and exit "));
    Command4 = make_button(QStringLiteral("&Preview Image"), QStringLiteral(" View the selected image "));
    Command3 = make_button(QStringLiteral("&Cancel"), QStringLiteral(" Exit without selecting a file "));
    button_row()->addWidget(Command1);
    button_row()->addWidget(Command4);
    button_row()->addStretch(1);
    button_row()->addWidget(Command3);

    connect(Command1, &QPushButton::clicked, this, [this] { select_clicked(); });
    connect(Command3, &QPushButton::clicked, this, [this] { reject(); });
    connect(Command4, &QPushButton::clicked, this, [this] { preview_image(); });

    start_select_timer(Command1);
}

void frmGetimage::select_clicked() {
    if (busy()) return;
    editors().picked_file.clear();
    const std::string path = File1->current_full_path();
    if (!storable_choice(this, path)) return;   // the window stays for another choice
    editors().picked_file = path;
    accept();
}

}  // namespace lv
