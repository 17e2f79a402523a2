// Developer tool: memory of a MIDI-heavy show. Writes a screen-saver show of
// full-screen pictures, one second each, with a MIDI (or RIFF MIDI) sound on
// every picture and MIDI background music, plays it with the real program
// ("/S", in per-user folders of its own) and samples the program's resident
// memory every second. Prints the figure every minute (so a long run shows
// whether it stays flat), then the peak, and exits 1 when the peak passes the
// goal. Needs an X server: run it under xvfb-run with a full-HD screen.
//   midi_memory [seconds=60] [goal_mb=300] [program=../app/lumivane]
#include "core/document.h"
#include "core/effects.h"
#include "core/slideshow_file.h"
#include "platform/desktop/ini_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/prctl.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A /proc/<pid>/status field in MB (VmRSS, VmHWM: the peak so far), or a
// count (Threads).
double status_field(qint64 pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0) {
            const double v = std::strtod(line.c_str() + field.size() + 1, nullptr);
            return field == "Threads" ? v : v / 1024.0;
        }
    return 0;
}

// GStreamer numbers each MIDI parser it makes and names its streaming thread
// after it ("midiparse12:sink"): the highest number seen tells how many MIDI
// files the program has opened so far.
int midi_files_opened(qint64 pid, int seen) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in(tasks.filePath(t + QStringLiteral("/comm")).toStdString());
        std::string name;
        std::getline(in, name);
        if (name.rfind("midiparse", 0) == 0) seen = std::max(seen, std::atoi(name.c_str() + 9) + 1);
    }
    return seen;
}

std::string vlq(std::uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

std::string be(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

std::string le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// A little tune on a few instruments (so several presets load), `seconds`
// long at the default tempo (480 ticks = 0.5 s).
std::string midi_bytes(int variant, double seconds) {
    std::string ev;
    const int programs[] = {0, 24, 40, 56, 73};
    for (int ch = 0; ch < 3; ++ch) {
        ev += std::string(1, '\0') + static_cast<char>(0xC0 | ch) +
              static_cast<char>(programs[(variant + ch) % 5]);
    }
    const int notes = static_cast<int>(seconds * 4);
    for (int i = 0; i < notes; ++i) {
        const char key = static_cast<char>(48 + (variant * 5 + i * 3) % 24);
        const int ch = i % 3;
        ev += std::string(1, '\0') + static_cast<char>(0x90 | ch) + key + '\x60';
        ev += vlq(240) + static_cast<char>(0x80 | ch) + key + '\0';
    }
    ev += std::string("\x00\xFF\x2F\x00", 4);
    return "MThd" + be(6, 4) + be(0, 2) + be(1, 2) + be(480, 2) + "MTrk" + be(ev.size(), 4) + ev;
}

std::string rmi_bytes(const std::string& midi) {
    std::string body = "RMID" + std::string("data") + le32(midi.size()) + midi;
    if (midi.size() & 1) body += '\0';
    return "RIFF" + le32(body.size()) + body;
}

// Full-HD pictures with some detail in them, PNG and JPEG in turn.
std::vector<std::string> write_pictures(const QString& dir, int count) {
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        QImage img(1920, 1080, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                line[x] = qRgb((x + i * 40) & 255, (y * 3 + i) & 255, ((x ^ y) & 63) + i * 8);
        }
        const QString path = dir + QStringLiteral("/picture%1.%2").arg(i).arg(i % 2 ? "jpg" : "png");
        if (img.save(path)) out.push_back(path.toStdString());
    }
    return out;
}

// The show: `seconds` pictures of one second, each with a sound, and the
// music files; the screen saver's active show.
bool write_show(const QString& data_folder, int seconds, const std::vector<std::string>& pictures,
                const std::vector<std::string>& sounds, const std::vector<std::string>& music) {
    lv::reset_effect_table();
    lv::new_custom_defaults();
    lv::redim_slides(seconds);
    lv::doc().image_count = seconds;
    lv::doc().custom_name = "MIDI Show";
    for (int i = 0; i < seconds; ++i) {
        const std::string& picture = pictures[static_cast<std::size_t>(i) % pictures.size()];
        lv::sequence_record r = lv::default_sequence(picture);
        r.image_file = picture;
        r.display_position = 0;
        r.display_effect = 1;   // no transition
        r.display_time = 1;
        r.caption_text = "";
        r.audio_file = sounds[static_cast<std::size_t>(i) % sounds.size()];
        r.audio_mode = 0;
        r.background_file = "";
        lv::doc().sequences.set(i + 1, r);
    }
    lv::redim_music(static_cast<int>(music.size()));
    lv::doc().music_count = static_cast<int>(music.size());
    for (std::size_t i = 0; i < music.size(); ++i) lv::doc().music_files[i + 1] = music[i];
    return lv::write_custom_file((data_folder + QStringLiteral("MIDI Show.lmv")).toStdString()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const double goal_mb = argc > 2 ? std::atof(argv[2]) : 300;
    const QString program = argc > 3 ? QString::fromLocal8Bit(argv[3])
                                     : QCoreApplication::applicationDirPath() + QStringLiteral("/../app/lumivane");

    QTemporaryDir dir;
    const QString data_home = dir.filePath(QStringLiteral("data"));
    const QString config_home = dir.filePath(QStringLiteral("config"));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString data_folder = data_home + QStringLiteral("/lumivane/Lumivane Data/");
    QDir().mkpath(data_folder);
    QDir().mkpath(config_home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    std::vector<std::string> sounds, music;
    for (int i = 0; i < 8; ++i) {
        const std::string midi = midi_bytes(i, 2.0 + i % 3);
        const std::string name = dir.filePath(QStringLiteral("sound%1").arg(i)).toStdString();
        if (i % 2) {
            std::ofstream(name + ".rmi", std::ios::binary) << rmi_bytes(midi);
            sounds.push_back(name + ".rmi");
        } else {
            std::ofstream(name + ".mid", std::ios::binary) << midi;
            sounds.push_back(name + ".mid");
        }
    }
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir.filePath(QStringLiteral("music%1.mid").arg(i)).toStdString();
        std::ofstream(name, std::ios::binary) << midi_bytes(10 + i, 6.0);
        music.push_back(name);
    }
    const std::vector<std::string> pictures = write_pictures(dir.path(), 6);
    // A few pictures more than seconds: the show never runs out.
    if (pictures.empty() || !write_show(data_folder, seconds + 30, pictures, sounds, music)) {
        std::fprintf(stderr, "could not write the show in %s\n", qPrintable(dir.path()));
        return 2;
    }
    lv::ini_store settings((config_home + QStringLiteral("/Tavrel Lumivane.ini")).toStdString());
    settings.write("active_slideshow", "MIDI Show.lmv");
    settings.write("screen_saver_type", "0");
    settings.write("set_extension", "yes");   // leave the user's file types alone
    settings.sync();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data_home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setProcessChannelMode(QProcess::ForwardedChannels);
    // The show ends with this tool, however it is stopped.
    proc.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    proc.start(program, {QStringLiteral("/S")});
    if (!proc.waitForStarted(10000)) {
        std::fprintf(stderr, "could not start %s\n", qPrintable(program));
        return 2;
    }
    const qint64 pid = proc.processId();

    double peak_mb = 0, now_mb = 0;
    int midi_files = 0, minute = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL && proc.state() == QProcess::Running) {
        proc.waitForFinished(1000);
        now_mb = status_field(pid, "VmRSS");
        peak_mb = std::max(peak_mb, status_field(pid, "VmHWM"));   // peaks between samples too
        midi_files = midi_files_opened(pid, midi_files);
        if (clock.elapsed() >= (minute + 1) * 60000LL) {
            ++minute;
            std::printf("minute %d: %.0f MB, %.0f threads, %d MIDI files opened (peak %.0f MB)\n", minute,
                        now_mb, status_field(pid, "Threads"), midi_files, peak_mb);
            std::fflush(stdout);
        }
    }
    const bool ran_through = proc.state() == QProcess::Running;
    proc.terminate();
    if (!proc.waitForFinished(10000)) {
        proc.kill();
        proc.waitForFinished(5000);
    }
    std::printf("MIDI show: %d s, a sound on every 1-second picture and music, %d MIDI files opened\n",
                seconds, midi_files);
    if (!ran_through) {
        std::printf("the program ended early, after %lld s\n", clock.elapsed() / 1000);
        return 2;
    }
    std::printf("resident memory: peak %.0f MB, at the end %.0f MB (goal %.0f MB)\n", peak_mb, now_mb, goal_mb);
    std::printf("%s\n", peak_mb <= goal_mb ? "within the goal" : "OVER THE GOAL");
    return peak_mb <= goal_mb ? 0 : 1;
}
