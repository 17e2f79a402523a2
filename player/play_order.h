#pragma once
// The player's bookkeeping that does not need a window: which sequence comes
// next (in order or shuffled), where a show starts, which navigation buttons
// are offered, the mouse-movement exit counter and the power-saver hours.
// frmSlideshow owns one of each; tests drive them directly.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace lv {

// Sequence numbers 1..count in the order a shuffled show plays them.
struct play_order_state {
    std::vector<int> play_order{0};   // entry 0 unused; entries 1..count
    int play_order_position = 0;

    // A new shuffled order over 1..count; the position goes back to 0.
    void build(int count);
    // The number of entries the current order holds.
    int size() const { return static_cast<int>(play_order.size()) - 1; }
};

// The next sequence after image_index. Sequential: image_index + 1, wrapping
// past count to 1. Shuffled: the next entry of order, building a fresh order
// when the current one is used up (or no longer fits the document).
int next_image(int image_index, int count, bool sequential, play_order_state& order);

// Where image_index stands before the first get_nextimage: a random start
// (never for an editor preview) and the editor's start_image, which wins.
int start_position(int count, int random_start, int show_origin, int start_image);

// The navigation bar: top-left corner for the setting button_position
// ("0".."3"; anything else puts the bar at 0, 0) on an inner area of
// inner_w x inner_h with buttons of button_w x button_h.
struct bar_origin {
    int x = 0, y = 0;
};
bar_origin button_bar_origin(const std::string& button_position, int inner_w, int inner_h,
                             int button_w, int button_h);

// Which of begin, previous, stop, next, ending are enabled.
struct button_enabling {
    bool begin = true, previous = true, stop = true, next = true, ending = true;
};
button_enabling buttons_enabled(int slideshow_method, int image_index);

// Mouse-movement exit: events are counted into bursts (the first burst takes
// 9 events, every later one 6); more than mouse_moves_exit bursts inside one
// 3-second window end the show. The clock is monotonic milliseconds.
struct mouse_exit_counter {
    static constexpr std::int64_t no_window = std::numeric_limits<std::int64_t>::min();
    int mouse_move_ticks = 0;                   // never reset after the window loads
    int mouse_move_count = 0;                   // bursts in the current window
    std::int64_t mouse_window_end = no_window;  // end of the current window, ms

    void reset_window() {
        mouse_move_count = 0;
        mouse_window_end = no_window;
    }
    // Counts one event at now_ms; true when this event ends the show.
    bool count_event(std::int64_t now_ms, int mouse_moves_exit);
};

// Whole hours of the power saver, from the wall-clock time the show started
// and the setting extended_time (a text; one that is not a number counts as
// its default, 18).
struct power_saver_hours {
    int start_hour = 0;
    int end_hour = 0;
};
power_saver_hours compute_power_saver_hours(int hour, int minute, const std::string& extended_time);

// A stored number held as text ("1", " 18", "18.0"); fallback when the text is
// not a number.
double stored_number(const std::string& text, double fallback);

}  // namespace lv
