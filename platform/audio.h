#pragma once
// The two audio channels: "sound" (one image's sound, picker previews) and
// "music" (a show's background music). WAV, MID, RMI and MP3.
#include <string>

namespace lv {

void audio_load();
void audio_unload();
bool audio_loaded();

void play_sound_file(const std::string& file);
void play_music_file(const std::string& file);
void stop_sound();
void stop_music();
void stop_all_audio();
bool sound_busy();
bool music_busy();

}  // namespace lv
