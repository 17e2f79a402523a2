// Slideshow files and the simple builder against the raw work underneath:
// loading a 32000-sequence custom file against reading and splitting the
// same bytes, and building a simple slideshow from 10000 / 20000 pictures
// against merely listing the same folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/document.h"
#include "core/simple_builder.h"
#include "core/slideshow_file.h"
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

}  // namespace

BENCHMARK(BM_LoadCustomFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndSplitCustomFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildSimpleSlideshow)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFolder)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
