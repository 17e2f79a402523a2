// libFuzzer target over picture decoding: the format sniffing, the JPEG scan
// check, the WPG record filter and the GraphicsMagick path with its coder
// restriction, as the picture control reaches them (through a file on disk).
//
// Input: one byte choosing the file's extension (weak signatures such as
// TGA, packed DIB and PICT count only with a matching name), then the file.
#include "platform/picture/picture_decode.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::array<const char*, 14> extensions = {"jpg", "bmp", "dib", "rle", "gif", "png", "tif",
                                                    "tga", "pcx", "wmf", "wpg", "pic", "kqp", "jif"};

// The folder of the input file, under $TMPDIR, removed at a normal exit
// (kept as plain bytes, which outlive every object destroyed at exit).
char work_dir[4096];

void remove_work_dir() { QDir(QString::fromLocal8Bit(work_dir)).removeRecursively(); }

QString work_file(const char* extension) {
    if (!work_dir[0]) {
        const QString base = QDir::tempPath() + QStringLiteral("/lumivane-picture-fuzz-%1").arg(::getpid());
        QDir().mkpath(base);
        const QByteArray local = base.toLocal8Bit();
        if (local.size() >= qsizetype(sizeof work_dir)) std::abort();
        std::memcpy(work_dir, local.constData(), std::size_t(local.size()) + 1);
        std::atexit(remove_work_dir);
    }
    return QString::fromLocal8Bit(work_dir) + QStringLiteral("/input.") + QLatin1String(extension);
}

void decode(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    const char* extension = extensions[data[0] % extensions.size()];
    const QString path = work_file(extension);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1));
    }
    // Both ways the player asks: whole, and fitted to a window.
    lv::decoded_picture whole = lv::decode_picture(path);
    if (whole.code >= 0 && whole.image.isNull()) std::abort();   // success must bring a picture
    if (whole.code < -7) std::abort();
    lv::decoded_picture fitted = lv::decode_picture(path, QSize(320, 240));
    if (fitted.code >= 0 && !fitted.image.isNull()) {
        QImage copy = fitted.image;
        lv::apply_palette(copy, 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Keep each input cheap and inside the fuzzer's memory limit.
    lv::picture_limits& l = lv::picture_decode_limits();
    l.max_file_bytes = 1 << 20;
    l.max_side = 4096;
    l.max_pixels = 4000000;
    l.max_bytes = 64LL << 20;
    // Load Qt's image plugins and GraphicsMagick once, so that their one-time
    // allocations are not taken for leaks of the first input.
    const std::uint8_t warm[] = {10, 0xFF, 'W', 'P', 'C', 16, 0, 0, 0, 1, 0x16, 1, 0, 0, 0, 0, 0};
    decode(warm, sizeof warm);
    const std::uint8_t jpeg[] = {0, 0xFF, 0xD8, 0xFF, 0xD9};
    decode(jpeg, sizeof jpeg);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decode(data, size);
    return 0;
}
