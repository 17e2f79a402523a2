#include "player/FrmNewPassword.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGui/qguiapplication_platform.h>

#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "platform/desktop/desktop_services.h"

// Xlib last: its macros (None, Bool, Status, ...) clash with Qt names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace lv {

namespace {

// The 27 characters Windows-1252 puts at bytes 0x80..0x9F.
constexpr char16_t cp1252_high[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                    0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                    0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};

char32_t upper(char32_t c) { return QChar::toUpper(c); }

// Unicode character <-> X keysym: Latin-1 keysyms equal their code, every
// other character is 0x01000000 + its code.
unsigned long keysym_of(char32_t ch) {
    if ((ch >= 0x20 && ch <= 0x7E) || (ch >= 0xA0 && ch <= 0xFF)) return ch;
    return 0x01000000UL + ch;
}

char32_t char_of(unsigned long keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<char32_t>(keysym);
    if (keysym >= 0x01000100UL && keysym <= 0x0110FFFFUL) return static_cast<char32_t>(keysym - 0x01000000UL);
    return 0;   // dead keys, function keys, keysyms with no character
}

char32_t x11_key_char(Display* dpy, char32_t ch) {
    KeyCode code = XKeysymToKeycode(dpy, keysym_of(ch));
    if (code == 0) return 0;
    return upper(char_of(XkbKeycodeToKeysym(dpy, code, 0, 0)));
}

Display* x11_display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

}  // namespace

char32_t us_layout_key_char(char32_t ch) {
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
    if ((ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')) return ch;
    static constexpr const char* unshifted = " `-=[]\\;',./";
    for (const char* p = unshifted; *p; ++p)
        if (static_cast<char32_t>(*p) == ch) return ch;
    static constexpr const char* shifted = "~!@#$%^&*()_+{}|:\"<>?";
    static constexpr const char* base = "`1234567890-=[]\\;',./";
    for (int i = 0; shifted[i]; ++i)
        if (static_cast<char32_t>(shifted[i]) == ch) return static_cast<char32_t>(base[i]);
    return 0;
}

key_char_lookup& keyboard_layout() {
    static key_char_lookup lookup = [](char32_t ch) -> char32_t {
        if (Display* dpy = x11_display()) return x11_key_char(dpy, ch);
        return us_layout_key_char(ch);
    };
    return lookup;
}

QString normalize_password_keys(const QString& text, const key_char_lookup& lookup) {
    QString out;
    for (char32_t ch : text.toUcs4()) {
        char32_t c = lookup ? lookup(ch) : us_layout_key_char(ch);
        if (c > 0xFFFF) {
            out += QString::fromUcs4(&c, 1);
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

QString normalize_password_keys(const QString& text) { return normalize_password_keys(text, keyboard_layout()); }

bool password_char_allowed(QChar c) {
    const char16_t u = c.unicode();
    if (u == 0) return false;
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return true;
    for (char16_t h : cp1252_high)
        if (h == u) return true;
    return false;
}

FrmNewPassword::FrmNewPassword(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Change  Password"));
    setModal(true);
    Label1 = new QLabel(QStringLiteral("Change password for"), this);
    Label2 = new QLabel(QStringLiteral("New Password:"), this);
    Label3 = new QLabel(QStringLiteral("Confirm new password:"), this);
    NewPassword = new QLineEdit(this);
    NewPassword2 = new QLineEdit(this);
    for (QLineEdit* e : {NewPassword, NewPassword2}) {
        e->setEchoMode(QLineEdit::Password);
        e->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));   // "*"
    }
    OK = new QPushButton(QStringLiteral("OK"), this);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    OK->setDefault(true);

    auto* grid = new QVBoxLayout;
    grid->addWidget(Label2);
    grid->addWidget(NewPassword);
    grid->addWidget(Label3);
    grid->addWidget(NewPassword2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OK);
    buttons->addWidget(Cancel);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addLayout(grid, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(row);

    connect(OK, &QPushButton::clicked, this, &FrmNewPassword::ok_clicked);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

    // The window load.
    Label1->setText(QStringLiteral("Change password for ") + QStringLiteral("Lumivane"));
    NewPassword->clear();
    NewPassword2->clear();
}

void FrmNewPassword::ok_clicked() {
    const QString first = normalize_password_keys(NewPassword->text());
    const QString second = normalize_password_keys(NewPassword2->text());

    // A character that cannot be stored, or that no key types, would give a
    // password nobody can ever type at the prompt: refuse it here, with the
    // boxes left as typed so the user sees what to change.
    auto storable = [](const QString& original, const QString& normalized) {
        for (QChar c : original)
            if (c.isSurrogate() || !password_char_allowed(c)) return false;
        for (QChar c : normalized)
            if (!password_char_allowed(c)) return false;
        return true;
    };
    if (!storable(NewPassword->text(), first) || !storable(NewPassword2->text(), second)) {
        QMessageBox::warning(this, QStringLiteral("Change Password"),
                             QStringLiteral("The new password holds a character that cannot be typed "
                                            "on this keyboard or stored as a password. Please use "
                                            "only letters, digits and the symbols of your keyboard."));
        NewPassword->setFocus();
        return;
    }

    NewPassword->setText(first);
    NewPassword2->setText(second);
    if (first != second) {
        QMessageBox::critical(this, QStringLiteral("Microsoft Windows"),
                              QStringLiteral("The new and confirmed passwords do not match. "
                                             "Please type them again."));
        return;
    }
    if (first.size() >= max_password_length + 1) {
        QMessageBox::warning(this, QStringLiteral("Change Password"),
                             QStringLiteral("New password too long") + QChar('\n') +
                                 QStringLiteral("Maximum length 30") + QStringLiteral(" chars"));
        return;
    }
    // There is no desktop switch for "ask for the password" here: saving a
    // password is that switch, and saving none turns it off. A kill can fall
    // between the two writes, so the prompt is switched on before a password
    // is stored and off only after none is: no moment leaves a stored
    // password without its prompt, the worst a kill leaves is the prompt over
    // the old password.
    const bool protect = !first.isEmpty();
    const std::string switch_before = read_registry_value(screensaver_password_key, screensaver_password_value);
    const bool switched_on = protect && write_registry_dword(screensaver_password_key, screensaver_password_value, 1);
    auto& st = settings();
    const std::string previous = st.screensaver_password;
    st.screensaver_password = first.toStdString();
    if (!save_settings()) {
        // Not stored: the password in force stays the old one, here and in
        // whatever the store still holds back for a later write, and so does
        // the prompt switch.
        st.screensaver_password = previous;
        scramble_password();
        config_store().write("misc", st.misc);
        if (switched_on && (switch_before.empty() || switch_before == "000"))
            write_registry_dword(screensaver_password_key, screensaver_password_value, 0);
        QMessageBox::critical(this, QStringLiteral("Lumivane"),
                              QStringLiteral("The new password could not be saved: the settings file "
                                             "cannot be written (it may be read-only, or the disk may "
                                             "be full).\n\nThe screen saver keeps its old password."));
        return;
    }
    if (!protect) write_registry_dword(screensaver_password_key, screensaver_password_value, 0);
    if (protect && !switched_on) {
        QMessageBox::critical(
            this, QStringLiteral("Lumivane"),
            QStringLiteral("The password was saved, but the screen saver will not ask for it: %1 "
                           "cannot be written.")
                .arg(QString::fromStdString(registry_file_path())));
        return;
    }
    yield_events();
    accept();
}

}  // namespace lv
