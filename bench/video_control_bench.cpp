// What the video control costs a window that holds one: its construction
// (every player window and picker builds one, whether or not a video is ever
// shown), the first construction in a process measured on its own since it
// used to set up the whole multimedia backend, and, for comparison, opening
// a short clip, where the media player is made now.
//   QT_QPA_PLATFORM=offscreen video_control_bench [--benchmark_filter=...]
#include "platform/display_controls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

QString clip_path;

void BM_VideoControlConstruct(benchmark::State& state) {
    for (auto _ : state) {
        auto v = std::make_unique<lv::VideoControl>();
        benchmark::DoNotOptimize(v.get());
    }
}
BENCHMARK(BM_VideoControlConstruct)->Unit(benchmark::kMicrosecond);

void BM_VideoControlOpenClip(benchmark::State& state) {
    if (clip_path.isEmpty()) {
        state.SkipWithError("ffmpeg is not available");
        return;
    }
    for (auto _ : state) {
        lv::VideoControl v;
        if (const int r = v.set_file_name(clip_path); r != 0) {
            state.SkipWithError(("the clip did not open: " + std::to_string(r)).c_str());
            break;
        }
    }
}
BENCHMARK(BM_VideoControlOpenClip)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The first control of the process, before anything else touched Qt
    // Multimedia: what a show pays at its start.
    QElapsedTimer t;
    t.start();
    { lv::VideoControl first; }
    std::printf("first VideoControl of the process: %.2f ms\n", static_cast<double>(t.nsecsElapsed()) / 1e6);

    QTemporaryDir dir;
    if (!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
        const QString out = dir.filePath(QStringLiteral("clip.mpg"));
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                           "testsrc=size=160x120:rate=25", "-t", "1.5", "-c:v", "mpeg1video",
                                           "-f", "mpeg", out});
        if (p.waitForFinished(60000) && p.exitCode() == 0) clip_path = out;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
