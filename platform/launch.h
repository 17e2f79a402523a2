#pragma once
// The desktop's "open" action for hot keys, help files and web pages.
#include <string>

namespace lv {

// A program is started with the parameters (split like a command line) in the
// working folder; any other file, or a web address, opens in the desktop's
// application for it. False when nothing could be started.
bool desktop_open_file(const std::string& file, const std::string& parameters,
                       const std::string& working_folder);

}  // namespace lv
