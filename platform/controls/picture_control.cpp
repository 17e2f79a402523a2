#include "platform/controls/picture_control.h"

#include "platform/picture/picture_decode.h"
#include "platform/picture/picture_job.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace lv {

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

void PictureControl::predecode(const QString& path, QSize decode_hint, const own_size_place& own_size) {
    early_.reset();
    if (!path.isEmpty()) early_ = picture_job::start(path, decode_hint, QRect(), own_size);
}

bool PictureControl::await(picture_job& job, unsigned load) {
    if (!abandoned_) return job.wait(-1);
    if (abandoned_()) return false;
    if (job.wait(0)) return true;
    // The event loop runs on and brings the decoder's result; any event may
    // end the show, start another load or delete the control.
    QPointer<PictureControl> self(this);
    QEventLoop loop;
    bool done = false;
    const auto check = [&] {
        if (!self || load != loads_ || abandoned_()) {
            loop.quit();
        } else if (job.wait(0)) {
            done = true;
            loop.quit();
        }
    };
    job.on_finished(check);
    // What ends the wait without an event of its own: a key that ends the
    // show, or a decode on a worker thread.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, check);
    watch.start(20);
    loop.exec();
    job.on_finished(nullptr);
    return done && self && load == loads_;
}

int PictureControl::set_file_name(const QString& path, QSize decode_hint, const own_size_place& own_size) {
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
    own_ratio_ = 0;
    drop_detail();
    shown_dirty_ = true;
    load_result_ = 0;
    if (!path.isEmpty()) {
        QPointer<PictureControl> self(this);
        if (job && (job->path() != path || job->fit_box() != decode_hint || !(job->place() == own_size))) job.reset();
        decoded_picture d;
        for (bool early = bool(job);; early = false) {
            if (!job) job = picture_job::start(path, decode_hint, QRect(), own_size);
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
            if (!d.detail.isNull()) {
                detail_ = std::move(d.detail);
                detail_rect_ = d.detail_rect;
            }
            const int palette_code = repalette();
            if (palette_code < 0) {
                load_result_ = palette_code;
                image_ = QImage();
                natural_size_ = QSize();
                drop_detail();
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
    own_ratio_ = image.isNull() ? 1 : image.devicePixelRatio();
    image_.setDevicePixelRatio(1);
    natural_size_ = image_.size();
    repalette();
    face_changed();
}

void PictureControl::set_draw_mode(int mode) {
    if (mode == draw_mode_) return;
    draw_mode_ = mode;
    face_changed();
}

double PictureControl::picture_ratio() const { return own_ratio_ > 0 ? own_ratio_ : devicePixelRatioF(); }

namespace {
// A length of the picture's pixels in whole units of the window, enough to
// hold them all.
int in_units(int pixels, double ratio) {
    return pixels <= 0 ? 0 : std::max(1, int(std::ceil(pixels / ratio - 1e-6)));
}
}  // namespace

int PictureControl::picture_width() const {
    return natural_size_.isValid() ? in_units(natural_size_.width(), picture_ratio()) : 0;
}
int PictureControl::picture_height() const {
    return natural_size_.isValid() ? in_units(natural_size_.height(), picture_ratio()) : 0;
}

QSize PictureControl::placed_size() const {
    if (own_ratio_ <= 0) return natural_size_;
    const double k = devicePixelRatioF() / own_ratio_;
    return QSize(std::max(1, int(std::lround(natural_size_.width() * k))),
                 std::max(1, int(std::lround(natural_size_.height() * k))));
}

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

QRect PictureControl::detail_wanted(const QRect& part) const {
    // The picture lies in the screen's pixels, one of them to each of its own.
    const QRect area = device_rect(part);
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
    if (visible && abandoned_) {
        QPointer<PictureControl> self(this);
        fetch_detail();
        // Gone or given up meanwhile: no half-decoded picture comes up, the
        // screen stays as it was.
        if (!self || abandoned_()) return;
    }
    EffectControl::setVisible(visible);
}

void PictureControl::draw_part(QPainter& p, const QRect& part, const QRect& placed, const QImage& held) {
    if (part.isEmpty()) return;
    const auto scaled = [](const QRectF& r, QSize from, QSize to) {
        const double sx = double(to.width()) / from.width(), sy = double(to.height()) / from.height();
        return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
    };
    // In the picture's own pixels (whole ones for a picture from a file).
    const QRectF source = scaled(QRectF(part.translated(-placed.topLeft())), placed.size(), natural_size_);
    if (!detail_shown_.isNull() && detail_rect_.contains(source.toAlignedRect())) {
        p.drawImage(QRectF(part), detail_shown_,
                    scaled(source.translated(-detail_rect_.topLeft()), detail_rect_.size(), detail_shown_.size()));
    } else {
        p.drawImage(QRectF(part), held, scaled(source, natural_size_, held.size()));
    }
}

QImage PictureControl::render_face() { return render_face_area(QRect(QPoint(0, 0), size().expandedTo(QSize(1, 1)))); }

QImage PictureControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    // Drawn in the screen's pixels, so that a picture at its own size or
    // tiled shows each of its pixels on one of the screen's at any scale.
    const double ratio = devicePixelRatioF();
    const QRect pixels = device_rect(area);
    QImage face(pixels.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    face.setDevicePixelRatio(ratio);
    if (image_.isNull()) return face;
    // Shown at its own size after all while held reduced: the part that
    // shows is decoded at full size once this drawing is done (not inside
    // it: the wait serves events). Until then the reduced copy stands in.
    if (!fetch_queued_ && detail_missing(detail_wanted(area))) {
        fetch_queued_ = true;
        QTimer::singleShot(0, this, &PictureControl::fetch_detail);
    }
    const QImage& img = shown_image();
    face.setDevicePixelRatio(1);   // painted in pixels
    QPainter p(&face);
    p.translate(-pixels.topLeft());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect whole = device_rect(QRect(QPoint(0, 0), size().expandedTo(QSize(1, 1))));
    const int bw = border_.total_width(ratio);
    const QSize n = placed_size();
    if (draw_mode_ == stretched) {
        const QRect inner = whole.adjusted(bw, bw, -bw, -bw);
        if (!inner.isEmpty()) p.drawImage(inner, img);
        paint_border(p, whole, border_, ratio);
    } else if (draw_mode_ == tiled) {
        const std::int64_t tiles = std::int64_t(pixels.width() / n.width() + 2) * (pixels.height() / n.height() + 2);
        if (img.size() == n || tiles > 1024) {
            // Held whole, or tiles so small that one scaled tile costs less
            // than drawing each.
            p.fillRect(whole, QBrush(img.size() == n ? img : img.scaled(n, Qt::IgnoreAspectRatio,
                                                                          Qt::SmoothTransformation)));
        } else {
            // Held reduced: each tile the area meets, from the pixels held
            // for its part. Never the whole picture enlarged.
            const auto below = [](int v, int size) { return (v >= 0 ? v / size : -((-v + size - 1) / size)) * size; };
            for (int y = below(pixels.top(), n.height()); y <= pixels.bottom(); y += n.height())
                for (int x = below(pixels.left(), n.width()); x <= pixels.right(); x += n.width())
                    draw_part(p, QRect(QPoint(x, y), n) & pixels, QRect(QPoint(x, y), n), img);
        }
        paint_border(p, whole, border_, ratio);
    } else {
        const QRect r(QPoint(0, 0), n);
        draw_part(p, r & pixels, r, img);
        paint_border(p, r, border_, ratio);
    }
    p.end();
    face.setDevicePixelRatio(ratio);
    return face;
}

}  // namespace lv
