// The custom editor's audio-CD playback.
#include "platform/media/audio.h"

#include "core/hooks.h"
#include "core/state.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace lv {

namespace {

// The drive named by the device setting when it is a path, else the
// system's usual CD drive. "" when there is none.
std::string cd_drive(const std::string& device_type) {
    std::error_code ec;
    if (!device_type.empty() && device_type.front() == '/')
        return std::filesystem::exists(device_type, ec) ? device_type : std::string();
    for (const char* d : {"/dev/cdrom", "/dev/sr0"})
        if (std::filesystem::exists(d, ec)) return d;
    return {};
}

// Number of tracks on the disc in `drive`; 0 without a readable disc.
int cd_track_count(const std::string& drive) {
    const int fd = ::open(drive.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return 0;
    cdrom_tochdr toc{};
    int count = 0;
    if (::ioctl(fd, CDROMREADTOCHDR, &toc) == 0 && toc.cdth_trk1 >= toc.cdth_trk0)
        count = toc.cdth_trk1 - toc.cdth_trk0 + 1;
    ::close(fd);
    return count;
}

}  // namespace

int play_cd_track(audio_control& control, int track) {
    control.stop_and_close();
    yield_events();
    yield_events();
    control.device_type = settings().cda_devicename;
    const std::string drive = cd_drive(control.device_type);
    const int tracks = drive.empty() ? 0 : cd_track_count(drive);
    yield_events();

    // No drive or no disc: there is nothing to step through, and stepping
    // would never reach its limit of four steps per track.
    if (tracks <= 0) return 1;

    // Step from the first track towards the wanted one, one track per step,
    // pausing for the drive's seek time; give up after twice the track count.
    const int limit = 4 * tracks;
    int current = 1, steps = 0;
    while (current < track) {
        yield_events();
        ++steps;
        current = std::min(current + 1, tracks);
        yield_events();
        yield_events();
        yield_events();
        yield_events();
        const std::int64_t pause_ms = std::max(0, settings().cd_seektime - 1) * 25;
        const std::int64_t start = monotonic_ms();
        while (monotonic_ms() - start < pause_ms) {
            yield_events();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        yield_events();
        ++steps;
        if (steps == limit) break;
    }
    if (steps == limit) return 1;
    yield_events();
    control.open_and_play("cdda://" + drive + "#" + std::to_string(current));
    yield_events();
    return 0;
}

}  // namespace lv
