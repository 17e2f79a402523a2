#include "player/frmCheckPassword.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "core/hooks.h"
#include "core/state.h"
#include "platform/desktop/desktop_services.h"
#include "player/frmSlideshow.h"

namespace lv {

frmCheckPassword::frmCheckPassword(frmSlideshow* player, QWidget* parent)
    : QDialog(parent), player_(player) {
    setWindowTitle(QStringLiteral("Windows Screen Saver"));
    setModal(true);
    Label1 = new QLabel(QStringLiteral("Type your screen saver password:"), this);
    Text1 = new QLineEdit(this);
    Text1->setEchoMode(QLineEdit::Password);
    Text1->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));   // "*"
    Command1 = new QPushButton(QStringLiteral("Ok"), this);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setDefault(true);   // Enter in Text1 presses Ok and goes no further

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Text1);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &frmCheckPassword::ok_clicked);
    connect(Command2, &QPushButton::clicked, this, &frmCheckPassword::cancel_clicked);

    Timer1 = new QTimer(this);
    Timer1->setInterval(timeout_ms);
    connect(Timer1, &QTimer::timeout, this, &frmCheckPassword::cancel_clicked);

    // The window load.
    setWindowTitle(QStringLiteral("Lumivane"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    Timer1->start();
    yield_events();
    cursor_show();
}

frmCheckPassword::~frmCheckPassword() = default;

void frmCheckPassword::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    raise();
    activateWindow();
    Text1->setFocus();
}

void frmCheckPassword::ok_clicked() {
    if (closed_) return;
    const QString typed = Text1->text().toUpper();
    const QString stored = QString::fromStdString(settings().screensaver_password).toUpper();
    if (typed == stored) {
        run().exit_allowed = 1;
        run().password_prompt_open = 0;
        accept();
        return;
    }
    Text1->clear();
    QPointer<frmCheckPassword> self(this);
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Passwords"),
                                QStringLiteral("The password that you typed is not correct. "
                                               "Try typing it again."),
                                QMessageBox::Ok, this);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    message_ = box;
    box->exec();
    // The time-out may have closed the prompt (and the box) meanwhile.
    if (!self || closed_) return;
    message_ = nullptr;
    delete box;
    Text1->setFocus();
}

void frmCheckPassword::cancel_clicked() {
    if (closed_) return;
    run().time_to_end = 0;
    if (player_) player_->mouse.mouse_move_count = 0;
    run().password_prompt_open = 0;
    QDialog::reject();
}

void frmCheckPassword::reject() { cancel_clicked(); }

void frmCheckPassword::done(int r) {
    if (closed_) return;
    closed_ = true;
    Timer1->stop();
    // The show has the keyboard before the prompt and its message go.
    if (player_) player_->take_keyboard();
    // A message box of ours goes together with the prompt.
    if (message_) {
        message_->done(QMessageBox::Ok);
        message_->deleteLater();
        message_ = nullptr;
    }
    run().password_prompt_open = 0;
    cursor_hide();
    QDialog::done(r);
}

void ask_screensaver_password(frmSlideshow& player) {
    frmCheckPassword prompt(&player, &player);
    prompt.exec();
}

}  // namespace lv
