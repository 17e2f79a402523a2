// The help pop-up: which messages appear, that a ticked box is stored on
// every way of closing, the hidden box, and the printout read back from PDF.
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "modal_watch.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/print_text.h"

using lvtest::when_modal;

namespace {

class PopMessageTest : public ::testing::Test {
protected:
    lv::memory_settings_store store;

    void SetUp() override {
        lv::set_settings_store(&store);
        lv::help_popup() = {};
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    }
    void TearDown() override {
        lv::set_settings_store(nullptr);
        lv::hooks().yield_events = nullptr;
    }

    // Shows message n through show_message, hands the window to act (which
    // must close it) and says whether a window appeared at all.
    bool show_and(int n, std::function<void(lv::frmPopmessage*)> act) {
        auto appeared = std::make_shared<bool>(false);
        QPointer<QTimer> watcher = when_modal<lv::frmPopmessage>(
            [appeared, act](lv::frmPopmessage* w) {
                *appeared = true;
                act(w);
            },
            lvtest::hang_guard_ms, false);
        lv::show_message(n);   // modal: returns when the window has closed
        delete watcher.data();
        return *appeared;
    }

    std::string stored(int n) {
        auto it = store.values.find("Message" + std::to_string(n));
        return it == store.values.end() ? "" : it->second;
    }
};

void press_escape(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

}  // namespace

TEST_F(PopMessageTest, ShowsTitleAndBodyOfTheNumber) {
    std::string title, body;
    bool box_visible = false;
    EXPECT_TRUE(show_and(2, [&](lv::frmPopmessage* w) {
        title = w->Label1->text().toStdString();
        body = w->Text1->toPlainText().toStdString();
        box_visible = w->Check1->isVisible();
        EXPECT_EQ(w->Command1->text(), "Ok");
        EXPECT_EQ(w->Command2->toolTip(), " Print This Message ");
        EXPECT_EQ(w->Check1->text(), "Check this box to never display this message again.");
        w->Command1->click();
    }));
    EXPECT_EQ(title, "Custom SlideShow Editor");
    EXPECT_EQ(body.rfind("Welcome to the Lumivane Custom SlideShow Editor.\n\nClick on ADD IMAGES", 0), 0u);
    EXPECT_TRUE(box_visible);
    EXPECT_EQ(stored(2), "");   // not ticked: nothing stored
}

TEST_F(PopMessageTest, TickedBoxIsStoredHoweverTheWindowCloses) {
    const std::vector<std::pair<std::string, std::function<void(lv::frmPopmessage*)>>> ways = {
        {"Ok", [](lv::frmPopmessage* w) { w->Command1->click(); }},
        {"Esc", [](lv::frmPopmessage* w) { press_escape(w); }},
        {"close box", [](lv::frmPopmessage* w) { w->close(); }},
        {"reject", [](lv::frmPopmessage* w) { w->reject(); }},
    };
    int n = 5;
    for (auto& [name, close] : ways) {
        bool still_open_after = true;
        EXPECT_TRUE(show_and(n, [&, close = close](lv::frmPopmessage* w) {
            w->Check1->setChecked(true);
            close(w);
            still_open_after = w->isVisible();
        })) << name;
        EXPECT_FALSE(still_open_after) << name;
        EXPECT_EQ(stored(n), "1") << name;
        // Once stored, the message never appears again.
        EXPECT_FALSE(show_and(n, [](lv::frmPopmessage* w) { w->reject(); })) << name;
        ++n;
        if (n == 12) ++n;
    }
}

TEST_F(PopMessageTest, SuppressionSurvivesARestartThroughTheStore) {
    store.values["Message1"] = "1";
    EXPECT_FALSE(show_and(1, [](lv::frmPopmessage* w) { w->reject(); }));
    store.values["Message1"] = "0";
    EXPECT_TRUE(show_and(1, [](lv::frmPopmessage* w) { w->reject(); }));
    // The read uses the key with the default 0.
    bool read_message1 = false;
    for (auto& c : store.calls)
        if (!c.is_write && c.key == "Message1" && c.value == "0") read_message1 = true;
    EXPECT_TRUE(read_message1);
}

TEST_F(PopMessageTest, NumberWithoutAMessageShowsNothing) {
    for (int n : {0, 12, 15, -3}) EXPECT_FALSE(show_and(n, [](lv::frmPopmessage* w) { w->reject(); })) << n;
    EXPECT_TRUE(store.writes().empty());
}

TEST_F(PopMessageTest, HiddenBoxCannotSuppressAndTheRequestIsOneShot) {
    lv::help_popup().hide_never_again_check = 1;
    bool visible = true;
    EXPECT_TRUE(show_and(7, [&](lv::frmPopmessage* w) {
        visible = w->Check1->isVisible();
        w->Check1->setChecked(true);   // even a ticked hidden box stores nothing
        w->Command1->click();
    }));
    EXPECT_FALSE(visible);
    EXPECT_EQ(lv::help_popup().hide_never_again_check, 0);
    EXPECT_EQ(stored(7), "");

    // The next message shows its box again.
    EXPECT_TRUE(show_and(7, [&](lv::frmPopmessage* w) {
        visible = w->Check1->isVisible();
        w->Command1->click();
    }));
    EXPECT_TRUE(visible);

    // Messages 3, 4 and 14 never offer the box, whoever calls them.
    for (int n : {3, 4, 14}) {
        EXPECT_TRUE(show_and(n, [&](lv::frmPopmessage* w) {
            visible = w->Check1->isVisible();
            w->Check1->setChecked(true);
            w->close();
        })) << n;
        EXPECT_FALSE(visible) << n;
        EXPECT_EQ(stored(n), "") << n;
    }

    // A request made for a message that then does not appear does not
    // linger for the next one.
    store.values["Message8"] = "1";
    lv::help_popup().hide_never_again_check = 1;
    EXPECT_FALSE(show_and(8, [](lv::frmPopmessage* w) { w->reject(); }));
    EXPECT_EQ(lv::help_popup().hide_never_again_check, 0);
}

namespace {

std::vector<std::string> pdf_lines(const QString& pdf) {
    QProcess p;
    p.start("pdftotext", {"-layout", pdf, "-"});
    EXPECT_TRUE(p.waitForFinished(lv::test::hang_guard_ms));
    std::vector<std::string> lines;
    for (const QString& l : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        QString t = l.trimmed();
        if (!t.isEmpty() && t != "\f") lines.push_back(t.toStdString());
    }
    return lines;
}

}  // namespace

TEST_F(PopMessageTest, PrintoutHoldsItsLinesInOrder) {
    QTemporaryDir tmp;
    const QString pdf = tmp.filePath("message.pdf");
    lv::hooks().now = [] { return lv::wall_time{2023, 11, 4, 17, 8, 9}; };
    bool printed = false;
    EXPECT_TRUE(show_and(1, [&](lv::frmPopmessage* w) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printed = w->print_message_to(printer);
        EXPECT_TRUE(w->isVisible());   // printing leaves the window open
        w->Command1->click();
    }));
    lv::hooks().now = nullptr;
    ASSERT_TRUE(printed);

    auto lines = pdf_lines(pdf);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Lumivane     11-04-2023     17:08:09");
    EXPECT_EQ(lines[1], "Welcome To Lumivane!");
    EXPECT_EQ(lines[2], "Thank you for taking the time to preview Lumivane.");
    // The long second paragraph breaks after the first blank past column 90.
    EXPECT_EQ(lines[3],
              "This is the main configuration screen where you can change your screen saver options or "
              "create");
    EXPECT_EQ(lines[4], "and view previously saved slideshows.");
    EXPECT_EQ(lines[lines.size() - 3], "We hope you enjoy working with Lumivane.");
    EXPECT_EQ(lines[lines.size() - 2], lv::maker_web_address);
    EXPECT_EQ(lines[lines.size() - 1], lv::support_email_address);
    for (auto& l : lines) EXPECT_LE(l.size(), 110u) << l;
}

TEST_F(PopMessageTest, PrinterFailureSaysSoAndKeepsTheWindow) {
    auto seen = std::make_shared<lvtest::seen_box>();
    bool result = true, still_open = false;
    EXPECT_TRUE(show_and(6, [&](lv::frmPopmessage* w) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName("/nonexistent-folder/for/sure/out.pdf");
        lvtest::answer_message_box(seen);
        result = w->print_message_to(printer);
        still_open = w->isVisible();
        w->Command1->click();
    }));
    EXPECT_FALSE(result);
    EXPECT_TRUE(still_open);
    EXPECT_EQ(seen->title, "Unable To Print");
    EXPECT_EQ(seen->text, "Please check your printer!");
    EXPECT_EQ(seen->buttons, 1);
}

TEST_F(PopMessageTest, PrintButtonWithoutAPrinterReportsIt) {
    if (lv::default_printer_available()) GTEST_SKIP() << "a default printer is configured here";
    auto seen = std::make_shared<lvtest::seen_box>();
    EXPECT_TRUE(show_and(6, [&](lv::frmPopmessage* w) {
        lvtest::answer_message_box(seen);
        w->Command2->click();
        w->Command1->click();
    }));
    EXPECT_EQ(seen->title, "Unable To Print");
    EXPECT_EQ(seen->text, "Please check your printer!");
}
