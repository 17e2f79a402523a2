#pragma once
// The screen-saver password prompt: shown over the running player when a
// screen-saver show is asked to end and a password is stored. The right
// password lets the player close; Cancel or ten seconds without it let the
// show go on.
#include <QDialog>
#include <QMessageBox>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace lv {

class frmSlideshow;

class frmCheckPassword : public QDialog {
    Q_OBJECT
public:
    // The window load: caption, topmost, cursor shown, Timer1 running.
    // player (may be null) is the show whose mouse-burst count a cancelled
    // prompt resets.
    explicit frmCheckPassword(frmSlideshow* player = nullptr, QWidget* parent = nullptr);
    ~frmCheckPassword() override;

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;   // "Ok" (also Enter)
    QPushButton* Command2 = nullptr;   // "Cancel" (also Esc)
    QTimer* Timer1 = nullptr;          // 10 000 ms from the load

    static constexpr int timeout_ms = 10000;

    // Ok: compares the typed text with the stored password, both upper-cased.
    void ok_clicked();
    // Cancel and the first Timer1 tick: the show goes on.
    void cancel_clicked();
    // Esc and the close box count as Cancel.
    void reject() override;

    // The message box of a wrong password while it is open (else null).
    QMessageBox* open_message() const { return message_; }
    bool closed() const { return closed_; }

    // The unload, for every way of closing: password_prompt_open = 0 and the
    // cursor hidden again. Closes a message box that is still open.
    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QPointer<frmSlideshow> player_;
    QPointer<QMessageBox> message_;
    bool closed_ = false;
};

// What the player calls as its password prompt: shows frmCheckPassword over
// the player modally and returns when it has closed.
void ask_screensaver_password(frmSlideshow& player);

}  // namespace lv
