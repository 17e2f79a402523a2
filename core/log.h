#pragma once
// The diagnostic log: a trace of what the player does, kept in
// windows_dir + "Lumivane Log.txt" when the setting "logging" is 1. The file
// holds a 14-line header and the 100 newest entries, lines ended by CR LF.
#include <string>

#include "core/hooks.h"

namespace lv {

constexpr const char* support_email = "support@tavrel.example";
constexpr int log_header_lines = 14;
constexpr int log_max_entries = 100;

std::string log_path();

// Appends "message  hh:mm:ss  mm-dd-yyyy" (time from lv::now()). Line breaks
// in the message become blanks, so one message is always one line. Does
// nothing while logging is 0; any file error is swallowed, the show goes on.
void write_log(const std::string& message);

// "hh:mm:ss" (24-hour) and "mm-dd-yyyy", whatever the locale.
std::string log_time_text(const wall_time& t);
std::string log_date_text(const wall_time& t);

}  // namespace lv
