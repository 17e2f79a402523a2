#pragma once
// A motion-JPEG AVI (ffmpeg's) made to state w x h in every picture's frame
// header from picture `from` on (counted from 0) and, when `container_too`,
// in its own headers (else it lies about its pictures); the picture data
// stays small.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QtEndian>

#include "platform/picture/picture_files.h"

namespace lv::test {

inline QByteArray with_video_frame_size(QByteArray avi, int w, int h, bool container_too, int from = 0) {
    char* d = avi.data();
    for (const auto& [chunk, at] : {std::pair{"avih", 40}, std::pair{"strf", 12}}) {   // width, height
        if (!container_too) break;
        qToLittleEndian<qint32>(w, d + avi.indexOf(chunk) + at);
        qToLittleEndian<qint32>(h, d + avi.indexOf(chunk) + at + 4);
    }
    int picture = 0;
    for (qsizetype at = avi.indexOf("\xFF\xC0", avi.indexOf("movi")); at >= 0; at = avi.indexOf("\xFF\xC0", at + 2)) {
        if (picture++ < from) continue;
        qToBigEndian<quint16>(quint16(h), d + at + 5);
        qToBigEndian<quint16>(quint16(w), d + at + 7);
    }
    return avi;
}

// ffmpeg, quiet and overwriting, on three threads at most.
inline bool ffmpeg(QStringList args, int wait_ms) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-loglevel", "error", "-y", "-threads", "3"} + args);
    return p.waitForFinished(wait_ms) && p.exitCode() == 0;
}

inline QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Videos whose pictures are, or turn, larger than a video may have, written
// into dir under these names.
inline const char* const huge_video = "huge.avi";             // 16000 x 16000 in the container and every picture
inline const char* const turns_huge_video = "turns-huge.avi"; // 160 x 120; its pictures say 16000 x 16000 from the 11th
inline const char* const turns_8k_video = "turns-8k.mpg";     // MPEG-TS 320 x 240, then H.264 8192 x 8192
inline const char* const square_4k_video = "4k-square.mpg";   // H.264 4096 x 4096

inline bool make_hostile_videos(const QDir& dir, int wait_ms) {
    const QString mjpeg = dir.filePath(QStringLiteral("mjpeg.avi")), small = dir.filePath(QStringLiteral("small.ts")),
                  large = dir.filePath(QStringLiteral("large.ts"));
    auto h264 = [&](const char* size, const char* seconds, const QString& out) {
        return ffmpeg({"-f", "lavfi", "-i", QStringLiteral("testsrc=s=%1:r=5").arg(QLatin1String(size)), "-t", seconds,
                       "-c:v", "libx264", "-preset", "ultrafast", "-f", "mpegts", out},
                      wait_ms);
    };
    return ffmpeg({"-f", "lavfi", "-i", "testsrc=s=160x120:r=25", "-t", "3", "-c:v", "mjpeg", mjpeg}, wait_ms) &&
           ffmpeg({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25", "-t", "2", "-c:v", "libx264", "-preset", "ultrafast",
                   "-f", "mpegts", small},
                  wait_ms) &&
           h264("8192x8192", "1", large) && h264("4096x4096", "1", dir.filePath(square_4k_video)) &&
           write_file(dir.filePath(huge_video), with_video_frame_size(file_bytes(mjpeg), 16000, 16000, true)) &&
           write_file(dir.filePath(turns_huge_video), with_video_frame_size(file_bytes(mjpeg), 16000, 16000, false, 10)) &&
           write_file(dir.filePath(turns_8k_video), file_bytes(small) + file_bytes(large));
}

}  // namespace lv::test
