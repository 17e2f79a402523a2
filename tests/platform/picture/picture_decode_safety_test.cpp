// Hostile picture files: a picture never starts a program, never opens or
// creates another file, never takes memory far beyond what it shows, and a
// FIFO named like a picture never blocks the decoder. Through the decoder
// program: a file is read no further than its picture needs, a limit reached
// leaves no core file, and the readers' warnings stay a few lines.
#include "platform/picture/picture_decode.h"
#include "platform/picture/picture_files.h"
#include "platform/picture/picture_job.h"
#include "proc_status.h"

#include <Magick++.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
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
    static std::shared_ptr<picture_job> start_in_decoder(const QString& file) {
        qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
        auto job = picture_job::start(file);
        qunsetenv("LUMIVANE_DECODER");
        EXPECT_TRUE(job->in_child());
        return job;
    }
    static decoded_picture in_decoder(const QString& file) {
        const auto job = start_in_decoder(file);
        EXPECT_TRUE(job->wait(60000));
        return job->take();
    }
    // What this process and its decoders write to stderr meanwhile.
    template <class F>
    QByteArray stderr_of(F run) {
        const QString log = path(QStringLiteral("stderr.log"));
        std::fflush(stderr);
        const int saved = ::dup(2), fd = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 2), ::close(fd);
        run();
        std::fflush(stderr);
        ::dup2(saved, 2), ::close(saved);
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
    // picture stored baseline loads. Colour stored at a quarter of the
    // pixels (as photos mostly are) takes 1.5 samples a pixel, not 3: that
    // file still loads, reduced to fit beside its buffer.
    ASSERT_TRUE(write_qt(src, path(QStringLiteral("b.jpg")), "jpeg"));
    ASSERT_TRUE(write_file(path(QStringLiteral("full.jpg")), with_frame_size(progressive_jpeg(src), 400, 300, true)));
    picture_decode_limits().max_bytes = 400 * 300 * 4 + 4096;
    EXPECT_EQ(decode_picture(path(QStringLiteral("full.jpg"))).code, -7);
    EXPECT_EQ(decode_picture(path(QStringLiteral("b.jpg"))).code, 0);
    d = decode_picture(path(QStringLiteral("p.jpg")));
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.natural_size, QSize(400, 300));
    EXPECT_LT(d.image.width(), 400);
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

// Files far larger than their picture, beyond the decoder's data limit: the
// rest is never read, and a picture that needs more than the limits allow
// fails as too large unread.
TEST_F(PictureDecodeSafetyTest, AFileIsReadNoFurtherThanItsPictureNeeds) {
    const qint64 padded = 300LL << 20;
    const QString pcx = path(QStringLiteral("a.pcx")), dib = path(QStringLiteral("a.dib")),
                  wmf = path(QStringLiteral("a.wmf"));
    ASSERT_TRUE(write_magick(two_halves(64, 48), pcx, "PCX", false, true) &&
                write_file(dib, packed_dib(two_halves(64, 48))) && write_file(wmf, two_halves_wmf(64, 48)));
    for (const QString& file : {pcx, dib}) {
        const decoded_picture plain = in_decoder(file);
        ASSERT_TRUE(plain.code == 0 && QFile::resize(file, padded));
        const decoded_picture d = in_decoder(file);
        EXPECT_EQ(d.code, 0);
        EXPECT_EQ(d.image, plain.image);
    }
    // The PCX header now claims 6000 x 6000; the metafile outgrows any picture.
    QFile header(pcx);
    ASSERT_TRUE(header.open(QIODevice::ReadWrite) && header.seek(8) && header.write("\x70\x17\x70\x17", 4) == 4 &&
                header.seek(66) && header.write("\x70\x17", 2) == 2);
    header.close();
    ASSERT_TRUE(QFile::resize(wmf, padded));
    EXPECT_EQ(in_decoder(pcx).code, -7);
    EXPECT_EQ(in_decoder(wmf).code, -7);
}

// A decoder that crashes or reaches a limit leaves no core file where the
// player runs, and running out of memory is a memory error, not an abort.
TEST_F(PictureDecodeSafetyTest, ADecoderThatEndsOnALimitOrASignalLeavesNoCoreFile) {
    rlimit core{};
    ASSERT_EQ(::getrlimit(RLIMIT_CORE, &core), 0);
    const rlimit allowed{core.rlim_max, core.rlim_max};
    const QString work = path(QStringLiteral("cwd")), home = QDir::currentPath();
    ASSERT_TRUE(::setrlimit(RLIMIT_CORE, &allowed) == 0 && QDir().mkpath(work) && QDir::setCurrent(work));

    const QString slow = path(QStringLiteral("slow.wmf")), tga = path(QStringLiteral("packets.tga"));
    ASSERT_TRUE(write_file(slow, filled_wmf(3000, 3000, 100)));
    open_watch opened(slow, IN_OPEN);
    const auto job = start_in_decoder(slow);
    for (int i = 0; i < 2000 && !opened.opened(); ++i) job->wait(5);   // past its set-up
    const auto decoders = lvtest::living_children(::getpid(), "lumivane-decode");
    ASSERT_EQ(decoders.size(), 1u);
    ::kill(pid_t(decoders[0]), SIGABRT);
    ASSERT_TRUE(job->wait(30000));
    EXPECT_EQ(job->take().code, -3);
    // 36 MB of one-pixel packets, read and copied for GraphicsMagick.
    const QByteArray packets("\0\0\x0A\0\0\0\0\0\0\0\0\0\xB8\x0B\xB8\x0B\x18\x20", 18);
    ASSERT_TRUE(write_file(tga, packets + QByteArray(3000LL * 3000 * 4, '\0')));
    picture_decode_limits().process_bytes = 90LL << 20;
    const QByteArray said = stderr_of([&] { EXPECT_EQ(in_decoder(tga).code, -3); });
    EXPECT_FALSE(said.contains("terminate")) << said.toStdString();

    const QStringList left = QDir(work).entryList(QDir::Files);
    QDir::setCurrent(home);
    ::setrlimit(RLIMIT_CORE, &core);
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
}

// A PNG of 200,000 text chunks with bad checksums (libpng warns through Qt)
// and a metafile of 100,000 cut records (libwmf writes to stderr itself):
// a few lines a picture on stderr, in the decoder and, for Qt's, here.
TEST_F(PictureDecodeSafetyTest, WhatTheReadersSayAboutOnePictureStaysAFewLines) {
    QByteArray png;
    QBuffer b(&png);
    ASSERT_TRUE(b.open(QIODevice::WriteOnly) && two_halves(40, 30).save(&b, "PNG"));
    const QByteArray bad_text("\0\0\0\x03tEXta\0b\0\0\0\0", 15);
    const QString chatty = path(QStringLiteral("chatty.png")), wmf = path(QStringLiteral("chatty.wmf"));
    ASSERT_TRUE(write_file(chatty, png.left(8 + 25) + bad_text.repeated(200000) + png.mid(8 + 25)));
    wmf_records cut;
    for (int i = 0; i < 100000; ++i) cut.add(0x0324, {60000, 0, 0});   // 60,000 points, none there
    ASSERT_TRUE(write_file(wmf, cut.file(100, 100, 1)));

    for (const auto& [file, code] : {std::pair{chatty, 0}, std::pair{wmf, -6}}) {
        const QByteArray said = stderr_of([&] { EXPECT_EQ(in_decoder(file).code, code); });
        EXPECT_TRUE(said.count('\n') >= 1 && said.count('\n') <= 11) << said.left(2000).toStdString();
    }
    const QByteArray said = stderr_of([&] { EXPECT_EQ(decode_picture(chatty).code, 0); });
    EXPECT_TRUE(said.count('\n') >= 1 && said.count('\n') <= 6) << said.left(2000).toStdString();
}

}  // namespace
}  // namespace lv
