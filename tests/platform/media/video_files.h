#pragma once
// A motion-JPEG AVI (ffmpeg's) made to state w x h in every picture's frame
// header from picture `from` on (counted from 0) and, when `container_too`,
// in its own headers (else it lies about its pictures); the picture data
// stays small.
#include <QByteArray>
#include <QtEndian>

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

}  // namespace lv::test
