#include "core/effects.h"
#include "core/caption_schemes.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "core/document.h"
#include "core/hooks.h"
#include "core/state.h"

namespace {

struct expected_row {
    int row, effect_number, grain, speed, disabled;
    const char* name;
};

// The built-in table, written out independently of the code under test.
const expected_row expected[] = {
    {0, 0, 1, 1, 0, "Random Effect"},
    {1, 0, 1, 1, 0, "No Effect"},
    {2, 1, 4, 15, 0, "Left To Right"},
    {3, 2, 4, 15, 0, "Right To Left"},
    {4, 3, 4, 15, 0, "Top To Bottom"},
    {5, 4, 4, 15, 0, "Bottom To Top"},
    {6, 5, 4, 15, 0, "Horizontal Wipe In"},
    {7, 6, 4, 15, 0, "Horizontal Wipe Out"},
    {8, 7, 4, 15, 0, "Vertical Wipe In"},
    {9, 8, 4, 15, 0, "Vertical Wipe Out"},
    {10, 9, 4, 15, 0, "Slide Up"},
    {11, 10, 4, 15, 0, "Slide Down"},
    {12, 11, 4, 15, 0, "Push Up1"},
    {13, 12, 4, 15, 0, "Push Down1"},
    {14, 13, 5, 15, 0, "Diagonal TL - BR"},
    {15, 14, 5, 15, 0, "Diagonal BL - TR"},
    {16, 15, 5, 15, 0, "Diagonal TR - BL"},
    {17, 16, 5, 15, 0, "Diagonal BR - TL"},
    {18, 17, 5, 15, 0, "Double Diag. TL - BR"},
    {19, 18, 5, 15, 0, "Double Diag. TR - BL"},
    {20, 19, 5, 15, 0, "Diagonal Out TL-BR"},
    {21, 20, 5, 15, 0, "Diagonal Out TR-BL"},
    {22, 21, 5, 15, 0, "Diagonal Quad"},
    {23, 22, 4, 15, 0, "Explode"},
    {24, 23, 4, 15, 0, "Implode"},
    {25, 24, 8, 15, 1, "Zoom Out1"},
    {26, 25, 8, 15, 1, "Zoom In1"},
    {27, 26, 4, 15, 0, "Corners Out"},
    {28, 27, 4, 15, 0, "Horiz.Interlace"},
    {29, 28, 4, 15, 0, "Vert.Interlace"},
    {30, 29, 4, 15, 0, "Horiz. Double Pass 2"},
    {31, 30, 4, 15, 0, "Vert. Double Pass 2"},
    {32, 31, 4, 15, 0, "Horiz.Double Pass"},
    {33, 32, 4, 15, 0, "Vert.Double Pass"},
    {34, 33, 4, 15, 0, "Random Lines"},
    {35, 34, 15, 100, 0, "Horizontal Blind"},
    {36, 35, 15, 100, 0, "Vertical Blind"},
    {37, 36, 15, 100, 0, "Double Blind"},
    {38, 37, 30, 10, 0, "Swirl In"},
    {39, 38, 30, 10, 0, "Swirl Out"},
    {40, 39, 3, 0, 0, "Random Block"},
    {41, 40, 4, 15, 0, "Checkerboard"},
    {42, 41, 4, 15, 0, "Vert.Double Wipe"},
    {43, 42, 4, 15, 0, "Horiz.Double Wipe"},
    {44, 43, 4, 15, 0, "Kaleidoscope"},
    {45, 44, 4, 15, 0, "Double Wipe Out"},
    {46, 45, 4, 15, 0, "Double Wipe In"},
    {47, 46, 4, 15, 0, "Vert.Squash1"},
    {48, 47, 4, 15, 0, "Vert.Pull1"},
    {49, 48, 4, 15, 0, "Horiz.Squash1"},
    {50, 49, 4, 15, 0, "Horiz.Pull1"},
    {51, 50, 8, 2, 0, "Drip"},
    {52, 52, 4, 15, 0, "Slide Left"},
    {53, 53, 4, 15, 0, "Slide Right"},
    {54, 54, 4, 15, 0, "Push Left1"},
    {55, 55, 4, 15, 0, "Push Right1"},
    {56, 56, 4, 15, 0, "Double Diag. Up"},
    {57, 57, 4, 15, 0, "Double Diag. Down"},
    {58, 58, 4, 15, 0, "Double Diag. Left"},
    {59, 59, 4, 15, 0, "Double Diag. Right"},
    {60, 60, 2, 0, 0, "Random Bars Up"},
    {61, 61, 2, 0, 0, "Random Bars Down"},
    {62, 62, 2, 0, 0, "Random Bars Left"},
    {63, 63, 2, 0, 0, "Random Bars Right"},
    {64, 64, 8, 1, 0, "Sparkle Up"},
    {65, 65, 8, 1, 0, "Sparkle Down"},
    {66, 66, 8, 1, 0, "Sparkle Left"},
    {67, 67, 8, 1, 0, "Sparkle Right"},
    {68, 68, 4, 10, 0, "Clockwise"},
    {69, 69, 4, 15, 0, "Counterclockwise"},
    {70, 70, 4, 10, 0, "Semicircle -RL"},
    {71, 71, 4, 10, 0, "Semicircle -LR"},
    {72, 72, 4, 10, 0, "Semicircle-In"},
    {73, 73, 4, 10, 0, "Semicircle -Out"},
    {74, 74, 4, 10, 0, "Double Clockwise"},
    {75, 75, 4, 10, 0, "Circular Quad"},
    {76, 76, 4, 15, 0, "Diagonal Slide TL-BR"},
    {77, 77, 4, 15, 0, "Diagonal Slide TR-BL"},
    {78, 78, 4, 15, 0, "Diagonal Slide BL-TR"},
    {79, 79, 4, 15, 0, "Diagonal Slide BR-TL"},
    {80, 80, 4, 15, 0, "Horiz.Double Slide"},
    {81, 81, 4, 15, 0, "Vert.Double Slide"},
    {82, 90, 15, 4, 0, "Blocks TB"},
    {83, 91, 15, 4, 0, "Blocks BT"},
    {84, 92, 15, 4, 0, "Blocks LR"},
    {85, 93, 15, 4, 0, "Blocks RL"},
    {86, 94, 20, 45, 0, "Growing Blind TB"},
    {87, 95, 20, 45, 0, "Growing Blind BT"},
    {88, 96, 20, 45, 0, "Growing Blind LR"},
    {89, 97, 20, 45, 0, "Growing Blind RL"},
    {90, 98, 4, 15, 0, "Roll TB"},
    {91, 99, 4, 15, 0, "Roll BT"},
    {92, 100, 4, 15, 0, "Roll LR"},
    {93, 101, 4, 15, 0, "Roll RL"},
    {94, 102, 2, 15, 0, "Double Pass Left to Right"},
    {95, 103, 2, 15, 0, "Double Pass Right to Left"},
    {96, 104, 2, 15, 0, "Double Pass Top to Bottom"},
    {97, 105, 2, 15, 0, "Double Pass Bottom to Top"},
    {98, 106, 2, 15, 0, "Double Pass Horiz. Wipe In"},
    {99, 107, 2, 15, 0, "Double Pass Horiz. Wipe Out"},
    {100, 108, 2, 15, 0, "Double Pass Vert. Wipe In"},
    {101, 109, 2, 15, 0, "Double Pass Vert.. Wipe Out"},
    {102, 110, 2, 15, 0, "Double Pass Implode"},
    {103, 111, 2, 15, 0, "Double Pass Explode"},
    {104, 112, 4, 10, 0, "Horiz.Interlace Slide"},
    {105, 113, 4, 10, 0, "Vert.Interlace Slide"},
};

// Replaces the random source with a list of values; once the list is used up
// it repeats the last one.  Counts the draws.
class scripted_random {
public:
    explicit scripted_random(std::deque<double> values) : values_(std::move(values)) {
        lv::set_random_source([this] {
            ++draws;
            if (values_.size() > 1) {
                double v = values_.front();
                values_.pop_front();
                return v;
            }
            return values_.front();
        });
    }
    ~scripted_random() { lv::set_random_source(nullptr); }
    int draws = 0;

private:
    std::deque<double> values_;
};

// r for which the draw 2 + floor(104 r) gives row.
double r_for_row(int row) { return (row - 2 + 0.5) / 104.0; }

class EffectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        lv::reset_effect_table();
        lv::doc().random_effect_speed = 1;
        lv::run().power_saver_active = 0;
    }
    void TearDown() override {
        lv::reset_effect_table();
        lv::doc().random_effect_speed = 1;
        lv::run().power_saver_active = 0;
        lv::set_random_source(nullptr);
    }
    static void disable_all_transitions() {
        for (int r = 2; r < lv::effect_rows; ++r) lv::effect_table()[r].disabled = 1;
    }
};

TEST_F(EffectsTest, DefaultTableMatchesEveryRowAndName) {
    ASSERT_EQ(std::size(expected), static_cast<std::size_t>(lv::effect_rows));
    auto& t = lv::effect_table();
    t[7] = {0, 0, 0, 0};   // a dirty table is fully restored
    lv::reset_effect_table();
    for (const auto& e : expected) {
        SCOPED_TRACE("row " + std::to_string(e.row));
        EXPECT_EQ(t[e.row].effect_number, e.effect_number);
        EXPECT_EQ(t[e.row].grain, e.grain);
        EXPECT_EQ(t[e.row].speed, e.speed);
        EXPECT_EQ(t[e.row].disabled, e.disabled);
        EXPECT_STREQ(lv::effect_names[e.row], e.name);
        EXPECT_EQ(lv::effect_number_for_row(e.row), e.effect_number);
    }
}

TEST_F(EffectsTest, EffectNumbersHaveGapsAndOnlyTwoRowsDisabled) {
    int disabled = 0;
    for (int r = 0; r < lv::effect_rows; ++r) {
        int n = lv::effect_table()[r].effect_number;
        EXPECT_NE(n, 51);
        EXPECT_FALSE(n >= 82 && n <= 89) << r;
        disabled += lv::effect_table()[r].disabled;
    }
    EXPECT_EQ(disabled, 2);
    EXPECT_EQ(lv::effect_table()[25].disabled, 1);
    EXPECT_EQ(lv::effect_table()[26].disabled, 1);
    EXPECT_EQ(lv::effect_number_for_row(-1), 0);
    EXPECT_EQ(lv::effect_number_for_row(106), 0);
}

TEST_F(EffectsTest, DrawMapsUniformValueToRowsTwoToOneHundredFive) {
    {
        scripted_random rnd({0.0});
        auto c = lv::pick_random_effect();
        EXPECT_EQ(c.effect_number, 1);   // row 2
        EXPECT_EQ(c.grain, 4);
        EXPECT_DOUBLE_EQ(c.speed, 15);
        EXPECT_EQ(rnd.draws, 1);
    }
    {
        scripted_random rnd({0.999999});
        auto c = lv::pick_random_effect();
        EXPECT_EQ(c.effect_number, 113);   // row 105
        EXPECT_DOUBLE_EQ(c.speed, 10);
    }
}

TEST_F(EffectsTest, DisabledRowsAreRedrawn) {
    // Rows 25 and 26 are disabled by default; the third draw hits row 35.
    scripted_random rnd({r_for_row(25), r_for_row(26), r_for_row(35)});
    auto c = lv::pick_random_effect();
    EXPECT_EQ(c.effect_number, 34);
    EXPECT_EQ(c.grain, 15);
    EXPECT_DOUBLE_EQ(c.speed, 100);
    EXPECT_EQ(rnd.draws, 3);
}

TEST_F(EffectsTest, AllRowsDisabledFallsBackToNoEffectAfter500Draws) {
    disable_all_transitions();
    scripted_random rnd({0.3});
    auto c = lv::pick_random_effect();
    EXPECT_EQ(rnd.draws, 500);
    EXPECT_EQ(c.effect_number, 0);
    EXPECT_EQ(c.grain, 1);
    EXPECT_DOUBLE_EQ(c.speed, 1);

    lv::doc().random_effect_speed = 0;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 2);
    lv::doc().random_effect_speed = 2;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 0);
}

TEST_F(EffectsTest, OneEnabledRowIsFoundByDrawOrByFallback) {
    disable_all_transitions();
    lv::effect_table()[60].disabled = 0;
    {
        // The 499th draw still decides.
        std::deque<double> v(498, r_for_row(3));
        v.push_back(r_for_row(60));
        scripted_random rnd(v);
        auto c = lv::pick_random_effect();
        EXPECT_EQ(rnd.draws, 499);
        EXPECT_EQ(c.effect_number, 60);
    }
    {
        // The 500th draw is set aside even when it hits the enabled row; the
        // fallback finds the row anyway.
        std::deque<double> v(499, r_for_row(3));
        v.push_back(r_for_row(60));
        scripted_random rnd(v);
        EXPECT_EQ(lv::pick_random_effect().effect_number, 60);
        EXPECT_EQ(rnd.draws, 500);
    }
    // Only row 2 enabled.
    lv::effect_table()[60].disabled = 1;
    lv::effect_table()[2].disabled = 0;
    scripted_random rnd({0.9});
    auto c = lv::pick_random_effect();
    EXPECT_EQ(c.effect_number, 1);
    EXPECT_EQ(c.grain, 4);
}

TEST_F(EffectsTest, FallbackTakesHighestEnabledRow) {
    disable_all_transitions();
    lv::effect_table()[10].disabled = 0;
    lv::effect_table()[70].disabled = 0;
    scripted_random rnd({r_for_row(3)});
    EXPECT_EQ(lv::pick_random_effect().effect_number, 70);
}

TEST_F(EffectsTest, SlowDoublesAndCapsAt250) {
    lv::doc().random_effect_speed = 0;
    auto& t = lv::effect_table();
    t[2].speed = 200;
    scripted_random rnd({0.0});
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 250);
    t[2].speed = 100;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 200);
    t[2].speed = 0;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 0);
    t[2].speed = 125;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 250);
}

TEST_F(EffectsTest, FastHalvesKeepingTheFraction) {
    lv::doc().random_effect_speed = 2;
    auto& t = lv::effect_table();
    scripted_random rnd({0.0});
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 7.5);   // default 15
    t[2].speed = 1;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 0);
    t[2].speed = 0;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 0);
    t[2].speed = 2;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 1);
}

TEST_F(EffectsTest, RandomBlockWithSpeedZeroStaysZero) {
    scripted_random rnd({r_for_row(40)});
    lv::doc().random_effect_speed = 0;
    auto c = lv::pick_random_effect();
    EXPECT_EQ(c.effect_number, 39);
    EXPECT_DOUBLE_EQ(c.speed, 0);
    lv::doc().random_effect_speed = 2;
    EXPECT_DOUBLE_EQ(lv::pick_random_effect().speed, 0);
}

TEST_F(EffectsTest, PowerSaverAlwaysGivesNoTransition) {
    lv::run().power_saver_active = 1;
    scripted_random rnd({r_for_row(35)});
    for (int speed : {0, 1, 2}) {
        lv::doc().random_effect_speed = speed;
        auto c = lv::pick_random_effect();
        EXPECT_EQ(c.effect_number, 0);
        EXPECT_EQ(c.grain, 1);
        EXPECT_DOUBLE_EQ(c.speed, 1);
    }
}

TEST_F(EffectsTest, EditedGrainAndSpeedAreHandedOn) {
    auto& t = lv::effect_table();
    t[50].grain = 77;
    t[50].speed = 33;
    scripted_random rnd({r_for_row(50)});
    auto c = lv::pick_random_effect();
    EXPECT_EQ(c.effect_number, 49);
    EXPECT_EQ(c.grain, 77);
    EXPECT_DOUBLE_EQ(c.speed, 33);
}

// ---- caption colour schemes
TEST(CaptionSchemes, EightRowsWithTheirColoursAndNames) {
    lv::init_caption_schemes();
    struct row { const char* name; std::int32_t g1, g2, text; };
    const row expected[9] = {
        {"Solid", 0, 0, 0},
        {"Gradient White", 0xFFFFFF, 0x808080, 0xCFCFCF},
        {"Gradient Red", 0xFFFFFF, 0x0000FF, 0x8080FF},
        {"Gradient Green", 0xFFFFFF, 0x00C000, 0x00FF00},
        {"Gradient Blue", 0xFFFFFF, 0xFF0000, 0xFF8080},
        {"Gradient Purple", 0xFFFFFF, 0xFF00FF, 0xFF80FF},
        {"Gradient Gold", 0x80FFFF, 0x008080, 0x79C4C0},
        {"Gradient Sunburst", 0x80FFFF, 0x0000FF, 0x77A4FF},
        {"Gradient Midnight Blue", 0xFF00FF, 0x800000, 0xC100C1},
    };
    for (int n = 0; n <= 8; ++n) {
        SCOPED_TRACE(n);
        EXPECT_STREQ(lv::caption_scheme_names[n], expected[n].name);
        if (n == 0) continue;
        const auto& s = lv::caption_schemes()[n];
        EXPECT_EQ(s.gradient_color_1, expected[n].g1);
        EXPECT_EQ(s.gradient_color_2, expected[n].g2);
        EXPECT_EQ(s.text_color, expected[n].text);
        EXPECT_EQ(lv::find_caption_scheme(n), &s);
    }
    // Red is the low byte: "Gradient Red" ends in pure red.
    EXPECT_EQ(lv::caption_schemes()[2].gradient_color_2 & 0xFF, 0xFF);
}

TEST(CaptionSchemes, SolidAndUnknownNumbersHaveNoRow) {
    lv::init_caption_schemes();
    EXPECT_EQ(lv::find_caption_scheme(0), nullptr);
    EXPECT_EQ(lv::find_caption_scheme(9), nullptr);
    EXPECT_EQ(lv::find_caption_scheme(-1), nullptr);
    EXPECT_EQ(lv::find_caption_scheme(32767), nullptr);
}

}  // namespace
