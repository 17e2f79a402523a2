#include "custom_editor/frmGetbackground.h"

#include "core/document.h"
#include "core/editor_state.h"

#include <QBoxLayout>
#include <QPushButton>

namespace lv {

frmGetbackground::frmGetbackground(QWidget* parent)
    : picture_picker(parent, QStringLiteral("Select A Background Type - Background Image Or Gradient Pattern"),
                     QString::fromLatin1(background_file_pattern), QStringLiteral("Double click on an image to preview it")) {
    editors().picked_file.clear();

    Command1 = make_button(QStringLiteral("&Select This Image And Exit"), QStringLiteral(" Select this filename and exit "));
    Command5 = make_button(QStringLiteral("Use A &Random Gradient Background For This Image"),
                           QStringLiteral(" Click here to use a random gradient pattern for this background "));
    Command4 = make_button(QStringLiteral("&Preview Image"), QStringLiteral(" View the selected picture "));
    Command2 = make_button(QStringLiteral("Cancel And Clear &File"),
                           QStringLiteral(" Clear the filename for this background and exit "));
    Command3 = make_button(QStringLiteral("&Cancel"), QStringLiteral(" Exit without selecting a file "));
    auto* choices = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(Command1);
    top->addWidget(Command4);
    top->addStretch(1);
    top->addWidget(Command2);
    top->addWidget(Command3);
    choices->addLayout(top);
    choices->addWidget(Command5);
    button_row()->addLayout(choices, 1);

    connect(Command1, &QPushButton::clicked, this, [this] { select_clicked(); });
    connect(Command2, &QPushButton::clicked, this, [this] { clear_clicked(); });
    connect(Command3, &QPushButton::clicked, this, [this] { reject(); });
    connect(Command4, &QPushButton::clicked, this, [this] { preview_image(); });
    connect(Command5, &QPushButton::clicked, this, [this] { gradient_clicked(); });

    // Clearing is offered only for a background that is set.
    Command2->setVisible(false);
    Command2->setEnabled(false);
    if (editors().offer_clear_file == 1) {
        Command2->setVisible(true);
        Command2->setEnabled(true);
    }
    editors().offer_clear_file = 0;

    start_select_timer(Command1);
}

void frmGetbackground::select_clicked() {
    if (busy()) return;
    editors().picked_file.clear();
    const std::string path = File1->current_full_path();
    if (!storable_choice(this, path)) return;   // the window stays for another choice
    editors().picked_file = path;
    accept();
}

void frmGetbackground::clear_clicked() {
    if (busy()) return;
    editors().offer_clear_file = 1;
    reject();
}

void frmGetbackground::gradient_clicked() {
    if (busy()) return;
    editors().picked_file = gradient_background;
    accept();
}

}  // namespace lv
