#include "ShellTestSupport.h"

#include "platform/PlatformImage.h"
#include "shell/OpenedImagePreview.h"

#include <QImageReader>
#include <QTest>

// The opened image's view, in a process of its own: image readers share one
// decode limit per process, which nothing has raised here yet.
class OpenedImagePreviewTest : public QObject {
    Q_OBJECT
private slots:
    void showsAScanThatImportAccepts()
    {
        // 6,000 by 6,000 pixels decode to 144 MB, more than image readers
        // allow unless told otherwise.
        const QByteArray bytes = pngBytes(Qt::gray, QSize(6000, 6000));
        QVERIFY(QImageReader::allocationLimit() < 144);
        TestLibrary library;
        AtlasImage *image = library.image(QStringLiteral("large"));
        image->setImageData(bytes);
        OpenedImagePreview preview;
        preview.setImage(image);
        QVERIFY(preview.hasPicture());
        QCOMPARE(preview.title(), QStringLiteral("large"));
        QVERIFY(PlatformImage::canCreateImage(bytes));
    }
};

QTEST_MAIN(OpenedImagePreviewTest)
#include "tst_openedimagepreview.moc"
