// The picture control: every supported type loads with its size and colours,
// the decoder follows the content rather than the name, every failure has its
// code, and the face honours draw mode, transparency, border and palette.
#include "platform/controls/picture_control.h"
#include "platform/picture/picture_decode.h"
#include "platform/picture/picture_files.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace lv {
namespace {

using namespace lv::test;

class PictureControlTest : public ::testing::Test {
protected:
    // Through the decoder program, as the player decodes.
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
    }
    void TearDown() override {
        picture_decode_limits() = picture_limits{};
        qunsetenv("LUMIVANE_DECODER");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Loads into a control of the picture's size in draw mode natural.
    QImage load_face(PictureControl& pc, const QString& file, int* code = nullptr) {
        const int r = pc.set_file_name(file);
        if (code) *code = r;
        pc.resize(pc.picture_width(), pc.picture_height());
        return pc.render_face();
    }

    QTemporaryDir dir_;
};

struct picture_type {
    const char* file;
    std::function<bool(const QImage&, const QString&)> write;
    int tolerance;   // lossy formats drift a little
};

TEST_F(PictureControlTest, EveryTypeLoadsWithItsSizeAndColours) {
    const QImage src = two_halves(40, 30);
    const std::vector<picture_type> types = {
        {"a.bmp", [](const QImage& i, const QString& p) { return write_qt(i, p, "bmp"); }, 0},
        {"a.dib", [](const QImage& i, const QString& p) { return write_qt(i, p, "bmp"); }, 0},
        {"packed.dib", [](const QImage& i, const QString& p) { return write_file(p, packed_dib(i)); }, 0},
        {"a.rle", [](const QImage& i, const QString& p) { return write_file(p, rle8_bmp(i)); }, 0},
        {"a.gif", [](const QImage& i, const QString& p) { return write_magick(i, p, "GIF"); }, 0},
        {"a.jpg", [](const QImage& i, const QString& p) { return write_qt(i, p, "jpeg"); }, 40},
        {"a.jif", [](const QImage& i, const QString& p) { return write_qt(i, p, "jpeg"); }, 40},
        {"a.kqp", [](const QImage& i, const QString& p) { return write_qt(i, p, "jpeg"); }, 40},
        {"a.png", [](const QImage& i, const QString& p) { return write_qt(i, p, "png"); }, 0},
        {"a.tif", [](const QImage& i, const QString& p) { return write_qt(i, p, "tiff"); }, 0},
        {"a.tga", [](const QImage& i, const QString& p) { return write_magick(i, p, "TGA"); }, 0},
        {"rle.tga", [](const QImage& i, const QString& p) { return write_magick(i, p, "TGA", true); }, 0},
        {"mapped.tga", [](const QImage& i, const QString& p) { return write_magick(i, p, "TGA", false, true); }, 0},
        {"a.pcx", [](const QImage& i, const QString& p) { return write_magick(i, p, "PCX"); }, 0},
        {"a.pic", [](const QImage& i, const QString& p) { return write_magick(i, p, "PICT"); }, 0},
        {"a.wmf", [](const QImage&, const QString& p) { return write_file(p, two_halves_wmf(40, 30)); }, 8},
        {"bitmap.wmf", [](const QImage&, const QString& p) { return write_file(p, two_halves_wmf(40, 30, true)); }, 8},
        {"a.wpg", [](const QImage&, const QString& p) { return write_file(p, two_halves_wpg(40, 30)); }, 0},
    };
    for (const auto& t : types) {
        SCOPED_TRACE(t.file);
        const QString file = path(QString::fromLatin1(t.file));
        ASSERT_TRUE(t.write(src, file));
        PictureControl pc;
        int code = 99;
        const QImage face = load_face(pc, file, &code);
        EXPECT_GE(code, 0);
        EXPECT_EQ(pc.load_result(), code);
        EXPECT_EQ(pc.picture_width(), 40);
        EXPECT_EQ(pc.picture_height(), 30);
        EXPECT_LE(channel_distance(face.pixel(5, 15), qRgb(255, 0, 0)), t.tolerance);
        EXPECT_LE(channel_distance(face.pixel(34, 15), qRgb(0, 0, 255)), t.tolerance);
    }
}

TEST_F(PictureControlTest, BitmapsWithNewerHeadersKeepTheirPixels) {
    // Red left, blue right, green bottom-left quarter (which shows whether the
    // rows came the right way up), and a half-transparent corner.
    QImage src = two_halves(40, 30).convertToFormat(QImage::Format_ARGB32);
    for (int y = 15; y < 30; ++y)
        for (int x = 0; x < 20; ++x) src.setPixel(x, y, qRgb(0, 255, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 36; x < 40; ++x) src.setPixel(x, y, qRgba(0, 0, 255, 128));
    // Also stored top row first, as a negative height says.
    for (std::uint32_t header : {108u, 124u, 1108u, 1124u}) {
        for (int bits : {8, 16, 24, 32}) {
            const QByteArray bmp = bmp_with_header(bits == 32 ? src : src.convertToFormat(QImage::Format_RGB32),
                                                   header % 1000, bits, header > 1000);
            const QString stem = QStringLiteral("v%1_%2").arg(header).arg(bits);
            ASSERT_TRUE(write_file(path(stem + QStringLiteral(".bmp")), bmp));
            ASSERT_TRUE(write_file(path(stem + QStringLiteral(".dib")), bmp.mid(14)));
            for (const QString& file : {stem + QStringLiteral(".bmp"), stem + QStringLiteral(".dib")}) {
                SCOPED_TRACE(file.toStdString());
                PictureControl pc;
                int code = 99;
                const QImage face = load_face(pc, path(file), &code);
                ASSERT_EQ(code, 0);
                EXPECT_EQ(pc.picture_width(), 40);
                EXPECT_EQ(pc.picture_height(), 30);
                // Five or six bits a channel reach 248 or 252, not 255.
                const int tolerance = bits == 16 ? 7 : 0;
                EXPECT_LE(channel_distance(face.pixel(5, 5), qRgb(255, 0, 0)), tolerance);
                EXPECT_LE(channel_distance(face.pixel(30, 20), qRgb(0, 0, 255)), tolerance);
                EXPECT_LE(channel_distance(face.pixel(5, 25), qRgb(0, 255, 0)), tolerance);
                if (bits == 32) {
                    EXPECT_NEAR(qAlpha(pc.picture().pixel(38, 1)), 128, 1);
                }
            }
        }
    }
}

TEST_F(PictureControlTest, TheContentChoosesTheDecoderNotTheName) {
    const QImage src = two_halves(40, 30);
    ASSERT_TRUE(write_qt(src, path("jpeg.pic"), "jpeg"));
    ASSERT_TRUE(write_qt(src, path("png.bmp"), "png"));
    ASSERT_TRUE(write_magick(src, path("pcx.jpg"), "PCX"));
    PictureControl pc;
    EXPECT_EQ(pc.set_file_name(path("jpeg.pic")), 0);
    EXPECT_EQ(pc.picture_width(), 40);
    EXPECT_EQ(pc.set_file_name(path("png.bmp")), 0);
    EXPECT_EQ(pc.set_file_name(path("pcx.jpg")), 0);

    // Text, and formats GraphicsMagick could read but we never hand it.
    ASSERT_TRUE(write_file(path("text.jpg"), "This is not a picture at all.\n"));
    ASSERT_TRUE(write_file(path("script.pcx"), "%!PS-Adobe-3.0\n0 0 moveto showpage\n"));
    ASSERT_TRUE(write_file(path("vector.wmf"), "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'/>"));
    ASSERT_TRUE(write_file(path("empty.png"), ""));
    EXPECT_EQ(pc.set_file_name(path("text.jpg")), -2);
    EXPECT_EQ(pc.set_file_name(path("script.pcx")), -2);
    EXPECT_EQ(pc.set_file_name(path("vector.wmf")), -2);
    EXPECT_EQ(pc.set_file_name(path("empty.png")), -2);
    EXPECT_TRUE(pc.picture().isNull());
}

TEST_F(PictureControlTest, SniffingKeepsWeakSignaturesToTheirNames) {
    QByteArray tga(18, '\0');
    tga[2] = 2;
    tga[12] = 4;
    tga[14] = 4;
    tga[16] = 24;
    EXPECT_EQ(sniff_picture(tga, "x.tga"), picture_kind::tga);
    EXPECT_EQ(sniff_picture(tga, "x.jpg"), picture_kind::unknown);
    tga[2] = 10;
    EXPECT_EQ(sniff_picture(tga, "x.TGA"), picture_kind::tga_other);
    const QByteArray dib = packed_dib(two_halves(4, 4));
    EXPECT_EQ(sniff_picture(dib, "x.dib"), picture_kind::packed_dib);
    EXPECT_EQ(sniff_picture(dib, "x.gif"), picture_kind::unknown);
}

// A PNG whose header declares w x h, with valid checksums and a token of data.
QByteArray png_header_only(std::uint32_t w, std::uint32_t h) {
    auto be32 = [](QByteArray& b, std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) b.append(char((v >> s) & 0xFF));
    };
    auto chunk = [&](const char* type, const QByteArray& data) {
        QByteArray body(type, 4);
        body += data;
        std::uint32_t crc = 0xFFFFFFFFu;
        for (char c : body) {
            crc ^= std::uint8_t(c);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        QByteArray out;
        be32(out, std::uint32_t(data.size()));
        out += body;
        be32(out, ~crc);
        return out;
    };
    QByteArray ihdr;
    be32(ihdr, w);
    be32(ihdr, h);
    ihdr.append(QByteArray("\x08\x02\x00\x00\x00", 5));
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", QByteArray(64, '\x01')) +
           chunk("IEND", QByteArray());
}

TEST_F(PictureControlTest, EachFailureHasItsCode) {
    PictureControl pc;
    // -1: no such file.
    EXPECT_EQ(pc.set_file_name(path("missing.png")), -1);
    EXPECT_EQ(pc.set_file_name(dir_.path()), -1);   // a folder is no picture file
    // -2: not a picture.
    ASSERT_TRUE(write_file(path("notes.gif"), "GIF? no, just notes"));
    EXPECT_EQ(pc.set_file_name(path("notes.gif")), -2);

    // -6: damaged files.
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        two_halves(200, 200).save(&b, "PNG");
    }
    ASSERT_TRUE(write_file(path("cut.png"), png.left(png.size() / 2)));
    EXPECT_EQ(pc.set_file_name(path("cut.png")), -6);
    ASSERT_TRUE(write_file(path("head.png"), png.left(20)));
    EXPECT_EQ(pc.set_file_name(path("head.png")), -6);

    // -7: picture bombs fail on their declared size, before allocation.
    ASSERT_TRUE(write_file(path("bomb.png"), png_header_only(100000, 100000)));
    EXPECT_EQ(pc.set_file_name(path("bomb.png")), -7);
    QByteArray jpeg;
    {
        QBuffer b(&jpeg);
        b.open(QIODevice::WriteOnly);
        two_halves(16, 16).save(&b, "JPEG");
    }
    const int sof = int(jpeg.indexOf(QByteArray("\xFF\xC0", 2)));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(0xFD), jpeg[sof + 6] = char(0xE8);   // height 65000
    jpeg[sof + 7] = char(0xFD), jpeg[sof + 8] = char(0xE8);   // width 65000
    ASSERT_TRUE(write_file(path("bomb.jpg"), jpeg));
    EXPECT_EQ(pc.set_file_name(path("bomb.jpg")), -7);
    QByteArray pcx(128, '\0');
    pcx[0] = 0x0A, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8;
    pcx[8] = char(0x5F), pcx[9] = char(0xEA);     // xmax 59999
    pcx[10] = char(0x5F), pcx[11] = char(0xEA);   // ymax 59999
    pcx[65] = 3, pcx[66] = char(0x60), pcx[67] = char(0xEA);
    pcx.append(QByteArray(4096, '\x01'));
    ASSERT_TRUE(write_file(path("bomb.pcx"), pcx));
    EXPECT_EQ(pc.set_file_name(path("bomb.pcx")), -7);
    EXPECT_TRUE(pc.picture().isNull());
    EXPECT_EQ(pc.picture_width(), 0);
}

TEST_F(PictureControlTest, MemoryLimitsGiveTheirCodes) {
    // -7: what the decoder would hold for the picture is over the limit,
    // GraphicsMagick's 8 bytes a pixel and the 4 of the copy counted.
    ASSERT_TRUE(write_magick(two_halves(2000, 2000), path("big.pcx"), "PCX"));
    picture_decode_limits().max_bytes = 2000 * 2000 * 8;
    PictureControl pc;
    EXPECT_EQ(pc.set_file_name(path("big.pcx")), -7);
    // -3: the decoding process runs into its own hard memory limit.
    picture_decode_limits() = picture_limits{};
    picture_decode_limits().process_bytes = 16 << 20;
    EXPECT_EQ(pc.set_file_name(path("big.pcx")), -3);
    picture_decode_limits() = picture_limits{};
    EXPECT_EQ(pc.set_file_name(path("big.pcx")), 0);

    // -4 / -5: the picture fits, its palette copy does not.
    ASSERT_TRUE(write_qt(two_halves(200, 200), path("p.png"), "png"));
    picture_decode_limits().max_bytes = 200 * 200 * 6;
    pc.set_palette(true, 1);
    EXPECT_EQ(pc.set_file_name(path("p.png")), -4);
    pc.set_palette(true, 5);
    EXPECT_EQ(pc.set_file_name(path("p.png")), -5);
    pc.set_palette(false, 5);
    EXPECT_EQ(pc.set_file_name(path("p.png")), 0);
}

TEST_F(PictureControlTest, EmptyNameEmptiesTheControl) {
    ASSERT_TRUE(write_qt(two_halves(40, 30), path("a.png"), "png"));
    PictureControl pc;
    pc.resize(40, 30);
    ASSERT_EQ(pc.set_file_name(path("a.png")), 0);
    EXPECT_EQ(pc.set_file_name(QString()), 0);
    EXPECT_TRUE(pc.picture().isNull());
    EXPECT_EQ(qAlpha(pc.render_face().pixel(5, 5)), 0);
    pc.set_picture(two_halves(8, 6));
    EXPECT_EQ(pc.picture_width(), 8);
    EXPECT_EQ(pc.file_name(), QString());
}

TEST_F(PictureControlTest, TransparentColourKeysExactlyThatColour) {
    ASSERT_TRUE(write_qt(two_halves(40, 30), path("a.png"), "png"));
    PictureControl pc;
    pc.set_file_name(path("a.png"));
    pc.resize(40, 30);
    pc.set_transparent(true, 0x0000FF);   // red, as 0x00BBGGRR
    QImage face = pc.render_face();
    EXPECT_EQ(qAlpha(face.pixel(5, 5)), 0);
    EXPECT_EQ(face.pixel(34, 5), qRgb(0, 0, 255));
    pc.set_transparent(true, 0xFF0000);   // blue
    face = pc.render_face();
    EXPECT_EQ(face.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(face.pixel(34, 5)), 0);
    pc.set_transparent(false, 0xFF0000);
    EXPECT_EQ(qAlpha(pc.render_face().pixel(34, 5)), 255);
    // Black, the colour a transparent_color of 1 asks for.
    QImage dark = two_halves(40, 30);
    dark.fill(Qt::black);
    pc.set_picture(dark);
    pc.set_transparent(true, 0);
    EXPECT_EQ(qAlpha(pc.render_face().pixel(20, 20)), 0);
}

TEST_F(PictureControlTest, DrawModesPlaceThePicture) {
    PictureControl pc;
    pc.set_picture(two_halves(40, 30));
    pc.resize(100, 80);
    QImage face = pc.render_face();   // natural (the default)
    EXPECT_EQ(face.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(face.pixel(60, 50)), 0);
    pc.set_draw_mode(PictureControl::stretched);
    face = pc.render_face();
    EXPECT_EQ(face.pixel(10, 70), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(90, 70), qRgb(0, 0, 255));
    pc.set_draw_mode(PictureControl::tiled);
    face = pc.render_face();
    EXPECT_EQ(face.pixel(45, 35), qRgb(255, 0, 0));   // second tile, second row
    EXPECT_EQ(face.pixel(75, 65), qRgb(0, 0, 255));
    EXPECT_EQ(pc.picture_width(), 40);   // the natural size does not follow the mode
}

TEST_F(PictureControlTest, BorderBandsFrameThePicture) {
    PictureControl pc;
    pc.set_picture(two_halves(60, 40));
    pc.resize(60, 40);
    control_border b;
    b.on = true;
    b.outer_style = 1, b.outer_width = 2, b.outer_color_1 = 0x00FF00, b.outer_color_2 = 0x808080;
    b.middle_width = 3, b.middle_color = 0x00FFFF;   // yellow
    b.inner_style = 2, b.inner_width = 1, b.inner_color_1 = 0xFFFFFF, b.inner_color_2 = 0x000000;
    pc.set_border(b);
    EXPECT_EQ(b.total_width(), 6);
    const QImage face = pc.render_face();
    EXPECT_EQ(face.pixel(1, 20), qRgb(0, 255, 0));       // outer band, raised: colour 1 top-left
    EXPECT_EQ(face.pixel(58, 20), qRgb(128, 128, 128));  // colour 2 bottom-right
    EXPECT_EQ(face.pixel(3, 20), qRgb(255, 255, 0));     // middle band
    EXPECT_EQ(face.pixel(5, 20), qRgb(0, 0, 0));         // inner band, sunken: colour 2 top-left
    EXPECT_EQ(face.pixel(54, 20), qRgb(255, 255, 255));
    EXPECT_EQ(face.pixel(10, 20), qRgb(255, 0, 0));      // the picture inside
    b.on = false;
    EXPECT_EQ(b.total_width(), 0);
    pc.set_border(b);
    EXPECT_EQ(pc.render_face().pixel(1, 20), qRgb(255, 0, 0));
}

TEST_F(PictureControlTest, LargePicturesDecodeToTheSizeTheyAreShownAt) {
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(qRgb(30, 160, 90));
    ASSERT_TRUE(write_qt(big, path("big.jpg"), "jpeg", 80));
    PictureControl pc;
    ASSERT_EQ(pc.set_file_name(path("big.jpg"), QSize(1000, 800)), 0);
    EXPECT_EQ(pc.picture_width(), 4000);
    EXPECT_EQ(pc.picture_height(), 3000);
    EXPECT_EQ(pc.picture().size(), QSize(1000, 750));   // a quarter, straight from the decoder
    pc.set_draw_mode(PictureControl::stretched);
    pc.resize(1000, 750);
    EXPECT_LE(channel_distance(pc.render_face().pixel(500, 400), qRgb(30, 160, 90)), 6);

    // Shown at its own size after all (tiled): decoded whole once drawn.
    pc.set_draw_mode(PictureControl::tiled);
    pc.render_face();
    QCoreApplication::processEvents();
    EXPECT_EQ(pc.picture().size(), QSize(4000, 3000));

    // Other formats decode whole, then keep no more than is shown.
    ASSERT_TRUE(write_qt(two_halves(3000, 2000), path("big.png"), "png"));
    ASSERT_EQ(pc.set_file_name(path("big.png"), QSize(300, 300)), 0);
    EXPECT_EQ(pc.picture_width(), 3000);
    EXPECT_EQ(pc.picture().size(), QSize(300, 200));
    ASSERT_EQ(pc.set_file_name(path("big.png")), 0);
    EXPECT_EQ(pc.picture().size(), QSize(3000, 2000));

    // A metafile is drawn at the size it is shown; whole, it is too large.
    ASSERT_TRUE(write_file(path("big.wmf"), two_halves_wmf(8000, 6000)));
    ASSERT_EQ(pc.set_file_name(path("big.wmf"), QSize(400, 400)), 0);
    EXPECT_EQ(pc.picture_width(), 8000);
    EXPECT_EQ(pc.picture_height(), 6000);
    EXPECT_LE(pc.picture().width(), 420);
    EXPECT_GE(pc.picture().width(), 380);
    EXPECT_LE(channel_distance(pc.picture().pixel(100, 150), qRgb(255, 0, 0)), 6);
    EXPECT_LE(channel_distance(pc.picture().pixel(300, 150), qRgb(0, 0, 255)), 6);
    EXPECT_EQ(pc.set_file_name(path("big.wmf")), -7);

    // Whatever the placement, no more than a screen's worth is kept.
    picture_decode_limits().max_kept_pixels = 1000000;
    ASSERT_EQ(pc.set_file_name(path("big.png")), 0);
    EXPECT_EQ(pc.picture_width(), 3000);
    EXPECT_LE(std::int64_t(pc.picture().width()) * pc.picture().height(), 1000000);
    EXPECT_GE(pc.picture().width(), 1200);
    picture_decode_limits() = picture_limits{};

    // Beyond the pixel limit a photo is held reduced; other formats fail.
    picture_decode_limits().max_pixels = 1000000;
    ASSERT_EQ(pc.set_file_name(path("big.jpg")), 0);
    EXPECT_EQ(pc.picture_width(), 4000);
    EXPECT_EQ(pc.picture().size(), QSize(1000, 750));
    EXPECT_EQ(pc.set_file_name(path("big.png")), -7);
}

TEST_F(PictureControlTest, PaletteTypesLimitTheColours) {
    QImage rainbow(128, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) rainbow.setPixel(x, y, qRgb(x * 2, y * 4, 255 - x));
    PictureControl pc;
    pc.resize(128, 64);
    pc.set_palette(true, 1);
    pc.set_picture(rainbow);
    EXPECT_TRUE(pc.palette_on());
    EXPECT_EQ(pc.palette_type(), 1);
    const auto& table = standard_palette();
    const std::set<QRgb> standard(table.begin(), table.end());
    QImage face = pc.render_face();
    for (int y = 0; y < 64; y += 7)
        for (int x = 0; x < 128; x += 5) ASSERT_TRUE(standard.count(face.pixel(x, y) | 0xFF000000u)) << x << "," << y;

    pc.set_palette(true, 5);
    face = pc.render_face();
    std::set<QRgb> used;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) used.insert(face.pixel(x, y));
    EXPECT_LE(used.size(), 256u);
    EXPECT_GT(used.size(), 16u);

    pc.set_palette(false, 5);
    EXPECT_EQ(pc.render_face().pixel(100, 50), rainbow.pixel(100, 50));
}

// A JPEG whose Exif block says how the picture is turned (orientation 1-8):
// one big-endian directory entry, tag 0x0112.
QByteArray turned_jpeg(const QImage& img, int orientation) {
    QByteArray jpeg;
    QBuffer b(&jpeg);
    if (!b.open(QIODevice::WriteOnly) || !img.save(&b, "JPG", 100)) return {};
    const QByteArray app1("\xFF\xE1\0\x22" "Exif\0\0MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 29);
    return jpeg.left(2) + app1 + char(orientation) + QByteArray(6, '\0') + jpeg.mid(2);
}

TEST_F(PictureControlTest, ARegionDecodesAsThatPartOfTheWholePicture) {
    // Blocks of 16 pixels, each its own colour: a region taken from the
    // wrong place, or turned the wrong way, shows other colours.
    QImage blocks(128, 96, QImage::Format_RGB32);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x)
            blocks.setPixel(x, y, qRgb(x / 16 * 36, y / 16 * 50, (x / 16 + y / 16) % 3 * 120));
    std::vector<QString> files = {path("blocks.png"), path("blocks.pcx")};
    ASSERT_TRUE(write_qt(blocks, files[0], "png") && write_magick(blocks, files[1], "PCX"));
    for (int o = 1; o <= 8; ++o) {
        files.push_back(path(QStringLiteral("turned%1.jpg").arg(o)));
        ASSERT_TRUE(write_file(files.back(), turned_jpeg(blocks, o)));
    }
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const decoded_picture whole = decode_picture(file);
        const QRect region(16, 32, 48, 48);
        const decoded_picture part = decode_picture(file, QSize(), region);
        ASSERT_EQ(part.code, 0);
        EXPECT_EQ(part.natural_size, whole.natural_size);
        ASSERT_EQ(part.image.size(), region.size());
        for (int y = 8; y < 48; y += 16)
            for (int x = 8; x < 48; x += 16)
                EXPECT_LE(channel_distance(part.image.pixel(x, y), whole.image.pixel(region.topLeft() + QPoint(x, y))),
                          12);
    }
    EXPECT_EQ(decode_picture(files[7]).natural_size, QSize(96, 128));   // turned a quarter: upright
}

}  // namespace
}  // namespace lv
