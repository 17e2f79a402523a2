// Cost of transition frames at 1920x1080 against one full-window blit
// (QPainter::drawImage of a picture of the same size and format). Every
// transition is measured at grains 1, 2, 4 and 8 and at its default grain
// (the effects editor lets a user pick any of them), over frames spread
// evenly across its run, from the run's very first frame on: whatever a run
// prepares on the window's thread is paid by its first frame, and while it
// prepares on another thread its frames come a display tick apart, as on
// screen, instead of back to back. Each run gives
// three figures against the blit measured beside each frame: its first
// frame, its median frame and its worst frame (the first included). The
// summary gives, per family, the worst of each, and the worst effect and
// grain of all. The premultiplied format is measured at the default grains
// only.
//   transitions_bench [--benchmark_filter=...] [--benchmark_repetitions=N]
// With repetitions, each ratio in the summary is the median over them.
// With TRANSITIONS_BENCH_STEPS set in the environment, each run's cost at
// each of its progress steps goes to the error output, to see where in a
// run the worst frame lies.
#include "core/effects.h"
#include "platform/transitions/transitions.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
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

// What one run of a transition cost against the blit: its first frame, its
// median frame and its worst frame; the processor time it spent on other
// threads before its first frame (set-up the window's thread need not wait
// for), and how long after its first tick that set-up was still going on.
struct Run {
    double first = 0, median = 0, worst = 0;
    double aside_ms = 0, late_ms = 0;
};
// Each run's ratios, one per repetition, by format, effect number and grain.
using Key = std::tuple<std::string, int, int>;
std::map<Key, std::vector<Run>> runs;
std::map<std::string, std::vector<double>> blit_alone_ms;

// Times are this thread's processor time: on a busy machine the thread
// is sometimes switched out in the middle of a frame or a blit, and that
// wait says nothing about either (stalls on memory are still counted).
template <clockid_t Id>
struct cpu_clock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<cpu_clock, duration>;
    static time_point now() {
        timespec ts{};
        clock_gettime(Id, &ts);
        return time_point(duration(std::int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};
using clock_type = cpu_clock<CLOCK_THREAD_CPUTIME_ID>;
// All threads of the process: what a run prepares on a thread of its own
// is the process's time less this thread's.
using process_clock = cpu_clock<CLOCK_PROCESS_CPUTIME_ID>;
double ms_between(auto t0, auto t1) { return std::chrono::duration<double, std::milli>(t1 - t0).count(); }

double blit_once(QImage& dst, const QImage& src) {
    const auto t0 = clock_type::now();
    {
        QPainter painter(&dst);
        painter.drawImage(0, 0, src);
    }
    return ms_between(t0, clock_type::now());
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

// Frames spread evenly over a run are painted in turn, in three runs, each
// made afresh and not painted before its first timed frame, which comes one
// tick of the display control after it was made, as on screen. Frames come
// back to back, except while the run reports work for later frames still
// going on on another thread: then they come a tick apart, as on screen
// (the waits are not measured). A blit of
// the same size runs before each frame (the old face and the new face by
// turns, into a picture of its own), so that both meet the same caches and
// the same load on the machine, and each frame is compared with the blit
// just before it: on a busy machine the load drifts, and a frame is best
// compared with what a blit cost at that moment. A progress value's cost is
// the median over the three runs, which keeps work done once in a run (its
// first frame, a copy made when first needed) and drops the odd frame the
// machine slowed down.
constexpr int steps = 24;
constexpr int runs_measured = 3;
constexpr int frames_measured = runs_measured * steps;
constexpr std::chrono::milliseconds control_tick(16);

void transition(benchmark::State& state, QImage::Format format, int number, int grain) {
    const Faces& f = faces(format);
    QImage out(full_hd, format), blit_target(full_hd, format);
    out.fill(0);
    blit_target.fill(0);
    std::unique_ptr<lv::Transition> t;
    std::vector<double> frames, blits, pair_ratios;
    std::vector<double> aside, late;
    int i = 0;
    // While a run makes what later frames read on another thread, its frames
    // come one control tick apart, as on screen, so that the worker gets
    // the time between ticks that it has there.
    bool paced = false;
    std::chrono::steady_clock::time_point next_tick;
    for (auto _ : state) {
        if (paced && i % steps != 0) {
            state.PauseTiming();
            std::this_thread::sleep_until(next_tick);
            state.ResumeTiming();
        }
        if (i % steps == 0) {
            state.PauseTiming();
            const auto process0 = process_clock::now();
            const auto thread0 = clock_type::now();
            t = lv::Transition::create(number, grain, full_hd);
            if (!t) {
                state.SkipWithError("no transition");
                return;
            }
            std::this_thread::sleep_for(control_tick);
            // A run not ready by its first tick would have the control skip
            // frames; how long is reported, and the frame waits for it.
            const auto due = std::chrono::steady_clock::now();
            while (!t->ready()) std::this_thread::sleep_for(std::chrono::microseconds(200));
            late.push_back(ms_between(due, std::chrono::steady_clock::now()));
            aside.push_back(ms_between(process0, process_clock::now()) - ms_between(thread0, clock_type::now()));
            state.ResumeTiming();
        }
        const auto tick = std::chrono::steady_clock::now();
        const double blit_ms = blit_once(blit_target, i % 2 ? f.new_face : f.old_face);
        const double p = (i % steps + 0.5) / steps;
        const auto t0 = clock_type::now();
        t->paint(out, f.old_face, f.new_face, p);
        const double ms = ms_between(t0, clock_type::now());
        paced = t->preparing();
        next_tick = tick + control_tick;
        ++i;
        state.SetIterationTime(ms / 1000);
        frames.push_back(ms);
        blits.push_back(blit_ms);
        pair_ratios.push_back(blit_ms > 0 ? ms / blit_ms : 0.0);
    }
    benchmark::DoNotOptimize(out.constBits());
    benchmark::DoNotOptimize(blit_target.constBits());
    if (pair_ratios.size() < std::size_t(frames_measured)) return;
    std::vector<double> by_step;   // each progress value's cost, the first frame's first
    for (int k = 0; k < steps; ++k) {
        std::vector<double> visits;
        for (std::size_t j = std::size_t(k); j < pair_ratios.size(); j += steps) visits.push_back(pair_ratios[j]);
        by_step.push_back(median(visits));
    }
    if (std::getenv("TRANSITIONS_BENCH_STEPS")) {
        std::fprintf(stderr, "%d/g%d:", number, grain);
        for (double r : by_step) std::fprintf(stderr, " %.2f", r);
        std::fprintf(stderr, "\n");
    }
    const Run run{by_step.front(), median(pair_ratios), *std::max_element(by_step.begin(), by_step.end()),
                  *std::max_element(aside.begin(), aside.end()), *std::max_element(late.begin(), late.end())};
    runs[{format_name(format), number, grain}].push_back(run);
    state.counters["median_ms"] = median(frames);
    state.counters["blit_ms"] = median(blits);
    state.counters["first"] = run.first;
    state.counters["median"] = run.median;
    state.counters["worst"] = run.worst;
    state.counters["aside_ms"] = run.aside_ms;
    state.counters["late_ms"] = run.late_ms;
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
                        ->Iterations(frames_measured)
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

// The worst first, median and worst frame of a set of runs.
struct Worsts {
    Worst first, median, worst;
    void take(const Run& r, int n, int g) {
        first.take(r.first, n, g);
        median.take(r.median, n, g);
        worst.take(r.worst, n, g);
    }
};

std::string describe(const Worst& w, bool with_grain = true) {
    char text[96];
    if (with_grain)
        std::snprintf(text, sizeof text, "%5.2fx (%3d/g%d)%s", w.ratio, w.number, w.grain, w.ratio > limit ? " OVER" : "");
    else
        std::snprintf(text, sizeof text, "%5.2fx (%3d)%s", w.ratio, w.number, w.ratio > limit ? " OVER" : "");
    return text;
}

// Median over the repetitions, figure by figure.
Run median_run(const std::vector<Run>& list) {
    std::vector<double> first, mid, worst, aside, late;
    for (const Run& r : list) {
        first.push_back(r.first);
        mid.push_back(r.median);
        worst.push_back(r.worst);
        aside.push_back(r.aside_ms);
        late.push_back(r.late_ms);
    }
    return {median(first), median(mid), median(worst), median(aside), median(late)};
}

void summary() {
    std::printf("\nFrame cost against the full-window blit beside it (limit %.2fx): first frame, median frame and\n"
                "worst frame of a run, the worst of each (effect/grain):\n",
                limit);
    std::map<std::string, std::map<std::pair<int, int>, Run>> by_format;
    for (const auto& [key, list] : runs) by_format[std::get<0>(key)][{std::get<1>(key), std::get<2>(key)}] = median_run(list);
    for (const auto& [fmt, by_effect] : by_format) {
        if (const auto it = blit_alone_ms.find(fmt); it != blit_alone_ms.end())
            std::printf("  %s: blit alone %.3f ms\n", fmt.c_str(), median(it->second));
        std::printf("    %-24s %-22s %-22s %-22s\n", "", "first", "median", "worst");
        Worsts all;
        Worst aside, late;
        std::map<int, Worsts> by_grain;   // 0: each effect's default grain
        for (const Family& fam : families()) {
            Worsts w;
            for (int n : fam.numbers)
                for (const auto& [ng, run] : by_effect) {
                    if (ng.first != n) continue;
                    const int g = ng.second;
                    w.take(run, n, g);
                    aside.take(run.aside_ms, n, g);
                    late.take(run.late_ms, n, g);
                    if (g == 1 || g == 2 || g == 4 || g == 8) by_grain[g].take(run, n, g);
                    if (g == default_grain(n)) by_grain[0].take(run, n, g);
                }
            if (w.median.number == 0) continue;
            std::printf("    %-24s %-22s %-22s %-22s\n", fam.name, describe(w.first).c_str(), describe(w.median).c_str(),
                        describe(w.worst).c_str());
            all.first.take(w.first.ratio, w.first.number, w.first.grain);
            all.median.take(w.median.ratio, w.median.number, w.median.grain);
            all.worst.take(w.worst.ratio, w.worst.number, w.worst.grain);
        }
        for (const auto& [g, w] : by_grain) {
            const std::string name = g == 0 ? "default grains" : "grain " + std::to_string(g);
            std::printf("  %s worst at %-14s first %s  median %s  worst %s\n", fmt.c_str(), name.c_str(),
                        describe(w.first, g == 0).c_str(), describe(w.median, g == 0).c_str(), describe(w.worst, g == 0).c_str());
        }
        if (aside.ratio >= 0.05)
            std::printf("  %s most set-up on other threads: %.2f ms (effect %d, grain %d); the first frame is due %d ms "
                        "after the run starts, and was kept waiting at most %.2f ms (effect %d, grain %d)\n",
                        fmt.c_str(), aside.ratio, aside.number, aside.grain, int(control_tick.count()), late.ratio,
                        late.number, late.grain);
        if (all.median.number)
            std::printf("  %s worst of all: first %s  median %s  worst %s%s\n", fmt.c_str(), describe(all.first).c_str(),
                        describe(all.median).c_str(), describe(all.worst).c_str(),
                        std::max({all.first.ratio, all.median.ratio, all.worst.ratio}) > limit ? "  OVER THE LIMIT" : "");
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
