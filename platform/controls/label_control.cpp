// The label control: a caption with font, relief and plain or gradient text,
// a full-window gradient background, and the three looks of a text button.
#include "platform/controls/label_control.h"

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

// Fills img, the part at offset of a gradient spread over a control of size
// whole.
void paint_gradient(QImage& img, QPoint offset, QSize whole, QColor colour, int style, int steps) {
    const int w = whole.width(), h = whole.height();
    const double sx = w > 1 ? 1.0 / (w - 1) : 0, sy = h > 1 ? 1.0 / (h - 1) : 0;
    const int r = colour.red(), g = colour.green(), b = colour.blue();
    for (int iy = 0; iy < img.height(); ++iy) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(iy));
        const int y = iy + offset.y();
        for (int ix = 0; ix < img.width(); ++ix) {
            const int x = ix + offset.x();
            double t = std::clamp(gradient_position(style, x * sx, y * sy), 0.0, 1.0);
            if (steps > 1) t = std::min(std::floor(t * steps), double(steps - 1)) / (steps - 1);
            const double k = 1 - t;
            row[ix] = qRgb(int(r * k + 0.5), int(g * k + 0.5), int(b * k + 0.5));
        }
    }
}

// A line up to this long is measured and drawn whole, exactly as the font
// shapes it; a longer one in pieces of piece_length to twice as many
// characters, cut after a blank where there is one, each shaped on its own
// and placed after the advances of the pieces before it.
constexpr qsizetype whole_line_limit = 256;
constexpr qsizetype piece_length = 64;

}  // namespace

LabelControl::LabelControl(QWidget* parent) : EffectControl(parent) { resize_to_caption(); }

const LabelControl::caption_layout& LabelControl::layout() const {
    if (layout_.valid && layout_.caption == caption_ && layout_.font == font_) return layout_;
    caption_layout lay;
    lay.valid = true;
    lay.caption = caption_;
    lay.font = font_;
    const QFontMetrics fm(font_);
    const QFontMetricsF fmf(font_);
    int w = 0;
    const QStringList lines = caption_lines(caption_);
    lay.lines.reserve(std::size_t(lines.size()));
    for (const QString& text : lines) {
        caption_line line;
        line.text = text;
        if (text.size() <= whole_line_limit) {
            line.pieces.push_back({0, int(text.size()), 0});
            line.width = std::max(fm.horizontalAdvance(text), text.isEmpty() ? 0 : fm.boundingRect(text).right() + 1);
        } else {
            qreal x = 0;
            qsizetype start = 0;
            for (qsizetype i = 0; i < text.size();) {
                const bool blank = text[i] == QLatin1Char(' ');
                // A surrogate pair is never cut.
                i += (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
                const qsizetype n = i - start;
                if ((n >= piece_length && blank) || n >= 2 * piece_length || i == text.size()) {
                    line.pieces.push_back({int(start), int(n), x});
                    x += fmf.horizontalAdvance(text.mid(start, n));
                    start = i;
                }
            }
            // Room for the last glyph's overhang, as a whole line would have.
            const caption_piece& last = line.pieces.back();
            line.width = std::ceil(std::max(x, last.x + fm.boundingRect(text.mid(last.start, last.length)).right() + 1));
        }
        w = std::max(w, int(std::min<qreal>(line.width, QWIDGETSIZE_MAX)));
        lay.lines.push_back(std::move(line));
    }
    const qint64 h = fm.height() + qint64(lines.size() - 1) * fm.lineSpacing();
    lay.text_size = QSize(w, int(std::min<qint64>(h, QWIDGETSIZE_MAX)));
    layout_ = std::move(lay);
    return layout_;
}

QSize LabelControl::caption_size() const {
    const QSize text = layout().text_size;
    const QMargins m = relief_margins(relief_, shadow_);
    return QSize(std::max(1, text.width() + m.left() + m.right()), std::max(1, text.height() + m.top() + m.bottom()));
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

QImage LabelControl::render_face() { return render_face_area(QRect(QPoint(0, 0), size().expandedTo(QSize(1, 1)))); }

QImage LabelControl::render_face_area(const QRect& area) {
    if (area.isEmpty()) return QImage();
    QImage face(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (bg_gradient_) {
        paint_gradient(face, area.topLeft(), size().expandedTo(QSize(1, 1)), color_from_bgr(bg_color_),
                       std::clamp(bg_style_, 0, 19), std::clamp(bg_setting_, 0, 256));
    } else {
        face.fill(transparent_background_ ? QColor(Qt::transparent) : color_from_bgr(back_color_));
    }
    if (caption_.isEmpty()) return face;

    QPainter p(&face);
    p.translate(-area.topLeft());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFontMetrics fm(font_);
    const QMargins m = relief_margins(relief_, shadow_);
    const QPointF origin(m.left(), m.top());
    // Only the glyphs that can reach the area go into the outline, with room
    // for the relief, the outline stroke and italic overhang.
    const qreal slack = fm.height() + 16;
    const QRectF reach = QRectF(area).adjusted(-slack, -slack, slack, slack);
    const caption_layout& lay = layout();
    QPainterPath text;
    bool whole = true;
    for (std::size_t i = 0; i < lay.lines.size(); ++i) {
        const caption_line& line = lay.lines[i];
        const qreal baseline = origin.y() + fm.ascent() + qreal(i) * fm.lineSpacing();
        if (baseline + fm.descent() < reach.top() || baseline - fm.ascent() > reach.bottom()) {
            whole = false;
            continue;
        }
        for (std::size_t k = 0; k < line.pieces.size(); ++k) {
            const caption_piece& piece = line.pieces[k];
            const qreal left = origin.x() + piece.x;
            const qreal right = origin.x() + (k + 1 < line.pieces.size() ? line.pieces[k + 1].x : line.width);
            if (right < reach.left() || left > reach.right()) {
                whole = false;
                continue;
            }
            text.addText(QPointF(left, baseline), font_,
                         piece.start == 0 && piece.length == line.text.size() ? line.text
                                                                                : line.text.mid(piece.start, piece.length));
        }
    }
    if (text.isEmpty()) return face;

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
        // The gradient spans the whole caption, also where only a part of it is drawn.
        const QRectF box = whole ? text.boundingRect() : QRectF(origin, QSizeF(lay.text_size));
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
