// Transitions where a face moves or changes size: slides (the new face
// travels in over the old one), pushes (it shoves the old face out),
// diagonal and double slides, interlaced slides, zooms, squashes and pulls,
// and rolls (the new face unrolls like a blind with its roll in view).
#include "platform/transitions/transition_kit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace lv::tx {
namespace {

int halved_width(int w, int k) { return (w + (1 << k) - 1) >> k; }

// The copies of a face keeping every other column, every fourth, ... (see
// Halvings), each made from the one before; made on another thread.
struct Copies {
    qint64 key = 0;
    std::array<std::unique_ptr<px[]>, 4> level;
};

Copies make_copies(const QImage& face, int W, int H) {
    Copies c;
    c.key = face.cacheKey();
    for (int k = 1; k <= 4; ++k) {
        const int w = halved_width(W, k), wider = halved_width(W, k - 1);
        c.level[std::size_t(k - 1)] = std::make_unique_for_overwrite<px[]>(std::size_t(w) * H);
        for (int y = 0; y < H; ++y) {
            const px* from = k == 1 ? reinterpret_cast<const px*>(face.constScanLine(y))
                                    : c.level[std::size_t(k - 2)].get() + std::size_t(y) * wider;
            px* to = c.level[std::size_t(k - 1)].get() + std::size_t(y) * w;
            for (int x = 0; x < w; ++x) to[x] = from[2 * x];
        }
    }
    return c;
}

class MotionTransition final : public TransitionImpl {
public:
    using TransitionImpl::TransitionImpl;
    bool preparing() const override { return copies_.pending(); }

protected:
    void setup() override;
    void frame(const Surface& s, double p) override;

private:
    void zoom(const Surface& s, double scale, bool fg_new);
    // The whole chosen face scaled into dst (nearest neighbour); the rest of
    // the output shows the other face in place.
    void scale_face(const Surface& s, QRect dst, bool use_new);
    // The part of the output that may not show the other face in place:
    // the whole of it, unless it holds this run's last frame, where only
    // that frame's scaled face covered it. A display keeps its picture from
    // tick to tick: as a face grows over the other, the other's pixels
    // around it are already there, and only the growing face is written.
    QRect stale() const;
    // Rows [y0, y1) of the face shown in place, within st (from stale()).
    void back_rows(const Surface& s, int y0, int y1, bool use_new, QRect st);
    QRect scaled_rect_;       // the scaled face's part of the last frame
    double scaled_p_ = -1;    // the progress of that frame

    // Copies of a face keeping every other column, then every fourth, ...:
    // a face shrunk to half its width or less is read from the copy nearest
    // its size instead of touching every cache line of the full picture.
    // All four are made on another thread as the run begins; until they are
    // ready, and for a face that changes during the run, frames make the
    // rows they show, so that no frame makes a whole copy.
    struct Level {
        std::unique_ptr<px[]> pixels;   // rows 1/2^k of the width, made or not
        std::vector<bool> made;
        RowScaler picker;               // every 2^k-th pixel of a row of the face
        bool picker_ready = false;      // also for pixels handed over by the worker
    };
    struct Halvings {
        qint64 key = 0;
        std::vector<Level> levels;   // levels[k - 1]: 1/2^k of the width
    };
    Level& level(const Surface& s, bool use_new, int k);
    const px* halved_row(const Surface& s, bool use_new, int k, int y);
    // Starts the copies of the scaled face on the run's first frame, and
    // takes them once they are ready.
    void copies_ahead(const Surface& s, bool use_new);
    Halvings old_halves_, new_halves_;
    Ahead<Copies> copies_;
    bool copies_started_ = false;
    void roll(const Surface& s, double p);

    int W_ = 1, H_ = 1, sx_ = 1, sy_ = 1, strip_ = 1;
    std::vector<px> strip_mask_;   // every other column strip
    RowScaler scaler_;
    RowScaler direct_;   // from the face itself, for rows of a copy not made
};

void MotionTransition::setup() {
    W_ = size_.width();
    H_ = size_.height();
    sx_ = std::clamp(grain_, 1, std::max(1, W_ / 8));
    sy_ = std::clamp(grain_, 1, std::max(1, H_ / 8));
    strip_ = std::clamp(grain_, 1, std::max(1, std::min(W_, H_) / 4));
    old_halves_ = {};   // copies of another size
    new_halves_ = {};
    strip_mask_.assign(std::size_t(W_), 0u);
    for (int x = 0; x < W_; ++x)
        if (((x / strip_) & 1) == 0) strip_mask_[std::size_t(x)] = ~px(0);
}

void MotionTransition::copies_ahead(const Surface& s, bool use_new) {
    if (!copies_started_) {
        copies_started_ = true;
        copies_.start([face = *(use_new ? s.new_image : s.old_image), W = W_, H = H_] { return make_copies(face, W, H); });
        return;
    }
    if (!copies_.pending() || !copies_.ready()) return;
    Copies c = copies_.take();
    Halvings& hv = use_new ? new_halves_ : old_halves_;
    level(s, use_new, 4);   // brings the levels up to date with the face
    if (c.key != hv.key) return;   // the face has changed since
    for (int k = 1; k <= 4; ++k) {
        Level& l = hv.levels[std::size_t(k - 1)];
        l.pixels = std::move(c.level[std::size_t(k - 1)]);
        l.made.assign(std::size_t(H_), true);
    }
}

MotionTransition::Level& MotionTransition::level(const Surface& s, bool use_new, int k) {
    Halvings& hv = use_new ? new_halves_ : old_halves_;
    const qint64 key = use_new ? s.new_key : s.old_key;
    if (hv.key != key) {   // a face that changes (a live one) is copied afresh
        for (Level& l : hv.levels) l.made.assign(l.made.size(), false);
        hv.key = key;
    }
    if (int(hv.levels.size()) < k) hv.levels.resize(std::size_t(k));
    Level& l = hv.levels[std::size_t(k - 1)];
    if (!l.pixels) {
        // Every row is written before it is read: no need to clear them.
        l.pixels = std::make_unique_for_overwrite<px[]>(std::size_t(halved_width(W_, k)) * H_);
        l.made.assign(std::size_t(H_), false);
    }
    if (!l.picker_ready) {
        std::vector<int> every(static_cast<std::size_t>(halved_width(W_, k)));
        for (std::size_t x = 0; x < every.size(); ++x) every[x] = int(x) << k;
        l.picker.prepare(std::move(every), W_);
        l.picker_ready = true;
    }
    return l;
}

const px* MotionTransition::halved_row(const Surface& s, bool use_new, int k, int y) {
    if (k == 0) return s.row(use_new, y);
    Level& l = level(s, use_new, k);
    const int w = halved_width(W_, k);
    px* row = l.pixels.get() + std::size_t(y) * w;
    if (!l.made[std::size_t(y)]) {
        l.picker.run(row, s.row(use_new, y));
        l.made[std::size_t(y)] = true;
    }
    return row;
}

QRect MotionTransition::stale() const {
    return shown_ > 0 && shown_ == scaled_p_ ? scaled_rect_ : QRect(0, 0, W_, H_);
}

void MotionTransition::back_rows(const Surface& s, int y0, int y1, bool use_new, QRect st) {
    y0 = std::max(y0, st.top());
    y1 = std::min(y1, st.bottom() + 1);
    if (st.left() == 0 && st.width() == W_) return comp_.full_rows(s, y0, y1, use_new);
    for (int y = y0; y < y1; ++y) put_copy(s.out_row(y) + st.left(), s.row(use_new, y) + st.left(), st.width(), s.stream);
}

void MotionTransition::scale_face(const Surface& s, QRect dst, bool use_new) {
    const bool back = !use_new;
    const QRect vis = dst.intersected(QRect(0, 0, W_, H_));
    const QRect st = stale();
    scaled_rect_ = vis;
    if (vis.isEmpty()) return back_rows(s, 0, H_, back, st);
    const double fx = double(W_) / dst.width(), fy = double(H_) / dst.height();
    const auto source_row = [&](int y) { return std::clamp(int((y - dst.top() + 0.5) * fy), 0, H_ - 1); };
    back_rows(s, 0, vis.top(), back, st);
    if (dst.width() == W_) {
        // Rows only: whole rows of the face, skipped or repeated.
        for (int y = vis.top(); y <= vis.bottom(); ++y) store_row(s, y, s.row(use_new, source_row(y)));
    } else {
        copies_ahead(s, use_new);
        // The smallest copy still about as wide as the target (a fifth of
        // stretching goes unnoticed while a face is moving).
        int k = 0;
        while (k < 4 && halved_width(W_, k + 1) * 5 >= dst.width() * 4) ++k;
        const int wk = halved_width(W_, k);
        std::vector<int> xmap(static_cast<std::size_t>(vis.width()));
        for (int i = 0; i < vis.width(); ++i) {
            const int c = std::clamp(int((vis.left() + i - dst.left() + 0.5) * fx), 0, W_ - 1);
            xmap[std::size_t(i)] = std::min(c >> k, wk - 1);
        }
        // Streamed rows are scaled straight into the output where the
        // blocks of the scaler can be laid on its cache lines.
        const auto line_offset = reinterpret_cast<std::uintptr_t>(s.out_row(vis.top()) + vis.left()) & 63;
        const int lead = s.stream ? int((64 - line_offset) % 64 / sizeof(px)) : 0;
        // A face shown far narrower than its copy (a pull's first frames)
        // has the rows of the copy not made yet read straight from the face:
        // making one reads every cache line of the face's row.
        Level* copy = k > 0 && vis.width() * 2 < wk ? &level(s, use_new, k) : nullptr;
        if (copy) {
            std::vector<int> full = xmap;
            for (int& c : full) c <<= k;
            direct_.prepare(std::move(full), W_, lead);
        }
        scaler_.prepare(std::move(xmap), wk, lead);
        const int right = vis.right() + 1;
        for (int y = vis.top(); y <= vis.bottom(); ++y) {
            const px* b = s.row(back, y);
            px* d = s.out_row(y);
            // Beside the scaled face, the other face where the output may
            // not show it, and at least to the ends of the cache lines the
            // scaled face starts and ends in, which streamed stores then
            // write whole.
            const bool in_stale = y >= st.top() && y <= st.bottom();
            const int line = 64 / int(sizeof(px));
            int from = vis.left() - int((reinterpret_cast<std::uintptr_t>(d + vis.left()) & 63) / sizeof(px));
            int to = right + (line - int((reinterpret_cast<std::uintptr_t>(d + right) & 63) / sizeof(px))) % line;
            if (in_stale) {
                from = std::min(from, st.left());
                to = std::max(to, st.right() + 1);
            }
            from = std::max(from, 0);
            to = std::min(to, W_);
            put_copy(d + from, b + from, vis.left() - from, s.stream);
            const int sy = source_row(y);
            const bool direct = copy && !copy->made[std::size_t(sy)];
            const RowScaler& scaler = direct ? direct_ : scaler_;
            const px* src = direct ? s.row(use_new, sy) : halved_row(s, use_new, k, sy);
            if (!s.stream || !scaler.run_streamed(d + vis.left(), src)) {
                scaler.run(s.scratch, src);
                put_copy(d + vis.left(), s.scratch, vis.width(), s.stream);
            }
            put_copy(d + right, b + right, to - right, s.stream);
        }
    }
    back_rows(s, vis.bottom() + 1, H_, back, st);
}

// One face at the given scale, centred over the other at full size.
void MotionTransition::zoom(const Surface& s, double scale, bool fg_new) {
    const int w = quantize(scale * W_, sx_, W_);
    const int h = int(std::lround(double(w) * H_ / W_));
    if (w <= 0 || h <= 0) {
        back_rows(s, 0, H_, !fg_new, stale());
        scaled_rect_ = QRect();
        return;
    }
    scale_face(s, QRect((W_ - w) / 2, (H_ - h) / 2, w, h), fg_new);
}

void MotionTransition::roll(const Surface& s, double p) {
    const bool vertical = effect_ == 98 || effect_ == 99;
    const int len = vertical ? H_ : W_;
    const int step = vertical ? sy_ : sx_;
    const int b = std::max(2, len / 8);   // diameter of the roll
    // Position of the roll's inner edge, measured from the start side; the
    // roll comes in from outside the picture and leaves past the far side.
    const int e = quantize(p * (len + b), step, len + b) - b;
    // Picture line shown on band line j: the front half of a cylinder of
    // radius r holds pi*r lines of the picture past the edge, pressed evenly
    // into its diameter (the shading gives the curve; an even press keeps
    // the band cheap to draw).
    const auto wrapped = [&](int j) { return std::clamp(e + int((j + 0.5) * std::numbers::pi / 2), 0, len - 1); };
    // The far side of the roll turns away from the light: darker in two steps.
    const auto shade = [&](int j) { return j >= b * 7 / 8 ? 2 : j >= b * 3 / 4 ? 1 : 0; };
    if (vertical) {
        const bool down = effect_ == 98;
        for (int y = 0; y < H_; ++y) {
            const int d = down ? y : H_ - 1 - y;   // distance from the start side
            if (d < e) {
                store_row(s, y, s.new_row(y));
            } else if (d < e + b) {
                const int src = wrapped(d - e);
                const px* row = s.new_row(down ? src : H_ - 1 - src);
                if (const int level = shade(d - e)) {
                    copy_row(s.scratch, row, W_);
                    for (int i = 0; i < level; ++i) shade_row(s.scratch, W_);
                    row = s.scratch;
                }
                store_row(s, y, row);
            } else {
                store_row(s, y, s.old_row(y));
            }
        }
        return;
    }
    const bool right = effect_ == 100;
    const int flat = std::clamp(e, 0, W_);
    const int band_end = std::clamp(e + b, 0, W_);
    // Columns [flat, band_end) counted from the start side hold the roll.
    const int band_w = band_end - flat;
    std::vector<int> xmap(static_cast<std::size_t>(std::max(band_w, 0)));
    int shade_from = band_w, dark_from = band_w;   // first band column of each shade
    for (int i = 0; i < band_w; ++i) {
        const int j = flat + i - e;
        const int src = wrapped(j);
        // Stored left to right on screen.
        if (right)
            xmap[std::size_t(i)] = src;
        else
            xmap[std::size_t(band_w - 1 - i)] = W_ - 1 - src;
        if (shade(j) >= 1 && shade_from == band_w) shade_from = i;
        if (shade(j) >= 2 && dark_from == band_w) dark_from = i;
    }
    scaler_.prepare(std::move(xmap), W_);
    // Columns of the new face read by a row: the flat part and the roll.
    const int new_cols = std::clamp(wrapped(std::max(band_w, 1) - 1 + flat - e) + 1, flat, W_);
    for (int y = 0; y < H_; ++y) {
        px* out = s.scratch;
        const px* n = s.new_row(y);
        const px* o = s.old_row(y);
        if (y + prefetch_distance < H_) {
            const px* pn = s.new_row(y + prefetch_distance);
            const px* po = s.old_row(y + prefetch_distance);
            if (right) {
                prefetch(pn, new_cols);
                prefetch(po + band_end, W_ - band_end);
            } else {
                prefetch(pn + W_ - new_cols, new_cols);
                prefetch(po, W_ - band_end);
            }
        }
        // The roll is put together in the scratch row; the flat parts go
        // straight from the faces.
        px* d = s.out_row(y);
        scaler_.run(out, n);
        if (right) {
            shade_row(out + shade_from, band_w - shade_from);
            shade_row(out + dark_from, band_w - dark_from);
            put_copy(d, n, flat, s.stream);
            put_copy(d + flat, out, band_w, s.stream);
            put_copy(d + band_end, o + band_end, W_ - band_end, s.stream);
        } else {
            shade_row(out, band_w - shade_from);
            shade_row(out, band_w - dark_from);
            put_copy(d, o, W_ - band_end, s.stream);
            put_copy(d + W_ - band_end, out, band_w, s.stream);
            put_copy(d + W_ - flat, n + W_ - flat, flat, s.stream);
        }
    }
}

void MotionTransition::frame(const Surface& s, double p) {
    const int X = quantize(p * W_, sx_, W_);
    const int Y = quantize(p * H_, sy_, H_);
    switch (effect_) {
    // Slides: the new face travels in, the old one stays.
    case 9:
        paint_stretches(s, 0, H_ - Y, {{0, W_, false}});
        paint_stretches(s, H_ - Y, H_, {{0, W_, true, 0, -(H_ - Y)}});
        break;
    case 10:
        paint_stretches(s, 0, Y, {{0, W_, true, 0, H_ - Y}});
        paint_stretches(s, Y, H_, {{0, W_, false}});
        break;
    case 52: paint_stretches(s, 0, H_, {{0, W_ - X, false}, {W_ - X, W_, true, -(W_ - X), 0}}); break;
    case 53: paint_stretches(s, 0, H_, {{0, X, true, W_ - X, 0}, {X, W_, false}}); break;

    // Pushes: both faces travel together.
    case 11:
        paint_stretches(s, 0, H_ - Y, {{0, W_, false, 0, Y}});
        paint_stretches(s, H_ - Y, H_, {{0, W_, true, 0, -(H_ - Y)}});
        break;
    case 12:
        paint_stretches(s, 0, Y, {{0, W_, true, 0, H_ - Y}});
        paint_stretches(s, Y, H_, {{0, W_, false, 0, -Y}});
        break;
    case 54: paint_stretches(s, 0, H_, {{0, W_ - X, false, X, 0}, {W_ - X, W_, true, -(W_ - X), 0}}); break;
    case 55: paint_stretches(s, 0, H_, {{0, X, true, W_ - X, 0}, {X, W_, false, -X, 0}}); break;

    // Diagonal slides: the new face comes in from a corner.
    case 76: case 77: case 78: case 79: {
        const bool from_left = effect_ == 76 || effect_ == 78;
        const bool from_top = effect_ == 76 || effect_ == 77;
        const int left = from_left ? 0 : W_ - X, top = from_top ? 0 : H_ - Y;
        const int dx = (from_left ? W_ - X : 0) - left, dy = (from_top ? H_ - Y : 0) - top;
        paint_stretches(s, 0, top, {{0, W_, false}});
        paint_stretches(s, top, top + Y, {{0, left, false}, {left, left + X, true, dx, dy}, {left + X, W_, false}});
        paint_stretches(s, top + Y, H_, {{0, W_, false}});
        break;
    }

    // Double slides: each half of the new face comes in from its own side.
    case 80: {
        const int c = W_ / 2;
        const int xl = quantize(p * c, sx_, c), xr = quantize(p * (W_ - c), sx_, W_ - c);
        paint_stretches(s, 0, H_, {{0, xl, true, c - xl, 0}, {xl, W_ - xr, false}, {W_ - xr, W_, true, c - (W_ - xr), 0}});
        break;
    }
    case 81: {
        const int c = H_ / 2;
        const int yt = quantize(p * c, sy_, c), yb = quantize(p * (H_ - c), sy_, H_ - c);
        paint_stretches(s, 0, yt, {{0, W_, true, 0, c - yt}});
        paint_stretches(s, yt, H_ - yb, {{0, W_, false}});
        paint_stretches(s, H_ - yb, H_, {{0, W_, true, 0, c - (H_ - yb)}});
        break;
    }

    // Interlaced slides: neighbouring strips come in from opposite sides.
    case 112:
        for (int y0 = 0, k = 0; y0 < H_; y0 += strip_, ++k) {
            if ((k & 1) == 0)
                paint_stretches(s, y0, y0 + strip_, {{0, X, true, W_ - X, 0}, {X, W_, false}});
            else
                paint_stretches(s, y0, y0 + strip_, {{0, W_ - X, false}, {W_ - X, W_, true, -(W_ - X), 0}});
        }
        break;
    case 113:
        for (int y = 0; y < H_; ++y) {
            const px* a = y < Y ? s.new_row(y + H_ - Y) : s.old_row(y);          // strips from the top
            const px* b = y >= H_ - Y ? s.new_row(y - (H_ - Y)) : s.old_row(y);  // strips from the bottom
            if (a == b)
                store_row(s, y, a);
            else
                put_select(s.out_row(y), a, b, strip_mask_.data(), W_, s.stream);
        }
        break;

    // Zooms.
    case 24: zoom(s, 1 - p, false); break;   // the old face shrinks away
    case 25: zoom(s, p, true); break;        // the new face grows from the middle

    // Squashes (the old face is pressed together) and pulls (the new face
    // is drawn out over the old one).
    case 46: scale_face(s, QRect(0, Y, W_, H_ - Y), false); break;
    case 47: scale_face(s, QRect(0, 0, W_, Y), true); break;
    case 48: scale_face(s, QRect(X, 0, W_ - X, H_), false); break;
    case 49: scale_face(s, QRect(0, 0, X, H_), true); break;

    case 98: case 99: case 100: case 101: roll(s, p); break;
    default: comp_.full_rows(s, 0, H_, false); break;
    }
    scaled_p_ = p;
}

}  // namespace

std::unique_ptr<Transition> make_motion(int n, int grain, QSize size, std::uint64_t seed) {
    static constexpr std::array owned{9,  10, 11, 12, 24, 25, 46, 47, 48, 49, 52, 53, 54,  55,  76,
                                      77, 78, 79, 80, 81, 98, 99, 100, 101, 112, 113};
    if (std::find(owned.begin(), owned.end(), n) == owned.end()) return nullptr;
    return std::make_unique<MotionTransition>(n, grain, size, seed);
}

}  // namespace lv::tx
