// Measures ordering and searching of library-sized text sets with the
// locale-aware text operations. Prints the best of several runs, in processor time.

#include "platform/LocalizedText.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <span>
#include <vector>

namespace {

const QStringList words{
    QStringLiteral("Crâne"),   QStringLiteral("skull"),   QStringLiteral("Fémur"),    QStringLiteral("Thorax"),
    QStringLiteral("coronal"), QStringLiteral("Axial"),   QStringLiteral("slice"),    QStringLiteral("Bones"),
    QStringLiteral("nerves"),  QStringLiteral("Aorta"),   QStringLiteral("ventricle"), QStringLiteral("Hippocampus"),
    QStringLiteral("Ölfaktor"), QStringLiteral("spine"),  QStringLiteral("Pelvis"),   QStringLiteral("Knee MRI")};

QString randomText(QRandomGenerator &random, int wordCount)
{
    QString text;
    for (int i = 0; i < wordCount; ++i) {
        if (i > 0)
            text += u' ';
        QString word = words.at(random.bounded(words.size()));
        if (random.bounded(4) == 0)
            word = word.toUpper();
        text += word;
    }
    if (random.bounded(2) == 0)
        text += u' ' + QString::number(random.bounded(1, 2000));
    return text;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The fastest of several runs, in processor time of this thread: the
// machine may be busy with other work.
double bestMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = threadCpuMs();
        work();
        times.push_back(threadCpuMs() - start);
    }
    return *std::min_element(times.begin(), times.end());
}

} // namespace

int main()
{
    QRandomGenerator random(42);
    constexpr int count = 100000;

    QStringList titles;
    for (int i = 0; i < count; ++i)
        titles.append(randomText(random, 1 + random.bounded(3)));

    const double sortMs = bestMs(7, [&] {
        QStringList copy = titles;
        std::stable_sort(copy.begin(), copy.end(),
                         [](const QString &a, const QString &b) { return localizedStandardCompare(a, b) < 0; });
    });
    const double plainSortMs = bestMs(7, [&] {
        QStringList copy = titles;
        std::stable_sort(copy.begin(), copy.end(), [](const QString &a, const QString &b) { return a < b; });
    });
    std::printf("order %d titles (stable sort): %7.2f ms (by code units, for comparison: %7.2f ms)\n", count,
                sortMs, plainSortMs);

    // Search texts as the library builds them: title, series title, the
    // metadata texts, and the labels of 10 points and 2 regions.
    struct Fields {
        QString title, series;
        QStringList pointLabels, regionLabels;
    };
    std::vector<Fields> images(count);
    QStringList haystacks;
    for (Fields &image : images) {
        image.title = randomText(random, 2);
        image.series = randomText(random, 1);
        for (int p = 0; p < 10; ++p)
            image.pointLabels.append(randomText(random, 2));
        for (int r = 0; r < 2; ++r)
            image.regionLabels.append(randomText(random, 2));
    }
    auto buildHaystack = [](const Fields &image) {
        return image.title + u' ' + image.series + QStringLiteral(" CT Computed Tomography (CT) Head Axial 24 years Male ")
            + image.pointLabels.join(u' ') + u' ' + image.regionLabels.join(u' ');
    };
    qsizetype totalLength = 0;
    for (const Fields &image : images) {
        haystacks.append(buildHaystack(image));
        totalLength += haystacks.last().size();
    }
    std::printf("search texts: %d, average %lld characters\n", count, static_cast<long long>(totalLength / count));

    for (const QString &query : {QStringLiteral("crane"), QStringLiteral("FEMUR 12"), QStringLiteral("zzzz")}) {
        int found = 0;
        const double prebuiltMs = bestMs(7, [&] {
            const LocalizedSearchNeedle needle(query);
            found = 0;
            for (const QString &haystack : haystacks)
                found += needle.isFoundIn(haystack) ? 1 : 0;
        });
        const double withBuildMs = bestMs(7, [&] {
            const LocalizedSearchNeedle needle(query);
            found = 0;
            for (const Fields &image : images)
                found += needle.isFoundIn(buildHaystack(image)) ? 1 : 0;
        });
        int foundJoined = 0;
        const double joinedMs = bestMs(7, [&] {
            const LocalizedSearchNeedle needle(query);
            foundJoined = 0;
            const QString metadata = QStringLiteral("CT Computed Tomography (CT) Head Axial 24 years Male");
            for (const Fields &image : images) {
                QVarLengthArray<QStringView, 32> parts{image.title, image.series, metadata};
                for (const QString &label : image.pointLabels)
                    parts.append(label);
                for (const QString &label : image.regionLabels)
                    parts.append(label);
                foundJoined += needle.isFoundInJoined(std::span(parts.constData(), parts.size())) ? 1 : 0;
            }
        });
        if (foundJoined != found)
            std::printf("matching the joined parts found %d, not %d\n", foundJoined, found);
        int foundExactly = 0;
        const double exactMs = bestMs(7, [&] {
            foundExactly = 0;
            for (const QString &haystack : haystacks)
                foundExactly += haystack.contains(query) ? 1 : 0;
        });
        std::printf("search \"%s\" (%d found):\n"
                    "  matching built texts        %7.2f ms\n"
                    "  building texts and matching %7.2f ms\n"
                    "  matching the parts joined   %7.2f ms\n"
                    "  exact QString::contains     %7.2f ms (for comparison)\n",
                    qPrintable(query), found, prebuiltMs, withBuildMs, joinedMs, exactMs);
    }
    return 0;
}
