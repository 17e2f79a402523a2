// A picture decoded ahead on a worker thread: the next load of the same file
// and box takes it, anything else decodes as before, and a control that goes
// away while the worker runs leaves nothing behind. Through the decoder
// program, a decode nobody waits for any more stops with its process.
#include "platform/controls/picture_control.h"
#include "platform/picture/picture_decode.h"
#include "platform/picture/picture_files.h"
#include "proc_status.h"
#include "qt_wait.h"

#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace lv {
namespace {

class Predecode : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone();
        picture_decode_limits() = picture_limits{};
        qunsetenv("LUMIVANE_DECODER");
    }

    QString save(const QString& name, QColor c, QSize size = QSize(320, 240), const char* format = "PNG") {
        QImage img(size, QImage::Format_RGB32);
        img.fill(c);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(img.save(path, format));
        return path;
    }
    static QColor centre(const PictureControl& pc) {
        const QImage& img = pc.picture();
        return img.isNull() ? QColor() : img.pixelColor(img.width() / 2, img.height() / 2);
    }
    static void finish_workers() { QThreadPool::globalInstance()->waitForDone(); }

    QTemporaryDir dir;
};

TEST_F(Predecode, TheNextLoadOfThatFileTakesTheEarlyDecodeOnce) {
    const QString path = save(QStringLiteral("a.png"), Qt::green);
    PictureControl pc;
    pc.predecode(path);
    finish_workers();
    // The file changes after the early decode: the next load shows what was
    // decoded ahead (proof that it was taken), the one after that decodes anew.
    save(QStringLiteral("a.png"), Qt::red);
    EXPECT_EQ(pc.set_file_name(path), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::green));
    EXPECT_EQ(pc.picture_width(), 320);
    EXPECT_EQ(pc.set_file_name(path), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::red));
}

TEST_F(Predecode, AnotherFileOrAnotherBoxDecodesAsUsual) {
    const QString a = save(QStringLiteral("a.png"), Qt::green);
    const QString b = save(QStringLiteral("b.png"), Qt::blue);
    PictureControl pc;
    pc.predecode(a);
    EXPECT_EQ(pc.set_file_name(b), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::blue));
    // The early decode of a is dropped, not kept for a later load of a.
    finish_workers();
    save(QStringLiteral("a.png"), Qt::red);
    EXPECT_EQ(pc.set_file_name(a), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::red));

    // Decoded ahead for a stretched box, loaded at natural size: decoded again.
    const QString big = save(QStringLiteral("big.jpg"), Qt::green, QSize(3000, 2000), "JPG");
    pc.predecode(big, QSize(300, 200));
    finish_workers();
    save(QStringLiteral("big.jpg"), Qt::blue, QSize(3000, 2000), "JPG");
    EXPECT_EQ(pc.set_file_name(big), 0);
    EXPECT_LT(centre(pc).green(), 60);
    EXPECT_GT(centre(pc).blue(), 200);
    EXPECT_EQ(pc.picture().size(), QSize(3000, 2000));
}

TEST_F(Predecode, AFailedEarlyDecodeIsTriedAgainAndAFailureStillReportsItsCode) {
    const QString late = dir.filePath(QStringLiteral("late.png"));
    PictureControl pc;
    pc.predecode(late);   // not there yet
    finish_workers();
    save(QStringLiteral("late.png"), Qt::green);
    EXPECT_EQ(pc.set_file_name(late), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::green));

    const QString missing = dir.filePath(QStringLiteral("missing.png"));
    pc.predecode(missing);
    EXPECT_EQ(pc.set_file_name(missing), -1);
    EXPECT_TRUE(pc.picture().isNull());
}

TEST_F(Predecode, TheLoadWaitsForARunningWorkerAndAControlMayGoFirst) {
    const QString big = save(QStringLiteral("big.jpg"), Qt::green, QSize(4000, 3000), "JPG");
    {
        PictureControl pc;
        pc.predecode(big, QSize(800, 600));
        // Straight away, while the worker most likely still decodes.
        EXPECT_EQ(pc.set_file_name(big, QSize(800, 600)), 0);
        EXPECT_EQ(pc.picture_width(), 4000);
        EXPECT_GT(centre(pc).green(), 200);
    }
    for (int i = 0; i < 8; ++i) {
        auto* pc = new PictureControl;
        pc->predecode(big, i % 2 ? QSize(800, 600) : QSize());
        delete pc;   // gone before its worker ends
    }
    finish_workers();
    PictureControl again;
    again.predecode(big);
    again.predecode(QString());   // a later call replaces the earlier one
    finish_workers();
    save(QStringLiteral("big.jpg"), Qt::blue, QSize(4000, 3000), "JPG");
    EXPECT_EQ(again.set_file_name(big), 0);
    EXPECT_GT(centre(again).blue(), 200);
}

TEST_F(Predecode, AnEarlyDecodeCollectedPastItsTimeLimitIsStillTaken) {
    qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
    const QString path = save(QStringLiteral("a.png"), Qt::green);
    picture_decode_limits().max_decode_ms = 300;
    PictureControl pc;
    pc.predecode(path);
    // The window goes on with other things, far past the decode's time
    // limit, before the load comes; the decoder is done with meanwhile.
    QElapsedTimer busy;
    busy.start();
    test::wait_for([&busy] { return busy.elapsed() > 2000; });
    EXPECT_TRUE(lvtest::living_children(::getpid(), "lumivane-decode").empty());
    save(QStringLiteral("a.png"), Qt::red);
    EXPECT_EQ(pc.set_file_name(path), 0);
    EXPECT_EQ(centre(pc), QColor(Qt::green));
}

TEST_F(Predecode, ADecodeNobodyWaitsForStopsWithItsProcess) {
    qputenv("LUMIVANE_DECODER", LUMIVANE_DECODER_BIN);
    // A metafile drawn whole takes far longer than any test waits.
    const QString slow = dir.filePath(QStringLiteral("slow.wmf"));
    ASSERT_TRUE(test::write_file(slow, test::filled_wmf(3000, 3000, 100)));
    const QString a = save(QStringLiteral("a.png"), Qt::green);
    auto decoders = [] { return lvtest::living_children(::getpid(), "lumivane-decode"); };

    // Past its time it fails as unreadable.
    picture_decode_limits().max_decode_ms = 300;
    PictureControl pc;
    EXPECT_EQ(pc.set_file_name(slow), -6);
    EXPECT_TRUE(decoders().empty());
    picture_decode_limits() = picture_limits{};

    // The wait serves events, and gives up as soon as it is told to.
    bool give_up = false;
    pc.set_abandon_check([&give_up] { return give_up; });
    QTimer::singleShot(200, [&give_up] { give_up = true; });
    EXPECT_EQ(pc.set_file_name(slow), PictureControl::load_abandoned);
    EXPECT_TRUE(pc.picture().isNull());
    EXPECT_TRUE(decoders().empty());
    give_up = false;

    // A load that comes during the wait takes the control over.
    QTimer::singleShot(200, [&pc, &a] { pc.set_file_name(a); });
    pc.set_file_name(slow);
    EXPECT_EQ(pc.file_name(), a);
    EXPECT_EQ(centre(pc), QColor(Qt::green));
    EXPECT_TRUE(decoders().empty());

    // An early decode that the next load does not take.
    pc.predecode(slow);
    EXPECT_EQ(decoders().size(), 1u);
    EXPECT_EQ(pc.set_file_name(a), 0);
    EXPECT_TRUE(decoders().empty());

    // A control deleted while it waits.
    auto* doomed = new PictureControl;
    doomed->set_abandon_check([] { return false; });
    QTimer::singleShot(200, [doomed] { delete doomed; });
    EXPECT_EQ(doomed->set_file_name(slow), PictureControl::load_abandoned);
    EXPECT_TRUE(decoders().empty());

    // A decoder that sends a picture larger than the player keeps is not
    // believed.
    const QString liar = dir.filePath(QStringLiteral("liar.sh"));
    ASSERT_TRUE(test::write_file(liar, "#!/bin/sh\nprintf 'LVD2\\0\\0\\0\\0"
                                       "\\144\\0\\0\\0\\144\\0\\0\\0\\144\\0\\0\\0\\144\\0\\0\\0"
                                       "\\0\\0\\0\\0\\0\\0\\0\\0"
                                       "\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0\\0'\n"
                                       "head -c 40000 /dev/zero\n"));
    ASSERT_TRUE(QFile::setPermissions(liar, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("LUMIVANE_DECODER", QFile::encodeName(liar));
    EXPECT_EQ(pc.set_file_name(a), 0);   // 100 x 100
    picture_decode_limits().max_kept_pixels = 5000;
    EXPECT_EQ(pc.set_file_name(a), -6);
}

}  // namespace
}  // namespace lv
