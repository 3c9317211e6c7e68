#pragma once

#include <QByteArray>
#include <QByteArrayView>

// What the zip reader and writer share.
struct ZipArchive {
    // The zip CRC-32 (CRC-32/ISO-HDLC, as zip and gzip use it). Empty input
    // gives 0.
    static quint32 crc32(QByteArrayView bytes);
    // Continues a CRC-32: crc32(a + b) == crc32(b, crc32(a)).
    static quint32 crc32(QByteArrayView bytes, quint32 previous);

    // Bytes `length` long starting at `offset` of `owner`, sharing owner's
    // buffer instead of copying it: the slice keeps the buffer alive, so it
    // stays valid after `owner` is gone. Falls back to a copy when `owner`
    // does not own its bytes (QByteArray::fromRawData).
    // An uninitialised buffer of `size` bytes; a large one is backed by huge
    // pages where the system offers them, which makes its first filling,
    // when the memory is actually handed out, several times cheaper.
    static QByteArray largeBuffer(qsizetype size);

    static QByteArray sharedSlice(const QByteArray &owner, qsizetype offset, qsizetype length);
};
