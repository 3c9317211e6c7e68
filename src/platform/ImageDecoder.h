#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QIODevice;

// An image in its stored encoding (PNG, JPEG, TIFF, ...): bytes in memory,
// or the whole of a file, which is then read as it decodes rather than held
// in memory. Any thread.
class EncodedImage {
public:
    EncodedImage() = default;
    static EncodedImage fromBytes(const QByteArray &bytes) { return EncodedImage(bytes, {}); }
    static EncodedImage fromFile(const QString &path) { return EncodedImage({}, path); }

    bool isFile() const { return !m_path.isEmpty(); }
    // The bytes in memory; empty for a file.
    const QByteArray &bytes() const { return m_bytes; }
    // The file; empty for bytes in memory.
    const QString &path() const { return m_path; }
    // Its first `count` bytes (fewer when there are fewer).
    QByteArray head(qsizetype count) const;

private:
    EncodedImage(const QByteArray &bytes, const QString &path) : m_bytes(bytes), m_path(path) {}

    QByteArray m_bytes;
    QString m_path;
};

// What an encoding's first bytes say, read without decoding pixels.
struct ImageHeader {
    bool isImage = false; // a reader recognises the encoding
    QSize size;           // as stored (before any orientation); invalid when the header doesn't tell it
};

// The one way a library image becomes pixels, for thumbnails, the opened
// image, the viewer and the editor: the first image of the encoding, turned
// upright by its stored (EXIF) orientation, at 8 bits per channel. Any
// thread; off the GUI thread it runs on WorkerPools::decoding().
//
// Large scans decode in bounded memory: PNG, JPEG and TIFF are read in
// strips, and a scaled image is shrunk while it loads, so a thumbnail of a
// 16,000 by 16,000 scan never holds the whole picture. Some pictures can
// only be decoded whole (interlaced PNGs, progressive JPEGs, readers that
// cannot scale). Before it starts, a decode takes the memory it will
// really hold from WorkerPools::decodingMemory() (those whole pictures at
// their stored depth included), waiting while other decodes hold too much:
// thumbnails, opened images and an import's check alike.
namespace ImageDecoder {

// No bound on the size.
inline constexpr int fullSize = 0;

// What a decode makes of a picture whose data is partly missing (a file
// cut short): readers warn, and fill the rest in. The library's pictures
// show what they hold; an import's check refuses them.
enum class MissingData { filledIn, refused };

// The image at full size, or scaled down so that its longer side is at most
// `maxPixelSize` pixels (never enlarged), with its aspect kept. A scaled
// image comes as 32-bit RGB (premultiplied ARGB with alpha), which the
// painter draws without conversion. A full-size one spares memory: grey
// stays 8-bit grey, palette and one-bit pictures keep their format, colour
// comes as 32-bit RGB or premultiplied ARGB, and deeper channels (16-bit
// scans) are narrowed to 8 bits. A null image for
// empty or undecodable bytes, and for pictures of more than
// PlatformImage::maximumPixelCount pixels.
QImage decode(const EncodedImage &image, int maxPixelSize = fullSize, MissingData missing = MissingData::filledIn);
QImage decode(const QByteArray &data, int maxPixelSize = fullSize);

// The memory that decode() at this size will take from the decoding
// budget before it starts: what it holds at its peak. Reads the header
// only; 0 where decode() would give nothing from the header alone.
qint64 memoryCost(const EncodedImage &image, int maxPixelSize);

// The size decode() would give at full size (upright by the stored
// orientation), read from the header alone, without decoding a pixel: a
// canvas places the picture with it while the picture is still decoding.
// Empty where decode() would give nothing that the header can tell
// (bytes that are no image, too many pixels), and for encodings whose
// header does not say.
QSize pixelSize(const EncodedImage &image);

// Whether the bytes from the device's current position on start an image
// that this decoder's readers know, and its size when the header gives it.
// Reads the header only (the readers' own look at the first bytes, and for
// TIFF its first directory), however large the rest is; the device is left
// where the readers left it.
ImageHeader readHeader(QIODevice &device);

} // namespace ImageDecoder
