// "&Preview": the chooser of the first sequence and the run values the
// player is started with, and given back afterwards.
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <utility>

#include "custom_editor/frmCustom.h"
#include "custom_editor/frmStartfrom.h"
#include "tests/custom_editor/frmCustom_fixture.h"

using namespace lvtest;

namespace {

// What the player saw when it was started.
struct player_call {
    int start_image = -1, show_origin = -1, presentation_mode = -1;
    std::string path = "unset";
};

class StartFrom : public editor_fixture {
protected:
    void SetUp() override {
        editor_fixture::SetUp();
        lv::frmCustom::player() = [this] {
            player_call c;
            c.start_image = lv::run().start_image;
            c.show_origin = lv::run().show_origin;
            c.presentation_mode = lv::settings().presentation_mode;
            c.path = lv::run().screensaver_slideshow_path;
            calls.push_back(c);
        };
        lv::settings().presentation_mode = 1;
        lv::run().screensaver_slideshow_path = "/left/over.lmv";
    }
    void add(int count) {
        for (int n = 1; n <= count; ++n) add_sequence(picture(QString("p%1.png").arg(n)), n);
    }
    void expect_restored() {
        EXPECT_EQ(lv::run().start_image, 0);
        EXPECT_EQ(lv::run().show_origin, 0);
        EXPECT_EQ(lv::settings().presentation_mode, 1);
        EXPECT_EQ(lv::editors().image_preview_refresh, 2);
    }
    std::vector<player_call> calls;
};

TEST_F(StartFrom, OneSequencePlaysAtOnceTimedFromTheStart) {
    add(1);
    auto* w = open_editor(true);
    lv::editors().image_preview_refresh = 0;
    w->Command22->click();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].start_image, 1);
    EXPECT_EQ(calls[0].show_origin, 2);
    EXPECT_EQ(calls[0].presentation_mode, 0);
    EXPECT_EQ(calls[0].path, "");
    expect_restored();
}

TEST_F(StartFrom, TheChosenSequenceIsWhereTheShowStarts) {
    add(4);
    lv::doc().sequences.caption_text[4] = "The end";
    auto* w = open_editor(true);
    std::string label2, label4, label5, label7, title;
    when_modal<lv::frmStartfrom>([&](lv::frmStartfrom* d) {
        title = d->windowTitle().toStdString();
        label2 = d->Label2->text().toStdString();
        d->HScroll1->setValue(d->HScroll1->maximum());
        label4 = d->Label4->text().toStdString();
        label5 = d->Label5->text().toStdString();
        label7 = d->Label7->text().toStdString();
        d->Command21->click();
    });
    w->preview_slideshow();
    EXPECT_EQ(title, "Preview SlideShow");
    EXPECT_EQ(label2, "4");
    EXPECT_EQ(label4, "4");
    EXPECT_EQ(label5, "p4.png");
    EXPECT_EQ(label7, "The end");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].start_image, 4);
    EXPECT_EQ(calls[0].presentation_mode, 0);
    expect_restored();
}

TEST_F(StartFrom, CancellingOrClosingTheChooserPlaysNothing) {
    add(3);
    auto* w = open_editor(true);
    when_modal<lv::frmStartfrom>([](lv::frmStartfrom* d) { d->Command20->click(); });
    w->preview_slideshow();
    EXPECT_TRUE(calls.empty());
    expect_restored();

    // Esc or the close box count as cancelling.
    when_modal<lv::frmStartfrom>([](lv::frmStartfrom* d) { d->reject(); });
    w->preview_slideshow();
    EXPECT_TRUE(calls.empty());
    expect_restored();
}

TEST_F(StartFrom, TheChooserOpensOnStartImageAndShowsEachSequenceAsItMoves) {
    add(3);
    lv::doc().sequences.caption_text[2] = "";
    lv::run().start_image = 2;
    lv::frmStartfrom d;
    EXPECT_EQ(d.Label1->text().toStdString(), "  What Image Would You Like To Start The SlideShow From?  ");
    EXPECT_EQ(d.Label3->text().toStdString(), "1");
    EXPECT_EQ(d.Label2->text().toStdString(), "3");
    EXPECT_EQ(d.HScroll1->minimum(), 1);
    EXPECT_EQ(d.HScroll1->maximum(), 3);
    EXPECT_EQ(d.HScroll1->value(), 2);
    EXPECT_EQ(d.Label4->text().toStdString(), "2");
    EXPECT_EQ(d.Label5->text().toStdString(), "p2.png");
    EXPECT_EQ(d.Label6->text().toStdString(), "Image:");
    EXPECT_EQ(d.Label8->text().toStdString(), "Caption:");
    EXPECT_EQ(d.Label7->text().toStdString(), "");   // no caption: nothing after "Caption:"
    d.HScroll1->setValue(1);
    EXPECT_EQ(d.Label4->text().toStdString(), "1");
    EXPECT_EQ(d.Label5->text().toStdString(), "p1.png");
    EXPECT_EQ(d.Label7->text().toStdString(), "caption 1");
    d.Command21->click();
    EXPECT_EQ(lv::run().start_image, 1);
}

// A 150-character file name and a 300-character caption neither widen the
// dialog when it opens on them nor when the user scrolls to them; each label
// shows what fits and the whole text in its tooltip.
TEST_F(StartFrom, LongNamesAndCaptionsKeepTheDialogsSize) {
    add(2);
    const QString name = QString(146, QLatin1Char('n')) + QStringLiteral(".png");
    QString caption;
    while (caption.size() < 300) caption += QStringLiteral("a long caption ");
    caption.truncate(300);
    auto& q = lv::doc().sequences;
    q.image_file[2] = picture(name);
    q.caption_text[2] = caption.toStdString();

    lv::run().start_image = 1;
    lv::frmStartfrom shortly;
    shortly.show();
    spin(20);
    const QSize size = shortly.size();
    shortly.HScroll1->setValue(2);
    spin(20);
    EXPECT_EQ(shortly.size(), size);
    for (const auto& [label, whole] : {std::pair{shortly.Label5, name}, std::pair{shortly.Label7, caption}}) {
        EXPECT_EQ(label->toolTip(), whole);
        EXPECT_TRUE(label->text().contains(QChar(0x2026))) << label->text().toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    }
    EXPECT_TRUE(shortly.Label5->text().endsWith(QStringLiteral(".png")));   // the type stays in view

    lv::run().start_image = 2;
    lv::frmStartfrom at_once;
    at_once.show();
    spin(20);
    EXPECT_EQ(at_once.size(), size);
}

}  // namespace
