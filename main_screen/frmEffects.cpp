#include "main_screen/frmEffects.h"

#include <QCheckBox>
#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadialGradient>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <string>

#include "core/hooks.h"
#include "core/settings.h"
#include "platform/controls/picture_control.h"
#include "platform/desktop/frmPopmessage.h"
#include "platform/desktop/screen_fit.h"

namespace lv {

namespace {

constexpr int margin = 8;
constexpr int spacing = 4;
constexpr int list_design_width = 240;
constexpr int list_design_height = 360;

}  // namespace

QImage effects_sample_picture(int width, int height) {
    QImage img(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = img.width(), h = img.height();
    // Sky, sun, two rows of hills and the program's name: enough shapes and
    // colours that every kind of transition shows how it moves.
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(40, 90, 190));
    sky.setColorAt(0.6, QColor(250, 190, 120));
    p.fillRect(img.rect(), sky);
    QRadialGradient sun(QPointF(w * 0.72, h * 0.35), h * 0.16);
    sun.setColorAt(0, QColor(255, 250, 210));
    sun.setColorAt(1, QColor(255, 200, 80));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.72, h * 0.35), h * 0.14, h * 0.14);
    QPainterPath far_hills;
    far_hills.moveTo(0, h * 0.62);
    far_hills.cubicTo(w * 0.25, h * 0.45, w * 0.45, h * 0.70, w * 0.65, h * 0.55);
    far_hills.cubicTo(w * 0.80, h * 0.45, w * 0.90, h * 0.58, w, h * 0.52);
    far_hills.lineTo(w, h);
    far_hills.lineTo(0, h);
    p.setBrush(QColor(70, 120, 80));
    p.drawPath(far_hills);
    QPainterPath near_hills;
    near_hills.moveTo(0, h * 0.80);
    near_hills.cubicTo(w * 0.30, h * 0.65, w * 0.60, h * 0.95, w, h * 0.72);
    near_hills.lineTo(w, h);
    near_hills.lineTo(0, h);
    p.setBrush(QColor(30, 85, 45));
    p.drawPath(near_hills);
    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(std::max(8, static_cast<int>(h / 8)));
    p.setFont(font);
    const QRect text_box(0, static_cast<int>(h * 0.05), img.width(), static_cast<int>(h * 0.2));
    p.setPen(QColor(0, 0, 0, 120));
    p.drawText(text_box.translated(2, 2), Qt::AlignCenter, QStringLiteral("Lumivane"));
    p.setPen(Qt::white);
    p.drawText(text_box, Qt::AlignCenter, QStringLiteral("Lumivane"));
    return img;
}

frmEffects::frmEffects(QWidget* parent) : QDialog(parent) {
    keep_on_screen(this);
    setModal(true);
    setWindowTitle(QStringLiteral("Random Effect Editor"));

    List1 = new QListWidget(this);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    FXImage1 = new PictureControl(this);
    FXImage1->set_draw_mode(PictureControl::stretched);
    FXImage1->set_picture(effects_sample_picture());

    auto button = [this](const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setAutoDefault(false);
        return b;
    };
    auto arrow = [this, &button](QStyle::StandardPixmap pixmap, const QString& tip) {
        auto* b = button(QString());
        b->setIcon(style()->standardIcon(pixmap));
        b->setToolTip(tip);
        return b;
    };
    Check1 = new QCheckBox(QStringLiteral("Disable This Effect"), this);
    Check1->setToolTip(QStringLiteral("A disabled effect is never chosen as a random effect"));
    Label12 = new QLabel(QStringLiteral("Speed:"), this);
    Command4 = arrow(QStyle::SP_ArrowLeft, QStringLiteral("Lower speed"));
    Label13 = new QLabel(this);
    Command5 = arrow(QStyle::SP_ArrowRight, QStringLiteral("Higher speed"));
    Label15 = new QLabel(QStringLiteral("Grain:"), this);
    Command6 = arrow(QStyle::SP_ArrowLeft, QStringLiteral("Finer grain"));
    Label14 = new QLabel(this);
    Command7 = arrow(QStyle::SP_ArrowRight, QStringLiteral("Coarser grain"));
    Command8 = button(QStringLiteral("Enable &All"));
    Command9 = button(QStringLiteral("&Disable All"));
    Command3 = button(QStringLiteral("&Refresh"));
    Command2 = button(QStringLiteral("&Cancel"));
    Command1 = button(QStringLiteral("&Ok"));

    // The designed places: the list at the left edge, the row of controls
    // under it from left to right. Resizing keeps every left edge.
    const int row_h = std::max({Check1->sizeHint().height(), Command8->sizeHint().height(), 24});
    const int value_w = QFontMetrics(font()).horizontalAdvance(QStringLiteral("0000"));
    QWidget* row[] = {Check1,  Label12,  Command4, Label13,  Command5, Label15,  Command6,
                      Label14, Command7, Command8, Command9, Command3, Command2, Command1};
    int x = margin;
    for (QWidget* w : row) {
        int width = w->sizeHint().width();
        if (w == Command4 || w == Command5 || w == Command6 || w == Command7) width = row_h;
        if (w == Label13 || w == Label14) width = value_w;
        w->setGeometry(x, 0, width, row_h);
        x += width + spacing;
    }
    row_floor_width_ = x + margin;
    List1->setGeometry(0, 0, list_design_width, list_design_height);

    // Form_Load
    min_width = static_cast<float>(List1->width()) + static_cast<float>(List1->width()) / 4;
    min_height = static_cast<float>(List1->height()) + static_cast<float>(List1->height()) / 4;
    // The row of controls must stay whole too, so the narrowest window is
    // also as wide as that row.
    setMinimumSize(std::max(static_cast<int>(min_width + 0.5f), row_floor_width_),
                   static_cast<int>(min_height + 0.5f));
    const auto& table = effect_table();
    for (int i = 0; i < effect_rows; ++i) {
        working_effects[i] = table[i];
        List1->addItem(QString::fromLatin1(effect_names[i]));
    }
    activated = 0;
    resize(std::max(minimumWidth(), 760), std::max(minimumHeight(), 520));
    FXImage1->show();

    connect(List1, &QListWidget::itemSelectionChanged, this, &frmEffects::list_click);
    connect(Check1, &QCheckBox::clicked, this, &frmEffects::check1_click);
    connect(Command1, &QPushButton::clicked, this, [this] {
        save_effects();
        accept();
    });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command3, &QPushButton::clicked, this, &frmEffects::replay);
    connect(Command4, &QPushButton::clicked, this, &frmEffects::speed_down);
    connect(Command5, &QPushButton::clicked, this, &frmEffects::speed_up);
    connect(Command6, &QPushButton::clicked, this, &frmEffects::grain_down);
    connect(Command7, &QPushButton::clicked, this, &frmEffects::grain_up);
    connect(Command8, &QPushButton::clicked, this, &frmEffects::enable_all);
    connect(Command9, &QPushButton::clicked, this, &frmEffects::disable_all);
    // A finished reveal leaves the sample without a transition, so that a
    // repaint never replays it.
    connect(FXImage1, &EffectControl::effect_done, this, [this] { FXImage1->set_effect_number(0); });

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmEffects::timer1_tick);
    Timer1->start();
    timer1_tick();
}

int frmEffects::selected_index() const {
    const int row = List1->currentRow();
    if (row < 0 || row >= effect_rows) return -1;
    const QListWidgetItem* item = List1->item(row);
    return item && item->isSelected() ? row : -1;
}

void frmEffects::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (activated == 0) {
        QTimer::singleShot(0, this, [this] {
            if (activated != 0) return;
            FXImage1->raise();
            repaint();
            activated = 1;
            show_message(5);
        });
    }
}

void frmEffects::show_values(int row) {
    const effect_row& r = working_effects[row];
    Check1->setChecked(r.disabled == 1);
    Label13->setText(QString::number(r.speed));
    Label14->setText(QString::number(r.grain));
}

void frmEffects::list_click() {
    const int i = selected_index();
    if (i < 0) return;
    show_values(i);
    if (i >= 2 && working_effects[i].disabled != 1) preview(i);
}

void frmEffects::preview(int row) {
    // A newer preview started while this one yielded takes over.
    const int generation = ++preview_generation_;
    ++previews_started_;
    QPointer<frmEffects> self(this);
    FXImage1->hide();
    FXImage1->refresh();
    yield_events();
    if (!self || generation != preview_generation_) return;
    const effect_row& r = working_effects[row];
    FXImage1->set_effect(r.effect_number, r.speed, r.grain);
    FXImage1->show();   // comes into view with the transition
    yield_events();
}

void frmEffects::replay() {
    const int i = selected_index();
    if (i >= 2) preview(i);
}

void frmEffects::speed_down() {
    const int i = selected_index();
    if (i < 2) return;
    if (working_effects[i].speed > 0) --working_effects[i].speed;
    Label13->setText(QString::number(working_effects[i].speed));
}

void frmEffects::speed_up() {
    const int i = selected_index();
    if (i < 2) return;
    if (working_effects[i].speed < 255) ++working_effects[i].speed;
    Label13->setText(QString::number(working_effects[i].speed));
}

void frmEffects::grain_down() {
    const int i = selected_index();
    if (i < 2) return;
    if (working_effects[i].grain > 1) --working_effects[i].grain;
    Label14->setText(QString::number(working_effects[i].grain));
}

void frmEffects::grain_up() {
    const int i = selected_index();
    if (i < 2) return;
    if (working_effects[i].grain < 255) ++working_effects[i].grain;
    Label14->setText(QString::number(working_effects[i].grain));
}

void frmEffects::check1_click() {
    const int i = selected_index();
    if (i < 0) return;
    working_effects[i].disabled = Check1->isChecked() ? 1 : 0;
    if (i < 2) {
        // "Random Effect" and "No Effect" are never disabled one by one.
        Check1->setChecked(false);
        working_effects[i].disabled = 0;
    }
}

void frmEffects::enable_all() {
    for (effect_row& r : working_effects) r.disabled = 0;
    Check1->setChecked(false);
}

void frmEffects::disable_all() {
    for (effect_row& r : working_effects) r.disabled = 1;
    Check1->setChecked(true);
    check1_click();
}

void frmEffects::timer1_tick() {
    if (timer_busy_) return;
    timer_busy_ = true;
    const bool editable = selected_index() >= 2;
    for (QWidget* w : std::initializer_list<QWidget*>{Check1, Command4, Command5, Command6, Command7, Command8,
                                                      Command9})
        w->setEnabled(editable);
    timer_busy_ = false;
}

void frmEffects::save_effects() {
    auto& table = effect_table();
    auto& store = config_store();
    for (int i = 0; i < effect_rows; ++i) {
        table[i] = working_effects[i];
        store.write(effect_grain_key(i), std::to_string(working_effects[i].grain));
        store.write(effect_speed_key(i), std::to_string(working_effects[i].speed));
        store.write(effect_disable_key(i), std::to_string(working_effects[i].disabled));
    }
}

void frmEffects::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    form_resize();
}

void frmEffects::form_resize() {
    const int gap = Command4->width() / 4;
    if (width() < minimumWidth() || height() < minimumHeight()) {
        resize(std::max(width(), minimumWidth()), std::max(height(), minimumHeight()));
        return;   // the resize comes back here with the new size
    }
    const int w = width(), h = height();
    const int check_h = Check1->height();
    const int upper_h = std::max(0, h - 2 * check_h);
    List1->setGeometry(List1->x(), 0, List1->width(), upper_h);
    FXImage1->setGeometry(List1->x() + List1->width(), 0, std::max(0, w - List1->width() - gap), upper_h);
    const int row_top = h - check_h - check_h / 4;
    QWidget* row[] = {Check1,  Label12,  Command4, Label13,  Command5, Label15,  Command6,
                      Label14, Command7, Command8, Command9, Command3, Command2, Command1};
    for (QWidget* c : row) c->move(c->x(), row_top);
}

}  // namespace lv
