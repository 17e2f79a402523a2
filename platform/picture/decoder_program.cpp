// The decoder program's side of a decode: it reads the player's request,
// puts its own hard limits on, decodes the one picture and writes it back.
#include "platform/picture/decoder_pipe.h"
#include "platform/picture/picture_job.h"

#include <QThreadPool>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <new>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lv {

namespace {
constexpr int code_memory = -3, code_unreadable = -6;
}  // namespace

int run_decoder(int argc, char** argv) {
    decoder_pipe::request request;
    if (!decoder_pipe::read_request(argc, argv, request)) {
        std::fprintf(stderr, "lumivane-decoder decodes one picture for Lumivane; it is not run by hand.\n");
        return 2;
    }
    // Gone with the player, also when it is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Reaching a limit is how a decode is meant to end, and a reader that
    // crashes on a hostile file is no crash of the player: no core file in
    // the player's folder, and nothing for a crash collector (a process that
    // is not dumpable is never handed to one).
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    ::prctl(PR_SET_DUMPABLE, 0);
    if (::getppid() != request.player) return 3;
    const picture_limits& l = request.limits;
    // Qt scales and converts large pictures on its global thread pool, and
    // waits for it without end when a thread cannot start, as happens near
    // the data limit: the pool's one thread is made now, with a small stack,
    // and stays.
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setStackSize(256 << 10);
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(1);
    pool->start([] {});
    const rlimit data{rlim_t(l.process_bytes), rlim_t(l.process_bytes)};
    ::setrlimit(RLIMIT_DATA, &data);
    const rlim_t seconds = rlim_t(std::max(1, (l.max_decode_ms + 999) / 1000));
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    ::alarm(unsigned(seconds));
    picture_decode_limits() = l;

    decoded_picture d;
    try {
        d = decode_picture(request.path, request.box, request.region, request.place);
    } catch (const std::bad_alloc&) {
        // Out of the data limit where no reader could report it.
        d = decode_failure(code_memory);
    }
    decoder_pipe::result_header h;
    h.code = d.code;
    const bool shown = d.code >= 0 && !d.image.isNull();
    if (d.code >= 0 && !shown) h.code = code_unreadable;
    if (shown) {
        h.natural_width = d.natural_size.width();
        h.natural_height = d.natural_size.height();
        h.width = d.image.width();
        h.height = d.image.height();
        h.alpha = d.image.format() == QImage::Format_ARGB32_Premultiplied;
        if (!d.detail.isNull() && d.detail.format() == d.image.format()) {
            h.detail_x = d.detail_rect.x();
            h.detail_y = d.detail_rect.y();
            h.detail_width = d.detail.width();
            h.detail_height = d.detail.height();
        }
    }
    if (!decoder_pipe::write_all(1, &h, sizeof h)) return 1;
    // Rows of exactly 4 * width bytes each.
    for (const QImage* image : {&d.image, &d.detail}) {
        if (!shown || (image == &d.detail && h.detail_width == 0)) continue;
        const std::size_t row = std::size_t(image->width()) * 4;
        if (std::size_t(image->bytesPerLine()) == row) {
            if (!decoder_pipe::write_all(1, image->constBits(), row * std::size_t(image->height()))) return 1;
            continue;
        }
        for (int y = 0; y < image->height(); ++y)
            if (!decoder_pipe::write_all(1, image->constScanLine(y), row)) return 1;
    }
    return 0;
}

}  // namespace lv
