#pragma once
// One picture decoded away from the window's thread, bounded in memory and in
// time. The decoding runs in a process of its own, the program
// lumivane-decoder, with a hard limit on its data size and on its processor
// and wall time; it writes the decoded, display-sized pixels back through a
// pipe. A decode nobody wants any more is stopped by killing that process.
// Only one decoding process runs at a time, so the player and its decoder
// together stay within the bound; later jobs wait for their turn.
//
// Without the decoder program (a copy of lumivane alone), lumivane runs a
// copy of itself as the decoder, under the same limits (decoder_call).
// Only a program that cannot do that (a test) decodes in its own process on
// a worker thread, one at a time and within the same accounting; a running
// decode can then only be left to finish, not stopped.
#include "platform/picture/picture_decode.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace lv {

class picture_job {
public:
    // Starts decoding, or queues it behind the decode that runs; fit_box,
    // region and place as decode_picture takes them.
    static std::shared_ptr<picture_job> start(const QString& path, QSize fit_box = QSize(),
                                              QRect region = QRect(), const own_size_place& place = {});
    ~picture_job();   // stops a decode that still runs

    const QString& path() const;
    QSize fit_box() const;
    const own_size_place& place() const;
    bool in_child() const;   // decoded by the decoder program
    // Waits at most ms (-1: until the end) for the result; true once it is there.
    bool wait(int ms);
    // Called once the decoder program's result is there. The event loop of
    // the thread that started the job reads the decoder as it writes and
    // stops it at its time limit, so a job nobody waits for still ends, and
    // its result keeps until it is taken.
    void on_finished(std::function<void()> call);
    // The result, once wait() returned true.
    decoded_picture take();
    // The decode failed on its time or memory limits (stopped at its time,
    // killed by its own limits, out of memory, or too large to hold):
    // decoding the same picture again would only fail the same way.
    bool over_limits() const;
    // Stops the decode now (it then fails as unreadable); a decode in this
    // process cannot be stopped and goes on.
    void stop();

    struct impl;
    explicit picture_job(std::unique_ptr<impl> d);

private:
    std::unique_ptr<impl> d_;
};

// The decoder program: $LUMIVANE_DECODER, else lumivane-decoder beside the
// running program; when that is not there, the running program itself in a
// program that answers decoder_call; else empty.
QString decoder_program();

// The decoder program's own work (argv as the job passes it); its exit code.
int run_decoder(int argc, char** argv);

// For the main() of a program that can serve as its own decoder program, to
// call first thing: a call the job made of the program as its decoder runs
// the decoder's work and gives its exit code; any other call gives nullopt
// and lets jobs use the program itself when the decoder program is missing.
std::optional<int> decoder_call(int argc, char** argv);

}  // namespace lv
