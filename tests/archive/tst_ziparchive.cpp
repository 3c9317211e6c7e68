#include "ZipTestSupport.h"
#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"
#include "archive/ZipArchiveWriter.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// Reads `archive` both keeping every entry and keeping none; the two must
// agree, and the first is returned.
Result<ZipArchiveReader::Entries, ZipArchiveError> readBothWays(const QByteArray &archive)
{
    auto all = ZipArchiveReader::entries(archive);
    const auto none = ZipArchiveReader::entries(archive, [](const QString &) { return false; });
    if (all.ok() != none.ok() || (!all.ok() && !(all.error() == none.error())))
        qFatal("reading with and without keeping entries disagrees");
    return all;
}

ZipArchiveError readError(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    if (result.ok())
        return ZipArchiveError{ZipArchiveError::Kind::archiveTooLarge, 0xBEEF, QStringLiteral("read succeeded")};
    return result.error();
}

ZipArchiveReader::Entries readEntries(const QByteArray &archive)
{
    const auto result = readBothWays(archive);
    if (!result.ok())
        qWarning("unexpected read failure: %s", qPrintable(result.error().description()));
    return result.ok() ? result.value() : ZipArchiveReader::Entries{{QStringLiteral("<failed>"), {}}};
}

QByteArray endRecord(quint16 count, quint32 offset, const QByteArray &comment = {})
{
    QByteArray out;
    put32(out, 0x06054B50);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, 0);
    put32(out, offset);
    put16(out, quint32(comment.size()));
    return out + comment;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : out)
        c = char(generator.bounded(256));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(RawZipEntry)

class ZipArchiveTest : public QObject {
    Q_OBJECT
private slots:
    void crc32MatchesThePublishedCheckValueAndZlib()
    {
        QCOMPARE(ZipArchive::crc32(QByteArray()), 0u);
        QCOMPARE(ZipArchive::crc32(QByteArrayLiteral("123456789")), 0xCBF43926u);
        for (qsizetype size : {1, 7, 63, 64, 1000, 65537}) {
            const QByteArray data = randomBytes(size, quint32(size));
            const quint32 expected =
                quint32(::crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
            QCOMPARE(ZipArchive::crc32(data), expected);
            const qsizetype half = size / 2;
            QCOMPARE(ZipArchive::crc32(data.mid(half), ZipArchive::crc32(data.left(half))), expected);
        }
    }

    void writerLaysOutHeadersExactly()
    {
        const auto empty = ZipArchiveWriter::archive({});
        QVERIFY(empty.ok());
        QCOMPARE(empty.value(), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));

        const auto one = ZipArchiveWriter::archive({{QStringLiteral("library.json"), QByteArrayLiteral("{}")}});
        QVERIFY(one.ok());
        const QByteArray &a = one.value();
        QCOMPARE(a.size(), 124);
        const quint32 crc = ZipArchive::crc32(QByteArrayLiteral("{}"));
        // Local header.
        QCOMPARE(get32(a, 0), 0x04034B50u);
        QCOMPARE(get16(a, 4), 20);
        QCOMPARE(get16(a, 6), 0x0800);
        QCOMPARE(get16(a, 8), 0);
        QCOMPARE(get16(a, 10), 0);
        QCOMPARE(get16(a, 12), 33);
        QCOMPARE(get32(a, 14), crc);
        QCOMPARE(get32(a, 18), 2u);
        QCOMPARE(get32(a, 22), 2u);
        QCOMPARE(get16(a, 26), 12);
        QCOMPARE(get16(a, 28), 0);
        QCOMPARE(a.mid(30, 14), QByteArrayLiteral("library.json{}"));
        // Central header.
        QCOMPARE(get32(a, 44), 0x02014B50u);
        QCOMPARE(get16(a, 44 + 4), 20);
        QCOMPARE(get16(a, 44 + 6), 20);
        QCOMPARE(get16(a, 44 + 8), 0x0800);
        QCOMPARE(get16(a, 44 + 10), 0);
        QCOMPARE(get16(a, 44 + 12), 0);
        QCOMPARE(get16(a, 44 + 14), 33);
        QCOMPARE(get32(a, 44 + 16), crc);
        QCOMPARE(get32(a, 44 + 20), 2u);
        QCOMPARE(get32(a, 44 + 24), 2u);
        QCOMPARE(get16(a, 44 + 28), 12);
        QCOMPARE(a.mid(44 + 30, 16), QByteArray(16, '\0'));
        QCOMPARE(a.mid(44 + 46, 12), QByteArrayLiteral("library.json"));
        // End record.
        QCOMPARE(get32(a, 102), 0x06054B50u);
        QCOMPARE(get16(a, 102 + 8), 1);
        QCOMPARE(get16(a, 102 + 10), 1);
        QCOMPARE(get32(a, 102 + 12), 58u);
        QCOMPARE(get32(a, 102 + 16), 44u);
        QCOMPARE(get16(a, 102 + 20), 0);
    }

    void writerKeepsOrderAndDuplicatesAndReadsBack()
    {
        const QList<ZipEntry> entries{
            {QStringLiteral("b"), QByteArrayLiteral("first b")},
            {QStringLiteral("\u00E9t\u00E9/\U0001F600.png"), randomBytes(5000, 1)},
            {QStringLiteral("folder/"), QByteArrayLiteral("ignored on reading")},
            {QString(), QByteArrayLiteral("nameless")},
            {QStringLiteral("a"), QByteArray()},
            {QStringLiteral("b"), QByteArrayLiteral("second b")},
        };
        const auto written = ZipArchiveWriter::archive(entries);
        QVERIFY(written.ok());
        // Local headers in input order.
        qsizetype at = 0;
        for (const ZipEntry &entry : entries) {
            const QByteArray name = entry.path.toUtf8();
            QCOMPARE(get32(written.value(), at), 0x04034B50u);
            QCOMPARE(written.value().mid(at + 30, name.size()), name);
            at += 30 + name.size() + entry.data.size();
        }
        QCOMPARE(ZipArchiveWriter::archiveSize(entries).value(), written.value().size());
        const auto entriesRead = readEntries(written.value());
        QCOMPARE(entriesRead.size(), 4);
        QCOMPARE(entriesRead.value(QStringLiteral("b")), QByteArrayLiteral("second b"));
        QCOMPARE(entriesRead.value(entries[1].path), entries[1].data);
        QCOMPARE(entriesRead.value(QString()), QByteArrayLiteral("nameless"));
        QVERIFY(entriesRead.contains(QStringLiteral("a")));
        QVERIFY(!entriesRead.contains(QStringLiteral("folder/")));
    }

    void writerRefusesWhatCannotBeReadBack()
    {
        // 65,535 entries would put the Zip64 marker 0xFFFF in the end record,
        // which readers refuse: the writer refuses that many itself.
        QList<ZipEntry> entries;
        entries.reserve(0xFFFF);
        for (int i = 0; i < 0xFFFE; ++i)
            entries.append({QString::number(i), QByteArray()});
        const auto most = ZipArchiveWriter::archive(entries);
        QVERIFY(most.ok());
        QCOMPARE(readEntries(most.value()).size(), 0xFFFE);
        entries.append({QStringLiteral("one more"), QByteArray()});
        QCOMPARE(ZipArchiveWriter::archive(entries).error(), ZipArchiveError::archiveTooLarge());
        QCOMPARE(ZipArchiveWriter::archive(entries).error().description(),
                 QStringLiteral("The archive is too large to write in the zip format."));

        const QString longest(0xFFFF, QLatin1Char('n'));
        const auto longName = ZipArchiveWriter::archive({{longest, QByteArrayLiteral("x")}});
        QVERIFY(longName.ok());
        QCOMPARE(readEntries(longName.value()).value(longest), QByteArrayLiteral("x"));
        QCOMPARE(ZipArchiveWriter::archive({{longest + QLatin1Char('n'), QByteArray()}}).error(),
                 ZipArchiveError::archiveTooLarge());
        // A two-byte character past the limit.
        QCOMPARE(ZipArchiveWriter::archive({{QString(0xFFFE, QLatin1Char('n')) + QChar(0xE9), QByteArray()}}).error(),
                 ZipArchiveError::archiveTooLarge());
    }

    void writerRefusesATooLargeLibraryBeforeCopying()
    {
        // Three entries sharing one 1.5 GiB buffer whose pages are never
        // touched: the layout is over 4 GiB, and the writer must see that from
        // the lengths alone, without reserving or copying anything.
        const QByteArray large(qsizetype(3) << 29, Qt::Uninitialized);
        const QList<ZipEntry> entries{{QStringLiteral("a"), large}, {QStringLiteral("b"), large}, {QStringLiteral("c"), large}};
        QCOMPARE(ZipArchiveWriter::archiveSize(entries).error(), ZipArchiveError::archiveTooLarge());
        QCOMPARE(ZipArchiveWriter::archive(entries).error(), ZipArchiveError::archiveTooLarge());
    }

    void endRecordIsFoundWithinItsWindowOnly()
    {
        QCOMPARE(readError(QByteArray(21, '\0')), ZipArchiveError::notAZipArchive());
        QCOMPARE(readError(QByteArray(5000, 'x')), ZipArchiveError::notAZipArchive());
        QCOMPARE(ZipArchiveError::notAZipArchive().description(), QStringLiteral("The file isn't a zip archive."));
        QVERIFY(readEntries(endRecord(0, 0)).isEmpty());
        QVERIFY(readEntries(endRecord(0, 0x12345678)).isEmpty());

        const QList<RawZipEntry> one{storedEntry("a.txt", "alpha")};
        QCOMPARE(readEntries(buildZip(one, {QByteArray(0xFFFF, 'c'), {}, {}})).value("a.txt"), QByteArray("alpha"));
        // The comment length field can't say 65,536, but a record followed by
        // that many bytes lies outside the window all the same.
        QCOMPARE(readError(buildZip(one, {QByteArray(0xFFFF, 'c'), {}, {}}) + "c"), ZipArchiveError::notAZipArchive());

        // A second record inside the comment is nearer the end and wins.
        const QByteArray fake = endRecord(0, 0);
        QVERIFY(readEntries(buildZip(one, {fake + "tail", {}, {}})).isEmpty());
    }

    void zip64MarkersAreRefused()
    {
        const QList<RawZipEntry> one{storedEntry("a", "alpha")};
        QCOMPARE(readError(buildZip(one, {{}, quint16(0xFFFF), {}})), ZipArchiveError::unsupportedZip64());
        QCOMPARE(readError(buildZip(one, {{}, {}, 0xFFFFFFFFu})), ZipArchiveError::unsupportedZip64());
        QCOMPARE(ZipArchiveError::unsupportedZip64().description(), QStringLiteral("Zip64 archives aren't supported."));
        for (int field = 0; field < 3; ++field) {
            RawZipEntry e = storedEntry("a", "alpha");
            (field == 0 ? e.compressedSize : field == 1 ? e.uncompressedSize : *(e.localHeaderOffset = 0)) = 0xFFFFFFFF;
            QCOMPARE(readError(buildZip({e})), ZipArchiveError::unsupportedZip64());
        }
    }

    void damagedStructuresAreTruncated()
    {
        const QList<RawZipEntry> one{storedEntry("a", "alpha")};
        QCOMPARE(readError(buildZip(one, {{}, {}, 100000u})), ZipArchiveError::truncated());
        QCOMPARE(readError(buildZip(one, {{}, {}, 1u})), ZipArchiveError::truncated());
        QCOMPARE(readError(buildZip(one, {{}, quint16(2), {}})), ZipArchiveError::truncated());
        RawZipEntry badLocal = storedEntry("a", "alpha");
        badLocal.localHeaderOffset = 3;
        QCOMPARE(readError(buildZip({badLocal})), ZipArchiveError::truncated());
        RawZipEntry pastEnd = storedEntry("a", "alpha");
        pastEnd.compressedSize = pastEnd.uncompressedSize = 1000;
        QCOMPARE(readError(buildZip({pastEnd})), ZipArchiveError::truncated());
        QCOMPARE(ZipArchiveError::truncated().description(), QStringLiteral("The archive is incomplete or damaged."));

        QCOMPARE(readError(buildZip({storedEntry("bad\xC3(name", "x")})), ZipArchiveError::truncated());
        QCOMPARE(readError(buildZip({storedEntry("\xED\xA0\x80", "x")})), ZipArchiveError::truncated()); // a surrogate
        QCOMPARE(readError(buildZip({storedEntry("\xC0\xAF", "x")})), ZipArchiveError::truncated());     // overlong
        // A sequence cut short at the end of a name is as invalid as one in
        // its middle: two different names can't read as one.
        QCOMPARE(readError(buildZip({storedEntry("name\xC3", "x")})), ZipArchiveError::truncated());
        QCOMPARE(readError(buildZip({storedEntry("a", "x"), storedEntry("a\xE2\x82", "y")})),
                 ZipArchiveError::truncated());
        // A byte order mark is part of the name.
        QVERIFY(readEntries(buildZip({storedEntry("\xEF\xBB\xBFname", "x")})).contains(QStringLiteral("\uFEFFname")));
    }

    void entriesSharingTheirBytesAreRefusedBeforeAnyIsInflated_data()
    {
        QTest::addColumn<QList<RawZipEntry>>("entries");
        const QByteArray zeros(1 << 20, '\0');
        RawZipEntry shared = deflatedEntry("0", zeros);
        QList<RawZipEntry> bomb{shared};
        for (int i = 1; i < 32; ++i) {
            RawZipEntry again = shared;
            again.name = QByteArray::number(i);
            again.localHeaderOffset = 0; // every record points at the first stream
            again.payload.clear();
            bomb.append(again);
        }
        QTest::newRow("32 records, one stream") << bomb;
        RawZipEntry second = storedEntry("b", "alpha");
        second.localHeaderOffset = 0;
        second.localName = QByteArray("a");
        QTest::newRow("two names, one local header") << QList<RawZipEntry>{storedEntry("a", "alpha"), second};
        // An entry whose data holds another's local header; the overlap is
        // judged before the first entry's own damage.
        const QByteArray nested = buildZip({storedEntry("b", "beta")});
        RawZipEntry damaged = storedEntry("a", nested.left(30 + 1 + 4));
        damaged.crc ^= 1;
        RawZipEntry inside = storedEntry("b", "beta");
        inside.localHeaderOffset = 30 + 1;
        QTest::newRow("a record inside another's data") << QList<RawZipEntry>{damaged, inside};
    }

    void entriesSharingTheirBytesAreRefusedBeforeAnyIsInflated()
    {
        QFETCH(QList<RawZipEntry>, entries);
        QCOMPARE(readError(buildZip(entries)), ZipArchiveError::truncated());
    }

    void directoriesAreSkippedAndTheLastDuplicateWins()
    {
        RawZipEntry folder = storedEntry("photos/", "damaged");
        folder.method = 12;
        folder.crc = 1;
        folder.compressedSize = 99999;
        const auto entries = readEntries(
            buildZip({storedEntry("x", "first"), folder, deflatedEntry("x", "second"), storedEntry("y", "")}));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.value("x"), QByteArray("second"));
        QCOMPARE(entries.value("y"), QByteArray());
    }

    void sizesAndChecksumsAreVerified()
    {
        RawZipEntry sizes = storedEntry("a.png", "alpha");
        sizes.uncompressedSize = 4;
        QCOMPARE(readError(buildZip({sizes})), ZipArchiveError::checksumMismatch("a.png"));
        RawZipEntry crc = storedEntry("a.png", "alpha");
        crc.crc ^= 1;
        QCOMPARE(readError(buildZip({crc})), ZipArchiveError::checksumMismatch("a.png"));
        QCOMPARE(ZipArchiveError::checksumMismatch("a.png").description(),
                 QStringLiteral("\u201Ca.png\u201D failed its checksum and may be damaged."));
        RawZipEntry deflatedCrc = deflatedEntry("d", randomBytes(3000, 2));
        deflatedCrc.crc ^= 0x80000000;
        QCOMPARE(readError(buildZip({deflatedCrc})), ZipArchiveError::checksumMismatch("d"));
    }

    void deflatedEntriesFollowTheDecoderRules()
    {
        const QByteArray text = QByteArray("The quick brown fox. ").repeated(500);
        QCOMPARE(readEntries(buildZip({deflatedEntry("t", text)})).value("t"), text);

        // Declared empty: the stream is not decoded.
        RawZipEntry empty = deflatedEntry("e", "");
        empty.payload = "garbage";
        empty.compressedSize = 7;
        QCOMPARE(readEntries(buildZip({empty})).value("e"), QByteArray());
        empty.crc = 5;
        QCOMPARE(readError(buildZip({empty})), ZipArchiveError::checksumMismatch("e"));

        RawZipEntry corrupt = deflatedEntry("c", text);
        corrupt.payload = QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
        corrupt.compressedSize = 6;
        QCOMPARE(readError(buildZip({corrupt})), ZipArchiveError::truncated());

        RawZipEntry shortStream = deflatedEntry("s", text);
        shortStream.uncompressedSize += 1;
        QCOMPARE(readError(buildZip({shortStream})), ZipArchiveError::truncated());

        RawZipEntry cutStream = deflatedEntry("l", text);
        cutStream.uncompressedSize -= 10;
        QCOMPARE(readError(buildZip({cutStream})), ZipArchiveError::checksumMismatch("l"));
        cutStream.crc = ZipArchive::crc32(text.left(text.size() - 10));
        QCOMPARE(readEntries(buildZip({cutStream})).value("l"), text.left(text.size() - 10));

        RawZipEntry unsupported = storedEntry("u", "x");
        unsupported.method = 12;
        QCOMPARE(readError(buildZip({unsupported})), ZipArchiveError::unsupportedCompression(12));
        QCOMPARE(ZipArchiveError::unsupportedCompression(12).description(),
                 QStringLiteral("The archive uses an unsupported compression method (12)."));
        // The data is looked for before the method is judged.
        unsupported.compressedSize = 5000;
        QCOMPARE(readError(buildZip({unsupported})), ZipArchiveError::truncated());
    }

    void localHeaderLengthsPlaceTheData()
    {
        RawZipEntry e = deflatedEntry("name.txt", "payload payload payload");
        e.localName = QByteArray("a-longer-local-name.txt");
        e.localExtra = QByteArray(13, 'L');
        e.centralExtra = QByteArray(9, 'C');
        e.centralComment = "comment";
        e.flags = 0x0008 | 0x0800; // data descriptor, UTF-8
        QCOMPARE(readEntries(buildZip({e, storedEntry("next", "n")})).value("name.txt"),
                 QByteArray("payload payload payload"));
    }

    void declaredSizesBeyondWhatTheStreamCanYieldAreRefusedUpFront()
    {
        const QByteArray zeros(8 << 20, '\0');
        RawZipEntry bomb = deflatedEntry("bomb", zeros);
        bomb.payload = rawDeflate(zeros, 9);
        bomb.compressedSize = quint32(bomb.payload.size());
        // Real streams stay within the bound, even the most compressed ones.
        QVERIFY(bomb.uncompressedSize <= ZipArchiveReader::maximumInflatedSize(bomb.compressedSize));
        QCOMPARE(readEntries(buildZip({bomb})).value("bomb").size(), zeros.size());
        // A declared size the stream cannot reach is refused without reserving
        // it (4 GiB would not go unnoticed).
        bomb.uncompressedSize = 0xFFFFFFF0u;
        QCOMPARE(readError(buildZip({bomb})), ZipArchiveError::truncated());
        bomb.uncompressedSize = quint32(ZipArchiveReader::maximumInflatedSize(bomb.compressedSize) + 1);
        QCOMPARE(readError(buildZip({bomb})), ZipArchiveError::truncated());
    }

    void unkeptEntriesAreVerifiedButNotHeld()
    {
        const QByteArray big = randomBytes(300000, 3);
        const QByteArray archive = buildZip({deflatedEntry("keep", "kept"), deflatedEntry("drop", big),
                                             storedEntry("drop2", big)});
        const auto kept =
            ZipArchiveReader::entries(archive, [](const QString &path) { return path == QLatin1String("keep"); });
        QVERIFY(kept.ok());
        QCOMPARE(kept.value().keys(), QList<QString>{"keep"});
        RawZipEntry damaged = deflatedEntry("drop", big);
        damaged.crc ^= 1;
        const auto failed = ZipArchiveReader::entries(buildZip({damaged}), [](const QString &) { return false; });
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error(), ZipArchiveError::checksumMismatch("drop"));
        // The last record of a name decides even when it is not kept.
        const auto replaced = ZipArchiveReader::entries(buildZip({storedEntry("x", "a"), storedEntry("x", "b")}),
                                                        [](const QString &) { return true; });
        QCOMPARE(replaced.value().value("x"), QByteArray("b"));
    }

    void storedEntriesShareTheArchiveBytes()
    {
        const QByteArray payload = randomBytes(100000, 4);
        ZipArchiveReader::Entries entries;
        const char *archiveStart = nullptr;
        qsizetype archiveSize = 0;
        {
            const QByteArray archive = ZipArchiveWriter::archive({{QStringLiteral("p"), payload}}).value();
            archiveStart = archive.constData();
            archiveSize = archive.size();
            entries = readEntries(archive);
            const QByteArray &slice = entries["p"];
            QVERIFY(slice.constData() > archiveStart && slice.constData() < archiveStart + archiveSize);
        }
        // The archive variable is gone; the slice keeps its bytes alive.
        QByteArray slice = entries.take("p");
        QCOMPARE(slice, payload);
        QByteArray copy = slice;
        copy[0] = char(copy[0] ^ 0xFF); // detaches
        QCOMPARE(slice, payload);
        QVERIFY(copy != payload);
        slice.append("tail");
        QCOMPARE(slice.size(), payload.size() + 4);
        QVERIFY(slice.startsWith(payload));

        // Bytes that the QByteArray does not own are copied.
        const QByteArray owned = ZipArchiveWriter::archive({{QStringLiteral("p"), payload}}).value();
        const QByteArray raw = QByteArray::fromRawData(owned.constData(), owned.size());
        QCOMPARE(readEntries(raw).value("p"), payload);
        QCOMPARE(ZipArchive::sharedSlice(raw, 10, 5), owned.mid(10, 5));
    }

    void largeArchivesReportTheFirstFaultInDirectoryOrder()
    {
        // Large enough to be checked on several threads.
        QList<RawZipEntry> entries;
        for (int i = 0; i < 40; ++i)
            entries.append(storedEntry(QByteArray::number(i), randomBytes(1 << 20, quint32(i))));
        entries[30].crc ^= 1;
        entries[7].crc ^= 1;
        QCOMPARE(readError(buildZip(entries)), ZipArchiveError::checksumMismatch("7"));
        entries[7].crc ^= 1;
        entries[12].method = 12;
        QCOMPARE(readError(buildZip(entries)), ZipArchiveError::unsupportedCompression(12));
        entries[12].method = 0;
        QCOMPARE(readError(buildZip(entries)), ZipArchiveError::checksumMismatch("30"));
        // A damaged central record later on comes after the entries before it.
        entries[30].crc ^= 1;
        QByteArray archive = buildZip(entries);
        QCOMPARE(readEntries(archive).size(), 40);
        const qsizetype directory = get32(archive, archive.size() - 22 + 16);
        qsizetype record = directory;
        for (int i = 0; i < 35; ++i)
            record += 46 + get16(archive, record + 28);
        archive[record] = 'X';
        QCOMPARE(readError(archive), ZipArchiveError::truncated());
        entries[20].crc ^= 1;
        archive = buildZip(entries);
        archive[record] = 'X';
        QCOMPARE(readError(archive), ZipArchiveError::checksumMismatch("20"));
    }

    void lookUpFindsOneEntryWithoutJudgingTheRest()
    {
        RawZipEntry damaged = storedEntry("other", "x");
        damaged.crc ^= 1;
        const QByteArray archive =
            buildZip({storedEntry("library.json", "old"), damaged, deflatedEntry("library.json", "new")});
        QCOMPARE(ZipArchiveReader::lookUp(archive, "library.json"), QByteArray("new"));
        QVERIFY(ZipArchiveReader::lookUp(archive, "absent").isNull());
        QVERIFY(ZipArchiveReader::lookUp(QByteArray("nothing"), "library.json").isNull());
    }
};

QTEST_GUILESS_MAIN(ZipArchiveTest)
#include "tst_ziparchive.moc"
