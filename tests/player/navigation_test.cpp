// Play order (sequential, shuffled, start position) and the presentation-mode
// button bar.
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>
#include <map>
#include <set>

#include "slideshow_fixture.h"

using namespace lv;
using lvtest::PlayerTest;

TEST(PlayOrder, EveryShufflePassIsAPermutation) {
    set_random_source(nullptr);
    play_order_state order;
    std::map<int, int> first_counts;
    for (int pass = 0; pass < 300; ++pass) {
        order.build(7);
        EXPECT_EQ(order.play_order_position, 0);
        ASSERT_EQ(order.size(), 7);
        std::vector<int> v(order.play_order.begin() + 1, order.play_order.end());
        ++first_counts[v[0]];
        std::sort(v.begin(), v.end());
        EXPECT_EQ(v, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    }
    // One generator seeded once: the passes differ (every image leads some).
    EXPECT_EQ(first_counts.size(), 7u);
}

TEST(PlayOrder, SwapsEachPositionWithADrawFromTheWholeRange) {
    set_random_source([] { return 0.0; });   // every draw is 1
    play_order_state order;
    order.build(3);
    // i=1 swaps with 1, i=2 with 1, i=3 with 1.
    EXPECT_EQ(order.play_order, (std::vector<int>{0, 3, 1, 2}));
    set_random_source(nullptr);
}

TEST(PlayOrder, ShuffledOrderIsRebuiltWhenUsedUp) {
    set_random_source(nullptr);
    play_order_state order;
    order.build(4);
    int index = 0;
    for (int pass = 0; pass < 50; ++pass) {
        std::set<int> seen;
        for (int k = 0; k < 4; ++k) {
            index = next_image(index, 4, false, order);
            seen.insert(index);
        }
        EXPECT_EQ(seen.size(), 4u) << "pass " << pass;
        EXPECT_EQ(order.play_order_position, 4);
    }
    index = next_image(index, 4, false, order);
    EXPECT_EQ(order.play_order_position, 1);
}

TEST(PlayOrder, SequentialWrapsAndOneImageRepeats) {
    play_order_state order;
    EXPECT_EQ(next_image(0, 5, true, order), 1);
    EXPECT_EQ(next_image(4, 5, true, order), 5);
    EXPECT_EQ(next_image(5, 5, true, order), 1);
    EXPECT_EQ(next_image(1, 1, true, order), 1);
    order.build(1);
    EXPECT_EQ(next_image(1, 1, false, order), 1);
    EXPECT_EQ(next_image(1, 1, false, order), 1);
    // An order that no longer fits the document is rebuilt before use.
    order.build(2);
    const int i = next_image(0, 6, false, order);
    EXPECT_GE(i, 1);
    EXPECT_LE(i, 6);
    EXPECT_EQ(order.size(), 6);
    EXPECT_EQ(next_image(0, 0, true, order), 0);
}

TEST(PlayOrder, StartPosition) {
    set_random_source([] { return 0.5; });
    EXPECT_EQ(start_position(5, 0, 0, 0), 0);
    EXPECT_EQ(start_position(5, 1, 0, 0), 2);   // floor(0.5 * 5): the third image first
    EXPECT_EQ(start_position(5, 1, 1, 0), 2);
    EXPECT_EQ(start_position(5, 1, 2, 0), 0);   // an editor preview never starts at random
    EXPECT_EQ(start_position(5, 0, 2, 5), 4);   // start_image equal to image_count
    EXPECT_EQ(start_position(5, 0, 2, 6), 0);   // greater: ignored
    EXPECT_EQ(start_position(5, 1, 1, 2), 1);   // start_image wins over the random start
    EXPECT_EQ(start_position(0, 1, 0, 0), 0);
    set_random_source(nullptr);
}

TEST(ButtonBar, CornerByButtonPosition) {
    auto at = [](const char* pos) {
        const bar_origin o = button_bar_origin(pos, 1000, 700, 20, 16);
        return std::pair<int, int>(o.x, o.y);
    };
    EXPECT_EQ(at("0"), (std::pair<int, int>(0, 0)));
    EXPECT_EQ(at("1"), (std::pair<int, int>(900, 0)));
    EXPECT_EQ(at("2"), (std::pair<int, int>(0, 684)));
    EXPECT_EQ(at("3"), (std::pair<int, int>(900, 684)));
    EXPECT_EQ(at("7"), (std::pair<int, int>(0, 0)));
    EXPECT_EQ(at("top"), (std::pair<int, int>(0, 0)));
}

TEST(ButtonBar, Enabling) {
    button_enabling e = buttons_enabled(0, 1);
    EXPECT_FALSE(e.begin);
    EXPECT_FALSE(e.previous);
    EXPECT_TRUE(e.stop && e.next && e.ending);
    e = buttons_enabled(0, 3);
    EXPECT_TRUE(e.begin && e.previous && e.stop && e.next && e.ending);
    e = buttons_enabled(1, 3);
    EXPECT_FALSE(e.begin || e.previous || e.ending);
    EXPECT_TRUE(e.stop && e.next);
}

class NavigationTest : public PlayerTest {
protected:
    // Ticks to the wait for a button of the current image.
    void to_buttons(frmSlideshow& w) { tick_until(w, 9); }
    bool enabled(frmSlideshow& w, frmSlideshow::button b) { return w.nav_button(b)->isEnabled(); }
    void press(frmSlideshow& w, frmSlideshow::button b) { w.nav_button(b)->click(); }
};

TEST_F(NavigationTest, FiveImagesInOrder) {
    add_pictures(5);
    settings().presentation_mode = 1;
    settings().button_position = "3";
    auto w = make_player();
    start_main(*w);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 1);
    EXPECT_FALSE(enabled(*w, frmSlideshow::begin_btn));
    EXPECT_FALSE(enabled(*w, frmSlideshow::previous_btn));
    EXPECT_TRUE(enabled(*w, frmSlideshow::stop_btn));
    EXPECT_TRUE(enabled(*w, frmSlideshow::next_btn));
    EXPECT_TRUE(enabled(*w, frmSlideshow::ending_btn));
    // The bar sits in the bottom-right corner, begin .. ending from left to right.
    const int bw = w->nav_button(frmSlideshow::begin_btn)->width();
    const int bh = w->nav_button(frmSlideshow::begin_btn)->height();
    EXPECT_EQ(w->nav_button(frmSlideshow::begin_btn)->pos(), QPoint(w->width() - 5 * bw, w->height() - bh));
    EXPECT_EQ(w->nav_button(frmSlideshow::ending_btn)->pos(), QPoint(w->width() - bw, w->height() - bh));
    EXPECT_EQ(w->nav_button(frmSlideshow::previous_btn)->toolTip(), " Previous Slide ");

    // No time passes in presentation mode: it waits for a button.
    clock_ms += 1'000'000;
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 9);

    press(*w, frmSlideshow::ending_btn);
    EXPECT_EQ(w->button_code, 5);
    w->main_timer_tick();
    EXPECT_EQ(w->slideshow_state, 1);
    EXPECT_EQ(w->focusWidget(), static_cast<QWidget*>(w->text1()));
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 5);
    EXPECT_TRUE(enabled(*w, frmSlideshow::previous_btn));

    press(*w, frmSlideshow::next_btn);   // from the last image: wraps to the first
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 1);

    press(*w, frmSlideshow::next_btn);
    to_buttons(*w);
    press(*w, frmSlideshow::next_btn);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 3);

    press(*w, frmSlideshow::previous_btn);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 2);

    press(*w, frmSlideshow::begin_btn);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 1);

    // Stop ends the show on the same tick (a user show asks no password).
    press(*w, frmSlideshow::stop_btn);
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(run().show_finished, 1);
    EXPECT_EQ(settings().presentation_mode, 1);
}

TEST_F(NavigationTest, ButtonsAreHiddenWhileAnImageIsDrawn) {
    add_pictures(2);
    settings().presentation_mode = 1;
    auto w = make_player();
    start_main(*w);
    to_buttons(*w);
    EXPECT_TRUE(w->nav_button(frmSlideshow::stop_btn)->isVisible());
    press(*w, frmSlideshow::next_btn);
    w->main_timer_tick();   // 9 -> 1
    w->main_timer_tick();   // state 1 hides the bar
    for (int b = 0; b < 5; ++b)
        EXPECT_FALSE(w->nav_button(static_cast<frmSlideshow::button>(b))->isVisible());
    to_buttons(*w);
    EXPECT_EQ(w->button_code, 0);   // reset when the bar is shown
}

TEST_F(NavigationTest, RandomOrderOffersOnlyStopAndNext) {
    add_pictures(5);
    settings().presentation_mode = 1;
    settings().slideshow_method = 1;
    auto w = make_player();
    start_main(*w);
    std::set<int> seen;
    for (int k = 0; k < 5; ++k) {
        to_buttons(*w);
        seen.insert(w->image_index);
        EXPECT_FALSE(enabled(*w, frmSlideshow::begin_btn));
        EXPECT_FALSE(enabled(*w, frmSlideshow::previous_btn));
        EXPECT_FALSE(enabled(*w, frmSlideshow::ending_btn));
        EXPECT_TRUE(enabled(*w, frmSlideshow::stop_btn));
        EXPECT_TRUE(enabled(*w, frmSlideshow::next_btn));
        press(*w, frmSlideshow::next_btn);
    }
    EXPECT_EQ(seen.size(), 5u);   // one pass shows every image once
}

TEST_F(NavigationTest, EditorPreviewPlaysInOrderFromItsStartImage) {
    add_pictures(5);
    settings().presentation_mode = 1;
    settings().slideshow_method = 1;
    settings().slideshow_random_start = 1;
    run().show_origin = 2;
    run().start_image = 4;
    set_random_source([] { return 0.9; });
    auto w = make_player();
    start_main(*w);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 4);
    // In order, but the bar still offers only stop and next.
    EXPECT_FALSE(enabled(*w, frmSlideshow::previous_btn));
    EXPECT_TRUE(enabled(*w, frmSlideshow::next_btn));
    press(*w, frmSlideshow::next_btn);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 5);
    press(*w, frmSlideshow::next_btn);
    to_buttons(*w);
    EXPECT_EQ(w->image_index, 1);
}

TEST_F(NavigationTest, RandomStartInSequentialOrder) {
    add_pictures(5);
    settings().slideshow_random_start = 1;
    set_random_source([] { return 0.5; });
    auto w = make_player();
    start_main(*w);
    tick_until(*w, 8);
    EXPECT_EQ(w->image_index, 3);
    clock_ms += 100'000;
    tick_until(*w, 8);
    EXPECT_EQ(w->image_index, 4);
}

TEST_F(NavigationTest, SpaceInPresentationModeIsNextThenTheShowRunsTimed) {
    add_pictures(3);
    settings().presentation_mode = 1;
    auto w = make_player();
    start_main(*w);
    to_buttons(*w);
    w->handle_key(Qt::Key_Space, " ");
    EXPECT_EQ(w->button_code, 2);
    EXPECT_EQ(settings().presentation_mode, 0);
    EXPECT_EQ(run().time_to_end, 0);
    tick_until(*w, 8);   // the next image waits for its time, no bar
    EXPECT_EQ(w->image_index, 2);
    // Mouse movement ends the show again.
    for (int i = 0; i < 81; ++i) w->mouse_move();
    EXPECT_EQ(run().time_to_end, 1);
    w->main_timer_tick();
    EXPECT_TRUE(w->unloaded());
    EXPECT_EQ(settings().presentation_mode, 1);   // restored on unload
}

TEST_F(NavigationTest, OtherKeysInPresentationModeEndTheShow) {
    add_pictures(2);
    settings().presentation_mode = 1;
    auto w = make_player();
    start_main(*w);
    to_buttons(*w);
    w->handle_key(Qt::Key_Right, "");
    EXPECT_EQ(run().time_to_end, 1);
    EXPECT_EQ(w->button_code, 0);
}
