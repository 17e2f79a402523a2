#pragma once
// A custom editor on a document of the test's making: a settings store held
// in memory (with the help pop-ups the editor shows switched off), a data
// folder and picture files in a temporary folder, and the editor window
// itself, opened as the main screen opens it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

#include "core/document.h"
#include "core/editor_state.h"
#include "core/effects.h"
#include "core/help_messages.h"
#include "core/hooks.h"
#include "core/settings.h"
#include "core/state.h"
#include "custom_editor/frmCustom.h"
#include "player/modal_watch.h"

namespace lvtest {

class editor_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (int n : {2, 7, 9, 10, 13}) store.values[lv::message_setting_key(n)] = "1";
        lv::set_settings_store(&store);
        lv::hooks().yield_events = [] { QCoreApplication::processEvents(); };
        lv::settings() = lv::config_settings{};
        lv::editors() = lv::editor_state{};
        lv::run() = lv::run_flags{};
        lv::reset_effect_table();
        lv::new_custom_defaults();
        lv::doc().caption_settings = lv::caption_settings_record{};
        lv::program().data_folder = (dir.path() + "/Lumivane Data/").toStdString();
        lv::program().last_folder = dir.path().toStdString();
        QDir().mkpath(QString::fromStdString(lv::program().data_folder));
        lv::frmCustom::player() = nullptr;
        lv::frmCustom::printout() = nullptr;
    }

    void TearDown() override {
        if (editor) delete editor.data();
        spin(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        lv::frmCustom::player() = nullptr;
        lv::frmCustom::printout() = nullptr;
        lv::hooks().yield_events = nullptr;
        lv::set_settings_store(nullptr);
    }

    // A picture file in the temporary folder (a real PNG, so that anything
    // that draws it can).
    std::string picture(const QString& name, QColor colour = Qt::red) {
        const QString path = dir.path() + "/" + name;
        QImage img(32, 24, QImage::Format_RGB32);
        img.fill(colour);
        if (name.endsWith(".png", Qt::CaseInsensitive))
            img.save(path, "PNG");
        else {
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write("some bytes of a file");
        }
        return path.toStdString();
    }

    // Appends a sequence with distinct values in every field, derived from n.
    lv::sequence_record add_sequence(const std::string& file, int n) {
        lv::sequence_record r;
        r.image_file = file;
        r.display_position = n % 13;
        r.display_effect = 10 + n;
        r.effect_speed = 20 + n;
        r.effect_grain = 30 + n;
        r.display_time = 5 + n;
        r.notes = "notes " + std::to_string(n);
        r.caption_text = "caption " + std::to_string(n);
        r.caption_position = n % 9;
        r.caption_effect = 40 + n;
        r.caption_speed = 50 + n;
        r.caption_grain = 60 + n;
        r.caption_font_name = "Font" + std::to_string(n);
        r.caption_font_size = 10 + n;
        r.caption_bold = n % 2;
        r.caption_italic = (n + 1) % 2;
        r.caption_style = n % 8;
        r.caption_shadow_size = 1 + n % 10;
        r.caption_color = 0x010203 * n;
        r.caption_color_scheme = n % 9;
        r.audio_file = "/sounds/tune" + std::to_string(n) + ".wav";
        r.audio_mode = n % 4;
        r.background_file = "/backs/back" + std::to_string(n) + ".jpg";
        r.background_placement = n % 2;
        r.background_effect = 70 + n;
        r.background_speed = 80 + n;
        r.background_grain = 90 + n;
        r.transparent_color = n;
        auto& d = lv::doc();
        d.image_count += 1;
        lv::redim_slides(d.image_count);
        d.sequences.set(d.image_count, r);
        return r;
    }

    // Opens the editor as the main screen does and waits for its first activation.
    lv::frmCustom* open_editor(bool existing) {
        lv::editors().custom_editor_open = 1;
        lv::editors().editing_existing = existing ? 1 : 0;
        editor = new lv::frmCustom;
        editor->show();
        QElapsedTimer t;
        t.start();
        while (editor && editor->activated == 0 && t.elapsed() < lv::test::hang_guard_ms) spin(5);
        EXPECT_TRUE(editor && editor->activated == 1);
        return editor.data();
    }

    // Types text into a widget, key by key, as the keyboard would.
    static void type(QWidget* w, const QString& text) {
        for (QChar c : text) {
            int key = c.toUpper().unicode();
            if (c == QLatin1Char('\r')) key = Qt::Key_Return;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &release);
        }
    }

    // Lets the windows that closed go (no event loop runs in a test).
    static void flush_deletes() {
        spin(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static lv::sequence_record seq(int i) { return lv::doc().sequences.get(i); }

    QTemporaryDir dir;
    lv::memory_settings_store store;
    QPointer<lv::frmCustom> editor;
};

inline bool same(const lv::sequence_record& a, const lv::sequence_record& b) {
    return a.image_file == b.image_file && a.display_position == b.display_position &&
           a.display_effect == b.display_effect && a.effect_speed == b.effect_speed &&
           a.effect_grain == b.effect_grain && a.display_time == b.display_time && a.notes == b.notes &&
           a.caption_text == b.caption_text && a.caption_position == b.caption_position &&
           a.caption_effect == b.caption_effect && a.caption_speed == b.caption_speed &&
           a.caption_grain == b.caption_grain && a.caption_font_name == b.caption_font_name &&
           a.caption_font_size == b.caption_font_size && a.caption_bold == b.caption_bold &&
           a.caption_italic == b.caption_italic && a.caption_style == b.caption_style &&
           a.caption_shadow_size == b.caption_shadow_size && a.caption_color == b.caption_color &&
           a.caption_color_scheme == b.caption_color_scheme && a.audio_file == b.audio_file &&
           a.audio_mode == b.audio_mode && a.background_file == b.background_file &&
           a.background_placement == b.background_placement && a.background_effect == b.background_effect &&
           a.background_speed == b.background_speed && a.background_grain == b.background_grain &&
           a.transparent_color == b.transparent_color;
}

}  // namespace lvtest
