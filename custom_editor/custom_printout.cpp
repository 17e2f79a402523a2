#include "custom_editor/custom_printout.h"

#include "core/effects.h"
#include "core/file_names.h"
#include "core/log.h"
#include "core/state.h"
#include "custom_editor/frmSetprint.h"
#include "platform/desktop/desktop_services.h"
#include "platform/desktop/print_text.h"

#include <QMessageBox>
#include <QPrinter>

#include <memory>

namespace lv {

namespace {

// The text a list shows at a stored index; a hand-edited file may hold an
// index the list has no entry for, which prints as nothing.
const std::string& entry(const std::vector<std::string>& list, int index) {
    static const std::string none;
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return none;
    return list[static_cast<std::size_t>(index)];
}

std::string num(int v) { return std::to_string(v); }

}  // namespace

printout_choice_lists editor_choice_lists() {
    printout_choice_lists l;
    l.display_positions = {"Center Full Screen 100%", "Center Full Screen 75%", "Center Full Screen 50%",
                           "Tile To Screen",          "Top Justify Left",       "Top Justify Middle",
                           "Top Justify Right",       "Middle Justify Left",    "Middle Justify Middle",
                           "Middle Justify Right",    "Bottom Justify Left",    "Bottom Justify Middle",
                           "Bottom Justify Right"};
    l.effects.assign(effect_names.begin(), effect_names.end());
    l.placements = {"Tile To Screen", "Stretch To Screen"};
    l.caption_positions.assign(l.display_positions.begin() + 4, l.display_positions.end());
    l.audio_modes = {"Play One Time Only", "Repeat During This Image Only", "Repeat The Entire Slideshow",
                     "Display Image Until Audio Is Done"};
    return l;
}

print_areas current_print_areas() {
    const program_state& p = program();
    return {p.print_image_settings, p.print_background_settings, p.print_caption_settings,
            p.print_audio_settings};
}

int estimate_pages(int image_count, const print_areas& a) {
    // A sequence's title line and its closing blank line, then its groups.
    int lines = 2;
    if (a.image == 1) lines += 3;
    if (a.background == 1) lines += 2;
    if (a.caption == 1) lines += 2;
    if (a.audio == 1) lines += 2;
    if (lines == 2) return 0;
    const long long total = static_cast<long long>(image_count < 0 ? 0 : image_count) * lines;
    return static_cast<int>(total / 75 + 1);
}

std::vector<print_line> custom_printout_lines(const slideshow_document& d, const std::string& name_box,
                                              const printout_choice_lists& lists, const print_areas& areas,
                                              const wall_time& t) {
    std::vector<print_line> out;
    out.push_back({10, ""});
    out.push_back({10, "Lumivane Custom SlideShow Printout " + log_date_text(t) + "     " + log_time_text(t)});
    out.push_back({10, " "});
    out.push_back({20, name_box.empty() ? std::string("No Title") : name_box});
    out.push_back({20, " "});

    for (int i = 1; i <= d.image_count && static_cast<std::size_t>(i) < d.sequences.size(); ++i) {
        const sequence_record r = d.sequences.get(i);
        out.push_back({10, " Image " + num(i) + " - " + file_title(r.image_file)});
        if (areas.image == 1) {
            out.push_back({8, "    File Path=" + r.image_file});
            out.push_back({8, "    Display Position: " + entry(lists.display_positions, r.display_position) +
                                  "   Display Effect: " + entry(lists.effects, r.display_effect) +
                                  "   Effect Speed: " + num(r.effect_speed) + "   Effect Grain: " +
                                  num(r.effect_grain) + "   Display Time: " + num(r.display_time) + " Second(s)"});
            out.push_back({8, "    Notes: " + r.notes});
        }
        if (areas.background == 1) {
            out.push_back({8, "    Background Image: " + (r.background_file.empty() ? std::string("None")
                                                                                      : r.background_file)});
            out.push_back({8, "    Display Position: " + entry(lists.placements, r.background_placement) +
                                  "    Display Effect: " + entry(lists.effects, r.background_effect) +
                                  "    Effect Speed: " + num(r.background_speed) + "    Effect Grain: " +
                                  num(r.background_grain)});
        }
        if (areas.caption == 1) {
            out.push_back({8, "    Caption: " + (r.caption_text.empty() ? std::string("None") : r.caption_text)});
            out.push_back({8, "    Caption Position: " + entry(lists.caption_positions, r.caption_position) +
                                  "    Display Effect: " + entry(lists.effects, r.caption_effect) +
                                  "    Effect Speed: " + num(r.caption_speed) + "    Effect Grain: " +
                                  num(r.caption_grain)});
        }
        if (areas.audio == 1) {
            out.push_back({8, "    Audio File: " + (r.audio_file.empty() ? std::string("None") : r.audio_file)});
            out.push_back({8, "    Audio Mode: " + entry(lists.audio_modes, r.audio_mode)});
        }
        out.push_back({8, "  "});
    }
    return out;
}

print_outcome print_custom_slideshow(QWidget* parent, const std::string& name_box,
                                     const printout_choice_lists& lists, QPrinter* printer) {
    {
        frmSetprint dlg(parent);
        dlg.exec();
    }
    if (program().print_cancelled == 1) return print_outcome::cancelled;

    hourglass_on();
    bool ok = false;
    std::unique_ptr<QPrinter> default_printer;
    if (!printer && default_printer_available()) {
        default_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer = default_printer.get();
    }
    if (printer) {
        const auto lines = custom_printout_lines(doc(), name_box, lists, current_print_areas(), now());
        ok = print_lines(*printer, lines);
    }
    hourglass_off();
    if (ok) return print_outcome::printed;

    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Unable To Print"), QStringLiteral("Please check your printer!"),
                    QMessageBox::Ok, parent);
    box.exec();
    return print_outcome::failed;
}

}  // namespace lv
