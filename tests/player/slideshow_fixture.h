#pragma once
// Shared set-up for the player engine tests: a fake clock and wall clock,
// scripted audio channels, timers driven by hand, a temporary folder for
// pictures, slideshow files and the log.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/document.h"
#include "core/effects.h"
#include "core/hooks.h"
#include "core/log.h"
#include "core/state.h"
#include "player/frmSlideshow.h"

namespace lvtest {

struct fake_audio {
    std::vector<std::string> sounds, music;
    int sound_stops = 0, all_stops = 0;
    bool sound_busy = false, music_busy = false;
};

class PlayerTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    std::int64_t clock_ms = 5'000'000;
    lv::wall_time wall{2024, 3, 1, 10, 40, 0};
    fake_audio fa;

    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        lv::frmSlideshow::manual_timers = true;
        lv::frmSlideshow::password_prompt = nullptr;
        lv::frmSlideshow::wallpaper_saver = nullptr;
        lv::hooks().monotonic_ms = [this] { return clock_ms; };
        lv::hooks().now = [this] { return wall; };
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::settings() = lv::config_settings{};
        lv::run() = lv::run_flags{};
        lv::program().windows_dir = dir() + "/";
        lv::program().data_folder = dir() + "/Lumivane Data/";
        lv::reset_effect_table();
        lv::new_custom_defaults();
        lv::new_random_defaults();
        lv::redim_slides(0);
        lv::doc().image_count = 0;
        auto& a = lv::frmSlideshow::audio();
        a.play_sound = [this](const std::string& f) { fa.sounds.push_back(f); };
        a.play_music = [this](const std::string& f) { fa.music.push_back(f); };
        a.stop_sound = [this] { ++fa.sound_stops; };
        a.stop_all = [this] { ++fa.all_stops; };
        a.sound_busy = [this] { return fa.sound_busy; };
        a.music_busy = [this] { return fa.music_busy; };
    }

    void TearDown() override {
        lv::frmSlideshow::reset_audio();
        lv::frmSlideshow::password_prompt = nullptr;
        lv::frmSlideshow::wallpaper_saver = nullptr;
        lv::hooks().monotonic_ms = nullptr;
        lv::hooks().now = nullptr;
        lv::hooks().yield_events = nullptr;
        lv::set_random_source(nullptr);
    }

    std::string dir() const { return tmp.path().toStdString(); }

    std::string make_picture(const std::string& name, QColor color, int w = 160, int h = 120) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(color);
        const std::string path = dir() + "/" + name;
        EXPECT_TRUE(img.save(QString::fromStdString(path)));
        return path;
    }

    // Appends one sequence to the document in memory.
    void add_sequence(const std::string& image_file, int display_time = 5,
                      const std::string& audio_file = "", int audio_mode = 0) {
        auto& d = lv::doc();
        const int n = d.image_count + 1;
        lv::redim_slides(n);
        d.image_count = n;
        lv::sequence_record r = lv::default_sequence(image_file);
        r.image_file = image_file;
        r.display_position = 8;
        r.display_effect = 1;   // "No Effect": no transition to wait for
        r.caption_text = "";
        r.caption_effect = 1;
        r.display_time = display_time;
        r.audio_file = audio_file;
        r.audio_mode = audio_mode;
        r.background_file = "";
        d.sequences.set(n, r);
    }

    void add_pictures(int n) {
        for (int i = 1; i <= n; ++i)
            add_sequence(make_picture("p" + std::to_string(i) + ".png", QColor(20 * i, 40, 60)));
    }

    std::unique_ptr<lv::frmSlideshow> make_player() {
        auto w = std::make_unique<lv::frmSlideshow>();
        w->set_delete_on_unload(false);
        w->resize(640, 480);
        w->show();
        w->form_load();
        return w;
    }

    // The first midi_timer tick starts main_timer.
    void start_main(lv::frmSlideshow& w) {
        w.midi_timer_tick();
        ASSERT_TRUE(w.main_timer_on());
    }

    // Ticks main_timer until the state machine is in state, at most max ticks.
    int tick_until(lv::frmSlideshow& w, int state, int max = 40) {
        for (int i = 1; i <= max; ++i) {
            w.main_timer_tick();
            if (w.slideshow_state == state) return i;
        }
        ADD_FAILURE() << "state " << state << " not reached; at " << w.slideshow_state;
        return -1;
    }

    // Log entries without the header and without the time and date.
    std::vector<std::string> log_entries() const {
        std::vector<std::string> out;
        QFile f(QString::fromStdString(lv::log_path()));
        if (!f.open(QIODevice::ReadOnly)) return out;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (int i = lv::log_header_lines; i < lines.size(); ++i) {
            std::string s = lines[i].toStdString();
            if (!s.empty() && s.back() == '\r') s.pop_back();
            if (s.empty()) continue;
            // "message  hh:mm:ss  mm-dd-yyyy"
            const std::size_t cut = s.size() >= 22 ? s.size() - 22 : 0;
            out.push_back(s.substr(0, cut));
        }
        return out;
    }

    void clear_log() const { QFile::remove(QString::fromStdString(lv::log_path())); }
};

}  // namespace lvtest
