#pragma once

// What the import benchmarks share: their options, the picture files they
// read, and running `cp` and `sync` beside them.

#include <QBuffer>
#include <QByteArray>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>

#include <cmath>
#include <cstdio>

struct PictureBenchOptions {
    int fileCount = 500;
    double megabytes = 4;
    int rounds = 3;
    double trailingMegabytes = 0; // bytes after each picture's end
    bool interlaced = false; // interlaced 16,384² PNGs rather than noise
    bool jpeg = false;       // noise JPEGs rather than PNGs
    QString folder; // on the disk to measure

    // --files N, --size-mb M, --rounds R, --dir PATH, --trailing-mb T,
    // --interlaced-png N (N interlaced PNGs in place of --files and --size-mb),
    // --jpeg (noise JPEGs in place of PNGs).
    static PictureBenchOptions parse(const QCoreApplication &app)
    {
        QCommandLineParser parser;
        parser.addHelpOption();
        parser.addOption({QStringLiteral("files"), QStringLiteral("Number of files."), QStringLiteral("N"), QStringLiteral("500")});
        parser.addOption({QStringLiteral("size-mb"), QStringLiteral("Size of each file in MB."), QStringLiteral("M"), QStringLiteral("4")});
        parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds of each measurement."), QStringLiteral("R"), QStringLiteral("3")});
        parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder on the disk to measure."), QStringLiteral("PATH"), QDir::currentPath()});
        parser.addOption({QStringLiteral("trailing-mb"), QStringLiteral("Bytes after each picture's end, in MB."),
                          QStringLiteral("T"), QStringLiteral("0")});
        parser.addOption({QStringLiteral("interlaced-png"),
                          QStringLiteral("N interlaced PNGs of 16,384 by 16,384 pixels instead (made with vips)."),
                          QStringLiteral("N"), QStringLiteral("0")});
        parser.addOption({QStringLiteral("jpeg"), QStringLiteral("Noise JPEGs instead of PNGs.")});
        parser.process(app);
        PictureBenchOptions options;
        options.fileCount = qMax(1, parser.value(QStringLiteral("files")).toInt());
        options.megabytes = qMax(0.1, parser.value(QStringLiteral("size-mb")).toDouble());
        options.rounds = qMax(1, parser.value(QStringLiteral("rounds")).toInt());
        options.folder = parser.value(QStringLiteral("dir"));
        options.trailingMegabytes = qMax(0.0, parser.value(QStringLiteral("trailing-mb")).toDouble());
        options.jpeg = parser.isSet(QStringLiteral("jpeg"));
        if (const int interlaced = parser.value(QStringLiteral("interlaced-png")).toInt(); interlaced > 0) {
            options.interlaced = true;
            options.fileCount = interlaced;
        }
        return options;
    }
};

// A PNG (or a JPEG of quality 100) of random pixels of about `megabytes` MB
// (noise does not compress).
inline QByteArray noisePicture(double megabytes, const char *format = "png")
{
    // RGB noise stores about three bytes a pixel in a PNG; a JPEG of it
    // at quality 100 about two, its colour halved.
    const bool jpeg = qstrcmp(format, "jpeg") == 0;
    const int side = int(std::sqrt(megabytes * 1024 * 1024 / (jpeg ? 2.0 : 3.0)));
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(20261206);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return bytes;
}

inline bool runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// An interlaced (Adam7) PNG of 16,384 by 16,384 black RGB pixels, about
// 0.8 MB, made with libvips's `vips` (Debian's libvips-tools) in a process
// of its own. Every reader decodes such a picture whole: 768 MiB at 8 bits a
// channel. Empty when it cannot be made.
inline QByteArray interlacedPicture()
{
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("interlaced.png"));
    if (!folder.isValid()
        || !runProgram(QStringLiteral("vips"), {QStringLiteral("black"), path + QStringLiteral("[interlace]"),
                                                 QStringLiteral("16384"), QStringLiteral("16384"),
                                                 QStringLiteral("--bands"), QStringLiteral("3")}))
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline double seconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

// Writes the picture files "scan 1.png" (or .jpg) … into `folder`, syncs them to the
// disk, and returns their URLs (none when a file cannot be written) and the
// total size in MB.
inline QList<QUrl> writePictureFiles(const QString &folder, const PictureBenchOptions &options, double &totalMB)
{
    QDir().mkpath(folder);
    const QByteArray picture = options.interlaced ? interlacedPicture()
                                                  : noisePicture(options.megabytes, options.jpeg ? "jpeg" : "png");
    if (picture.isEmpty()) {
        std::fprintf(stderr, "cannot make the picture (is vips installed?)\n");
        return {};
    }
    std::printf("writing %d %s of %.1f MB under %s\n", options.fileCount,
                options.interlaced ? "interlaced 16,384² PNGs" : "files", double(picture.size()) / (1024 * 1024),
                qPrintable(folder));
    // Trailing bytes, of noise too, written a piece at a time.
    const qint64 trailing = qint64(options.trailingMegabytes * 1024 * 1024);
    QByteArray piece(qMin<qint64>(trailing, 16 << 20), Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
    QList<QUrl> urls;
    for (int i = 0; i < options.fileCount; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("scan %1.%2").arg(i + 1).arg(options.jpeg ? "jpg" : "png"));
        QFile file(path);
        bool written = file.open(QIODevice::WriteOnly) && file.write(picture) == picture.size();
        for (qint64 left = trailing; written && left > 0; left -= piece.size())
            written = file.write(piece.constData(), qMin<qint64>(left, piece.size())) == qMin<qint64>(left, piece.size());
        if (!written) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return {};
        }
        urls.append(QUrl::fromLocalFile(path));
    }
    runProgram(QStringLiteral("sync"), {});
    const qint64 fileBytes = picture.size() + trailing;
    totalMB = double(fileBytes) * options.fileCount / (1024.0 * 1024.0);
    std::printf("%.0f MB in total (%lld bytes a file)\n", totalMB, static_cast<long long>(fileBytes));
    return urls;
}

// A temporary folder "<prefix>-XXXXXX" under the options' folder with the
// picture files in its "picked" folder; "copied" beside it is where `cp` goes.
struct PictureBenchFolder {
    QTemporaryDir work;
    QString source;
    QString copy;
    QList<QUrl> urls;
    double totalMB = 0;

    PictureBenchFolder(const PictureBenchOptions &options, const QString &prefix)
        : work(QDir(options.folder).filePath(prefix + QStringLiteral("-XXXXXX")))
    {
        if (!work.isValid()) {
            std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(options.folder));
            return;
        }
        source = work.filePath(QStringLiteral("picked"));
        copy = work.filePath(QStringLiteral("copied"));
        urls = writePictureFiles(source, options, totalMB);
    }

    // False when the folder or a file could not be written.
    bool isReady() const { return !urls.isEmpty(); }

    // Times `cp -r` of the picked files to the copy folder: the seconds until
    // cp ends, and until a following `sync` ends in `durableSeconds`; then
    // removes the copy. Negative when cp fails.
    double timeCopy(double *durableSeconds = nullptr) const
    {
        QElapsedTimer timer;
        timer.start();
        if (!runProgram(QStringLiteral("cp"), {QStringLiteral("-r"), source, copy})) {
            std::fprintf(stderr, "cp failed\n");
            return -1;
        }
        const double copySeconds = seconds(timer);
        runProgram(QStringLiteral("sync"), {});
        if (durableSeconds)
            *durableSeconds = seconds(timer);
        QDir(copy).removeRecursively();
        runProgram(QStringLiteral("sync"), {});
        return copySeconds;
    }
};
