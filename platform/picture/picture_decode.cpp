#include "platform/picture/picture_decode.h"

#include <Magick++.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRgb>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lv {

picture_limits& picture_decode_limits() {
    static picture_limits limits;
    return limits;
}

namespace {

constexpr int code_missing = -1, code_unknown = -2, code_memory = -3, code_dither = -4, code_quantize = -5,
              code_unreadable = -6, code_too_large = -7;

std::uint16_t le16(const QByteArray& b, int at) {
    if (at + 2 > b.size()) return 0;
    return std::uint16_t(std::uint8_t(b[at]) | (std::uint8_t(b[at + 1]) << 8));
}
std::uint32_t le32(const QByteArray& b, int at) {
    if (at + 4 > b.size()) return 0;
    return std::uint32_t(le16(b, at)) | (std::uint32_t(le16(b, at + 2)) << 16);
}
bool bytes_at(const QByteArray& b, int at, const char* sig, int n) {
    return at + n <= b.size() && std::memcmp(b.constData() + at, sig, std::size_t(n)) == 0;
}

bool is_dib_header_size(std::uint32_t n) {
    return n == 12 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

bool looks_like_bmp(const QByteArray& h) {
    return bytes_at(h, 0, "BM", 2) && h.size() >= 18 && is_dib_header_size(le32(h, 14));
}

bool looks_like_packed_dib(const QByteArray& h) {
    const std::uint32_t n = le32(h, 0);
    if (!is_dib_header_size(n) || h.size() < int(n)) return false;
    const int planes_at = n == 12 ? 8 : 12;
    const int bits = le16(h, planes_at + 2);
    return le16(h, planes_at) == 1 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

bool looks_like_pcx(const QByteArray& h) {
    if (h.size() < 128 || std::uint8_t(h[0]) != 0x0A) return false;
    const int version = std::uint8_t(h[1]), encoding = std::uint8_t(h[2]), bits = std::uint8_t(h[3]);
    const bool version_ok = version == 0 || version == 2 || version == 3 || version == 4 || version == 5;
    const bool bits_ok = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    return version_ok && encoding <= 1 && bits_ok && le16(h, 8) >= le16(h, 4) && le16(h, 10) >= le16(h, 6);
}

bool looks_like_wmf(const QByteArray& h) {
    if (bytes_at(h, 0, "\xD7\xCD\xC6\x9A", 4)) return true;   // placeable metafile
    const int type = le16(h, 0), header_words = le16(h, 2), version = le16(h, 4);
    return (type == 1 || type == 2) && header_words == 9 && (version == 0x0300 || version == 0x0100);
}

bool looks_like_wpg(const QByteArray& h) {
    return bytes_at(h, 0, "\xFFWPC", 4) && h.size() >= 16 && std::uint8_t(h[8]) == 1 && std::uint8_t(h[9]) == 0x16;
}

bool pict_version_at(const QByteArray& h, int at) {
    return bytes_at(h, at, "\x00\x11\x02\xFF", 4) || bytes_at(h, at, "\x11\x01", 2);
}

// TGA has no signature: the header must hold together.
struct tga_header {
    bool valid = false;
    bool qt_readable = false;
};
tga_header check_tga(const QByteArray& h) {
    tga_header r;
    if (h.size() < 18) return r;
    const int cmap_type = std::uint8_t(h[1]), type = std::uint8_t(h[2]);
    const int width = le16(h, 12), height = le16(h, 14), depth = std::uint8_t(h[16]);
    const bool type_ok = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool depth_ok = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    r.valid = cmap_type <= 1 && type_ok && depth_ok && width > 0 && height > 0;
    // Qt's reader takes uncompressed true colour only.
    r.qt_readable = r.valid && type == 2 && cmap_type == 0 && (depth == 16 || depth == 24 || depth == 32);
    return r;
}

QString suffix_of(const QString& name) { return QFileInfo(name).suffix().toLower(); }

// ---- Reader messages ------------------------------------------------------

// A damaged file can make a reader warn once per chunk or record: hundreds
// of thousands of lines for one picture, again at every loop of a show.
// While a thread decodes a picture, the first few messages of its readers
// go out as usual; the rest are counted and told in one line at the end.
constexpr int kept_reader_messages = 5;
thread_local int* picture_messages = nullptr;   // the count of the picture this thread decodes
std::atomic<QtMessageHandler> next_message_handler{nullptr};

void capped_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (picture_messages && type != QtFatalMsg && ++*picture_messages > kept_reader_messages) return;
    if (const QtMessageHandler next = next_message_handler.load()) {
        next(type, context, text);
    } else {   // a message of another thread while the handler is being installed
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    }
}

class reader_messages {
public:
    explicit reader_messages(const QString& path) : path_(path), outer_(picture_messages) {
        static std::once_flag once;
        std::call_once(once, [] { next_message_handler = qInstallMessageHandler(capped_message); });
        picture_messages = &count_;
    }
    ~reader_messages() {
        picture_messages = outer_;
        if (count_ > kept_reader_messages)
            qWarning("%d more messages of the picture readers about %s left out", count_ - kept_reader_messages,
                     qPrintable(path_));
    }
    reader_messages(const reader_messages&) = delete;
    reader_messages& operator=(const reader_messages&) = delete;

private:
    QString path_;
    int* outer_;
    int count_ = 0;
};

// What GraphicsMagick reports itself, rather than through an exception,
// goes the same way.
void magick_message(const MagickLib::ExceptionType, const char* reason, const char* description) {
    qWarning("GraphicsMagick: %s%s%s", reason ? reason : "", description ? ": " : "", description ? description : "");
}

// ---- GraphicsMagick -------------------------------------------------------

// The coders GraphicsMagick keeps: the formats handed to it, and DIB, which
// the WMF reader uses for bitmaps inside a metafile. Every other coder goes, so that no nested read inside a picture
// (WPG and PICT records, SVG or MSL references) can reach PostScript, SVG,
// text or any format that runs a delegate or opens other files.
constexpr std::array<const char*, 6> kept_coders = {"PCX", "WMF", "WPG", "PICT", "TGA", "DIB"};

// Every picture reaches GraphicsMagick as bytes in memory, so it has no file
// to open, no URL to fetch and no program to run: refuse them all. Temporary
// files of nested reads and external delegates (Ghostscript) fail here too.
MagickPassFail refuse_outside_access(const MagickLib::ConfirmAccessMode, const char*, MagickLib::ExceptionInfo*) {
    return MagickFail;
}

void restrict_magick() {
    using namespace MagickLib;
    MagickSetConfirmAccessHandler(refuse_outside_access);
    ExceptionInfo exception;
    GetExceptionInfo(&exception);
    std::vector<std::string> drop;
    if (MagickInfo** all = GetMagickInfoArray(&exception)) {
        for (MagickInfo** m = all; *m; ++m) {
            const std::string name = (*m)->name;
            if (std::find(kept_coders.begin(), kept_coders.end(), name) == kept_coders.end()) drop.push_back(name);
        }
        MagickFree(all);
    }
    DestroyExceptionInfo(&exception);
    for (const std::string& name : drop) UnregisterMagickInfo(name.c_str());
}

void ensure_magick() {
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        MagickLib::SetWarningHandler(magick_message);
        MagickLib::SetErrorHandler(magick_message);
        restrict_magick();
    });
}

void apply_magick_limits(const picture_limits& l) {
    using namespace MagickLib;
    SetMagickResourceLimit(WidthResource, l.max_side);
    SetMagickResourceLimit(HeightResource, l.max_side);
    SetMagickResourceLimit(PixelsResource, l.max_pixels);
    // What GraphicsMagick counts is more than it touches (a PICT's canvas
    // and bitmaps are counted whole): its allowance is the decoding
    // process's hard limit, and max_bytes weighs the picture before it.
    const std::int64_t allowance = std::max(l.max_bytes, l.process_bytes);
    SetMagickResourceLimit(MemoryResource, allowance);
    SetMagickResourceLimit(MapResource, allowance);
    // Pixels never spill into temporary files.
    SetMagickResourceLimit(DiskResource, 0);
}

// bytes_per_pixel: what the decoder holds for each pixel while it decodes,
// the 4 of the QImage the picture ends in included; extra: what it holds
// besides (the file's bytes, a coefficient buffer).
bool fits_limits(std::int64_t w, std::int64_t h, const picture_limits& l, int bytes_per_pixel = 4,
                 std::int64_t extra = 0) {
    return w > 0 && h > 0 && w <= l.max_side && h <= l.max_side && w * h <= l.max_pixels &&
           w * h * bytes_per_pixel + extra <= l.max_bytes;
}

// GraphicsMagick's Q16 build holds 8 bytes a pixel, and its picture is
// copied into a QImage of 4. A metafile is drawn onto a canvas beside the
// picture; a PICT's bitmap is read into a picture of its own and composed
// onto the canvas through a third (measured: about 29 bytes a pixel).
int magick_bytes_per_pixel(picture_kind k) {
    if (k == picture_kind::pict) return 3 * 8 + 4 + 4;
    return k == picture_kind::wmf ? 8 + 8 + 4 : 8 + 4;
}

// The size a picture takes inside the fit box, keeping its shape.
QSize fitted(QSize picture, QSize box) {
    if (!box.isValid() || box.isEmpty()) return picture;
    return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

const char* magick_name(picture_kind k) {
    switch (k) {
        case picture_kind::pcx: return "PCX";
        case picture_kind::wmf: return "WMF";
        case picture_kind::wpg: return "WPG";
        case picture_kind::pict: return "PICT";
        case picture_kind::tga_other: return "TGA";
        default: return nullptr;
    }
}

// How many bytes of the file GraphicsMagick is given: no more than the
// picture can need. PCX and TGA headers tell it, at the worst case of their
// run-length coding (PCX writes a byte that looks like a count as a run of
// one, two bytes; a TGA packet of one pixel takes a byte more than the
// pixel), and their declared picture is weighed together with those bytes,
// held twice (the bytes read and GraphicsMagick's copy), before any is read.
// Metafiles tell nothing reliable: theirs, held the same way, may take up to
// half the memory a picture may. -1: over the limits.
std::int64_t magick_read_size(picture_kind kind, const QByteArray& head, std::int64_t file_size,
                              const picture_limits& l) {
    std::int64_t w = 0, h = 0, most = file_size;
    if (kind == picture_kind::pcx) {
        w = std::int64_t(le16(head, 8)) - le16(head, 4) + 1;
        h = std::int64_t(le16(head, 10)) - le16(head, 6) + 1;
        const std::int64_t packed = std::int64_t(std::uint8_t(head[65])) * le16(head, 66) * h;
        // The header, the rows, and the palette of a 256-colour picture after them.
        most = 128 + packed * (head[2] ? 2 : 1) + 1 + 768;
    } else if (kind == picture_kind::tga_other) {
        w = le16(head, 12);
        h = le16(head, 14);
        const int pixel = (std::uint8_t(head[16]) + 7) / 8, type = std::uint8_t(head[2]);
        const std::int64_t map = std::int64_t(le16(head, 5)) * ((std::uint8_t(head[7]) + 7) / 8);
        most = 18 + std::uint8_t(head[0]) + map + w * h * (type >= 9 ? pixel + 1 : pixel);
    }
    const std::int64_t need = std::min(file_size, most);
    if (w > 0 && h > 0) return fits_limits(w, h, l, magick_bytes_per_pixel(kind), 2 * need) ? need : -1;
    return 2 * need <= l.max_bytes / 2 ? need : -1;
}

// ---- WPG records ------------------------------------------------------------

// WPG files may carry PostScript (level 1 records 0x11 and 0x1B, level 2
// records 0x12) that GraphicsMagick would read as a picture of whatever
// format the bytes look like. Those records are dropped before decoding; the
// bitmap records around them still show.
bool embeds_other_format(int wpg_level, int type) {
    return wpg_level == 1 ? (type == 0x11 || type == 0x1B) : type == 0x12;
}

// A record length as WPG stores it: one byte, or 0xFF and a 16-bit length,
// or 0xFF and two 16-bit words when the first has its top bit set.
bool read_wpg_length(const QByteArray& d, qsizetype& at, std::int64_t& length) {
    if (at >= d.size()) return false;
    const int first = std::uint8_t(d[at++]);
    if (first != 0xFF) {
        length = first;
        return true;
    }
    if (at + 2 > d.size()) return false;
    const std::uint16_t word = le16(d, int(at));
    at += 2;
    if (!(word & 0x8000)) {
        length = word;
        return true;
    }
    if (at + 2 > d.size()) return false;
    length = (std::int64_t(word & 0x7FFF) << 16) | le16(d, int(at));
    at += 2;
    return true;
}

QByteArray without_embedded_wpg_records(const QByteArray& d) {
    const int level = d.size() > 10 ? std::uint8_t(d[10]) : 0;
    const std::int64_t start = le32(d, 4);
    // Other levels and offsets past the end fail in GraphicsMagick as they are.
    if ((level != 1 && level != 2) || start > d.size()) return d;
    QByteArray out = d.left(qsizetype(start));
    qsizetype at = qsizetype(start);
    while (at < d.size()) {
        const qsizetype record = at;
        int type = std::uint8_t(d[at++]);
        std::int64_t length = 0;
        bool whole = true;
        if (level == 2) {
            if (at >= d.size()) break;
            type = std::uint8_t(d[at++]);
            std::int64_t extension = 0;
            whole = read_wpg_length(d, at, extension);
        }
        whole = whole && read_wpg_length(d, at, length) && length <= d.size() - at;
        if (embeds_other_format(level, type)) {
            if (!whole) break;   // nothing after a cut record can be read anyway
        } else {
            out.append(d.constData() + record, whole ? at + qsizetype(length) - record : d.size() - record);
            if (!whole) break;
        }
        at += qsizetype(length);
    }
    return out;
}

// Metafiles are drawn at 96 dots per inch, or at fewer when they are shown
// smaller: the drawing then costs what the shown picture does.
constexpr double wmf_density = 96;

decoded_picture decode_with_magick(const QByteArray& data, picture_kind kind, QSize fit_box) {
    decoded_picture r;
    const picture_limits& l = picture_decode_limits();
    const std::string format = magick_name(kind);
    ensure_magick();
    apply_magick_limits(l);
    const QByteArray safe = kind == picture_kind::wpg ? without_embedded_wpg_records(data) : data;
    const Magick::Blob blob(safe.constData(), std::size_t(safe.size()));
    const int bytes_per_pixel = magick_bytes_per_pixel(kind);
    // The file's bytes, the blob's copy of them and the filtered WPG records.
    const std::int64_t held = data.size() + safe.size() + (safe.constData() == data.constData() ? 0 : safe.size());
    double density = wmf_density;
    const auto set_up = [&](Magick::Image& image) {
        image.quiet(true);
        image.magick(format);
        if (kind == picture_kind::wmf) image.density(Magick::Geometry(unsigned(density), unsigned(density)));
    };
    try {
        // Ping first: the declared size decides before any pixel is allocated.
        Magick::Image probe;
        set_up(probe);
        probe.ping(blob);
        if (probe.magick() != format) return decode_failure(code_unknown);
        r.natural_size = QSize(int(std::min<std::size_t>(probe.columns(), INT_MAX)),
                               int(std::min<std::size_t>(probe.rows(), INT_MAX)));
        if (kind == picture_kind::wmf && r.natural_size.isValid()) {
            const QSize shown = fitted(r.natural_size, fit_box);
            if (shown.width() < r.natural_size.width())
                density = std::ceil(wmf_density * shown.width() / r.natural_size.width());   // whole dots
        }
        const double scale = density / wmf_density;
        if (!fits_limits(std::int64_t(std::ceil(probe.columns() * scale)), std::int64_t(std::ceil(probe.rows() * scale)),
                         l, bytes_per_pixel, held))
            return decode_failure(code_too_large);
    } catch (const Magick::ErrorResourceLimit&) {
        return decode_failure(code_too_large);
    } catch (const Magick::ErrorMissingDelegate&) {
        return decode_failure(code_unknown);
    } catch (const Magick::ErrorModule&) {
        return decode_failure(code_unknown);
    } catch (const Magick::Exception&) {
        return decode_failure(code_unreadable);
    } catch (const std::bad_alloc&) {
        return decode_failure(code_memory);
    }
    try {
        QImage out;
        bool matte = false;
        {
            Magick::Image image;
            set_up(image);   // at the density the ping settled on
            image.read(blob);
            if (image.magick() != format) return decode_failure(code_unknown);
            const std::int64_t w = image.columns(), h = image.rows();
            if (!fits_limits(w, h, l, bytes_per_pixel, held)) return decode_failure(code_too_large);
            out = QImage(int(w), int(h), QImage::Format_ARGB32);
            if (out.isNull()) return decode_failure(code_memory);
            // ARGB32 is B, G, R, A in memory; rows are exactly 4 * w bytes.
            image.write(0, 0, unsigned(w), unsigned(h), "BGRA", MagickLib::CharPixel, out.bits());
            matte = image.matte();
        }
        // GraphicsMagick's pixels are gone: the format changes in place.
        out.convertTo(matte ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        r.image = std::move(out);
        if (kind != picture_kind::wmf || !r.natural_size.isValid()) r.natural_size = r.image.size();
        return r;
    } catch (const Magick::ErrorResourceLimit&) {
        return decode_failure(code_memory);
    } catch (const Magick::ErrorMissingDelegate&) {
        return decode_failure(code_unknown);
    } catch (const Magick::ErrorModule&) {
        return decode_failure(code_unknown);
    } catch (const Magick::Warning&) {
        return decode_failure(code_unreadable);
    } catch (const Magick::Exception&) {
        return decode_failure(code_unreadable);
    } catch (const std::bad_alloc&) {
        return decode_failure(code_memory);
    }
}

// ---- Qt readers -----------------------------------------------------------

// JPEG decodes at 1/2, 1/4 or 1/8 for free: take the strongest reduction that
// still leaves at least 80% of the size the picture is shown at.
int jpeg_reduction(QSize raw, QSize shown) {
    for (int d : {8, 4, 2}) {
        const double w = std::ceil(double(raw.width()) / d), h = std::ceil(double(raw.height()) / d);
        if (w >= 0.8 * shown.width() && h >= 0.8 * shown.height() && raw.width() >= d && raw.height() >= d) return d;
    }
    return 1;
}

// What Qt's reader holds for each pixel: the picture at the depth it
// decodes to, and a copy when that is not the QImage format kept. The format
// comes as a number: some readers report a value that is no format at all
// for a damaged header, and that counts as a format not known yet.
int qt_bytes_per_pixel(int decoded) {
    const bool known = decoded > int(QImage::Format_Invalid) && decoded < int(QImage::NImageFormats);
    const auto format = known ? static_cast<QImage::Format>(decoded) : QImage::Format_Invalid;
    const int depth = known ? QImage::toPixelFormat(format).bitsPerPixel() : 32;
    const bool kept = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied;
    return (depth + 7) / 8 + (kept ? 0 : 4);
}

// Sets the reader up to read by the given format and turn the picture the
// way the file says, and measures it; 0, or the code of the failure.
int open_with_qt(QImageReader& reader, const picture_limits& l, QSize& raw) {
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    raw = reader.size();
    // A BMP stored top row first says so with a negative height, and Qt's
    // reader reports the height as stored.
    if (reader.format() == "bmp" && raw.height() < 0 && raw.height() > INT_MIN) raw.setHeight(-raw.height());
    if (!raw.isValid() || raw.isEmpty()) return code_unreadable;
    return std::int64_t(raw.width()) * raw.height() > l.max_source_pixels ? code_too_large : 0;
}

// Reads the picture the reader is set up for, within the memory limit, as
// RGB32 or premultiplied ARGB32; 0, or the code of the failure.
int read_with_qt(QImageReader& reader, const picture_limits& l, QImage& image) {
    QImageReader::setAllocationLimit(int(std::min<std::int64_t>(l.max_bytes >> 20, 1 << 20)) + 1);
    try {
        if (!reader.read(&image))
            return reader.error() == QImageReader::UnsupportedFormatError ? code_unknown : code_unreadable;
    } catch (const std::bad_alloc&) {
        return code_memory;
    }
    if (image.isNull()) return code_unreadable;
    // In place where the depth allows it.
    image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image.isNull() ? code_memory : 0;
}

// extra_bytes: what the decoder holds besides the pixels. held_box: the fit
// box of a picture with more pixels than are kept, when fit_box is empty.
decoded_picture decode_with_qt(QIODevice* device, const char* format, picture_kind kind, QSize fit_box,
                               std::int64_t extra_bytes = 0, QSize held_box = QSize()) {
    const picture_limits& l = picture_decode_limits();
    QImageReader reader(device, format);
    QSize raw;
    if (const int code = open_with_qt(reader, l, raw); code < 0) return decode_failure(code);
    const int bytes_per_pixel = qt_bytes_per_pixel(int(reader.imageFormat()));
    const bool turned = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const QSize natural = turned ? raw.transposed() : raw;

    QSize decode = raw;
    if (kind == picture_kind::jpeg) {
        if (!fit_box.isValid() && std::int64_t(raw.width()) * raw.height() > l.max_kept_pixels) fit_box = held_box;
        int d = 1;
        if (fit_box.isValid() && !fit_box.isEmpty()) {
            const QSize shown = fitted(natural, fit_box);
            d = jpeg_reduction(raw, turned ? shown.transposed() : shown);
        }
        // No more pixels than are kept: reduced while it decodes, never
        // decoded whole and reduced after.
        while (d < 8 && std::int64_t((raw.width() + d - 1) / d) * ((raw.height() + d - 1) / d) > l.max_kept_pixels)
            d *= 2;
        // A photo too large to hold whole is held at half, a quarter or an
        // eighth of its size rather than refused.
        while (d < 8 && !fits_limits((raw.width() + d - 1) / d, (raw.height() + d - 1) / d, l, bytes_per_pixel,
                                     extra_bytes))
            d *= 2;
        if (d > 1) {
            // Clip to whole blocks of d pixels so the reader scales in the
            // decoder alone and never resamples afterwards (at most d - 1
            // pixels go at the right and bottom edges).
            const QRect clip(0, 0, raw.width() - raw.width() % d, raw.height() - raw.height() % d);
            decode = clip.size() / d;
            reader.setClipRect(clip);
            reader.setScaledSize(decode);
        }
    }
    if (!fits_limits(decode.width(), decode.height(), l, bytes_per_pixel, extra_bytes))
        return decode_failure(code_too_large);
    decoded_picture r;
    r.code = read_with_qt(reader, l, r.image);
    if (r.code < 0) return decode_failure(r.code);
    r.natural_size = decode == raw ? r.image.size() : natural;
    return r;
}

// A progressive JPEG, or one whose first scan leaves out some components,
// is decoded through a buffer of coefficients for the whole picture, however
// small it is shown: 2 bytes per pixel of each component at the size it is
// stored, so colour subsampled to half or a quarter takes that much less.
// Returns that size, or 0 for a single-scan JPEG (decoded row by row) or when
// the headers cannot be followed (the decoder then reports the damage itself).
std::int64_t jpeg_scan_buffer_bytes(QIODevice* device) {
    device->seek(0);
    auto byte = [device](int& b) {
        char c;
        if (!device->getChar(&c)) return false;
        b = std::uint8_t(c);
        return true;
    };
    int b = 0;
    if (!byte(b) || b != 0xFF || !byte(b) || b != 0xD8) return 0;
    bool multi_scan = false;
    std::int64_t components = 0, coefficient_bytes = 0;
    for (;;) {
        // Markers may be padded with any number of 0xFF bytes.
        if (!byte(b)) return 0;
        if (b != 0xFF) continue;
        int marker = 0xFF;
        while (marker == 0xFF)
            if (!byte(marker)) return 0;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (marker == 0xD9) return 0;
        const QByteArray len = device->read(2);
        if (len.size() != 2) return 0;
        const int length = (std::uint8_t(len[0]) << 8) | std::uint8_t(len[1]);
        if (length < 2) return 0;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame || marker == 0xDA) {
            const QByteArray body = device->read(frame ? length - 2 : std::min(length - 2, 8));
            if (frame) {
                if (body.size() < 6) return 0;
                const std::int64_t height = (std::uint8_t(body[1]) << 8) | std::uint8_t(body[2]);
                const std::int64_t width = (std::uint8_t(body[3]) << 8) | std::uint8_t(body[4]);
                components = std::uint8_t(body[5]);
                if (body.size() < 6 + 3 * components) return 0;
                multi_scan = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
                // Each component in blocks of 8 x 8 at its own sampling,
                // rounded up to whole groups of them, 64 coefficients of 2 bytes.
                const auto sampling = [&body](std::int64_t c, int shift) {
                    return std::max(1, (std::uint8_t(body[int(6 + 3 * c + 1)]) >> shift) & 0x0F);
                };
                int most_h = 1, most_v = 1;
                for (std::int64_t c = 0; c < components; ++c)
                    most_h = std::max(most_h, sampling(c, 4)), most_v = std::max(most_v, sampling(c, 0));
                const auto blocks = [](std::int64_t size, int samples, int most) {
                    const std::int64_t n = (size * samples + 8LL * most - 1) / (8LL * most);
                    return (n + samples - 1) / samples * samples;
                };
                coefficient_bytes = 0;
                for (std::int64_t c = 0; c < components; ++c)
                    coefficient_bytes +=
                        blocks(width, sampling(c, 4), most_h) * blocks(height, sampling(c, 0), most_v) * 64 * 2;
            } else {
                if (body.isEmpty() || components == 0) return 0;
                multi_scan = multi_scan || std::uint8_t(body[0]) < components;
                return multi_scan ? coefficient_bytes : 0;
            }
            if (!device->seek(device->pos() + (length - 2 - body.size()))) return 0;
        } else if (!device->seek(device->pos() + length - 2)) {
            return 0;
        }
    }
}

// The 14-byte file header that a DIB of dib_size bytes, beginning with
// `dib`, goes without.
QByteArray bmp_file_header(const QByteArray& dib, qint64 dib_size) {
    const std::uint32_t header = le32(dib, 0);
    std::uint32_t colours = 0;
    int bits;
    if (header == 12) {
        bits = le16(dib, 10);
        if (bits <= 8) colours = (1u << bits) * 3;
    } else {
        bits = le16(dib, 14);
        const std::uint32_t used = le32(dib, 32), compression = le32(dib, 16);
        if (bits <= 8) colours = (used ? used : (1u << bits)) * 4;
        if (compression == 3 && header == 40) colours = 12;   // bit fields
    }
    const std::uint32_t offset = 14 + header + colours;
    QByteArray out("BM", 2);
    auto put32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
    };
    put32(std::uint32_t(dib_size + 14));
    put32(0);
    put32(offset);
    return out;
}

// A file read as if `header` came before its first byte: the reader takes
// from the file what it asks for, and the file is never copied whole.
class prefixed_file : public QIODevice {
public:
    prefixed_file(QByteArray header, QIODevice* file) : header_(std::move(header)), file_(file) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return header_.size() + file_->size(); }
    bool seek(qint64 pos) override {
        if (pos < 0 || !QIODevice::seek(pos)) return false;
        at_ = pos;
        return true;
    }

protected:
    qint64 readData(char* data, qint64 max) override {
        qint64 n = 0;
        if (at_ < header_.size()) {
            n = std::min(max, header_.size() - at_);
            std::memcpy(data, header_.constData() + at_, std::size_t(n));
        }
        if (n < max && file_->seek(at_ + n - header_.size())) {
            const qint64 more = file_->read(data + n, max - n);
            if (more < 0 && n == 0) return -1;
            n += std::max<qint64>(more, 0);
        }
        at_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray header_;
    QIODevice* file_;
    qint64 at_ = 0;
};

// The first `size` bytes of the file, or an error code: -6 when they cannot
// be read, -3 when there is no memory for them.
int read_start(QFile& file, qint64 size, QByteArray& out) {
    try {
        file.seek(0);
        out = file.read(size);
        return out.size() == size ? 0 : code_unreadable;
    } catch (const std::bad_alloc&) {
        out = QByteArray();
        return code_memory;
    }
}

QSize shrink_target(QSize natural, QSize current, QSize fit_box, std::int64_t max_kept) {
    QSize target = current;
    if (fit_box.isValid() && !fit_box.isEmpty()) {
        const QSize shown = fitted(natural, fit_box);
        // Keep pictures that are not much larger than where they go.
        if (std::int64_t(current.width()) * current.height() > 2LL * shown.width() * shown.height()) target = shown;
    }
    const std::int64_t kept = std::int64_t(target.width()) * target.height();
    if (kept > max_kept) {
        const double f = std::sqrt(double(max_kept) / double(kept));
        target = QSize(std::max(1, int(target.width() * f)), std::max(1, int(target.height() * f)));
    }
    // Never larger than it is, either way: a picture is only reduced.
    return target.boundedTo(current);
}

// The picture reduced to `target` (no larger), each new pixel the mean of
// the pixels it covers, made inside the picture's own memory: a picture
// decoded whole is never held twice. The result shares that memory (copy()
// it to keep it long).
QImage reduced_in_place(QImage image, QSize target) {
    const int w = image.width(), h = image.height(), tw = target.width(), th = target.height();
    if (image.depth() != 32 || tw > w || th > h || tw < 1 || th < 1) return QImage();
    uchar* bits = image.bits();
    if (!bits) return QImage();
    const qsizetype stride = image.bytesPerLine();
    std::vector<int> columns(std::size_t(tw) + 1);
    for (int i = 0; i <= tw; ++i) columns[std::size_t(i)] = int(std::int64_t(i) * w / tw);
    // New pixel (x, y) goes to 4 * (y * tw + x), never past the first pixel
    // it is made from, nor past any pixel a later one is made from.
    QRgb* out = reinterpret_cast<QRgb*>(bits);
    for (int y = 0; y < th; ++y) {
        const int top = int(std::int64_t(y) * h / th), bottom = int(std::int64_t(y + 1) * h / th);
        for (int x = 0; x < tw; ++x) {
            const int left = columns[std::size_t(x)], right = columns[std::size_t(x) + 1];
            std::uint64_t sum[4] = {0, 0, 0, 0};
            for (int yy = top; yy < bottom; ++yy) {
                const QRgb* row = reinterpret_cast<const QRgb*>(bits + yy * stride);
                for (int xx = left; xx < right; ++xx) {
                    const QRgb p = row[xx];
                    sum[0] += p >> 24, sum[1] += (p >> 16) & 0xFF, sum[2] += (p >> 8) & 0xFF, sum[3] += p & 0xFF;
                }
            }
            const std::uint64_t n = std::uint64_t(right - left) * std::uint64_t(bottom - top), half = n / 2;
            out[std::size_t(y) * std::size_t(tw) + std::size_t(x)] =
                QRgb(((sum[0] + half) / n) << 24 | ((sum[1] + half) / n) << 16 | ((sum[2] + half) / n) << 8 |
                     ((sum[3] + half) / n));
        }
    }
    // The memory past the reduced picture goes back to the system now,
    // though the whole stays allocated until the result is gone.
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE)), start = std::uintptr_t(bits);
    const std::uintptr_t from = (start + std::uintptr_t(tw) * std::uintptr_t(th) * 4 + page - 1) / page * page;
    const std::uintptr_t to = (start + std::uintptr_t(h) * std::uintptr_t(stride)) / page * page;
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    const QImage::Format format = image.format();
    auto* holder = new QImage(std::move(image));
    return QImage(bits, tw, th, qsizetype(tw) * 4, format, [](void* p) { delete static_cast<QImage*>(p); }, holder);
}

// The part of the stored picture that becomes `shown` once the reader has
// turned it the way the file says: mirrored and flipped first, then a
// quarter turn clockwise.
QRect stored_rect(QRect shown, QSize stored, QImageIOHandler::Transformations t) {
    QRect r = shown;
    if (t.testFlag(QImageIOHandler::TransformationRotate90))   // shown (X, Y) was (Y, height - 1 - X)
        r = QRect(QPoint(shown.top(), stored.height() - 1 - shown.right()),
                  QPoint(shown.bottom(), stored.height() - 1 - shown.left()));
    if (t.testFlag(QImageIOHandler::TransformationMirror))
        r = QRect(QPoint(stored.width() - 1 - r.right(), r.top()), QPoint(stored.width() - 1 - r.left(), r.bottom()));
    if (t.testFlag(QImageIOHandler::TransformationFlip))
        r = QRect(QPoint(r.left(), stored.height() - 1 - r.bottom()), QPoint(r.right(), stored.height() - 1 - r.top()));
    return r;
}

// A region of a picture Qt reads, at full size. A reader that clips while
// it decodes (JPEG) holds just the region; the others decode the whole
// picture and the region is copied out, so the whole counts.
decoded_picture decode_region_with_qt(QIODevice* device, const char* format, QRect region,
                                      std::int64_t extra_bytes) {
    const picture_limits& l = picture_decode_limits();
    QImageReader reader(device, format);
    QSize raw;
    if (const int code = open_with_qt(reader, l, raw); code < 0) return decode_failure(code);
    const int bytes_per_pixel = qt_bytes_per_pixel(int(reader.imageFormat()));
    const QImageIOHandler::Transformations turn = reader.transformation();
    const QSize natural = turn.testFlag(QImageIOHandler::TransformationRotate90) ? raw.transposed() : raw;
    const QRect shown = region & QRect(QPoint(0, 0), natural);
    if (shown.isEmpty()) return decode_failure(code_unreadable);
    const QRect clip = stored_rect(shown, raw, turn);
    const bool clips = reader.supportsOption(QImageIOHandler::ClipRect);
    const std::int64_t copy_bytes = clips ? 0 : std::int64_t(clip.width()) * clip.height() * 4;
    const QSize held = clips ? clip.size() : raw;
    if (!fits_limits(held.width(), held.height(), l, bytes_per_pixel, extra_bytes + copy_bytes))
        return decode_failure(code_too_large);
    reader.setClipRect(clip);
    QImage image;
    const int code = read_with_qt(reader, l, image);
    if (code < 0) return decode_failure(code);
    return {0, std::move(image), natural, {}, {}};
}

}  // namespace

picture_kind sniff_picture(const QByteArray& h, const QString& file_name) {
    const QString ext = suffix_of(file_name);
    if (bytes_at(h, 0, "\xFF\xD8\xFF", 3)) return picture_kind::jpeg;
    if (bytes_at(h, 0, "\x89PNG\r\n\x1A\n", 8)) return picture_kind::png;
    if (bytes_at(h, 0, "GIF87a", 6) || bytes_at(h, 0, "GIF89a", 6)) return picture_kind::gif;
    if (looks_like_bmp(h)) return picture_kind::bmp;
    if (bytes_at(h, 0, "II*\0", 4) || bytes_at(h, 0, "MM\0*", 4)) return picture_kind::tiff;
    if (looks_like_wpg(h)) return picture_kind::wpg;
    if (looks_like_wmf(h)) return picture_kind::wmf;
    if (looks_like_pcx(h)) return picture_kind::pcx;
    if (pict_version_at(h, 522)) return picture_kind::pict;
    // Weaker signatures count only with a matching name.
    const bool pict_name = ext == QLatin1String("pic") || ext == QLatin1String("pct") || ext == QLatin1String("pict");
    if (pict_name && pict_version_at(h, 10)) return picture_kind::pict;
    const bool dib_name = ext == QLatin1String("dib") || ext == QLatin1String("bmp") || ext == QLatin1String("rle");
    if (dib_name && looks_like_packed_dib(h)) return picture_kind::packed_dib;
    const bool tga_name = ext == QLatin1String("tga") || ext == QLatin1String("vda") || ext == QLatin1String("icb") ||
                          ext == QLatin1String("vst");
    if (tga_name) {
        const tga_header t = check_tga(h);
        if (t.valid) return t.qt_readable ? picture_kind::tga : picture_kind::tga_other;
    }
    return picture_kind::unknown;
}

QRect shown_part(QSize natural, const own_size_place& place) {
    const QRect picture(QPoint(0, 0), natural);
    if (!place.valid() || natural.isEmpty()) return QRect();
    const QSize s = place.screen;
    if (place.anchor == own_size_place::tiled)
        return QRect(0, 0, std::min(natural.width(), s.width()), std::min(natural.height(), s.height()));
    // Where the picture's corner lies on the screen, along one side.
    const auto corner = [](int third, int screen, int size) {
        return third == 0 ? 0 : third == 1 ? screen / 2 - size / 2 : screen - size;
    };
    const QPoint at(corner(place.anchor % 3, s.width(), natural.width()),
                    corner(place.anchor / 3, s.height(), natural.height()));
    constexpr int spare = 4;
    return QRect(-at, s).adjusted(-spare, -spare, spare, spare) & picture;
}

decoded_picture decode_picture(const QString& path, QSize fit_box, QRect region, const own_size_place& place) {
    const picture_limits& l = picture_decode_limits();
    if (path.isEmpty()) return decode_failure(code_missing);
    const reader_messages messages(path);
    if (region.isValid()) fit_box = QSize();
    // Opened without blocking, so that a FIFO or a device named like a
    // picture is refused instead of waiting for a writer that never comes.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return decode_failure(errno == ENOENT || errno == ENOTDIR ? code_missing : code_unreadable);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return decode_failure(code_missing);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return decode_failure(code_unreadable);
    }
    if (file.size() > l.max_file_bytes) return decode_failure(code_too_large);
    const QByteArray head = file.read(1024);
    const picture_kind kind = sniff_picture(head, path);
    // A picture shown at its own size with more pixels than are kept comes
    // with its part on the screen at full size (below); what is kept of the
    // whole then only stands in for parts off the screen, and the screen's
    // size does for it.
    const bool own_size = place.valid() && !region.isValid() && !(fit_box.isValid() && !fit_box.isEmpty());
    const QSize held_box = own_size ? place.screen : QSize();

    decoded_picture r;
    switch (kind) {
        case picture_kind::unknown:
            return decode_failure(code_unknown);
        case picture_kind::bmp:
        case picture_kind::gif:
        case picture_kind::jpeg:
        case picture_kind::png:
        case picture_kind::tiff:
        case picture_kind::tga: {
            const char* format = kind == picture_kind::bmp    ? "bmp"
                                 : kind == picture_kind::gif  ? "gif"
                                 : kind == picture_kind::jpeg ? "jpeg"
                                 : kind == picture_kind::png  ? "png"
                                 : kind == picture_kind::tiff ? "tiff"
                                                              : "tga";
            if (!QImageReader::supportedImageFormats().contains(format)) return decode_failure(code_unknown);
            // The decoder's coefficient buffer lies outside every limit that
            // the reader applies: weigh it before it is allocated.
            // It counts together with the pixels it decodes to.
            const std::int64_t scan_buffer = kind == picture_kind::jpeg ? jpeg_scan_buffer_bytes(&file) : 0;
            if (scan_buffer > l.max_bytes) return decode_failure(code_too_large);
            file.seek(0);
            r = region.isValid() ? decode_region_with_qt(&file, format, region, scan_buffer)
                                 : decode_with_qt(&file, format, kind, fit_box, scan_buffer, held_box);
            if (kind == picture_kind::tga && (r.code == code_unknown || r.code == code_unreadable)) {
                // Qt reads TGA 2.0 files only (those with the footer).
                const std::int64_t size = magick_read_size(picture_kind::tga_other, head, file.size(), l);
                if (size < 0) return decode_failure(code_too_large);
                QByteArray data;
                if (const int failed = read_start(file, size, data)) return decode_failure(failed);
                r = decode_with_magick(data, picture_kind::tga_other, fit_box);
            }
            break;
        }
        case picture_kind::packed_dib: {
            prefixed_file bmp(bmp_file_header(head, file.size()), &file);
            bmp.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
            r = decode_with_qt(&bmp, "bmp", kind, fit_box);
            break;
        }
        default: {
            const std::int64_t size = magick_read_size(kind, head, file.size(), l);
            if (size < 0) return decode_failure(code_too_large);
            QByteArray data;
            if (const int failed = read_start(file, size, data)) return decode_failure(failed);
            r = decode_with_magick(data, kind, fit_box);
            break;
        }
    }
    if (r.code < 0) return r;
    // Decoded whole: the region is cut out of it.
    const QRect part = region & r.image.rect();
    if (region.isValid() && r.image.size() == r.natural_size && part != r.image.rect()) {
        if (part.isEmpty()) return decode_failure(code_unreadable);
        QImage piece = r.image.copy(part);
        if (piece.isNull()) return decode_failure(code_memory);
        r.image = std::move(piece);
    }
    // Shown at its own size and held reduced: its part on the screen at
    // full size, cut out while the whole is there, or decoded from a JPEG
    // (which clips while it decodes) beside the reduced copy.
    const bool own_size_detail =
        own_size && std::int64_t(r.natural_size.width()) * r.natural_size.height() > l.max_kept_pixels;
    if (own_size_detail) {
        const QRect part = shown_part(r.natural_size, place);
        if (r.image.size() == r.natural_size) {
            r.detail = r.image.copy(part);
        } else if (kind == picture_kind::jpeg) {
            file.seek(0);
            const std::int64_t scan_buffer = jpeg_scan_buffer_bytes(&file);
            file.seek(0);
            decoded_picture d = decode_region_with_qt(&file, "jpeg", part, scan_buffer + r.image.sizeInBytes());
            if (d.code >= 0 && d.natural_size == r.natural_size) r.detail = std::move(d.image);
        }
        // Without it the part is asked for again when it shows.
        if (!r.detail.isNull()) r.detail_rect = part;
    }
    // Formats that cannot decode scaled: keep no more pixels than are shown.
    const QSize target =
        shrink_target(r.natural_size, r.image.size(), own_size_detail ? held_box : fit_box, l.max_kept_pixels);
    if (target != r.image.size()) {
        QImage smaller = reduced_in_place(std::move(r.image), target);
        if (smaller.isNull()) return decode_failure(code_memory);
        r.image = std::move(smaller);
    }
    return r;
}

// ---- Palettes ---------------------------------------------------------------

const QList<QRgb>& standard_palette() {
    static const QList<QRgb> table = [] {
        QList<QRgb> t;
        static const int sixteen[16][3] = {{0, 0, 0},     {0, 0, 128},   {0, 128, 0},     {0, 128, 128},
                                           {128, 0, 0},   {128, 0, 128}, {128, 128, 0},   {192, 192, 192},
                                           {128, 128, 128}, {0, 0, 255}, {0, 255, 0},     {0, 255, 255},
                                           {255, 0, 0},   {255, 0, 255}, {255, 255, 0},   {255, 255, 255}};
        for (const auto& c : sixteen) t.append(qRgb(c[0], c[1], c[2]));
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b) t.append(qRgb(r * 51, g * 51, b * 51));
        for (int i = 1; t.size() < 256; ++i) t.append(qRgb(i * 10, i * 10, i * 10));
        return t;
    }();
    return table;
}

namespace {

int nearest_standard(int r, int g, int b) {
    // Nearest entry per 5-bit cell, found once.
    static std::array<std::int16_t, 32 * 32 * 32> cache = [] {
        std::array<std::int16_t, 32 * 32 * 32> c;
        c.fill(-1);
        return c;
    }();
    const int key = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    if (cache[std::size_t(key)] >= 0) return cache[std::size_t(key)];
    const int cr = (r & ~7) | 4, cg = (g & ~7) | 4, cb = (b & ~7) | 4;
    const auto& table = standard_palette();
    int best = 0, best_d = 1 << 30;
    for (int i = 0; i < table.size(); ++i) {
        const int dr = qRed(table[i]) - cr, dg = qGreen(table[i]) - cg, db = qBlue(table[i]) - cb;
        const int d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
        if (d < best_d) best_d = d, best = i;
    }
    cache[std::size_t(key)] = std::int16_t(best);
    return best;
}

// Floyd-Steinberg onto the standard palette; alpha is kept as it is.
bool dither_to_standard(QImage& image) {
    QImage out(image.size(), image.format());
    if (out.isNull()) return false;
    const auto& table = standard_palette();
    const int w = image.width();
    std::vector<int> err_now(std::size_t(w + 2) * 3, 0), err_next(std::size_t(w + 2) * 3, 0);
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        std::fill(err_next.begin(), err_next.end(), 0);
        for (int x = 0; x < w; ++x) {
            int c[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
            for (int k = 0; k < 3; ++k)
                c[k] = std::clamp(c[k] + err_now[std::size_t(x + 1) * 3 + k] / 16, 0, 255);
            const QRgb p = table[nearest_standard(c[0], c[1], c[2])];
            o[x] = qRgba(qRed(p), qGreen(p), qBlue(p), qAlpha(in[x]));
            const int e[3] = {c[0] - qRed(p), c[1] - qGreen(p), c[2] - qBlue(p)};
            for (int k = 0; k < 3; ++k) {
                err_now[std::size_t(x + 2) * 3 + k] += e[k] * 7;
                err_next[std::size_t(x) * 3 + k] += e[k] * 3;
                err_next[std::size_t(x + 1) * 3 + k] += e[k] * 5;
                err_next[std::size_t(x + 2) * 3 + k] += e[k];
            }
        }
        std::swap(err_now, err_next);
    }
    image = std::move(out);
    return true;
}

bool quantize_own_palette(QImage& image) {
    ensure_magick();
    apply_magick_limits(picture_decode_limits());
    const QImage src = image.convertToFormat(QImage::Format_ARGB32);
    Magick::Image im(unsigned(src.width()), unsigned(src.height()), "BGRA", MagickLib::CharPixel, src.constBits());
    im.quantizeColors(256);
    im.quantizeDither(true);
    im.quantize();
    QImage out(src.size(), QImage::Format_ARGB32);
    if (out.isNull()) return false;
    im.write(0, 0, unsigned(src.width()), unsigned(src.height()), "BGRA", MagickLib::CharPixel, out.bits());
    image = out.convertToFormat(image.format());
    return !image.isNull();
}

}  // namespace

int apply_palette(QImage& image, int palette_type) {
    if (image.isNull() || (palette_type != 1 && palette_type != 5)) return 0;
    const std::int64_t pixels = std::int64_t(image.width()) * image.height();
    // The copy made through the palette must fit beside the picture.
    const std::int64_t need = pixels * (palette_type == 1 ? 8 : 16);
    const int fail = palette_type == 1 ? code_dither : code_quantize;
    if (need > picture_decode_limits().max_bytes) return fail;
    try {
        // Work on straight (not premultiplied) colours, then hand back the
        // format the picture came in.
        const QImage::Format format = image.format();
        QImage work = image.convertToFormat(format == QImage::Format_RGB32 ? QImage::Format_RGB32
                                                                            : QImage::Format_ARGB32);
        if (work.isNull()) return fail;
        const bool ok = palette_type == 1 ? dither_to_standard(work) : quantize_own_palette(work);
        if (!ok) return fail;
        work = work.convertToFormat(format);
        if (work.isNull()) return fail;
        image = std::move(work);
        return 0;
    } catch (const Magick::Exception&) {
        return fail;
    } catch (const std::bad_alloc&) {
        return fail;
    }
}

}  // namespace lv
