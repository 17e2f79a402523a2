#include "custom_editor/frmAddphotos.h"

#include "core/document.h"
#include "core/file_names.h"
#include "platform/desktop/frmPopmessage.h"

#include <QBoxLayout>
#include <QPointer>
#include <QPushButton>

namespace lv {

frmAddphotos::frmAddphotos(QWidget* parent)
    : picture_picker(parent, QStringLiteral("Add Images To Your SlideShow"), QString::fromLatin1(picture_file_pattern),
                     QStringLiteral("Double click on an image to preview it"), true) {
    Command1 = make_button(QStringLiteral("Add &Selected Files Only"),
                           QStringLiteral(" Add files that are currently selected "));
    Command2 = make_button(QStringLiteral("&Add All Files"), QStringLiteral(" Add all files from this directory "));
    Command4 = make_button(QStringLiteral("&Preview Image"), QStringLiteral(" View the selected image "));
    Command3 = make_button(QStringLiteral("&Cancel"), QStringLiteral(" Exit without adding images to your slideshow "));
    button_row()->addWidget(Command1);
    button_row()->addWidget(Command2);
    button_row()->addWidget(Command4);
    button_row()->addStretch(1);
    button_row()->addWidget(Command3);

    connect(Command1, &QPushButton::clicked, this, [this] { add_clicked(true); });
    connect(Command2, &QPushButton::clicked, this, [this] { add_clicked(false); });
    connect(Command3, &QPushButton::clicked, this, [this] { reject(); });
    connect(Command4, &QPushButton::clicked, this, [this] { preview_image(); });
}

void frmAddphotos::set_sequence_list(QListWidget* list) {
    QPointer<QListWidget> target(list);
    append_to_list = [target](const std::string& title) {
        if (target) target->addItem(QString::fromStdString(title));
    };
}

void frmAddphotos::add_clicked(bool selected_only) {
    if (busy() || closing()) return;
    slideshow_document& d = doc();
    const bool walked = add_files(
        selected_only, [&d] { return d.image_count < max_sequences; },
        [this, &d](const std::string& path) {
            d.image_count += 1;
            redim_slides(d.image_count);
            d.sequences.image_file[static_cast<std::size_t>(d.image_count)] = path;
            if (append_to_list) append_to_list(file_title(path));
            reset_othervars();
        });
    if (!walked) return;   // nothing listed: the window stays
    if (!yield_open()) return;
    accept();
}

void frmAddphotos::reset_othervars() {
    slideshow_document& d = doc();
    const int n = d.image_count;
    if (n < 1 || static_cast<std::size_t>(n) >= d.sequences.size()) return;
    d.sequences.set(n, default_sequence(d.sequences.image_file[static_cast<std::size_t>(n)]));
}

void frmAddphotos::first_activation() { show_message(10); }

}  // namespace lv
