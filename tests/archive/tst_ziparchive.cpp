#include "ZipTestSupport.h"
#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"
#include "archive/ZipArchiveWriter.h"

#include <QTest>

namespace {

template <typename Change>
RawZipEntry changed(RawZipEntry entry, Change change)
{
    change(entry);
    return entry;
}

// 8 MiB of zeros, deflated as tightly as zlib can.
const RawZipEntry &deflatedZeros()
{
    static const RawZipEntry entry = deflatedEntry("bomb", QByteArray(8 << 20, '\0'), 9);
    return entry;
}

} // namespace

class ZipArchiveTest : public QObject {
    Q_OBJECT
private slots:
    void writerLaysOutEntriesInOrderAndReadsThemBack()
    {
        QCOMPARE(ZipArchiveWriter::archive({}).value(), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
        const QList<ZipEntry> entries{
            {QStringLiteral("b"), QByteArrayLiteral("first b")},
            {QStringLiteral("\u00E9t\u00E9/\U0001F600.png"), randomBytes(5000, 1)},
            {QStringLiteral("folder/"), QByteArrayLiteral("ignored on reading")},
            {QString(), QByteArrayLiteral("nameless")},
            {QStringLiteral("a"), QByteArray()},
            {QStringLiteral("b"), QByteArrayLiteral("second b")},
        };
        // Stored, in the given order, the names in UTF-8, dated 1980-01-01
        // 00:00, no extra fields or comments.
        QList<RawZipEntry> expected;
        for (const ZipEntry &entry : entries)
            expected.append(changed(storedEntry(entry.path.toUtf8(), entry.data), [](RawZipEntry &e) { e.flags = 0x0800; }));
        const QByteArray written = ZipArchiveWriter::archive(entries).value();
        QCOMPARE(written, buildZip(expected));
        QCOMPARE(ZipArchiveWriter::archiveSize(entries).value(), written.size());
        QCOMPARE(readEntries(written), (ZipArchiveReader::Entries{{"b", "second b"}, {entries[1].path, entries[1].data},
                                                              {"", "nameless"}, {"a", ""}}));
    }

    void writerRefusesWhatCannotBeReadBack()
    {
        // 65,535 entries would put the Zip64 marker 0xFFFF in the end record,
        // which readers refuse: the writer refuses that many itself.
        QList<ZipEntry> entries;
        for (int i = 0; i < 0xFFFE; ++i)
            entries.append({QString::number(i), QByteArray()});
        QCOMPARE(readEntries(ZipArchiveWriter::archive(entries).value()).size(), 0xFFFE);
        entries.append({QStringLiteral("one more"), QByteArray()});
        QCOMPARE(ZipArchiveWriter::archive(entries).error(), ZipArchiveError::archiveTooLarge());

        const QString longest(0xFFFF, QLatin1Char('n'));
        QCOMPARE(readEntries(ZipArchiveWriter::archive({{longest, QByteArrayLiteral("x")}}).value()).value(longest),
                 QByteArrayLiteral("x"));
        // One byte too many, also from a two-byte character.
        for (const QString &name : {longest + QLatin1Char('n'), QString(0xFFFE, QLatin1Char('n')) + QChar(0xE9)})
            QCOMPARE(ZipArchiveWriter::archive({{name, QByteArray()}}).error(), ZipArchiveError::archiveTooLarge());
        // Three entries sharing one 1.5 GiB buffer whose pages are never
        // touched: over 4 GiB, seen from the lengths without copying anything.
        const QByteArray large(qsizetype(3) << 29, Qt::Uninitialized);
        entries = {{QStringLiteral("a"), large}, {QStringLiteral("b"), large}, {QStringLiteral("c"), large}};
        QCOMPARE(ZipArchiveWriter::archiveSize(entries).error(), ZipArchiveError::archiveTooLarge());
        QCOMPARE(ZipArchiveWriter::archive(entries).error(), ZipArchiveError::archiveTooLarge());
    }

    void readsOddArchives_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<ZipArchiveReader::Entries>("entries");
        const QList<RawZipEntry> a{storedEntry("a.txt", "alpha")};
        const ZipArchiveReader::Entries alpha{{"a.txt", "alpha"}};
        const QByteArray text = QByteArray("The quick brown fox. ").repeated(500);
        QTest::newRow("empty") << buildZip({}) << ZipArchiveReader::Entries{};
        QTest::newRow("empty, directory offset anywhere") << buildZip({}, {{}, {}, 0x12345678u})
                                                          << ZipArchiveReader::Entries{};
        QTest::newRow("longest comment") << buildZip(a, {QByteArray(0xFFFF, 'c'), {}, {}}) << alpha;
        // A second record inside the comment is nearer the end and wins.
        QTest::newRow("end record in the comment") << buildZip(a, {buildZip({}) + "tail", {}, {}})
                                                   << ZipArchiveReader::Entries{};
        // A byte order mark is part of the name.
        QTest::newRow("byte order mark") << buildZip({storedEntry("\xEF\xBB\xBFname", "x")})
                                         << ZipArchiveReader::Entries{{QStringLiteral("\uFEFFname"), "x"}};
        const RawZipEntry folder = changed(storedEntry("photos/", "damaged"), [](RawZipEntry &e) {
            e.method = 12;
            e.crc = 1;
            e.compressedSize = 99999;
        });
        QTest::newRow("folders skipped, the last duplicate wins")
            << buildZip({storedEntry("x", "first"), folder, deflatedEntry("x", "second"), storedEntry("y", "")})
            << ZipArchiveReader::Entries{{"x", "second"}, {"y", ""}};
        QTest::newRow("deflated") << buildZip({deflatedEntry("t", text)}) << ZipArchiveReader::Entries{{"t", text}};
        // The most compressed streams stay within the bound on declared sizes.
        QTest::newRow("8 MiB of zeros, deflated tightly") << buildZip({deflatedZeros()})
                                                          << ZipArchiveReader::Entries{{"bomb", QByteArray(8 << 20, '\0')}};
        // Declared empty: the stream is not decoded.
        QTest::newRow("declared empty") << buildZip({changed(deflatedEntry("e", ""), [](RawZipEntry &e) {
            e.payload = "garbage";
            e.compressedSize = 7;
        })}) << ZipArchiveReader::Entries{{"e", ""}};
        // A stream that yields more than declared is cut at the declared size.
        const QByteArray cut = text.left(text.size() - 10);
        QTest::newRow("stream cut at the declared size") << buildZip({changed(deflatedEntry("l", text), [&](RawZipEntry &e) {
            e.uncompressedSize -= 10;
            e.crc = ZipArchive::crc32(cut);
        })}) << ZipArchiveReader::Entries{{"l", cut}};
        RawZipEntry placed = changed(deflatedEntry("name.txt", "payload payload payload"), [](RawZipEntry &e) {
            e.localName = QByteArray("a-longer-local-name.txt");
            e.localExtra = QByteArray(13, 'L');
            e.centralExtra = QByteArray(9, 'C');
            e.centralComment = "comment";
            e.flags = 0x0008 | 0x0800; // data descriptor, UTF-8
        });
        QTest::newRow("local header lengths place the data")
            << buildZip({placed, storedEntry("next", "n")})
            << ZipArchiveReader::Entries{{"name.txt", "payload payload payload"}, {"next", "n"}};
    }

    void readsOddArchives()
    {
        QFETCH(QByteArray, archive);
        QFETCH(ZipArchiveReader::Entries, entries);
        QCOMPARE(readEntries(archive), entries);
    }

    void refusesDamagedArchives_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<ZipArchiveError>("error");
        using E = ZipArchiveError;
        const RawZipEntry a = storedEntry("a", "alpha");
        const QByteArray text = QByteArray("The quick brown fox. ").repeated(500);
        const RawZipEntry t = deflatedEntry("t", text);
        QTest::newRow("too short") << QByteArray(21, '\0') << E::notAZipArchive();
        QTest::newRow("no end record") << QByteArray(5000, 'x') << E::notAZipArchive();
        // The comment length field can't say 65,536, but a record followed by
        // that many bytes lies outside the window all the same.
        QTest::newRow("end record before its window") << buildZip({a}, {QByteArray(0xFFFF, 'c'), {}, {}}) + "c"
                                                      << E::notAZipArchive();

        QTest::newRow("zip64 entry count") << buildZip({a}, {{}, quint16(0xFFFF), {}}) << E::unsupportedZip64();
        QTest::newRow("zip64 directory offset") << buildZip({a}, {{}, {}, 0xFFFFFFFFu}) << E::unsupportedZip64();
        QTest::newRow("zip64 compressed size")
            << buildZip({changed(a, [](RawZipEntry &e) { e.compressedSize = 0xFFFFFFFF; })}) << E::unsupportedZip64();
        QTest::newRow("zip64 size") << buildZip({changed(a, [](RawZipEntry &e) { e.uncompressedSize = 0xFFFFFFFF; })})
                                    << E::unsupportedZip64();
        QTest::newRow("zip64 local header offset")
            << buildZip({changed(a, [](RawZipEntry &e) { e.localHeaderOffset = 0xFFFFFFFF; })}) << E::unsupportedZip64();

        QTest::newRow("directory past the end") << buildZip({a}, {{}, {}, 100000u}) << E::truncated();
        QTest::newRow("directory misplaced") << buildZip({a}, {{}, {}, 1u}) << E::truncated();
        QTest::newRow("more entries than records") << buildZip({a}, {{}, quint16(2), {}}) << E::truncated();
        QTest::newRow("local header misplaced") << buildZip({changed(a, [](RawZipEntry &e) { e.localHeaderOffset = 3; })})
                                                << E::truncated();
        QTest::newRow("data past the end")
            << buildZip({changed(a, [](RawZipEntry &e) { e.compressedSize = e.uncompressedSize = 1000; })}) << E::truncated();
        QTest::newRow("invalid UTF-8 name") << buildZip({storedEntry("bad\xC3(name", "x")}) << E::truncated();
        QTest::newRow("surrogate in a name") << buildZip({storedEntry("\xED\xA0\x80", "x")}) << E::truncated();
        // A sequence cut short at the end of a name is as invalid as one in
        // its middle: "name" and "name\xC3" can't read as one.
        QTest::newRow("name cut short") << buildZip({storedEntry("name\xC3", "x")}) << E::truncated();
        // Entries whose bytes overlap are refused before any is inflated.
        RawZipEntry shared = deflatedEntry("0", QByteArray(1 << 20, '\0'));
        QList<RawZipEntry> bomb{shared};
        for (int i = 1; i < 32; ++i) {
            bomb.append(changed(shared, [i](RawZipEntry &e) {
                e.name = QByteArray::number(i);
                e.localHeaderOffset = 0; // every record points at the first stream
                e.payload.clear();
            }));
        }
        QTest::newRow("32 records, one stream") << buildZip(bomb) << E::truncated();
        const RawZipEntry sameHeader = changed(storedEntry("b", "alpha"), [](RawZipEntry &e) {
            e.localHeaderOffset = 0;
            e.localName = QByteArray("a");
        });
        QTest::newRow("two names, one local header") << buildZip({storedEntry("a", "alpha"), sameHeader}) << E::truncated();
        // The overlap is judged before the first entry's own damage.
        const QByteArray nested = buildZip({storedEntry("b", "beta")});
        QTest::newRow("a record inside another's data")
            << buildZip({changed(storedEntry("a", nested.left(30 + 1 + 4)), [](RawZipEntry &e) { e.crc ^= 1; }),
                         changed(storedEntry("b", "beta"), [](RawZipEntry &e) { e.localHeaderOffset = 30 + 1; })})
            << E::truncated();

        QTest::newRow("stored sizes differ")
            << buildZip({changed(storedEntry("a.png", "alpha"), [](RawZipEntry &e) { e.uncompressedSize = 4; })})
            << E::checksumMismatch("a.png");
        QTest::newRow("stored checksum")
            << buildZip({changed(storedEntry("a.png", "alpha"), [](RawZipEntry &e) { e.crc ^= 1; })})
            << E::checksumMismatch("a.png");
        QTest::newRow("deflated checksum")
            << buildZip({changed(deflatedEntry("d", randomBytes(3000, 2)), [](RawZipEntry &e) { e.crc ^= 0x80000000; })})
            << E::checksumMismatch("d");
        QTest::newRow("declared empty, with a checksum") << buildZip({changed(deflatedEntry("e", ""), [](RawZipEntry &e) {
            e.payload = "garbage";
            e.compressedSize = 7;
            e.crc = 5;
        })}) << E::checksumMismatch("e");
        QTest::newRow("corrupt stream") << buildZip({changed(t, [](RawZipEntry &e) {
            e.payload = QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
            e.compressedSize = 6;
        })}) << E::truncated();
        QTest::newRow("stream ends early") << buildZip({changed(t, [](RawZipEntry &e) { e.uncompressedSize += 1; })})
                                           << E::truncated();
        QTest::newRow("stream cut, checksum of the whole")
            << buildZip({changed(t, [](RawZipEntry &e) { e.uncompressedSize -= 10; })}) << E::checksumMismatch("t");
        // A record that a later one of the same name replaces is checked all
        // the same.
        QTest::newRow("an earlier record of a name damaged")
            << buildZip({changed(storedEntry("x", "first"), [](RawZipEntry &e) { e.crc ^= 1; }), storedEntry("x", "second")})
            << E::checksumMismatch("x");
        const RawZipEntry unsupported = changed(storedEntry("u", "x"), [](RawZipEntry &e) { e.method = 12; });
        QTest::newRow("unsupported method") << buildZip({unsupported}) << E::unsupportedCompression(12);
        // The data is looked for before the method is judged.
        QTest::newRow("unsupported method, data missing")
            << buildZip({changed(unsupported, [](RawZipEntry &e) { e.compressedSize = 5000; })}) << E::truncated();
        // A declared size no stream this short can reach is refused without
        // reserving it (4 GiB would not go unnoticed).
        QTest::newRow("declared 4 GiB")
            << buildZip({changed(deflatedZeros(), [](RawZipEntry &e) { e.uncompressedSize = 0xFFFFFFF0u; })})
            << E::truncated();
        QTest::newRow("declared past the bound") << buildZip({changed(deflatedZeros(), [](RawZipEntry &e) {
            e.uncompressedSize = quint32(ZipArchiveReader::maximumInflatedSize(e.compressedSize) + 1);
        })}) << E::truncated();
    }

    void refusesDamagedArchives()
    {
        QFETCH(QByteArray, archive);
        QFETCH(ZipArchiveError, error);
        QCOMPARE(zipReadError(archive), error);
    }

    void keptEntriesAndLookUp()
    {
        const QByteArray archive = buildZip({deflatedEntry("keep", "kept"), deflatedEntry("drop", randomBytes(3000, 3))});
        const auto kept = ZipArchiveReader::entries(archive, [](const QString &path) { return path == u"keep"; });
        QCOMPARE(kept.value(), (ZipArchiveReader::Entries{{"keep", "kept"}}));
        // Looking one entry up judges none of the others; the last record wins.
        RawZipEntry damaged = storedEntry("other", "x");
        damaged.crc ^= 1;
        const QByteArray twoManifests =
            buildZip({storedEntry("library.json", "old"), damaged, deflatedEntry("library.json", "new")});
        QCOMPARE(ZipArchiveReader::lookUp(twoManifests, "library.json"), QByteArray("new"));
        QVERIFY(ZipArchiveReader::lookUp(twoManifests, "absent").isNull());
        QVERIFY(ZipArchiveReader::lookUp(QByteArray("nothing"), "library.json").isNull());
        // Bytes that the QByteArray does not own are copied out.
        const QByteArray owned = ZipArchiveWriter::archive({{QStringLiteral("p"), QByteArray("payload")}}).value();
        QCOMPARE(readEntries(QByteArray::fromRawData(owned.constData(), owned.size())).value("p"), QByteArray("payload"));
    }

    void largeArchivesReportTheFirstFaultInDirectoryOrder()
    {
        // Large enough to be checked on several threads.
        QList<RawZipEntry> entries;
        for (int i = 0; i < 40; ++i)
            entries.append(storedEntry(QByteArray::number(i), randomBytes(1 << 20, quint32(i))));
        entries[30].crc ^= 1;
        entries[7].crc ^= 1;
        QCOMPARE(zipReadError(buildZip(entries)), ZipArchiveError::checksumMismatch("7"));
        entries[7].crc ^= 1;
        entries[12].method = 12;
        QCOMPARE(zipReadError(buildZip(entries)), ZipArchiveError::unsupportedCompression(12));
        entries[12].method = 0;
        QCOMPARE(zipReadError(buildZip(entries)), ZipArchiveError::checksumMismatch("30"));
        // A damaged central record later on comes after the entries before it.
        entries[30].crc ^= 1;
        QByteArray archive = buildZip(entries);
        QCOMPARE(readEntries(archive).size(), 40);
        const qsizetype directory = get32(archive, archive.size() - 22 + 16);
        qsizetype record = directory;
        for (int i = 0; i < 35; ++i)
            record += 46 + get16(archive, record + 28);
        archive[record] = 'X';
        QCOMPARE(zipReadError(archive), ZipArchiveError::truncated());
        entries[20].crc ^= 1;
        archive = buildZip(entries);
        archive[record] = 'X';
        QCOMPARE(zipReadError(archive), ZipArchiveError::checksumMismatch("20"));
    }
};

QTEST_GUILESS_MAIN(ZipArchiveTest)
#include "tst_ziparchive.moc"
