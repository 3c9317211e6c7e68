// Opening a 16,000 by 16,000 scan on the image screen, as an 8-bit JPEG and
// as a 16-bit TIFF, in a 2560 by 1440 viewer, offscreen. The library is on
// disk (the picture's bytes in a file beside the store, as large images
// are kept); the image's thumbnail is given to the screen as the window
// gives it a cached one. Each opening runs in a fresh process and reports:
//
// - the longest the GUI thread went without turning its event loop (a 1 ms
//   timer), from the opening until the picture is painted and its smaller
//   levels are built;
// - whether every paint until then showed the thumbnail;
// - the process's peak resident memory above what it held before opening,
//   against the picture decoded at 8 bits per channel;
// - the time to the first full-resolution paint, side by side in the same
//   run with vipsthumbnail making a 2560-pixel thumbnail of the same file
//   (a round of it before and after the opening, the better one counted).
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/bench_open_image [--size N] [--colour] [--dir PATH]
//
// Targets: no stall over 50 ms, the thumbnail until the picture, peak memory
// at most 1.5 times the 8-bit picture. Prints PASS or FAIL (exit code 2).
// The pictures are made when the benchmark starts (in a child process) and
// removed at its end; they need up to 2 GB of memory (4 GB with --colour)
// and a few hundred MB of disk.

#include "support/LibraryContainer.h"
#include "support/PeakMemory.h"
#include "support/StallMeter.h"

#include "model/AtlasImage.h"
#include "model/VeloranSchemaV1.h"
#include "platform/ImageDecoder.h"
#include "platform/objectstore/ModelContainer.h"
#include "viewer/CanvasOverlay.h"
#include "viewer/ImageDetailView.h"
#include "viewer/OpenedPicture.h"
#include "viewer/PictureSource.h"
#include "viewer/SharedImageScreenState.h"
#include "viewer/ZoomableImage.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr double stallTargetMs = 50;
constexpr double memoryTarget = 1.5;
const QSize viewport(2560, 1440);

// A scan-like picture: a bright body with soft organs and fine grain, on
// black; 16-bit values spread over the whole range.
template <typename Pixel> Pixel scanValue(int x, int y, int side, bool deep)
{
    const double centre = side / 2.0;
    const double r = std::hypot(x - centre, (y - centre) * 1.2) / centre;
    double value = r < 0.85 ? 0.62 - 0.3 * r * r : (r < 0.87 ? 0.9 : 0.02);
    value += 0.08 * std::sin(x / 97.0) * std::cos(y / 131.0) + ((x * 7 + y * 13) % 23 - 11) / 900.0;
    value = std::clamp(value, 0.0, 1.0);
    return Pixel(std::lround(value * (deep ? 65535 : 255)));
}

// Writes the picture file, its 500-pixel thumbnail and a library holding
// the file's bytes into `folder`. Runs in a child process, so that the
// measuring processes start clean.
int makePictures(const QString &folder, const QString &format, int side, bool colour)
{
    const bool tiff = format == QLatin1String("tiff");
    QImage picture;
    if (tiff) {
        picture = QImage(side, side, colour ? QImage::Format_RGBX64 : QImage::Format_Grayscale16);
        for (int y = 0; y < side; ++y) {
            auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
            for (int x = 0; x < side; ++x) {
                const quint16 v = scanValue<quint16>(x, y, side, true);
                if (colour) {
                    line[4 * x] = v;
                    line[4 * x + 1] = quint16(v * 0.92);
                    line[4 * x + 2] = quint16(v * 0.85);
                    line[4 * x + 3] = 65535;
                } else {
                    line[x] = v;
                }
            }
        }
    } else {
        picture = QImage(side, side, colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
        for (int y = 0; y < side; ++y) {
            uchar *line = picture.scanLine(y);
            for (int x = 0; x < side; ++x) {
                const uchar v = scanValue<uchar>(x, y, side, false);
                if (colour)
                    reinterpret_cast<QRgb *>(line)[x] = qRgb(v, v * 92 / 100, v * 85 / 100);
                else
                    line[x] = v;
            }
        }
    }
    const QString file = QDir(folder).filePath(tiff ? QStringLiteral("scan.tif") : QStringLiteral("scan.jpg"));
    QImageWriter writer(file, tiff ? "tiff" : "jpeg");
    writer.setQuality(90);
    writer.setCompression(1); // LZW for the TIFF
    if (!writer.write(picture)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(file), qPrintable(writer.errorString()));
        return 1;
    }
    picture = QImage();
    QFile read(file);
    if (!read.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = read.readAll();
    ImageDecoder::decode(bytes, 500).save(QDir(folder).filePath(QStringLiteral("thumbnail.png")));

    std::unique_ptr<ModelContainer> library = openLibrary(QDir(folder).filePath(QStringLiteral("library")));
    library->mainContext().insert(AtlasImage::make(QStringLiteral("scan"), Modality::ct, Region::thorax, Plane::axial,
                                                   AgeSpec{}, Sex::female, bytes));
    library->mainContext().save();
    return 0;
}

// Records when the canvas paints, and what.
class PaintProbe : public CanvasOverlay {
public:
    PaintProbe(ImageDetailView &screen, QElapsedTimer &clock) : m_screen(screen), m_clock(clock) {}

    void paint(QPainter &, const CanvasGeometry &) override
    {
        const bool full = m_screen.picture()->status() == OpenedPicture::Status::ready;
        if (full && firstFullMs < 0)
            firstFullMs = m_clock.nsecsElapsed() / 1e6;
        if (!full) {
            ++earlyPaints;
            if (m_screen.picture()->source()->isNull())
                ++paintsWithoutPicture;
            else if (firstThumbnailMs < 0)
                firstThumbnailMs = m_clock.nsecsElapsed() / 1e6;
        }
    }

    double firstFullMs = -1;
    double firstThumbnailMs = -1;
    int earlyPaints = 0;
    int paintsWithoutPicture = 0;

private:
    ImageDetailView &m_screen;
    QElapsedTimer &m_clock;
};

// Opens the library's image on a screen and prints one RESULT line.
int measureOpening(const QString &folder)
{
    std::unique_ptr<ModelContainer> library = openLibrary(QDir(folder).filePath(QStringLiteral("library")));
    AtlasImage *image = library->mainContext().fetch<AtlasImage>().constFirst();
    const QImage thumbnail(QDir(folder).filePath(QStringLiteral("thumbnail.png")));

    SharedImageScreenState shared;
    ImageDetailView screen(shared);
    screen.resize(viewport.width(), viewport.height() + 200);
    screen.show();
    while (!screen.windowHandle() || !screen.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    screen.resize(screen.width(), screen.height() + viewport.height() - screen.canvas()->height());
    QApplication::processEvents();

    QElapsedTimer clock;
    PaintProbe probe(screen, clock);
    screen.canvas()->setOverlay(&probe);

    const qint64 residentBefore = residentKiB();
    resetPeakResident();
    StallMeter opening;
    opening.start();
    clock.start();
    screen.setImage(image);
    screen.picture()->showThumbnail(image, thumbnail);
    // Until the picture is painted and its smaller levels are all built.
    while ((probe.firstFullMs < 0 || !screen.picture()->source()->isComplete()) && clock.elapsed() < 300000
           && screen.picture()->status() != OpenedPicture::Status::unavailable)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double completeMs = clock.nsecsElapsed() / 1e6;
    opening.stop();
    const qint64 peakAbove = peakResidentKiB() - residentBefore;
    // The same measure with nothing to do, for the machine's own noise.
    StallMeter idle;
    idle.start();
    while (idle.elapsedNs() < 2'000'000'000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    idle.stop();
    const QList<QImage> &levels = screen.picture()->source()->levels();
    if (levels.isEmpty()) {
        std::printf("RESULT failed\n");
        return 1;
    }
    const QImage &picture = levels.first();
    std::printf("RESULT full=%.1f complete=%.1f thumbnail=%.1f stall=%.1f idleStall=%.1f early=%d blank=%d "
                "peakKiB=%lld pictureBytes=%lld width=%d height=%d channels=%d\n",
                probe.firstFullMs, completeMs, probe.firstThumbnailMs, opening.longestMs(), idle.longestMs(),
                probe.earlyPaints,
                probe.paintsWithoutPicture, static_cast<long long>(peakAbove),
                static_cast<long long>(picture.sizeInBytes()), picture.width(), picture.height(),
                picture.isGrayscale() ? 1 : 3);
    return 0;
}

QString runSelf(const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    *ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// Seconds vipsthumbnail takes to make a 2560-pixel thumbnail of `file`.
double vipsthumbnailMs(const QString &file, const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QStringLiteral("vipsthumbnail"),
                  {file, QStringLiteral("--size"), QStringLiteral("2560"), QStringLiteral("-o"),
                   QDir(folder).filePath(QStringLiteral("peer.jpg"))});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

void warmPageCache(const QString &file)
{
    QFile read(file);
    if (read.open(QIODevice::ReadOnly))
        while (!read.read(16 << 20).isEmpty()) {
        }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("size"), QStringLiteral("Side of the square picture."), QStringLiteral("N"),
                      QStringLiteral("16000")});
    parser.addOption({QStringLiteral("colour"), QStringLiteral("A colour picture instead of a grey one.")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder for the pictures."), QStringLiteral("PATH"),
                      QDir::tempPath()});
    parser.addOption({QStringLiteral("make"), QStringLiteral("(child) Make the pictures in FOLDER."),
                      QStringLiteral("FOLDER")});
    parser.addOption({QStringLiteral("format"), QStringLiteral("(child) jpeg or tiff."), QStringLiteral("FORMAT")});
    parser.addOption({QStringLiteral("measure"), QStringLiteral("(child) Open the picture in FOLDER."),
                      QStringLiteral("FOLDER")});
    parser.process(app);
    const int side = std::max(256, parser.value(QStringLiteral("size")).toInt());
    const bool colour = parser.isSet(QStringLiteral("colour"));
    if (parser.isSet(QStringLiteral("make")))
        return makePictures(parser.value(QStringLiteral("make")), parser.value(QStringLiteral("format")), side, colour);
    if (parser.isSet(QStringLiteral("measure")))
        return measureOpening(parser.value(QStringLiteral("measure")));

    bool pass = true;
    std::printf("Opening a %d x %d %s picture in a %d x %d viewer\n\n", side, side, colour ? "colour" : "grey",
                viewport.width(), viewport.height());
    std::printf("%-9s | %8s | %9s | %10s | %16s | %8s | %11s | %s\n", "file", "size MB", "thumbnail", "full paint",
                "stall (idle)", "peak MiB", "x 8-bit pic", "vipsthumbnail 2560 (ratio)");
    for (const QString &format : {QStringLiteral("jpeg"), QStringLiteral("tiff")}) {
        QTemporaryDir folder(QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-open-XXXXXX")));
        bool ok = false;
        QStringList make{QStringLiteral("--make"), folder.path(), QStringLiteral("--format"), format,
                         QStringLiteral("--size"), QString::number(side)};
        if (colour)
            make << QStringLiteral("--colour");
        runSelf(make, &ok);
        if (!ok) {
            std::printf("%s: cannot make the picture\n", qPrintable(format));
            pass = false;
            continue;
        }
        const QString file = QDir(folder.path()).filePath(format == QLatin1String("tiff") ? "scan.tif" : "scan.jpg");
        warmPageCache(file);
        const double peerBefore = vipsthumbnailMs(file, folder.path());
        const QString output = runSelf({QStringLiteral("--measure"), folder.path()}, &ok);
        const double peerAfter = vipsthumbnailMs(file, folder.path());
        const qsizetype at = output.indexOf(QStringLiteral("RESULT "));
        if (!ok || at < 0 || output.contains(QStringLiteral("RESULT failed"))) {
            std::printf("%-9s | opening failed\n", qPrintable(format));
            pass = false;
            continue;
        }
        QHash<QString, double> result;
        for (const QString &field : output.mid(at + 7).trimmed().split(QLatin1Char(' '))) {
            const QStringList pair = field.split(QLatin1Char('='));
            if (pair.size() == 2)
                result.insert(pair.first(), pair.last().toDouble());
        }
        const double peer = peerBefore < 0 ? peerAfter : peerAfter < 0 ? peerBefore : std::min(peerBefore, peerAfter);
        // The picture at 8 bits per channel as the viewer keeps it: a byte a
        // pixel for grey, four (32-bit RGB) for colour.
        const double eightBit = result.value("pictureBytes");
        const double packed = result.value("width") * result.value("height") * result.value("channels");
        const double peakBytes = result.value("peakKiB") * 1024;
        const double memoryRatio = peakBytes / eightBit;
        const bool thumbnailFirst = result.value("blank") == 0 && result.value("thumbnail") >= 0;
        std::printf("%-9s | %8.1f | %6.0f ms | %7.0f ms | %5.1f (%4.1f) ms | %8.0f | %11.2f | %.0f ms (%.2f)\n",
                    qPrintable(QFileInfo(file).fileName()), QFileInfo(file).size() / 1048576.0,
                    result.value("thumbnail"), result.value("full"), result.value("stall"), result.value("idleStall"),
                    peakBytes / 1048576.0, memoryRatio, peer, result.value("full") / peer);
        if (packed != eightBit)
            std::printf("%9s   (peak %.2f x the picture packed at 3 bytes a pixel)\n", "", peakBytes / packed);
        pass = pass && result.value("stall") <= stallTargetMs && thumbnailFirst && memoryRatio <= memoryTarget;
    }
    std::printf("\n%s: GUI thread never stalled over %.0f ms, thumbnail until the picture, peak memory at most %.1f x "
                "the picture at 8 bits per channel\n",
                pass ? "PASS" : "FAIL", stallTargetMs, memoryTarget);
    return pass ? 0 : 2;
}
