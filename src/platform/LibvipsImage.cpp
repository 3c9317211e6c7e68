// libvips's headers come first: GLib names a field `signals`, which Qt's
// headers define as a keyword.
#include <vips/vips.h>

#include "platform/LibvipsImage.h"
#include "platform/MemoryBudget.h"

#include <QFile>
#include <QTransform>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

struct Unref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
using ImagePtr = std::unique_ptr<VipsImage, Unref>;
using SourcePtr = std::unique_ptr<VipsSource, Unref>;

void dropMessage(const gchar *, GLogLevelFlags, const gchar *, gpointer)
{
}

bool started()
{
    static const bool ready = [] {
        if (VIPS_INIT("veloran") != 0) {
            vips_error_clear();
            return false;
        }
        // Nothing is decoded twice on purpose: keep no finished operation
        // (and none of the pixels it holds) for reuse.
        vips_cache_set_max(0);
        // Only the loaders of well-kept libraries (PNG, JPEG, TIFF); none
        // that hands files to a general-purpose converter.
        vips_block_untrusted_set(TRUE);
        // Readers' complaints about odd files (unknown TIFF tags, a short
        // last strip) are no concern of the user's: the picture decodes or
        // the caller gets none.
        g_log_set_handler("VIPS", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO),
                          dropMessage, nullptr);
        return true;
    }();
    return ready;
}

// The source stays valid while `image` does (its bytes are not copied).
SourcePtr openSource(const EncodedImage &image)
{
    if (!started())
        return nullptr;
    VipsSource *source = image.isFile()
                             ? vips_source_new_from_file(QFile::encodeName(image.path()).constData())
                             : vips_source_new_from_memory(image.bytes().constData(), size_t(image.bytes().size()));
    if (!source)
        vips_error_clear();
    return SourcePtr(source);
}

ImagePtr failed()
{
    vips_error_clear();
    return nullptr;
}

bool isIntegerFormat(VipsBandFormat format)
{
    switch (format) {
    case VIPS_FORMAT_CHAR:
    case VIPS_FORMAT_USHORT:
    case VIPS_FORMAT_SHORT:
    case VIPS_FORMAT_UINT:
    case VIPS_FORMAT_INT:
        return true;
    default:
        return false;
    }
}

// The image at 8 bits per channel in sRGB or grey, with at most four bands
// (grey, grey and alpha, RGB, RGB and alpha).
ImagePtr eightBit(ImagePtr image)
{
    const VipsInterpretation interpretation = vips_image_guess_interpretation(image.get());
    const bool plain = interpretation == VIPS_INTERPRETATION_B_W || interpretation == VIPS_INTERPRETATION_GREY16
                       || interpretation == VIPS_INTERPRETATION_sRGB || interpretation == VIPS_INTERPRETATION_RGB16
                       || interpretation == VIPS_INTERPRETATION_MULTIBAND;
    // Deep grey and RGB keep their top eight bits; other colour spaces
    // (CMYK, Lab, linear light) are converted.
    if (!(plain && (image->BandFmt == VIPS_FORMAT_UCHAR || isIntegerFormat(image->BandFmt)))
        && vips_colourspace_issupported(image.get())) {
        const bool colour = image->Bands >= 3 || interpretation == VIPS_INTERPRETATION_CMYK;
        VipsImage *converted = nullptr;
        if (vips_colourspace(image.get(), &converted, colour ? VIPS_INTERPRETATION_sRGB : VIPS_INTERPRETATION_B_W,
                             nullptr)
            != 0)
            return failed();
        image.reset(converted);
    }
    if (image->BandFmt != VIPS_FORMAT_UCHAR) {
        VipsImage *cast = nullptr;
        if (vips_cast(image.get(), &cast, VIPS_FORMAT_UCHAR, "shift", isIntegerFormat(image->BandFmt), nullptr) != 0)
            return failed();
        image.reset(cast);
    }
    if (image->Bands > 4) {
        VipsImage *bands = nullptr;
        if (vips_extract_band(image.get(), &bands, 0, "n", 4, nullptr) != 0)
            return failed();
        image.reset(bands);
    }
    return image;
}

// Copies strips of an 8-bit image into a QImage as they are computed.
struct Copy {
    QImage *target;
    int bands;

    static int write(VipsRegion *region, VipsRect *area, void *context)
    {
        const Copy &copy = *static_cast<Copy *>(context);
        QImage &target = *copy.target;
        const int width = area->width;
        for (int y = area->top; y < area->top + area->height; ++y) {
            const auto *in = reinterpret_cast<const uchar *>(VIPS_REGION_ADDR(region, area->left, y));
            uchar *line = target.scanLine(y);
            if (target.format() == QImage::Format_Grayscale8) {
                std::memcpy(line, in, size_t(width));
                continue;
            }
            auto *out = reinterpret_cast<QRgb *>(line);
            switch (copy.bands) {
            case 1:
                for (int x = 0; x < width; ++x)
                    out[x] = qRgb(in[x], in[x], in[x]);
                break;
            case 2:
                for (int x = 0; x < width; ++x, in += 2)
                    out[x] = qPremultiply(qRgba(in[0], in[0], in[0], in[1]));
                break;
            case 3:
                for (int x = 0; x < width; ++x, in += 3)
                    out[x] = qRgb(in[0], in[1], in[2]);
                break;
            default:
                for (int x = 0; x < width; ++x, in += 4)
                    out[x] = qPremultiply(qRgba(in[0], in[1], in[2], in[3]));
                break;
            }
        }
        return 0;
    }
};

// Computes an 8-bit image into a QImage: grey stays grey when `keepGrey`.
QImage toQImage(ImagePtr image, bool keepGrey)
{
    image = eightBit(std::move(image));
    if (!image)
        return {};
    const int bands = image->Bands;
    const QImage::Format format = bands == 1 && keepGrey ? QImage::Format_Grayscale8
                                  : bands == 2 || bands == 4 ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32;
    QImage result(image->Xsize, image->Ysize, format);
    if (result.isNull())
        return {};
    Copy copy{&result, bands};
    if (vips_sink_disc(image.get(), &Copy::write, &copy) != 0) {
        vips_error_clear();
        return {};
    }
    return result;
}

// Rows of a thumbnail computed in one request. Each stage of the shrink
// holds what its request needs: the whole thumbnail at once would hold the
// stored picture's full width for every row of it (a 16-bit RGBA scan of
// 16,384² pixels: 620 MB), a strip of 16 rows a few megabytes.
constexpr int thumbnailRowsAtOnce = 16;

// Computes a small 8-bit image (a thumbnail) into a QImage on the calling
// thread, in strips from the top. libvips's own threads can lose a
// loader's failure on damaged data (a file cut short) when another thread
// finishes the picture first; asked here, the failure always comes back.
// The decoding pool already runs several pictures side by side.
QImage computedHere(ImagePtr image)
{
    image = eightBit(std::move(image));
    if (!image)
        return {};
    const int bands = image->Bands;
    const QImage::Format format = bands == 2 || bands == 4 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage result(image->Xsize, image->Ysize, format);
    if (result.isNull())
        return {};
    VipsRegion *region = vips_region_new(image.get());
    bool computed = region != nullptr;
    Copy copy{&result, bands};
    for (int top = 0; computed && top < image->Ysize; top += thumbnailRowsAtOnce) {
        VipsRect strip{0, top, image->Xsize, std::min(thumbnailRowsAtOnce, image->Ysize - top)};
        computed = vips_region_prepare(region, &strip) == 0;
        if (computed)
            Copy::write(region, &strip, &copy);
    }
    if (region)
        g_object_unref(region);
    if (!computed) {
        vips_error_clear();
        return {};
    }
    return result;
}

// Turns a picture stored with an EXIF orientation upright.
QImage upright(const QImage &image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.mirrored(false, true).transformed(QTransform().rotate(90));
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

// Damaged data (a file cut short, a broken stream) is no picture: the
// loaders fail on it rather than fill in what is missing. Their warnings
// (odd tags) are not failures.
constexpr VipsFailOn failOn = VIPS_FAIL_ON_ERROR;

ImagePtr load(VipsSource *source)
{
    VipsImage *image =
        vips_image_new_from_source(source, "", "access", VIPS_ACCESS_SEQUENTIAL, "fail_on", failOn, nullptr);
    return image ? ImagePtr(image) : failed();
}

} // namespace

bool LibvipsImage::isAvailable()
{
    return started();
}

QSize LibvipsImage::Header::uprightSize() const
{
    return orientation >= 5 ? size.transposed() : size;
}

std::optional<LibvipsImage::Header> LibvipsImage::header(const EncodedImage &image)
{
    const SourcePtr source = openSource(image);
    if (!source)
        return std::nullopt;
    const ImagePtr loaded = load(source.get());
    if (!loaded)
        return std::nullopt;
    Header header;
    header.size = QSize(loaded->Xsize, loaded->Ysize);
    header.orientation = std::clamp(vips_image_get_orientation(loaded.get()), 1, 8);
    header.bands = loaded->Bands;
    header.bytesPerBand = int(vips_format_sizeof(loaded->BandFmt));
    return header;
}

QImage LibvipsImage::thumbnail(const EncodedImage &image, QSize target)
{
    const SourcePtr source = openSource(image);
    if (!source || target.isEmpty())
        return {};
    VipsImage *scaled = nullptr;
    // Exactly the size asked for: the caller has kept the aspect.
    if (vips_thumbnail_source(source.get(), &scaled, target.width(), "height", target.height(), "size",
                              VIPS_SIZE_FORCE, "option_string", "fail_on=error", nullptr)
        != 0) {
        vips_error_clear();
        return {};
    }
    return computedHere(ImagePtr(scaled));
}

QImage LibvipsImage::narrowedThumbnail(const EncodedImage &image, QSize target)
{
    const SourcePtr source = openSource(image);
    if (!source || target.isEmpty())
        return {};
    ImagePtr loaded = load(source.get());
    if (!loaded)
        return {};
    const int orientation = std::clamp(vips_image_get_orientation(loaded.get()), 1, 8);
    // Shrunk as stored, turned upright once small.
    const QSize stored = orientation >= 5 ? target.transposed() : target;
    const double width = loaded->Xsize, height = loaded->Ysize;
    ImagePtr narrowed = eightBit(std::move(loaded));
    if (!narrowed)
        return {};
    VipsImage *shrunk = nullptr;
    if (vips_resize(narrowed.get(), &shrunk, stored.width() / width, "vscale", stored.height() / height, nullptr) != 0) {
        vips_error_clear();
        return {};
    }
    ImagePtr result(shrunk);
    if (result->Xsize != stored.width() || result->Ysize != stored.height()) {
        VipsImage *exact = nullptr;
        if (vips_embed(result.get(), &exact, 0, 0, stored.width(), stored.height(), "extend", VIPS_EXTEND_COPY, nullptr)
            != 0) {
            vips_error_clear();
            return {};
        }
        result.reset(exact);
    }
    return upright(computedHere(std::move(result)), orientation);
}

QImage LibvipsImage::fullSize(const EncodedImage &image)
{
    QImage picture;
    {
        const SourcePtr source = openSource(image);
        if (!source)
            return {};
        ImagePtr loaded = load(source.get());
        if (!loaded)
            return {};
        const int orientation = vips_image_get_orientation(loaded.get());
        // Read top to bottom in strips; a stored orientation is applied to
        // the 8-bit picture afterwards.
        picture = upright(toQImage(std::move(loaded), true), orientation);
    }
    // libvips frees its strips and buffers once a picture is read, but the
    // C library keeps freed blocks in each thread's own heap: after a large
    // scan about 60 MB would stay resident beside the picture while the
    // viewer builds its smaller levels. Thumbnails are small and frequent,
    // and left alone.
    MemoryBudget::releaseFreedMemory();
    return picture;
}
