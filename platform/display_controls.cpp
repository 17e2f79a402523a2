#include "platform/display_controls.h"

#include "platform/picture_decode.h"
#include "platform/picture_job.h"
#include "platform/transitions.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace lv {

QColor color_from_bgr(std::int32_t bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::int32_t bgr_from_color(const QColor& c) {
    return std::int32_t(c.red() | (c.green() << 8) | (c.blue() << 16));
}

// ---- Border -----------------------------------------------------------------

int control_border::total_width() const {
    if (!on) return 0;
    int w = std::clamp(middle_width, 0, 30);
    if (outer_style > 0) w += std::clamp(outer_width, 1, 30);
    if (inner_style > 0) w += std::clamp(inner_width, 1, 30);
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

void paint_border(QPainter& p, const QRect& rect, const control_border& b) {
    if (b.total_width() == 0) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QRect r = rect;
    if (b.outer_style > 0) {
        const int w = std::clamp(b.outer_width, 1, 30);
        paint_band(p, r, w, b.outer_style, b.outer_color_1, b.outer_color_2);
        r.adjust(w, w, -w, -w);
    }
    const int mw = std::clamp(b.middle_width, 0, 30);
    if (mw > 0 && r.width() > 0 && r.height() > 0) {
        const QColor c = color_from_bgr(b.middle_color);
        p.fillRect(QRect(r.left(), r.top(), r.width(), mw), c);
        p.fillRect(QRect(r.left(), r.bottom() - mw + 1, r.width(), mw), c);
        p.fillRect(QRect(r.left(), r.top(), mw, r.height()), c);
        p.fillRect(QRect(r.right() - mw + 1, r.top(), mw, r.height()), c);
        r.adjust(mw, mw, -mw, -mw);
    }
    if (b.inner_style > 0) paint_band(p, r, std::clamp(b.inner_width, 1, 30), b.inner_style, b.inner_color_1, b.inner_color_2);
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
        frozen_origin_ = face_cache_rect_.topLeft();
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

QImage EffectControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    QImage whole = render_face();
    return area == whole.rect() ? whole : whole.copy(area);
}

QImage EffectControl::transition_frame_at(double p) {
    if (!transition_) return QImage();
    QImage out(new_face_.size(), new_face_.format());
    transition_->paint(out, old_face_, new_face_, std::clamp(p, 0.0, 1.0));
    return out;
}

const QImage& EffectControl::current_face() {
    const QRect area = face_rect();
    if (face_dirty_ || face_cache_rect_ != area) {
        face_cache_ = QImage();   // the old face goes before the new one is made
        face_cache_ = render_face_area(area);
        face_cache_rect_ = area;
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
    const QRect area = face_rect();
    if (has_transition(effect_number_) && !area.isEmpty()) {
        duration = transition_duration_ms(effect_number_, effect_speed_, effect_grain_);
        if (duration > 0) t = Transition::create(effect_number_, effect_grain_, area.size());
    }
    if (!t) {
        update();
        // Reported from the event loop, as after a transition.
        QTimer::singleShot(0, this, [this] { emit effect_done(); });
        return;
    }
    reveal_origin_ = area.topLeft();
    old_face_ = grab_beneath(area);
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
        frozen_origin_ = face_cache_rect_.topLeft();
    }
    update();
    emit effect_done();
}

QImage EffectControl::grab_beneath(const QRect& part) {
    QImage img(part.size(), QImage::Format_RGB32);
    img.fill(Qt::black);
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
        if (!frozen_face_.isNull()) p.drawImage(frozen_origin_, frozen_face_);
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

// ---- PictureControl ---------------------------------------------------------------

PictureControl::PictureControl(QWidget* parent) : EffectControl(parent) {}

int PictureControl::repalette() {
    paletted_ = detail_paletted_ = QImage();
    shown_dirty_ = true;
    if (!palette_on_ || (palette_type_ != 1 && palette_type_ != 5)) return 0;
    if (!detail_.isNull()) {
        QImage part = detail_;
        if (apply_palette(part, palette_type_) == 0) detail_paletted_ = std::move(part);
    }
    if (image_.isNull()) return 0;
    QImage copy = image_;
    const int code = apply_palette(copy, palette_type_);
    if (code == 0) paletted_ = std::move(copy);
    return code;
}

void PictureControl::predecode(const QString& path, QSize decode_hint) {
    early_.reset();
    if (!path.isEmpty()) early_ = picture_job::start(path, decode_hint);
}

bool PictureControl::await(picture_job& job, unsigned load) {
    if (!abandoned_) return job.wait(-1);
    QPointer<PictureControl> self(this);
    for (;;) {
        // Every yield may end the show, start another load or delete the control.
        if (abandoned_()) return false;
        if (job.wait(20)) return true;
        QCoreApplication::processEvents();
        if (!self || load != loads_) return false;
    }
}

int PictureControl::set_file_name(const QString& path, QSize decode_hint) {
    // An early decode serves only the next file name, and only when it is this one.
    std::shared_ptr<picture_job> job = std::move(early_);
    early_.reset();
    // A load still waiting further down the stack is given up: its decode
    // must not hold the decoding process this one needs.
    if (const auto earlier = awaited_.lock()) earlier->stop();
    const unsigned load = ++loads_;
    file_name_ = path;
    image_ = paletted_ = QImage();
    natural_size_ = QSize();
    drop_detail();
    shown_dirty_ = true;
    load_result_ = 0;
    if (!path.isEmpty()) {
        QPointer<PictureControl> self(this);
        if (job && (job->path() != path || job->fit_box() != decode_hint)) job.reset();
        decoded_picture d;
        for (bool early = bool(job);; early = false) {
            if (!job) job = picture_job::start(path, decode_hint);
            awaited_ = job;
            if (!await(*job, load)) {
                if (!self) return load_abandoned;
                if (load != loads_) return load_result_;   // a later load took the control
                file_name_.clear();
                load_result_ = load_abandoned;
                face_changed();
                return load_result_;
            }
            d = job->take();
            // A failed early decode is tried again (the file may have come
            // since), but not one that ran out of time or memory: that
            // would only hold the show as long once more.
            const bool again = d.code < 0 && early && !job->over_limits();
            job.reset();
            if (!again) break;
        }
        load_result_ = d.code;
        if (d.code >= 0) {
            image_ = std::move(d.image);
            natural_size_ = d.natural_size;
            const int palette_code = repalette();
            if (palette_code < 0) {
                load_result_ = palette_code;
                image_ = QImage();
                natural_size_ = QSize();
            }
        }
    }
    face_changed();
    return load_result_;
}

void PictureControl::set_picture(const QImage& image) {
    ++loads_;   // a decode still awaited is not for this picture
    file_name_.clear();
    load_result_ = 0;
    drop_detail();
    image_ = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                     : image.convertToFormat(QImage::Format_RGB32);
    natural_size_ = image_.size();
    repalette();
    face_changed();
}

void PictureControl::set_draw_mode(int mode) {
    if (mode == draw_mode_) return;
    draw_mode_ = mode;
    face_changed();
}

int PictureControl::picture_width() const { return natural_size_.isValid() ? natural_size_.width() : 0; }
int PictureControl::picture_height() const { return natural_size_.isValid() ? natural_size_.height() : 0; }

void PictureControl::set_transparent(bool on, std::int32_t bgr_color) {
    if (on == transparent_on_ && bgr_color == transparent_color_) return;
    transparent_on_ = on;
    transparent_color_ = bgr_color;
    shown_dirty_ = true;
    face_changed();
}

void PictureControl::set_border(const control_border& b) {
    border_ = b;
    face_changed();
}

void PictureControl::set_palette(bool on, int type) {
    if (on == palette_on_ && type == palette_type_) return;
    palette_on_ = on;
    palette_type_ = type;
    repalette();   // a picture that cannot take the palette stays in true colour
    face_changed();
}

const QImage& PictureControl::shown_image() {
    if (!shown_dirty_) return shown_;
    shown_dirty_ = false;
    shown_ = with_looks(image_, paletted_);
    detail_shown_ = with_looks(detail_, detail_paletted_);
    return shown_;
}

QImage PictureControl::with_looks(const QImage& picture, const QImage& paletted) const {
    const QImage& base = paletted.isNull() ? picture : paletted;
    if (!transparent_on_ || base.isNull()) return base;
    // The key is matched on the picture's own colours, before any palette.
    const QRgb key = color_from_bgr(transparent_color_).rgb() & 0xFFFFFF;
    QImage keyed = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if ((s[x] & 0xFFFFFF) == key) d[x] = 0;
    }
    return keyed;
}

void PictureControl::drop_detail() {
    detail_ = detail_paletted_ = detail_shown_ = QImage();
    detail_rect_ = detail_asked_ = QRect();
    detail_refused_ = false;
}

QRect PictureControl::detail_wanted(const QRect& area) const {
    if (file_name_.isEmpty() || image_.isNull() || draw_mode_ == stretched || image_.size() == natural_size_ ||
        area.isEmpty() || natural_size_.isEmpty())
        return QRect();
    const QRect picture(QPoint(0, 0), natural_size_);
    // Small enough to keep whole: decoded whole, whatever part shows.
    if (std::int64_t(natural_size_.width()) * natural_size_.height() <= picture_decode_limits().max_kept_pixels)
        return picture;
    if (draw_mode_ != tiled) return area & picture;
    // Tiles start at the control's corner: the columns and rows of the
    // picture that the area crosses, all of them where it wraps round.
    const auto span = [](int from, int to, int size) {
        const int a = ((from % size) + size) % size, b = ((to % size) + size) % size;
        return to - from + 1 >= size || a > b ? std::pair(0, size - 1) : std::pair(a, b);
    };
    const auto [left, right] = span(area.left(), area.right(), natural_size_.width());
    const auto [top, bottom] = span(area.top(), area.bottom(), natural_size_.height());
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

bool PictureControl::detail_missing(const QRect& want) const {
    return !want.isEmpty() && !detail_refused_ && !detail_rect_.contains(want) && !detail_asked_.contains(want);
}

void PictureControl::fetch_detail() {
    fetch_queued_ = false;
    const QRect want = detail_wanted(face_rect());
    if (fetching_ || !detail_missing(want)) return;
    // Asked once per load: a decode that fails or is given up is not
    // started again for the same part.
    detail_asked_ = want;
    fetching_ = true;
    const unsigned load = loads_;
    QPointer<PictureControl> self(this);
    const std::shared_ptr<picture_job> job = picture_job::start(file_name_, QSize(), want);
    awaited_ = job;
    const bool done = await(*job, load);
    if (!self) return;
    fetching_ = false;
    if (!done || load != loads_) return;
    decoded_picture d = job->take();
    if (d.code < 0 || d.image.isNull() || d.natural_size != natural_size_) {
        // Out of time or memory for one part, it would be for the next.
        detail_refused_ = job->over_limits();
        return;
    }
    if (want == QRect(QPoint(0, 0), natural_size_)) {
        image_ = std::move(d.image);
    } else {
        detail_ = std::move(d.image);
        detail_rect_ = want;
    }
    repalette();
    face_changed();
}

void PictureControl::setVisible(bool visible) {
    // A control whose loads serve events while they wait decodes what it
    // shows at its own size before the reveal; the others when first drawn.
    if (visible && abandoned_) fetch_detail();
    EffectControl::setVisible(visible);
}

void PictureControl::draw_part(QPainter& p, const QRect& part, QPoint origin, const QImage& held) {
    if (part.isEmpty()) return;
    const QRect source = part.translated(-origin);   // in the picture's own pixels
    const auto scaled = [](const QRect& r, QSize from, QSize to) {
        const double sx = double(to.width()) / from.width(), sy = double(to.height()) / from.height();
        return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
    };
    if (!detail_shown_.isNull() && detail_rect_.contains(source)) {
        p.drawImage(QRectF(part), detail_shown_,
                    scaled(source.translated(-detail_rect_.topLeft()), detail_rect_.size(), detail_shown_.size()));
    } else {
        p.drawImage(QRectF(part), held, scaled(source, natural_size_, held.size()));
    }
}

QImage PictureControl::render_face() { return render_face_area(QRect(QPoint(0, 0), size().expandedTo(QSize(1, 1)))); }

QImage PictureControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    QImage face(area.size(), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    if (image_.isNull()) return face;
    // Shown at its own size after all while held reduced: the part that
    // shows is decoded at full size once this drawing is done (not inside
    // it: the wait serves events). Until then the reduced copy stands in.
    if (!fetch_queued_ && detail_missing(detail_wanted(area))) {
        fetch_queued_ = true;
        QTimer::singleShot(0, this, &PictureControl::fetch_detail);
    }
    const QImage& img = shown_image();
    QPainter p(&face);
    p.translate(-area.topLeft());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect whole(QPoint(0, 0), size().expandedTo(QSize(1, 1)));
    const int bw = border_.total_width();
    if (draw_mode_ == stretched) {
        const QRect inner = whole.adjusted(bw, bw, -bw, -bw);
        if (!inner.isEmpty()) p.drawImage(inner, img);
        paint_border(p, whole, border_);
    } else if (draw_mode_ == tiled) {
        const QSize n = natural_size_;
        const std::int64_t tiles = std::int64_t(area.width() / n.width() + 2) * (area.height() / n.height() + 2);
        if (img.size() == n || tiles > 1024) {
            // Held whole, or tiles so small that one scaled tile costs less
            // than drawing each.
            p.fillRect(whole, QBrush(img.size() == n ? img : img.scaled(n, Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation)));
        } else {
            // Held reduced: each tile the area meets, from the pixels held
            // for its part. Never the whole picture enlarged.
            const auto below = [](int v, int size) { return (v >= 0 ? v / size : -((-v + size - 1) / size)) * size; };
            for (int y = below(area.top(), n.height()); y <= area.bottom(); y += n.height())
                for (int x = below(area.left(), n.width()); x <= area.right(); x += n.width())
                    draw_part(p, QRect(QPoint(x, y), n) & area, QPoint(x, y), img);
        }
        paint_border(p, whole, border_);
    } else {
        const QRect r(QPoint(0, 0), natural_size_);
        draw_part(p, r & area, QPoint(0, 0), img);
        paint_border(p, r, border_);
    }
    return face;
}

}  // namespace lv
