#pragma once
// The desktop's "open" action for hot keys, help files and web pages.
#include <string>

namespace lv {

// A program is started with the parameters (split like a command line) in the
// working folder; any other file, or a web address, opens in the desktop's
// application for it. False when nothing could be started.
// A relative file name ("help.hlp", from an empty install_path) names a file
// of the program's own folder, never of the working directory: whatever
// folder we were started from must not get to run its files under our name.
bool desktop_open_file(const std::string& file, const std::string& parameters,
                       const std::string& working_folder);

// file as desktop_open_file finds it: a relative name taken from
// program_folder (by default the running executable's folder).
std::string resolve_program_file(const std::string& file, const std::string& program_folder = {});

}  // namespace lv
