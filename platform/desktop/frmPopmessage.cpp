#include "platform/desktop/frmPopmessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "platform/desktop/desktop_services.h"
#include "platform/desktop/print_text.h"

namespace lv {

void show_message(int n) {
    help_popup().message_number = n;
    const bool shown = find_help_message(n) &&
                       !message_suppressed(config_store().read(message_setting_key(n), "0"));
    if (!shown) {
        // No window loads, so the one-shot request must not linger and hide
        // the box of some later message.
        help_popup().hide_never_again_check = 0;
        return;
    }
    frmPopmessage dlg(QApplication::activeWindow());
    dlg.exec();
}

frmPopmessage::frmPopmessage(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Lumivane"));
    setModal(true);

    Label1 = new QLabel(this);
    QFont title_font = Label1->font();
    title_font.setPointSize(title_font.pointSize() + 4);
    title_font.setBold(true);
    Label1->setFont(title_font);

    Text1 = new QPlainTextEdit(this);
    Text1->setReadOnly(true);
    Text1->setMinimumSize(460, 260);

    Check1 = new QCheckBox(QStringLiteral("Check this box to never display this message again."), this);

    Command2 = new QToolButton(this);
    Command2->setToolTip(QStringLiteral(" Print This Message "));
    Command2->setIcon(QIcon::fromTheme(QStringLiteral("document-print"),
                                       style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    Command2->setAutoRaise(false);
    Command2->setFocusPolicy(Qt::StrongFocus);

    Command1 = new QPushButton(QStringLiteral("Ok"), this);
    Command1->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Check1);
    bottom->addStretch(1);
    bottom->addWidget(Command2);
    bottom->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Text1, 1);
    layout->addLayout(bottom);

    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Command2, &QToolButton::clicked, this, &frmPopmessage::print_message);

    auto message = find_help_message(help_popup().message_number);
    check_hidden_ = help_popup().hide_never_again_check == 1 || (message && message->check_always_hidden);
    if (check_hidden_) Check1->hide();
    help_popup().hide_never_again_check = 0;

    setup_messages();
    adjustSize();
    center_form(this);
}

void frmPopmessage::setup_messages() {
    auto message = find_help_message(help_popup().message_number);
    if (!message) {
        Label1->clear();
        Text1->clear();
        return;
    }
    Label1->setText(QString::fromStdString(message->title));
    QString body = QString::fromStdString(message->body);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(body);
}

void frmPopmessage::showEvent(QShowEvent* e) {
    setup_messages();
    QDialog::showEvent(e);
}

void frmPopmessage::done(int r) {
    if (!check_hidden_ && Check1->isChecked()) {
        config_store().write(message_setting_key(help_popup().message_number), message_suppressed_value);
        yield_events();
    }
    QDialog::done(r);
}

void frmPopmessage::unable_to_print() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Unable To Print"),
                    QStringLiteral("Please check your printer!"), QMessageBox::Ok, this);
    box.exec();
}

bool frmPopmessage::try_print(QPrinter& printer) {
    auto message = find_help_message(help_popup().message_number);
    if (!message) return false;
    hourglass_on();
    bool ok = print_lines(printer, message_printout(*message, now()));
    hourglass_off();
    return ok;
}

bool frmPopmessage::print_message_to(QPrinter& printer) {
    if (try_print(printer)) return true;
    unable_to_print();
    return false;
}

void frmPopmessage::print_message() {
    if (!default_printer_available()) {
        unable_to_print();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    print_message_to(printer);
}

}  // namespace lv
