#include "core/effects.h"

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"

namespace lv {

namespace {

// Built-in values of every row: effect number, grain, speed, disabled.
constexpr std::array<effect_row, effect_rows> default_rows{{
    {0, 1, 1, 0},   //   0 "Random Effect"
    {0, 1, 1, 0},   //   1 "No Effect"
    {1, 4, 15, 0},   //   2 "Left To Right"
    {2, 4, 15, 0},   //   3 "Right To Left"
    {3, 4, 15, 0},   //   4 "Top To Bottom"
    {4, 4, 15, 0},   //   5 "Bottom To Top"
    {5, 4, 15, 0},   //   6 "Horizontal Wipe In"
    {6, 4, 15, 0},   //   7 "Horizontal Wipe Out"
    {7, 4, 15, 0},   //   8 "Vertical Wipe In"
    {8, 4, 15, 0},   //   9 "Vertical Wipe Out"
    {9, 4, 15, 0},   //  10 "Slide Up"
    {10, 4, 15, 0},   //  11 "Slide Down"
    {11, 4, 15, 0},   //  12 "Push Up1"
    {12, 4, 15, 0},   //  13 "Push Down1"
    {13, 5, 15, 0},   //  14 "Diagonal TL - BR"
    {14, 5, 15, 0},   //  15 "Diagonal BL - TR"
    {15, 5, 15, 0},   //  16 "Diagonal TR - BL"
    {16, 5, 15, 0},   //  17 "Diagonal BR - TL"
    {17, 5, 15, 0},   //  18 "Double Diag. TL - BR"
    {18, 5, 15, 0},   //  19 "Double Diag. TR - BL"
    {19, 5, 15, 0},   //  20 "Diagonal Out TL-BR"
    {20, 5, 15, 0},   //  21 "Diagonal Out TR-BL"
    {21, 5, 15, 0},   //  22 "Diagonal Quad"
    {22, 4, 15, 0},   //  23 "Explode"
    {23, 4, 15, 0},   //  24 "Implode"
    {24, 8, 15, 1},   //  25 "Zoom Out1"
    {25, 8, 15, 1},   //  26 "Zoom In1"
    {26, 4, 15, 0},   //  27 "Corners Out"
    {27, 4, 15, 0},   //  28 "Horiz.Interlace"
    {28, 4, 15, 0},   //  29 "Vert.Interlace"
    {29, 4, 15, 0},   //  30 "Horiz. Double Pass 2"
    {30, 4, 15, 0},   //  31 "Vert. Double Pass 2"
    {31, 4, 15, 0},   //  32 "Horiz.Double Pass"
    {32, 4, 15, 0},   //  33 "Vert.Double Pass"
    {33, 4, 15, 0},   //  34 "Random Lines"
    {34, 15, 100, 0},   //  35 "Horizontal Blind"
    {35, 15, 100, 0},   //  36 "Vertical Blind"
    {36, 15, 100, 0},   //  37 "Double Blind"
    {37, 30, 10, 0},   //  38 "Swirl In"
    {38, 30, 10, 0},   //  39 "Swirl Out"
    {39, 3, 0, 0},   //  40 "Random Block"
    {40, 4, 15, 0},   //  41 "Checkerboard"
    {41, 4, 15, 0},   //  42 "Vert.Double Wipe"
    {42, 4, 15, 0},   //  43 "Horiz.Double Wipe"
    {43, 4, 15, 0},   //  44 "Kaleidoscope"
    {44, 4, 15, 0},   //  45 "Double Wipe Out"
    {45, 4, 15, 0},   //  46 "Double Wipe In"
    {46, 4, 15, 0},   //  47 "Vert.Squash1"
    {47, 4, 15, 0},   //  48 "Vert.Pull1"
    {48, 4, 15, 0},   //  49 "Horiz.Squash1"
    {49, 4, 15, 0},   //  50 "Horiz.Pull1"
    {50, 8, 2, 0},   //  51 "Drip"
    {52, 4, 15, 0},   //  52 "Slide Left"
    {53, 4, 15, 0},   //  53 "Slide Right"
    {54, 4, 15, 0},   //  54 "Push Left1"
    {55, 4, 15, 0},   //  55 "Push Right1"
    {56, 4, 15, 0},   //  56 "Double Diag. Up"
    {57, 4, 15, 0},   //  57 "Double Diag. Down"
    {58, 4, 15, 0},   //  58 "Double Diag. Left"
    {59, 4, 15, 0},   //  59 "Double Diag. Right"
    {60, 2, 0, 0},   //  60 "Random Bars Up"
    {61, 2, 0, 0},   //  61 "Random Bars Down"
    {62, 2, 0, 0},   //  62 "Random Bars Left"
    {63, 2, 0, 0},   //  63 "Random Bars Right"
    {64, 8, 1, 0},   //  64 "Sparkle Up"
    {65, 8, 1, 0},   //  65 "Sparkle Down"
    {66, 8, 1, 0},   //  66 "Sparkle Left"
    {67, 8, 1, 0},   //  67 "Sparkle Right"
    {68, 4, 10, 0},   //  68 "Clockwise"
    {69, 4, 15, 0},   //  69 "Counterclockwise"
    {70, 4, 10, 0},   //  70 "Semicircle -RL"
    {71, 4, 10, 0},   //  71 "Semicircle -LR"
    {72, 4, 10, 0},   //  72 "Semicircle-In"
    {73, 4, 10, 0},   //  73 "Semicircle -Out"
    {74, 4, 10, 0},   //  74 "Double Clockwise"
    {75, 4, 10, 0},   //  75 "Circular Quad"
    {76, 4, 15, 0},   //  76 "Diagonal Slide TL-BR"
    {77, 4, 15, 0},   //  77 "Diagonal Slide TR-BL"
    {78, 4, 15, 0},   //  78 "Diagonal Slide BL-TR"
    {79, 4, 15, 0},   //  79 "Diagonal Slide BR-TL"
    {80, 4, 15, 0},   //  80 "Horiz.Double Slide"
    {81, 4, 15, 0},   //  81 "Vert.Double Slide"
    {90, 15, 4, 0},   //  82 "Blocks TB"
    {91, 15, 4, 0},   //  83 "Blocks BT"
    {92, 15, 4, 0},   //  84 "Blocks LR"
    {93, 15, 4, 0},   //  85 "Blocks RL"
    {94, 20, 45, 0},   //  86 "Growing Blind TB"
    {95, 20, 45, 0},   //  87 "Growing Blind BT"
    {96, 20, 45, 0},   //  88 "Growing Blind LR"
    {97, 20, 45, 0},   //  89 "Growing Blind RL"
    {98, 4, 15, 0},   //  90 "Roll TB"
    {99, 4, 15, 0},   //  91 "Roll BT"
    {100, 4, 15, 0},   //  92 "Roll LR"
    {101, 4, 15, 0},   //  93 "Roll RL"
    {102, 2, 15, 0},   //  94 "Double Pass Left to Right"
    {103, 2, 15, 0},   //  95 "Double Pass Right to Left"
    {104, 2, 15, 0},   //  96 "Double Pass Top to Bottom"
    {105, 2, 15, 0},   //  97 "Double Pass Bottom to Top"
    {106, 2, 15, 0},   //  98 "Double Pass Horiz. Wipe In"
    {107, 2, 15, 0},   //  99 "Double Pass Horiz. Wipe Out"
    {108, 2, 15, 0},   // 100 "Double Pass Vert. Wipe In"
    {109, 2, 15, 0},   // 101 "Double Pass Vert.. Wipe Out"
    {110, 2, 15, 0},   // 102 "Double Pass Implode"
    {111, 2, 15, 0},   // 103 "Double Pass Explode"
    {112, 4, 10, 0},   // 104 "Horiz.Interlace Slide"
    {113, 4, 10, 0},   // 105 "Vert.Interlace Slide"
}};

}  // namespace

const std::array<const char*, effect_rows> effect_names{{
    "Random Effect",
    "No Effect",
    "Left To Right",
    "Right To Left",
    "Top To Bottom",
    "Bottom To Top",
    "Horizontal Wipe In",
    "Horizontal Wipe Out",
    "Vertical Wipe In",
    "Vertical Wipe Out",
    "Slide Up",
    "Slide Down",
    "Push Up1",
    "Push Down1",
    "Diagonal TL - BR",
    "Diagonal BL - TR",
    "Diagonal TR - BL",
    "Diagonal BR - TL",
    "Double Diag. TL - BR",
    "Double Diag. TR - BL",
    "Diagonal Out TL-BR",
    "Diagonal Out TR-BL",
    "Diagonal Quad",
    "Explode",
    "Implode",
    "Zoom Out1",
    "Zoom In1",
    "Corners Out",
    "Horiz.Interlace",
    "Vert.Interlace",
    "Horiz. Double Pass 2",
    "Vert. Double Pass 2",
    "Horiz.Double Pass",
    "Vert.Double Pass",
    "Random Lines",
    "Horizontal Blind",
    "Vertical Blind",
    "Double Blind",
    "Swirl In",
    "Swirl Out",
    "Random Block",
    "Checkerboard",
    "Vert.Double Wipe",
    "Horiz.Double Wipe",
    "Kaleidoscope",
    "Double Wipe Out",
    "Double Wipe In",
    "Vert.Squash1",
    "Vert.Pull1",
    "Horiz.Squash1",
    "Horiz.Pull1",
    "Drip",
    "Slide Left",
    "Slide Right",
    "Push Left1",
    "Push Right1",
    "Double Diag. Up",
    "Double Diag. Down",
    "Double Diag. Left",
    "Double Diag. Right",
    "Random Bars Up",
    "Random Bars Down",
    "Random Bars Left",
    "Random Bars Right",
    "Sparkle Up",
    "Sparkle Down",
    "Sparkle Left",
    "Sparkle Right",
    "Clockwise",
    "Counterclockwise",
    "Semicircle -RL",
    "Semicircle -LR",
    "Semicircle-In",
    "Semicircle -Out",
    "Double Clockwise",
    "Circular Quad",
    "Diagonal Slide TL-BR",
    "Diagonal Slide TR-BL",
    "Diagonal Slide BL-TR",
    "Diagonal Slide BR-TL",
    "Horiz.Double Slide",
    "Vert.Double Slide",
    "Blocks TB",
    "Blocks BT",
    "Blocks LR",
    "Blocks RL",
    "Growing Blind TB",
    "Growing Blind BT",
    "Growing Blind LR",
    "Growing Blind RL",
    "Roll TB",
    "Roll BT",
    "Roll LR",
    "Roll RL",
    "Double Pass Left to Right",
    "Double Pass Right to Left",
    "Double Pass Top to Bottom",
    "Double Pass Bottom to Top",
    "Double Pass Horiz. Wipe In",
    "Double Pass Horiz. Wipe Out",
    "Double Pass Vert. Wipe In",
    "Double Pass Vert.. Wipe Out",
    "Double Pass Implode",
    "Double Pass Explode",
    "Horiz.Interlace Slide",
    "Vert.Interlace Slide",
}};

std::array<effect_row, effect_rows>& effect_table() {
    static std::array<effect_row, effect_rows> table = default_rows;
    return table;
}

int effect_number_for_row(int row) {
    if (row < 2 || row >= effect_rows) return 0;
    if (row <= 51) return row - 1;
    if (row <= 81) return row;
    return row + 8;   // effect numbers 82..89 have no row
}

void reset_effect_table() { effect_table() = default_rows; }

effect_choice pick_random_effect() {
    const auto& table = effect_table();
    constexpr int max_tries = 500;
    constexpr int first_transition = 2;
    constexpr int transition_rows = effect_rows - first_transition;   // 104

    int tries = 0;
    int disabled = 1;
    int row = 1;
    while (disabled == 1) {
        row = first_transition + static_cast<int>(transition_rows * rnd());
        if (row >= effect_rows) row = effect_rows - 1;
        disabled = table[row].disabled;
        if (++tries == max_tries) {
            // Give up drawing: take the highest enabled row, or "No Effect"
            // when every transition is disabled.
            row = 1;
            disabled = 0;
            for (int r = first_transition; r < effect_rows; ++r) {
                if (table[r].disabled == 0) row = r;
            }
        }
    }

    effect_choice c;
    c.effect_number = table[row].effect_number;
    c.grain = table[row].grain;
    c.speed = table[row].speed;
    if (c.effect_number == 0) {
        c.grain = 1;
        c.speed = 1;
    }

    switch (doc().random_effect_speed) {
        case 0:   // slow
            if (c.speed > 0) c.speed *= 2;
            if (c.speed > 250) c.speed = 250;
            break;
        case 2:   // fast: a half is kept, the display controls take it as it is
            if (c.speed > 1) c.speed /= 2;
            else c.speed = 0;
            break;
        default:
            break;
    }

    if (run().power_saver_active == 1) {
        c.effect_number = 0;
        c.grain = 1;
        c.speed = 1;
    }
    return c;
}

}  // namespace lv
