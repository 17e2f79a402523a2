#pragma once
// The 106 transition effects and the random choice among them.
#include <array>
#include <string>

namespace lv {

constexpr int effect_rows = 106;   // rows 0..105

struct effect_row {
    int effect_number = 0;   // transition number handed to the display controls
    int grain = 0;
    int speed = 0;
    int disabled = 0;
};

// The result of pick_random_effect; speed may be a fraction after scaling.
struct effect_choice {
    int effect_number = 0;
    int grain = 0;
    double speed = 0;
};

std::array<effect_row, effect_rows>& effect_table();
extern const std::array<const char*, effect_rows> effect_names;

// Fixed effect number of a row (0 for rows 0, 1 and rows outside the table).
int effect_number_for_row(int row);
void reset_effect_table();
effect_choice pick_random_effect();

}  // namespace lv
