#include "player/play_order.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "core/hooks.h"

namespace lv {

namespace {

// A whole number 1..n drawn from the process's one generator.
int draw_1_to_n(int n) {
    int r = static_cast<int>(std::floor(n * rnd())) + 1;
    if (r > n) r = n;   // guards a source that returns values at the top edge
    if (r < 1) r = 1;
    return r;
}

}  // namespace

void play_order_state::build(int count) {
    if (count < 0) count = 0;
    play_order.assign(static_cast<std::size_t>(count) + 1, 0);
    for (int i = 1; i <= count; ++i) play_order[i] = i;
    // Each position is swapped with one drawn from the whole range. The
    // generator is seeded once for the process: reseeding from the clock
    // before every draw would give runs of equal numbers within one tick.
    for (int i = 1; i <= count; ++i) {
        int t = play_order[i];
        int r = draw_1_to_n(count);
        play_order[i] = play_order[r];
        play_order[r] = t;
    }
    play_order_position = 0;
}

int next_image(int image_index, int count, bool sequential, play_order_state& order) {
    if (count <= 0) return 0;
    if (sequential) {
        ++image_index;
        if (image_index > count || image_index < 1) image_index = 1;
        return image_index;
    }
    if (order.size() != count) order.build(count);
    ++order.play_order_position;
    if (order.play_order_position > count) {
        order.build(count);
        order.play_order_position = 1;
    }
    return order.play_order[order.play_order_position];
}

int start_position(int count, int random_start, int show_origin, int start_image) {
    int index = 0;
    if (random_start == 1 && show_origin < 2 && count > 0) {
        index = draw_1_to_n(count) - 1;
    }
    if (start_image > 0 && start_image < count + 1) index = start_image - 1;
    return index;
}

bar_origin button_bar_origin(const std::string& button_position, int inner_w, int inner_h,
                             int button_w, int button_h) {
    int corner = static_cast<int>(stored_number(button_position, -1));
    bar_origin o;
    switch (corner) {
    case 1: o.x = inner_w - 5 * button_w; break;
    case 2: o.y = inner_h - button_h; break;
    case 3:
        o.x = inner_w - 5 * button_w;
        o.y = inner_h - button_h;
        break;
    default: break;   // 0 and anything else: top left
    }
    return o;
}

button_enabling buttons_enabled(int slideshow_method, int image_index) {
    button_enabling e;
    if (slideshow_method != 1) {
        if (image_index == 1) e.previous = e.begin = false;
    } else {
        e.begin = e.previous = e.ending = false;
    }
    return e;
}

bool mouse_exit_counter::count_event(std::int64_t now_ms, int mouse_moves_exit) {
    ++mouse_move_ticks;
    if (mouse_move_ticks > 8) {
        mouse_move_ticks = 3;
        ++mouse_move_count;
        if (mouse_move_count > mouse_moves_exit) return true;
    }
    if (mouse_window_end == no_window || now_ms > mouse_window_end) {
        mouse_move_count = 0;
        mouse_window_end = now_ms + 3000;
    }
    return false;
}

double stored_number(const std::string& text, double fallback) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (*begin == '\0') return fallback;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(begin, &end);
    if (end == begin || errno == ERANGE || !std::isfinite(v)) return fallback;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return fallback;
    return v;
}

power_saver_hours compute_power_saver_hours(int hour, int minute, const std::string& extended_time) {
    power_saver_hours h;
    h.start_hour = hour;
    if (minute > 30) ++h.start_hour;
    if (h.start_hour > 23) h.start_hour = 0;
    double extended = stored_number(extended_time, 18);
    if (extended < -1e6 || extended > 1e6) extended = 18;
    long end = h.start_hour + std::lround(extended);
    // Any number of hours lands on a real hour of the day.
    h.end_hour = static_cast<int>(((end % 24) + 24) % 24);
    return h;
}

}  // namespace lv
