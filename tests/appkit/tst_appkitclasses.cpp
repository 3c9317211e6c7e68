#include "appkit/AppearanceChangeFixTableView.h"
#include "appkit/AutoFrameSavingWindowController.h"
#include "appkit/HandCursorButton.h"
#include "appkit/LoopingMoviePlayer.h"
#include "appkit/TokenAutoSelectStatus.h"
#include "platform/UserDefaults.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TokenAutoSelectStatus::Case)

namespace {

using Status = TokenAutoSelectStatus;

// Makes a silent Ogg Theora movie of `frames` frames at 10 per second.
QString makeMovie(const QTemporaryDir &dir, const QString &name, int frames)
{
    const QString path = dir.filePath(name);
    const int status = QProcess::execute(
        QStringLiteral("gst-launch-1.0"),
        {QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("num-buffers=%1").arg(frames),
         QStringLiteral("!"), QStringLiteral("video/x-raw,width=32,height=24,framerate=10/1"), QStringLiteral("!"),
         QStringLiteral("theoraenc"), QStringLiteral("!"), QStringLiteral("oggmux"), QStringLiteral("!"),
         QStringLiteral("filesink"), QStringLiteral("location=") + path});
    return status == 0 ? path : QString();
}

} // namespace

class AppKitClassesTest : public QObject {
    Q_OBJECT

private slots:
    void tokenStatus_data()
    {
        QTest::addColumn<Status::Case>("from");
        QTest::addColumn<QString>("description");
        QTest::addColumn<Status::Case>("advanced");
        QTest::newRow("disabled") << Status::disabled << "Disabled" << Status::disabled;
        QTest::newRow("passive") << Status::passive << "Passive" << Status::standby1;
        QTest::newRow("standby 1") << Status::standby1 << "Standby 1" << Status::standby2;
        QTest::newRow("standby 2") << Status::standby2 << "Standby 2" << Status::active;
        QTest::newRow("active") << Status::active << "Active" << Status::active;
    }

    void tokenStatus()
    {
        QFETCH(Status::Case, from);
        QFETCH(QString, description);
        QFETCH(Status::Case, advanced);
        QCOMPARE(Status{from}.description(), description);
        Status status{from};
        status.advance();
        QCOMPARE(status, Status{advanced});
        QCOMPARE(qHash(status), qHash(Status{advanced}));
        status.reset();
        QCOMPARE(status, Status{Status::passive});
        status.disable();
        QCOMPARE(status, Status{Status::disabled});
    }

    void gridLinesComeBackAfterAnAppearanceChange_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<Qt::PenStyle>("style");
        QTest::addColumn<int>("event");
        QTest::newRow("dashed, palette") << true << Qt::DashLine << int(QEvent::PaletteChange);
        QTest::newRow("solid, style") << true << Qt::SolidLine << int(QEvent::StyleChange);
        QTest::newRow("none, palette") << true << Qt::NoPen << int(QEvent::PaletteChange);
        QTest::newRow("never set") << false << Qt::SolidLine << int(QEvent::PaletteChange);
    }

    void gridLinesComeBackAfterAnAppearanceChange()
    {
        QFETCH(bool, set);
        QFETCH(Qt::PenStyle, style);
        QFETCH(int, event);
        AppearanceChangeFixTableView table;
        if (set)
            table.setGridStyleMask(style);
        QCOMPARE(table.gridStyleMask(), style);
        QEvent change{QEvent::Type(event)};
        QCoreApplication::sendEvent(&table, &change);
        QCOMPARE(table.gridStyleMask(), set ? Qt::NoPen : style); // hidden until the change is handled
        QTRY_COMPARE(table.gridStyleMask(), style);
        QCOMPARE(table.showGrid(), style != Qt::NoPen);
    }

    void handCursorButton()
    {
        QCOMPARE(HandCursorButton(QStringLiteral("Open")).cursor().shape(), Qt::PointingHandCursor);
    }

    void windowFrameIsKeptUnderTheDerivedName_data()
    {
        QTest::addColumn<QString>("windowName");
        QTest::addColumn<QString>("savedUnder");
        QTest::newRow("named window") << QStringLiteral("Inspector") << QStringLiteral("Inspector fix");
        QTest::newRow("window without a name") << QString() << QString();
    }

    void windowFrameIsKeptUnderTheDerivedName()
    {
        QFETCH(QString, windowName);
        QFETCH(QString, savedUnder);
        UserDefaults defaults;
        const QRect frame(120, 90, 333, 222);
        const auto open = [&](const QRect &geometry) {
            auto *window = new QWidget;
            NSWindow::setFrameAutosaveName(*window, windowName);
            window->setGeometry(geometry);
            auto controller = std::make_unique<AutoFrameSavingWindowController>(window, defaults);
            controller->showWindow();
            return controller;
        };
        auto first = open(frame);
        QCOMPARE(first->windowFrameAutosaveName(), savedUnder);
        first->window()->close();
        first.reset();
        QCOMPARE(defaults.contains(NSWindowController::frameDefaultsKey(savedUnder)), !savedUnder.isEmpty());
        QVERIFY(!defaults.contains(NSWindowController::frameDefaultsKey(QStringLiteral(" fix"))));

        // The next window of that name opens where the first one was left;
        // a window without a name keeps its own place.
        const QRect elsewhere(10, 10, 200, 150);
        const auto second = open(elsewhere);
        QCOMPARE(second->window()->size(), savedUnder.isEmpty() ? elsewhere.size() : frame.size());
    }

    void moviePlayerLoopsOnlyOnItsOwnEnd()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty())
            QSKIP("gst-launch-1.0 (Debian package gstreamer1.0-tools) makes the test movies; it is not installed");
        QTemporaryDir dir;
        const QString shortMovie = makeMovie(dir, QStringLiteral("short.ogv"), 3);
        const QString longMovie = makeMovie(dir, QStringLiteral("long.ogv"), 100);
        QVERIFY(!shortMovie.isEmpty() && !longMovie.isEmpty());

        LoopingMoviePlayer plain;
        QCOMPARE(plain.playbackState(), QMediaPlayer::StoppedState);

        LoopingMoviePlayer looping(QUrl::fromLocalFile(shortMovie));
        LoopingMoviePlayer other(QUrl::fromLocalFile(longMovie));
        QCOMPARE(looping.playbackState(), QMediaPlayer::PlayingState);
        int ends = 0;
        connect(&looping, &QMediaPlayer::mediaStatusChanged, this, [&ends](QMediaPlayer::MediaStatus status) {
            ends += status == QMediaPlayer::EndOfMedia;
        });
        qint64 furthest = 0;
        bool wentBack = false;
        connect(&other, &QMediaPlayer::positionChanged, this, [&](qint64 position) {
            wentBack = wentBack || position < furthest;
            furthest = std::max(furthest, position);
        });
        QTRY_VERIFY_WITH_TIMEOUT(ends >= 3, 20000);
        QCOMPARE(looping.playbackState(), QMediaPlayer::PlayingState);
        // Meanwhile the ten-second movie played on from where it was.
        QVERIFY(furthest > 0);
        QVERIFY(!wentBack);
    }
};

QTEST_MAIN(AppKitClassesTest)
#include "tst_appkitclasses.moc"
