#include "platform/controls/effect_control.h"

#include "platform/transitions/transitions.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

namespace lv {

QColor color_from_bgr(std::int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::int32_t bgr_from_color(const QColor& c) {
    return std::int32_t(c.red() | (c.green() << 8) | (c.blue() << 16));
}

// ---- Border -----------------------------------------------------------------

namespace {

// A band's width in the pixels drawn into: at least one pixel for a band
// that is there.
int scaled_width(int w, int low, double scale) {
    w = std::clamp(w, low, 30);
    return w == 0 ? 0 : std::max(1, int(std::lround(w * scale)));
}

}  // namespace

int control_border::total_width(double scale) const {
    if (!on) return 0;
    int w = scaled_width(middle_width, 0, scale);
    if (outer_style > 0) w += scaled_width(outer_width, 1, scale);
    if (inner_style > 0) w += scaled_width(inner_width, 1, scale);
    return w;
}

namespace {

// One band of width w inside r: style 1 raised (first colour on the top and
// left edges), style 2 sunken (first colour on the bottom and right edges).
void paint_band(QPainter& p, QRect r, int w, int style, std::int32_t c1, std::int32_t c2) {
    const QColor light = color_from_bgr(style == 2 ? c2 : c1), dark = color_from_bgr(style == 2 ? c1 : c2);
    for (int i = 0; i < w && r.width() > 0 && r.height() > 0; ++i) {
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), light);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), light);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), dark);
        p.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), dark);
        r.adjust(1, 1, -1, -1);
    }
}

}  // namespace

void paint_border(QPainter& p, const QRect& rect, const control_border& b, double scale) {
    if (b.total_width() == 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QRect r = rect;
    if (b.outer_style > 0) {
        const int w = scaled_width(b.outer_width, 1, scale);
        paint_band(p, r, w, b.outer_style, b.outer_color_1, b.outer_color_2);
        r.adjust(w, w, -w, -w);
    }
    const int mw = scaled_width(b.middle_width, 0, scale);
    if (mw > 0 && r.width() > 0 && r.height() > 0) {
        const QColor c = color_from_bgr(b.middle_color);
        p.fillRect(QRect(r.left(), r.top(), r.width(), mw), c);
        p.fillRect(QRect(r.left(), r.bottom() - mw + 1, r.width(), mw), c);
        p.fillRect(QRect(r.left(), r.top(), mw, r.height()), c);
        p.fillRect(QRect(r.right() - mw + 1, r.top(), mw, r.height()), c);
        r.adjust(mw, mw, -mw, -mw);
    }
    if (b.inner_style > 0)
        paint_band(p, r, scaled_width(b.inner_width, 1, scale), b.inner_style, b.inner_color_1, b.inner_color_2);
    p.restore();
}

// ---- EffectControl --------------------------------------------------------------

namespace {
// One clock for every control's transitions.
qint64 clock_ms() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}
}  // namespace

EffectControl::EffectControl(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    timer_ = new QTimer(this);
    timer_->setInterval(16);
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, &EffectControl::tick);
}

EffectControl::~EffectControl() {
    if (transition_ && qApp) qApp->removeEventFilter(this);
}

void EffectControl::set_effect(int effect_number, double speed, int grain) {
    effect_number_ = effect_number;
    effect_speed_ = speed;
    effect_grain_ = grain;
    if (effect_number > 0) pending_reveal_ = true;
}

void EffectControl::set_effect_number(int n) {
    // A running transition keeps its own number.
    effect_number_ = n;
    if (n > 0) pending_reveal_ = true;
}

void EffectControl::set_updates(bool on) {
    if (on == updates_) return;
    if (!on) {
        // Keep showing what was on screen; a running reveal still ends on
        // the face it started with (end_reveal freezes that one).
        frozen_face_ = face_cache_;
        frozen_origin_ = face_cache_rect_.topLeft() + place();
    }
    updates_ = on;
    if (on && !transition_) update();
}

void EffectControl::setVisible(bool visible) {
    if (!visible) {
        if (transition_) end_reveal();
        shown_ = false;
        frozen_until_reveal_ = false;   // the next show reveals anyway
        QWidget::setVisible(false);
        return;
    }
    const bool was_shown = shown_;
    shown_ = true;
    QWidget::setVisible(true);
    if (!was_shown) pending_reveal_ = true;
    if (updates_ && pending_reveal_) start_reveal();
}

void EffectControl::show_with_effect() { show(); }

void EffectControl::refresh() {
    if (updates_ && shown_ && pending_reveal_) {
        start_reveal();
        return;
    }
    if (isVisible()) repaint();
}

bool EffectControl::transition_running() const { return transition_ != nullptr; }

void EffectControl::finish_transition() { end_reveal(); }

QRect EffectControl::face_rect() const {
    QRect r = rect();
    if (const QWidget* p = parentWidget()) r &= p->rect().translated(-pos());
    return r;
}

QPoint EffectControl::place() const { return isWindow() ? QPoint(0, 0) : pos(); }

QRect EffectControl::device_rect(const QRect& r) const {
    const double ratio = devicePixelRatioF();
    const auto at = [ratio](int v) { return int(std::lround(v * ratio)); };
    return QRect(QPoint(at(r.left()), at(r.top())), QPoint(at(r.right() + 1) - 1, at(r.bottom() + 1) - 1));
}

QImage EffectControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    QImage whole = render_face();
    return area == whole.rect() ? whole : whole.copy(area);
}

QImage EffectControl::transition_frame_at(double p) {
    if (!transition_) return QImage();
    QImage out(new_face_.size(), new_face_.format());
    out.setDevicePixelRatio(new_face_.devicePixelRatio());
    transition_->paint(out, old_face_, new_face_, std::clamp(p, 0.0, 1.0));
    return out;
}

const QImage& EffectControl::current_face() {
    const QRect area = face_rect();
    const double ratio = devicePixelRatioF();
    if (face_dirty_ || face_cache_rect_ != area || face_cache_ratio_ != ratio) {
        face_cache_ = QImage();   // the old face goes before the new one is made
        face_cache_ = render_face_area(area);
        face_cache_rect_ = area;
        face_cache_ratio_ = ratio;
        face_dirty_ = false;
    }
    return face_cache_;
}

void EffectControl::face_changed() {
    face_dirty_ = true;
    if (!updates_ || !shown_) {
        pending_reveal_ = true;   // shown with the next reveal
        if (!updates_) frozen_until_reveal_ = true;
        return;
    }
    // A running reveal ends on the face it started with.
    if (!transition_) update();
}

QImage EffectControl::compose_new_face() {
    QImage out = old_face_.copy();
    QPainter p(&out);
    const QImage& face = current_face();
    p.drawImage(face_cache_rect_.topLeft() - reveal_origin_, face);
    return out;
}

void EffectControl::start_reveal() {
    if (transition_) end_reveal();   // the earlier reveal reports its end first
    pending_reveal_ = false;
    frozen_until_reveal_ = false;
    std::unique_ptr<Transition> t;
    int duration = 0;
    // The transition runs over the part of the control that can show.
    // It runs in the screen's own pixels, as at scale 1.
    const QRect area = face_rect();
    const QSize pixels = device_rect(area).size();
    if (has_transition(effect_number_) && !area.isEmpty() && !pixels.isEmpty()) {
        duration = transition_duration_ms(effect_number_, effect_speed_, effect_grain_);
        if (duration > 0) t = Transition::create(effect_number_, effect_grain_, pixels);
    }
    if (!t) {
        update();
        // Reported from the event loop, as after a transition.
        QTimer::singleShot(0, this, [this] { emit effect_done(); });
        return;
    }
    reveal_origin_ = area.topLeft();
    old_face_ = grab_beneath(area, pixels);
    new_face_ = compose_new_face();
    frame_ = old_face_.copy();
    transition_ = std::move(t);
    duration_ms_ = duration;
    started_ms_ = clock_ms();
    cancel_origin_ = QCursor::pos();
    qApp->installEventFilter(this);
    timer_->start();
    update();
}

void EffectControl::tick() {
    if (!transition_) return;
    const double p = double(clock_ms() - started_ms_) / duration_ms_;
    if (p >= 1.0) {
        end_reveal();
        return;
    }
    // A run still preparing on another thread would stall the window: the
    // old face stays until a later tick finds it ready.
    if (!transition_->ready()) return;
    if (live_face()) {
        face_dirty_ = true;
        new_face_ = compose_new_face();
    }
    transition_->paint(frame_, old_face_, new_face_, p);
    update();
}

void EffectControl::end_reveal() {
    if (!transition_) return;
    timer_->stop();
    qApp->removeEventFilter(this);
    transition_.reset();
    old_face_ = new_face_ = frame_ = QImage();
    if (!updates_) {
        frozen_face_ = face_cache_;
        frozen_origin_ = face_cache_rect_.topLeft() + place();
    }
    update();
    emit effect_done();
}

QImage EffectControl::grab_beneath(const QRect& part, QSize pixels) {
    // In the screen's pixels; the widgets beneath draw into it in the
    // window's units.
    QImage img(pixels, QImage::Format_RGB32);
    img.fill(Qt::black);
    img.setDevicePixelRatio(devicePixelRatioF());
    QWidget* win = window();
    if (win == this) return img;
    // Ancestors from the window down to this control.
    std::vector<QWidget*> chain;
    for (QWidget* w = this; w && w != win; w = w->parentWidget()) chain.push_back(w);
    chain.push_back(win);
    std::reverse(chain.begin(), chain.end());

    QPainter painter(&img);
    const QPoint origin = mapTo(win, part.topLeft());
    const QRect area(origin, part.size());   // window coordinates
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        QWidget* a = chain[i];
        QWidget* next = chain[i + 1];
        const QPoint a_origin = a == win ? QPoint(0, 0) : a->mapTo(win, QPoint(0, 0));
        const QRect a_area = area.translated(-a_origin).intersected(a->rect());
        if (a_area.isEmpty()) break;
        const bool opaque = a->isWindow() || a->autoFillBackground();
        a->render(&painter, a_area.topLeft() + a_origin - origin, QRegion(a_area),
                  opaque ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
        // Siblings below the next link of the chain, bottom first.
        for (QObject* o : a->children()) {
            if (o == next) break;
            QWidget* c = qobject_cast<QWidget*>(o);
            if (!c || c->isWindow() || c->isHidden()) continue;
            const QRect c_area = a_area.intersected(c->geometry()).translated(-c->pos());
            if (c_area.isEmpty()) continue;
            QWidget::RenderFlags flags = QWidget::DrawChildren;
            if (c->autoFillBackground()) flags |= QWidget::DrawWindowBackground;
            c->render(&painter, c_area.topLeft() + c->pos() + a_origin - origin, QRegion(c_area), flags);
        }
    }
    return img;
}

void EffectControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (transition_) {
        p.drawImage(reveal_origin_, frame_);
        return;
    }
    if (!updates_ || frozen_until_reveal_) {
        // Where it was on the screen, however the control has moved since:
        // a control waiting for its next picture may already have its next
        // place.
        if (!frozen_face_.isNull()) p.drawImage(frozen_origin_ - place(), frozen_face_);
        return;
    }
    const QImage& face = current_face();
    p.drawImage(face_cache_rect_.topLeft(), face);
}

void EffectControl::resizeEvent(QResizeEvent*) { face_dirty_ = true; }

void EffectControl::moveEvent(QMoveEvent*) {
    // A control that moved partly into or out of its parent shows another
    // part of its face; what was not rendered yet is rendered now.
    if (face_rect() != face_cache_rect_ && isVisible()) update();
}

void EffectControl::mousePressEvent(QMouseEvent* e) {
    press_inside_ = true;
    emit mouse_pressed(e->position().toPoint(), e->button());
}

void EffectControl::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    const bool click = press_inside_ && rect().contains(pos);
    press_inside_ = false;
    QPointer<EffectControl> self(this);
    emit mouse_released(pos, e->button());
    if (click && self) emit clicked();
}

void EffectControl::mouseMoveEvent(QMouseEvent* e) { emit mouse_moved(e->position().toPoint()); }

bool EffectControl::eventFilter(QObject*, QEvent* event) {
    if (!transition_) return false;
    const bool by_key = cancel_mode_ == 4 || cancel_mode_ == 9;
    const bool by_mouse = cancel_mode_ == 7 || cancel_mode_ == 9;
    if (by_key && event->type() == QEvent::KeyPress) {
        end_reveal();
    } else if (by_mouse && event->type() == QEvent::MouseMove) {
        // Only a real move: windows appearing under a still mouse report one too.
        if (static_cast<QMouseEvent*>(event)->globalPosition() != cancel_origin_) end_reveal();
    }
    return false;   // the key or move still reaches its window
}

}  // namespace lv
