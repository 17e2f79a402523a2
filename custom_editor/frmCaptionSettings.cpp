#include "custom_editor/frmCaptionSettings.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "core/caption_schemes.h"
#include "core/hooks.h"
#include "core/state.h"
#include "platform/controls/label_control.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

namespace {

constexpr const char* scheme_captions[9] = {"Solid",          "Gradient White", "Gradient Red",
                                            "Gradient Green", "Gradient Blue",  "Gradient Purple",
                                            "Gradient Gold",  "Gradient Sunburst", "Gradient Midnight Blue"};
constexpr const char* style_captions[7] = {"None",        "Raised Light", "Raised Heavy", "Inset Light",
                                           "Inset Heavy", "Shadow",       "Outline Shadow"};

// Style value -> option index (there is no option for 5); -1 = none.
int style_option(int style) {
    if (style >= 0 && style <= 4) return style;
    if (style == 6) return 5;
    if (style == 7) return 6;
    return -1;
}

int tpp_x() { return std::max(1, program().twips_per_pixel_x); }
int tpp_y() { return std::max(1, program().twips_per_pixel_y); }

}  // namespace

frmCaptionSettings::frmCaptionSettings(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setObjectName(QStringLiteral("frmCaptionSettings"));
    setWindowTitle(QStringLiteral("Caption Font Properties"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFixedSize(inner_width_twips / tpp_x(), inner_height_twips / tpp_y());

    const int W = width(), H = height();
    const int col = (W - 18) / 2 + 12;   // the colour column: its names are the longer
    const int col2 = W - 18 - col;
    const int top = 80;             // the sample lives above the frames
    const int button_h = 24;
    const int margin = 6;
    const int gap = 10;             // between the frames and the buttons under them
    const int frame_h = H - top - gap - button_h - margin;
    // Rows of the choices, under each frame's button, ending a margin above
    // the frame's lower edge; the longer column sets their height.
    const int rows_top = 46;
    const int inner = 4;
    const int row_h = std::clamp((frame_h - rows_top - inner) / 9, 14, 20);

    Frame1 = new QGroupBox(QStringLiteral("Font Color"), this);
    Frame1->setGeometry(6, top, col, frame_h);
    Command4 = new QPushButton(QStringLiteral("Select Solid Color"), Frame1);
    Command4->setToolTip(QStringLiteral(" Choose a solid color "));
    Command4->setGeometry(8, 18, col - 16, button_h);
    for (int i = 0; i < 9; ++i) {
        Option1[i] = new QRadioButton(QString::fromLatin1(scheme_captions[i]), Frame1);
        Option1[i]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        Option1[i]->setGeometry(10, rows_top + i * row_h, col - 14, row_h);
    }

    Frame2 = new QGroupBox(QStringLiteral("Font Style"), this);
    Frame2->setToolTip(QStringLiteral(" Select your font style "));
    Frame2->setGeometry(12 + col, top, col2, frame_h);
    Command3 = new QPushButton(QStringLiteral("Select Font Style"), Frame2);
    Command3->setToolTip(QStringLiteral(" Choose font type, size, bold, italic, etc"));
    Command3->setGeometry(8, 18, col2 - 16, button_h);
    for (int i = 0; i < 7; ++i) {
        Option2[i] = new QRadioButton(QString::fromLatin1(style_captions[i]), Frame2);
        Option2[i]->setObjectName(QStringLiteral("Option2_%1").arg(i));
        Option2[i]->setGeometry(10, rows_top + i * row_h, col2 - 14, row_h);
    }
    // The size's label and bar share the two rows left under the styles.
    const int size_top = rows_top + 7 * row_h + 2;
    const int bar_h = 16;
    Label1 = new QLabel(QStringLiteral("Shadow / Block Size"), Frame2);
    Label1->setGeometry(10, size_top, col2 - 20, frame_h - inner - bar_h - 2 - size_top);
    HScroll1 = new QScrollBar(Qt::Horizontal, Frame2);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setRange(1, 10);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    HScroll1->setGeometry(10, frame_h - inner - bar_h, col2 - 20, bar_h);

    Command1 = new QPushButton(QStringLiteral("Save And Exit"), this);
    Command1->setToolTip(QStringLiteral(" Accept these settings and exit "));
    Command1->setGeometry(6, H - button_h - margin, col, button_h);
    Command2 = new QPushButton(QStringLiteral("Cancel"), this);
    Command2->setToolTip(QStringLiteral(" Exit "));
    Command2->setGeometry(12 + col, H - button_h - margin, col2, button_h);
    // Enter saves, whichever control has the focus, rather than opening the
    // colour dialog of the first button.
    Command1->setDefault(true);

    // The sample sits above everything else of the dialog.
    FXLabel1 = new LabelControl(this);
    FXLabel1->setObjectName(QStringLiteral("FXLabel1"));
    FXLabel1->hide();
    FXLabel1->raise();

    for (int i = 0; i < 9; ++i)
        connect(Option1[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) update_gradient(i);
        });
    for (int i = 0; i < 7; ++i)
        connect(Option2[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) update_style(i);
        });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });

    Form_Load();
}

void frmCaptionSettings::Form_Load() {
    loading = 1;
    activated = 0;
    caption_working_copy = doc().caption_settings;
    // A shadow size from a slideshow file may lie outside what the scroll
    // bar can show; it is taken into the range here so that the bar and the
    // value it saves agree.
    caption_working_copy.caption_settings_shadow_size =
        std::clamp(caption_working_copy.caption_settings_shadow_size, 1, 10);
    sample_text = QString::fromStdString(doc().caption_sample_text);
    if (sample_text.isEmpty()) sample_text = QStringLiteral("No Caption Entered");

    const int opt = style_option(caption_working_copy.caption_settings_style);
    if (opt >= 0) Option2[opt]->setChecked(true);
    const int scheme = caption_working_copy.caption_settings_color_scheme;
    if (scheme >= 0 && scheme <= 8) Option1[scheme]->setChecked(true);
    HScroll1->setValue(caption_working_copy.caption_settings_shadow_size);
}

void frmCaptionSettings::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!activated) QTimer::singleShot(0, this, [this] { Form_Activate(); });
}

void frmCaptionSettings::Form_Activate() {
    if (activated) return;
    activated = 1;
    repaint();
    loading = 0;
    update_display();
}

void frmCaptionSettings::update_style(int x) {
    if (x >= 0 && x <= 4) caption_working_copy.caption_settings_style = x;
    else if (x == 5) caption_working_copy.caption_settings_style = 6;
    else if (x == 6) caption_working_copy.caption_settings_style = 7;
    else return;
    update_display();
}

void frmCaptionSettings::update_gradient(int x) {
    if (x < 0 || x > 8) return;
    caption_working_copy.caption_settings_color_scheme = x;
    update_display();
}

void frmCaptionSettings::HScroll1_Change() {
    caption_working_copy.caption_settings_shadow_size = HScroll1->value();
    update_display();
}

// Font, colour and relief of the sample from the working copy, as a caption
// is drawn in a show.
void frmCaptionSettings::set_look(const QString& caption) {
    const caption_settings_record& c = caption_working_copy;
    const QString name = QString::fromStdString(c.caption_settings_font_name);
    const int size = std::clamp(c.caption_settings_font_size, 1, 500);
    FXLabel1->set_effect_number(0);
    FXLabel1->set_font(name, size, c.caption_settings_bold == 1, c.caption_settings_italic == 1);
    FXLabel1->set_caption(caption);
    FXLabel1->set_text_color(c.caption_settings_color);
    if (const caption_scheme* s = find_caption_scheme(c.caption_settings_color_scheme)) {
        FXLabel1->set_fill_mode(2);
        FXLabel1->set_text_color(s->text_color);
        FXLabel1->set_gradient_kind(2);
        FXLabel1->set_gradient_colors(s->gradient_color_1, s->gradient_color_2);
    } else {
        FXLabel1->set_fill_mode(0);
    }
    FXLabel1->set_relief(c.caption_settings_style, c.caption_settings_shadow_size);
}

void frmCaptionSettings::update_display() {
    if (loading == 1) return;
    // The drawing yields; a change that arrives meanwhile is drawn right after.
    if (drawing_) {
        redraw_again_ = true;
        return;
    }
    drawing_ = true;
    do {
        redraw_again_ = false;
        draw_sample();
    } while (redraw_again_);
    drawing_ = false;
}

void frmCaptionSettings::draw_sample() {
    // Measuring pass: the label sizes itself to its text while only its four
    // rightmost pixel columns lie inside the dialog.
    FXLabel1->hide();
    set_look(QStringLiteral("  AAABBCCC  "));
    FXLabel1->move(4 - FXLabel1->width(), 0);
    FXLabel1->raise();
    FXLabel1->show();
    yield_events();
    FXLabel1->hide();
    yield_events();

    // Showing pass: centred across, 120 pixels above the middle.
    set_look(sample_text);
    const double w = FXLabel1->width(), h = FXLabel1->height();
    const double W = width(), H = height();
    FXLabel1->move(static_cast<int>(std::lround(W / 2 - w / 2)),
                   static_cast<int>(std::lround(H / 2 - h / 2 - 120)));
    FXLabel1->raise();
    FXLabel1->show();
    yield_events();
}

void frmCaptionSettings::Command3_Click() {
    const caption_settings_record& c = caption_working_copy;
    QFont preset(QString::fromStdString(c.caption_settings_font_name));
    if (c.caption_settings_font_size > 0) preset.setPointSizeF(c.caption_settings_font_size);
    preset.setBold(c.caption_settings_bold == 1);
    preset.setItalic(c.caption_settings_italic == 1);

    QFontDialog dlg(preset, this);
    dlg.setObjectName(QStringLiteral("CommonDialog1"));
    if (dlg.exec() != QDialog::Accepted) return;   // cancelled: nothing changes
    const QFont f = dlg.selectedFont();
    if (f.family().isEmpty()) return;
    int size = c.caption_settings_font_size;
    if (f.pointSizeF() > 0) size = static_cast<int>(std::lround(f.pointSizeF()));
    else if (f.pixelSize() > 0) size = static_cast<int>(std::lround(f.pixelSize() * 72.0 / logicalDpiY()));
    caption_working_copy.caption_settings_font_size = size;
    caption_working_copy.caption_settings_font_name = f.family().toStdString();
    caption_working_copy.caption_settings_bold = f.bold() ? 1 : 0;
    caption_working_copy.caption_settings_italic = f.italic() ? 1 : 0;
    update_display();
}

void frmCaptionSettings::Command4_Click() {
    // Opens on the colour last chosen in it, not on the caption's colour.
    QColorDialog dlg(last_color_, this);
    dlg.setObjectName(QStringLiteral("CommonDialog1"));
    if (dlg.exec() != QDialog::Accepted) return;
    const QColor chosen = dlg.selectedColor();
    if (!chosen.isValid()) return;
    last_color_ = chosen;
    caption_working_copy.caption_settings_color = bgr_from_color(chosen);
    update_display();
}

void frmCaptionSettings::Command1_Click() {
    yield_events();
    caption_settings_record& out = doc().caption_settings;
    const caption_settings_record& c = caption_working_copy;
    out.caption_settings_bold = c.caption_settings_bold;
    out.caption_settings_italic = c.caption_settings_italic;
    out.caption_settings_font_size = c.caption_settings_font_size;
    out.caption_settings_font_name = c.caption_settings_font_name;
    out.caption_settings_style = c.caption_settings_style;
    out.caption_settings_shadow_size = c.caption_settings_shadow_size;
    out.caption_settings_color = c.caption_settings_color;
    out.caption_settings_color_scheme = c.caption_settings_color_scheme;
    accept();
}

void frmCaptionSettings::Command2_Click() { reject(); }

}  // namespace lv
