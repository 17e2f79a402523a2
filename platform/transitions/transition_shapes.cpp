// Transitions where the new face appears in place inside a growing shape:
// edge and box wipes, diagonals, circles and semicircles, clock sweeps,
// chevrons, interlaces, double passes, blinds and the checkerboard. Each row
// of a frame is described by the runs that show the new face.
#include "platform/transitions/transition_kit.h"

#include <QPointF>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace lv::tx {
namespace {

constexpr double pi = std::numbers::pi;

// A filled polygon whose runs are clipped to a rectangle.
struct Polygon {
    std::vector<QPointF> pts;
    QRectF clip;
};

// The complement of normalized runs within [0, w).
void invert(Spans& spans, int w, Spans& tmp) {
    tmp.clear();
    int x = 0;
    for (const Span& s : spans) {
        if (s.x0 > x) tmp.push_back({x, s.x0});
        x = std::max(x, s.x1);
    }
    if (x < w) tmp.push_back({x, w});
    spans.swap(tmp);
}

// The rows of one frame of a shape transition.
class ShapeRows {
public:
    void setup(int effect, int grain, QSize size);
    void begin(double p);
    // Runs of the new face on row y: sp filled in, or a set shared by many rows.
    const Spans& row_spans(int y, Spans& sp);

private:
    // Helpers on the current frame.
    double band(int y) const;     // centre of the row band holding y (stepped edges)
    double qx(double x) const { return std::round(x / sx_) * sx_; }
    void circle(double cx, double cy, double r, double yc, Spans& sp) const;
    void sector(double cx, double cy, double radius, double a0, double a1, QRectF clip);
    void polygon_spans(const Polygon& poly, double yc, Spans& sp);
    bool line_odd(int y) const { return (y / line_) & 1; }
    bool vertical_line_cond(double yc, double t) const;   // double pass TB/BT/vertical wipes

    int effect_ = 0, grain_ = 1;
    int W_ = 1, H_ = 1;
    double cx_ = 0, cy_ = 0;
    int sx_ = 1, sy_ = 1;   // step of edges and bands
    int line_ = 1;          // thickness of interlace and double-pass lines
    double angle_step_ = 1;

    // Per frame.
    double p_ = 0;
    int X_ = 0, Y_ = 0;
    double t1_ = 0, t2_ = 0, r_ = 0;
    std::vector<Polygon> polys_;
    std::vector<double> xs_;
    Spans even_cols_, odd_cols_, frame_spans_, tmp_;
    Spans checker_[2];   // the runs of even and odd rows of cells
    int checker_cell_ = 1;
};

// A frame changes the rows where the runs differ from the frame shown, and
// there only the pieces that differ, when the output still holds it: a
// growing shape's edge moves only a little from tick to tick.
class ShapeTransition final : public TransitionImpl {
public:
    using TransitionImpl::TransitionImpl;

protected:
    void setup() override;
    void frame(const Surface& s, double p) override;

private:
    // Adds the pieces of a row where was and now differ; false (nothing
    // added) when they reach into more than most_lines lines of 16 pixels,
    // or, when more than most_pieces of them lie apart (a line or more
    // between each and the one before), into more than most_lines_apart.
    bool add_changes(const Spans& was, const Spans& now, int most_lines, int most_lines_apart);
    // Beyond this many pieces in a row (every other column changing at
    // once), a copy each costs more than one pass over the row.
    static constexpr std::uint32_t most_pieces = 20;
    void paint_changes(const Surface& s);
    void paint_many(const Surface& s, int y, std::uint32_t from, std::uint32_t to);

    ShapeRows now_, shown_rows_;   // this frame's rows, and the last frame's
    double rows_p_ = -1;          // the progress of shown_rows_
    Spans sp_, was_sp_;
    struct Piece {
        int x0, x1;
        bool use_new;
    };
    // The pieces of each row: row y's are pieces_[rows_[y].first,
    // rows_[y].second), shared by rows with the same runs; whole_: rows
    // written whole instead.
    std::vector<Piece> pieces_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> rows_;
    std::vector<int> whole_;
    // Masks of the pieces masked_ names (of a row with many), for one pass
    // over the row: all ones where a piece changes, and where it shows the
    // new face.
    std::vector<px> changed_mask_, now_mask_;
    std::pair<std::uint32_t, std::uint32_t> masked_;
};

void ShapeRows::setup(int effect, int grain, QSize size) {
    effect_ = effect;
    grain_ = grain;
    W_ = size.width();
    H_ = size.height();
    cx_ = W_ / 2.0;
    cy_ = H_ / 2.0;
    // The grain is the size of a step; it never grows so large that a
    // picture would jump from old to new in one step.
    sx_ = std::clamp(grain_, 1, std::max(1, W_ / 8));
    sy_ = std::clamp(grain_, 1, std::max(1, H_ / 8));
    line_ = std::clamp(grain_, 1, std::max(1, std::min(W_, H_) / 4));
    angle_step_ = std::clamp(grain_, 1, 15) * pi / 180.0;
    even_cols_.clear();
    odd_cols_.clear();
    for (int x = 0, k = 0; x < W_; x += line_, ++k) ((k & 1) ? odd_cols_ : even_cols_).push_back({x, std::min(W_, x + line_)});
}

double ShapeRows::band(int y) const {
    return std::min((std::floor(double(y) / sy_) + 0.5) * sy_, double(H_));
}

void ShapeRows::circle(double cx, double cy, double r, double yc, Spans& sp) const {
    const double dy = yc - cy;
    if (r <= 0 || std::abs(dy) >= r) return;
    const double dx = std::sqrt(r * r - dy * dy);
    add_span(sp, qx(cx - dx), qx(cx + dx), W_);
}

// A pie slice from clock angle a0 to a1 (0 = twelve o'clock, growing
// clockwise on screen), as a polygon reaching past the picture's corners.
void ShapeRows::sector(double cx, double cy, double radius, double a0, double a1, QRectF clip) {
    if (a1 <= a0) return;
    Polygon poly;
    poly.clip = clip;
    poly.pts.emplace_back(cx, cy);
    // The rim lies twice the picture's half diagonal away, so even chords
    // of 45 degrees stay clear of the picture: few edges to cross per row.
    const int n = std::max(1, int(std::ceil((a1 - a0) / (pi / 4))));
    for (int i = 0; i <= n; ++i) {
        const double a = a0 + (a1 - a0) * i / n;
        poly.pts.emplace_back(cx + radius * std::sin(a), cy - radius * std::cos(a));
    }
    polys_.push_back(std::move(poly));
}

void ShapeRows::polygon_spans(const Polygon& poly, double yc, Spans& sp) {
    if (yc < poly.clip.top() || yc >= poly.clip.bottom()) return;
    xs_.clear();
    const std::size_t n = poly.pts.size();
    for (std::size_t i = 0; i < n; ++i) {
        const QPointF& a = poly.pts[i];
        const QPointF& b = poly.pts[(i + 1) % n];
        if ((a.y() <= yc && b.y() > yc) || (b.y() <= yc && a.y() > yc))
            xs_.push_back(a.x() + (yc - a.y()) * (b.x() - a.x()) / (b.y() - a.y()));
    }
    std::sort(xs_.begin(), xs_.end());
    for (std::size_t i = 0; i + 1 < xs_.size(); i += 2)
        add_span(sp, std::max(xs_[i], poly.clip.left()), std::min(xs_[i + 1], poly.clip.right()), W_);
}

bool ShapeRows::vertical_line_cond(double yc, double t) const {
    switch (effect_) {
    case 104: return yc < t * H_;                                   // top to bottom
    case 105: return yc >= H_ - t * H_;                             // bottom to top
    case 108: return yc < t * H_ / 2 || yc >= H_ - t * H_ / 2;      // vertical wipe in
    default: return std::abs(yc - cy_) < t * H_ / 2;                // 109: vertical wipe out
    }
}

void ShapeRows::begin(double p) {
    p_ = p;
    polys_.clear();
    frame_spans_.clear();
    X_ = quantize(p * W_, sx_, W_);
    Y_ = quantize(p * H_, sy_, H_);
    // Two passes: the first covers every other line, the second the lines in
    // between; the second sets out shortly before the first has finished.
    t1_ = std::min(1.0, p / 0.6);
    t2_ = std::max(0.0, (p - 0.4) / 0.6);
    const double big = std::hypot(W_, H_);
    const QRectF all(0, 0, W_, H_);
    switch (effect_) {
    case 5: case 6: case 26: case 44:
        X_ = quantize(p * W_ / 2, sx_, W_);
        Y_ = quantize(p * H_ / 2, sy_, H_);
        break;
    case 7: case 8:
        Y_ = quantize(p * H_ / 2, sy_, H_);
        break;
    case 45:   // the old face keeps a shrinking box in the middle
        X_ = W_ / 2 - quantize(p * W_ / 2, sx_, W_ / 2);
        Y_ = H_ / 2 - quantize(p * H_ / 2, sy_, H_ / 2);
        break;
    case 22: r_ = qx(p * std::hypot(cx_, cy_)); break;
    case 23: r_ = std::hypot(cx_, cy_) - qx(p * std::hypot(cx_, cy_)); break;
    case 70: case 71: r_ = p * std::hypot(W_, cy_); break;
    case 72: r_ = p * std::hypot(cx_, cy_); break;
    case 73: r_ = (1 - p) * std::hypot(cx_, cy_); break;
    case 110: case 111: r_ = std::hypot(cx_, cy_); break;
    case 68: sector(cx_, cy_, big, 0, std::floor(2 * pi * p / angle_step_) * angle_step_, all); break;
    case 69: sector(cx_, cy_, big, -std::floor(2 * pi * p / angle_step_) * angle_step_, 0, all); break;
    case 74: {
        const double a = std::floor(pi * p / angle_step_) * angle_step_;
        sector(cx_, cy_, big, 0, a, all);
        sector(cx_, cy_, big, pi, pi + a, all);
        break;
    }
    case 75: {   // a clock sweep in each quarter, around the quarter's centre
        const double a = std::floor(2 * pi * p / angle_step_) * angle_step_;
        const double hw = W_ / 2.0, hh = H_ / 2.0;
        for (int q = 0; q < 4; ++q) {
            const QRectF quarter((q & 1) * hw, (q >> 1) * hh, hw, hh);
            sector(quarter.center().x(), quarter.center().y(), big, 0, a, quarter);
        }
        break;
    }
    case 43: {   // six mirrored wedges opening around the centre
        const double half = std::floor(pi / 6 * p / (angle_step_ / 4)) * (angle_step_ / 4);
        for (int k = 0; k < 6; ++k) sector(cx_, cy_, big, k * pi / 3 - half, k * pi / 3 + half, all);
        break;
    }
    case 30: case 32: {   // column lines, whole columns at a time
        const double e1 = t1_ * W_, e2 = t2_ * W_;
        for (int x = 0, k = 0; x < W_; x += line_, ++k) {
            const int x1 = std::min(W_, x + line_);
            const bool on = (k & 1) == 0 ? x < e1 : (effect_ == 32 ? x < e2 : x1 > W_ - e2);
            if (on) frame_spans_.push_back({x, x1});
        }
        break;
    }
    case 35: case 36: case 96: case 97: {   // vertical slats
        const int n = std::clamp(grain_, 1, std::max(1, W_ / 2));
        const double ws = double(W_) / n;
        const double stagger = n > 1 ? 0.5 / (n - 1) : 0.0;
        for (int k = 0; k < n; ++k) {
            const double left = k * ws;
            if (effect_ == 35 || effect_ == 36) {
                add_span(frame_spans_, left, left + p * ws, W_);
            } else {
                const int order = effect_ == 96 ? k : n - 1 - k;
                const double t = std::clamp((p - order * stagger) / (1 - (n - 1) * stagger), 0.0, 1.0);
                if (effect_ == 96)
                    add_span(frame_spans_, left, left + t * ws, W_);
                else
                    add_span(frame_spans_, left + ws - t * ws, left + ws, W_);
            }
        }
        break;
    }
    case 40: {   // checkerboard: every cell wipes across; odd rows of cells lag by a cell
        const int c = checker_cell_ = std::clamp(grain_ * 16, 4, std::max(4, std::min(W_, H_) / 2));
        const double open = p * 2 * c;
        for (int odd = 0; odd < 2; ++odd) {
            Spans& sp = checker_[odd];
            sp.clear();
            for (int start = odd ? -c : 0; start < W_; start += 2 * c) add_span(sp, start, start + open, W_);
            normalize(sp);
        }
        break;
    }
    default: break;
    }
}

const Spans& ShapeRows::row_spans(int y, Spans& sp) {
    const double p = p_;
    const double yc = y + 0.5;
    const double yb = band(y);
    const auto full = [&] { sp.push_back({0, W_}); };
    switch (effect_) {
    // Edge wipes.
    case 1: add_span(sp, 0, X_, W_); break;
    case 2: add_span(sp, W_ - X_, W_, W_); break;
    case 3: if (y < Y_) full(); break;
    case 4: if (y >= H_ - Y_) full(); break;
    case 5: add_span(sp, 0, X_, W_); add_span(sp, W_ - X_, W_, W_); break;
    case 6: add_span(sp, W_ / 2 - X_, W_ / 2 + X_, W_); break;
    case 7: if (y < Y_ || y >= H_ - Y_) full(); break;
    case 8: if (y >= H_ / 2 - Y_ && y < H_ / 2 + Y_) full(); break;
    case 41:   // left half downwards, right half upwards
        if (y < Y_) add_span(sp, 0, W_ / 2, W_);
        if (y >= H_ - Y_) add_span(sp, W_ / 2, W_, W_);
        break;
    case 42:   // top half rightwards, bottom half leftwards
        if (y < H_ / 2) add_span(sp, 0, X_, W_);
        else add_span(sp, W_ - X_, W_, W_);
        break;
    case 44: if (y >= H_ / 2 - Y_ && y < H_ / 2 + Y_) add_span(sp, W_ / 2 - X_, W_ / 2 + X_, W_); break;
    case 45:
        if (y < H_ / 2 - Y_ || y >= H_ / 2 + Y_) full();
        else { add_span(sp, 0, W_ / 2 - X_, W_); add_span(sp, W_ / 2 + X_, W_, W_); }
        break;
    case 26:   // a rectangle grows out of each corner
        if (y < Y_ || y >= H_ - Y_) { add_span(sp, 0, X_, W_); add_span(sp, W_ - X_, W_, W_); }
        break;

    // Diagonals (stepped in bands of the grain).
    case 13: add_span(sp, 0, qx(W_ * (2 * p - yb / H_)), W_); break;
    case 14: add_span(sp, 0, qx(W_ * (2 * p - (H_ - yb) / H_)), W_); break;
    case 15: add_span(sp, qx(W_ - W_ * (2 * p - yb / H_)), W_, W_); break;
    case 16: add_span(sp, qx(W_ - W_ * (2 * p - (H_ - yb) / H_)), W_, W_); break;
    case 17:   // from the top-left and bottom-right corners towards the other diagonal
        add_span(sp, 0, qx(W_ * (p - yb / H_)), W_);
        add_span(sp, qx(W_ * (2 - p - yb / H_)), W_, W_);
        break;
    case 18:
        add_span(sp, qx(W_ * (1 - p + yb / H_)), W_, W_);
        add_span(sp, 0, qx(W_ * (p - 1 + yb / H_)), W_);
        break;
    case 19:   // a band along the other diagonal widens towards top-left and bottom-right
        add_span(sp, qx(W_ * (1 - p - yb / H_)), qx(W_ * (1 + p - yb / H_)), W_);
        break;
    case 20:
        add_span(sp, qx(W_ * (yb / H_ - p)), qx(W_ * (yb / H_ + p)), W_);
        break;
    case 21: {   // a diamond of the old face shrinks between four diagonal wipes
        const double rx = cx_ * (2 * (1 - p) - std::abs(yb - cy_) / cy_);
        if (rx <= 0) full();
        else { add_span(sp, 0, qx(cx_ - rx), W_); add_span(sp, qx(cx_ + rx), W_, W_); }
        break;
    }

    // Circles.
    case 22: circle(cx_, cy_, r_, yb, sp); break;
    case 23:
        circle(cx_, cy_, r_, yb, sp);
        normalize(sp);
        invert(sp, W_, tmp_);
        break;
    case 70: circle(W_, cy_, r_, yb, sp); break;
    case 71: circle(0, cy_, r_, yb, sp); break;
    case 72: circle(0, cy_, r_, yb, sp); circle(W_, cy_, r_, yb, sp); break;
    case 73:
        circle(0, cy_, r_, yb, sp);
        circle(W_, cy_, r_, yb, sp);
        normalize(sp);
        invert(sp, W_, tmp_);
        break;

    // Clock sweeps and the kaleidoscope.
    case 43: case 68: case 69: case 74: case 75:
        for (const Polygon& poly : polys_) polygon_spans(poly, yc, sp);
        break;

    // Chevrons: two diagonal edges meeting in a point that leads the way.
    case 56: { const double d = W_ * (1.5 * p - (H_ - yb) / H_); add_span(sp, qx(cx_ - d), qx(cx_ + d), W_); break; }
    case 57: { const double d = W_ * (1.5 * p - yb / H_); add_span(sp, qx(cx_ - d), qx(cx_ + d), W_); break; }
    case 58: add_span(sp, qx(W_ - W_ * (1.5 * p - std::abs(yb - cy_) / H_)), W_, W_); break;
    case 59: add_span(sp, 0, qx(W_ * (1.5 * p - std::abs(yb - cy_) / H_)), W_); break;

    // Interlaces: neighbouring lines run in opposite directions.
    case 27:
        if (line_odd(y)) add_span(sp, W_ - X_, W_, W_);
        else add_span(sp, 0, X_, W_);
        break;
    case 28: {
        const bool top = y < Y_, bottom = y >= H_ - Y_;
        if (top && bottom) full();
        else if (top) return even_cols_;
        else if (bottom) return odd_cols_;
        break;
    }

    // Double passes over whole lines.
    case 29: case 31: {
        const int line = y / line_;
        const int top = line * line_, bottom = std::min(H_, top + line_);
        bool on;
        if ((line & 1) == 0) on = top < t1_ * H_;
        else on = effect_ == 31 ? top < t2_ * H_ : bottom > H_ - t2_ * H_;
        if (on) full();
        break;
    }
    case 30: case 32: case 35: case 96: case 97: return frame_spans_;

    // Blinds.
    case 34: case 36: case 94: case 95: {
        const int n = std::clamp(grain_, 1, std::max(1, H_ / 2));
        const double hs = double(H_) / n;
        const int k = std::min(n - 1, int(yc / hs));
        const double local = yc - k * hs;
        bool on;
        if (effect_ == 34 || effect_ == 36) {
            on = local < p * hs;
        } else {   // each slat opens a little after the one before it
            const double stagger = n > 1 ? 0.5 / (n - 1) : 0.0;
            const int order = effect_ == 94 ? k : n - 1 - k;
            const double t = std::clamp((p - order * stagger) / (1 - (n - 1) * stagger), 0.0, 1.0);
            on = effect_ == 94 ? local < t * hs : hs - local < t * hs;
        }
        if (on) full();
        else if (effect_ == 36) return frame_spans_;
        break;
    }

    case 40: return checker_[(y / checker_cell_) & 1];

    // Double passes of the named wipes over lines of the grain's thickness.
    case 102: add_span(sp, 0, (line_odd(y) ? t2_ : t1_) * W_, W_); break;
    case 103: add_span(sp, W_ - (line_odd(y) ? t2_ : t1_) * W_, W_, W_); break;
    case 106: {
        const double t = line_odd(y) ? t2_ : t1_;
        add_span(sp, 0, t * W_ / 2, W_);
        add_span(sp, W_ - t * W_ / 2, W_, W_);
        break;
    }
    case 107: {
        const double t = line_odd(y) ? t2_ : t1_;
        add_span(sp, cx_ - t * W_ / 2, cx_ + t * W_ / 2, W_);
        break;
    }
    case 110: {
        const double t = line_odd(y) ? t2_ : t1_;
        if (t >= 1) { full(); break; }
        circle(cx_, cy_, (1 - t) * r_, yc, sp);
        normalize(sp);
        invert(sp, W_, tmp_);
        break;
    }
    case 111: {
        const double t = line_odd(y) ? t2_ : t1_;
        if (t >= 1) full();
        else circle(cx_, cy_, t * r_, yc, sp);
        break;
    }
    case 104: case 105: case 108: case 109: {
        const bool first = vertical_line_cond(yc, t1_), second = vertical_line_cond(yc, t2_);
        if (first && second) full();
        else if (first) return even_cols_;
        else if (second) return odd_cols_;
        break;
    }
    default: break;
    }
    normalize(sp);
    return sp;
}

void ShapeTransition::setup() {
    now_.setup(effect_, grain_, size_);
    shown_rows_ = now_;
    rows_p_ = -1;
}

bool ShapeTransition::add_changes(const Spans& was, const Spans& now, int most_lines, int most_lines_apart) {
    const std::size_t first = pieces_.size();
    int touched = 0;
    std::uint32_t apart = 0;
    // The runs' ends in order: k even is the start of run k / 2, odd its end.
    const auto end_at = [](const Spans& sp, std::size_t k) {
        return k / 2 < sp.size() ? (k % 2 ? sp[k / 2].x1 : sp[k / 2].x0) : std::numeric_limits<int>::max();
    };
    std::size_t i = 0, j = 0;
    bool in_was = false, in_now = false;
    for (int x = 0;;) {
        const int a = end_at(was, i), b = end_at(now, j), next = std::min(a, b);
        if (next == std::numeric_limits<int>::max()) break;
        if (in_was != in_now && next > x) {
            if (pieces_.size() > first && pieces_.back().x1 == x && pieces_.back().use_new == in_now) {
                touched += (next - 1) / 16 - (x - 1) / 16;
                pieces_.back().x1 = next;
            } else {
                // A line the piece before ends in is counted once.
                const int before = pieces_.size() == first ? -2 : (pieces_.back().x1 - 1) / 16;
                touched += (next - 1) / 16 - std::max(x / 16, before + 1) + 1;
                apart += x / 16 > before + 1;
                pieces_.push_back({x, next, in_now});
            }
            if (touched > (apart > most_pieces ? most_lines_apart : most_lines)) {
                pieces_.resize(first);
                return false;
            }
        }
        x = next;
        if (a == next) in_was = !in_was, ++i;
        if (b == next) in_now = !in_now, ++j;
    }
    return true;
}

// The pieces lie at other places on each row, which the processor cannot
// guess: the lines of a row a few rows down are asked for ahead.
void ShapeTransition::paint_changes(const Surface& s) {
    constexpr std::uint32_t most = most_pieces;
    constexpr int ahead = 4;
    const auto ask = [&](int y) {
        const auto [from, to] = rows_[std::size_t(y)];
        if (to - from > most) return;
        for (std::uint32_t k = from; k < to; ++k) {
            const Piece& pc = pieces_[k];
            prefetch(s.row(pc.use_new, y) + pc.x0, pc.x1 - pc.x0);
            for (int x = pc.x0; x < pc.x1; x += 16) __builtin_prefetch(s.out_row(y) + x, 1);
        }
    };
    for (int y = 0; y < std::min(ahead, s.h); ++y) ask(y);
    for (int y = 0; y < s.h; ++y) {
        if (y + ahead < s.h) ask(y + ahead);
        const auto [from, to] = rows_[std::size_t(y)];
        if (to - from > most) {
            paint_many(s, y, from, to);
            continue;
        }
        px* d = s.out_row(y);
        for (std::uint32_t k = from; k < to; ++k) {
            const Piece& pc = pieces_[k];
            put_copy(d + pc.x0, s.row(pc.use_new, y) + pc.x0, pc.x1 - pc.x0, s.stream);
        }
    }
}

// The masks are made once for the rows that share their pieces.
void ShapeTransition::paint_many(const Surface& s, int y, std::uint32_t from, std::uint32_t to) {
    if (masked_ != std::pair{from, to}) {
        const auto mark = [&](std::uint32_t first, std::uint32_t last, bool set) {
            for (std::uint32_t k = first; k < last; ++k) {
                const Piece& pc = pieces_[k];
                std::fill(changed_mask_.begin() + pc.x0, changed_mask_.begin() + pc.x1, set ? ~px(0) : 0u);
                std::fill(now_mask_.begin() + pc.x0, now_mask_.begin() + pc.x1, set && pc.use_new ? ~px(0) : 0u);
            }
        };
        mark(masked_.first, masked_.second, false);
        mark(from, to, true);
        masked_ = {from, to};
    }
    const int x0 = pieces_[from].x0, x1 = pieces_[to - 1].x1;
    put_changed(s.out_row(y) + x0, s.new_row(y) + x0, s.old_row(y) + x0, now_mask_.data() + x0,
                changed_mask_.data() + x0, x1 - x0);
}

void ShapeTransition::frame(const Surface& whole, double p) {
    now_.begin(p);
    const bool since = shown_ > 0 && shown_ == rows_p_;
    if (since) {
        pieces_.clear();
        whole_.clear();
        rows_.resize(std::size_t(whole.h));
        changed_mask_.assign(std::size_t(whole.w), 0);
        now_mask_.assign(std::size_t(whole.w), 0);
        masked_ = {0, 0};
        // Pieces in more than a third of a row's lines of 16 pixels cost
        // more, through the caches, than the row streamed whole. Many
        // pieces spread out over a row (the checkerboard's narrow cells),
        // each a trip to memory the processor cannot foresee, cost more
        // from a fifth on.
        const int most_lines = (whole.w + 15) / 16 / 3, most_lines_apart = (whole.w + 15) / 16 / 5;
        // Rows described by the same shared sets (columns of a double pass,
        // rows of checkerboard cells) change alike: their pieces are
        // worked out once.
        const Spans *last_now = nullptr, *last_was = nullptr;
        bool last_whole = false;
        for (int y = 0; y < whole.h; ++y) {
            sp_.clear();
            was_sp_.clear();
            const Spans& spans = now_.row_spans(y, sp_);
            const Spans& was = shown_rows_.row_spans(y, was_sp_);
            if (&spans == last_now && &was == last_was) {
                rows_[std::size_t(y)] = rows_[std::size_t(y) - 1];
                if (last_whole) whole_.push_back(y);
                continue;
            }
            const auto from = std::uint32_t(pieces_.size());
            last_whole = spans != was && !add_changes(was, spans, most_lines, most_lines_apart);
            if (last_whole) whole_.push_back(y);
            rows_[std::size_t(y)] = {from, std::uint32_t(pieces_.size())};
            const bool shared = &spans != &sp_ && &was != &was_sp_;
            last_now = shared ? &spans : nullptr;
            last_was = shared ? &was : nullptr;
        }
        // Pieces of rows go through the caches: a streaming store of part
        // of a cache line costs a trip to memory.
        Surface pieces = whole;
        pieces.stream = false;
        paint_changes(pieces);
        for (int y : whole_) {
            sp_.clear();
            const Spans& spans = now_.row_spans(y, sp_);
            comp_.row(whole, y, spans, &spans != &sp_);
        }
    } else {
        for (int y = 0; y < whole.h; ++y) {
            sp_.clear();
            const Spans& spans = now_.row_spans(y, sp_);
            comp_.row(whole, y, spans, &spans != &sp_);
        }
    }
    std::swap(now_, shown_rows_);
    rows_p_ = p;
}

}  // namespace

std::unique_ptr<Transition> make_shape(int n, int grain, QSize size, std::uint64_t seed) {
    static constexpr std::array owned{1,  2,  3,  4,  5,  6,  7,  8,  13, 14, 15, 16, 17, 18, 19, 20,
                                      21, 22, 23, 26, 27, 28, 29, 30, 31, 32, 34, 35, 36, 40, 41, 42,
                                      43, 44, 45, 56, 57, 58, 59, 68, 69, 70, 71, 72, 73, 74, 75, 94,
                                      95, 96, 97, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111};
    if (std::find(owned.begin(), owned.end(), n) == owned.end()) return nullptr;
    return std::make_unique<ShapeTransition>(n, grain, size, seed);
}

}  // namespace lv::tx
