#include "core/hooks.h"

#include <chrono>
#include <ctime>

namespace lv {

namespace {
std::mt19937_64& engine() {
    static std::mt19937_64 e{std::random_device{}()};
    return e;
}
std::function<double()>& scripted() {
    static std::function<double()> s;
    return s;
}
}  // namespace

core_hooks& hooks() {
    static core_hooks h;
    return h;
}

void yield_events() {
    if (hooks().yield_events) hooks().yield_events();
}

std::int64_t monotonic_ms() {
    if (hooks().monotonic_ms) return hooks().monotonic_ms();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

wall_time now() {
    if (hooks().now) return hooks().now();
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

screen_facts screen() {
    if (hooks().screen) return hooks().screen();
    return {};
}

yield_pacer::yield_pacer(std::int64_t interval_ms) : interval_ms_(interval_ms), last_ms_(monotonic_ms()) {}

bool yield_pacer::maybe_yield() {
    const std::int64_t t = monotonic_ms();
    if (t - last_ms_ < interval_ms_) return false;
    yield_events();
    // From after the yield: a slow pass of the message loop must not make
    // the next step yield at once.
    last_ms_ = monotonic_ms();
    return true;
}

double rnd() {
    if (scripted()) {
        double r = scripted()();
        if (r < 0.0) r = 0.0;
        if (r >= 1.0) r = 0.999999999;
        return r;
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine());
}

void seed_random(std::uint64_t seed) { engine().seed(seed); }

void set_random_source(std::function<double()> source) { scripted() = std::move(source); }

}  // namespace lv
