#include "platform/picture/decoder_pipe.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace lv::decoder_pipe {

namespace {
constexpr const char* request_word = "--decode";
constexpr int request_argc = 21;
}  // namespace

std::vector<std::string> request_arguments(const request& r) {
    const picture_limits& l = r.limits;
    const bool box = r.box.isValid(), region = r.region.isValid();
    return {request_word,
            std::to_string(r.player),
            std::to_string(box ? r.box.width() : -1),
            std::to_string(box ? r.box.height() : -1),
            std::to_string(l.max_file_bytes),
            std::to_string(l.max_source_pixels),
            std::to_string(l.max_side),
            std::to_string(l.max_pixels),
            std::to_string(l.max_bytes),
            std::to_string(l.process_bytes),
            std::to_string(l.max_decode_ms),
            std::to_string(l.max_kept_pixels),
            std::to_string(r.place.anchor),
            std::to_string(r.place.screen.width()),
            std::to_string(r.place.screen.height()),
            QFile::encodeName(r.path).toStdString(),
            std::to_string(region ? r.region.x() : 0),
            std::to_string(region ? r.region.y() : 0),
            std::to_string(region ? r.region.width() : -1),
            std::to_string(region ? r.region.height() : -1)};
}

bool read_request(int argc, char** argv, request& r) {
    if (argc != request_argc || std::strcmp(argv[1], request_word) != 0) return false;
    auto number = [argv](int i) { return std::strtoll(argv[i], nullptr, 10); };
    r.player = pid_t(number(2));
    r.box = QSize(int(number(3)), int(number(4)));
    picture_limits& l = r.limits;
    l.max_file_bytes = number(5);
    l.max_source_pixels = number(6);
    l.max_side = int(number(7));
    l.max_pixels = number(8);
    l.max_bytes = number(9);
    l.process_bytes = number(10);
    l.max_decode_ms = int(number(11));
    l.max_kept_pixels = number(12);
    r.place.anchor = int(number(13));
    r.place.screen = QSize(int(number(14)), int(number(15)));
    r.path = QFile::decodeName(argv[16]);
    r.region = QRect(int(number(17)), int(number(18)), int(number(19)), int(number(20)));
    return true;
}

bool write_all(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

}  // namespace lv::decoder_pipe
