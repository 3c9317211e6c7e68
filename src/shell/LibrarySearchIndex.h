#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

class AtlasImage;
class ModelObject;

// The folded search texts of a library's images (see LibraryDerivation),
// made on first use and kept until something they are made of changes: the
// image itself, its series' title, or a label of its points and regions.
// For whole-library searches the texts of the current image list are also
// kept end to end in one buffer, so a search is one pass over ready text.
// Main thread only.
class LibrarySearchIndex {
public:
    const QString &foldedText(const AtlasImage &image);

    // The images of `images` whose search text contains the folded needle,
    // in their order. `foldedNeedle` must not be empty.
    QList<AtlasImage *> matching(const QList<AtlasImage *> &images, QStringView foldedNeedle);

    // Makes the texts of up to `count` more images of `images`, so that a
    // search finds them ready; true once every text is made and joined.
    // Meant for idle time, a slice at a time.
    bool prepare(const QList<AtlasImage *> &images, qsizetype count);
    bool isReady(const QList<AtlasImage *> &images) const;

    // Follow the model context's announcements.
    void objectChanged(ModelObject *object, const char *property);
    void objectInsertedOrDeleted(ModelObject *object);
    void clear();

    qsizetype size() const { return m_texts.size(); }

private:
    void forget(const AtlasImage *image);
    void join(const QList<AtlasImage *> &images);

    QHash<const AtlasImage *, QString> m_texts;

    // The texts of `m_joinedImages` end to end; image i owns the characters
    // from m_starts[i] up to m_starts[i + 1].
    bool m_joinedValid = false;
    QList<AtlasImage *> m_joinedImages;
    QString m_joined;
    std::vector<qsizetype> m_starts;

    qsizetype m_prepared = 0; // images of m_preparing made so far
    QList<AtlasImage *> m_preparing;
};
