#pragma once
// Ends the test program with a message when the code under test stops coming
// back: a hang then fails at once, with its reason, instead of running into
// the test runner's time limit.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

namespace lv::test {

class hang_guard {
public:
    // Fails when `ms` pass without pet() (or the end of the guard).
    hang_guard(std::string what, int ms) : what_(std::move(what)), limit_(ms) {
        last_ = clock::now();
        watcher_ = std::thread([this] { watch(); });
    }
    ~hang_guard() {
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        watcher_.join();
    }
    hang_guard(const hang_guard&) = delete;
    hang_guard& operator=(const hang_guard&) = delete;

    // The code is still coming back: the time limit starts again.
    void pet() {
        std::lock_guard<std::mutex> lock(m_);
        last_ = clock::now();
    }

private:
    using clock = std::chrono::steady_clock;
    // Where every thread stands, when a debugger is at hand: the hang's cause.
    static void print_stacks() {
        if (std::system("command -v gdb >/dev/null 2>&1") != 0) return;
        const std::string cmd = "gdb -p " + std::to_string(::getpid()) +
                                " -batch -ex 'thread apply 1 bt' -ex 'thread apply all bt 40' 1>&2 2>/dev/null";
        [[maybe_unused]] const int rc = std::system(cmd.c_str());
    }
    void watch() {
        std::unique_lock<std::mutex> lock(m_);
        while (!done_) {
            if (clock::now() - last_ > limit_) {
                std::fprintf(stderr, "HANG: %s (nothing came back for %lld ms)\n", what_.c_str(),
                             static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                print_stacks();
                std::abort();
            }
            cv_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    std::string what_;
    std::chrono::milliseconds limit_;
    std::mutex m_;
    std::condition_variable cv_;
    clock::time_point last_;
    bool done_ = false;
    std::thread watcher_;
};

}  // namespace lv::test
