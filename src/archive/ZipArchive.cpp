#include "archive/ZipArchive.h"

#include <libdeflate.h>

quint32 ZipArchive::crc32(QByteArrayView bytes)
{
    return crc32(bytes, 0);
}

quint32 ZipArchive::crc32(QByteArrayView bytes, quint32 previous)
{
    if (bytes.isEmpty())
        return previous;
    return libdeflate_crc32(previous, bytes.data(), size_t(bytes.size()));
}

QByteArray ZipArchive::sharedSlice(const QByteArray &owner, qsizetype offset, qsizetype length)
{
    Q_ASSERT(offset >= 0 && length >= 0 && offset + length <= owner.size());
    if (length == 0)
        return QByteArray();
    QByteArray holder = owner; // shares, does not copy
    QByteArray::DataPointer &pointer = holder.data_ptr();
    QArrayData *header = pointer.d_ptr();
    if (!header)
        return QByteArray(owner.constData() + offset, length);
    // The slice takes a reference of its own on the shared block; any change
    // to it detaches as for any other shared QByteArray.
    header->ref();
    QByteArray::DataPointer slice(static_cast<QTypedArrayData<char> *>(header),
                                  const_cast<char *>(owner.constData()) + offset, length);
    return QByteArray(std::move(slice));
}
