// Transitions that reveal the new face cell by cell in a fixed order: random
// lines, bars, blocks and sparkles, the swirls and the ordered blocks. The
// order is drawn once when the run is created (each cell gets a rank), so a
// frame only compares ranks against the progress. The drip is here too: its
// columns run down at their own pace.
#include "platform/transitions/transition_kit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>

namespace lv::tx {
namespace {

// The cells clockwise from the top-left corner, ring by ring towards the
// middle.
void spiral_order(std::vector<std::uint32_t>& order, int cols, int rows) {
    int top = 0, bottom = rows - 1, left = 0, right = cols - 1;
    order.clear();
    order.reserve(std::size_t(cols) * std::size_t(rows));
    const auto add = [&](int r, int c) { order.push_back(std::uint32_t(std::size_t(r) * cols + c)); };
    while (top <= bottom && left <= right) {
        for (int c = left; c <= right; ++c) add(top, c);
        for (int r = top + 1; r <= bottom; ++r) add(r, right);
        if (top < bottom)
            for (int c = right - 1; c >= left; --c) add(bottom, c);
        if (left < right)
            for (int r = bottom - 1; r > top; --r) add(r, left);
        ++top;
        --bottom;
        ++left;
        --right;
    }
}

void ranks_from_order(const std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& rank) {
    rank.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = std::uint32_t(i);
}

// Cell size and count, without the order.
CellGrid cell_grid_shape(int effect, int grain, QSize size) {
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
    g.cols = (W + cw - 1) / cw;
    g.rows = (H + ch - 1) / ch;
    return g;
}

// Puts the cells in order of their keys, ties in cell order, in linear
// time. Each key becomes a 24-bit fraction of the key range with its cell
// number beside it; one pass deals them out by their top 8 bits, and each
// such share, small enough to stay in the cache, is sorted by the other 16
// bits in two passes of a radix sort. Half a million cells take a few
// milliseconds instead of the tenth of a second of a comparison sort. Keys
// closer than a 2^24th of the range may come in cell order, far finer than
// a frame's worth of cells.
void order_by_keys(const std::vector<double>& keys, std::vector<std::uint32_t>& order) {
    const std::size_t n = keys.size();
    order.resize(n);
    if (n == 0) return;
    const auto [lo, hi] = std::minmax_element(keys.begin(), keys.end());
    const double top = double((1u << 24) - 1);
    const double low = *lo, scale = *hi > *lo ? top / (*hi - *lo) : 0.0;
    const auto fraction = [&](std::size_t i) { return std::uint64_t(std::min((keys[i] - low) * scale, top)); };
    std::array<std::uint32_t, 257> share{};   // where each share starts, by the top 8 bits
    for (std::size_t i = 0; i < n; ++i) ++share[(fraction(i) >> 16) + 1];
    std::partial_sum(share.begin(), share.end(), share.begin());
    // Written in full before it is read, so left uninitialised.
    auto dealt = std::make_unique_for_overwrite<std::uint64_t[]>(n);
    std::array<std::uint32_t, 256> next;
    std::copy_n(share.begin(), 256, next.begin());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t q = fraction(i);
        dealt[next[q >> 16]++] = q << 32 | i;
    }
    std::vector<std::uint64_t> sorted;
    for (std::size_t b = 0; b < 256; ++b) {
        std::uint64_t* part = dealt.get() + share[b];
        const std::size_t m = share[b + 1] - share[b];
        sorted.resize(m);
        for (const int shift : {32, 40}) {
            std::array<std::uint32_t, 256> at{};
            for (std::size_t i = 0; i < m; ++i) ++at[(part[i] >> shift) & 255];
            std::exclusive_scan(at.begin(), at.end(), at.begin(), 0u);
            for (std::size_t i = 0; i < m; ++i) sorted[at[(part[i] >> shift) & 255]++] = part[i];
            std::copy(sorted.begin(), sorted.end(), part);
        }
    }
    for (std::size_t i = 0; i < n; ++i) order[i] = std::uint32_t(dealt[i]);
}

}  // namespace

CellGrid cell_grid(int effect, int grain, QSize size, std::uint64_t seed) {
    CellGrid g = cell_grid_shape(effect, grain, size);
    const int cols = g.cols, rows = g.rows;
    const std::size_t n = std::size_t(cols) * rows;
    std::vector<std::uint32_t>& rank = g.rank;

    if (effect == 37 || effect == 38) {   // inwards, or outwards from the middle
        spiral_order(g.order, cols, rows);
        if (effect == 38) std::reverse(g.order.begin(), g.order.end());
        ranks_from_order(g.order, rank);
        return g;
    }
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
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            double& k = keys[std::size_t(r) * cols + c];
            // Position along the direction of travel, 0 at the start side.
            const double down = (r + 0.5) / rows, right = (c + 0.5) / cols;
            switch (effect) {
            case 33: case 39: k = rnd.uniform(); break;
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
    order_by_keys(keys, g.order);
    ranks_from_order(g.order, rank);
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

// Sets the bits of the lines whose cells all have coarse ranks outside
// [from, to]: due, or waiting, at both counts.
void unchanged_lines(std::uint64_t* bits, const std::uint8_t* lo, const std::uint8_t* hi, std::size_t lines,
                     std::uint8_t from, std::uint8_t to) {
    std::fill(bits, bits + (lines + 63) / 64, 0);
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi8(char(0x80));
    const __m128i f = _mm_set1_epi8(char(from ^ 0x80)), t = _mm_set1_epi8(char(to ^ 0x80));
    for (; i + 16 <= lines; i += 16) {
        const __m128i l = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo + i)), bias);
        const __m128i h = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hi + i)), bias);
        const auto outside = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(h, f), _mm_cmpgt_epi8(l, t))));
        bits[i / 64] |= std::uint64_t(outside) << (i % 64);   // i is a multiple of 16
    }
#endif
    for (; i < lines; ++i) bits[i / 64] |= std::uint64_t(hi[i] < from || lo[i] > to) << (i % 64);
}

// Everything a run of the cell families looks up while painting, made
// once for a size.
struct CellTables {
    QSize size;
    CellGrid grid;
    std::vector<px> mask;   // one row of cells, see cell_mask
    // Ranks shifted down to below 256, and the lowest and highest of them
    // in each line of 16 pixels of each row of cells: a line of cells all
    // due or all waiting needs no mask.
    int shift = 0;
    std::vector<std::uint8_t> coarse, line_lo, line_hi;
    std::vector<std::uint8_t> row_lo, row_hi;   // and in each row of cells
    // One bit per cell marking, during a frame, the due cells among those
    // whose coarse rank ties with the count's: few enough to mark one by one
    // (in the grid's order), and read back without touching full ranks.
    std::vector<std::uint64_t> tie_due;
};

CellTables make_tables(int effect, int grain, QSize size, std::uint64_t seed) {
    CellTables t;
    t.size = size;
    t.grid = cell_grid(effect, grain, size, seed);
    const CellGrid& g = t.grid;
    const std::vector<std::uint32_t>& rank = g.rank;
    t.mask.assign(std::size_t(g.cols) * std::size_t(g.cw) + 4, 0u);
    if (effect == 50 || g.cols == 1) return t;
    const int W = size.width(), lines = (W + 15) / 16;
    while ((std::uint64_t(rank.size()) - 1) >> t.shift > 255) ++t.shift;
    t.coarse.resize(rank.size());
    for (std::size_t i = 0; i < rank.size(); ++i) t.coarse[i] = std::uint8_t(rank[i] >> t.shift);
    // A word more than the cells need: marks are read eight bytes at a time.
    t.tie_due.assign((rank.size() + 63) / 64 + 1, 0);
    t.line_lo.resize(std::size_t(lines) * g.rows);
    t.line_hi.resize(std::size_t(lines) * g.rows);
    t.row_lo.resize(std::size_t(g.rows));
    t.row_hi.resize(std::size_t(g.rows));
    for (int r = 0; r < g.rows; ++r) {
        const std::uint8_t* ranks = t.coarse.data() + std::size_t(r) * g.cols;
        const auto [row_lo, row_hi] = std::minmax_element(ranks, ranks + g.cols);
        t.row_lo[std::size_t(r)] = *row_lo;
        t.row_hi[std::size_t(r)] = *row_hi;
        for (int i = 0; i < lines; ++i) {
            const int c0 = 16 * i / g.cw, c1 = (std::min(W, 16 * i + 16) - 1) / g.cw;
            const auto [lo, hi] = std::minmax_element(ranks + c0, ranks + c1 + 1);
            t.line_lo[std::size_t(r) * lines + i] = *lo;
            t.line_hi[std::size_t(r) * lines + i] = *hi;
        }
    }
    return t;
}

class CellTransition final : public TransitionImpl {
public:
    CellTransition(int effect_number, int grain, QSize size, std::uint64_t seed);
    bool ready() const override { return ahead_.ready(); }

protected:
    void setup() override;
    void frame(const Surface& s, double p) override;

private:
    void drip(const Surface& s, double p);
    bool paint_crossed(const Surface& s);
    // The cells of a row of cells that changed since the frame shown, in
    // order.
    struct Changed {
        int row = 0, count = 0;
        std::vector<std::uint16_t> cells;
    };
    // cq, bq: the coarse ranks of this frame's count and of the frame shown's.
    bool changed_cells(int r, std::uint8_t cq, std::uint8_t bq, Changed& list);
    void write_cells(const Surface& s, const Changed& list, bool use_new);

    Ahead<CellTables> ahead_;

    int W_ = 1, H_ = 1;
    CellTables t_;
    std::vector<RowComposer::Op> kinds_;
    std::vector<std::uint64_t> unchanged_;   // one bit per line of a row
    std::vector<std::int32_t> edge_;    // drip: rows of the new face down each pixel column
    std::vector<std::int32_t> edge_before_;   // and as the frame shown left them
    // drip: per line of 16 pixels, the rows its edges crossed since the frame shown
    struct Crossed {
        std::int32_t lo, hi;
    };
    std::vector<Crossed> moved_;
    // drip: the rows where a line starts or stops being crossed, and the
    // lines crossed at the row being painted (a bit each)
    struct Toggle {
        std::int32_t row, line;
    };
    std::vector<Toggle> toggles_;
    std::vector<std::uint64_t> crossing_;
    Changed changed_;   // a row of cells's changes
    std::vector<std::uint16_t> groups_;   // which of each sixteen cells of a row changed
    // The due cells among those whose coarse rank ties with the frame
    // shown's count, marked as tie_due marks this frame's.
    std::vector<std::uint64_t> shown_due_;
};

CellTransition::CellTransition(int effect_number, int grain, QSize size, std::uint64_t seed)
    : TransitionImpl(effect_number, grain, size, seed) {
    // Even a few thousand cells take a good part of a frame to order: every
    // run has its tables made on another thread before its first frame is due.
    ahead_.start([=] { return make_tables(effect_number, grain, size, seed); });
}

void CellTransition::setup() {
    W_ = size_.width();
    H_ = size_.height();
    if (ahead_.pending()) t_ = ahead_.take();
    if (t_.size != size_) t_ = make_tables(effect_, grain_, size_, seed_);
    kinds_.resize(std::size_t((W_ + 15) / 16));
    unchanged_.resize((kinds_.size() + 63) / 64);
}

// Column c starts at its delay and reaches the bottom half a run later,
// falling faster as it goes. A row is then the new face where its column's
// edge lies below it: one compare per pixel, no branches. The rows between
// the shallowest and the deepest edge are selected whole, from both faces:
// a row planned as copies and selects by lines of 16 costs more than that
// straight pass, even with wide columns.
void CellTransition::drip(const Surface& s, double p) {
    const CellGrid& g = t_.grid;
    edge_.resize(std::size_t(W_));
    std::int32_t lowest = H_, deepest = 0;
    for (int c = 0; c < g.cols; ++c) {
        const double t = std::clamp((p - g.rank[std::size_t(c)] / 65536.0) / 0.5, 0.0, 1.0);
        const auto e = std::int32_t(std::lround(H_ * t * t));
        lowest = std::min(lowest, e);
        deepest = std::max(deepest, e);
        const int x0 = c * g.cw, x1 = std::min(W_, x0 + g.cw);
        std::fill(edge_.begin() + x0, edge_.begin() + x1, e);
    }
    const bool painted = shown_ > 0 && edge_before_.size() == edge_.size() && paint_crossed(s);
    edge_before_ = edge_;
    if (painted) return;
    comp_.full_rows(s, 0, lowest, true);
    for (int y = std::max(lowest, 0); y < std::min<int>(deepest, H_); ++y)
        put_above(s.out_row(y), s.new_row(y), s.old_row(y), edge_.data(), y, W_, s.stream);
    comp_.full_rows(s, deepest, H_, false);
}

// Over the frame shown, only the pixels whose column's edge crossed their
// row since are written, each line of 16 columns between the rows its edges
// crossed: a column moves a tenth of the picture or so a frame, so most of
// each row stays as it is. The lines keep to the output's cache lines, so
// that a line of a row costs one trip to memory for the output and one for
// the face. Those trips come in an order the processor cannot foresee,
// and cost several times what the same pixels cost in a whole frame, which
// streams: false, with nothing written, when the lines' crossed rows cover
// more than a tenth of the picture, as in the middle of most runs.
bool CellTransition::paint_crossed(const Surface& s) {
    const int off = int((reinterpret_cast<std::uintptr_t>(s.out) / sizeof(px)) % 16);
    const std::size_t lines = std::size_t((W_ + off + 15) / 16);
    const auto line_x0 = [&](std::size_t i) { return std::max(0, int(i) * 16 - off); };
    const auto line_x1 = [&](std::size_t i) { return std::min(W_, int(i) * 16 + 16 - off); };
    moved_.resize(lines);
    std::int64_t area = 0;
    int top = H_, bottom = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        std::int32_t lo = H_, hi = 0;
        for (int x = line_x0(i); x < line_x1(i); ++x) {
            const std::int32_t a = edge_before_[std::size_t(x)], b = edge_[std::size_t(x)];
            if (a == b) continue;
            lo = std::min(lo, std::min(a, b));
            hi = std::max(hi, std::max(a, b));
        }
        lo = std::max(lo, 0);
        hi = std::min(hi, H_);
        moved_[i] = {lo, hi};
        if (lo >= hi) continue;
        area += hi - lo;
        top = std::min(top, lo);
        bottom = std::max(bottom, hi);
    }
    if (area * 10 > std::int64_t(lines) * H_) return false;
    // The lines crossed at a row change only where some line's rows begin
    // or end: one bit per line, flipped there.
    toggles_.clear();
    for (std::size_t i = 0; i < lines; ++i)
        if (moved_[i].lo < moved_[i].hi) {
            toggles_.push_back({moved_[i].lo, std::int32_t(i)});
            toggles_.push_back({moved_[i].hi, std::int32_t(i)});
        }
    std::sort(toggles_.begin(), toggles_.end(), [](const Toggle& a, const Toggle& b) { return a.row < b.row; });
    crossing_.assign((lines + 63) / 64, 0);
    const std::uint64_t* in = crossing_.data();
    auto next = toggles_.begin();
    for (int y = top; y < bottom; ++y) {
        for (; next != toggles_.end() && next->row == y; ++next)
            crossing_[std::size_t(next->line) / 64] ^= std::uint64_t(1) << (next->line % 64);
        // Each run of crossed lines is written in one go.
        for (std::size_t i = next_bit(in, 0, lines, true); i < lines;) {
            const std::size_t j = next_bit(in, i, lines, false);
            const int x0 = line_x0(i), x1 = line_x1(j - 1);
            put_crossed(s.out_row(y) + x0, s.new_row(y) + x0, s.old_row(y) + x0, edge_.data() + x0,
                        edge_before_.data() + x0, y, x1 - x0);
            i = next_bit(in, j, lines, true);
        }
    }
    return true;
}

// Lists the cells of row r of cells that changed since the frame shown: a
// cell changed when it is due at one of the two counts and not at the
// other, which the coarse ranks and the marks of the two counts' buckets
// tell without reading full ranks (with the finest cells, those reads cost
// as much as the writes). Sixteen cells are looked at a time without a
// branch on what they hold: at the finest grains most groups of a row hold a
// changed cell or two, and a branch mispredicted per group cost a good part
// of a frame. false when they would cover more than a quarter of the row: a
// few cells read from one face cost far less than the whole row read from
// both, many do not.
bool CellTransition::changed_cells(int r, std::uint8_t cq, std::uint8_t bq, Changed& list) {
    const CellGrid& g = t_.grid;
    const int cw = g.cw, cols = g.cols;
    if (cols > 0xFFFF) return false;
    const std::size_t first = std::size_t(r) * std::size_t(cols);
    const std::uint8_t* coarse = t_.coarse.data() + first;
    const auto* now = reinterpret_cast<const unsigned char*>(t_.tie_due.data());
    const auto* then = reinterpret_cast<const unsigned char*>(shown_due_.data());
    list.row = r;
    list.count = 0;
    const std::uint8_t lo = std::min(cq, bq), hi = std::max(cq, bq);
    // Rows of cells none of whose ranks lie between the two counts'.
    if (t_.row_hi[std::size_t(r)] < lo || t_.row_lo[std::size_t(r)] > hi) return true;
    list.cells.resize(std::size_t(cols) + 16);
    groups_.resize(std::size_t(cols) / 16);
    std::uint16_t* out = list.cells.data();
    int n = 0;
    // Bits i to i + 15 of a set of marks (padded by a word).
    const auto marks16 = [](const unsigned char* marks, std::size_t i) {
        std::uint64_t w;
        std::memcpy(&w, marks + i / 8, sizeof w);
        return unsigned(w >> (i % 8)) & 0xFFFFu;
    };
    int c = 0;
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi8(char(0x80));
    const __m128i cn = _mm_set1_epi8(char(cq ^ 0x80)), cb = _mm_set1_epi8(char(bq ^ 0x80));
    for (; c + 16 <= cols; c += 16) {
        const __m128i k = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coarse + c)), bias);
        const std::size_t i = first + std::size_t(c);
        const auto due_now = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(k, cn))) |
                             (unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(k, cn))) & marks16(now, i));
        const auto due_then = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(k, cb))) |
                              (unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(k, cb))) & marks16(then, i));
        groups_[std::size_t(c) / 16] = std::uint16_t(due_now ^ due_then);
    }
    n = set_bits(out, groups_.data(), c / 16);
#endif
    for (; c < cols; ++c) {
        const std::size_t i = first + std::size_t(c);
        const std::uint8_t k = coarse[c];
        const bool due_now = k < cq || (k == cq && ((now[i / 8] >> (i % 8)) & 1));
        const bool due_then = k < bq || (k == bq && ((then[i / 8] >> (i % 8)) & 1));
        if (due_now != due_then) out[n++] = std::uint16_t(c);
    }
    list.count = n;
    return n * cw <= W_ / 4;
}

// Writes the listed cells from the face they now show (all one face: the
// count moved one way), row by row; neighbouring cells wider than two
// pixels in one copy.
void CellTransition::write_cells(const Surface& s, const Changed& list, bool use_new) {
    const CellGrid& g = t_.grid;
    const int cw = g.cw;
    const int y0 = list.row * g.ch, y1 = std::min(H_, y0 + g.ch);
    const std::uint16_t* cells = list.cells.data();
    const int count = list.count;
    for (int y = y0; y < y1; ++y) {
        px* d = s.out_row(y);
        const px* f = s.row(use_new, y);
        for (int k = 0; k < count; ++k) {
            const int x = cells[k] * cw;
            if (cw == 2 && x + 2 <= W_) {
                std::uint64_t two;
                std::memcpy(&two, f + x, sizeof two);
                std::memcpy(d + x, &two, sizeof two);
                continue;
            }
            int last = k;
            while (last + 1 < count && cells[last + 1] == cells[last] + 1) ++last;
            const int x1 = std::min(W_, (cells[last] + 1) * cw);
            copy_row(d + x, f + x, x1 - x);
            k = last;
        }
    }
}

void CellTransition::frame(const Surface& s, double p) {
    if (effect_ == 50) return drip(s, p);
    const CellGrid& g = t_.grid;
    const int cw = g.cw, cols = g.cols;
    const auto count = std::uint32_t(p * double(g.rank.size()));
    const std::uint32_t cq = count >> t_.shift;   // count < cells, so below 256
    // Over the frame shown, only the cells ranked between its count and
    // this one change: rows of cells without any are left alone.
    const bool since = shown_ > 0;
    const auto before = since ? std::uint32_t(shown_ * double(g.rank.size())) : 0u;
    const auto from = std::uint8_t(std::min(cq, before >> t_.shift));
    const auto to = std::uint8_t(std::max(cq, before >> t_.shift));
    // A whole cell of 32 pixels or more is worth a copy of its own.
    const int min_run = cw >= 32 ? 32 : RowComposer::short_run;
    const auto mark_ties = [&] {
        if (cols == 1) return;
        for (std::uint32_t k = cq << t_.shift; k < count; ++k)
            t_.tie_due[g.order[k] / 64] ^= std::uint64_t(1) << (g.order[k] % 64);
        if (!since) return;
        for (std::uint32_t k = (before >> t_.shift) << t_.shift; k < before; ++k)
            shown_due_[g.order[k] / 64] ^= std::uint64_t(1) << (g.order[k] % 64);
    };
    if (since && count == before) return;
    if (since) shown_due_.resize(t_.tie_due.size());
    mark_ties();
    const auto bq = std::uint8_t(before >> t_.shift);
    for (int r = 0; r < g.rows; ++r) {
        const std::uint32_t* ranks = g.rank.data() + std::size_t(r) * cols;
        const int y0 = r * g.ch, y1 = std::min(H_, y0 + g.ch);
        if (cols == 1) {
            if (!since || (ranks[0] < count) != (ranks[0] < before)) comp_.full_rows(s, y0, y1, ranks[0] < count);
            continue;
        }
        if (since && changed_cells(r, std::uint8_t(cq), bq, changed_)) {
            write_cells(s, changed_, count > before);
            continue;
        }
        // Lines whose coarse ranks straddle count's are taken as mixed: the
        // mask then decides them exactly.
        const std::size_t lines = kinds_.size();
        const std::uint8_t* lo = t_.line_lo.data() + std::size_t(r) * lines;
        const std::uint8_t* hi = t_.line_hi.data() + std::size_t(r) * lines;
        line_kinds(kinds_.data(), lo, hi, lines, std::uint8_t(cq));
        if (since) {
            unchanged_lines(unchanged_.data(), lo, hi, lines, from, to);
            if (!RowComposer::keep_unchanged(kinds_.data(), lines, unchanged_.data())) continue;
        }
        const std::uint8_t* coarse = t_.coarse.data() + std::size_t(r) * cols;
        comp_.lined_rows(s, y0, y1, kinds_.data(), t_.mask.data(), min_run, [&](int x0, int x1) {
            const int c0 = x0 / cw, c1 = (x1 - 1) / cw;
            cell_mask(t_.mask.data() + std::ptrdiff_t(c0) * cw, coarse + c0, std::uint8_t(cq), t_.tie_due.data(),
                      std::size_t(r) * cols + c0, c1 - c0 + 1, cw);
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
