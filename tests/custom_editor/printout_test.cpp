// The custom slideshow listing: the page estimate, the lines of the listing,
// the print options dialog, and whole printouts to PDF read back with
// pdftotext.
#include "core/document.h"
#include "core/effects.h"
#include "core/hooks.h"
#include "core/state.h"
#include "custom_editor/custom_printout.h"
#include "custom_editor/frmSetprint.h"
#include "platform/desktop/print_text.h"
#include "player/modal_watch.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using lv::print_areas;

lv::sequence_record sample(int n) {
    lv::sequence_record r;
    r.image_file = "/pics/holiday " + std::to_string(n) + ".jpg";
    r.display_position = 8;          // "Middle Justify Middle"
    r.display_effect = 1;            // "No Effect"
    r.effect_speed = 120;
    r.effect_grain = 7;
    r.display_time = 15;
    r.notes = "beach";
    r.caption_text = "Day " + std::to_string(n);
    r.caption_position = 7;          // "Bottom Justify Middle"
    r.caption_effect = 0;            // "Random Effect"
    r.caption_speed = 40;
    r.caption_grain = 3;
    r.audio_file = "/sounds/waves.wav";
    r.audio_mode = 2;                // "Repeat The Entire Slideshow"
    r.background_file = "/pics/sand.png";
    r.background_placement = 1;      // "Stretch To Screen"
    r.background_effect = 1;
    r.background_speed = 9;
    r.background_grain = 2;
    return r;
}

void make_document(int n) {
    lv::doc() = lv::slideshow_document{};
    lv::redim_slides(n);
    lv::doc().image_count = n;
    for (int i = 1; i <= n; ++i) lv::doc().sequences.set(i, sample(i));
}

std::vector<std::string> texts(const std::vector<lv::print_line>& lines) {
    std::vector<std::string> t;
    for (const auto& l : lines) t.push_back(l.text);
    return t;
}

class PrintoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::program() = lv::program_state{};
        make_document(2);
    }
    void TearDown() override { lv::hooks().yield_events = nullptr; }
};

TEST_F(PrintoutTest, PageEstimateCountsTickedGroupsAt75LinesAPage) {
    EXPECT_EQ(lv::estimate_pages(25, print_areas{1, 1, 1, 1}), 4);   // 25 x 11 = 275
    EXPECT_EQ(lv::estimate_pages(30, print_areas{1, 0, 0, 0}), 3);   // 30 x 5 = 150
    EXPECT_EQ(lv::estimate_pages(15, print_areas{1, 0, 0, 0}), 2);   // an exact multiple still adds one
    EXPECT_EQ(lv::estimate_pages(14, print_areas{0, 1, 0, 0}), 1);   // 14 x 4 = 56
    EXPECT_EQ(lv::estimate_pages(40, print_areas{0, 0, 0, 0}), 0);   // nothing ticked
    EXPECT_EQ(lv::estimate_pages(0, print_areas{1, 1, 1, 1}), 1);
}

TEST_F(PrintoutTest, ListingHoldsEveryGroupWithItsExactBlanks) {
    const lv::wall_time t{2026, 3, 4, 9, 5, 7};
    const auto lines = lv::custom_printout_lines(lv::doc(), "Summer", lv::editor_choice_lists(),
                                                 print_areas{1, 1, 1, 1}, t);
    const std::vector<std::string> want = {
        "",
        "Lumivane Custom SlideShow Printout 03-04-2026     09:05:07",
        " ",
        "Summer",
        " ",
        " Image 1 - holiday 1.jpg",
        "    File Path=/pics/holiday 1.jpg",
        "    Display Position: Middle Justify Middle   Display Effect: No Effect   Effect Speed: 120"
        "   Effect Grain: 7   Display Time: 15 Second(s)",
        "    Notes: beach",
        "    Background Image: /pics/sand.png",
        "    Display Position: Stretch To Screen    Display Effect: No Effect    Effect Speed: 9"
        "    Effect Grain: 2",
        "    Caption: Day 1",
        "    Caption Position: Bottom Justify Middle    Display Effect: Random Effect    Effect Speed: 40"
        "    Effect Grain: 3",
        "    Audio File: /sounds/waves.wav",
        "    Audio Mode: Repeat The Entire Slideshow",
        "  ",
    };
    const auto got = texts(lines);
    ASSERT_EQ(got.size(), want.size() + 11);   // the second sequence follows
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "line " << i;
    EXPECT_EQ(got[want.size()], " Image 2 - holiday 2.jpg");

    // Point sizes: heading 10, name 20, title 10, settings 8.
    EXPECT_EQ(lines[1].font_size, 10);
    EXPECT_EQ(lines[3].font_size, 20);
    EXPECT_EQ(lines[5].font_size, 10);
    EXPECT_EQ(lines[6].font_size, 8);
    EXPECT_EQ(lines[15].font_size, 8);
}

TEST_F(PrintoutTest, EmptyFieldsPrintNoneAndOnlyTickedGroupsAppear) {
    lv::sequence_record r = sample(1);
    r.audio_file.clear();
    r.background_file.clear();
    r.caption_text.clear();
    r.notes.clear();
    lv::doc().sequences.set(1, r);
    r = sample(2);
    r.background_file = lv::gradient_background;
    r.display_position = 40;   // only a hand-edited file holds this
    r.caption_effect = 500;
    lv::doc().sequences.set(2, r);

    auto got = texts(lv::custom_printout_lines(lv::doc(), "", lv::editor_choice_lists(), print_areas{1, 1, 1, 1},
                                               lv::wall_time{}));
    EXPECT_EQ(got[3], "No Title");
    EXPECT_EQ(got[8], "    Notes: ");
    EXPECT_EQ(got[9], "    Background Image: None");
    EXPECT_EQ(got[11], "    Caption: None");
    EXPECT_EQ(got[13], "    Audio File: None");
    EXPECT_EQ(got[14], "    Audio Mode: Repeat The Entire Slideshow");
    EXPECT_EQ(got[20], "    Background Image: Gradient Background");
    EXPECT_EQ(got[18].rfind("    Display Position:    Display Effect: No Effect", 0), 0u) << got[18];
    EXPECT_EQ(got[23].rfind("    Caption Position: Bottom Justify Middle    Display Effect:     Effect Speed", 0), 0u)
        << got[23];

    // Audio only: title, two audio lines, blank line per sequence.
    got = texts(lv::custom_printout_lines(lv::doc(), "x", lv::editor_choice_lists(), print_areas{0, 0, 0, 1},
                                          lv::wall_time{}));
    ASSERT_EQ(got.size(), 5u + 2 * 4);
    EXPECT_EQ(got[5], " Image 1 - holiday 1.jpg");
    EXPECT_EQ(got[6], "    Audio File: None");
    EXPECT_EQ(got[8], "  ");
}

// ---- the print options dialog ----------------------------------------------------

TEST_F(PrintoutTest, DialogStartsFromTheFlagsAndShowsTheEstimate) {
    make_document(25);
    lv::program().print_caption_settings = 0;
    lv::program().print_cancelled = 1;
    lv::frmSetprint dlg;
    EXPECT_EQ(lv::program().print_cancelled, 0);
    EXPECT_TRUE(dlg.Check1->isChecked());
    EXPECT_FALSE(dlg.Check3->isChecked());
    EXPECT_EQ(dlg.Label3->text(), "0");   // not computed before the first activation
    EXPECT_EQ(dlg.windowTitle(), "Print Custom SlideShow Information");

    dlg.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.Label3->text(), "4");   // 25 x 9 = 225
    dlg.Check1->click();                  // 25 x 6 = 150
    EXPECT_EQ(dlg.Label3->text(), "3");
    EXPECT_EQ(lv::program().print_image_settings, 0);
    dlg.Check2->click();
    dlg.Check4->click();
    EXPECT_EQ(dlg.Label3->text(), "0");
    dlg.close();
}

TEST_F(PrintoutTest, OkWithNothingTickedCancelsAndCancelKeepsTheTicks) {
    {
        lv::frmSetprint dlg;
        lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) {
            for (QCheckBox* c : {d->Check1, d->Check2, d->Check3, d->Check4}) c->click();
            d->Command1->click();
        });
        dlg.exec();
    }
    EXPECT_EQ(lv::program().print_cancelled, 1);
    EXPECT_EQ(lv::program().print_image_settings + lv::program().print_audio_settings, 0);

    {
        lv::frmSetprint dlg;
        lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) {
            d->Check2->click();   // ticked again, then cancelled
            d->Command2->click();
        });
        dlg.exec();
    }
    EXPECT_EQ(lv::program().print_cancelled, 1);
    EXPECT_EQ(lv::program().print_background_settings, 1);

    lv::frmSetprint again;
    EXPECT_TRUE(again.Check2->isChecked());
    EXPECT_FALSE(again.Check1->isChecked());

    // Ok with a box ticked prints; the close box counts as cancel.
    lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) { d->Command1->click(); });
    again.exec();
    EXPECT_EQ(lv::program().print_cancelled, 0);
    lv::frmSetprint closed;
    lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) { d->close(); });
    closed.exec();
    EXPECT_EQ(lv::program().print_cancelled, 1);
}

// ---- whole printouts ---------------------------------------------------------------

std::string pdf_text(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(lv::test::hang_guard_ms)) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).toStdString();
}

TEST_F(PrintoutTest, PrintsTheListingToTheGivenPrinter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("listing.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);

    lv::program().print_caption_settings = 0;
    lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) { d->Command1->click(); });
    EXPECT_EQ(lv::print_custom_slideshow(nullptr, "Summer Trip", lv::editor_choice_lists(), &printer),
              lv::print_outcome::printed);

    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("Lumivane Custom SlideShow Printout"), std::string::npos) << text;
    EXPECT_NE(text.find("Summer Trip"), std::string::npos);
    EXPECT_NE(text.find("Image 2 - holiday 2.jpg"), std::string::npos);
    EXPECT_NE(text.find("Display Time: 15 Second(s)"), std::string::npos);
    EXPECT_NE(text.find("Audio Mode: Repeat The Entire Slideshow"), std::string::npos);
    EXPECT_EQ(text.find("Caption:"), std::string::npos);   // not ticked
}

TEST_F(PrintoutTest, ManySequencesRunOntoFurtherPages) {
    make_document(60);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) { d->Command1->click(); });
    ASSERT_EQ(lv::print_custom_slideshow(nullptr, "Long", lv::editor_choice_lists(), &printer),
              lv::print_outcome::printed);
    const std::string text = pdf_text(pdf);
    EXPECT_NE(text.find("Image 60 - holiday 60.jpg"), std::string::npos);
    EXPECT_GE(std::count(text.begin(), text.end(), '\f'), 2);   // more than one page
}

TEST_F(PrintoutTest, CancelPrintsNothingAndAFailingPrinterSaysSo) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("never.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    lvtest::when_modal<lv::frmSetprint>([](lv::frmSetprint* d) { d->Command2->click(); });
    EXPECT_EQ(lv::print_custom_slideshow(nullptr, "x", lv::editor_choice_lists(), &printer),
              lv::print_outcome::cancelled);
    EXPECT_FALSE(QFile::exists(pdf));

    // A printer that cannot be opened: the box, and no success.
    QPrinter broken(QPrinter::HighResolution);
    broken.setOutputFormat(QPrinter::PdfFormat);
    broken.setOutputFileName(dir.filePath(QStringLiteral("no such folder/out.pdf")));
    auto seen = std::make_shared<lvtest::seen_box>();
    lvtest::when_modal<lv::frmSetprint>([seen](lv::frmSetprint* d) {
        lvtest::answer_message_box(seen);
        d->Command1->click();
    });
    EXPECT_EQ(lv::print_custom_slideshow(nullptr, "x", lv::editor_choice_lists(), &broken),
              lv::print_outcome::failed);
    EXPECT_EQ(seen->title, "Unable To Print");
    EXPECT_EQ(seen->text, "Please check your printer!");
    EXPECT_EQ(seen->buttons, 1);
}

TEST_F(PrintoutTest, NoDefaultPrinterSaysSo) {
    if (lv::default_printer_available()) GTEST_SKIP() << "this machine has a default printer";
    auto seen = std::make_shared<lvtest::seen_box>();
    lvtest::when_modal<lv::frmSetprint>([seen](lv::frmSetprint* d) {
        lvtest::answer_message_box(seen);
        d->Command1->click();
    });
    EXPECT_EQ(lv::print_custom_slideshow(nullptr, "x"), lv::print_outcome::failed);
    EXPECT_EQ(seen->title, "Unable To Print");
}

}  // namespace
