#pragma once
// What the player and the decoder program say to each other, for both sides
// to build and read in one way. The player starts the decoder with one
// request on its command line; the decoder answers on its standard output
// with a result_header and, for a decoded picture, the picture's rows of
// 4-byte pixels (RGB32, or premultiplied ARGB32 when alpha is set), then
// those of its detail when it has one, in the same format.
#include "platform/picture/picture_decode.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lv::decoder_pipe {

constexpr std::int32_t result_magic = 0x3244564C;   // "LVD2"
struct result_header {
    std::int32_t magic = result_magic;
    std::int32_t code = 0;
    std::int32_t natural_width = 0, natural_height = 0;
    std::int32_t width = 0, height = 0;
    std::int32_t alpha = 0;
    std::int32_t reserved = 0;
    std::int32_t detail_x = 0, detail_y = 0, detail_width = 0, detail_height = 0;
};

struct request {
    pid_t player = 0;   // the decoder works only for the process that started it
    QSize box;          // decode_picture's fit box; invalid for none
    picture_limits limits;
    QString path;
    QRect region;       // decode_picture's region; invalid for none
    own_size_place place;   // decode_picture's place
};

// The arguments that follow the program's name.
std::vector<std::string> request_arguments(const request& r);
// The request in argv (argv[0] is the program's name); false when argv holds none.
bool read_request(int argc, char** argv, request& r);

// Writes all of data, through interruptions; false when the other end is gone.
bool write_all(int fd, const void* data, std::size_t size);

}  // namespace lv::decoder_pipe
