// Cost of one transition frame at 1920x1080 against one full-window blit
// (QPainter::drawImage of a picture of the same size and format). Every
// transition is measured over frames spread evenly across its run; the
// summary gives each family's worst median against the blit's median.
//   transitions_bench [--benchmark_filter=...]
#include "core/effects.h"
#include "platform/transitions.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const QSize full_hd(1920, 1080);

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

// Median frame times in milliseconds, by format and by effect number, with
// the median blit measured alongside each (0: the blit measured alone).
struct result {
    double frame_ms = 0;
    double blit_ms = 0;
};
std::map<std::string, std::map<int, result>> results;

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

using clock_type = std::chrono::steady_clock;

double blit_once(QImage& dst, const QImage& src) {
    const auto t0 = clock_type::now();
    {
        QPainter painter(&dst);
        painter.drawImage(0, 0, src);
    }
    return std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
}

void blit(benchmark::State& state, QImage::Format format) {
    const QImage src = face(format, 1);
    QImage dst = face(format, 2);
    std::vector<double> times;
    for (auto _ : state) {
        const double ms = blit_once(dst, src);
        state.SetIterationTime(ms / 1000);
        times.push_back(ms);
    }
    benchmark::DoNotOptimize(dst.constBits());
    results[format_name(format)][0] = {median(times), median(times)};
    state.counters["median_ms"] = median(times);
}

// Frames spread over the run are visited in turn. A blit of the same size
// runs between frames (the old face and the new face by turns, into a
// picture of its own), so that both meet the same caches and the same load
// on the machine; the ratio of the two medians is the figure that counts.
// The blit measured alone, with only two pictures to keep in cache, is
// shown too.
void transition(benchmark::State& state, QImage::Format format, int number) {
    const QImage old_face = face(format, 1), new_face = face(format, 2);
    QImage out(full_hd, format), blit_target(full_hd, format);
    out.fill(0);
    blit_target.fill(0);
    auto t = lv::Transition::create(number, default_grain(number), full_hd);
    constexpr int steps = 24;
    std::vector<double> frames, blits;
    int i = 0;
    for (auto _ : state) {
        blits.push_back(blit_once(blit_target, i % 2 ? new_face : old_face));
        const double p = (i % steps + 0.5) / steps;
        ++i;
        const auto t0 = clock_type::now();
        t->paint(out, old_face, new_face, p);
        const double ms = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
        state.SetIterationTime(ms / 1000);
        frames.push_back(ms);
    }
    benchmark::DoNotOptimize(out.constBits());
    benchmark::DoNotOptimize(blit_target.constBits());
    const result r{median(frames), median(blits)};
    results[format_name(format)][number] = r;
    state.counters["median_ms"] = r.frame_ms;
    state.counters["blit_ms"] = r.blit_ms;
    state.counters["ratio"] = r.blit_ms > 0 ? r.frame_ms / r.blit_ms : 0;
}

void register_all() {
    for (QImage::Format f : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
        const std::string fmt = format_name(f);
        benchmark::RegisterBenchmark(("blit/" + fmt).c_str(), blit, f)
            ->UseManualTime()
            ->MinTime(0.3)
            ->Unit(benchmark::kMillisecond);
        for (const Family& fam : families())
            for (int n : fam.numbers)
                benchmark::RegisterBenchmark(("transition/" + fmt + "/" + std::to_string(n)).c_str(), transition, f, n)
                    ->UseManualTime()
                    ->MinTime(0.2)
                    ->Unit(benchmark::kMillisecond);
    }
}

void summary() {
    std::printf("\nMedian frame cost against the median full-window blit beside it (limit 2.00x):\n");
    for (const auto& [fmt, by_number] : results) {
        if (const auto it = by_number.find(0); it != by_number.end())
            std::printf("  %s: blit alone %.3f ms\n", fmt.c_str(), it->second.blit_ms);
        std::string worst_family;
        int worst_number = 0;
        double worst = 0;
        for (const Family& fam : families()) {
            double fam_worst = 0;
            int fam_number = 0;
            for (int n : fam.numbers) {
                const auto it = by_number.find(n);
                if (it == by_number.end() || it->second.blit_ms <= 0) continue;
                const double ratio = it->second.frame_ms / it->second.blit_ms;
                if (ratio > fam_worst) {
                    fam_worst = ratio;
                    fam_number = n;
                }
            }
            if (fam_number == 0) continue;
            const result& r = by_number.at(fam_number);
            std::printf("    %-24s %.2fx  (effect %d: %.3f ms, blit %.3f ms)\n", fam.name, fam_worst, fam_number,
                        r.frame_ms, r.blit_ms);
            if (fam_worst > worst) {
                worst = fam_worst;
                worst_family = fam.name;
                worst_number = fam_number;
            }
        }
        if (worst_number)
            std::printf("  %s worst family: %s, %.2fx (effect %d)\n", fmt.c_str(), worst_family.c_str(), worst,
                        worst_number);
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
