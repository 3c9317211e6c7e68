#pragma once

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "model/StoreTestSupport.h"
#include "platform/CloudAccountService.h"
#include "support/TestPictures.h"

#include <QDir>
#include <QMetaObject>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

// The images' titles, in order.
inline QStringList imageTitles(const QList<AtlasImage *> &images)
{
    QStringList list;
    for (const AtlasImage *image : images)
        list << image->title();
    return list;
}

// A library for tests: in memory, or on disk in a temporary folder. An
// on-disk library can be made to refuse every write (FailingWrites).
class TestLibrary {
public:
    explicit TestLibrary(bool onDisk = false)
    {
        if (onDisk) {
            m_folder = std::make_unique<QTemporaryDir>();
            m_container = makeTestContainer(m_folder->path());
        } else {
            m_container = makeTestContainer();
        }
    }

    ModelContainer &container() { return *m_container; }
    ModelContext &context() { return m_container->mainContext(); }
    QString folder() const { return m_folder ? m_folder->path() : QString(); }

    Series *series(const QString &title, double createdAt = 0)
    {
        Series *series = context().insert(Series::make(title));
        series->setCreatedAt(Date{createdAt});
        return series;
    }

    AtlasImage *image(const QString &title, Series *series = nullptr, qint64 sortIndex = 0, double createdAt = 0,
                      Modality modality = Modality::mr)
    {
        AtlasImage *image = context().insert(AtlasImage::make(title, modality, Region::head, Plane::axial, AgeSpec{},
                                                              Sex::female, QByteArray("bytes of ") + title.toUtf8(),
                                                              sortIndex));
        image->setCreatedAt(Date{createdAt});
        if (series)
            image->setSeries(series);
        return image;
    }

    // Images "i0", "i1", … of `series` with sort indices 0, 1, ….
    QList<AtlasImage *> images(Series *series, int count)
    {
        QList<AtlasImage *> images;
        for (int i = 0; i < count; ++i)
            images << image(QStringLiteral("i%1").arg(i), series, i);
        return images;
    }

    // An image whose bytes are large enough for an on-disk library to keep
    // them in a file beside the store.
    AtlasImage *largeImage(const QString &title, Series *series = nullptr)
    {
        AtlasImage *large = image(title, series);
        large->setImageData(pngBytes(Qt::red, QSize(300, 300)) + QByteArray(300 * 1024, 'x'));
        return large;
    }

    // Removes the files of image bytes beside the store (on-disk libraries only).
    void removeImageFiles()
    {
        QDir files(externalFolderOf(folder()));
        for (const QString &name : files.entryList(QDir::Files)) {
            if (!files.remove(name))
                qFatal("cannot remove %s", qPrintable(name));
        }
    }

    PointAnnotation *point(AtlasImage *image, const QString &label)
    {
        PointAnnotation *point = context().insert(PointAnnotation::make(label, {}, std::nullopt, 0.25, 0.75));
        point->setImage(image);
        return point;
    }

    RegionAnnotation *region(AtlasImage *image, const QString &label)
    {
        RegionAnnotation *region = context().insert(RegionAnnotation::make(label));
        region->setImage(image);
        return region;
    }

    void save() { context().save(); }

    // Every write of the store fails from now on (on-disk libraries only).
    void failWrites(bool fail)
    {
        if (!m_folder)
            qFatal("only an on-disk library can fail");
        if (!m_failing)
            m_failing = std::make_unique<FailingWrites>(m_folder->path());
        m_failing->set(fail);
    }

    // A second container on the same file: what the store really holds.
    std::unique_ptr<ModelContainer> reopen() const { return makeTestContainer(m_folder->path()); }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<FailingWrites> m_failing;
};

inline QUrl writeTestFile(const QTemporaryDir &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return QUrl::fromLocalFile(path);
}

// An account service driven by the test: it keeps each request until the
// test answers it, oldest first, or, given a reply, answers every request
// with it on the next turn of the event loop.
class FakeCloudAccountService : public CloudAccountService {
public:
    FakeCloudAccountService() = default;
    explicit FakeCloudAccountService(CloudAccountStatusReply reply) : reply(std::move(reply)) {}

    void requestAccountStatus(const QString &containerIdentifier, Completion completion) override
    {
        containers << containerIdentifier;
        if (reply)
            QMetaObject::invokeMethod(this, [this, completion] { completion(*reply); }, Qt::QueuedConnection);
        else
            pending.append(std::move(completion));
    }

    void answer(const CloudAccountStatusReply &answer)
    {
        QVERIFY2(!pending.isEmpty(), "no request to answer");
        pending.takeFirst()(answer);
    }
    void answer(CloudAccountStatus status) { answer(CloudAccountStatusReply::withStatus(status)); }
    void changeAccount() { emit accountChanged(); }

    QStringList containers; // of every request, in order
    QList<Completion> pending;
    std::optional<CloudAccountStatusReply> reply;
};
