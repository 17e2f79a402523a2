#pragma once
// Everything the core needs from the outside world that tests must be able to
// replace: the message loop, time, randomness and facts about the screen.
// The platform layer installs the real ones at start-up; tests install their own.
#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace lv {

struct wall_time {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

struct screen_facts {
    int width = 0, height = 0;
    std::int64_t color_count = 0;   // colours the display can show at once
    // Twips (1/1440 inch) per pixel, rounded; 0 = unknown (start-up takes 15).
    int twips_per_pixel_x = 0, twips_per_pixel_y = 0;
};

struct core_hooks {
    // Lets pending window-system events run (timers, input, painting).
    std::function<void()> yield_events;
    // Monotonic milliseconds; never wraps at midnight.
    std::function<std::int64_t()> monotonic_ms;
    // Local wall-clock time (the log's time stamps, the power saver's hour).
    std::function<wall_time()> now;
    // Screen size and colour count (the log header).
    std::function<screen_facts()> screen;
};

core_hooks& hooks();

// Convenience wrappers that tolerate a hook that was never installed.
void yield_events();
std::int64_t monotonic_ms();
wall_time now();
screen_facts screen();

// Lets the window breathe during a long loop without paying for a pass of
// the message loop on every step: maybe_yield() yields only once interval_ms
// (by monotonic_ms()) have passed since the pacer began or last yielded.
class yield_pacer {
public:
    static constexpr std::int64_t default_interval_ms = 5;
    explicit yield_pacer(std::int64_t interval_ms = default_interval_ms);
    // True when it yielded.
    bool maybe_yield();

private:
    std::int64_t interval_ms_;
    std::int64_t last_ms_;
};

// The one random generator of the process, seeded once at start-up.
// Tests replace the source with a scripted one via set_random_source.
double rnd();                      // uniform in [0, 1)
void seed_random(std::uint64_t seed);
void set_random_source(std::function<double()> source);   // nullptr restores the generator

}  // namespace lv
