#pragma once
// Sets the screen-saver password ("/A", and the options screen). The new
// password is typed twice; it is stored scrambled through save_settings.
#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lv {

// The unshifted character of the key that types ch on the keyboard layout in
// use, letters as capitals; 0 when no key types ch (or only a dead key does).
using key_char_lookup = std::function<char32_t(char32_t)>;

// The same on a US keyboard: "!" -> "1", "a" -> "A", "{" -> "[".
char32_t us_layout_key_char(char32_t ch);
// The lookup FrmNewPassword uses: the X server's keyboard map when the
// program runs on X11, the US layout otherwise. Tests may replace it.
key_char_lookup& keyboard_layout();

// Each character replaced by the character of its key without Shift; a
// character no key types becomes U+0000.
QString normalize_password_keys(const QString& text, const key_char_lookup& lookup);
QString normalize_password_keys(const QString& text);

// A character the stored password can hold: one of the Windows-1252 single-
// byte code page, and not U+0000.
bool password_char_allowed(QChar c);

class FrmNewPassword : public QDialog {
    Q_OBJECT
public:
    explicit FrmNewPassword(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* NewPassword = nullptr;
    QLineEdit* NewPassword2 = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

    // OK: normalises both boxes, refuses a password that cannot be typed
    // back, differs from its confirmation or is longer than 30 characters,
    // otherwise stores it, sets the registry stand-in's
    // ScreenSaveUsePassword (1 for a password, 0 for none) and closes. When
    // either cannot be written it says so and stays open.
    void ok_clicked();

    static constexpr int max_password_length = 30;
};

}  // namespace lv
