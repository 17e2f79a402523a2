// Hostile picture files: a picture never starts a program, never opens or
// creates another file, never takes memory far beyond what it shows, and a
// FIFO named like a picture never blocks the decoder. Through the decoder
// program: a file is read no further than its picture needs, a limit reached
// leaves no core file, and the readers' warnings stay a few lines.
#include "platform/picture_decode.h"
#include "platform/picture_files.h"
#include "platform/picture_job.h"
#include "proc_status.h"

#include <Magick++.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lv {
namespace {

using namespace lv::test;

class PictureDecodeSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A Ghostscript first on the PATH that leaves a mark when it runs.
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("bin")));
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("tmp")));
        const QString gs = path(QStringLiteral("bin/gs"));
        ASSERT_TRUE(write_file(gs, ("#!/bin/sh\necho \"$@\" >> '" + marker().toUtf8() + "'\nexit 0\n")));
        ASSERT_EQ(::chmod(QFile::encodeName(gs).constData(), 0755), 0);
        old_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (QFile::encodeName(path(QStringLiteral("bin"))).toStdString() + ":" + old_path_).c_str(), 1);
        // Temporary files of nested reads would land here.
        ::setenv("MAGICK_TMPDIR", QFile::encodeName(temporary_folder()).constData(), 1);
        // The file that embedded SVG points at.
        ASSERT_TRUE(write_file(secret(), "lumivane-host\n"));
    }
    void TearDown() override {
        ::setenv("PATH", old_path_.c_str(), 1);
        ::unsetenv("MAGICK_TMPDIR");
        qunsetenv("LUMIVANE_DECODER");
        picture_decode_limits() = picture_limits{};
    }
    // As the player decodes: in the decoder program.
    static decoded_picture in_decoder(const QString& file, QSize box = QSize()) {
        qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
        const auto job = picture_job::start(file, box);
        qunsetenv("LUMIVANE_DECODER");
        EXPECT_TRUE(job->in_child());
        EXPECT_TRUE(job->wait(60000));
        return job->take();
    }
    // What this process and the decoders it starts write to stderr while
    // `run` runs.
    template <class F>
    QByteArray stderr_of(F run) {
        const QString log = path(QStringLiteral("stderr.log"));
        std::fflush(stderr);
        const int saved = ::dup(2);
        const int fd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_TRUE(saved >= 0 && fd >= 0);
        ::dup2(fd, 2);
        ::close(fd);
        run();
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no log)");
    }
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString marker() const { return dir_.filePath(QStringLiteral("gs-ran")); }
    QString secret() const { return dir_.filePath(QStringLiteral("hostname")); }
    QString temporary_folder() const { return path(QStringLiteral("tmp")); }

    QTemporaryDir dir_;
    std::string old_path_;
};

// Reports whether a file was opened (or, for a folder, a file created in
// it) between construction and opened().
class open_watch {
public:
    explicit open_watch(const QString& file, std::uint32_t events = IN_OPEN | IN_ACCESS) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0 && inotify_add_watch(fd_, QFile::encodeName(file).constData(), events) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~open_watch() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool valid() const { return fd_ >= 0; }
    bool opened() const {
        char buffer[4096];
        return ::read(fd_, buffer, sizeof buffer) > 0;
    }

private:
    int fd_ = -1;
};

QByteArray postscript() {
    return "%!PS-Adobe-3.0\n/f (/tmp/lumivane-owned) (w) file def f (owned) writestring f closefile\nshowpage\n";
}
QByteArray eps() {
    return "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\n0 0 moveto 10 10 lineto stroke\nshowpage\n";
}
QByteArray svg_pointing_at(const QString& file) {
    return "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"10\" height=\"10\">"
           "<image xlink:href=\"" + QFile::encodeName(file) + "\" width=\"10\" height=\"10\"/></svg>\n";
}
// The bodies of the records that carry PostScript: level 1 type 0x11 has an
// 8-byte header before it, type 0x1B a 60-byte one; level 2 type 0x12 starts
// with the size of its own header.
QByteArray ps_record(int type, const QByteArray& content) {
    if (type == 0x11) return wpg_record(0x11, QByteArray(8, '\0') + content);
    if (type == 0x1B) return wpg_record(0x1B, QByteArray(0x3C, '\0') + content);
    QByteArray body;
    put16(body, 2);
    return wpg_record(0x12, body + content, 2);
}

TEST_F(PictureDecodeSafetyTest, EmbeddedPostScriptAndSvgInWpgNeverRun) {
    struct hostile {
        const char* name;
        QByteArray file;
    };
    const QByteArray svg = svg_pointing_at(secret());
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        two_halves(8, 8).save(&b, "PNG");
    }
    const std::vector<hostile> files = {
        {"ps-l1.wpg", two_halves_wpg(40, 30, ps_record(0x11, postscript()))},
        {"ps-l2.wpg", two_halves_wpg(40, 30, ps_record(0x1B, postscript()))},
        {"eps-l1.wpg", two_halves_wpg(40, 30, ps_record(0x11, eps()))},
        {"eps-l2.wpg", two_halves_wpg(40, 30, ps_record(0x1B, eps()))},
        {"svg-l1.wpg", two_halves_wpg(40, 30, ps_record(0x11, svg))},
        {"svg-l2.wpg", two_halves_wpg(40, 30, ps_record(0x1B, svg))},
        {"png-l1.wpg", two_halves_wpg(40, 30, ps_record(0x11, png))},
        {"after.wpg", two_halves_wpg(40, 30) + ps_record(0x11, eps())},
        {"ps-wpg2.wpg", two_halves_wpg2(40, 30, ps_record(0x12, postscript()))},
        {"svg-wpg2.wpg", two_halves_wpg2(40, 30, ps_record(0x12, svg))},
        {"only-ps.wpg", wpg_file_header(1) + ps_record(0x11, eps())},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        QFile::remove(marker());
        const QString file = path(QString::fromLatin1(f.name));
        ASSERT_TRUE(write_file(file, f.file));
        open_watch watch(secret()), temporary(temporary_folder(), IN_CREATE);
        ASSERT_TRUE(watch.valid() && temporary.valid());
        const decoded_picture d = decode_picture(file);
        EXPECT_FALSE(QFile::exists(marker())) << "an external program ran";
        EXPECT_FALSE(watch.opened()) << "a file outside the picture was opened";
        EXPECT_FALSE(temporary.opened()) << "a temporary file was made";
        if (QByteArray(f.name).startsWith("only-")) {
            EXPECT_LT(d.code, 0);
            EXPECT_GE(d.code, -7);
            continue;
        }
        // The bitmap beside the refused record still shows.
        EXPECT_EQ(d.code, 0);
        if (d.image.size() != QSize(40, 30)) {
            ADD_FAILURE() << "the bitmap did not show";
            continue;
        }
        EXPECT_EQ(d.image.pixel(5, 15), qRgb(255, 0, 0));
        EXPECT_EQ(d.image.pixel(34, 15), qRgb(0, 0, 255));
    }
}

TEST_F(PictureDecodeSafetyTest, GraphicsMagickRunsNoDelegateAndOpensNoFileOnceRestricted) {
    // The restriction comes with the first picture GraphicsMagick decodes.
    ASSERT_TRUE(write_file(path(QStringLiteral("a.wpg")), two_halves_wpg(40, 30)));
    ASSERT_EQ(decode_picture(path(QStringLiteral("a.wpg"))).code, 0);

    open_watch watch(secret()), temporary(temporary_folder(), IN_CREATE);
    ASSERT_TRUE(watch.valid() && temporary.valid());
    const QByteArray svg = svg_pointing_at(secret());
    const std::vector<std::pair<std::string, QByteArray>> reads = {
        {"PS", postscript()}, {"EPS", eps()}, {"SVG", svg}, {"", eps()}, {"", svg}};
    for (const auto& [format, bytes] : reads) {
        SCOPED_TRACE(format);
        Magick::Image image;
        image.quiet(true);
        if (!format.empty()) image.magick(format);
        EXPECT_ANY_THROW(image.read(Magick::Blob(bytes.constData(), std::size_t(bytes.size()))));
    }
    // Nor does it open files by name.
    EXPECT_ANY_THROW(Magick::Image(QFile::encodeName(secret()).toStdString()));
    EXPECT_ANY_THROW(Magick::Image("TXT:" + QFile::encodeName(secret()).toStdString()));
    EXPECT_FALSE(QFile::exists(marker()));
    EXPECT_FALSE(watch.opened());
    EXPECT_FALSE(temporary.opened());
}

bool reset_peak_rss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear.flush());
}

TEST_F(PictureDecodeSafetyTest, ProgressiveJpegsAreWeighedByTheirWholeScanBuffer) {
    // A 16x16 progressive photo whose frame claims 31600 x 31600: under the
    // pixel limit, but its coefficient buffer would take about 6 GB.
    const QByteArray bomb = with_frame_size(progressive_jpeg(two_halves(16, 16)), 31600, 31600);
    ASSERT_FALSE(bomb.isEmpty());
    ASSERT_LT(bomb.size(), 1024);
    ASSERT_TRUE(write_file(path(QStringLiteral("bomb.jpg")), bomb));

    ASSERT_TRUE(reset_peak_rss());
    const std::int64_t before = lvtest::proc_status_bytes("VmRSS:");
    EXPECT_EQ(decode_picture(path(QStringLiteral("bomb.jpg")), QSize(1920, 1080)).code, -7);
    EXPECT_EQ(decode_picture(path(QStringLiteral("bomb.jpg"))).code, -7);
    const std::int64_t growth = lvtest::proc_status_bytes("VmHWM:") - before;
    EXPECT_LT(growth, 100LL << 20);

    // A sequential JPEG whose first scan holds one component of three needs
    // the same buffer (libjpeg-turbo's cjpeg writes one with a scan script).
    const QString script = path(QStringLiteral("scans.txt")), ppm = path(QStringLiteral("red.ppm"));
    ASSERT_TRUE(write_file(script, "0;\n1;\n2;\n"));
    ASSERT_TRUE(two_halves(16, 16).save(ppm, "PPM"));
    QProcess cjpeg;
    cjpeg.start(QStringLiteral("cjpeg"), {QStringLiteral("-scans"), script, ppm});
    ASSERT_TRUE(cjpeg.waitForFinished(60000) && cjpeg.exitCode() == 0) << "cjpeg (libjpeg-turbo-progs) is needed";
    QByteArray sequential = cjpeg.readAllStandardOutput();
    const int sof0 = int(sequential.indexOf(QByteArray("\xFF\xC0", 2)));
    ASSERT_GT(sof0, 0);
    sequential[sof0 + 5] = char(0x7B), sequential[sof0 + 6] = char(0x70);
    sequential[sof0 + 7] = char(0x7B), sequential[sof0 + 8] = char(0x70);
    ASSERT_TRUE(write_file(path(QStringLiteral("scans.jpg")), sequential));
    EXPECT_EQ(decode_picture(path(QStringLiteral("scans.jpg")), QSize(1920, 1080)).code, -7);

    // Real progressive photos still load, whole or reduced.
    const QImage src = two_halves(400, 300);
    ASSERT_TRUE(write_file(path(QStringLiteral("p.jpg")), progressive_jpeg(src)));
    decoded_picture d = decode_picture(path(QStringLiteral("p.jpg")));
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.image.size(), QSize(400, 300));
    EXPECT_LE(channel_distance(d.image.pixel(50, 150), qRgb(255, 0, 0)), 40);
    EXPECT_LE(channel_distance(d.image.pixel(350, 150), qRgb(0, 0, 255)), 40);
    d = decode_picture(path(QStringLiteral("p.jpg")), QSize(100, 75));
    ASSERT_EQ(d.code, 0);
    EXPECT_EQ(d.natural_size, QSize(400, 300));
    EXPECT_EQ(d.image.size(), QSize(100, 75));

    // The bound is the buffer, not the pixels: with room for the pixels but
    // not for 2 bytes a sample, the progressive file fails where the same
    // picture stored baseline loads.
    ASSERT_TRUE(write_qt(src, path(QStringLiteral("b.jpg")), "jpeg"));
    picture_decode_limits().max_bytes = 400 * 300 * 4 + 4096;
    EXPECT_EQ(decode_picture(path(QStringLiteral("p.jpg"))).code, -7);
    EXPECT_EQ(decode_picture(path(QStringLiteral("b.jpg"))).code, 0);
}

TEST_F(PictureDecodeSafetyTest, AFifoNamedLikeAPictureDoesNotBlock) {
    const QString fifo = path(QStringLiteral("still.jpg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto result = std::async(std::launch::async, [&fifo] { return decode_picture(fifo).code; });
    const bool finished = result.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!finished) {
        // Let the blocked open go, so the test can end.
        const int w = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (w >= 0) ::close(w);
    }
    ASSERT_TRUE(finished) << "decoding a FIFO blocked";
    EXPECT_EQ(result.get(), -1);
}

// Files far larger than their picture: trailing bytes are never read, and
// a picture that needs more than the limits allow fails as too large before
// its file is read, not as a memory error of the decoder.
TEST_F(PictureDecodeSafetyTest, AFileIsReadNoFurtherThanItsPictureNeeds) {
    const qint64 padded = 300LL << 20;   // beyond the decoder's whole data limit
    const QImage src = two_halves(64, 48);
    QByteArray raw_tga(18, '\0');   // uncompressed, no footer: Qt's reader refuses it
    raw_tga[2] = 2, raw_tga[12] = 64, raw_tga[14] = 48, raw_tga[16] = 32, raw_tga[17] = 0x28;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) raw_tga.append(x < 32 ? QByteArray("\0\0\xFF\xFF", 4) : QByteArray("\xFF\0\0\xFF", 4));
    struct sample {
        const char* name;
        QByteArray bytes;
    };
    const std::vector<sample> samples = {
        {"raw.tga", raw_tga}, {"rle.tga", rle_tga(64, 48, qRgb(0, 0, 255))}, {"packed.dib", packed_dib(src)},
        {"small.wmf", two_halves_wmf(64, 48)}};
    std::vector<QString> files;
    for (const sample& s : samples) files.push_back(path(QString::fromLatin1(s.name)));
    files.push_back(path(QStringLiteral("palette.pcx")));
    files.push_back(path(QStringLiteral("rle.pcx")));
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_TRUE(write_file(files[i], samples[i].bytes));
    ASSERT_TRUE(write_magick(src, files[4], "PCX", false, true));
    ASSERT_TRUE(write_magick(src, files[5], "PCX"));
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        // The picture alone, then padded by megabytes: the padding changes nothing.
        const decoded_picture plain = in_decoder(file);
        ASSERT_EQ(plain.code, 0);
        const bool metafile = file.endsWith(QLatin1String(".wmf"));
        ASSERT_TRUE(QFile::resize(file, QFileInfo(file).size() + (metafile ? (1 << 20) : padded)));
        const QByteArray said = stderr_of([&] {
            const decoded_picture d = in_decoder(file);
            ASSERT_EQ(d.code, 0);
            EXPECT_EQ(d.image, plain.image);
        });
        EXPECT_FALSE(said.contains("bad_alloc")) << said.left(400).toStdString();
    }
    // In this process too, the padding is never read.
    ASSERT_TRUE(reset_peak_rss());
    const std::int64_t before = lvtest::proc_status_bytes("VmRSS:");
    EXPECT_EQ(decode_picture(files[4]).code, 0);
    EXPECT_EQ(decode_picture(files[2]).code, 0);
    EXPECT_LT(lvtest::proc_status_bytes("VmHWM:") - before, 64LL << 20);

    // A PCX whose header claims 6000 x 6000 in a file of that size, and a
    // metafile far larger than any picture: too large, unread.
    QFile pcx(files[5]);
    ASSERT_TRUE(pcx.open(QIODevice::ReadWrite));
    QByteArray head = pcx.read(128);
    head[8] = char(6000 & 0xFF), head[9] = char(6000 >> 8), head[10] = head[8], head[11] = head[9];
    head[66] = head[8], head[67] = head[9];
    pcx.seek(0);
    ASSERT_EQ(pcx.write(head), 128);
    pcx.close();
    ASSERT_TRUE(QFile::resize(files[3], padded));
    for (const QString& file : {files[5], files[3]}) {
        SCOPED_TRACE(file.toStdString());
        const QByteArray said = stderr_of([&] { EXPECT_EQ(in_decoder(file).code, -7); });
        EXPECT_FALSE(said.contains("bad_alloc")) << said.left(400).toStdString();
        ASSERT_TRUE(reset_peak_rss());
        const std::int64_t at = lvtest::proc_status_bytes("VmRSS:");
        EXPECT_EQ(decode_picture(file).code, -7);
        EXPECT_LT(lvtest::proc_status_bytes("VmHWM:") - at, 64LL << 20);
    }
}

// The decoder's ends are expected ones: its time limit, its memory limit,
// a reader that crashes on a file. None leaves a core file where the player
// runs, GraphicsMagick's signal handlers or not.
TEST_F(PictureDecodeSafetyTest, ADecoderThatEndsOnALimitOrASignalLeavesNoCoreFile) {
    rlimit core{};
    ASSERT_EQ(::getrlimit(RLIMIT_CORE, &core), 0);
    const rlimit allowed{core.rlim_max, core.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_CORE, &allowed), 0);
    const QString work = path(QStringLiteral("cwd")), home = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(work) && QDir::setCurrent(work));

    // A metafile that draws for long, and a PNG that Qt decodes for most of a second.
    const QString slow = path(QStringLiteral("slow.wmf")), png = path(QStringLiteral("large.png"));
    ASSERT_TRUE(write_file(slow, filled_wmf(3000, 3000, 100)));
    QProcess gm;
    gm.start(QStringLiteral("gm"), {QStringLiteral("convert"), QStringLiteral("-size"), QStringLiteral("7000x7000"),
                                    QStringLiteral("xc:red"), QStringLiteral("-depth"), QStringLiteral("8"),
                                    QStringLiteral("PNG24:") + png});
    ASSERT_TRUE(gm.waitForFinished(60000) && gm.exitCode() == 0);
    const std::pair<QString, int> ends[] = {{slow, SIGABRT}, {png, SIGXCPU}, {png, SIGSEGV}};
    for (const auto& [file, signal] : ends) {
        SCOPED_TRACE(signal);
        open_watch opened(file, IN_OPEN);
        ASSERT_TRUE(opened.valid());
        qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
        const auto job = picture_job::start(file, QSize(320, 240));
        qunsetenv("LUMIVANE_DECODER");
        // Once it reads the file it is past its own set-up.
        for (int i = 0; i < 2000 && !opened.opened(); ++i) job->wait(5);
        const auto decoders = lvtest::living_children(::getpid(), "lumivane-decode");
        ASSERT_EQ(decoders.size(), 1u);
        ::kill(pid_t(decoders[0]), signal);
        ASSERT_TRUE(job->wait(30000));
        EXPECT_LT(job->take().code, 0);
    }
    picture_decode_limits().max_decode_ms = 300;
    EXPECT_EQ(in_decoder(slow).code, -6);
    picture_decode_limits() = picture_limits{};
    // Its data limit, reached once the 36 MB of a run-length TGA are read and
    // copied for GraphicsMagick: a memory error, reported as one.
    const QString tga = path(QStringLiteral("packets.tga"));
    QByteArray packets(18, '\0');
    packets[2] = 10, packets[12] = char(3000 & 0xFF), packets[13] = char(3000 >> 8);
    packets[14] = packets[12], packets[15] = packets[13], packets[16] = 24, packets[17] = 0x20;
    packets.append(QByteArray(3000LL * 3000 * 4, '\0'));   // packets of one pixel
    ASSERT_TRUE(write_file(tga, packets));
    packets.clear();
    picture_decode_limits().process_bytes = 90LL << 20;
    const QByteArray said = stderr_of([&] { EXPECT_EQ(in_decoder(tga).code, -3); });
    EXPECT_FALSE(said.contains("terminate")) << said.toStdString();
    picture_decode_limits() = picture_limits{};

    const QStringList left = QDir(work).entryList(QDir::Files);
    QDir::setCurrent(home);
    ::setrlimit(RLIMIT_CORE, &core);
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
}

// Pictures whose every chunk or record makes a reader complain: a PNG of
// 200,000 text chunks with bad checksums (libpng warns through Qt), and a
// metafile of 100,000 cut polygon records (libwmf writes to stderr itself).
// What reaches stderr stays a few lines a picture, in the decoder and, for
// the messages that pass through Qt, in this process.
TEST_F(PictureDecodeSafetyTest, WhatTheReadersSayAboutOnePictureStaysAFewLines) {
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        two_halves(40, 30).save(&b, "PNG");
    }
    const qsizetype after_header = 8 + 25;
    ASSERT_EQ(png.mid(12, 4), QByteArray("IHDR"));
    QByteArray chunks;
    const QByteArray chunk("\0\0\0\x03tEXta\0b\0\0\0\0", 15);
    chunks.reserve(chunk.size() * 200000);
    for (int i = 0; i < 200000; ++i) chunks += chunk;
    const QString file = path(QStringLiteral("chatty.png")), wmf = path(QStringLiteral("chatty.wmf"));
    ASSERT_TRUE(write_file(file, png.left(after_header) + chunks + png.mid(after_header)));
    chunks.clear();
    wmf_records cut;
    for (int i = 0; i < 100000; ++i) cut.add(0x0324, {60000, 0, 0});   // a polygon of 60,000 points, without them
    ASSERT_TRUE(write_file(wmf, cut.file(100, 100, 1)));

    const auto lines = [](const QByteArray& text) { return text.count('\n'); };
    const std::pair<QString, QSize> decodes[] = {{file, QSize()}, {file, QSize(20, 15)}, {wmf, QSize()}};
    for (const auto& [picture, box] : decodes) {
        SCOPED_TRACE(picture.toStdString());
        const QByteArray said = stderr_of([&] { EXPECT_EQ(in_decoder(picture, box).code, picture == wmf ? -6 : 0); });
        EXPECT_GE(lines(said), 1);
        EXPECT_LE(lines(said), 11) << said.left(2000).toStdString();
    }
    // In this process the count is per picture: the next one warns again.
    for (int round = 0; round < 2; ++round) {
        const QByteArray said = stderr_of([&] {
            const decoded_picture d = decode_picture(file);
            ASSERT_EQ(d.code, 0);
            EXPECT_EQ(d.image.pixel(5, 15), qRgb(255, 0, 0));
        });
        EXPECT_GE(lines(said), 1);
        EXPECT_LE(lines(said), 6) << said.left(2000).toStdString();
    }
}

}  // namespace
}  // namespace lv
