#pragma once
// The printed listing of the open custom slideshow: a heading, the
// slideshow's name, and per sequence a title line followed by the groups of
// settings ticked in the print options (frmSetprint). The listing reads the
// document and the texts of the editor's choice lists; it changes nothing.
#include <string>
#include <vector>

#include "core/document.h"
#include "core/help_messages.h"
#include "core/hooks.h"

class QPrinter;
class QWidget;

namespace lv {

// The texts the editor's choice lists show, by stored index.
struct printout_choice_lists {
    std::vector<std::string> display_positions;     // display_position 0-12
    std::vector<std::string> effects;               // every effect row 0-105
    std::vector<std::string> placements;            // background_placement 0-1
    std::vector<std::string> caption_positions;     // caption_position 0-8
    std::vector<std::string> audio_modes;           // audio_mode 0-3
};

// The lists as the custom editor fills them.
printout_choice_lists editor_choice_lists();

// Which groups each sequence lists (the print-area flags, 0 or 1).
struct print_areas {
    int image = 1, background = 1, caption = 1, audio = 1;
};

// The print-area flags as they stand (program()).
print_areas current_print_areas();

// Pages a listing of image_count sequences is estimated to take at 75 lines
// a page; 0 when no group is ticked.
int estimate_pages(int image_count, const print_areas& areas);

// Every line of the listing, top to bottom, with its point size. name_box is
// the name as typed in the editor ("" prints "No Title"); t is the time of
// the heading.
std::vector<print_line> custom_printout_lines(const slideshow_document& d, const std::string& name_box,
                                              const printout_choice_lists& lists, const print_areas& areas,
                                              const wall_time& t);

// How the print command ended.
enum class print_outcome { printed, cancelled, failed };

// The editor's print command: shows the print options modally, then prints
// the listing of doc() on printer (nullptr: the default printer). With no
// printer or any failure the "Unable To Print" box is shown and `failed`
// returned; nothing is ever reported as printed that was not.
print_outcome print_custom_slideshow(QWidget* parent, const std::string& name_box,
                                     const printout_choice_lists& lists = editor_choice_lists(),
                                     QPrinter* printer = nullptr);

}  // namespace lv
