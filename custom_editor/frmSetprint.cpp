#include "custom_editor/frmSetprint.h"

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"
#include "custom_editor/custom_printout.h"
#include "platform/desktop/screen_fit.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace lv {

frmSetprint::frmSetprint(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setObjectName(QStringLiteral("frmSetprint"));
    setWindowTitle(QStringLiteral("Print Custom SlideShow Information"));

    Label1 = new QLabel(QStringLiteral("Please check the areas you would like to print:"), this);
    Check1 = new QCheckBox(QStringLiteral("Image Settings"), this);
    Check2 = new QCheckBox(QStringLiteral("Background Settings"), this);
    Check3 = new QCheckBox(QStringLiteral("Caption Settings"), this);
    Check4 = new QCheckBox(QStringLiteral("Audio Settings"), this);
    Label2 = new QLabel(QStringLiteral("Estimated Number Of Pages Needed ="), this);
    Label3 = new QLabel(QStringLiteral("0"), this);
    Command1 = new QPushButton(QStringLiteral("&Ok"), this);
    Command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command1->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    for (QCheckBox* c : {Check1, Check2, Check3, Check4}) layout->addWidget(c);
    auto* estimate = new QHBoxLayout;
    estimate->addWidget(Label2);
    estimate->addWidget(Label3);
    estimate->addStretch();
    layout->addLayout(estimate);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);
    // Wide enough for the whole title beside the window's buttons: window
    // managers draw titles in a larger, bold font and cut what does not fit.
    QFont title_font = font();
    title_font.setBold(true);
    if (title_font.pointSizeF() > 0) title_font.setPointSizeF(title_font.pointSizeF() * 1.2);
    const QFontMetrics title(title_font);
    setMinimumWidth(std::max(minimumSizeHint().width(), title.horizontalAdvance(windowTitle()) + 8 * title.height()));

    // Changes made by the program reach figure_pages too; the loading flag
    // turns those away while the boxes are set up.
    for (QCheckBox* c : {Check1, Check2, Check3, Check4})
        connect(c, &QCheckBox::toggled, this, [this] { figure_pages(); });
    connect(Command1, &QPushButton::clicked, this, &frmSetprint::ok_click);
    connect(Command2, &QPushButton::clicked, this, &frmSetprint::cancel_click);

    // Form_Load.
    program_state& p = program();
    loading_ = 1;
    Check1->setChecked(p.print_image_settings == 1);
    Check2->setChecked(p.print_background_settings == 1);
    Check3->setChecked(p.print_caption_settings == 1);
    Check4->setChecked(p.print_audio_settings == 1);
    p.print_cancelled = 0;
    first_activation_ = 1;
}

void frmSetprint::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (first_activation_ == 1) {
        first_activation_ = 0;
        loading_ = 0;
        figure_pages();
    }
}

void frmSetprint::figure_pages() {
    if (loading_ == 1) return;
    program_state& p = program();
    p.print_image_settings = Check1->isChecked() ? 1 : 0;
    p.print_background_settings = Check2->isChecked() ? 1 : 0;
    p.print_caption_settings = Check3->isChecked() ? 1 : 0;
    p.print_audio_settings = Check4->isChecked() ? 1 : 0;
    Label3->setText(QString::number(estimate_pages(doc().image_count, current_print_areas())));
    yield_events();
    yield_events();
}

void frmSetprint::ok_click() {
    // figure_pages yields: a second click meanwhile must not close twice.
    if (by_button_) return;
    by_button_ = true;
    figure_pages();
    program_state& p = program();
    const int ticked =
        p.print_image_settings + p.print_background_settings + p.print_caption_settings + p.print_audio_settings;
    p.print_cancelled = ticked == 0 ? 1 : 0;
    accept();
}

void frmSetprint::cancel_click() {
    if (by_button_) return;
    by_button_ = true;
    figure_pages();
    program().print_cancelled = 1;
    reject();
}

void frmSetprint::done(int r) {
    if (!by_button_) {
        // The close box or Esc: as "&Cancel".
        by_button_ = true;
        figure_pages();
        program().print_cancelled = 1;
    }
    QDialog::done(r);
}

}  // namespace lv
