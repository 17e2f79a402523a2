// What the video control costs a window that holds one: its construction
// (every player window and picker builds one, whether or not a video is ever
// shown), the first construction in a process measured on its own since it
// used to set up the whole multimedia backend, and, for comparison, opening
// a clip, where the media player is made now: one of 1.5 s, clips of a second
// and less, and a broken one, which fails on the decoder's error.
//   QT_QPA_PLATFORM=offscreen video_control_bench [--benchmark_filter=...]
#include "platform/media/video_control.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// The clips opened, by the benchmark's argument; an empty path when ffmpeg
// could not make one.
struct clip {
    const char* label;
    QString path;
    bool opens;
};
std::vector<clip> clips;

void BM_VideoControlConstruct(benchmark::State& state) {
    for (auto _ : state) {
        auto v = std::make_unique<lv::VideoControl>();
        benchmark::DoNotOptimize(v.get());
    }
}
BENCHMARK(BM_VideoControlConstruct)->Unit(benchmark::kMicrosecond);

void BM_VideoControlOpenClip(benchmark::State& state) {
    const clip& c = clips.at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(c.label);
    if (c.path.isEmpty()) {
        state.SkipWithError("ffmpeg is not available");
        return;
    }
    for (auto _ : state) {
        lv::VideoControl v;
        if (const int r = v.set_file_name(c.path); (r == 0) != c.opens) {
            state.SkipWithError(("unexpected open result: " + std::to_string(r)).c_str());
            break;
        }
    }
}
BENCHMARK(BM_VideoControlOpenClip)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(10);

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
    const bool ffmpeg = !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
    auto make = [&](const char* label, const QString& name, QStringList args, bool opens) {
        const QString out = dir.filePath(name);
        args << out;
        QProcess p;
        p.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                                      "testsrc=size=160x120:rate=25"} + args);
        const bool made = ffmpeg && p.waitForFinished(60000) && p.exitCode() == 0;
        clips.push_back({label, made ? out : QString(), opens});
    };
    make("1.5 s MPEG-1", "clip.mpg", {"-t", "1.5", "-c:v", "mpeg1video", "-f", "mpeg"}, true);
    make("0.5 s MPEG-1", "short.mpg", {"-t", "0.5", "-c:v", "mpeg1video", "-f", "mpeg"}, true);
    make("1 s MJPEG AVI", "short.avi", {"-t", "1", "-c:v", "mjpeg"}, true);
    make("AVI without frames", "empty.avi", {"-frames:v", "0", "-c:v", "mjpeg"}, false);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
