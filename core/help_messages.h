#pragma once
// The numbered help messages that introduce the program's screens, the rule
// that keeps a message away once the user ticked "never display again", and
// the text layout of a printed message. No window code here: the pop-up
// window (platform/frmPopmessage) shows what this module holds.
#include <optional>
#include <string>
#include <vector>

#include "core/hooks.h"
#include "core/log.h"

namespace lv {

// Addresses printed at the foot of a message and shown in message 11.
constexpr const char* maker_web_address = "www.tavrel.example";
constexpr const char* support_email_address = support_email;   // as in the log's header

struct help_message {
    int number = 0;
    std::string title;
    std::string body;               // paragraphs joined by CR LF CR LF
    bool check_always_hidden = false;   // messages 3, 4 and 14 can never be suppressed
};

// The message with this number; nullopt for a number that has none
// (there is no message 12, nor anything below 1 or above 14).
std::optional<help_message> find_help_message(int n);

// What the pop-up window reads: the message being shown, and the one-shot
// request to hide its "never display again" box (reset when the window loads).
struct help_popup_state {
    int message_number = 0;
    int hide_never_again_check = 0;
};
help_popup_state& help_popup();

// Settings key that records a suppressed message: "Message" + n.
std::string message_setting_key(int n);
// The value stored when the user ticks the box.
constexpr const char* message_suppressed_value = "1";
// True when the stored value (default "0") means "do not show again":
// any number other than 0. Text that is not a number counts as 0.
bool message_suppressed(const std::string& stored_value);

// Breaks the body for the printer: a line ends at the first space after
// column 90 (CR LF added after that space); a line feed restarts the count.
// Words are never split.
std::string wrap_for_print(const std::string& body);

// One printed line and the point size it is printed in (font "Arial").
struct print_line {
    int font_size = 10;
    std::string text;
};
// "Lumivane" + 5 blanks + mm-dd-yyyy + 5 blanks + hh:mm:ss
std::string printout_stamp(const wall_time& t);
// Every line of a message's printout, top to bottom: the wrapped body is
// split at its line breaks, so each entry is one printed line.
std::vector<print_line> message_printout(const help_message& m, const wall_time& t);

}  // namespace lv
