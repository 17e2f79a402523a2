#pragma once
// One picture decoded away from the window's thread, bounded in memory and in
// time. The decoding runs in a process of its own, the program
// lumivane-decoder, with a hard limit on its data size and on its processor
// and wall time; it writes the decoded, display-sized pixels back through a
// pipe. A decode nobody wants any more is stopped by killing that process.
// Only one decoding process runs at a time, so the player and its decoder
// together stay within the bound; later jobs wait for their turn.
//
// Without the decoder program (a build without it, or a test that does not
// point at it), pictures decode in this process on a worker thread, one at a
// time and within the same accounting, but a running decode can then only be
// left to finish, not stopped.
#include "platform/picture/picture_decode.h"

#include <QSize>
#include <QString>
#include <memory>

namespace lv {

class picture_job {
public:
    // Starts decoding, or queues it behind the decode that runs.
    static std::shared_ptr<picture_job> start(const QString& path, QSize fit_box = QSize());
    ~picture_job();   // stops a decode that still runs

    const QString& path() const;
    QSize fit_box() const;
    bool in_child() const;   // decoded by the decoder program
    // Waits at most ms (-1: until the end) for the result; true once it is there.
    bool wait(int ms);
    // The result, once wait() returned true.
    decoded_picture take();
    // Stops the decode now (it then fails as unreadable); a decode in this
    // process cannot be stopped and goes on.
    void stop();

    struct impl;
    explicit picture_job(std::unique_ptr<impl> d);

private:
    std::unique_ptr<impl> d_;
};

// The decoder program: $LUMIVANE_DECODER, else lumivane-decoder beside the
// running program; empty when it is not there.
QString decoder_program();

// The decoder program's own work (argv as the job passes it); its exit code.
int run_decoder(int argc, char** argv);

}  // namespace lv
