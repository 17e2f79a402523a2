// Cost of one transition frame at 1920x1080 against one full-window blit
// (QPainter::drawImage of a picture of the same size and format). Every
// transition is measured at grains 1, 2, 4 and 8 and at its default grain
// (the effects editor lets a user pick any of them), over frames spread
// evenly across its run; the summary gives, per family, the worst median
// against the median blit measured beside it, and the worst effect and grain
// of all. The premultiplied format is measured at the default grains only.
//   transitions_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
// With repetitions, each ratio in the summary is the median over them.
#include "core/effects.h"
#include "platform/transitions.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

const QSize full_hd(1920, 1080);
constexpr double limit = 2.0;

struct Family {
    const char* name;
    std::vector<int> numbers;
};

const std::vector<Family>& families() {
    static const std::vector<Family> list = {
        {"edge wipe", {1, 2, 3, 4, 5, 6, 7, 8, 26, 41, 42, 44, 45}},
        {"slide", {9, 10, 52, 53, 76, 77, 78, 79, 80, 81}},
        {"push", {11, 12, 54, 55}},
        {"diagonal", {13, 14, 15, 16, 17, 18, 19, 20, 21, 56, 57, 58, 59}},
        {"circle", {22, 23, 70, 71, 72, 73}},
        {"zoom", {24, 25}},
        {"interlace", {27, 28}},
        {"double pass", {29, 30, 31, 32, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}},
        {"random lines and bars", {33, 60, 61, 62, 63}},
        {"blind", {34, 35, 36, 94, 95, 96, 97}},
        {"swirl", {37, 38}},
        {"random block", {39}},
        {"checkerboard", {40}},
        {"clock and kaleidoscope", {43, 68, 69, 74, 75}},
        {"squash and pull", {46, 47, 48, 49}},
        {"drip", {50}},
        {"sparkle", {64, 65, 66, 67}},
        {"blocks", {90, 91, 92, 93}},
        {"roll", {98, 99, 100, 101}},
        {"interlace slide", {112, 113}},
    };
    return list;
}

// Default grain of an effect number, from the effect table.
int default_grain(int n) {
    for (int row = 2; row < lv::effect_rows; ++row)
        if (lv::effect_number_for_row(row) == n) return lv::effect_table()[std::size_t(row)].grain;
    return 4;
}

// The grains measured for an effect: 1, 2, 4, 8 and its default.
std::vector<int> grains_of(int n) {
    std::vector<int> g{1, 2, 4, 8};
    if (std::find(g.begin(), g.end(), default_grain(n)) == g.end()) g.push_back(default_grain(n));
    return g;
}

QImage face(QImage::Format format, int seed) {
    QImage img(full_hd, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgb((x + seed * 50) & 255, (y * 3 + seed) & 255, ((x ^ y) + seed * 7) & 255);
    }
    return img.convertToFormat(format);
}

const char* format_name(QImage::Format f) { return f == QImage::Format_RGB32 ? "RGB32" : "ARGB32P"; }

// The faces of each format, made once.
struct Faces {
    QImage old_face, new_face;
};
const Faces& faces(QImage::Format f) {
    static std::map<QImage::Format, Faces> made;
    auto it = made.find(f);
    if (it == made.end()) it = made.emplace(f, Faces{face(f, 1), face(f, 2)}).first;
    return it->second;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Each run's ratio of frame to blit, one per repetition, by format, effect
// number and grain.
using Key = std::tuple<std::string, int, int>;
std::map<Key, std::vector<double>> ratios;
std::map<std::string, std::vector<double>> blit_alone_ms;

// Times are this thread's processor time: on a busy machine the thread
// is sometimes switched out in the middle of a frame or a blit, and that
// wait says nothing about either (stalls on memory are still counted).
struct clock_type {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<clock_type, duration>;
    static time_point now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

double blit_once(QImage& dst, const QImage& src) {
    const auto t0 = clock_type::now();
    {
        QPainter painter(&dst);
        painter.drawImage(0, 0, src);
    }
    return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

void blit(benchmark::State& state, QImage::Format format) {
    const QImage& src = faces(format).old_face;
    QImage dst = face(format, 3);
    std::vector<double> times;
    for (auto _ : state) {
        const double ms = blit_once(dst, src);
        state.SetIterationTime(ms / 1000);
        times.push_back(ms);
    }
    benchmark::DoNotOptimize(dst.constBits());
    blit_alone_ms[format_name(format)].push_back(median(times));
    state.counters["median_ms"] = median(times);
}

// Frames spread over the run are visited in turn, each progress value three
// times. A blit of the same size runs before each frame (the old face and
// the new face by turns, into a picture of its own), so that both meet the
// same caches and the same load on the machine. The figure that counts is
// the median of the ratios of each frame to the blit just before it: on a
// busy machine the load drifts within a run, and a frame is best compared
// with what a blit cost at that moment.
constexpr int steps = 24;
constexpr int frames_per_run = 3 * steps;

void transition(benchmark::State& state, QImage::Format format, int number, int grain) {
    const Faces& f = faces(format);
    QImage out(full_hd, format), blit_target(full_hd, format);
    out.fill(0);
    blit_target.fill(0);
    auto t = lv::Transition::create(number, grain, full_hd);
    if (!t) {
        state.SkipWithError("no transition");
        return;
    }
    t->paint(out, f.old_face, f.new_face, 0.5);   // first touch of the output and the run's own buffers
    std::vector<double> frames, blits, pair_ratios;
    int i = 0;
    for (auto _ : state) {
        const double blit_ms = blit_once(blit_target, i % 2 ? f.new_face : f.old_face);
        const double p = (i % steps + 0.5) / steps;
        ++i;
        const auto t0 = clock_type::now();
        t->paint(out, f.old_face, f.new_face, p);
        const double ms = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
        state.SetIterationTime(ms / 1000);
        frames.push_back(ms);
        blits.push_back(blit_ms);
        if (blit_ms > 0) pair_ratios.push_back(ms / blit_ms);
    }
    benchmark::DoNotOptimize(out.constBits());
    benchmark::DoNotOptimize(blit_target.constBits());
    const double frame_ms = median(frames), blit_ms = median(blits);
    const double ratio = median(pair_ratios);
    ratios[{format_name(format), number, grain}].push_back(ratio);
    state.counters["median_ms"] = frame_ms;
    state.counters["blit_ms"] = blit_ms;
    state.counters["ratio"] = ratio;
}

void register_all() {
    for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const std::string fmt = format_name(f);
        benchmark::RegisterBenchmark(("blit/" + fmt).c_str(), blit, f)
            ->UseManualTime()
            ->MinTime(0.2)
            ->Unit(benchmark::kMillisecond);
        for (const Family& fam : families())
            for (int n : fam.numbers) {
                const std::vector<int> grains =
                    f == QImage::Format_RGB32 ? grains_of(n) : std::vector<int>{default_grain(n)};
                for (int g : grains)
                    benchmark::RegisterBenchmark(
                        ("transition/" + fmt + "/" + std::to_string(n) + "/g" + std::to_string(g)).c_str(), transition,
                        f, n, g)
                        ->UseManualTime()
                        ->Iterations(frames_per_run)
                        ->Unit(benchmark::kMillisecond);
            }
    }
}

struct Worst {
    double ratio = 0;
    int number = 0, grain = 0;
    void take(double r, int n, int g) {
        if (r > ratio) *this = {r, n, g};
    }
};

void summary() {
    std::printf("\nFrame cost against the full-window blit beside it, median over the run (limit %.2fx):\n", limit);
    std::map<std::string, std::map<std::pair<int, int>, double>> by_format;
    for (const auto& [key, list] : ratios)
        by_format[std::get<0>(key)][{std::get<1>(key), std::get<2>(key)}] = median(list);
    for (const auto& [fmt, by_effect] : by_format) {
        if (const auto it = blit_alone_ms.find(fmt); it != blit_alone_ms.end())
            std::printf("  %s: blit alone %.3f ms\n", fmt.c_str(), median(it->second));
        Worst all;
        std::map<int, Worst> by_grain;   // 0: each effect's default grain
        for (const Family& fam : families()) {
            Worst w;
            for (int n : fam.numbers)
                for (const auto& [ng, ratio] : by_effect) {
                    if (ng.first != n) continue;
                    const int g = ng.second;
                    w.take(ratio, n, g);
                    if (g == 1 || g == 2 || g == 4 || g == 8) by_grain[g].take(ratio, n, g);
                    if (g == default_grain(n)) by_grain[0].take(ratio, n, g);
                }
            if (w.number == 0) continue;
            std::printf("    %-24s %.2fx  (effect %d, grain %d)%s\n", fam.name, w.ratio, w.number, w.grain,
                        w.ratio > limit ? "  over the limit" : "");
            all.take(w.ratio, w.number, w.grain);
        }
        for (const auto& [g, w] : by_grain) {
            if (g == 0)
                std::printf("  %s worst at the default grains: %.2fx (effect %d, grain %d)\n", fmt.c_str(), w.ratio,
                            w.number, w.grain);
            else
                std::printf("  %s worst at grain %d: %.2fx (effect %d)\n", fmt.c_str(), g, w.ratio, w.number);
        }
        if (all.number)
            std::printf("  %s worst of all: %.2fx (effect %d, grain %d)%s\n", fmt.c_str(), all.ratio, all.number,
                        all.grain, all.ratio > limit ? "  OVER THE LIMIT" : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    lv::reset_effect_table();
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}
