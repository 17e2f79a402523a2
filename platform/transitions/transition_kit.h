#pragma once
// Building blocks shared by the transition families. A frame is written
// straight into the output row by row: plain copies for runs of one face, a
// branch-free masked select where runs get short, byte shuffles for the
// scaled families, so that a frame costs about as much as one full copy of
// the picture.
#include "platform/transitions/transitions.h"

#include <QImage>
#include <QRect>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lv::tx {

using px = std::uint32_t;

// The three 32-bit pictures of one frame, all of the same size. Pictures
// too large for the caches are written with streaming stores (stream), so
// that the output neither has to be read in before it is overwritten nor
// pushes the faces out of the cache; the scratch row is for families that
// put a row together before writing it out (store_row).
struct Surface {
    px* out = nullptr;
    const px* old_face = nullptr;
    const px* new_face = nullptr;
    std::ptrdiff_t out_stride = 0, old_stride = 0, new_stride = 0;   // in pixels
    int w = 0, h = 0;
    qint64 old_key = 0, new_key = 0;   // change whenever a face's pixels change
    const QImage* old_image = nullptr;  // the faces themselves, for work handed
    const QImage* new_image = nullptr;  // to another thread (a shallow copy keeps them)
    px* scratch = nullptr;             // one row
    bool stream = false;

    px* out_row(int y) const { return out + y * out_stride; }
    const px* old_row(int y) const { return old_face + y * old_stride; }
    const px* new_row(int y) const { return new_face + y * new_stride; }
    const px* row(bool use_new, int y) const { return use_new ? new_row(y) : old_row(y); }
};

// Half-open pixel run [x0, x1) of one row.
struct Span {
    int x0 = 0, x1 = 0;
    bool operator==(const Span&) const = default;
};
using Spans = std::vector<Span>;

// Appends [a, b) rounded to pixel boundaries and clipped to [0, w).
void add_span(Spans& spans, double a, double b, int w);
// Sorts and merges overlapping or touching runs.
void normalize(Spans& spans);

// Row helpers.
// A plain vector loop rather than memcpy: for rows of a few kilobytes some
// C libraries pick a string-move instruction that runs several times slower
// on some processors when source and destination share their page offset,
// which is the usual case for pictures of one size.
inline void copy_row(px* d, const px* s, int n) {
    int i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 4));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 8));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 4), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 12), e);
    }
    for (; i + 4 <= n; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
#endif
    for (; i < n; ++i) d[i] = s[i];
}

// Asks for the cache lines of a run a few rows ahead of the one being
// copied: frames read runs from two pictures by turns, which the hardware's
// own stream detection picks up late.
constexpr int prefetch_distance = 3;   // rows
inline void prefetch(const px* p, int n) {
#if defined(__SSE2__)
    for (int i = 0; i < n; i += 16) _mm_prefetch(reinterpret_cast<const char*>(p + i), _MM_HINT_T0);
#else
    (void)p;
    (void)n;
#endif
}

// Output writers: n pixels into d, with streaming stores when stream is set
// (d may have any alignment).
void put_copy(px* d, const px* s, int n, bool stream);
// mask ? a : b, pixel by pixel; mask pixels are all ones or all zeros.
void put_select(px* d, const px* a, const px* b, const px* mask, int n, bool stream);
// key > level ? a : b, pixel by pixel.
void put_above(px* d, const px* a, const px* b, const std::int32_t* key, std::int32_t level, int n, bool stream);

// Where (key > level) != (was > level), key > level ? a : b; the other
// pixels of d are left as they are (plain stores, only the faces needed
// read).
void put_crossed(px* d, const px* a, const px* b, const std::int32_t* key, const std::int32_t* was, std::int32_t level,
                 int n);
// Where changed, now ? a : b (mask pixels all ones or all zeros); the
// other pixels of d are left as they are.
void put_changed(px* d, const px* a, const px* b, const px* now, const px* changed, int n);

// Writes a whole output row from row (the scratch row or a face's row).
void store_row(const Surface& s, int y, const px* row);
void gather_row(px* d, const px* s, const int* xmap, int n);               // d[i] = s[xmap[i]]
// Darkens a run to three quarters, keeping alpha (the roll's curved edge).
void shade_row(px* d, int n);

// Cell masks: mask[x] = all ones where the cell holding x is due, for
// cells cw pixels wide. Cells are ranked coarsely (below 256, a quarter of
// the bytes of a full rank to read): a cell is due when its coarse rank is
// below cq, and when it equals cq, when its bit in tie_due is set (bits
// counted from the cell first). Up to 3 pixels past the last cell are
// written too (the next cell's, or scratch).
void cell_mask(px* mask, const std::uint8_t* coarse, std::uint8_t cq, const std::uint64_t* tie_due,
               std::size_t first, int cells, int cw);

// Writes 16 * g + j for each set bit j of masks[g], g below groups, in
// order, and returns how many; out must have room for sixteen more.
int set_bits(std::uint16_t* out, const std::uint16_t* masks, int groups);

// The first bit from i on (bit i % 64 of word i / 64) that is set, or clear
// (set false); n when none is before n.
inline std::size_t next_bit(const std::uint64_t* bits, std::size_t i, std::size_t n, bool set) {
    while (i < n) {
        const std::uint64_t rest = (set ? bits[i / 64] : ~bits[i / 64]) >> (i % 64);
        if (rest) return std::min(n, i + std::size_t(__builtin_ctzll(rest)));
        i = (i / 64 + 1) * 64;
    }
    return n;
}

// Writes rows of the output from the two faces, the new face where a row's
// description says so. Runs of one face are plain copies; stretches of
// short runs are done with one masked select, which beats many tiny copies.
// A row's plan is kept while consecutive rows share it.
class RowComposer {
public:
    // New face inside the spans (in order of their starts, as normalize
    // leaves them), old face elsewhere. stable: the caller
    // keeps new_spans unchanged until the next frame, so an unchanged
    // address means unchanged runs.
    void rows(const Surface& s, int y0, int y1, const Spans& new_spans, bool stable = false);
    void row(const Surface& s, int y, const Spans& new_spans, bool stable = false) {
        rows(s, y, y + 1, new_spans, stable);
    }
    // Runs of one face shorter than this many pixels are not worth a copy
    // of their own: between selects, a handful of short copies from both
    // faces by turns costs more than reading both faces whole.
    static constexpr int short_run = 64;
    // Beside a select, a run of one face shorter than this is selected too:
    // rows of many runs (narrow slats) are then a few long selects rather
    // than a copy per run, whose starts and ends cost more than the
    // second face's pixels read by the select.
    static constexpr int long_run = 256;

    // What a line of 16 pixels of a row shows: all of one face, or both;
    // keep: the output already shows the right pixels there (left alone).
    enum class Op : std::uint8_t { old_face, new_face, mixed, keep };
    // Rows described line by line (kinds: one per line of 16 pixels). The
    // lines that show both faces select by mask (s.w pixels, all ones for the
    // new face), which fill(x0, x1) is asked to write for just those runs.
    // Runs of one face shorter than min_run are selected too.
    template <class Fill>
    void lined_rows(const Surface& s, int y0, int y1, const Op* kinds, const px* mask, int min_run, Fill&& fill) {
        plan_lines(kinds, s.w, min_run);
        for (const Step& st : steps_)
            if (st.op == Op::mixed) fill(st.x0, st.x1);
        run(s, y0, y1, mask);
    }
    // Marks as kept the stretches of lines, sixteen or more long, whose bit
    // in unchanged is set (bit i % 64 of word i / 64); shorter ones are
    // written with the rest, as a piece per line costs more than the stream
    // it breaks. False when every line is unchanged.
    static bool keep_unchanged(Op* kinds, std::size_t lines, const std::uint64_t* unchanged);
    void full_rows(const Surface& s, int y0, int y1, bool use_new);
    void new_frame() { stable_ptr_ = nullptr; }

private:
    struct Step {
        int x0, x1;
        Op op;
    };
    void add_step(int x0, int x1, Op op, int min_run);
    void select_beside_selects();
    void plan(const Spans& spans, int w);
    // Plans from the kind of each line of 16 pixels.
    void plan_lines(const Op* kinds, int w, int min_run);
    // Writes rows [y0, y1) after the plan; mixed steps select by mask.
    void run(const Surface& s, int y0, int y1, const px* mask);

    Spans cached_;
    int cached_w_ = -1;
    const Spans* stable_ptr_ = nullptr;
    std::vector<Step> steps_;
    std::vector<Op> lined_kinds_;   // what the last plan_lines planned, for w and min run
    int lined_w_ = -1, lined_min_run_ = 0;
    std::vector<px> mask_;
};

// A stretch [x0, x1) of some output rows taken from a face shifted by
// (dx, dy): out(x, y) = face(x + dx, y + dy).
struct Stretch {
    int x0, x1;
    bool use_new;
    int dx = 0, dy = 0;
};
// Paints rows [y0, y1) from stretches that together cover each row.
void paint_stretches(const Surface& s, int y0, int y1, std::initializer_list<Stretch> stretches);

// Nearest-neighbour scaling of rows that all share one column map. Where
// four neighbouring output pixels come from within eight source pixels (a
// shrink by no more than about half), they are picked with byte shuffles
// (or eight from sixteen, or sixteen from 32, with wider permutes), which is
// several times quicker than fetching them one by one.
class RowScaler {
public:
    // xmap: source column of each output pixel. lead: pixels to fetch one
    // by one before the first block (so that the blocks can meet the cache
    // lines of an output row, see run_streamed).
    void prepare(std::vector<int> xmap, int src_width, int lead = 0);
    void run(px* d, const px* s) const;
    // Writes the row with streaming stores, straight into the output row d
    // when it is aligned for the blocks (d + lead on a cache line) and a
    // path does so; false (nothing written) otherwise.
    bool run_streamed(px* d, const px* s) const;

    // Four output pixels: byte-shuffle masks over the eight source pixels
    // from base, or (shuffle false) fetched one by one.
    struct Block {
        int base = 0;
        bool shuffle = false;
        alignas(16) std::uint8_t lo[16] = {};
        alignas(16) std::uint8_t hi[16] = {};
    };
    // Eight output pixels picked from the sixteen source pixels from base
    // (on processors with 256-bit permutes), or fetched one by one. Each
    // pixel's place among the sixteen is one byte: a row's blocks are read
    // once per row, and at a few bytes each they stay out of the way of the
    // face's pixels in the nearest cache.
    struct Wide {
        int base = 0;
        bool permute = false;
        std::uint8_t index[8] = {};
    };

private:
    std::vector<int> xmap_;
    int contiguous_from_ = -1;   // >= 0: the map is one run of source columns from here
    std::vector<Block> blocks_;
    std::vector<Wide> wide_;
    std::vector<int> bases_;   // 512-bit: first source column of each sixteen output pixels, -1: one by one
    int lead_ = 0;
    int align_ = 0;   // bytes the blocks' stores want, 0: no streaming path
};

// The widest processor extension the row helpers may use, in bits: 512
// (default, whatever the processor has), 256, 128 or 0; lets tests check
// every path on one machine.
void limit_vector_bits(int bits);

// Floors v to a multiple of step, clamped to [0, limit].
int quantize(double v, int step, int limit);

// Small, fast generator for the random orders, seeded once per run.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();   // [0, 1)
private:
    std::uint64_t state_;
};

// Work a run can do before its first frame (cell orders, memory for copies
// of a face) is done on a thread of its own from the moment the run is
// created, so that the window's thread finds it ready instead of stalling.
void start_preparing(std::function<void()> work);
template <class T>
class Ahead {
public:
    Ahead() = default;
    Ahead(const Ahead&) = delete;
    Ahead& operator=(const Ahead&) = delete;
    ~Ahead() {
        if (unwanted_) unwanted_->store(true);
    }
    template <class Make>
    void start(Make make) {
        auto unwanted = unwanted_ = std::make_shared<std::atomic<bool>>(false);
        // A run gone before its work was begun has it skipped.
        auto task = std::make_shared<std::packaged_task<T()>>(
            [unwanted, make = std::move(make)] { return unwanted->load() ? T{} : make(); });
        result_ = task->get_future();
        start_preparing([task] { (*task)(); });
    }
    bool ready() const { return !result_.valid() || result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
    bool pending() const { return result_.valid(); }
    T take() { return result_.get(); }   // waits for it; once

private:
    std::future<T> result_;
    std::shared_ptr<std::atomic<bool>> unwanted_;
};

// Common frame of every transition: checks the pictures, takes care of the
// two ends of the run (exact old and new faces) and hands the inner frames
// to the family.
class TransitionImpl : public Transition {
public:
    TransitionImpl(int effect_number, int grain, QSize size, std::uint64_t seed);
    void paint(QImage& out, const QImage& old_face, const QImage& new_face, double p) final;

protected:
    // Called once the size is known, and again should it change.
    virtual void setup() {}
    // 0 < p < 1: paint every pixel of the output, or, where shown_ says
    // that the output holds this run's last frame, only the pixels that
    // differ from it.
    virtual void frame(const Surface& s, double p) = 0;

    // The progress of the frame the output holds, when it holds the last
    // frame this run painted, an inner one, over the same faces, untouched
    // since; otherwise -1. A display keeps its output from tick to tick, so
    // families whose frames differ little from one to the next write only
    // what changed: a wipe's edge moves a little from tick to tick, and
    // rows where nothing changes need not be touched at all.
    double shown_ = -1;

    int effect_;
    int grain_;
    QSize size_;
    std::uint64_t seed_;
    RowComposer comp_;

private:
    struct Prepared {
        qint64 key = 0;
        QImage::Format format = QImage::Format_Invalid;
        QSize size;
        QImage image;
    };
    QImage prepare(const QImage& face, QImage::Format fmt, QSize sz, Prepared& cache);
    Prepared old_cache_, new_cache_;
    std::vector<px> scratch_;
    bool set_up_ = false;
    // What the output held after the last frame: its key (any write to the
    // picture since changes it), the faces' keys and the progress; p -1
    // after the ends, which are painted whole.
    qint64 out_key_ = 0, old_key_ = 0, new_key_ = 0;
    double painted_ = -1;
};

// The cells of a cell family (random lines, bars, blocks, sparkles, swirls,
// drip): cell size, cell count, and the reveal rank of each cell, row-major
// (for the drip: each column's start delay in 1/65536 of the run), and the
// cells in order of their ranks (empty for the drip).
struct CellGrid {
    int cw = 1, ch = 1, cols = 1, rows = 1;
    std::vector<std::uint32_t> rank, order;
};
CellGrid cell_grid(int effect_number, int grain, QSize size, std::uint64_t seed);

// Family factories; each returns nullptr for numbers it does not own.
std::unique_ptr<Transition> make_shape(int effect_number, int grain, QSize size, std::uint64_t seed);
std::unique_ptr<Transition> make_motion(int effect_number, int grain, QSize size, std::uint64_t seed);
std::unique_ptr<Transition> make_cells(int effect_number, int grain, QSize size, std::uint64_t seed);

}  // namespace lv::tx
