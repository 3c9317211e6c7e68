#include "appkit/CGRect.h"
#include "appkit/NSAlert.h"
#include "appkit/NSAttributedString.h"
#include "appkit/NSColor.h"
#include "appkit/NSApplication.h"
#include "appkit/NSDraggingInfo.h"
#include "appkit/NSEvent.h"
#include "appkit/NSImage.h"
#include "appkit/NSImageView.h"
#include "appkit/NSTabView.h"
#include "appkit/NSTextView.h"
#include "appkit/NSWindowController.h"
#include "appkit/NSWorkspace.h"
#include "support/TestPictures.h"

#include <QPushButton>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
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

        const QKeyEvent event(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        QVERIFY(NSEvent::commandKeyIsDown(event));
        QVERIFY(NSEvent::optionKeyIsDown(event));
        QVERIFY(!NSEvent::shiftKeyIsDown(event));
        QVERIFY(NSEvent::controlKeyIsDown(event));
    }

    void infoAlertHasOneOkButton()
    {
        std::unique_ptr<QMessageBox> plain(NSAlert::makeInfoAlert(QStringLiteral("Saved"), std::nullopt));
        QCOMPARE(plain->buttons().size(), 1);
        QCOMPARE(plain->buttons().first()->text(), QStringLiteral("OK"));
        QPushButton *remove = NSAlert::addDeleteButton(*plain);
        QCOMPARE(remove->text(), QStringLiteral("Delete"));
        QCOMPARE(plain->buttonRole(remove), QMessageBox::DestructiveRole);
    }

    void visibleWindows()
    {
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
        const QList<QUrl> dragged{QUrl(QStringLiteral("file:///tmp/a.png")), QUrl(QStringLiteral("https://example.org/b"))};
        data.setUrls(dragged);
        QCOMPARE(NSDraggingInfo::draggedURLs(data).value_or(QList<QUrl>()), dragged);
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
        writeFile(misnamed, encoded(image, "PNG"));
        QCOMPARE(NSImage::contentsOf(misnamed, true)->size(), QSize(40, 20));
        QVERIFY(!NSImage::contentsOf(dir.filePath(QStringLiteral("missing.png")), true));

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
        writeFile(dir.filePath(QStringLiteral("Icon.png")), encodedPicture("PNG", QSize(8, 8)));
        writeFile(dir.filePath(QStringLiteral("Shout.PNG")), encodedPicture("PNG", QSize(8, 8)));
        QVariantMap info;
        if (iconFile.isValid())
            info.insert(QStringLiteral("CFBundleIconFile"), iconFile);
        const auto icon = NSImage::appIcon(Bundle(info, dir.path()));
        QCOMPARE(bool(icon), found);
        if (found)
            QCOMPARE(icon->size(), QSize(8, 8));
        QVERIFY(NSImage::appIcon()); // the application's own icon is embedded
    }

    // The catalogue's dark values apply where the palette's window is dark.
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

    void tabsAdvanceAndWrap()
    {
        QTabWidget tabs;
        QVERIFY(!NSTabView::indexOfSelectedTabViewItem(tabs));
        NSTabView::advanceTabIndex(tabs); // nothing to select
        tabs.addTab(new QWidget, QStringLiteral("A"));
        tabs.addTab(new QWidget, QStringLiteral("B"));
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

        // Field codes give the file's path, or nothing.
        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a b.png"));
        QVERIFY(NSWorkspace::open(file, QStringLiteral("org.example.Viewer")));
        const auto opened = [&output] {
            QFile file(output);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE(opened(), QByteArray("--new|/tmp/a b.png|"));
        // An address goes in its encoded form.
        QVERIFY(NSWorkspace::open(QUrl(QStringLiteral("https://example.org/Sch\u00E4del 2")),
                                  QStringLiteral("org.example.Viewer")));
        QTRY_COMPARE(opened(), QByteArray("--new|https://example.org/Sch%C3%A4del%202|"));
        QVERIFY(!NSWorkspace::open(file, QStringLiteral("org.example.Missing")));
        QVERIFY(!NSWorkspace::desktopEntryPath(QStringLiteral("../escape")));
    }

    void searchAddress()
    {
        const auto url = NSWorkspace::searchURL(QStringLiteral("tibia & fibula"));
        QCOMPARE(url.value_or(QUrl()).query(QUrl::FullyEncoded), QStringLiteral("q=tibia+%26+fibula"));
    }

    void rectangles()
    {
        QCOMPARE(CGRect::fromPoints({5, 5}, {2, 9}), QRectF(5, 5, -3, 4));
        QCOMPARE(CGRect::description(QRectF(0.4, 1.6, 2, 2)), QStringLiteral("0, 2; 2, 4"));
        const QRectF r(1, 2, 10, 20);
        QCOMPARE(CGRect::insetTo(r, 10, 20), r);
        QCOMPARE(CGRect::insetTo(r, 4, 6), QRectF(4, 9, 4, 6));
        QCOMPARE(CGRect::centredPoint(r, QRectF(50, 50, 3, 8)), QPointF(0, 8));
        QCOMPARE(NSImage::centredFrame({10, 4}, {5, 5}), QRectF(0, 3, 10, 4));
        QCOMPARE(NSAttributedString::centredTextRect({50, 10}, QRectF(0, 0, 100, 30)), QRectF(0, 10, 100, 10));
        QCOMPARE(NSAttributedString::centredTextRect({150, 10}, QRectF(0, 0, 100, 30)), QRectF(0, 0, 100, 30));
    }

    void corners_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QPointF>("bottomLeft");
        QTest::addColumn<QPointF>("topLeft");
        QTest::addColumn<QPointF>("topRight");
        QTest::addColumn<QPointF>("bottomRight");
        QTest::newRow("positive size") << QRectF(1, 2, 10, 20) << QPointF(1, 2) << QPointF(1, 22) << QPointF(11, 22)
                                       << QPointF(11, 2);
        QTest::newRow("drawn leftwards") << CGRect::fromPoints({5, 5}, {2, 9}) << QPointF(2, 5) << QPointF(2, 9)
                                         << QPointF(5, 9) << QPointF(5, 5);
    }

    void corners()
    {
        QFETCH(QRectF, rect);
        QFETCH(QPointF, bottomLeft);
        QFETCH(QPointF, topLeft);
        QFETCH(QPointF, topRight);
        QFETCH(QPointF, bottomRight);
        QCOMPARE(CGRect::bottomLeft(rect), bottomLeft);
        QCOMPARE(CGRect::topLeft(rect), topLeft);
        QCOMPARE(CGRect::topRight(rect), topRight);
        QCOMPARE(CGRect::bottomRight(rect), bottomRight);
    }

    void imageViewPlacesAndMapsTheImage()
    {
        NSImageView view{QSizeF(200, 100), std::nullopt, std::nullopt, true};
        QVERIFY(!view.scaledImageRect());
        QVERIFY(!view.rectInImageCoordinates(QRectF(0, 0, 10, 10)));

        // A small image is not enlarged and sits in the middle.
        view.imageSize = QSizeF(50, 20);
        QCOMPARE(view.scaledImageRect(), QRectF(75, 40, 50, 20));
        view.scalesDownOnly = false;
        QCOMPARE(view.scaledImageRect(), QRectF(0, 10, 200, 80));

        // A large image is scaled down; pixel coordinates double its points.
        view = NSImageView{QSizeF(200, 100), QSizeF(400, 100), QSize(800, 200), true};
        QCOMPARE(view.scaledImageRect(), QRectF(0, 25, 200, 50));
        QCOMPARE(view.rectInImageCoordinates(QRectF(-10, 0, 60, 35)), QRectF(0, 0, 200, 40));
        QVERIFY(!view.rectInImageCoordinates(QRectF(0, 0, 50, 20))); // above the image
        view.pixelSize.reset();
        QCOMPARE(view.rectInImageCoordinates(QRectF(10, 30, 10, 10)), QRectF(10, 5, 10, 10));
    }

    void centredFrameStaysOnTheScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("target");
        QTest::addColumn<QRect>("frame");
        // The screen is (100, 0, 1600, 1000).
        QTest::newRow("over a window") << QSize(400, 300) << QRect(200, 100, 1000, 600) << QRect(500, 250, 400, 300);
        QTest::newRow("over a window past the right and bottom edges")
            << QSize(400, 300) << QRect(1300, 800, 1000, 600) << QRect(1300, 700, 400, 300);
        QTest::newRow("over a window past the left and top edges")
            << QSize(400, 300) << QRect(-900, -500, 1000, 600) << QRect(100, 0, 400, 300);
        QTest::newRow("larger than the screen") << QSize(2000, 1200) << QRect(300, 200, 100, 100)
                                                << QRect(100, 0, 1600, 1000);
    }

    void centredFrameStaysOnTheScreen()
    {
        QFETCH(QSize, size);
        QFETCH(QRect, target);
        QFETCH(QRect, frame);
        QCOMPARE(NSWindow::centredFrame(size, target, QRect(100, 0, 1600, 1000)), frame);
    }

    void mainScreenOnlyWithSeveralScreens()
    {
        QVERIFY(!NSWindowController::mainScreenFrame({QRect(0, 0, 1920, 1080)}, 10, 10));
        QCOMPARE(NSWindowController::mainScreenFrame({QRect(0, 0, 1920, 1080), QRect(1920, 0, 800, 600)}, 100, 50),
                 QRect(100, 50, 1720, 980));
    }
};

QTEST_MAIN(AppKitTest)
#include "tst_appkit.moc"
