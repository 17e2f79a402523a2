// The label control: a caption with font, relief and plain or gradient text,
// a full-window gradient background, and the three looks of a text button.
#include "platform/display_controls.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace lv {

namespace {

QStringList caption_lines(const QString& caption) {
    QString text = caption;
    text.remove(QLatin1Char('\r'));
    return text.split(QLatin1Char('\n'));
}

// Room the relief needs around the text: left, top, right, bottom.
QMargins relief_margins(int relief, int shadow) {
    const int s = std::clamp(shadow, 1, 10);
    switch (relief) {
        case 1: case 3: return {1, 1, 1, 1};
        case 2: case 4: return {2, 2, 2, 2};
        case 6: return {0, 0, s, s};
        case 7: return {1, 1, 1 + s, 1 + s};
        default: return {0, 0, 0, 0};
    }
}

// Position of a pixel in the gradient, 0 (the colour) to 1 (black), for the
// twenty background styles; x and y run from 0 to 1 over the window.
double gradient_position(int style, double x, double y) {
    const double cx = x - 0.5, cy = y - 0.5;
    switch (style) {
        case 0: return y;                                      // top down
        case 1: return 1 - y;                                  // bottom up
        case 2: return x;                                      // left to right
        case 3: return 1 - x;                                  // right to left
        case 4: return (x + y) / 2;                            // diagonals, from each corner
        case 5: return (1 - x + y) / 2;
        case 6: return (x + 1 - y) / 2;
        case 7: return (2 - x - y) / 2;
        case 8: return std::abs(cy) * 2;                       // horizontal band, lit middle
        case 9: return 1 - std::abs(cy) * 2;                   // dark middle band
        case 10: return std::abs(cx) * 2;                      // vertical band, lit middle
        case 11: return 1 - std::abs(cx) * 2;
        case 12: return std::min(1.0, std::hypot(cx, cy) / std::numbers::sqrt2 * 2);   // circle
        case 13: return 1 - std::min(1.0, std::hypot(cx, cy) / std::numbers::sqrt2 * 2);
        case 14: return std::max(std::abs(cx), std::abs(cy)) * 2;                      // rectangle
        case 15: return 1 - std::max(std::abs(cx), std::abs(cy)) * 2;
        case 16: return std::abs(cx) + std::abs(cy);                                   // diamond
        case 17: return 1 - (std::abs(cx) + std::abs(cy));
        case 18: return (std::atan2(cy, cx) + std::numbers::pi) / (2 * std::numbers::pi);   // sweep
        default: return std::min(1.0, std::hypot(x, y) / std::numbers::sqrt2);              // from a corner
    }
}

void paint_gradient(QImage& img, QColor colour, int style, int steps) {
    const int w = img.width(), h = img.height();
    const double sx = w > 1 ? 1.0 / (w - 1) : 0, sy = h > 1 ? 1.0 / (h - 1) : 0;
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            double t = std::clamp(gradient_position(style, x * sx, y * sy), 0.0, 1.0);
            if (steps > 1) t = std::min(std::floor(t * steps), double(steps - 1)) / (steps - 1);
            const double k = 1 - t;
            row[x] = qRgb(int(r * k + 0.5), int(g * k + 0.5), int(b * k + 0.5));
        }
    }
}

}  // namespace

LabelControl::LabelControl(QWidget* parent) : EffectControl(parent) { resize_to_caption(); }

QSize LabelControl::caption_size() const {
    const QFontMetrics fm(font_);
    int w = 0;
    const QStringList lines = caption_lines(caption_);
    for (const QString& line : lines)
        w = std::max({w, fm.horizontalAdvance(line), line.isEmpty() ? 0 : fm.boundingRect(line).right() + 1});
    const QMargins m = relief_margins(relief_, shadow_);
    const int h = fm.height() + (int(lines.size()) - 1) * fm.lineSpacing();
    return QSize(std::max(1, w + m.left() + m.right()), std::max(1, h + m.top() + m.bottom()));
}

void LabelControl::resize_to_caption() {
    if (auto_size_) resize(caption_size());
}

void LabelControl::looks_changed() {
    resize_to_caption();
    face_changed();
}

void LabelControl::set_caption(const QString& text) {
    caption_ = text;
    looks_changed();
}

void LabelControl::set_font(const QString& name, int point_size, bool bold, bool italic) {
    font_ = QFont(name);
    font_.setPointSize(std::max(1, point_size));
    font_.setBold(bold);
    font_.setItalic(italic);
    looks_changed();
}

void LabelControl::set_text_color(std::int32_t bgr) {
    text_color_ = bgr;
    face_changed();
}

void LabelControl::set_relief(int style, int shadow_size) {
    relief_ = style;
    shadow_ = std::clamp(shadow_size, 1, 10);
    looks_changed();
}

void LabelControl::set_fill_mode(int mode) {
    fill_mode_ = mode;
    face_changed();
}

void LabelControl::set_gradient_kind(int kind) {
    gradient_kind_ = kind;
    face_changed();
}

void LabelControl::set_gradient_colors(std::int32_t c1, std::int32_t c2) {
    grad1_ = c1;
    grad2_ = c2;
    face_changed();
}

void LabelControl::set_layout_value(int v) { layout_value_ = v; }

void LabelControl::set_auto_size(bool on) {
    auto_size_ = on;
    resize_to_caption();
}

void LabelControl::set_background_gradient(std::int32_t bgr, int style, int setting) {
    bg_gradient_ = true;
    bg_color_ = bgr;
    bg_style_ = style;
    bg_setting_ = setting;
    face_changed();
}

void LabelControl::clear_background_gradient() {
    if (!bg_gradient_) return;
    bg_gradient_ = false;
    face_changed();
}

void LabelControl::set_button_look(int look) {
    if (look == button_look_) return;
    button_look_ = look;
    face_changed();
}

void LabelControl::set_transparent_background(bool on) {
    transparent_background_ = on;
    face_changed();
}

void LabelControl::set_back_color(std::int32_t bgr) {
    back_color_ = bgr;
    face_changed();
}

QImage LabelControl::render_face() {
    QImage face(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (bg_gradient_) {
        paint_gradient(face, color_from_bgr(bg_color_), std::clamp(bg_style_, 0, 19), std::clamp(bg_setting_, 0, 256));
    } else {
        face.fill(transparent_background_ ? QColor(Qt::transparent) : color_from_bgr(back_color_));
    }
    if (caption_.isEmpty()) return face;

    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics fm(font_);
    const QMargins m = relief_margins(relief_, shadow_);
    const QPointF origin(m.left(), m.top());
    QPainterPath text;
    const QStringList lines = caption_lines(caption_);
    for (int i = 0; i < lines.size(); ++i)
        text.addText(origin + QPointF(0, fm.ascent() + i * fm.lineSpacing()), font_, lines[i]);

    const QColor light(255, 255, 255), dark(0, 0, 0);
    auto fill_at = [&](QPointF offset, const QColor& c) { p.fillPath(text.translated(offset), c); };
    switch (relief_) {
        case 1: fill_at({-1, -1}, light); fill_at({1, 1}, dark); break;
        case 2: for (int i = 2; i >= 1; --i) { fill_at({-double(i), -double(i)}, light); fill_at({double(i), double(i)}, dark); } break;
        case 3: fill_at({-1, -1}, dark); fill_at({1, 1}, light); break;
        case 4: for (int i = 2; i >= 1; --i) { fill_at({-double(i), -double(i)}, dark); fill_at({double(i), double(i)}, light); } break;
        case 6: fill_at({double(shadow_), double(shadow_)}, dark); break;
        case 7: {
            fill_at({double(shadow_), double(shadow_)}, dark);
            QPainterPathStroker stroker;
            stroker.setWidth(2);
            stroker.setJoinStyle(Qt::RoundJoin);
            p.fillPath(stroker.createStroke(text), dark);
            break;
        }
        default: break;
    }

    QColor colour = color_from_bgr(text_color_);
    if (button_look_ == 2) {
        // Highlighted: a soft glow behind the caption.
        QPainterPathStroker glow;
        glow.setWidth(4);
        glow.setJoinStyle(Qt::RoundJoin);
        p.fillPath(glow.createStroke(text), QColor(255, 255, 128, 170));
    } else if (button_look_ == 1) {
        colour = colour.darker(150);
    }
    if (fill_mode_ == 2) {
        const QRectF box = text.boundingRect();
        QLinearGradient g = gradient_kind_ == 1 ? QLinearGradient(box.topLeft(), box.topRight())
                                                : QLinearGradient(box.topLeft(), box.bottomLeft());
        QColor c1 = color_from_bgr(grad1_), c2 = color_from_bgr(grad2_);
        if (button_look_ == 1) c1 = c1.darker(150), c2 = c2.darker(150);
        g.setColorAt(0, c1);
        g.setColorAt(1, c2);
        p.fillPath(text, g);
    } else {
        p.fillPath(text, colour);
    }
    return face;
}

}  // namespace lv
