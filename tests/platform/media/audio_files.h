#pragma once
// Sound files for the audio tests, made on the spot: MIDI and RIFF MIDI
// written byte by byte, WAV by sox, MP3 by ffmpeg, and a few broken ones.
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <string>

#include "tests/qt_wait.h"

namespace lv::test {

inline std::string vlq(std::uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

inline std::string be(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

inline std::string le32(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// One piano note lasting `seconds` at the default tempo (480 ticks = 0.5 s).
inline std::string midi_bytes(double seconds) {
    const auto ticks = static_cast<std::uint32_t>(seconds * 960);
    std::string ev;
    ev += std::string("\x00\xC0\x00", 3);                  // program 0
    ev += std::string("\x00\x90\x3C\x64", 4);              // note on C4
    ev += vlq(ticks) + std::string("\x80\x3C\x00", 3);     // note off
    ev += std::string("\x00\xFF\x2F\x00", 4);              // end of track
    return "MThd" + be(6, 4) + be(0, 2) + be(1, 2) + be(480, 2) + "MTrk" + be(ev.size(), 4) + ev;
}

// RIFF MIDI with an INFO list ahead of the data chunk, as editors write it.
inline std::string rmi_bytes(const std::string& midi) {
    const std::string info = "INFO" + std::string("INAM") + le32(6) + std::string("tune\0\0", 6);
    std::string body = "RMID" + std::string("LIST") + le32(info.size()) + info;
    body += "data" + le32(midi.size()) + midi;
    if (midi.size() & 1) body += '\0';
    return "RIFF" + le32(body.size()) + body;
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool run_tool(const QString& program, const QStringList& args) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return false;
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(lv::test::hang_guard_ms) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// tone.wav, tone.mp3 (1.5 s), long.wav, long.mp3 (4 s), tune.mid, tune.rmi
// (1 s), and garbage.wav, garbage.mp3, garbage.mid.
class media_files {
public:
    media_files() {
        base_ = dir_.path().toStdString() + "/";
        write_file(path("tune.mid"), midi_bytes(1.0));
        write_file(path("tune.rmi"), rmi_bytes(midi_bytes(1.0)));
        write_file(path("garbage.wav"), std::string(4000, 'x'));
        write_file(path("garbage.mp3"), std::string(4000, '\x55'));
        write_file(path("garbage.mid"), "MThd but not really a midi file at all");
        tools_ok_ = sine_wav("tone.wav", 1.5, 440) && sine_wav("long.wav", 4, 660) &&
                    sine_mp3("tone.mp3", 1.5) && sine_mp3("long.mp3", 4);
    }
    std::string path(const std::string& name) const { return base_ + name; }
    bool tools_ok() const { return tools_ok_; }

private:
    bool sine_wav(const std::string& name, double seconds, int hz) {
        return run_tool("sox", {"-n", "-r", "22050", "-c", "1", QString::fromStdString(path(name)),
                                "synth", QString::number(seconds), "sine", QString::number(hz)});
    }
    bool sine_mp3(const std::string& name, double seconds) {
        return run_tool("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                   QString("sine=frequency=440:duration=%1").arg(seconds),
                                   "-c:a", "libmp3lame", QString::fromStdString(path(name))});
    }
    QTemporaryDir dir_;
    std::string base_;
    bool tools_ok_ = false;
};

}  // namespace lv::test
