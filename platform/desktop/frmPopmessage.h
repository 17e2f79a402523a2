#pragma once
// The help pop-up: one small modal window that shows a numbered help message
// (title and body), prints it, and offers "never display this message again".
// show_message is the one way in; every screen passes only the number.
#include <QDialog>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QToolButton;

namespace lv {

// Shows message n modally unless the user suppressed it earlier (setting
// "Message" + n). A number with no message shows nothing.
void show_message(int n);

class frmPopmessage : public QDialog {
    Q_OBJECT
public:
    // The window load: hides the check box when help_popup().hide_never_again_check
    // is 1 (or the message can never be suppressed), resets that flag, and
    // centres the window on the screen.
    explicit frmPopmessage(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;          // the title
    QPlainTextEdit* Text1 = nullptr;   // the body
    QPushButton* Command1 = nullptr;   // "Ok"
    QToolButton* Command2 = nullptr;   // print
    QCheckBox* Check1 = nullptr;       // never display again

    // Prints the current message on the default printer; with no printer or
    // any failure the "Unable To Print" box appears and the window stays.
    void print_message();
    // The same on a given printer; false (after the box) on failure.
    bool print_message_to(QPrinter& printer);

    // Every way of closing ends here ("Ok", Esc, the close box): a ticked box
    // is stored before the window goes.
    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    // The activation: fills the title and the body of help_popup().message_number.
    void setup_messages();
    bool try_print(QPrinter& printer);
    void unable_to_print();
    bool check_hidden_ = false;
};

}  // namespace lv
