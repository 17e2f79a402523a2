// The custom editor with thousands of pictures, driven through its real
// windows on the offscreen platform: "Add All Files" in the image picker on a
// folder of 1000, 5000 and 10000 pictures (from the "&Add Images" click until
// the editor shows the first of them), against reopening the saved
// 5000-picture show in the editor (from the load of its file until the
// editor shows its first sequence). Printed at the end:
//   add 5000 / reopen 5000   (target: at most 3)
//   add 10000 / add 5000     (target: at most 2.2; linear growth gives 2)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/slideshow_file.h"
#include "core/state.h"
#include "custom_editor/frmAddphotos.h"
#include "custom_editor/frmCustom.h"

namespace fs = std::filesystem;

namespace {

// Never destroyed, so the clean-up at exit can still read it.
const fs::path& work_dir() {
    static const fs::path* const dir = [] {
        auto* d = new fs::path(fs::temp_directory_path() /
                               ("lv_custom_editor_bench_" + std::to_string(std::random_device{}())));
        fs::create_directories(*d / "data");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(work_dir(), ec);
        });
        return d;
    }();
    return *dir;
}

// A folder of n pictures: a tiny PNG, copied (the editor reads none of them
// while adding; only the selected one is checked for existence).
std::string picture_folder(int n) {
    static const QByteArray png = [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage img(4, 3, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        img.save(&buffer, "PNG");
        return bytes;
    }();
    const fs::path dir = work_dir() / ("pics" + std::to_string(n));
    if (!fs::exists(dir)) {
        fs::create_directories(dir);
        for (int i = 0; i < n; ++i) {
            std::ofstream f(dir / ("Holiday picture " + std::to_string(100000 + i) + ".png"), std::ios::binary);
            f.write(png.constData(), png.size());
        }
    }
    return dir.string();
}

lv::memory_settings_store& store() {
    static lv::memory_settings_store s;
    return s;
}

void fresh_state() {
    for (int n : {2, 7, 9, 10, 13}) store().values[lv::message_setting_key(n)] = "1";
    lv::set_settings_store(&store());
    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    lv::editors() = lv::editor_state{};
    lv::program().data_folder = (work_dir() / "data").string() + "/";
    lv::new_custom_defaults();
}

void spin_until(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 600000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Opens the editor as the main screen does and waits for its first activation.
QPointer<lv::frmCustom> open_editor(bool existing) {
    lv::editors().custom_editor_open = 1;
    lv::editors().editing_existing = existing ? 1 : 0;
    QPointer<lv::frmCustom> w = new lv::frmCustom;
    w->show();
    spin_until([&w] { return !w || w->activated == 1; });
    return w;
}

void close_editor(QPointer<lv::frmCustom>& w) {
    if (w) w->close();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// "&Add Images", then "&Add All Files" on a folder of n pictures.
double add_all(int n, bool save_as_show) {
    fresh_state();
    lv::program().last_folder = picture_folder(n);
    QPointer<lv::frmCustom> w = open_editor(false);
    // The picker is modal: press its button from inside its own loop.
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&press] {
        if (auto* d = qobject_cast<lv::frmAddphotos*>(QApplication::activeModalWidget())) {
            press.stop();
            d->Command2->click();
        }
    });
    press.start(1);
    QElapsedTimer t;
    t.start();
    w->Command4->click();
    const double seconds = t.nsecsElapsed() / 1e9;
    if (lv::doc().image_count != n || w->List1->count() != n || w->current_image != 1) {
        std::fprintf(stderr, "adding %d pictures went wrong: %d sequences, %d rows\n", n, lv::doc().image_count,
                     w->List1->count());
        std::abort();
    }
    if (save_as_show) {
        lv::doc().custom_name = "Five thousand";
        if (lv::write_custom_file(lv::program().data_folder + "Five thousand.lmv") != 0) std::abort();
    }
    close_editor(w);
    return seconds;
}

std::map<std::string, double>& seconds_of() {
    static std::map<std::string, double> m;
    return m;
}

void BM_AddAllFiles(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    picture_folder(n);   // made outside the timing
    double total = 0;
    for (auto _ : state) {
        const double s = add_all(n, n == 5000);
        state.SetIterationTime(s);
        total += s;
    }
    seconds_of()["add " + std::to_string(n)] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AddAllFiles)->Arg(1000)->Arg(5000)->Arg(10000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReopenShow5000(benchmark::State& state) {
    const std::string file = lv::program().data_folder + "Five thousand.lmv";
    if (!fs::exists(file)) add_all(5000, true);
    double total = 0;
    for (auto _ : state) {
        fresh_state();
        QElapsedTimer t;
        t.start();
        if (lv::load_custom_file(file) != 0) std::abort();
        QPointer<lv::frmCustom> w = open_editor(true);
        const double s = t.nsecsElapsed() / 1e9;
        if (w->List1->count() != 5000 || w->current_image != 1) std::abort();
        state.SetIterationTime(s);
        total += s;
        close_editor(w);
    }
    seconds_of()["reopen 5000"] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReopenShow5000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

void print_ratio(const char* what, const std::string& a, const std::string& b, double target) {
    const auto& m = seconds_of();
    if (!m.count(a) || !m.count(b) || m.at(b) <= 0) return;
    const double r = m.at(a) / m.at(b);
    std::printf("%-26s %6.2f   (target: at most %.1f) %s\n", what, r, target, r <= target ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n");
    print_ratio("add 5000 / reopen 5000", "add 5000", "reopen 5000", 3.0);
    print_ratio("add 10000 / add 5000", "add 10000", "add 5000", 2.2);
    benchmark::Shutdown();
    lv::set_settings_store(nullptr);
    return 0;
}
