// Transitions that reveal the new face cell by cell in a fixed order: random
// lines, bars, blocks and sparkles, the swirls and the ordered blocks. The
// order is drawn once when the run is created (each cell gets a rank), so a
// frame only compares ranks against the progress. The drip is here too: its
// columns run down at their own pace.
#include "platform/transition_kit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace lv::tx {
namespace {

// Clockwise from the top-left corner, ring by ring towards the middle.
void spiral_keys(std::vector<double>& keys, int cols, int rows) {
    int top = 0, bottom = rows - 1, left = 0, right = cols - 1;
    double k = 0;
    const auto set = [&](int r, int c) { keys[std::size_t(r) * cols + c] = k++; };
    while (top <= bottom && left <= right) {
        for (int c = left; c <= right; ++c) set(top, c);
        for (int r = top + 1; r <= bottom; ++r) set(r, right);
        if (top < bottom)
            for (int c = right - 1; c >= left; --c) set(bottom, c);
        if (left < right)
            for (int r = bottom - 1; r > top; --r) set(r, left);
        ++top;
        --bottom;
        ++left;
        --right;
    }
}

}  // namespace

CellGrid cell_grid(int effect, int grain, QSize size, std::uint64_t seed) {
    CellGrid g;
    const int W = std::max(1, size.width()), H = std::max(1, size.height());
    const int small = std::min(W, H);
    const auto cell = [&](int px_size, int min_size, int max_size) {
        return std::clamp(px_size, std::min(min_size, max_size), std::max(1, max_size));
    };
    int& cw = g.cw;
    int& ch = g.ch;
    switch (effect) {
    case 33: cw = W; ch = cell(grain, 1, H / 2); break;                 // random lines
    case 37: case 38: cw = ch = cell(grain, 2, small / 4); break;       // swirls
    case 39: cw = ch = cell(grain * 8, 2, small / 2); break;            // random block
    case 60: case 61: cw = W; ch = cell(grain * 2, 1, H / 2); break;    // bars moving up or down
    case 62: case 63: ch = H; cw = cell(grain * 2, 1, W / 2); break;    // bars moving sideways
    case 64: case 65: case 66: case 67: cw = ch = cell(grain, 2, small / 4); break;       // sparkles
    case 90: case 91: case 92: case 93: cw = ch = cell(grain * 4, 2, small / 2); break;   // blocks
    case 50: cw = cell(grain, 1, W / 4); ch = H; break;                 // drip columns
    default: break;
    }
    const int cols = g.cols = (W + cw - 1) / cw;
    const int rows = g.rows = (H + ch - 1) / ch;
    const std::size_t n = std::size_t(cols) * rows;
    std::vector<std::uint32_t>& rank = g.rank;

    Random rnd(seed);
    std::vector<double> keys(n);
    if (effect == 50) {
        // Start delays of the drips: a gently wandering front with a little
        // jitter, so neighbouring columns run down close together.
        double level = rnd.uniform();
        for (int c = 0; c < cols; ++c) {
            level = std::clamp(level + (rnd.uniform() - 0.5) * 0.35, 0.0, 1.0);
            keys[std::size_t(c)] = 0.75 * level + 0.25 * rnd.uniform();
        }
        const auto [lo, hi] = std::minmax_element(keys.begin(), keys.end());
        const double low = *lo, span = std::max(*hi - *lo, 1e-9);
        rank.resize(n);
        // Stored as start delays in 1/65536 of the run, between 0 and a half.
        for (std::size_t i = 0; i < n; ++i) rank[i] = std::uint32_t((keys[i] - low) / span * 32768.0);
        return g;
    }
    if (effect == 37 || effect == 38) spiral_keys(keys, cols, rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            double& k = keys[std::size_t(r) * cols + c];
            // Position along the direction of travel, 0 at the start side.
            const double down = (r + 0.5) / rows, right = (c + 0.5) / cols;
            switch (effect) {
            case 33: case 39: k = rnd.uniform(); break;
            case 38: k = -k; break;
            case 60: k = 0.5 * (1 - down) + 0.5 * rnd.uniform(); break;
            case 61: k = 0.5 * down + 0.5 * rnd.uniform(); break;
            case 62: k = 0.5 * (1 - right) + 0.5 * rnd.uniform(); break;
            case 63: k = 0.5 * right + 0.5 * rnd.uniform(); break;
            case 64: k = 0.6 * (1 - down) + 0.4 * rnd.uniform(); break;
            case 65: k = 0.6 * down + 0.4 * rnd.uniform(); break;
            case 66: k = 0.6 * (1 - right) + 0.4 * rnd.uniform(); break;
            case 67: k = 0.6 * right + 0.4 * rnd.uniform(); break;
            // Blocks: a ragged front, about two blocks deep, crosses the picture.
            case 90: k = r + 1.5 * rnd.uniform(); break;
            case 91: k = (rows - 1 - r) + 1.5 * rnd.uniform(); break;
            case 92: k = c + 1.5 * rnd.uniform(); break;
            case 93: k = (cols - 1 - c) + 1.5 * rnd.uniform(); break;
            default: break;
            }
        }
    }
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
    rank.resize(n);
    for (std::size_t i = 0; i < n; ++i) rank[order[i]] = std::uint32_t(i);
    return g;
}

namespace {

// What each line shows, from the lowest and highest coarse rank in it.
void line_kinds(RowComposer::Op* kinds, const std::uint8_t* lo, const std::uint8_t* hi, std::size_t lines,
                std::uint8_t cq) {
    using Op = RowComposer::Op;
    static_assert(int(Op::old_face) == 0 && int(Op::new_face) == 1 && int(Op::mixed) == 2);
    std::size_t i = 0;
#if defined(__SSE2__)
    // Unsigned bytes compared as signed ones, shifted by 128.
    const __m128i bias = _mm_set1_epi8(char(0x80)), c = _mm_set1_epi8(char(cq ^ 0x80));
    const __m128i one = _mm_set1_epi8(1), two = _mm_set1_epi8(2);
    for (; i + 16 <= lines; i += 16) {
        const __m128i l = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo + i)), bias);
        const __m128i h = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hi + i)), bias);
        const __m128i is_new = _mm_cmplt_epi8(h, c), is_old = _mm_cmpgt_epi8(l, c);
        const __m128i k = _mm_or_si128(_mm_and_si128(is_new, one), _mm_andnot_si128(_mm_or_si128(is_new, is_old), two));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(kinds + i), k);
    }
#endif
    for (; i < lines; ++i) kinds[i] = hi[i] < cq ? Op::new_face : lo[i] > cq ? Op::old_face : Op::mixed;
}

class CellTransition final : public TransitionImpl {
public:
    using TransitionImpl::TransitionImpl;

protected:
    void setup() override;
    void frame(const Surface& s, double p) override;

private:
    void drip(const Surface& s, double p);

    int W_ = 1, H_ = 1;
    int cw_ = 1, ch_ = 1, cols_ = 1, rows_ = 1;
    std::vector<std::uint32_t> rank_;   // reveal order of each cell, row-major
    std::vector<px> mask_;              // one row of cells, see cell_mask
    // Ranks shifted down to below 256, and the lowest and highest of them
    // in each line of 16 pixels of each row of cells: a line of cells all
    // due or all waiting needs no mask.
    int shift_ = 0;
    std::vector<std::uint8_t> coarse_, line_lo_, line_hi_;
    // The cells by rank, and one bit per cell marking, during a frame, the
    // due cells among those whose coarse rank ties with the count's: few
    // enough to mark one by one, and read back without touching full ranks.
    std::vector<std::uint32_t> order_;
    std::vector<std::uint64_t> tie_due_;
    std::vector<RowComposer::Op> kinds_;
    std::vector<std::int32_t> edge_;    // drip: rows of the new face down each pixel column
    std::vector<KeyRange> lines_;
};

void CellTransition::setup() {
    W_ = size_.width();
    H_ = size_.height();
    CellGrid g = cell_grid(effect_, grain_, size_, seed_);
    cw_ = g.cw;
    ch_ = g.ch;
    cols_ = g.cols;
    rows_ = g.rows;
    rank_ = std::move(g.rank);
    mask_.assign(std::size_t(cols_) * std::size_t(cw_) + 4, 0u);
    const int lines = (W_ + 15) / 16;
    kinds_.resize(std::size_t(lines));
    line_lo_.clear();
    line_hi_.clear();
    coarse_.clear();
    if (effect_ == 50 || cols_ == 1) return;
    shift_ = 0;
    while ((std::uint64_t(rank_.size()) - 1) >> shift_ > 255) ++shift_;
    coarse_.resize(rank_.size());
    order_.resize(rank_.size());
    for (std::size_t i = 0; i < rank_.size(); ++i) {
        coarse_[i] = std::uint8_t(rank_[i] >> shift_);
        order_[rank_[i]] = std::uint32_t(i);
    }
    tie_due_.assign((rank_.size() + 63) / 64, 0);
    line_lo_.resize(std::size_t(lines) * rows_);
    line_hi_.resize(std::size_t(lines) * rows_);
    for (int r = 0; r < rows_; ++r) {
        const std::uint8_t* ranks = coarse_.data() + std::size_t(r) * cols_;
        for (int i = 0; i < lines; ++i) {
            const int c0 = 16 * i / cw_, c1 = (std::min(W_, 16 * i + 16) - 1) / cw_;
            const auto [lo, hi] = std::minmax_element(ranks + c0, ranks + c1 + 1);
            line_lo_[std::size_t(r) * lines + i] = *lo;
            line_hi_[std::size_t(r) * lines + i] = *hi;
        }
    }
}

// Column c starts at its delay and reaches the bottom half a run later,
// falling faster as it goes. A row is then the new face where its column's
// edge lies below it: one compare per pixel, no branches.
void CellTransition::drip(const Surface& s, double p) {
    edge_.resize(std::size_t(W_));
    std::int32_t lowest = H_, deepest = 0;
    for (int c = 0; c < cols_; ++c) {
        const double t = std::clamp((p - rank_[std::size_t(c)] / 65536.0) / 0.5, 0.0, 1.0);
        const auto e = std::int32_t(std::lround(H_ * t * t));
        lowest = std::min(lowest, e);
        deepest = std::max(deepest, e);
        const int x0 = c * cw_, x1 = std::min(W_, x0 + cw_);
        std::fill(edge_.begin() + x0, edge_.begin() + x1, e);
    }
    key_ranges(edge_.data(), W_, lines_);
    comp_.full_rows(s, 0, lowest, true);
    for (int y = std::max(lowest, 0); y < std::min<int>(deepest, H_); ++y) comp_.keyed_row(s, y, edge_.data(), y, lines_);
    comp_.full_rows(s, deepest, H_, false);
}

void CellTransition::frame(const Surface& s, double p) {
    if (effect_ == 50) return drip(s, p);
    const auto count = std::uint32_t(p * double(rank_.size()));
    const std::uint32_t cq = count >> shift_;   // count < cells, so below 256
    // A whole cell of 32 pixels or more is worth a copy of its own.
    const int min_run = cw_ >= 32 ? 32 : RowComposer::short_run;
    const auto mark_ties = [&] {
        if (cols_ == 1) return;
        for (std::uint32_t k = cq << shift_; k < count; ++k) tie_due_[order_[k] / 64] ^= std::uint64_t(1) << (order_[k] % 64);
    };
    mark_ties();
    for (int r = 0; r < rows_; ++r) {
        const std::uint32_t* ranks = rank_.data() + std::size_t(r) * cols_;
        const int y0 = r * ch_, y1 = std::min(H_, y0 + ch_);
        if (cols_ == 1) {
            comp_.full_rows(s, y0, y1, ranks[0] < count);
            continue;
        }
        // Lines whose coarse ranks straddle count's are taken as mixed: the
        // mask then decides them exactly.
        const std::size_t lines = kinds_.size();
        line_kinds(kinds_.data(), line_lo_.data() + std::size_t(r) * lines, line_hi_.data() + std::size_t(r) * lines,
                   lines, std::uint8_t(cq));
        const std::uint8_t* coarse = coarse_.data() + std::size_t(r) * cols_;
        comp_.lined_rows(s, y0, y1, kinds_.data(), mask_.data(), min_run, [&](int x0, int x1) {
            const int c0 = x0 / cw_, c1 = (x1 - 1) / cw_;
            cell_mask(mask_.data() + std::ptrdiff_t(c0) * cw_, coarse + c0, std::uint8_t(cq), tie_due_.data(),
                      std::size_t(r) * cols_ + c0, c1 - c0 + 1, cw_);
        });
    }
    mark_ties();   // clears the marks again
}

}  // namespace

std::unique_ptr<Transition> make_cells(int n, int grain, QSize size, std::uint64_t seed) {
    static constexpr std::array owned{33, 37, 38, 39, 50, 60, 61, 62, 63, 64, 65, 66, 67, 90, 91, 92, 93};
    if (std::find(owned.begin(), owned.end(), n) == owned.end()) return nullptr;
    return std::make_unique<CellTransition>(n, grain, size, seed);
}

}  // namespace lv::tx
