#pragma once
// Picture decoding for the picture control: finds the format from the file's
// content (and, for formats without a signature, from its name), decodes the
// common formats with Qt's readers and the older ones (PCX, WMF, WPG, PICT,
// compressed or colour-mapped TGA) with GraphicsMagick, within fixed limits so
// that a hostile or huge file fails with a code instead of taking the machine.
// GraphicsMagick only ever sees the file's bytes: from the first picture on it
// keeps just the coders these formats need and may open no file, fetch no URL
// and run no program (Ghostscript and the other delegates included), and
// PostScript records inside WPG files are dropped before it reads them.
//
// Result codes are those the picture control reports:
//   0 loaded, -1 no such file, -2 unknown type, -3 memory error while
//   decoding, -4 cannot dither, -5 cannot quantize, -6 cannot read (damaged
//   or unreadable file), -7 the picture is too large to allocate.
#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>

namespace lv {

// Process-wide limits; tests lower them to reach the failure paths.
struct picture_limits {
    std::int64_t max_file_bytes = 512LL << 20;
    // The size a file may declare: JPEG decodes scaled down, so a large
    // photo may pass here and still be small once decoded.
    std::int64_t max_source_pixels = 1000000000LL;
    // The decoded picture, and the working memory of one picture as the
    // decoders really hold it: GraphicsMagick's 8 bytes a pixel (more while
    // it draws a metafile), Qt's pixels at their own depth, the QImage the
    // picture ends in, a JPEG's coefficient buffer, a palette copy.
    int max_side = 30000;
    std::int64_t max_pixels = 64000000LL;
    std::int64_t max_bytes = 256LL << 20;
    // No screen shows more: a larger picture, whatever its placement, is
    // kept reduced to this and drawn scaled.
    std::int64_t max_kept_pixels = 16LL << 20;
    // Hard limits of the decoding process (platform/picture/picture_job.h): its
    // data size, and the time after which it is killed. A picture decoded
    // whole is reduced to what is kept within its own pixels, so the decoder
    // never holds it twice. Through a show of the largest pictures the
    // player peaks at about 110 MB and the decoder at about 230 MB, both
    // together within 400 MB (tools/huge_pictures_memory.sh).
    std::int64_t process_bytes = 288LL << 20;
    int max_decode_ms = 10000;
};
picture_limits& picture_decode_limits();

enum class picture_kind {
    unknown,
    bmp,          // also DIB and RLE files (RLE-compressed BMP)
    packed_dib,   // a DIB without its file header
    gif,
    jpeg,         // also JIF
    png,
    tiff,
    tga,          // uncompressed true-colour TGA (Qt for TGA 2.0 files)
    tga_other,    // RLE or colour-mapped TGA (GraphicsMagick)
    pcx,
    wmf,
    wpg,
    pict,         // PIC files
};

// head: the first bytes of the file (at least 600 when the file has them).
picture_kind sniff_picture(const QByteArray& head, const QString& file_name);

struct decoded_picture {
    int code = 0;
    QImage image;          // ARGB32 or RGB32; may be smaller than natural_size
    QSize natural_size;    // the picture's own size
    // With a place, for a picture held reduced: the part of it on the
    // screen at full size, and where that lies in the picture.
    QImage detail;
    QRect detail_rect;
};

inline decoded_picture decode_failure(int code) {
    decoded_picture d;
    d.code = code;
    return d;
}

// Where a picture shown at its own size lies on a screen of `screen` pixels:
// at one of the nine anchors (0 top left to 8 bottom right, row by row), or
// tiled from the screen's corner.
struct own_size_place {
    static constexpr int tiled = 9;
    int anchor = -1;   // -1: no place given
    QSize screen;
    bool valid() const { return anchor >= 0 && anchor <= tiled && screen.isValid() && !screen.isEmpty(); }
    bool operator==(const own_size_place&) const = default;
};

// The part of a picture of the given size that shows at that place, with a
// few pixels to spare on every side for the rounding of a scaled screen.
QRect shown_part(QSize natural, const own_size_place& place);

// fit_box: the box the picture will be shown stretched into (keeping its
// shape); large pictures are decoded to about the size they take in it.
// An empty box decodes at full size, or held reduced when it has more pixels
// than picture_limits::max_kept_pixels (JPEG scaled while it decodes).
// region: when valid, just that part of the picture (in its own pixels, as
// shown) at full size, for a picture larger than it is kept whole and shown
// at its own size; the image is then the region, natural_size the whole
// picture's, and fit_box is not used.
// place: for a picture shown at its own size, where; a picture then held
// reduced comes with its part on the screen (detail) from the same call.
decoded_picture decode_picture(const QString& path, QSize fit_box = QSize(), QRect region = QRect(),
                               const own_size_place& place = {});

// Renders the picture through a palette: type 1 the standard 256-colour
// palette (dithered), type 5 a palette of 256 colours chosen for the picture.
// Returns 0, or -4 / -5 when the palette copy cannot be made.
int apply_palette(QImage& image, int palette_type);

// The standard 256-colour palette (the sixteen system colours first).
const QList<QRgb>& standard_palette();

}  // namespace lv
