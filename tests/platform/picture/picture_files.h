#pragma once
// Test pictures of every supported type, made on the spot: Qt's writers,
// GraphicsMagick's program, and small hand-built files for the formats nothing here
// writes (RLE bitmaps, WMF, WPG, packed DIB).
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStringList>
#include <QString>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace lv::test {

// Left half red, right half blue.
inline QImage two_halves(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, x < w / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return img;
}

inline bool write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline bool write_qt(const QImage& img, const QString& path, const char* format, int quality = 95) {
    QImageWriter w(path, format);
    w.setQuality(quality);
    return w.write(img);
}

// Through GraphicsMagick's own program: format "PCX", "PICT", "GIF", "TGA"...
// A separate process, because the decoder under test keeps only the coders it
// needs in this one.
inline bool write_magick(const QImage& img, const QString& path, const std::string& format, bool rle = false,
                         bool palette = false) {
    const QString source = path + QStringLiteral(".source.png");
    if (!img.convertToFormat(QImage::Format_RGB32).save(source, "PNG")) return false;
    QStringList args = {QStringLiteral("convert"), QStringLiteral("PNG:") + source, QStringLiteral("+matte"),
                        QStringLiteral("-type"), palette ? QStringLiteral("Palette") : QStringLiteral("TrueColor")};
    if (rle) args << QStringLiteral("-compress") << QStringLiteral("RLE");
    args << QString::fromStdString(format) + QLatin1Char(':') + path;
    QProcess gm;
    gm.start(QStringLiteral("gm"), args);
    const bool ok = gm.waitForFinished(60000) && gm.exitStatus() == QProcess::NormalExit && gm.exitCode() == 0;
    QFile::remove(source);
    return ok && QFile::exists(path);
}

inline void put16(QByteArray& b, unsigned v) {
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
inline void put32(QByteArray& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// An 8-bit BMP with RLE8 compression (what .RLE files hold).
inline QByteArray rle8_bmp(const QImage& img) {
    QList<QRgb> colours;
    QByteArray bits;
    for (int y = img.height() - 1; y >= 0; --y) {   // bottom-up
        int x = 0;
        while (x < img.width()) {
            const QRgb c = img.pixel(x, y);
            int idx = int(colours.indexOf(c));
            if (idx < 0) idx = int(colours.size()), colours.append(c);
            int run = 1;
            while (x + run < img.width() && run < 255 && img.pixel(x + run, y) == c) ++run;
            bits.append(char(run));
            bits.append(char(idx));
            x += run;
        }
        bits.append('\0');
        bits.append(y == 0 ? '\1' : '\0');   // end of line / end of bitmap
    }
    QByteArray b("BM");
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    put32(b, offset + std::uint32_t(bits.size()));
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, std::uint32_t(img.width()));
    put32(b, std::uint32_t(img.height()));
    put16(b, 1);
    put16(b, 8);
    put32(b, 1);   // BI_RLE8
    put32(b, std::uint32_t(bits.size()));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 256);
    put32(b, 0);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < colours.size() ? colours[i] : 0;
        b.append(char(qBlue(c)));
        b.append(char(qGreen(c)));
        b.append(char(qRed(c)));
        b.append('\0');
    }
    b.append(bits);
    return b;
}

// A bitmap with a BITMAPV4HEADER (108 bytes) or BITMAPV5HEADER (124 bytes),
// as newer image editors write them: 8 bits with a palette, 16 bits as
// R5G6B5 bit fields, 24 bits plain, or 32 bits as A8R8G8B8 bit fields (the
// alpha taken from the picture). Bottom-up rows, or top-down ones with a
// negative height.
inline QByteArray bmp_with_header(const QImage& src, std::uint32_t header, int bits, bool top_down = false) {
    const QImage img = src.convertToFormat(QImage::Format_ARGB32);
    QList<QRgb> colours;
    if (bits == 8)
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (!colours.contains(img.pixel(x, y) | 0xFF000000u)) colours.append(img.pixel(x, y) | 0xFF000000u);
    const int row_bytes = ((img.width() * bits + 31) / 32) * 4;
    QByteArray pixels;
    for (int i = 0; i < img.height(); ++i) {
        const int y = top_down ? i : img.height() - 1 - i;
        QByteArray row;
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            if (bits == 8) {
                row.append(char(colours.indexOf(c | 0xFF000000u)));
            } else if (bits == 16) {
                put16(row, unsigned(((qRed(c) >> 3) << 11) | ((qGreen(c) >> 2) << 5) | (qBlue(c) >> 3)));
            } else {
                row.append(char(qBlue(c)));
                row.append(char(qGreen(c)));
                row.append(char(qRed(c)));
                if (bits == 32) row.append(char(qAlpha(c)));
            }
        }
        row.append(QByteArray(row_bytes - row.size(), '\0'));
        pixels += row;
    }
    QByteArray h;
    put32(h, header);
    put32(h, std::uint32_t(img.width()));
    put32(h, top_down ? std::uint32_t(-img.height()) : std::uint32_t(img.height()));
    put16(h, 1);
    put16(h, unsigned(bits));
    const bool fields = bits == 16 || bits == 32;
    put32(h, fields ? 3 : 0);   // BI_BITFIELDS or BI_RGB
    put32(h, std::uint32_t(pixels.size()));
    put32(h, 2835);
    put32(h, 2835);
    put32(h, bits == 8 ? std::uint32_t(colours.size()) : 0);
    put32(h, 0);
    if (bits == 16) {
        put32(h, 0xF800), put32(h, 0x07E0), put32(h, 0x001F), put32(h, 0);
    } else if (bits == 32) {
        put32(h, 0x00FF0000), put32(h, 0x0000FF00), put32(h, 0x000000FF), put32(h, 0xFF000000);
    } else {
        for (int i = 0; i < 4; ++i) put32(h, 0);
    }
    put32(h, 0x73524742);   // 'sRGB'
    h.append(QByteArray(36 + 12, '\0'));   // end points and gamma, unused for sRGB
    if (header == 124) {
        put32(h, 4);   // LCS_GM_IMAGES
        put32(h, 0);
        put32(h, 0);
        put32(h, 0);
    }
    for (QRgb c : colours) {
        h.append(char(qBlue(c)));
        h.append(char(qGreen(c)));
        h.append(char(qRed(c)));
        h.append('\0');
    }
    QByteArray b("BM");
    put32(b, std::uint32_t(14 + h.size() + pixels.size()));
    put32(b, 0);
    put32(b, std::uint32_t(14 + h.size()));
    return b + h + pixels;
}

// A DIB as some programs store it: the bitmap without its file header.
inline QByteArray packed_dib(const QImage& img) {
    QByteArray bmp;
    QBuffer buf(&bmp);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "BMP");
    return bmp.mid(14);
}

// The records of a metafile, and the file: a placeable header of w x h
// units at 96 units per inch, the records and the end record.
struct wmf_records {
    QByteArray recs;
    std::uint32_t largest = 0;
    void add(unsigned func, std::initializer_list<unsigned> params, const QByteArray& data = QByteArray()) {
        const std::uint32_t words = std::uint32_t(3 + params.size() + data.size() / 2);
        largest = std::max(largest, words);
        put32(recs, words);
        put16(recs, func);
        for (unsigned p : params) put16(recs, p);
        recs += data;
    }
    QByteArray file(int w, int h, unsigned objects) {
        add(0x0000, {});   // end of file
        QByteArray header;
        put32(header, 0x9AC6CDD7);
        put16(header, 0);
        put16(header, 0);
        put16(header, 0);
        put16(header, unsigned(w));
        put16(header, unsigned(h));
        put16(header, 96);
        put32(header, 0);
        unsigned sum = 0;
        for (int i = 0; i < 10; ++i) sum ^= std::uint8_t(header[2 * i]) | (std::uint8_t(header[2 * i + 1]) << 8);
        put16(header, sum);
        put16(header, 1);
        put16(header, 9);
        put16(header, 0x0300);
        put32(header, std::uint32_t(9 + recs.size() / 2));
        put16(header, objects);
        put32(header, largest);
        put16(header, 0);
        return header + recs;
    }
};

// A placeable metafile of w x h units at 96 units per inch: two filled
// rectangles, red on the left half, blue on the right; or, with `bitmap`,
// the same picture as a bitmap stretched over the metafile (StretchDIB).
inline QByteArray two_halves_wmf(int w, int h, bool bitmap = false) {
    wmf_records m;
    m.add(0x020B, {0, 0});                         // window origin
    m.add(0x020C, {unsigned(h), unsigned(w)});     // window extent
    if (bitmap) {
        // Raster operation SRCCOPY (low word first), RGB colours, source
        // height, width, y, x, then destination height, width, y, x.
        QByteArray dib = packed_dib(two_halves(w, h));
        if (dib.size() % 2) dib.append('\0');
        m.add(0x0F43, {0x0020, 0x00CC, 0, unsigned(h), unsigned(w), 0, 0, unsigned(h), unsigned(w), 0, 0}, dib);
    } else {
        m.add(0x02FA, {5, 0, 0, 0, 0});                // null pen
        m.add(0x012D, {0});
        m.add(0x02FC, {0, 0x00FF, 0x0000, 0});         // red brush (0x000000FF)
        m.add(0x012D, {1});
        m.add(0x041B, {unsigned(h), unsigned(w / 2), 0, 0});
        m.add(0x02FC, {0, 0x0000, 0x00FF, 0});         // blue brush (0x00FF0000)
        m.add(0x012D, {2});
        m.add(0x041B, {unsigned(h), unsigned(w), 0, unsigned(w / 2)});
    }
    return m.file(w, h, bitmap ? 0 : 3);
}

// A metafile of w x h that fills its whole canvas `fills` times with
// polygons of changing colours: a file of a few kilobytes whose drawing
// takes as long as its canvas is large.
inline QByteArray filled_wmf(int w, int h, int fills) {
    wmf_records m;
    m.add(0x020B, {0, 0});
    m.add(0x020C, {unsigned(h), unsigned(w)});
    m.add(0x02FA, {5, 0, 0, 0, 0});   // null pen, object 0
    m.add(0x012D, {0});
    for (int i = 0; i < fills; ++i) {
        m.add(0x02FC, {0, unsigned((i * 37) & 0xFF) | 0x8000u, unsigned(i & 0xFF), 0});   // brush, object 1
        m.add(0x012D, {1});
        m.add(0x0324, {4, 0, 0, unsigned(w), 0, unsigned(w), unsigned(h), 0, unsigned(h)});
        m.add(0x01F0, {1});   // the brush goes, its slot is free again
    }
    return m.file(w, h, 2);
}

// A run-length TGA of w x h at 32 bits, all of colour c: runs of 128 pixels
// (5 bytes each) within each row.
inline QByteArray rle_tga(int w, int h, QRgb c) {
    QByteArray out(18, '\0');
    out[2] = 10;   // run-length true colour
    out[12] = char(w & 0xFF), out[13] = char(w >> 8);
    out[14] = char(h & 0xFF), out[15] = char(h >> 8);
    out[16] = 32;
    out[17] = 0x28;   // 8 alpha bits, top row first
    QByteArray row;
    for (int x = 0; x < w; x += 128) {
        row.append(char(0x80 | (std::min(128, w - x) - 1)));
        row.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(qAlpha(c)));
    }
    out.reserve(out.size() + row.size() * h);
    for (int y = 0; y < h; ++y) out += row;
    return out;
}

// A version 2 PICT of w x h (w over 250): one PackBitsRect of 8-bit pixels,
// every row a packed run of palette entry 1, colour c.
inline QByteArray packbits_pict(int w, int h, QRgb c) {
    auto be16 = [](QByteArray& b, unsigned v) { b.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF)); };
    auto be32 = [&be16](QByteArray& b, std::uint32_t v) { be16(b, v >> 16), be16(b, v & 0xFFFF); };
    auto rect = [&be16](QByteArray& b, int width, int height) { be16(b, 0), be16(b, 0), be16(b, height), be16(b, width); };
    QByteArray out(512, '\0');
    be16(out, 0);   // the size of small pictures only
    rect(out, w, h);
    be16(out, 0x0011), be16(out, 0x02FF);
    be16(out, 0x0C00), be32(out, 0xFFFE0000), be32(out, 0x00480000), be32(out, 0x00480000);
    rect(out, w, h);
    be32(out, 0);
    be16(out, 0x0001), be16(out, 10), rect(out, w, h);   // clip region
    be16(out, 0x0098);
    be16(out, 0x8000 | unsigned(w)), rect(out, w, h);
    be16(out, 0), be16(out, 0), be32(out, 0), be32(out, 0x00480000), be32(out, 0x00480000);
    be16(out, 0), be16(out, 8), be16(out, 1), be16(out, 8);   // pixel type, size, components, component size
    be32(out, 0), be32(out, 0), be32(out, 0);
    be32(out, 0), be16(out, 0), be16(out, 1);   // colour table of two entries
    be16(out, 0), be16(out, 0), be16(out, 0), be16(out, 0);
    be16(out, 1), be16(out, qRed(c) * 257), be16(out, qGreen(c) * 257), be16(out, qBlue(c) * 257);
    rect(out, w, h), rect(out, w, h), be16(out, 0);   // source, destination, copy mode
    QByteArray row;
    for (int x = 0; x < w; x += 128) row.append(char(257 - std::min(128, w - x))).append(char(1));
    QByteArray counted;
    be16(counted, unsigned(row.size()));
    counted += row;
    out.reserve(out.size() + counted.size() * h + 4);
    for (int y = 0; y < h; ++y) out += counted;
    if (out.size() % 2) out.append('\0');
    be16(out, 0x00FF);
    return out;
}

// One WPG record: its type, its length (one byte, or 0xFF and 16 bits) and
// its body. Level 2 records carry a class byte and an extension first.
inline QByteArray wpg_record(int type, const QByteArray& body, int level = 1) {
    QByteArray r;
    if (level == 2) r.append(char(1));   // class
    r.append(char(type));
    if (level == 2) r.append('\0');      // no extension
    if (body.size() < 0xFF) {
        r.append(char(body.size()));
    } else {
        r.append(char(0xFF));
        put16(r, unsigned(body.size()));
    }
    return r + body;
}

inline QByteArray wpg_file_header(int level) {
    QByteArray out("\xFFWPC", 4);
    put32(out, 16);
    out.append(char(1));
    out.append(char(0x16));
    out.append(char(level));
    out.append(char(0));
    put16(out, 0);
    put16(out, 0);
    return out;
}

// A WordPerfect graphic holding one 8-bit bitmap with its palette; records
// given in `before` come ahead of the bitmap.
inline QByteArray two_halves_wpg(int w, int h, const QByteArray& before = QByteArray()) {
    QByteArray out = wpg_file_header(1);
    QByteArray start;
    start.append(char(1));
    start.append(char(0));
    put16(start, unsigned(w * 30));
    put16(start, unsigned(h * 30));
    out += wpg_record(0x0F, start);
    QByteArray pal;
    put16(pal, 0);
    put16(pal, 256);
    pal.append(QByteArray("\x00\x00\x00\xFF\x00\x00\x00\x00\xFF", 9));
    pal.append(QByteArray(3 * 253, '\0'));
    out += wpg_record(0x0E, pal);
    out += before;
    QByteArray bitmap;
    put16(bitmap, unsigned(w));
    put16(bitmap, unsigned(h));
    put16(bitmap, 8);
    put16(bitmap, 75);
    put16(bitmap, 75);
    for (int y = 0; y < h; ++y) {
        bitmap.append(char(w));   // a literal run of the whole row (w < 128)
        for (int x = 0; x < w; ++x) bitmap.append(char(x < w / 2 ? 1 : 2));
    }
    out += wpg_record(0x0B, bitmap);
    out += wpg_record(0x10, QByteArray());
    return out;
}

// The same picture as a level 2 graphic: an uncompressed 24-bit bitmap.
inline QByteArray two_halves_wpg2(int w, int h, const QByteArray& before = QByteArray()) {
    QByteArray out = wpg_file_header(2);
    out += before;
    QByteArray bitmap;
    put16(bitmap, unsigned(w));
    put16(bitmap, unsigned(h));
    bitmap.append(char(8));   // 24 bits
    bitmap.append('\0');      // uncompressed
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bitmap.append(x < w / 2 ? QByteArray("\xFF\x00\x00", 3) : QByteArray("\x00\x00\xFF", 3));
    out += wpg_record(0x0E, bitmap, 2);
    return out;
}

inline QByteArray progressive_jpeg(const QImage& img) {
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    QImageWriter w(&b, "jpeg");
    w.setProgressiveScanWrite(true);
    w.setQuality(95);
    return w.write(img) ? out : QByteArray();
}

// The same JPEG with a frame that claims w x h, every component at full
// resolution when `full_colour`; empty without a progressive frame.
inline QByteArray with_frame_size(QByteArray jpeg, int w, int h, bool full_colour = false) {
    const int sof = int(jpeg.indexOf(QByteArray("\xFF\xC2", 2)));
    if (sof < 0) return QByteArray();
    jpeg[sof + 5] = char(h >> 8), jpeg[sof + 6] = char(h & 0xFF);
    jpeg[sof + 7] = char(w >> 8), jpeg[sof + 8] = char(w & 0xFF);
    if (full_colour)
        for (int c = 0; c < std::uint8_t(jpeg[sof + 9]); ++c) jpeg[sof + 11 + 3 * c] = 0x11;
    return jpeg;
}

inline int channel_distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace lv::test
