// Slideshow files and the simple builder against the raw work underneath:
// loading a 32000-sequence custom file against reading and splitting the
// same bytes (and the player's variant, which lets a real message loop run,
// against the plain load), building a simple slideshow from 10000 / 20000
// pictures against merely listing the same folder, and one entry of a full
// diagnostic log. The ratios the targets are stated in are printed at the end.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/document.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "core/text_file.h"

namespace fs = std::filesystem;

namespace {

// Never destroyed, so the clean-up at exit can still read it.
const fs::path& work_dir() {
    static const fs::path* const dir = [] {
        auto* d = new fs::path(fs::temp_directory_path() / ("lv_files_bench_" + std::to_string(std::random_device{}())));
        fs::create_directories(*d);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(work_dir(), ec);
        });
        return d;
    }();
    return *dir;
}

const std::string& custom_file() {
    static const std::string path = [] {
        lv::new_custom_defaults();
        auto& d = lv::doc();
        d.custom_name = "Benchmark";
        d.image_count = lv::max_file_images;
        lv::redim_slides(d.image_count);
        for (int i = 1; i <= d.image_count; ++i) {
            auto r = lv::default_sequence("/home/ann/Pictures/Holiday 2024/IMG_" + std::to_string(i) + ".jpg");
            r.caption_text = "Picture " + std::to_string(i);
            r.background_file = lv::gradient_background;
            d.sequences.set(i, r);
        }
        d.music_count = 100;
        lv::redim_music(d.music_count);
        for (int j = 1; j <= d.music_count; ++j) d.music_files[j] = "/home/ann/Music/track " + std::to_string(j) + ".mp3";
        const std::string p = (work_dir() / "big.lmv").string();
        if (lv::write_custom_file(p) != 0) std::abort();
        return p;
    }();
    return path;
}

std::string picture_folder(int files) {
    const fs::path dir = work_dir() / ("pics" + std::to_string(files));
    if (!fs::exists(dir)) {
        fs::create_directories(dir);
        for (int i = 0; i < files; ++i) std::ofstream(dir / ("IMG_" + std::to_string(100000 + i) + ".jpg"));
    }
    return dir.string() + "/";
}

void BM_LoadCustomFile(benchmark::State& state) {
    const std::string& path = custom_file();
    for (auto _ : state) {
        if (lv::load_custom_file(path) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(lv::doc().image_count);
    }
    state.SetLabel("32000 sequences");
}

// The player's loader, with the message loop the program runs.
void BM_PlayerLoadCustomFile(benchmark::State& state) {
    const std::string& path = custom_file();
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    lv::run().time_to_end = 0;
    for (auto _ : state) {
        if (lv::c_load_custom(path, {}) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(lv::doc().image_count);
    }
    lv::hooks().yield_events = nullptr;
    state.SetLabel("32000 sequences");
}

// The floor: the same bytes read and cut into fields, nothing converted or stored.
void BM_ReadAndSplitCustomFile(benchmark::State& state) {
    const std::string& path = custom_file();
    std::vector<std::string_view> fields;
    for (auto _ : state) {
        std::string bytes;
        if (!lv::read_file_bytes(path, bytes)) state.SkipWithError("read failed");
        fields.clear();
        std::size_t start = 0;
        bool quoted = false;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && (c == ',' || c == '\n')) {
                fields.emplace_back(bytes.data() + start, i - start);
                start = i + 1;
            }
        }
        benchmark::DoNotOptimize(fields.data());
    }
}

void BM_BuildSimpleSlideshow(benchmark::State& state) {
    const std::string folder = picture_folder(static_cast<int>(state.range(0)));
    lv::new_random_defaults();
    auto& d = lv::doc();
    d.random_folder_counts = {1, 0, 0};
    d.random_folders[0][1] = folder;
    for (auto _ : state) {
        if (lv::build_random_slideshow() != 0) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(d.image_count);
    }
}

// The floor: the folder's names, as the file system hands them out.
void BM_ListFolder(benchmark::State& state) {
    const std::string folder = picture_folder(static_cast<int>(state.range(0)));
    std::vector<std::string> names;
    for (auto _ : state) {
        names.clear();
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        benchmark::DoNotOptimize(names.data());
    }
}

// One entry written to a log that already holds its 100 entries, as while a
// show plays with logging on.
void BM_WriteLogEntryToFullLog(benchmark::State& state) {
    const fs::path dir = work_dir() / "log";
    fs::create_directories(dir);
    lv::program().windows_dir = dir.string() + "/";
    lv::settings().logging = 1;
    for (int i = 0; i < 150; ++i) lv::write_log("Display Picture: /home/ann/Pictures/IMG_" + std::to_string(i) + ".jpg");
    int n = 0;
    for (auto _ : state) lv::write_log("Going To Case 2 (Display Background) " + std::to_string(++n));
    lv::settings().logging = 0;
}

// Keeps what the console shows and collects each benchmark's time (the
// median when repeated), so that the ratios can be printed after the runs.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
    explicit ratio_reporter(OutputOptions options) : benchmark::ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "median") medians_[name] = seconds;
            } else {
                single_[name] = seconds;
            }
        }
    }
    void print_ratios() const {
        std::printf("\nRatios (lower is better):\n");
        ratio("custom load / read and split", "BM_LoadCustomFile", "BM_ReadAndSplitCustomFile", 1.5);
        ratio("player's custom load / custom load", "BM_PlayerLoadCustomFile", "BM_LoadCustomFile", 0);
        ratio("simple build / folder listing, 10000", "BM_BuildSimpleSlideshow/10000", "BM_ListFolder/10000", 2.0);
        ratio("simple build / folder listing, 20000", "BM_BuildSimpleSlideshow/20000", "BM_ListFolder/20000", 2.0);
        ratio("simple build 20000 / 10000", "BM_BuildSimpleSlideshow/20000", "BM_BuildSimpleSlideshow/10000", 2.1);
    }

private:
    bool time_of(const std::string& name, double& seconds) const {
        for (const auto* times : {&medians_, &single_}) {
            const auto it = times->find(name);
            if (it != times->end()) {
                seconds = it->second;
                return true;
            }
        }
        return false;
    }
    void ratio(const char* what, const std::string& a, const std::string& b, double goal) const {
        double ta = 0, tb = 0;
        if (!time_of(a, ta) || !time_of(b, tb) || tb <= 0) return;
        if (goal > 0)
            std::printf("  %-40s %5.2fx  (goal <= %.1fx)\n", what, ta / tb, goal);
        else
            std::printf("  %-40s %5.2fx\n", what, ta / tb);
    }
    std::map<std::string, double> medians_, single_;
};

}  // namespace

BENCHMARK(BM_LoadCustomFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayerLoadCustomFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndSplitCustomFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSimpleSlideshow)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFolder)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLogEntryToFullLog)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);   // the player's loader yields to its message loop
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ratio_reporter reporter(::isatty(::fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                       : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
