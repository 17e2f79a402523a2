#pragma once
// What start-up needs from the desktop on Linux: the per-user data
// directory, the single-instance test, the slideshow file-type registration
// and the real clock, message loop and screen behind the core's hooks.
#include <string>

class QWidget;

namespace lv {

// $XDG_DATA_HOME/lumivane/ (default ~/.local/share/lumivane/), created when
// missing; always ends in "/".
std::string xdg_windows_dir();

// Installs into the core: yield_events (one pass of the Qt message loop), the
// monotonic and wall clocks, and the primary screen's facts.
void install_core_hooks();
// Installs the start-up hooks (the executable's folder, xdg_windows_dir, the
// removal of stale settings files) and register_lmv_extension as the
// settings load's one-time registration.
void install_startup_services();

// Registers *.lmv with the desktop for this user: a shared-mime-info package
// under $XDG_DATA_HOME/mime/packages/ and a .desktop file under
// $XDG_DATA_HOME/applications/ whose Exec is settings().install_path +
// "lumivane %f", or the running executable when install_path is empty (a
// file manager does not have our build folder on its PATH), then refreshes
// the desktop databases when their tools are installed. Every failure is
// ignored.
void register_lmv_extension();
inline constexpr const char* lmv_mime_type = "application/x-lumivane-slideshow";
// The Exec line for a program folder ("" = found on the PATH).
std::string lmv_exec_line(const std::string& install_path);
// The Exec line that starts the program at this path.
std::string lmv_exec_line_for_program(const std::string& program);
// The absolute path of the running executable ("" when unknown).
std::string running_executable();

// A top-level window of ours claims its title for as long as it exists, so
// that another process can tell whether such a window is open, on X11 and
// Wayland alike. The claim is a shared flock on a per-title file in
// $XDG_RUNTIME_DIR (or /tmp/lumivane-$UID); the kernel drops it when the
// process dies, even by kill -9, so a crash never blocks the next start.
class window_title_claim {
public:
    window_title_claim() = default;
    explicit window_title_claim(const std::string& title) { claim(title); }
    ~window_title_claim() { release(); }
    window_title_claim(const window_title_claim&) = delete;
    window_title_claim& operator=(const window_title_claim&) = delete;
    window_title_claim(window_title_claim&& other) noexcept : fd_(other.fd_), title_(std::move(other.title_)) {
        other.fd_ = -1;
    }
    window_title_claim& operator=(window_title_claim&& other) noexcept;

    // Drops any earlier claim and claims title. False when the claim could
    // not be made (no runtime folder): the window works, it is only unseen.
    // Claiming the title already held keeps the claim without a gap.
    bool claim(const std::string& title);
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    std::string title_;
};

// A role that runs in one process at a time, whatever windows it has opened
// yet (the screen saver): an exclusive flock, taken without waiting, on a
// per-role file beside the title claims. Taking it is the check and the claim
// in one step, so of two processes started in the same instant only one
// passes; the kernel drops it when the process dies.
class single_run_claim {
public:
    single_run_claim() = default;
    ~single_run_claim() { release(); }
    single_run_claim(const single_run_claim&) = delete;
    single_run_claim& operator=(const single_run_claim&) = delete;

    // False only when another process holds the role. Without a runtime
    // folder nothing can be claimed: true, and held() stays false.
    bool try_claim(const std::string& role);
    void release();
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Sets the window's title and claims it through claim.
void set_claimed_title(QWidget* window, window_title_claim& claim, const std::string& title);

// True when no window of ours, in any process of this user, holds title.
bool no_window_titled(const std::string& caption);

// The folder holding the title claims (exposed for tests).
std::string title_claim_dir();

// The screen saver's wait: sleeps in the message loop until events arrive,
// and returns once run().show_finished is 1 or the player window has been
// destroyed. Never spins.
void wait_until_show_finished(QWidget* player);

}  // namespace lv
