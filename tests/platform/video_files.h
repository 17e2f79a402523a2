#pragma once
// Motion-JPEG AVI files whose pictures state a size of our choosing, made
// from a small one: the sizes are rewritten, the picture data stays small,
// so a decoder that trusts them sets up pictures of the full size.
#include <QByteArray>
#include <QtEndian>

#include <algorithm>

namespace lv::test {

// Writes w x h into the frame header of every JPEG picture of the file and,
// when `container_too`, into its main and stream headers as well; otherwise
// the container keeps its own size and lies about its pictures.
// An empty array when the file is not an AVI with pictures.
inline QByteArray with_video_frame_size(QByteArray avi, int w, int h, bool container_too) {
    const qsizetype avih = avi.indexOf("avih"), strh = avi.indexOf("strh"), strf = avi.indexOf("strf"),
                    movi = avi.indexOf("movi");
    if (avih < 0 || strh < 0 || strf < 0 || movi < 0) return {};
    char* d = avi.data();
    if (container_too) {
        qToLittleEndian<qint32>(w, d + avih + 8 + 32);   // dwWidth, dwHeight
        qToLittleEndian<qint32>(h, d + avih + 8 + 36);
        qToLittleEndian<qint16>(qint16(std::min(w, 32767)), d + strh + 8 + 52);   // rcFrame right, bottom
        qToLittleEndian<qint16>(qint16(std::min(h, 32767)), d + strh + 8 + 54);
        qToLittleEndian<qint32>(w, d + strf + 8 + 4);    // biWidth, biHeight
        qToLittleEndian<qint32>(h, d + strf + 8 + 8);
    }
    int pictures = 0;
    for (qsizetype at = avi.indexOf("\xFF\xC0", movi); at >= 0; at = avi.indexOf("\xFF\xC0", at + 2), ++pictures) {
        qToBigEndian<quint16>(quint16(h), d + at + 5);
        qToBigEndian<quint16>(quint16(w), d + at + 7);
    }
    return pictures > 0 ? avi : QByteArray();
}

}  // namespace lv::test
