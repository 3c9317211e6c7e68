// Thumbnails and full-size decodes of library pictures with ImageDecoder,
// side by side on the same files with libvips's own tools and with Qt's
// image readers used as ImageDecoder used them before (whole picture
// decoded, then scaled). Each decode runs in a child process, so time and
// peak memory are measured alike for all three (wall clock and the
// kernel's peak resident size, process start-up included).
//
//   build/bench/browser/bench_thumbnail [--rounds N] [--dir PATH] [--no-large]
//
// Pictures, made in a temporary folder under PATH when it starts:
//   - a 6000 x 4000 scan as JPEG and as 8-bit PNG: 500-pixel thumbnails;
//   - a 16,000 x 16,000 16-bit grey TIFF (512 MB) and a 16,000 x 16,000
//     8-bit grey PNG: 500-pixel thumbnails;
//   - a 16,000 x 16,000 colour JPEG and the 16-bit TIFF decoded at full
//     size (8 bits per channel), beside `vips avg`, which decodes the whole
//     picture once as well.
//
// Targets: the large thumbnails within 1.5x vipsthumbnail's time and 2x its
// peak memory; the 6000 x 4000 JPEG and PNG thumbnails no slower than Qt's
// readers (10% for noise); a full-size decode peaks at no more than 1.5x
// the 8-bit picture it makes. Prints PASS or FAIL (exit code 2).

#include <vips/vips.h>

#include "SampleLibrary.h"
#include "support/MeasuredRun.h"

#include "platform/ImageDecoder.h"
#include "platform/PlatformImage.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// How ImageDecoder decoded before it used libvips: Qt's reader, the whole
// picture at its stored depth unless the reader can scale while it reads
// (JPEG), then scaled smoothly.
QImage decodeWithQtReaders(const QString &path, int maxPixelSize)
{
    PlatformImage::allowLargeImages();
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (maxPixelSize == ImageDecoder::fullSize)
        return reader.read();
    if (size.isValid() && !size.isEmpty() && std::max(size.width(), size.height()) > maxPixelSize) {
        const double factor = double(maxPixelSize) / std::max(size.width(), size.height());
        reader.setScaledSize(QSize(std::max(1, int(std::lround(size.width() * factor))),
                                   std::max(1, int(std::lround(size.height() * factor)))));
    }
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (std::max(image.width(), image.height()) > maxPixelSize)
        image = image.scaled(QSize(maxPixelSize, maxPixelSize), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

// The child's work: decode one file `repeat` times, print "width height
// bytes milliseconds" (the median decode, the process's start-up left out).
int decodeInChild(const QStringList &arguments)
{
    const QString path = arguments.value(0);
    const int size = arguments.value(1).toInt();
    const bool qtReaders = arguments.contains(QStringLiteral("--qt"));
    const qsizetype repeatAt = arguments.indexOf(QStringLiteral("--repeat"));
    const int repeat = repeatAt >= 0 ? std::max(1, arguments.value(repeatAt + 1).toInt()) : 1;
    QImage image;
    QList<double> times;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer timer;
        timer.start();
        image = qtReaders ? decodeWithQtReaders(path, size) : ImageDecoder::decode(EncodedImage::fromFile(path), size);
        times.append(timer.nsecsElapsed() / 1e6);
        if (image.isNull())
            return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("%d %d %lld %.2f\n", image.width(), image.height(), static_cast<long long>(image.sizeInBytes()),
                times.at(times.size() / 2));
    return 0;
}

struct Figures {
    double best = 1e99;
    double median = 0;
    double peakMB = 0; // the largest of the rounds
    QString result;    // what the child printed
    bool ok = true;
};

Figures measure(int rounds, const QString &program, const QStringList &arguments)
{
    const QString self = QCoreApplication::applicationFilePath();
    Figures figures;
    QList<double> times;
    for (int round = 0; round < rounds; ++round) {
        QByteArray output;
        const MeasuredRun run = runMeasured(self, program, arguments, &output);
        if (!run.ok) {
            figures.ok = false;
            return figures;
        }
        times.append(run.ms);
        figures.peakMB = std::max(figures.peakMB, run.peakKiB / 1024.0);
        figures.result = QString::fromLatin1(output).trimmed();
    }
    std::sort(times.begin(), times.end());
    figures.best = times.first();
    figures.median = times.at(times.size() / 2);
    return figures;
}

void print(const char *tool, const Figures &figures)
{
    if (!figures.ok) {
        std::printf("  %-14s failed\n", tool);
        return;
    }
    std::printf("  %-14s %8.0f / %8.0f ms   peak %7.1f MB\n", tool, figures.best, figures.median, figures.peakMB);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A 16,000-pixel scan made with libvips without holding it: a 2,000-pixel
// scan enlarged eight times, with grain. Writes the 8-bit grey PNG, the
// 16-bit grey TIFF and a colour JPEG.
bool writeLargeScans(const QString &png, const QString &tiff, const QString &jpeg)
{
    if (VIPS_INIT("bench_thumbnail") != 0)
        return false;
    const QImage base = sample::scanPicture(QSize(2000, 2000), 11).convertToFormat(QImage::Format_Grayscale8);
    VipsImage *small = vips_image_new_from_memory(base.constBits(), size_t(base.sizeInBytes()), base.width(),
                                                  base.height(), 1, VIPS_FORMAT_UCHAR);
    VipsImage *large = nullptr, *noise = nullptr, *sum = nullptr, *grey = nullptr, *deep = nullptr,
              *deep16 = nullptr, *tinted = nullptr, *colour = nullptr;
    bool ok = small && vips_resize(small, &large, 8.0, "kernel", VIPS_KERNEL_LINEAR, nullptr) == 0
              && vips_gaussnoise(&noise, large->Xsize, large->Ysize, "sigma", 3.0, "mean", 0.0, nullptr) == 0
              && vips_add(large, noise, &sum, nullptr) == 0 && vips_cast(sum, &grey, VIPS_FORMAT_UCHAR, nullptr) == 0
              && vips_pngsave(grey, QFile::encodeName(png).constData(), "compression", 6, nullptr) == 0
              && vips_linear1(sum, &deep, 257.0, 0.0, nullptr) == 0
              && vips_cast(deep, &deep16, VIPS_FORMAT_USHORT, nullptr) == 0
              && vips_tiffsave(deep16, QFile::encodeName(tiff).constData(), "compression",
                               VIPS_FOREIGN_TIFF_COMPRESSION_NONE, nullptr)
                     == 0;
    if (ok) {
        const double scale[3] = {1.0, 0.92, 0.8};
        const double offset[3] = {0, 4, 10};
        ok = vips_linear(grey, &tinted, scale, offset, 3, nullptr) == 0
             && vips_cast(tinted, &colour, VIPS_FORMAT_UCHAR, nullptr) == 0
             && vips_copy(colour, &deep, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) == 0
             && vips_jpegsave(deep, QFile::encodeName(jpeg).constData(), "Q", 90, nullptr) == 0;
    }
    for (VipsImage *image : {small, large, noise, sum, grey, deep, deep16, tinted, colour}) {
        if (image)
            g_object_unref(image);
    }
    if (!ok)
        std::fprintf(stderr, "%s\n", vips_error_buffer());
    return ok;
}

QString megabytes(const QString &path)
{
    return QString::number(QFileInfo(path).size() / 1e6, 'f', 0) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char **argv)
{
    if (int code = 0; runAsMeasuredLauncher(argc, argv, &code))
        return code;
    if (argc > 1 && qstrcmp(argv[1], "--decode") == 0) {
        QCoreApplication app(argc, argv);
        return decodeInChild(app.arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each measurement."), QStringLiteral("N"),
                      QStringLiteral("5")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder for the pictures."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.addOption({QStringLiteral("no-large"), QStringLiteral("Leave out the 16,000-pixel pictures.")});
    parser.process(app);
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    const bool large = !parser.isSet(QStringLiteral("no-large"));

    const QString vipsthumbnail = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vips"));
    if (vipsthumbnail.isEmpty() || vips.isEmpty()) {
        std::fprintf(stderr, "vipsthumbnail or vips not found (Debian package libvips-tools)\n");
        return 1;
    }
    QTemporaryDir folder(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-thumbnail-XXXXXX")));
    if (!folder.isValid())
        return 1;
    const QString self = QCoreApplication::applicationFilePath();

    std::printf("Making the pictures under %s...\n", qPrintable(folder.path()));
    const QImage picture = sample::scanPicture(QSize(6000, 4000), 7);
    const QString jpegPath = folder.filePath(QStringLiteral("scan.jpg"));
    const QString pngPath = folder.filePath(QStringLiteral("scan.png"));
    if (!writeFile(jpegPath, sample::encoded(picture, "JPEG", 90)) || !writeFile(pngPath, sample::encoded(picture, "PNG")))
        return 1;
    const QString largePng = folder.filePath(QStringLiteral("large-grey.png"));
    const QString largeTiff = folder.filePath(QStringLiteral("large-16bit.tif"));
    const QString largeJpeg = folder.filePath(QStringLiteral("large-colour.jpg"));
    if (large && !writeLargeScans(largePng, largeTiff, largeJpeg))
        return 1;

    bool pass = true;
    const Figures idle = measure(1, QStringLiteral("true"), {});
    std::printf("\nA program that does nothing peaks at %.1f MB when started this way.\n", idle.peakMB);
    std::printf("\nThumbnails of at most 500 pixels (best / median of %d rounds, in a child process each)\n", rounds);
    struct Thumbnail {
        const char *name;
        QString path;
        bool isLarge;
    };
    QList<Thumbnail> thumbnails{{"6000 x 4000 JPEG", jpegPath, false}, {"6000 x 4000 PNG", pngPath, false}};
    if (large) {
        thumbnails.append({"16,000 x 16,000 16-bit grey TIFF", largeTiff, true});
        thumbnails.append({"16,000 x 16,000 8-bit grey PNG", largePng, true});
    }
    for (const Thumbnail &thumbnail : thumbnails) {
        std::printf("\n%s (%s)\n", thumbnail.name, qPrintable(megabytes(thumbnail.path)));
        const QString output = folder.filePath(QStringLiteral("vips-thumbnail.jpg"));
        const Figures ours = measure(rounds, self, {QStringLiteral("--decode"), thumbnail.path, QStringLiteral("500")});
        const Figures peer = measure(rounds, vipsthumbnail,
                                     {thumbnail.path, QStringLiteral("--size"), QStringLiteral("500"),
                                      QStringLiteral("-o"), output});
        const Figures before =
            measure(thumbnail.isLarge ? 1 : rounds, self,
                    {QStringLiteral("--decode"), thumbnail.path, QStringLiteral("500"), QStringLiteral("--qt")});
        print("ImageDecoder", ours);
        print("vipsthumbnail", peer);
        print("Qt readers", before);
        if (!ours.ok || !peer.ok) {
            pass = false;
            continue;
        }
        const double timeRatio = ours.median / peer.median;
        const double memoryRatio = ours.peakMB / peer.peakMB;
        std::printf("  ours / vipsthumbnail: time %.2f, peak memory %.2f", timeRatio, memoryRatio);
        if (before.ok)
            std::printf("; ours / Qt readers: time %.2f, peak memory %.2f", ours.median / before.median,
                        ours.peakMB / before.peakMB);
        std::printf("   (result %s)\n", qPrintable(ours.result.section(QLatin1Char(' '), 0, 1)));
        if (thumbnail.isLarge && (timeRatio > 1.5 || memoryRatio > 2.0))
            pass = false;
        if (!thumbnail.isLarge) {
            // Within one process, as the application decodes them.
            const QStringList repeat{QStringLiteral("--repeat"), QString::number(rounds * 3)};
            const Figures inOurs = measure(1, self, QStringList{QStringLiteral("--decode"), thumbnail.path,
                                                                QStringLiteral("500")} + repeat);
            const Figures inQt = measure(1, self, QStringList{QStringLiteral("--decode"), thumbnail.path,
                                                              QStringLiteral("500"), QStringLiteral("--qt")} + repeat);
            const double oursMs = inOurs.result.section(QLatin1Char(' '), 3, 3).toDouble();
            const double qtMs = inQt.result.section(QLatin1Char(' '), 3, 3).toDouble();
            std::printf("  within one process (median of %d): ImageDecoder %.1f ms, Qt readers %.1f ms, ratio %.2f\n",
                        rounds * 3, oursMs, qtMs, oursMs / qtMs);
            if (!inOurs.ok || !inQt.ok || oursMs > qtMs * 1.1)
                pass = false;
        }
    }

    if (large) {
        std::printf("\nFull size at 8 bits per channel (best / median of %d rounds)\n", rounds);
        for (const auto &[name, path] : {std::pair{"16,000 x 16,000 colour JPEG", largeJpeg},
                                         std::pair{"16,000 x 16,000 16-bit grey TIFF", largeTiff}}) {
            std::printf("\n%s (%s)\n", name, qPrintable(megabytes(path)));
            const Figures ours = measure(rounds, self, {QStringLiteral("--decode"), path, QStringLiteral("0")});
            const Figures peer = measure(rounds, vips, {QStringLiteral("avg"), path});
            print("ImageDecoder", ours);
            print("vips avg", peer);
            if (!ours.ok || !peer.ok) {
                pass = false;
                continue;
            }
            const double pictureMB = ours.result.section(QLatin1Char(' '), 2, 2).toDouble() / (1024.0 * 1024.0);
            const double ratio = ours.peakMB / pictureMB;
            std::printf("  picture %s, %.0f MB; peak / picture %.2f; time ours / vips avg %.2f\n",
                        qPrintable(ours.result.section(QLatin1Char(' '), 0, 1)), pictureMB, ratio,
                        ours.median / peer.median);
            if (ratio > 1.5)
                pass = false;
        }
    }
    std::printf("\n%s: large thumbnails within 1.5x vipsthumbnail's time and 2x its memory; JPEG and PNG "
                "thumbnails no slower than Qt's readers; full-size peaks within 1.5x the 8-bit picture\n",
                pass ? "PASS" : "FAIL");
    return pass ? 0 : 2;
}
