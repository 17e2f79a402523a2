// What the video control costs a window that holds one: its construction
// (every player window and picker builds one, whether or not a video is ever
// shown), the first construction in a process measured on its own since it
// used to set up the whole multimedia backend, and, for comparison, opening
// a clip, where the video pipeline is made now: one of 1.5 s, clips of a
// second and less, and a broken one, which fails on the decoder's error.
// Then memory over 100 rounds of opening a clip, playing it a little and
// closing it as the player does: resident memory after the first rounds
// and after the last, which should stay flat.
//   QT_QPA_PLATFORM=offscreen video_control_bench [--benchmark_filter=...]
#include "platform/media/video_control.h"

#include "proc_status.h"
#include "qt_wait.h"

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

// Open, play a few frames, stop and close, as a show does with each video
// slide; memory after 10 rounds against memory after all of them.
void BM_VideoControlOpenPlayCloseMemory(benchmark::State& state) {
    const clip& c = clips.at(0);
    if (c.path.isEmpty()) {
        state.SkipWithError("ffmpeg is not available");
        return;
    }
    lv::VideoControl v;
    v.resize(320, 240);
    v.show();
    std::int64_t after_10 = -1;
    int round = 0;
    for (auto _ : state) {
        if (v.set_file_name(c.path) != 0) {
            state.SkipWithError("the clip did not open");
            break;
        }
        v.command(3);
        v.command(1);
        v.command(5);
        lv::test::wait_for([] { return false; }, 200);   // a few frames
        v.command(11);
        v.command(1);
        v.set_file_name(QString());
        QCoreApplication::processEvents();
        if (++round == 10) after_10 = lvtest::proc_status_bytes("VmRSS:");
    }
    lv::test::wait_for([] { return false; }, 500);   // pipelines stopping on their own threads
    const std::int64_t last = lvtest::proc_status_bytes("VmRSS:");
    state.counters["rss_after_10_MB"] = double(after_10) / (1 << 20);
    state.counters["rss_after_all_MB"] = double(last) / (1 << 20);
    state.counters["peak_MB"] = double(lvtest::proc_status_bytes("VmHWM:")) / (1 << 20);
}
BENCHMARK(BM_VideoControlOpenPlayCloseMemory)->Unit(benchmark::kMillisecond)->Iterations(100);

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
