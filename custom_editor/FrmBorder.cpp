#include "custom_editor/FrmBorder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "core/document.h"
#include "core/state.h"
#include "player/renderer.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

namespace {

struct bar_row {
    const char* caption;
    int minimum, maximum;
    bool colour;
};

// HScroll1..HScroll10, in the order the dialog reads and writes them.
constexpr bar_row rows[10] = {
    {"Inner Color 1", 0, 15, true}, {"Inner Color 2", 0, 15, true}, {"Inner Style", 0, 2, false},
    {"Inner Width", 1, 30, false},  {"Outer Color 1", 0, 15, true}, {"Outer Color 2", 0, 15, true},
    {"Outer Style", 0, 2, false},   {"Outer Width", 1, 30, false},  {"Middle Color", 0, 15, true},
    {"Middle Width", 0, 30, false},
};

std::array<int, 10> values_of(const border_record& b) {
    return {b.border_inner_color_1, b.border_inner_color_2, b.border_inner_style, b.border_inner_width,
            b.border_outer_color_1, b.border_outer_color_2, b.border_outer_style, b.border_outer_width,
            b.border_middle_color,  b.border_middle_width};
}

// A small landscape for the sample: sky, sun, two hills.
QImage sample_picture() {
    QImage img(240, 180, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 120);
    sky.setColorAt(0, QColor(70, 130, 210));
    sky.setColorAt(1, QColor(190, 220, 250));
    p.fillRect(img.rect(), sky);
    QRadialGradient sun(180, 45, 22);
    sun.setColorAt(0, QColor(255, 250, 200));
    sun.setColorAt(1, QColor(255, 200, 60));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(180, 45), 22, 22);
    QPainterPath far_hill;
    far_hill.moveTo(0, 130);
    far_hill.cubicTo(60, 80, 130, 90, 240, 125);
    far_hill.lineTo(240, 180);
    far_hill.lineTo(0, 180);
    p.fillPath(far_hill, QColor(60, 140, 70));
    QPainterPath near_hill;
    near_hill.moveTo(0, 165);
    near_hill.cubicTo(80, 120, 170, 140, 240, 160);
    near_hill.lineTo(240, 180);
    near_hill.lineTo(0, 180);
    p.fillPath(near_hill, QColor(35, 100, 45));
    return img;
}

}  // namespace

FrmBorder::FrmBorder(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setObjectName(QStringLiteral("FrmBorder"));
    setWindowTitle(QStringLiteral("Add A Border To Your SlideShow"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    const int tx = std::max(1, program().twips_per_pixel_x), ty = std::max(1, program().twips_per_pixel_y);
    setFixedSize(inner_width_twips / tx, inner_height_twips / ty);
    const int W = width(), H = height();

    Label11 = new QLabel(QStringLiteral("Adding a border to your slideshow is easy. You can adjust the inner and "
                                        "outer color along with their style and thickness."),
                         this);
    Label11->setWordWrap(true);
    Label11->setGeometry(12, 6, W - 24, 40);

    QLabel** labels[10] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8, &Label9, &Label10};
    QScrollBar** bars[10] = {&HScroll1, &HScroll2, &HScroll3, &HScroll4, &HScroll5,
                             &HScroll6, &HScroll7, &HScroll8, &HScroll9, &HScroll10};
    // Left column: inner colours, style, width and the middle colour; right
    // column: outer colours, style, width and the middle width.
    constexpr int column_of[10] = {0, 0, 0, 0, 1, 1, 1, 1, 0, 1};
    constexpr int line_of[10] = {0, 1, 2, 3, 0, 1, 2, 3, 4, 4};
    // The rows, the box and the check share the height down to the buttons,
    // with no empty band left above those.
    const int by = H - 40;
    const int label_h = 18, bar_h = 17, check_h = 24, check_gap = 16, bottom_gap = 12;
    const int below_text = 52;
    const int room = by - bottom_gap - check_h - check_gap - (label_h + bar_h) - below_text;
    const int step = std::clamp(room / 4, 42, 60);
    const int col_w = 160, top = below_text + (room - 4 * step) / 2;
    for (int i = 0; i < 10; ++i) {
        const int x = column_of[i] == 0 ? 12 : W - 12 - col_w;
        const int y = top + line_of[i] * step;
        *labels[i] = new QLabel(QString::fromLatin1(rows[i].caption), this);
        (*labels[i])->setGeometry(x, y, col_w, label_h);
        auto* bar = new QScrollBar(Qt::Horizontal, this);
        bar->setObjectName(QStringLiteral("HScroll%1").arg(i + 1));
        bar->setRange(rows[i].minimum, rows[i].maximum);
        bar->setSingleStep(1);
        bar->setPageStep(1);
        bar->setGeometry(x, y + label_h, col_w, bar_h);
        *bars[i] = bar;
        bars_[static_cast<std::size_t>(i)] = bar;
    }

    FXImage1 = new PictureControl(this);
    FXImage1->setObjectName(QStringLiteral("FXImage1"));
    FXImage1->setGeometry(12 + col_w + 14, top, W - 2 * (12 + col_w + 14), 4 * step + label_h + bar_h);
    FXImage1->set_draw_mode(PictureControl::stretched);
    FXImage1->set_picture(sample_picture());

    Check1 = new QCheckBox(QStringLiteral("Do &not display border"), this);
    Check1->setToolTip(QStringLiteral(" Place a check here if you do not want to display a border around your images "));
    Check1->setGeometry(12, top + 4 * step + label_h + bar_h + check_gap, W - 24, check_h);

    Command1 = new QPushButton(QStringLiteral("&Defaults"), this);
    Command1->setToolTip(QStringLiteral(" Restore nomal border defaults "));
    Command1->setGeometry(12, by, 150, 28);
    Command2 = new QPushButton(QStringLiteral("&Save And Exit"), this);
    Command2->setToolTip(QStringLiteral(" Accept these border settings and exit "));
    Command2->setGeometry(W / 2 - 80, by, 160, 28);
    Command3 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command3->setToolTip(QStringLiteral(" Exit without updating the border properties "));
    Command3->setGeometry(W - 162, by, 150, 28);
    // Enter saves rather than restoring the defaults of the first button.
    Command2->setDefault(true);

    // The sample always shows a border, whatever the check box says.
    sample_border_.on = true;
    for (int i = 0; i < 10; ++i) {
        const int n = i + 1;
        connect(bars_[static_cast<std::size_t>(i)], &QScrollBar::valueChanged, this, [this, n] { HScroll_Change(n); });
    }
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });

    Form_Load();
}

void FrmBorder::Form_Load() {
    activated = 0;
    FXImage1->hide();
    Check1->setChecked(doc().border.border_off == 1);
}

void FrmBorder::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (activated != 1) QTimer::singleShot(0, this, [this] { Form_Activate(); });
}

void FrmBorder::Form_Activate() {
    if (activated == 1) return;
    activated = 1;
    if (doc().border_use_defaults == 1) {
        get_borderdefaults();
        return;
    }
    // A value outside a bar's range (possible from a slideshow file) is
    // taken into the range by the bar; the sample shows what the bars show.
    const std::array<int, 10> v = values_of(doc().border);
    for (int i = 0; i < 10; ++i) bars_[static_cast<std::size_t>(i)]->setValue(v[static_cast<std::size_t>(i)]);
    for (int i = 0; i < 10; ++i) set_sample_value(i + 1, bars_[static_cast<std::size_t>(i)]->value());
    FXImage1->set_border(sample_border_);
    FXImage1->show_with_effect();
    FXImage1->refresh();
}

// Row n's property of the sample border (colours through the palette).
void FrmBorder::set_sample_value(int n, int value) {
    control_border& b = sample_border_;
    switch (n) {
        case 1: b.inner_color_1 = palette16_color(value); break;
        case 2: b.inner_color_2 = palette16_color(value); break;
        case 3: b.inner_style = value; break;
        case 4: b.inner_width = value; break;
        case 5: b.outer_color_1 = palette16_color(value); break;
        case 6: b.outer_color_2 = palette16_color(value); break;
        case 7: b.outer_style = value; break;
        case 8: b.outer_width = value; break;
        case 9: b.middle_color = palette16_color(value); break;
        case 10: b.middle_width = value; break;
        default: break;
    }
}

void FrmBorder::HScroll_Change(int n) {
    set_sample_value(n, HScroll(n)->value());
    FXImage1->set_border(sample_border_);
    FXImage1->refresh();
}

void FrmBorder::get_borderdefaults() {
    for (int i = 0; i < 10; ++i)
        bars_[static_cast<std::size_t>(i)]->setValue(default_values[static_cast<std::size_t>(i)]);
    FXImage1->set_updates(false);
    for (int i = 0; i < 10; ++i) set_sample_value(i + 1, default_values[static_cast<std::size_t>(i)]);
    FXImage1->set_border(sample_border_);
    FXImage1->set_updates(true);
    FXImage1->show_with_effect();
    FXImage1->refresh();
}

void FrmBorder::Command1_Click() { get_borderdefaults(); }

void FrmBorder::Command2_Click() {
    // Saved before the bars were filled, they would store their minimums.
    Form_Activate();
    border_record& b = doc().border;
    b.border_inner_color_1 = HScroll1->value();
    b.border_inner_color_2 = HScroll2->value();
    b.border_inner_style = HScroll3->value();
    b.border_inner_width = HScroll4->value();
    b.border_outer_color_1 = HScroll5->value();
    b.border_outer_color_2 = HScroll6->value();
    b.border_outer_style = HScroll7->value();
    b.border_outer_width = HScroll8->value();
    b.border_middle_color = HScroll9->value();
    b.border_middle_width = HScroll10->value();
    doc().border_use_defaults = 0;
    accept();
}

void FrmBorder::Command3_Click() { reject(); }

void FrmBorder::done(int result) {
    doc().border.border_off = Check1->isChecked() ? 1 : 0;
    QDialog::done(result);
}

}  // namespace lv
