#pragma once
#include <array>
#include <cstdint>

namespace lv {

struct caption_scheme {
    std::int32_t gradient_color_1 = 0;   // 0x00BBGGRR
    std::int32_t gradient_color_2 = 0;
    std::int32_t text_color = 0;
};

// Rows 1..8; row 0 is unused (scheme 0 means a solid caption colour).
std::array<caption_scheme, 9>& caption_schemes();
extern const std::array<const char*, 9> caption_scheme_names;   // 0 = "Solid"
void init_caption_schemes();
// Row n of caption_schemes for 1 <= n <= 8; nullptr for 0 (solid colour) and
// for any number no scheme has, so a hand-edited file cannot index past the table.
const caption_scheme* find_caption_scheme(int n);

}  // namespace lv
