#include "platform/ImageDecoder.h"

#include "platform/JpegData.h"
#include "platform/LibvipsImage.h"
#include "platform/MemoryBudget.h"
#include "platform/PlatformImage.h"
#include "platform/WorkerPools.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QSize boundedSize(QSize size, int maxPixelSize)
{
    const int longer = std::max(size.width(), size.height());
    if (maxPixelSize == ImageDecoder::fullSize || longer <= maxPixelSize)
        return size;
    const double factor = double(maxPixelSize) / longer;
    return QSize(std::max(1, int(std::lround(size.width() * factor))),
                 std::max(1, int(std::lround(size.height() * factor))));
}

qint64 area(QSize size)
{
    return qint64(std::max(0, size.width())) * std::max(0, size.height());
}

bool withinLimit(QSize size)
{
    return area(size) <= PlatformImage::maximumPixelCount;
}

// What the first bytes say of the encoding.
struct Encoding {
    enum class Kind { png, jpeg, tiff, other } kind = Kind::other;
    int pngBitDepth = 0;   // bits per channel
    int pngColourType = 0; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool pngInterlaced = false; // Adam7: every reader decodes the whole picture

    static constexpr qsizetype headLength = 29;

    static Encoding of(const QByteArray &head)
    {
        Encoding encoding;
        if (head.startsWith("\x89PNG\r\n\x1a\n")) {
            encoding.kind = Kind::png;
            // The header chunk comes first: bit depth, colour type,
            // compression, filter and interlace method follow its width and
            // height.
            if (head.size() >= headLength && head.mid(12, 4) == "IHDR") {
                encoding.pngBitDepth = quint8(head.at(24));
                encoding.pngColourType = quint8(head.at(25));
                encoding.pngInterlaced = quint8(head.at(28)) != 0;
            }
        } else if (head.startsWith("\xff\xd8\xff")) {
            encoding.kind = Kind::jpeg;
        } else if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))
                   || head.startsWith(QByteArray("II+\0", 4)) || head.startsWith(QByteArray("MM\0+", 4))) {
            encoding.kind = Kind::tiff;
        }
        return encoding;
    }

    // Where libvips beats Qt's readers. Measured on 16,000-pixel scans and
    // 6000 x 4000 pictures: Qt's TIFF reader and its PNG reader for deep,
    // grey or palette pictures decode the whole picture at its stored depth
    // before scaling (a 16-bit grey TIFF's thumbnail peaks at 3 GB, a grey
    // PNG's at 1.5 GB), where libvips reads strips and shrinks as it goes
    // (about 80 MB). Qt's JPEG reader scales while decoding, about twice as
    // fast as libvips, and its PNG reader does so too for 8-bit RGB and RGBA,
    // at a third of libvips's memory; at full size, 8-bit JPEG and PNG decode
    // straight into the picture with either, Qt's a little leaner. An
    // interlaced PNG is decoded whole by both: libvips holds it at its
    // stored depth (a 16,384² RGB picture: 821 MB), Qt's reader as 32-bit
    // pixels and a copy (1,081 MB).
    bool decodesWithLibvips(bool scaled) const
    {
        switch (kind) {
        case Kind::tiff:
            return true;
        case Kind::png:
            return pngBitDepth > 8 || pngInterlaced || (scaled && pngColourType != 2 && pngColourType != 6);
        case Kind::jpeg:
        case Kind::other:
            break;
        }
        return false;
    }
};

// Rows of the stored picture that libvips holds at once while it shrinks
// or converts (its loader's cache of strips for its worker threads, and
// the strips in work). Measured on 16,384-pixel-wide PNGs of 16 bits on
// the 8-core machine: 2,000 to 2,400 rows.
constexpr qint64 libvipsRowsInFlight = 2560;

// What a libvips decode holds: rows of the stored picture in flight, the
// whole stored picture where it cannot be read in strips (an interlaced
// PNG), and the result.
qint64 libvipsCost(const LibvipsImage::Header &header, const Encoding &encoding, QSize target, bool scaled)
{
    const qint64 storedPixel = qint64(header.bands) * header.bytesPerBand;
    // A thumbnail with alpha is shrunk premultiplied, in floats, except a
    // PNG's (narrowedThumbnail).
    const bool alpha = header.bands == 2 || header.bands == 4;
    const bool floats = scaled && alpha && encoding.kind != Encoding::Kind::png;
    const qint64 workingPixel = floats ? std::max<qint64>(storedPixel, qint64(header.bands) * 4) : storedPixel;
    const bool whole = encoding.pngInterlaced;
    const qint64 held = qint64(header.size.width()) * workingPixel * libvipsRowsInFlight
                        + (whole ? area(header.size) * storedPixel : 0);
    if (scaled)
        return held + area(target) * 4;
    const qint64 picture = area(header.size) * (header.bands == 1 ? 1 : 4);
    // A stored orientation is applied to a copy.
    return held + picture * (header.orientation == 1 ? 1 : 2);
}

// 8 bits per channel, grey kept grey.
QImage narrowed(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale16:
        return image.convertToFormat(QImage::Format_Grayscale8);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    default:
        return image;
    }
}

// The image's bytes or file, opened for reading; null when the file can't be.
std::unique_ptr<QIODevice> openedDevice(const EncodedImage &image)
{
    std::unique_ptr<QIODevice> device;
    if (image.isFile()) {
        device = std::make_unique<QFile>(image.path());
    } else {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(image.bytes()); // shares the bytes, no copy
        device = std::move(buffer);
    }
    if (!device->open(QIODevice::ReadOnly))
        return nullptr;
    return device;
}

// Pictures that Qt's PNG reader decodes whole before scaling them.
constexpr qint64 wholePngBytes = qint64(64) * 1024 * 1024;

// Whether `reader` is to shrink the picture while it decodes it. JPEG's
// reader does so in the compressed data, at a fraction of a whole decode.
// Qt's PNG reader shrinks row by row at about twice the time of a whole
// decode and a smooth scale (a 1.4-megapixel picture: 18 against 10 ms),
// which pays only where the whole picture would take much memory.
bool shrinksWhileDecoding(QImageReader &reader, QSize size, int depth)
{
    if (!reader.supportsOption(QImageIOHandler::ScaledSize))
        return false;
    return reader.format() != "png" || area(size) * depth / 8 > wholePngBytes;
}

// The size at which JPEG's reader decodes a picture that it shrinks to
// `target`: libjpeg scales by a half, a quarter or an eighth while it
// decodes, and the reader scales the rest smoothly.
QSize jpegReadSize(QSize size, QSize target)
{
    int denominator = 1;
    while (denominator < 8 && size.width() / (denominator * 2) >= target.width()
           && size.height() / (denominator * 2) >= target.height())
        denominator *= 2;
    return QSize((size.width() + denominator - 1) / denominator, (size.height() + denominator - 1) / denominator);
}

// A Qt reader set up for a decode, with the memory the decode will hold;
// no reader when the picture can't be read or is refused by its header.
struct QtRead {
    std::unique_ptr<QIODevice> device;
    std::unique_ptr<QImageReader> reader;
    qint64 cost = 0;
};

QtRead preparedQtRead(const EncodedImage &image, int maxPixelSize, bool jpeg)
{
    QtRead read;
    read.device = openedDevice(image);
    if (!read.device)
        return {};
    read.reader = std::make_unique<QImageReader>(read.device.get());
    QImageReader &reader = *read.reader;
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // A reader that cannot tell the size before it decodes decodes alone.
    read.cost = WorkerPools::decodingMemory().total();
    if (!size.isValid() || size.isEmpty())
        return read;
    if (!withinLimit(size))
        return {};
    const int depth = std::max(32, int(QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel()));
    const QSize target = boundedSize(size, maxPixelSize);
    // The others are decoded whole and scaled smoothly (decodeWithQt); a
    // deeper picture at full size is narrowed in a copy.
    if (target != size && shrinksWhileDecoding(reader, size, depth)) {
        reader.setScaledSize(target);
        read.cost = area(jpeg ? jpegReadSize(size, target) : target) * 4 + area(target) * 4 * 3;
    } else {
        read.cost = area(size) * depth / 8 + (target != size || depth > 32 ? area(target) * 4 : 0);
    }
    // libjpeg keeps a progressive picture's coefficients whole.
    if (jpeg)
        read.cost += JpegData::heldWhileReading(image);
    return read;
}

// Qt's readers, for every other encoding. With `refuseMissing`, a JPEG
// missing data is refused.
QImage decodeWithQt(const EncodedImage &image, int maxPixelSize, bool jpeg, bool refuseMissing)
{
    QtRead read = preparedQtRead(image, maxPixelSize, jpeg);
    if (!read.reader)
        return {};
    const MemoryBudget::Grant grant = WorkerPools::decodingMemory().acquire(read.cost);
    // Qt's JPEG reader fills in what is missing, with a warning on the
    // console: libjpeg reads the file through first, within the same share
    // of the budget, which counts what libjpeg holds.
    if (refuseMissing && jpeg && JpegData::check(image) != JpegData::Outcome::complete)
        return {};
    QImage decoded = read.reader->read();
    if (decoded.isNull() || !withinLimit(decoded.size()))
        return {};
    if (maxPixelSize == ImageDecoder::fullSize)
        return narrowed(decoded);
    // Readers without a size in the header: scale afterwards.
    const QSize bounded = boundedSize(decoded.size(), maxPixelSize);
    if (bounded != decoded.size())
        decoded = decoded.scaled(bounded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return decoded.convertToFormat(decoded.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
}

} // namespace

QByteArray EncodedImage::head(qsizetype count) const
{
    if (!isFile())
        return m_bytes.left(count);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(count);
}

QImage ImageDecoder::decode(const QByteArray &data, int maxPixelSize)
{
    return decode(EncodedImage::fromBytes(data), maxPixelSize);
}

namespace {

// How a picture is to be decoded at a size, read from its header.
struct DecodePlan {
    enum class Route { none, libvips, qt } route = Route::none;
    Encoding encoding;
    bool scaled = false;
    QSize target;                 // libvips: the result's size
    qint64 libvipsMemory = 0;     // libvips: what the decode holds
};

DecodePlan planned(const EncodedImage &image, int maxPixelSize)
{
    DecodePlan plan;
    if (maxPixelSize < 0)
        return plan;
    const QByteArray head = image.head(Encoding::headLength);
    if (head.isEmpty())
        return plan;
    PlatformImage::allowLargeImages();
    plan.scaled = maxPixelSize != ImageDecoder::fullSize;
    plan.encoding = Encoding::of(head);
    if (!plan.encoding.decodesWithLibvips(plan.scaled) || !LibvipsImage::isAvailable()) {
        plan.route = DecodePlan::Route::qt;
        return plan;
    }
    // Its loaders fail on data cut short.
    const std::optional<LibvipsImage::Header> header = LibvipsImage::header(image);
    if (!header || !withinLimit(header->size))
        return plan;
    plan.route = DecodePlan::Route::libvips;
    plan.target = boundedSize(header->uprightSize(), maxPixelSize);
    plan.libvipsMemory = libvipsCost(*header, plan.encoding, plan.target, plan.scaled);
    return plan;
}

} // namespace

QImage ImageDecoder::decode(const EncodedImage &image, int maxPixelSize, MissingData missing)
{
    const DecodePlan plan = planned(image, maxPixelSize);
    const bool jpeg = plan.encoding.kind == Encoding::Kind::jpeg;
    switch (plan.route) {
    case DecodePlan::Route::none:
        return {};
    case DecodePlan::Route::libvips: {
        const MemoryBudget::Grant grant = WorkerPools::decodingMemory().acquire(plan.libvipsMemory);
        if (!plan.scaled)
            return LibvipsImage::fullSize(image);
        return plan.encoding.kind == Encoding::Kind::png ? LibvipsImage::narrowedThumbnail(image, plan.target)
                                                         : LibvipsImage::thumbnail(image, plan.target);
    }
    case DecodePlan::Route::qt:
        break;
    }
    return decodeWithQt(image, maxPixelSize, jpeg, missing == MissingData::refused);
}

qint64 ImageDecoder::memoryCost(const EncodedImage &image, int maxPixelSize)
{
    const DecodePlan plan = planned(image, maxPixelSize);
    switch (plan.route) {
    case DecodePlan::Route::none:
        return 0;
    case DecodePlan::Route::libvips:
        return plan.libvipsMemory;
    case DecodePlan::Route::qt:
        break;
    }
    return preparedQtRead(image, maxPixelSize, plan.encoding.kind == Encoding::Kind::jpeg).cost;
}

QSize ImageDecoder::pixelSize(const EncodedImage &image)
{
    const QByteArray head = image.head(Encoding::headLength);
    if (head.isEmpty())
        return {};
    QSize size;
    if (Encoding::of(head).decodesWithLibvips(false) && LibvipsImage::isAvailable()) {
        const std::optional<LibvipsImage::Header> header = LibvipsImage::header(image);
        if (header)
            size = header->uprightSize();
    } else {
        const std::unique_ptr<QIODevice> device = openedDevice(image);
        if (!device)
            return {};
        QImageReader reader(device.get());
        size = reader.size();
        // The size is stored as the pixels are; a quarter turn swaps it.
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            size.transpose();
    }
    if (!size.isValid() || size.isEmpty() || !withinLimit(size))
        return {};
    return size;
}

ImageHeader ImageDecoder::readHeader(QIODevice &device)
{
    QImageReader reader(&device);
    ImageHeader header;
    header.isImage = reader.canRead();
    if (!header.isImage)
        return header;
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty())
        header.size = size;
    return header;
}
