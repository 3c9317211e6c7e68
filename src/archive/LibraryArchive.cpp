#include "archive/LibraryArchive.h"

#include "model/JsonCoding.h"

#include <algorithm>
#include <cstring>

namespace {

bool startsWith(QByteArrayView data, const char *signature, qsizetype length, qsizetype at = 0)
{
    return data.size() >= at + length && std::memcmp(data.data() + at, signature, size_t(length)) == 0;
}

// The image type of an ISO base media file by its "ftyp" brands: the major
// brand first, then the compatible ones in order.
const char *isoMediaExtension(QByteArrayView data)
{
    if (data.size() < 16 || !startsWith(data, "ftyp", 4, 4))
        return nullptr;
    const auto *bytes = reinterpret_cast<const uchar *>(data.data());
    const qsizetype boxSize = qsizetype(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    const qsizetype end =
        qMin(qMin(data.size(), LibraryArchive::signatureLength), boxSize < 16 ? qsizetype(16) : boxSize);
    struct Brand {
        const char *code;
        const char *extension;
    };
    static constexpr Brand brands[] = {
        {"avif", "avif"}, {"avis", "avif"}, {"heic", "heic"}, {"heix", "heic"}, {"heim", "heic"},
        {"heis", "heic"}, {"hevc", "heic"}, {"hevx", "heic"}, {"mif1", "heif"}, {"msf1", "heif"},
    };
    auto extensionOf = [&](qsizetype at) -> const char * {
        for (const Brand &brand : brands) {
            if (startsWith(data, brand.code, 4, at))
                return brand.extension;
        }
        return nullptr;
    };
    if (const char *major = extensionOf(8))
        return major;
    for (qsizetype at = 16; at + 4 <= end; at += 4) {
        if (const char *compatible = extensionOf(at))
            return compatible;
    }
    return nullptr;
}

} // namespace

QString LibraryArchive::fileExtension(QByteArrayView data)
{
    struct Signature {
        const char *bytes;
        qsizetype length;
        qsizetype offset;
        const char *extension;
    };
    static const Signature signatures[] = {
        {"\x89PNG\r\n\x1A\n", 8, 0, "png"},
        {"\xFF\xD8\xFF", 3, 0, "jpeg"},
        {"GIF87a", 6, 0, "gif"},
        {"GIF89a", 6, 0, "gif"},
        {"II*\0", 4, 0, "tiff"},
        {"MM\0*", 4, 0, "tiff"},
        {"BM", 2, 0, "bmp"},
        {"\0\0\0\x0CjP  \r\n\x87\n", 12, 0, "jp2"},
        {"\xFF\x4F\xFF\x51", 4, 0, "jp2"},
        {"8BPS", 4, 0, "psd"},
        {"icns", 4, 0, "icns"},
        {"\0\0\1\0", 4, 0, "ico"},
        {"v/1\x01", 4, 0, "exr"},
        {"DDS ", 4, 0, "dds"},
    };
    for (const Signature &signature : signatures) {
        if (startsWith(data, signature.bytes, signature.length, signature.offset))
            return QLatin1String(signature.extension);
    }
    if (startsWith(data, "RIFF", 4) && startsWith(data, "WEBP", 4, 8))
        return QStringLiteral("webp");
    if (const char *extension = isoMediaExtension(data))
        return QLatin1String(extension);
    return QStringLiteral("dat");
}

QString LibraryArchive::imagePath(const QUuid &id, const QString &extension)
{
    return QStringLiteral("images/") + uuidText(id) + QLatin1Char('.') + extension;
}

bool LibraryArchive::pathPrecedes(const QString &a, const QString &b)
{
    const QList<uint> left = a.normalized(QString::NormalizationForm_C).toUcs4();
    const QList<uint> right = b.normalized(QString::NormalizationForm_C).toUcs4();
    if (left != right)
        return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end());
    // Equivalent spellings: the plain comparison breaks the tie.
    return a.toUcs4() < b.toUcs4();
}
