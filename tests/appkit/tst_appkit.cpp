#include "appkit/NSAlert.h"
#include "appkit/NSColor.h"
#include "appkit/NSApplication.h"
#include "appkit/NSDraggingInfo.h"
#include "appkit/NSEvent.h"
#include "appkit/NSImage.h"
#include "appkit/NSTabView.h"
#include "appkit/NSTextView.h"
#include "appkit/NSWorkspace.h"

#include <QPushButton>
#include <QBuffer>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class AppKitTest : public QObject {
    Q_OBJECT

private slots:
    void modifierKeysMapCommandAndOption()
    {
        NSEvent::setModifierSource([] { return Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier); });
        QVERIFY(NSEvent::commandKeyIsDown());
        QVERIFY(NSEvent::shiftKeyIsDown());
        QVERIFY(!NSEvent::optionKeyIsDown());
        QVERIFY(!NSEvent::controlKeyIsDown());
        NSEvent::setModifierSource([] { return Qt::KeyboardModifiers(Qt::AltModifier | Qt::MetaModifier); });
        QVERIFY(NSEvent::optionKeyIsDown());
        QVERIFY(NSEvent::controlKeyIsDown());
        QVERIFY(!NSEvent::commandKeyIsDown());
        NSEvent::setModifierSource({});
        QCOMPARE(NSEvent::modifierFlags(), Qt::NoModifier); // nothing is held on the test display

        const QKeyEvent event(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(NSEvent::commandKeyIsDown(event));
        QVERIFY(NSEvent::optionKeyIsDown(event));
        QVERIFY(!NSEvent::shiftKeyIsDown(event));
        QVERIFY(!NSEvent::controlKeyIsDown(event));
    }

    void infoAlertHasOneOkButton()
    {
        std::unique_ptr<QMessageBox> plain(NSAlert::makeInfoAlert(QStringLiteral("Saved"), std::nullopt));
        QCOMPARE(plain->text(), QStringLiteral("Saved"));
        QVERIFY(plain->informativeText().isEmpty());
        QCOMPARE(plain->buttons().size(), 1);
        QCOMPARE(plain->buttons().first()->text(), QStringLiteral("OK"));
        std::unique_ptr<QMessageBox> detailed(NSAlert::makeInfoAlert(QStringLiteral("Saved"), QStringLiteral("All of it")));
        QCOMPARE(detailed->informativeText(), QStringLiteral("All of it"));
        QPushButton *remove = NSAlert::addDeleteButton(*detailed);
        QCOMPARE(remove->text(), QStringLiteral("Delete"));
        QCOMPARE(detailed->buttonRole(remove), QMessageBox::DestructiveRole);
    }

    void appearanceFollowsThePalette()
    {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(30, 30, 30));
        dark.setColor(QPalette::WindowText, Qt::white);
        QVERIFY(NSAppearance::isDarkMode(dark));
        QPalette light;
        light.setColor(QPalette::Window, QColor(240, 240, 240));
        light.setColor(QPalette::WindowText, Qt::black);
        QVERIFY(!NSAppearance::isDarkMode(light));
        QVERIFY(!NSApplication::machineName().isEmpty());

        QWidget shown;
        QWidget hidden;
        shown.show();
        QVERIFY(NSApplication::visibleWindows().contains(&shown));
        QVERIFY(!NSApplication::visibleWindows().contains(&hidden));
    }

    void draggedURLs()
    {
        QMimeData data;
        QVERIFY(!NSDraggingInfo::draggedURLs(data));
        data.setUrls({QUrl(QStringLiteral("file:///tmp/a.png")), QUrl(QStringLiteral("https://example.org/b"))});
        const auto urls = NSDraggingInfo::draggedURLs(data);
        QVERIFY(urls);
        QCOMPARE(urls->size(), 2);
        QCOMPARE(urls->at(1), QUrl(QStringLiteral("https://example.org/b")));
        // One entry that is not a URL spoils the whole drag.
        data.setData(QStringLiteral("text/uri-list"), "file:///tmp/a.png\r\nnot a url\r\n");
        QVERIFY(!NSDraggingInfo::draggedURLs(data));
    }

    void images()
    {
        QTemporaryDir dir;
        QImage image(40, 20, QImage::Format_ARGB32);
        image.fill(Qt::red);
        // PNG bytes behind a misleading name: only the content tells.
        const QString misnamed = dir.filePath(QStringLiteral("picture.jpg"));
        writeFile(misnamed, pngBytes(image));
        QCOMPARE(NSImage::contentsOf(misnamed, true)->size(), QSize(40, 20));
        QVERIFY(!NSImage::contentsOf(dir.filePath(QStringLiteral("missing.png")), true));

        QCOMPARE(NSImage::pixelSize(image), QSize(40, 20));
        QVERIFY(!NSImage::pixelSize(QImage()));
        const auto jpeg = NSImage::jpegData(image, 0.5f);
        QVERIFY(jpeg && jpeg->startsWith("\xFF\xD8"));
        QVERIFY(!NSImage::jpegData(QImage(), 0.5f));
        QCOMPARE(NSImage::crop(image, QRect(30, 10, 20, 20))->size(), QSize(10, 10));
        QVERIFY(!NSImage::crop(image, QRect(50, 50, 5, 5)));
    }

    void appIconComesFromTheBundle_data()
    {
        QTest::addColumn<QVariant>("iconFile"); // the Info dictionary's "CFBundleIconFile"
        QTest::addColumn<bool>("found");
        QTest::newRow("name alone") << QVariant(QStringLiteral("Icon")) << true;
        QTest::newRow("name with its extension") << QVariant(QStringLiteral("Icon.png")) << true;
        QTest::newRow("extension in capitals") << QVariant(QStringLiteral("Shout.PNG")) << true;
        QTest::newRow("another file's name") << QVariant(QStringLiteral("Missing")) << false;
        QTest::newRow("no icon named") << QVariant() << false;
    }

    void appIconComesFromTheBundle()
    {
        QFETCH(QVariant, iconFile);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(Qt::blue);
        writeFile(dir.filePath(QStringLiteral("Icon.png")), pngBytes(image));
        writeFile(dir.filePath(QStringLiteral("Shout.PNG")), pngBytes(image));
        QVariantMap info;
        if (iconFile.isValid())
            info.insert(QStringLiteral("CFBundleIconFile"), iconFile);
        const auto icon = NSImage::appIcon(Bundle(info, dir.path()));
        QCOMPARE(bool(icon), found);
        if (found)
            QCOMPARE(icon->size(), QSize(8, 8));
        QVERIFY(NSImage::appIcon()); // the application's own icon is embedded
    }

    void colourCatalogue_data()
    {
        QTest::addColumn<QByteArray>("catalogue"); // empty: the bundle has none
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QColor>("expected");
        const QByteArray both = "{\"Tint\": {\"light\": \"#102030\", \"dark\": \"#80405060\"}}";
        const QByteArray lightOnly = "{\"Tint\": {\"light\": \"#102030\"}}";
        QTest::newRow("light value") << both << false << QColor(0x10, 0x20, 0x30);
        QTest::newRow("dark value, with its alpha") << both << true << QColor(0x40, 0x50, 0x60, 0x80);
        QTest::newRow("no dark value: the light one") << lightOnly << true << QColor(0x10, 0x20, 0x30);
        QTest::newRow("another name") << QByteArray("{\"Other\": {\"light\": \"#102030\"}}") << false << QColor(Qt::green);
        QTest::newRow("not a colour") << QByteArray("{\"Tint\": {\"light\": \"sky\"}}") << false << QColor(Qt::green);
        QTest::newRow("not JSON") << QByteArray("Tint = #102030") << false << QColor(Qt::green);
        QTest::newRow("no catalogue") << QByteArray() << false << QColor(Qt::green);
    }

    void colourCatalogue()
    {
        QFETCH(QByteArray, catalogue);
        QFETCH(bool, dark);
        QFETCH(QColor, expected);
        QTemporaryDir dir;
        if (!catalogue.isEmpty())
            writeFile(dir.filePath(QStringLiteral("Colors.json")), catalogue);
        QPalette palette;
        palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(240, 240, 240));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        const Bundle bundle(QVariantMap{}, dir.path());
        QCOMPARE(NSColor::assetNamed(QStringLiteral("Tint"), Qt::green, bundle, palette), expected);
        // The application's own catalogue is embedded.
        QCOMPARE(NSColor::assetNamed(QStringLiteral("AccentColor"), Qt::green, Bundle::main(), palette),
                 NSColor::systemOrange(palette));
    }

    void tintingOnlyChangesMaskIcons()
    {
        QPixmap shape(16, 16);
        shape.fill(Qt::transparent);
        {
            QPainter painter(&shape);
            painter.fillRect(4, 4, 8, 8, Qt::black);
        }
        const QIcon plain(shape);
        QCOMPARE(NSImage::tinted(plain, Qt::red).cacheKey(), plain.cacheKey());
        QIcon mask(shape);
        mask.setIsMask(true);
        const QIcon tinted = NSImage::tinted(mask, QColor(255, 128, 0));
        QVERIFY(!tinted.isMask());
        const QImage result = tinted.pixmap(16, 16).toImage();
        QCOMPARE(result.pixelColor(8, 8), QColor(255, 128, 0));
        QCOMPARE(result.pixelColor(0, 0).alpha(), 0);
    }

    void tabsAdvanceAndWrap()
    {
        QTabWidget tabs;
        QVERIFY(!NSTabView::indexOfSelectedTabViewItem(tabs));
        NSTabView::advanceTabIndex(tabs); // nothing to select
        tabs.addTab(new QWidget, QStringLiteral("A"));
        tabs.addTab(new QWidget, QStringLiteral("B"));
        tabs.setCurrentIndex(0);
        NSTabView::advanceTabIndex(tabs);
        QCOMPARE(NSTabView::indexOfSelectedTabViewItem(tabs), 1);
        NSTabView::advanceTabIndex(tabs);
        QCOMPARE(NSTabView::indexOfSelectedTabViewItem(tabs), 0);
    }

    void selectedString()
    {
        QPlainTextEdit edit(QStringLiteral("first line\nsecond line"));
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(6);
        cursor.setPosition(17, QTextCursor::KeepAnchor);
        QCOMPARE(NSTextView::selectedString(cursor), QStringLiteral("line\nsecond"));
    }

    void workspaceFindsDesktopApplications()
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qputenv("XDG_DATA_DIRS", home.filePath(QStringLiteral("none")).toLocal8Bit());
        const QString applications = home.filePath(QStringLiteral("applications"));
        writeFile(applications + QStringLiteral("/mimeinfo.cache"),
                  "[MIME Cache]\nimage/png=org.example.Viewer.desktop;org.example.Paint.desktop;\n"
                  "image/jpeg=org.example.Paint.desktop;\n");
        const QString output = home.filePath(QStringLiteral("opened.txt"));
        const QString script = home.filePath(QStringLiteral("viewer.sh"));
        writeFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + output.toUtf8() + "\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeFile(applications + QStringLiteral("/org.example.Viewer.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + script.toUtf8()
                      + " --new %U %i\n[Desktop Action Other]\nExec=false\n");

        QCOMPARE(NSWorkspace::identifiersFor(QStringLiteral("image/png")),
                 (QStringList{"org.example.Viewer", "org.example.Paint"}));
        QVERIFY(NSWorkspace::identifiersFor(QStringLiteral("image/tiff")).isEmpty());

        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a b.png"));
        QCOMPARE(NSWorkspace::openCommand(*NSWorkspace::desktopEntryPath(QStringLiteral("org.example.Viewer")), file),
                 (QStringList{script, "--new", "/tmp/a b.png"}));
        QVERIFY(NSWorkspace::open(file, QStringLiteral("org.example.Viewer")));
        const auto opened = [&output] {
            QFile file(output);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE(opened(), QByteArray("--new|/tmp/a b.png|"));
        QVERIFY(!NSWorkspace::open(file, QStringLiteral("org.example.Missing")));
        QVERIFY(!NSWorkspace::desktopEntryPath(QStringLiteral("../escape")));
    }

    void searchAddress()
    {
        const auto url = NSWorkspace::searchURL(QStringLiteral("tibia & fibula"));
        QVERIFY(url);
        QCOMPARE(url->scheme(), QStringLiteral("https"));
        QCOMPARE(url->query(QUrl::FullyEncoded), QStringLiteral("q=tibia+%26+fibula"));
    }
};

QTEST_MAIN(AppKitTest)
#include "tst_appkit.moc"
