#include "platform/transitions/transitions.h"

#include "platform/transitions/transition_kit.h"

#include <QPainter>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace lv {

bool has_transition(int effect_number) {
    return (effect_number >= 1 && effect_number <= 50) || (effect_number >= 52 && effect_number <= 81) ||
           (effect_number >= 90 && effect_number <= 113);
}

// Speed 0 is the quickest run (0.3 s); the time grows with the square root of
// the speed, so the defaults (0..100) stay between 0.3 and 3 s while the
// slowest setting (255) still ends after about 4.6 s.
int transition_duration_ms(int effect_number, double speed, int /*grain*/) {
    if (!has_transition(effect_number)) return 0;
    if (!(speed > 0)) speed = 0;   // also catches NaN
    speed = std::min(speed, 255.0);
    return static_cast<int>(std::lround(300.0 + 270.0 * std::sqrt(speed)));
}

Transition::~Transition() = default;

bool Transition::ready() const { return true; }
bool Transition::preparing() const { return false; }

namespace {

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Each run draws its own seed: its random pattern is fixed from creation on,
// whatever progress values the caller asks for. The process's shared random
// source is left alone, so transitions never disturb the effect choice.
std::uint64_t next_seed() {
    static std::atomic<std::uint64_t> counter{0};
    static const std::uint64_t base = [] {
        std::random_device rd;
        return (std::uint64_t(rd()) << 32) ^ rd();
    }();
    return splitmix(base ^ splitmix(counter.fetch_add(1)));
}

}  // namespace

std::unique_ptr<Transition> Transition::create(int effect_number, int grain, QSize size) {
    if (!has_transition(effect_number)) return nullptr;
    grain = std::clamp(grain, 1, 255);
    size = size.expandedTo(QSize(1, 1));
    const std::uint64_t seed = next_seed();
    if (auto t = tx::make_shape(effect_number, grain, size, seed)) return t;
    if (auto t = tx::make_motion(effect_number, grain, size, seed)) return t;
    if (auto t = tx::make_cells(effect_number, grain, size, seed)) return t;
    return nullptr;
}

namespace tx {

void add_span(Spans& spans, double a, double b, int w) {
    if (!(b > a)) return;
    const double lo = std::max(a, 0.0), hi = std::min(b, double(w));
    if (!(hi > lo)) return;
    const int x0 = int(std::lround(lo)), x1 = int(std::lround(hi));
    if (x1 > x0) spans.push_back({x0, x1});
}

void normalize(Spans& spans) {
    if (spans.size() < 2) return;
    const auto by_start = [](const Span& a, const Span& b) { return a.x0 < b.x0; };
    if (!std::is_sorted(spans.begin(), spans.end(), by_start)) std::sort(spans.begin(), spans.end(), by_start);
    std::size_t k = 0;
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].x0 <= spans[k].x1)
            spans[k].x1 = std::max(spans[k].x1, spans[i].x1);
        else
            spans[++k] = spans[i];
    }
    spans.resize(k + 1);
}

// Two threads, kept a while between runs, are enough for the controls that
// start a reveal together.
void start_preparing(std::function<void()> work) {
    struct Pool : QThreadPool {
        Pool() { setMaxThreadCount(2); }
    };
    static Pool pool;
    pool.start(std::move(work));
}

int quantize(double v, int step, int limit) {
    if (!(v > 0)) return 0;
    step = std::max(step, 1);
    const double q = std::floor(v / step) * step;
    return int(std::clamp(q, 0.0, double(limit)));
}

std::uint64_t Random::next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return splitmix(state_);
}

double Random::uniform() {
    return double(next() >> 11) * (1.0 / 9007199254740992.0);
}

TransitionImpl::TransitionImpl(int effect_number, int grain, QSize size, std::uint64_t seed)
    : effect_(effect_number), grain_(grain), size_(size), seed_(seed) {}

namespace {

bool is_32bit(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

}  // namespace

QImage TransitionImpl::prepare(const QImage& face, QImage::Format fmt, QSize sz, Prepared& cache) {
    if (!face.isNull() && face.format() == fmt && face.size() == sz) return face;
    const qint64 key = face.cacheKey();
    if (!cache.image.isNull() && cache.key == key && cache.format == fmt && cache.size == sz) return cache.image;
    // A face of another format or size (should a caller hand one in) is
    // converted once per run and placed at the top left, like a picture
    // drawn into the control.
    QImage img(sz, fmt);
    img.fill(fmt == QImage::Format_RGB32 ? Qt::black : Qt::transparent);
    if (!face.isNull()) {
        QPainter painter(&img);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, face);
    }
    cache = Prepared{key, fmt, sz, img};
    return img;
}

void TransitionImpl::paint(QImage& out, const QImage& old_face, const QImage& new_face, double p) {
    if (out.isNull()) {
        const QImage::Format f = is_32bit(new_face.format()) ? new_face.format() : QImage::Format_ARGB32_Premultiplied;
        out = QImage(size_, f);
    }
    const QSize sz = out.size();
    if (sz != size_ || !set_up_) {
        size_ = sz;
        setup();
        set_up_ = true;
    }
    const bool direct = is_32bit(out.format());
    const QImage::Format fmt = direct ? out.format() : QImage::Format_ARGB32_Premultiplied;
    // Shallow copies: should out share its data with a face, writing to it
    // detaches it instead of changing the face under our feet.
    const QImage o = prepare(old_face, fmt, sz, old_cache_);
    const QImage n = prepare(new_face, fmt, sz, new_cache_);
    QImage work = direct ? QImage() : QImage(sz, fmt);
    QImage& target = direct ? out : work;
    // Read before bits() below counts as a write.
    const bool kept = direct && painted_ > 0 && out.cacheKey() == out_key_;

    Surface s;
    s.out = reinterpret_cast<px*>(target.bits());
    s.old_face = reinterpret_cast<const px*>(o.constBits());
    s.new_face = reinterpret_cast<const px*>(n.constBits());
    s.out_stride = target.bytesPerLine() / 4;
    s.old_stride = o.bytesPerLine() / 4;
    s.new_stride = n.bytesPerLine() / 4;
    s.w = sz.width();
    s.h = sz.height();
    s.old_key = o.cacheKey();
    s.new_key = n.cacheKey();
    s.old_image = &o;
    s.new_image = &n;
    // Streaming pays once the three pictures no longer fit the caches.
    s.stream = std::int64_t(s.w) * s.h * 4 >= (std::int64_t(2) << 20);
    scratch_.resize(std::size_t(s.w) + 16);
    s.scratch = scratch_.data();

    shown_ = kept && s.old_key == old_key_ && s.new_key == new_key_ ? painted_ : -1;
    painted_ = -1;
    if (!(p > 0))
        comp_.full_rows(s, 0, s.h, false);
    else if (p >= 1)
        comp_.full_rows(s, 0, s.h, true);
    else {
        comp_.new_frame();
        frame(s, p);
        painted_ = p;
    }
#if defined(__SSE2__)
    if (s.stream) _mm_sfence();   // streamed rows are in memory before anyone reads them
#endif
    out_key_ = out.cacheKey();
    old_key_ = s.old_key;
    new_key_ = s.new_key;

    if (!direct) {
        QPainter painter(&out);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, work);
    }
}

}  // namespace tx
}  // namespace lv
