#pragma once

#include "model/AgeSpec.h"
#include "platform/Date.h"

#include <QString>

#include <functional>
#include <optional>

class AtlasImage;
struct sqlite3;

// What an image's search text is made of, as the store holds it: its own
// values, its series' title, and the labels of its points and of its
// regions, each joined with one space in the order of its relationship
// lists (their rows' order).
struct ImageSearchValues {
    qint64 key = 0; // the image's row key (ModelObject::storeKey)
    Date createdAt;
    QString title;
    QString seriesTitle; // empty without a series
    qint64 modalityRaw = 0;
    qint64 regionRaw = 0;
    qint64 planeRaw = 0;
    AgeSpec age;
    qint64 sexRaw = 0;
    QString pointLabels;
    QString regionLabels;
};

// The same values as the image object holds them now.
ImageSearchValues searchValues(const AtlasImage &image);

// Reads the search values of every image of the store in one pass: the
// images with their series' titles, and beside them the point and region
// labels, each in row order, merged as they go (no annotation object is
// made). `visit` gets each image in row-key order (the value it is handed
// is reused for the next image) and answers whether to go on. `database` is a connection to the store,
// used on the calling thread (a StoreReadConnection on a worker thread, or
// the main context's on the main thread). Returns the database's message
// when the read fails part way.
std::optional<QString> readImageSearchValues(sqlite3 *database,
                                             const std::function<bool(const ImageSearchValues &)> &visit);
