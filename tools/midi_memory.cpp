// Developer tool: memory of a MIDI-heavy show. Plays a different MIDI (or
// RIFF MIDI) file on the sound channel every interval, as a show does with a
// sound on every picture, and MIDI background music on the music channel,
// sampling the resident memory all the while. Prints the peak and the final
// figure and exits 1 when the peak passes the goal.
//   midi_memory [seconds=60] [interval_ms=1000] [goal_mb=300]
#include "core/hooks.h"
#include "platform/audio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Resident memory of this process in MB, from /proc.
double rss_mb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int interval_ms = argc > 2 ? std::atoi(argv[2]) : 1000;
    const double goal_mb = argc > 3 ? std::atof(argv[3]) : 300;

    QTemporaryDir dir;
    std::vector<std::string> sounds, music;
    for (int i = 0; i < 8; ++i) {
        const std::string midi = midi_bytes(i, 2.0 + i % 3);
        const std::string name = dir.path().toStdString() + "/sound" + std::to_string(i);
        if (i % 2) {
            std::ofstream(name + ".rmi", std::ios::binary) << rmi_bytes(midi);
            sounds.push_back(name + ".rmi");
        } else {
            std::ofstream(name + ".mid", std::ios::binary) << midi;
            sounds.push_back(name + ".mid");
        }
    }
    for (int i = 0; i < 3; ++i) {
        const std::string name = dir.path().toStdString() + "/music" + std::to_string(i) + ".mid";
        std::ofstream(name, std::ios::binary) << midi_bytes(10 + i, 6.0);
        music.push_back(name);
    }

    lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
    lv::audio_load();
    const double start_mb = rss_mb();
    double peak_mb = start_mb;
    QElapsedTimer clock;
    clock.start();
    std::int64_t next_sound = 0;
    std::size_t sound_index = 0, music_index = 0;
    int sounds_started = 0;
    while (clock.elapsed() < seconds * 1000LL) {
        if (clock.elapsed() >= next_sound) {
            lv::play_sound_file(sounds[sound_index++ % sounds.size()]);
            ++sounds_started;
            next_sound += interval_ms;
        }
        if (!lv::music_busy()) lv::play_music_file(music[music_index++ % music.size()]);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
        const double now = rss_mb();
        if (now > peak_mb) peak_mb = now;
    }
    lv::stop_all_audio();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const double end_mb = rss_mb();
    lv::audio_unload();
    std::printf("MIDI show: %d sounds in %d s, %zu music files\n", sounds_started, seconds, music_index);
    std::printf("resident memory: at start %.0f MB, peak %.0f MB, at the end %.0f MB (goal %.0f MB)\n",
                start_mb, peak_mb, end_mb, goal_mb);
    std::printf("%s\n", peak_mb <= goal_mb ? "within the goal" : "OVER THE GOAL");
    return peak_mb <= goal_mb ? 0 : 1;
}
