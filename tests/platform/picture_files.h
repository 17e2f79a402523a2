#pragma once
// Test pictures of every supported type, made on the spot: Qt's writers,
// GraphicsMagick, and small hand-built files for the formats nothing here
// writes (RLE bitmaps, WMF, WPG, packed DIB).
#include <Magick++.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QString>
#include <cstdint>
#include <mutex>

namespace lv::test {

inline void init_magick() {
    static std::once_flag once;
    std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

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

// Through GraphicsMagick: format "PCX", "PICT", "GIF", "TGA"...
inline bool write_magick(const QImage& img, const QString& path, const std::string& format, bool rle = false,
                         bool palette = false) {
    init_magick();
    const QImage src = img.convertToFormat(QImage::Format_ARGB32);
    Magick::Image m(unsigned(src.width()), unsigned(src.height()), "BGRA", MagickLib::CharPixel, src.constBits());
    m.matte(false);
    m.type(palette ? Magick::PaletteType : Magick::TrueColorType);
    if (rle) m.compressType(Magick::RLECompression);
    m.magick(format);
    m.write(format + ":" + path.toStdString());
    return QFile::exists(path);
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

// A DIB as some programs store it: the bitmap without its file header.
inline QByteArray packed_dib(const QImage& img) {
    QByteArray bmp;
    QBuffer buf(&bmp);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "BMP");
    return bmp.mid(14);
}

// A placeable metafile of w x h units at 96 units per inch: two filled
// rectangles, red on the left half, blue on the right.
inline QByteArray two_halves_wmf(int w, int h) {
    QByteArray recs;
    auto rec = [&recs](unsigned func, std::initializer_list<unsigned> params) {
        put32(recs, std::uint32_t(3 + params.size()));
        put16(recs, func);
        for (unsigned p : params) put16(recs, p);
    };
    rec(0x020B, {0, 0});                         // window origin
    rec(0x020C, {unsigned(h), unsigned(w)});     // window extent
    rec(0x02FA, {5, 0, 0, 0, 0});                // null pen
    rec(0x012D, {0});
    rec(0x02FC, {0, 0x00FF, 0x0000, 0});         // red brush (0x000000FF)
    rec(0x012D, {1});
    rec(0x041B, {unsigned(h), unsigned(w / 2), 0, 0});
    rec(0x02FC, {0, 0x0000, 0x00FF, 0});         // blue brush (0x00FF0000)
    rec(0x012D, {2});
    rec(0x041B, {unsigned(h), unsigned(w), 0, unsigned(w / 2)});
    rec(0x0000, {});                             // end of file
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
    put16(header, 3);
    put32(header, 8);
    put16(header, 0);
    return header + recs;
}

// A WordPerfect graphic holding one 8-bit bitmap with its palette.
inline QByteArray two_halves_wpg(int w, int h) {
    auto rec = [](int type, const QByteArray& body) {
        QByteArray r;
        r.append(char(type));
        if (body.size() < 0xFF) {
            r.append(char(body.size()));
        } else {
            r.append(char(0xFF));
            put16(r, unsigned(body.size()));
        }
        return r + body;
    };
    QByteArray out("\xFFWPC", 4);
    put32(out, 16);
    out.append(char(1));
    out.append(char(0x16));
    out.append(char(1));
    out.append(char(0));
    put16(out, 0);
    put16(out, 0);
    QByteArray start;
    start.append(char(1));
    start.append(char(0));
    put16(start, unsigned(w * 30));
    put16(start, unsigned(h * 30));
    out += rec(0x0F, start);
    QByteArray pal;
    put16(pal, 0);
    put16(pal, 256);
    pal.append(QByteArray("\x00\x00\x00\xFF\x00\x00\x00\x00\xFF", 9));
    pal.append(QByteArray(3 * 253, '\0'));
    out += rec(0x0E, pal);
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
    out += rec(0x0B, bitmap);
    out += rec(0x10, QByteArray());
    return out;
}

inline int channel_distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

}  // namespace lv::test
