// Time to make a 500-pixel thumbnail of a 6000 by 4000 picture, as JPEG
// and as PNG, with ImageDecoder::decode and, side by side on the
// same files, with vipsthumbnail.
//
//   build/bench/browser/bench_thumbnail [--rounds N]
//
// Target: the JPEG thumbnail within twice vipsthumbnail's time. Prints
// PASS or FAIL (exit code 2).

#include "SampleLibrary.h"

#include "platform/ImageDecoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <cstdio>

namespace {

struct Timing {
    double best = 1e99;
    double median = 0;
};

template<class Work>
Timing measure(int rounds, Work work)
{
    QList<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times.first(), times.at(times.size() / 2)};
}

// Runs a program to its end, its output discarded.
void run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(-1);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    int rounds = 7;
    const QStringList arguments = app.arguments();
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--rounds")); at >= 0 && at + 1 < arguments.size())
        rounds = std::max(1, arguments.at(at + 1).toInt());

    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty()) {
        std::fprintf(stderr, "vipsthumbnail not found (Debian package libvips-tools)\n");
        return 1;
    }
    QTemporaryDir folder;
    std::printf("Making a 6000 x 4000 picture...\n");
    const QImage picture = sample::scanPicture(QSize(6000, 4000), 7);
    const QByteArray jpeg = sample::encoded(picture, "JPEG", 90);
    const QByteArray png = sample::encoded(picture, "PNG");
    const QString jpegPath = folder.filePath(QStringLiteral("scan.jpg"));
    const QString pngPath = folder.filePath(QStringLiteral("scan.png"));
    if (!writeFile(jpegPath, jpeg) || !writeFile(pngPath, png))
        return 1;
    std::printf("JPEG %.1f MB, PNG %.1f MB, %d rounds each (best / median, ms)\n\n", jpeg.size() / 1e6,
                png.size() / 1e6, rounds);

    bool pass = true;
    for (const auto &[name, path, bytes] :
         {std::tuple{"JPEG", jpegPath, jpeg}, std::tuple{"PNG", pngPath, png}}) {
        QSize size;
        const Timing ours = measure(rounds, [&] { size = ImageDecoder::decode(bytes, 500).size(); });
        const QString output = folder.filePath(QStringLiteral("vips-%s.jpg"));
        const Timing theirs = measure(rounds, [&] {
            run(vips, {path, QStringLiteral("--size"), QStringLiteral("500"), QStringLiteral("-o"),
                                     output});
        });
        // vipsthumbnail's own start-up, to tell it apart from the work.
        const Timing startup = measure(rounds, [&] { run(vips, {QStringLiteral("--version")}); });
        std::printf("%-4s  ImageDecoder  %7.1f / %7.1f   -> %dx%d\n", name, ours.best, ours.median, size.width(),
                    size.height());
        std::printf("      vipsthumbnail %7.1f / %7.1f   (process start-up alone %.1f / %.1f)\n", theirs.best,
                    theirs.median, startup.best, startup.median);
        const double ratio = ours.median / theirs.median;
        std::printf("      ratio %.2f\n\n", ratio);
        if (std::strcmp(name, "JPEG") == 0 && ratio > 2.0)
            pass = false;
    }
    std::printf("%s: JPEG thumbnail within 2x vipsthumbnail\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 2;
}
