#include "core/caption_schemes.h"

namespace lv {

const std::array<const char*, 9> caption_scheme_names{
    "Solid",
    "Gradient White",
    "Gradient Red",
    "Gradient Green",
    "Gradient Blue",
    "Gradient Purple",
    "Gradient Gold",
    "Gradient Sunburst",
    "Gradient Midnight Blue",
};

std::array<caption_scheme, 9>& caption_schemes() {
    static std::array<caption_scheme, 9> schemes{};
    return schemes;
}

void init_caption_schemes() {
    auto& s = caption_schemes();
    // Colours are 0x00BBGGRR: red in the low byte.
    s[1] = {0xFFFFFF, 0x808080, 0xCFCFCF};   // white
    s[2] = {0xFFFFFF, 0x0000FF, 0x8080FF};   // red
    s[3] = {0xFFFFFF, 0x00C000, 0x00FF00};   // green
    s[4] = {0xFFFFFF, 0xFF0000, 0xFF8080};   // blue
    s[5] = {0xFFFFFF, 0xFF00FF, 0xFF80FF};   // purple
    s[6] = {0x80FFFF, 0x008080, 0x79C4C0};   // gold
    s[7] = {0x80FFFF, 0x0000FF, 0x77A4FF};   // sunburst
    s[8] = {0xFF00FF, 0x800000, 0xC100C1};   // midnight blue
}

const caption_scheme* find_caption_scheme(int n) {
    if (n < 1 || n > 8) return nullptr;
    return &caption_schemes()[static_cast<std::size_t>(n)];
}

}  // namespace lv
