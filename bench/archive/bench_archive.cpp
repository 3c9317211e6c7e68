// Measures the library archive on 2,000 images totalling 1 GiB, side by
// side with the baselines it is held to. Run by hand (see bench/README.md):
//
//   build/bench/archive/bench_archive [folder for the 1 GiB archive]

#include "archive/LibraryArchive.h"
#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveFile.h"
#include "archive/ZipArchive.h"
#include "support/PeakMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>

namespace {

constexpr int imageCount = 2000;
constexpr qint64 totalBytes = qint64(1) << 30;

QTextStream out(stdout);

// Incompressible bytes, like the compressed image files of a library.
QByteArray noise(qsizetype size, quint64 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint64 x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (qsizetype i = 0; i + 8 <= size; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(bytes.data() + i, &x, 8);
    }
    return bytes;
}

LibraryArchiveContents makeContents()
{
    LibraryArchiveContents contents;
    contents.manifest.formatVersion = 1;
    contents.manifest.exportedAt = Date::now();
    contents.manifest.application = {QStringLiteral("Veloran"), QStringLiteral("1.0"), QString()};
    for (int i = 0; i < imageCount; ++i) {
        LibraryArchiveManifest::ImageRecord record;
        record.id = QUuid::createUuid();
        record.title = QStringLiteral("Image %1").arg(i);
        record.createdAt = contents.manifest.exportedAt;
        record.sortIndex = i;
        record.imagePath = QStringLiteral("images/%1.png").arg(record.id.toString(QUuid::WithoutBraces).toUpper());
        contents.imageFiles.insert(*record.imagePath, noise(totalBytes / imageCount, quint64(i)));
        contents.manifest.images.append(record);
    }
    return contents;
}

template <typename F>
double seconds(F &&work, int repeats = 3)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = qMin(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

double toolSeconds(const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return -1;
    return seconds(
        [&] {
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(program, arguments);
            process.waitForFinished(-1);
            process.readAll();
            if (process.exitCode() != 0)
                qFatal("%s failed", qPrintable(program));
        },
        2);
}

// Child mode: read and check one archive, then report the peak memory.
int readPeak(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const qint64 before = peakResidentKiB();
    file.close();
    const QByteArray bytes = LibraryArchiveFile::read(path).value();
    const auto contents = LibraryArchiveContents::fromArchiveData(bytes);
    if (!contents.ok())
        return 2;
    out << before << ' ' << peakResidentKiB() << Qt::endl;
    return 0;
}

void compareDecoders()
{
    const QByteArray data = noise(256 << 20, 99);
    const double zlibCrc = seconds([&] {
        volatile uLong crc = ::crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
        (void)crc;
    });
    const double deflateCrc = seconds([&] {
        volatile quint32 crc = libdeflate_crc32(0, data.constData(), size_t(data.size()));
        (void)crc;
    });
    out << QStringLiteral("CRC-32 of 256 MiB:   zlib %1 GB/s, libdeflate %2 GB/s\n")
               .arg(0.268435456 / zlibCrc, 0, 'f', 2)
               .arg(0.268435456 / deflateCrc, 0, 'f', 2);

    // Inflating text-like data (a manifest repeated) of 64 MiB.
    QByteArray text;
    text.reserve(64 << 20);
    const QList<QByteArray> words{"rib", "sternum", "lung", "axial", "coronal", "label", "0.25", "region", "{", "}",
                                  "\"id\":", "vertebra", "femur", "tibia", "\n", "link", "https://", "group"};
    quint32 pick = 1;
    while (text.size() < (64 << 20)) {
        pick = pick * 1664525u + 1013904223u;
        text += words[(pick >> 16) % words.size()];
        text += ' ';
    }
    QByteArray packed(qsizetype(compressBound(uLong(text.size()))), Qt::Uninitialized);
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    s.avail_in = uInt(text.size());
    s.next_out = reinterpret_cast<Bytef *>(packed.data());
    s.avail_out = uInt(packed.size());
    deflate(&s, Z_FINISH);
    packed.truncate(qsizetype(s.total_out));
    deflateEnd(&s);
    QByteArray target(text.size(), Qt::Uninitialized);
    const double zlibInflate = seconds([&] {
        z_stream d{};
        inflateInit2(&d, -MAX_WBITS);
        d.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
        d.avail_in = uInt(packed.size());
        d.next_out = reinterpret_cast<Bytef *>(target.data());
        d.avail_out = uInt(target.size());
        inflate(&d, Z_FINISH);
        inflateEnd(&d);
    });
    libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
    const double deflateInflate = seconds([&] {
        size_t written = 0;
        libdeflate_deflate_decompress(decompressor, packed.constData(), size_t(packed.size()), target.data(),
                                      size_t(target.size()), &written);
    });
    libdeflate_free_decompressor(decompressor);
    out << QStringLiteral("Inflate 64 MiB:      zlib %1 GB/s, libdeflate %2 GB/s\n")
               .arg(text.size() / zlibInflate / 1e9, 0, 'f', 2)
               .arg(text.size() / deflateInflate / 1e9, 0, 'f', 2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--read-peak"))
        return readPeak(arguments[2]);

    QTemporaryDir folder(arguments.size() > 1 ? arguments[1] + QStringLiteral("/bench-XXXXXX") : QString());
    if (!folder.isValid())
        qFatal("no temporary folder");

    compareDecoders();

    out << "Making " << imageCount << " images of " << totalBytes / imageCount << " bytes..." << Qt::endl;
    const LibraryArchiveContents contents = makeContents();

    // Baseline: the same bytes copied into one buffer, and their CRC-32.
    QByteArray copy;
    auto copyWithChecksums = [&] {
        char *at = copy.data();
        quint32 crc = 0;
        for (const QByteArray &bytes : contents.imageFiles) {
            std::memcpy(at, bytes.constData(), size_t(bytes.size()));
            crc ^= ZipArchive::crc32(bytes);
            at += bytes.size();
        }
        if (crc == 0x12345678)
            out << "";
    };
    const double baseline = seconds([&] {
        copy = QByteArray();
        copy = QByteArray(totalBytes + (1 << 20), Qt::Uninitialized);
        copyWithChecksums();
    });
    // The same into a buffer whose memory is already in place.
    const double warmBaseline = seconds(copyWithChecksums);
    copy = QByteArray();

    QByteArray archive;
    const double writing = seconds([&] {
        archive = QByteArray();
        archive = contents.archiveData().value();
    });
    out << QStringLiteral("Writing in memory:   %1 s; copy + CRC-32 into a new buffer %2 s, ratio %3 (at most 1.5); "
                          "into a buffer already in memory %4 s, ratio %5\n")
               .arg(writing, 0, 'f', 3)
               .arg(baseline, 0, 'f', 3)
               .arg(writing / baseline, 0, 'f', 2)
               .arg(warmBaseline, 0, 'f', 3)
               .arg(writing / warmBaseline, 0, 'f', 2);

    const QString path = folder.filePath(QStringLiteral("library.veloran"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(archive) != archive.size())
            qFatal("can't write %s", qPrintable(path));
    }
    const qint64 archiveSize = archive.size();
    archive = QByteArray();

    const double reading = seconds([&] {
        const auto read = LibraryArchiveContents::fromArchiveData(LibraryArchiveFile::read(path).value());
        if (!read.ok() || read.value().imageFiles.size() != imageCount)
            qFatal("read failed");
    });
    const QByteArray inMemory = LibraryArchiveFile::read(path).value();
    const double parsing = seconds([&] {
        const auto read = LibraryArchiveContents::fromArchiveData(inMemory);
        if (!read.ok() || read.value().imageFiles.size() != imageCount)
            qFatal("read failed");
    });
    const double unzip = toolSeconds(QStringLiteral("unzip"), {QStringLiteral("-tqq"), path});
    const double python = toolSeconds(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import sys, zipfile; assert zipfile.ZipFile(sys.argv[1]).testzip() is None"),
         path});
    out << QStringLiteral("Reading and verifying: file to contents %1 s; bytes in memory to contents %2 s\n")
               .arg(reading, 0, 'f', 3)
               .arg(parsing, 0, 'f', 3);
    out << QStringLiteral("  unzip -t: %1 s (%2 times ours)\n").arg(unzip, 0, 'f', 3).arg(unzip / reading, 0, 'f', 1);
    out << QStringLiteral("  Python testzip(): %1 s (%2 times ours)\n")
               .arg(python, 0, 'f', 3)
               .arg(python / reading, 0, 'f', 1);

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read-peak"), path});
    child.waitForFinished(-1);
    const QList<QByteArray> peak = child.readAllStandardOutput().trimmed().split(' ');
    if (peak.size() == 2) {
        const double peakBytes = peak[1].toDouble() * 1024;
        out << QStringLiteral("Peak memory reading the %1-byte archive: %2 MiB (%3 MiB before reading), %4 times its size "
                              "(at most 1.25)\n")
                   .arg(archiveSize)
                   .arg(peakBytes / 1048576, 0, 'f', 1)
                   .arg(peak[0].toDouble() / 1024, 0, 'f', 1)
                   .arg(peakBytes / double(archiveSize), 0, 'f', 3);
    } else {
        out << "Peak memory: the reading process failed" << Qt::endl;
    }
    return 0;
}
