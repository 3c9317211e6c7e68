#pragma once

#include "platform/objectstore/RowKeyMap.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>

#include <atomic>
#include <memory>
#include <vector>

class AtlasImage;
class ModelContext;
class ModelObject;

// The folded search texts of a library's images (see LibraryDerivation),
// kept end to end in one buffer so that a search is one pass over ready
// text.
//
// The texts of the whole library are made from the store in one read (the
// images with their series' titles and the labels of their points and
// regions, no annotation object made), on a worker thread, as soon as the
// context holds no unsaved change. A text whose image changes afterwards
// (the image itself, its series' title, a label of its points and regions)
// is made again from the objects when next needed, so the index always
// gives what the plain search gives; after a rollback all are read again.
// The read runs beside the event loop: ready() tells when the texts are in
// (only the search of a small library waits for it; see LibraryQuery). One
// index serves every window of a library. Main thread only.
class LibrarySearchIndex : public QObject {
    Q_OBJECT
public:
    // The context must outlive the index.
    explicit LibrarySearchIndex(ModelContext &context, QObject *parent = nullptr);
    ~LibrarySearchIndex() override;

    // The texts read from the store are in (or could not be read, and are
    // made from the objects as searches need them).
    bool isReady() const { return m_ready; }
    // The texts are being read from the store (or will be from the next
    // turn of the event loop). Not while the read waits for the context's
    // changes to be saved: searches make the texts they need from the
    // objects meanwhile.
    bool isReading() const { return m_readQueued || m_readPending; }
    // Waits for a read under way, or starts the one about to start and
    // waits for it (not for one that waits for a save).
    void waitUntilReady();

    // Where the folded search texts of `images` are kept (made now where
    // missing). A place stays its image's until generation() changes.
    std::vector<qsizetype> textsOf(const QList<AtlasImage *> &images);
    // The same for `count` of them from `from` on, appended to `places`
    // (the places already there stay theirs unless generation() changes).
    void appendTextsOf(const QList<AtlasImage *> &images, qsizetype from, qsizetype count,
                       std::vector<qsizetype> &places);
    quint64 generation() const { return m_generation; }
    // Which texts, by place, contain `foldedNeedle` (1 where one does): one
    // pass over them all.
    std::vector<char> textsContaining(QStringView foldedNeedle) const;
    // The same, scanned on the computing pool from the texts as they are
    // now, by the same places.
    QFuture<std::vector<char>> textsContainingLater(const QString &foldedNeedle) const;
    // The characters of all the texts together: how long a scan takes.
    qsizetype textLength() const { return m_texts.text.size(); }

    // The folded texts in one buffer, each image's under its row key.
    struct Texts {
        QString text;
        std::vector<qsizetype> starts{0}; // text i runs from starts[i] to starts[i + 1]
        std::vector<qint64> keys;         // the image of each text; -1 once it is out of date
        // The text of each row key, -1 for none: row keys are dense, and
        // the images come in about the order of their keys, so look-ups
        // stay in the cache.
        RowKeyMap<qsizetype, -1> textOfKey;

        qsizetype textOf(qint64 key) const { return textOfKey.value(key); }
        void append(qint64 key, QStringView folded);
        // The text folded for search on the way in.
        void appendFolding(qint64 key, QStringView text);

    private:
        void added(qint64 key);
    };

signals:
    // The texts read from the store are in: isReady() holds from now on.
    void ready();

private:
    // The model context's announcements.
    void objectChanged(ModelObject *object, const char *property);
    void objectInsertedOrDeleted(ModelObject *object);
    // Everything is read from the store again (after a rollback).
    void reload();

    void startReading();
    void adopt(Texts texts);
    qsizetype textOf(const AtlasImage &image);
    QStringView text(qsizetype i) const;
    void forget(const AtlasImage *image);
    void forgetKey(qint64 key);
    void compactIfWasteful();

    ModelContext &m_context;
    Texts m_texts;
    quint64 m_generation = 0;
    qsizetype m_liveLength = 0; // characters of texts still in date

    bool m_ready = false;
    bool m_readQueued = false;
    bool m_readPending = false;
    bool m_waitingForSave = false;
    QFutureWatcher<Texts> m_reading;
    std::shared_ptr<std::atomic<bool>> m_stopReading = std::make_shared<std::atomic<bool>>(false);
    // Images changed since the read started: their texts in it are stale.
    QSet<qint64> m_changedDuringRead;

};
