#pragma once

#include "model/AtlasImage.h"
#include "support/TestPictures.h"
#include "model/LibraryEntry.h"
#include "model/Series.h"
#include "browser/ThumbnailCache.h"
#include "platform/CloudAccountService.h"
#include "platform/ImageDecoder.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QMutex>
#include <QWaitCondition>
#include <QWidgetAction>

#include <atomic>
#include <memory>
#include <vector>

// Models kept alive for a test, in no store.
struct TestLibrary {
    std::vector<std::shared_ptr<Series>> series;
    std::vector<std::shared_ptr<AtlasImage>> images;

    AtlasImage *image(const QString &title, std::optional<QByteArray> bytes = std::nullopt, Series *in = nullptr)
    {
        images.push_back(AtlasImage::make(title, Modality::mr, Region::head, Plane::axial, AgeSpec{5, 34}, Sex::male,
                                          bytes, 0, in));
        return images.back().get();
    }
    Series *makeSeries(const QString &title)
    {
        series.push_back(Series::make(title));
        return series.back().get();
    }
    static LibraryEntry entry(AtlasImage *image) { return LibraryEntry::image(image); }
    static LibraryEntry entry(Series *series) { return LibraryEntry::series({series, series->images()}); }
};

// An account service that never answers; tests set the status directly.
class SilentAccountService final : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion) override {}
};

// The titles of a menu's items, "-" for a separator; widget items (the
// grid's preview) left out.
inline QStringList menuTitles(const QMenu *menu)
{
    QStringList result;
    for (QAction *action : menu->actions()) {
        if (qobject_cast<QWidgetAction *>(action))
            continue;
        result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return result;
}

// The texts a picker offers, in order.
inline QStringList pickerItems(const QComboBox *picker)
{
    QStringList result;
    for (int i = 0; i < picker->count(); ++i)
        result << picker->itemText(i);
    return result;
}

inline QAction *menuItem(const QMenu *menu, const QString &title)
{
    for (QAction *action : menu->actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

// A decoder that the test holds at a gate, counting what it is asked for.
struct GatedDecoder {
    QMutex mutex;
    QWaitCondition opened;
    bool open = false;
    std::atomic<int> calls{0};
    QList<QByteArray> seen;

    ThumbnailCache::Decoder decoder()
    {
        return [this](const EncodedImage &image, int maxPixelSize) {
            ++calls;
            QMutexLocker lock(&mutex);
            seen.append(image.bytes());
            while (!open)
                opened.wait(&mutex);
            return image.bytes() == "bad" ? QImage() : ImageDecoder::decode(image, maxPixelSize);
        };
    }
    void release()
    {
        QMutexLocker lock(&mutex);
        open = true;
        opened.wakeAll();
    }
};
