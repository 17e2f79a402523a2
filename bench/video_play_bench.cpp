// Video slides in the real player against gst-play-1.0 playing the same
// file on the same screen. For each video, rounds of the two run in turn
// (pairs interleaved, the order swapped every round); each run is timed
// from its start:
//   first frame  until the middle of the screen shows the video's first
//                picture (the clips open on a second of magenta);
//   CPU          user + system time of the process from its start until
//                the clip's last second (the player's whole show, start-up
//                included; gst-play-1.0 ends at the clip's end);
//   peak memory  VmHWM at that moment;
//   key          a key press (xdotool) to the player's exit.
// The player runs as the screen saver ("/S", whose show starts at once) on a
// show of the one video fitted to the screen; gst-play-1.0 draws through
// ximagesink (X11 without OpenGL), in a window of the video's own size.
// Hostile videos (pictures too large from the start or later on) run in the
// player alone: peak memory and the key. So does a still picture first: the
// player's own start, which every first frame includes. Prints each run, then the median
// and the spread (lowest-highest) of each figure and of the ratios.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/video_play_bench [rounds] [seconds]
//
// Needs ffmpeg (with libx264), gst-play-1.0 (gstreamer1.0-tools) and
// xdotool; LUMIVANE_BIN names another player than this build's.
#include <QColor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <functional>
#include <optional>
#include <signal.h>
#include <string>
#include <unistd.h>
#include <vector>

// Qt before the X11 headers that xvfb_program.h brings, whose macros clash with it.
#include "platform/media/video_files.h"
#include "player/xvfb_program.h"
#include "proc_status.h"

namespace {

struct run_figures {
    double first_frame_ms = -1;
    double cpu_s = -1;
    double peak_mb = -1;
    double key_ms = -1;
};

// User + system seconds of a process so far; -1 when it is gone.
double cpu_seconds(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return -1;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoll(field);
        if (i == 15) stime = std::stoll(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double peak_mb(qint64 pid) {
    const std::int64_t b = lvtest::proc_status_bytes("VmHWM:", std::to_string(pid));
    return b < 0 ? -1 : double(b) / (1 << 20);
}

bool magenta_in_the_middle() {
    QScreen* s = QGuiApplication::primaryScreen();
    const QRect g = s->geometry();
    const QImage img = s->grabWindow(0, g.width() / 2 - 8, g.height() / 2 - 8, 16, 16).toImage();
    if (img.isNull()) return false;
    const QColor c = img.pixelColor(8, 8);
    return c.red() > 200 && c.blue() > 200 && c.green() < 60;
}

// Polls every few milliseconds until done() or the process ended; keeps the
// process's peak memory meanwhile.
void watch(QProcess& p, run_figures& f, const std::function<bool()>& done, int limit_ms) {
    QElapsedTimer t;
    t.start();
    while (p.state() == QProcess::Running && t.elapsed() < limit_ms && !done()) {
        f.peak_mb = std::max(f.peak_mb, peak_mb(p.processId()));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::msleep(3);
    }
}

// One run: the first frame, then CPU and memory at the clip's last second;
// a key ends the player, gst-play-1.0 is stopped.
run_figures run(QProcess& p, bool player, int seconds, bool first_frame) {
    run_figures f;
    QElapsedTimer t;
    t.start();
    if (!p.waitForStarted(60000)) return f;
    const qint64 pid = p.processId();
    if (first_frame) {
        watch(p, f, magenta_in_the_middle, 60000);
        if (magenta_in_the_middle()) f.first_frame_ms = double(t.elapsed());
    }
    const qint64 until = (f.first_frame_ms >= 0 ? qint64(f.first_frame_ms) : 0) + (seconds - 1) * 1000;
    watch(p, f, [&] { return t.elapsed() >= until; }, 600000);
    f.cpu_s = cpu_seconds(pid);
    f.peak_mb = std::max(f.peak_mb, peak_mb(pid));
    if (player) {
        QElapsedTimer k;
        k.start();
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("a")});
        if (p.waitForFinished(60000)) f.key_ms = double(k.elapsed());
    }
    if (p.state() == QProcess::Running) {
        ::kill(pid_t(p.processId()), SIGTERM);
        if (!p.waitForFinished(10000)) p.kill();
    }
    p.waitForFinished(10000);
    return f;
}

struct spread {
    double median = -1, low = -1, high = -1;
};

spread of(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}

void print(const char* what, const std::vector<double>& v, const char* unit) {
    const spread s = of(v);
    std::printf("  %-28s median %8.2f %-3s (%.2f-%.2f)\n", what, s.median, unit, s.low, s.high);
}

bool ffmpeg(QStringList args) { return lv::test::ffmpeg(std::move(args), -1); }

// A show of this one video, full screen, as the screen saver's show (which
// starts without the splash a slideshow file has).
bool write_show(const lvtest::program_sandbox& box, const QString& video) {
    lv::reset_effect_table();
    lv::new_custom_defaults();
    lv::redim_slides(1);
    lv::doc().image_count = 1;
    lv::doc().custom_name = "Video";
    lv::sequence_record r = lv::default_sequence(video.toStdString());
    r.image_file = video.toStdString();
    r.display_position = 0;   // fitted to the screen
    r.display_effect = 1;     // no transition
    r.display_time = 1;
    r.caption_text = "";
    r.audio_file = "";
    r.background_file = "";
    lv::doc().sequences.set(1, r);
    lv::redim_music(0);
    lv::doc().music_count = 0;
    if (lv::write_custom_file((box.data_folder() + QStringLiteral("Video.lmv")).toStdString()) != 0) return false;
    box.write_settings({{"active_slideshow", "Video.lmv"}, {"screen_saver_type", "0"}});
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int seconds = argc > 2 ? std::max(3, std::atoi(argv[2])) : 30;
    if (!lvtest::on_x_server()) {
        std::fprintf(stderr, "needs an X server: xvfb-run -a -s \"-screen 0 1920x1080x24\" %s\n", argv[0]);
        return 2;
    }
    for (const char* tool : {"ffmpeg", "gst-play-1.0", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(stderr, "%s is not installed\n", tool);
            return 2;
        }
    lvtest::program_sandbox box;
    box.write_settings({{"logging", "0"}, {"set_extension", "yes"}, {"auto_stop", "0"}});

    // H.264 clips opening on a second of magenta, then a moving test picture.
    struct clip {
        const char* label;
        QString path;
    };
    std::vector<clip> clips;
    for (const auto& [label, size] : {std::pair{"1920x1080 H.264", "1920x1080"}, std::pair{"3840x2160 H.264", "3840x2160"}}) {
        const QString out = box.path(QStringLiteral("%1.mpg").arg(QString::fromLatin1(size)));
        const QString src = QStringLiteral("testsrc2=s=%1:r=30,drawbox=c=magenta:t=fill:enable='lt(t,1)'").arg(size);
        std::printf("making %s (%d s)...\n", label, seconds);
        std::fflush(stdout);
        if (!ffmpeg({"-f", "lavfi", "-i", src, "-t", QString::number(seconds), "-c:v", "libx264", "-preset", "veryfast",
                     "-pix_fmt", "yuv420p", "-f", "mpegts", out})) {
            std::fprintf(stderr, "ffmpeg could not make %s\n", label);
            return 1;
        }
        clips.push_back({label, out});
    }
    // The hostile ones.
    std::vector<clip> hostile = {
        {"MJPEG 16000x16000 from frame 11", box.path(QString::fromLatin1(lv::test::turns_huge_video))},
        {"MPEG-TS 320x240 then 8192x8192", box.path(QString::fromLatin1(lv::test::turns_8k_video))},
        {"H.264 4096x4096", box.path(QString::fromLatin1(lv::test::square_4k_video))}};
    const bool made = lv::test::make_hostile_videos(QFileInfo(hostile[0].path).dir(), -1);
    if (!made) {
        std::fprintf(stderr, "ffmpeg could not make the hostile videos\n");
        return 1;
    }

    auto player = [&](const QString& video, QProcess& p) {
        if (write_show(box, video)) box.start(p, {QStringLiteral("/S")});
    };
    auto gst_play = [&](const QString& video, QProcess& p) {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.setStandardOutputFile(QProcess::nullDevice());
        // ximagesink: X11 without OpenGL, as the player draws.
        p.start(QStringLiteral("gst-play-1.0"),
                {QStringLiteral("--no-interactive"), QStringLiteral("-q"), QStringLiteral("--videosink=ximagesink"), video});
    };

    // The player's own start: a show of a still magenta picture instead,
    // to its first picture on the screen.
    {
        const QString still = box.path(QStringLiteral("magenta.png"));
        QImage img(1920, 1080, QImage::Format_RGB32);
        img.fill(QColor(255, 0, 255));
        std::vector<double> first;
        for (int round = 0; img.save(still) && round < rounds; ++round) {
            QProcess p;
            player(still, p);
            const run_figures f = run(p, true, 2, true);
            std::printf("still picture round %d lumivane first picture %6.0f ms\n", round + 1, f.first_frame_ms);
            first.push_back(f.first_frame_ms);
        }
        print("lumivane first still picture", first, "ms");
        std::fflush(stdout);
    }
    for (const clip& c : clips) {
        std::vector<run_figures> ours, theirs;
        for (int round = 0; round < rounds; ++round) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool player_turn = (turn == 0) == (round % 2 == 0);
                QProcess p;
                if (player_turn)
                    player(c.path, p);
                else
                    gst_play(c.path, p);
                const run_figures f = run(p, player_turn, seconds, true);
                std::printf("%s round %d %-12s first frame %6.0f ms  CPU %6.2f s  peak %6.1f MB  key %5.0f ms\n",
                            c.label, round + 1, player_turn ? "lumivane" : "gst-play-1.0", f.first_frame_ms, f.cpu_s,
                            f.peak_mb, f.key_ms);
                std::fflush(stdout);
                (player_turn ? ours : theirs).push_back(f);
            }
        }
        auto figure = [](const std::vector<run_figures>& v, double run_figures::*m) {
            std::vector<double> out;
            for (const run_figures& f : v) out.push_back(f.*m);
            return out;
        };
        auto ratio = [&](double run_figures::*m) {
            std::vector<double> out;
            for (std::size_t i = 0; i < ours.size() && i < theirs.size(); ++i)
                out.push_back(theirs[i].*m > 0 && ours[i].*m >= 0 ? ours[i].*m / (theirs[i].*m) : -1);
            return out;
        };
        std::printf("%s, %d rounds:\n", c.label, rounds);
        print("lumivane first frame", figure(ours, &run_figures::first_frame_ms), "ms");
        print("gst-play-1.0 first frame", figure(theirs, &run_figures::first_frame_ms), "ms");
        print("  ratio (pairwise)", ratio(&run_figures::first_frame_ms), "x");
        print("lumivane CPU", figure(ours, &run_figures::cpu_s), "s");
        print("gst-play-1.0 CPU", figure(theirs, &run_figures::cpu_s), "s");
        print("  ratio (pairwise)", ratio(&run_figures::cpu_s), "x");
        print("lumivane peak memory", figure(ours, &run_figures::peak_mb), "MB");
        print("gst-play-1.0 peak memory", figure(theirs, &run_figures::peak_mb), "MB");
        print("  ratio (pairwise)", ratio(&run_figures::peak_mb), "x");
        print("lumivane key to exit", figure(ours, &run_figures::key_ms), "ms");
        std::fflush(stdout);
    }
    for (const clip& c : hostile) {
        std::vector<double> peak, key;
        for (int round = 0; round < rounds; ++round) {
            QProcess p;
            player(c.path, p);
            const run_figures f = run(p, true, 5, false);
            std::printf("%s round %d lumivane peak %6.1f MB  key %5.0f ms\n", c.label, round + 1, f.peak_mb, f.key_ms);
            peak.push_back(f.peak_mb);
            key.push_back(f.key_ms);
        }
        std::printf("%s, %d rounds:\n", c.label, rounds);
        print("lumivane peak memory", peak, "MB");
        print("lumivane key to exit", key, "ms");
        std::fflush(stdout);
    }
    return 0;
}
