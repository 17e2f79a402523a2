// Setting the screen-saver password (key normalisation, the refusals, the
// scrambled store) and asking for it (comparison, Cancel, the time-out and
// a message box that is still open when the time runs out).
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "modal_watch.h"
#include "scoped_env.h"
#include "platform/desktop/desktop_services.h"
#include "player/FrmNewPassword.h"
#include "player/frmCheckPassword.h"

using lvtest::seen_box;
using lvtest::when_modal;

namespace {

class PasswordTest : public ::testing::Test {
protected:
    lv::memory_settings_store store;
    // The registry stand-in lives in the config home: a private one here.
    QTemporaryDir config_home;
    lvtest::scoped_env env;

    void SetUp() override {
        ASSERT_TRUE(config_home.isValid());
        env.set("XDG_CONFIG_HOME", config_home.path().toLocal8Bit());
        lv::set_settings_store(&store);
        lv::settings() = lv::config_settings{};
        lv::run() = lv::run_flags{};
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::keyboard_layout() = lv::us_layout_key_char;
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    static std::string use_password() {
        return lv::read_registry_value(lv::screensaver_password_key, lv::screensaver_password_value);
    }

    // Types both boxes, presses OK, answers any message box and reports it.
    struct ok_result {
        bool closed = false;
        std::shared_ptr<seen_box> box = std::make_shared<seen_box>();
        std::string first, second;   // the boxes after OK
    };
    ok_result press_ok(const QString& a, const QString& b) {
        lv::FrmNewPassword dlg;
        dlg.NewPassword->setText(a);
        dlg.NewPassword2->setText(b);
        ok_result r;
        QPointer<QTimer> watcher = when_modal<QMessageBox>(
            [box = r.box](QMessageBox* m) {
                box->title = m->windowTitle().toStdString();
                box->text = m->text().toStdString();
                box->icon = m->icon();
                box->buttons = static_cast<int>(m->buttons().size());
                m->done(QMessageBox::Ok);
            },
            lvtest::hang_guard_ms, false);
        dlg.show();
        dlg.OK->click();
        delete watcher.data();
        r.closed = !dlg.isVisible() && dlg.result() == QDialog::Accepted;
        r.first = dlg.NewPassword->text().toStdString();
        r.second = dlg.NewPassword2->text().toStdString();
        return r;
    }

    std::string stored_misc() {
        auto it = store.values.find("misc");
        return it == store.values.end() ? "<none>" : it->second;
    }
};

}  // namespace

TEST(PasswordKeys, UsLayoutGivesTheUnshiftedCharacterOfEachKey) {
    EXPECT_EQ(lv::normalize_password_keys("abcXYZ09", lv::us_layout_key_char), "ABCXYZ09");
    EXPECT_EQ(lv::normalize_password_keys("!@#$%^&*()_+", lv::us_layout_key_char), "1234567890-=");
    EXPECT_EQ(lv::normalize_password_keys("{}|:\"<>?~ ", lv::us_layout_key_char), "[]\\;',./` ");
    // No US key types these: they become U+0000.
    QString odd = lv::normalize_password_keys(QString::fromUtf8("é€\t"), lv::us_layout_key_char);
    ASSERT_EQ(odd.size(), 3);
    for (QChar c : odd) EXPECT_EQ(c.unicode(), 0);
}

TEST(PasswordKeys, StorableCharactersAreThoseOfTheSingleByteCodePage) {
    EXPECT_TRUE(lv::password_char_allowed(QChar('A')));
    EXPECT_TRUE(lv::password_char_allowed(QChar(0x00E9)));   // é
    EXPECT_TRUE(lv::password_char_allowed(QChar(0x20AC)));   // € (byte 0x80)
    EXPECT_FALSE(lv::password_char_allowed(QChar(0x0000)));
    EXPECT_FALSE(lv::password_char_allowed(QChar(0x0081)));   // a byte with no character
    EXPECT_FALSE(lv::password_char_allowed(QChar(0x4E2D)));   // 中
    EXPECT_FALSE(lv::password_char_allowed(QChar(0x0394)));   // Δ
}

TEST_F(PasswordTest, NewPasswordWindowHasItsTextsAndAnEmptyStart) {
    lv::FrmNewPassword dlg;
    EXPECT_EQ(dlg.windowTitle(), "Change  Password");
    EXPECT_EQ(dlg.Label1->text(), "Change password for Lumivane");
    EXPECT_EQ(dlg.Label2->text(), "New Password:");
    EXPECT_EQ(dlg.Label3->text(), "Confirm new password:");
    EXPECT_TRUE(dlg.NewPassword->text().isEmpty());
    EXPECT_EQ(dlg.NewPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.NewPassword2->echoMode(), QLineEdit::Password);
}

TEST_F(PasswordTest, AcceptedPasswordIsNormalisedAndStoredScrambled) {
    auto r = press_ok("secret!", "SECRET1");
    EXPECT_TRUE(r.closed);
    EXPECT_TRUE(r.box->title.empty());
    EXPECT_EQ(lv::settings().screensaver_password, "SECRET1");
    // save_settings wrote the scrambled form, which reads back to the same.
    std::string misc = stored_misc();
    ASSERT_EQ(misc.size(), 14u);
    lv::settings().misc = misc;
    lv::unscramble_password();
    EXPECT_EQ(lv::settings().screensaver_password, "SECRET1");
}

TEST_F(PasswordTest, MismatchIsRefusedWithTheNormalisedTextsLeftInTheBoxes) {
    auto r = press_ok("abc", "abd");
    EXPECT_FALSE(r.closed);
    EXPECT_EQ(r.box->title, "Microsoft Windows");
    EXPECT_EQ(r.box->text, "The new and confirmed passwords do not match. Please type them again.");
    EXPECT_EQ(r.box->icon, QMessageBox::Critical);
    EXPECT_EQ(r.box->buttons, 1);
    EXPECT_EQ(r.first, "ABC");
    EXPECT_EQ(r.second, "ABD");
    EXPECT_EQ(stored_misc(), "<none>");
    EXPECT_EQ(lv::settings().screensaver_password, "");
}

TEST_F(PasswordTest, ThirtyCharactersAreTheLongestAccepted) {
    QString thirty(30, 'q'), thirty_one(31, 'q');
    auto too_long = press_ok(thirty_one, thirty_one);
    EXPECT_FALSE(too_long.closed);
    EXPECT_EQ(too_long.box->title, "Change Password");
    EXPECT_EQ(too_long.box->text, "New password too long\nMaximum length 30 chars");
    EXPECT_EQ(too_long.box->icon, QMessageBox::Warning);
    EXPECT_EQ(stored_misc(), "<none>");

    auto ok = press_ok(thirty, thirty);
    EXPECT_TRUE(ok.closed);
    EXPECT_EQ(lv::settings().screensaver_password, std::string(30, 'Q'));
}

TEST_F(PasswordTest, EmptyBoxesRemoveThePassword) {
    lv::settings().screensaver_password = "OLD";
    auto r = press_ok("", "");
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(lv::settings().screensaver_password, "");
    EXPECT_EQ(stored_misc(), "");
}

TEST_F(PasswordTest, PasswordNobodyCouldTypeBackIsRefused) {
    lv::settings().screensaver_password = "KEEP";
    // é has no key on a US keyboard; 中 and the emoji are not single-byte
    // characters at all. Each would lock the user out.
    for (const char* text : {"caf\xC3\xA9", "\xE4\xB8\xAD", "a\xF0\x9F\x98\x80"}) {
        QString t = QString::fromUtf8(text);
        auto r = press_ok(t, t);
        EXPECT_FALSE(r.closed) << text;
        EXPECT_EQ(r.box->title, "Change Password") << text;
        EXPECT_NE(r.box->text.find("cannot be typed"), std::string::npos) << text;
        EXPECT_EQ(r.first, t.toStdString()) << "the boxes keep what was typed";
    }
    EXPECT_EQ(lv::settings().screensaver_password, "KEEP");
    EXPECT_EQ(stored_misc(), "<none>");

    // On a layout that has the key, the same character is fine.
    lv::keyboard_layout() = [](char32_t c) -> char32_t {
        return c == U'é' ? U'É' : lv::us_layout_key_char(c);
    };
    auto r = press_ok(QString::fromUtf8("caf\xC3\xA9"), QString::fromUtf8("CAF\xC3\xA9"));
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(lv::settings().screensaver_password, "CAF\xC3\x89");
}

namespace {
// Records the prompt switch at each moment the settings become durable.
struct switch_watching_store : lv::memory_settings_store {
    std::vector<std::string> switch_at_sync;
    bool sync() override {
        switch_at_sync.push_back(lv::read_registry_value(lv::screensaver_password_key,
                                                         lv::screensaver_password_value));
        return true;
    }
};
}  // namespace

// There is no desktop switch for "password protected": saving a password
// is the switch the screen saver reads, and saving none turns it off. The
// switch is on whenever a password is stored, so a kill between the two
// writes never leaves a password the screen saver does not ask for.
TEST_F(PasswordTest, SavingAPasswordTurnsThePromptOnAndNoneTurnsItOff) {
    switch_watching_store watched;
    lv::set_settings_store(&watched);
    EXPECT_EQ(use_password(), "");
    auto r = press_ok("abc", "abc");
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(use_password(), "001");
    r = press_ok("", "");
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(use_password(), "000");
    EXPECT_EQ(watched.values["misc"], "");
    EXPECT_EQ(watched.switch_at_sync, (std::vector<std::string>{"001", "001"}))
        << "a password was stored before its prompt was on, or the prompt went off before it was removed";
}

namespace {
// A settings file that cannot be written (read-only, full disk): writes are
// taken, but nothing becomes durable.
struct unwritable_store : lv::memory_settings_store {
    bool sync() override { return false; }
};
}  // namespace

TEST_F(PasswordTest, PasswordTheStoreCouldNotKeepIsNotInForce) {
    unwritable_store broken;
    lv::set_settings_store(&broken);
    lv::settings().screensaver_password = "OLD";
    auto r = press_ok("new", "new");
    EXPECT_FALSE(r.closed) << "closed as if the password had been saved";
    EXPECT_EQ(r.box->title, "Lumivane");
    EXPECT_EQ(r.box->icon, QMessageBox::Critical);
    EXPECT_NE(r.box->text.find("could not be saved"), std::string::npos) << r.box->text;
    EXPECT_EQ(lv::settings().screensaver_password, "OLD");
    // What the store still holds back for a later write is the old one too.
    lv::settings().misc = broken.values["misc"];
    lv::unscramble_password();
    EXPECT_EQ(lv::settings().screensaver_password, "OLD");
    EXPECT_NE(use_password(), "001") << "the prompt was left on for a password not stored";
}

TEST_F(PasswordTest, PromptSwitchThatCannotBeWrittenIsReported) {
    // The registry's folder is a file: nothing can be written there.
    {
        QFile blocker(config_home.path() + "/lumivane");
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    auto r = press_ok("abc", "abc");
    EXPECT_FALSE(r.closed);
    EXPECT_EQ(r.box->title, "Lumivane");
    EXPECT_NE(r.box->text.find("will not ask for it"), std::string::npos) << r.box->text;
    // No password needs no switch: removing it still works.
    r = press_ok("", "");
    EXPECT_TRUE(r.closed);
    EXPECT_TRUE(r.box->title.empty());
    EXPECT_EQ(lv::settings().screensaver_password, "");
}

TEST_F(PasswordTest, CancelAndEscapeChangeNothing) {
    lv::settings().screensaver_password = "KEEP";
    {
        lv::FrmNewPassword dlg;
        dlg.NewPassword->setText("new");
        dlg.NewPassword2->setText("new");
        dlg.show();
        dlg.Cancel->click();
        EXPECT_FALSE(dlg.isVisible());
    }
    {
        lv::FrmNewPassword dlg;
        dlg.NewPassword->setText("new");
        dlg.NewPassword2->setText("new");
        dlg.show();
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dlg, &esc);
        EXPECT_FALSE(dlg.isVisible());
    }
    EXPECT_EQ(lv::settings().screensaver_password, "KEEP");
    EXPECT_TRUE(store.writes().empty());
    EXPECT_EQ(use_password(), "");
}

// ---------------------------------------------------------------------------
// The prompt

namespace {

class PromptTest : public PasswordTest {
protected:
    void SetUp() override {
        PasswordTest::SetUp();
        lv::settings().screensaver_password = "SECRET";
        lv::run().time_to_end = 1;
        lv::run().password_prompt_open = 1;
        lv::cursor_hide();
    }
};

}  // namespace

TEST_F(PromptTest, LoadsTopmostWithItsCaptionAndTheCursorShown) {
    lv::frmCheckPassword prompt;
    EXPECT_EQ(prompt.windowTitle(), "Lumivane");
    EXPECT_TRUE(prompt.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(prompt.Label1->text(), "Type your screen saver password:");
    EXPECT_EQ(prompt.Command1->text(), "Ok");
    EXPECT_EQ(prompt.Command2->text(), "Cancel");
    EXPECT_EQ(prompt.Text1->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(prompt.Timer1->isActive());
    EXPECT_EQ(prompt.Timer1->interval(), 10000);
    EXPECT_FALSE(lv::cursor_hidden());
    prompt.show();
    prompt.Command2->click();
    EXPECT_TRUE(lv::cursor_hidden());   // hidden again for the show
}

TEST_F(PromptTest, RightPasswordInAnyCaseAllowsTheEnd) {
    lv::frmCheckPassword prompt;
    prompt.show();
    prompt.Text1->setText("sEcReT");
    // Enter in the text box presses Ok.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(prompt.Text1, &enter);
    EXPECT_TRUE(prompt.closed());
    EXPECT_EQ(prompt.result(), QDialog::Accepted);
    EXPECT_EQ(lv::run().exit_allowed, 1);
    EXPECT_EQ(lv::run().password_prompt_open, 0);
    EXPECT_EQ(lv::run().time_to_end, 1);
}

TEST_F(PromptTest, WrongPasswordSaysSoAndKeepsAsking) {
    lv::frmCheckPassword prompt;
    prompt.show();
    prompt.Text1->setText("guess");
    auto seen = std::make_shared<seen_box>();
    lvtest::answer_message_box(seen);
    prompt.Command1->click();
    EXPECT_EQ(seen->title, "Passwords");
    EXPECT_EQ(seen->text, "The password that you typed is not correct. Try typing it again.");
    EXPECT_EQ(seen->icon, QMessageBox::Warning);
    EXPECT_FALSE(prompt.closed());
    EXPECT_TRUE(prompt.Text1->text().isEmpty());
    EXPECT_EQ(lv::run().exit_allowed, 0);
    EXPECT_EQ(lv::run().password_prompt_open, 1);

    prompt.Text1->setText("secret");
    prompt.Command1->click();
    EXPECT_TRUE(prompt.closed());
    EXPECT_EQ(lv::run().exit_allowed, 1);
}

TEST_F(PromptTest, CancelEscapeAndTimeOutLetTheShowGoOn) {
    for (int way = 0; way < 3; ++way) {
        lv::run().time_to_end = 1;
        lv::run().password_prompt_open = 1;
        lv::frmCheckPassword prompt;
        prompt.show();
        if (way == 0) {
            prompt.Command2->click();
        } else if (way == 1) {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(&prompt, &esc);
        } else {
            prompt.Timer1->setInterval(50);
            prompt.exec();   // returns when the time-out closes it
        }
        EXPECT_TRUE(prompt.closed()) << way;
        EXPECT_EQ(lv::run().time_to_end, 0) << way;
        EXPECT_EQ(lv::run().password_prompt_open, 0) << way;
        EXPECT_EQ(lv::run().exit_allowed, 0) << way;
    }
}

TEST_F(PromptTest, TimeOutTakesAnOpenMessageBoxAlong) {
    auto prompt = std::make_unique<lv::frmCheckPassword>();
    QPointer<lv::frmCheckPassword> alive(prompt.get());
    QPointer<QMessageBox> box;
    prompt->Text1->setText("wrong");
    // Open the wrong-password box, then let the time-out strike while it is open.
    QTimer::singleShot(0, prompt.get(), [&] { prompt->Command1->click(); });
    when_modal<QMessageBox>([&](QMessageBox* m) {
        box = m;
        prompt->Timer1->setInterval(30);
    });
    int result = prompt->exec();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(prompt->closed());
    EXPECT_EQ(prompt->open_message(), nullptr);
    EXPECT_TRUE(!box || !box->isVisible());
    EXPECT_EQ(lv::run().time_to_end, 0);
    EXPECT_EQ(lv::run().password_prompt_open, 0);
    // Nothing touches the prompt after it went: destroying it with events
    // still queued is safe.
    prompt.reset();
    lvtest::spin(50);
    EXPECT_TRUE(alive.isNull());
}
