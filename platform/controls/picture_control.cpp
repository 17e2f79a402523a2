#include "platform/controls/picture_control.h"

#include "platform/picture/picture_decode.h"
#include "platform/picture/picture_job.h"

#include <QCoreApplication>
#include <QPainter>

namespace lv {

PictureControl::PictureControl(QWidget* parent) : EffectControl(parent) {}

int PictureControl::repalette() {
    paletted_ = QImage();
    shown_dirty_ = true;
    if (!palette_on_ || image_.isNull() || (palette_type_ != 1 && palette_type_ != 5)) return 0;
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
    reduced_ = false;
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
            job.reset();
            if (d.code >= 0 || !early) break;   // a failed early decode is tried again
        }
        load_result_ = d.code;
        if (d.code >= 0) {
            image_ = std::move(d.image);
            natural_size_ = d.natural_size;
            // Reduced for the box it is shown in; without a box it came as
            // large as it is ever kept, and decoding it again gives no more.
            reduced_ = decode_hint.isValid() && !decode_hint.isEmpty() && image_.size() != natural_size_;
            const int palette_code = repalette();
            if (palette_code < 0) {
                load_result_ = palette_code;
                image_ = QImage();
                natural_size_ = QSize();
                reduced_ = false;
            }
        }
    }
    face_changed();
    return load_result_;
}

void PictureControl::set_picture(const QImage& image) {
    file_name_.clear();
    load_result_ = 0;
    reduced_ = false;
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
    const QImage& base = paletted_.isNull() ? image_ : paletted_;
    if (!transparent_on_ || base.isNull()) {
        shown_ = base;
        return shown_;
    }
    // The key is matched on the picture's own colours, before any palette.
    const QRgb key = color_from_bgr(transparent_color_).rgb() & 0xFFFFFF;
    QImage keyed = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage source = image_.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if ((s[x] & 0xFFFFFF) == key) d[x] = 0;
    }
    shown_ = std::move(keyed);
    return shown_;
}

QImage PictureControl::render_face() { return render_face_area(QRect(QPoint(0, 0), size().expandedTo(QSize(1, 1)))); }

QImage PictureControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    QImage face(area.size(), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    if (image_.isNull()) return face;
    if (reduced_ && draw_mode_ != stretched && !file_name_.isEmpty()) {
        // Shown at its own size after all: decode it whole, within the same bounds.
        const std::shared_ptr<picture_job> whole = picture_job::start(file_name_);
        whole->wait(-1);
        decoded_picture d = whole->take();
        if (d.code >= 0) {
            image_ = std::move(d.image);
            natural_size_ = d.natural_size;
            reduced_ = false;
            repalette();
        }
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
        const QImage tile = img.size() == natural_size_ ? img : img.scaled(natural_size_, Qt::IgnoreAspectRatio,
                                                                           Qt::SmoothTransformation);
        p.fillRect(whole, QBrush(tile));
        paint_border(p, whole, border_);
    } else {
        const QRect r(QPoint(0, 0), natural_size_);
        p.drawImage(r, img);
        paint_border(p, r, border_);
    }
    return face;
}

}  // namespace lv
