#include "archive/ZipArchive.h"

#include <libdeflate.h>

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

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

QByteArray ZipArchive::largeBuffer(qsizetype size)
{
    QByteArray buffer(size, Qt::Uninitialized);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t hugePage = 2 << 20;
    if (size >= qsizetype(4 * hugePage)) {
        const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
        const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1);
        const std::uintptr_t last = (start + std::uintptr_t(size)) & ~(hugePage - 1);
        if (last > first)
            ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE); // only advice: failure is harmless
    }
#endif
    return buffer;
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
