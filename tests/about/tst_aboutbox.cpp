#include "about/AboutController.h"
#include "about/AboutDelegate.h"
#include "about/AboutTexts.h"
#include "about/AboutView.h"
#include "about/AboutWindowController.h"
#include "about/AppIcon.h"
#include "appkit/NSWindowController.h"
#include "foundation/Dates.h"
#include "ui/AppStyle.h"

#include <QBuffer>
#include <QCursor>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString buildDate = QStringLiteral("Tue Mar 3 14:05:00 2026"); // Auckland wall-clock time

struct TestDelegate final : AboutDelegateProtocol {
    QString main = QStringLiteral("Main *text*");
    std::optional<QString> secondary;
    std::optional<QStringList> parties;
    std::optional<QUrl> guide;
    QString mainDescription() const override { return main; }
    std::optional<QString> secondaryDescription() const override { return secondary; }
    std::optional<QStringList> thirdParties() const override { return parties; }
    std::optional<QUrl> userGuideURL() const override { return guide; }
};

Bundle bundleWith(const QVariantMap &changes, const QString &resources = {})
{
    QVariantMap info{{"CFBundleName", "Atlas"}, {"CFBundleShortVersionString", "1.2.0"}, {"CFBundleVersion", "42"},
                     {"BuildDate", buildDate}, {"NSHumanReadableCopyright", "© <b>Makers</b>"}};
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it.value().isValid())
            info.insert(it.key(), it.value());
        else
            info.remove(it.key());
    }
    return Bundle(info, resources);
}

QString text(const QWidget &view, const QString &name)
{
    const auto *label = view.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<none>");
}

void hover(QWidget &window, QWidget *target, bool inside)
{
    QTest::mouseMove(&window, inside ? target->mapTo(&window, target->rect().center()) : QPoint(1, window.height() - 1));
}

} // namespace

// Receives the addresses the application asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(std::function<void(const QUrl &)> onOpen) : m_onOpen(std::move(onOpen)) {}

public slots:
    void open(const QUrl &url) { m_onOpen(url); }

private:
    std::function<void(const QUrl &)> m_onOpen;
};

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QVariantMap>("changes"); // an invalid value removes the key
        QTest::addColumn<bool>("showBuildNumber");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("version");
        const QString build = QStringLiteral("Build 42 (%1)")
                                  .arg(shortDateString(bundleWith({}).buildDate()->toDateTime(), QTimeZone::utc()));
        QTest::newRow("release version") << QVariantMap() << false << "Atlas" << "1.2.0";
        QTest::newRow("build while hovered") << QVariantMap() << true << "Atlas" << build;
        QTest::newRow("no build date") << QVariantMap{{"BuildDate", {}}} << true << "Atlas" << "1.2.0";
        QTest::newRow("no build number") << QVariantMap{{"CFBundleVersion", {}}} << true << "Atlas" << "1.2.0";
        QTest::newRow("no name, no version") << QVariantMap{{"CFBundleName", {}}, {"CFBundleShortVersionString", {}}}
                                             << false << "App" << "";
        QTest::newRow("display name first") << QVariantMap{{"CFBundleDisplayName", "Atlas Pro"}} << false
                                            << "Atlas Pro" << "1.2.0";
    }

    void texts()
    {
        QFETCH(QVariantMap, changes);
        QFETCH(bool, showBuildNumber);
        QFETCH(QString, title);
        QFETCH(QString, version);
        const Bundle bundle = bundleWith(changes);
        QCOMPARE(AboutTexts::title(bundle), title);
        QCOMPARE(AboutTexts::versionLine(bundle, showBuildNumber, QTimeZone::utc()), version);
    }

    // The build shows while the pointer is over the title row, whether or
    // not the About window is the active one.
    void applicationTextsAndHover_data()
    {
        QTest::addColumn<bool>("active");
        QTest::newRow("active window") << true;
        QTest::newRow("inactive window") << false;
    }

    void applicationTextsAndHover()
    {
        QFETCH(bool, active);
        const AboutDelegate delegate;
        AboutController controller(&delegate, bundleWith({}));
        QWidget elsewhere;
        QCursor::setPos(controller.screen()->geometry().bottomRight()); // away from the title row
        controller.show();
        elsewhere.show();
        QWidget &activeWindow = active ? static_cast<QWidget &>(controller) : elsewhere;
        activeWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&activeWindow));
        QCOMPARE(controller.isActiveWindow(), active);
        const AboutView &view = *controller.rootView(); // replaced below
        QCOMPARE(text(view, "title"), QStringLiteral("Atlas"));
        QCOMPARE(text(view, "mainDescription"), QStringLiteral("Curate and annotate a library of medical imaging"));
        QCOMPARE(text(view, "secondaryDescription"),
                 QStringLiteral("• Organise images into series and libraries\n"
                                "• Annotate anatomy with points and regions\n"
                                "• Export and share libraries, and sync via iCloud"));
        QCOMPARE(text(view, "copyright"), QStringLiteral("© <b>Makers</b>"));
        QCOMPARE(view.findChild<QLabel *>("copyright")->textFormat(), Qt::PlainText);
        QVERIFY(!view.findChild<QLabel *>("poweredBy"));
        QVERIFY(!controller.helpButton());
        QCOMPARE(text(view, "version"), QStringLiteral("1.2.0"));
        hover(controller, view.findChild<QWidget *>("titleRow"), true);
        QVERIFY(view.showBuildNumber());
        QVERIFY(text(view, "version").startsWith(QStringLiteral("Build 42 (")));
        hover(controller, view.findChild<QWidget *>("titleRow"), false);
        QCOMPARE(text(view, "version"), QStringLiteral("1.2.0"));
        // Another delegate shows at once, in a fresh view with the plain version.
        hover(controller, view.findChild<QWidget *>("titleRow"), true);
        TestDelegate other;
        controller.setDelegate(&other);
        QCOMPARE(text(*controller.rootView(), "mainDescription"), other.main);
        QVERIFY(!controller.rootView()->showBuildNumber());
        QCOMPARE(text(*controller.rootView(), "version"), QStringLiteral("1.2.0"));
    }

    void poweredByListsEachComponentOnce()
    {
        TestDelegate delegate;
        delegate.parties = QStringList{"[Qt](https://www.qt.io)", "zlib", "[Qt](https://www.qt.io)"};
        const AboutView view(&delegate, bundleWith({}));
        QCOMPARE(text(view, "poweredBy"), QStringLiteral("Powered by"));
        QStringList shown;
        for (const QLabel *entry : view.findChildren<QLabel *>("component")) {
            QCOMPARE(entry->textFormat(), Qt::MarkdownText);
            shown << entry->text();
        }
        QCOMPARE(shown, (QStringList{"[Qt](https://www.qt.io)", "zlib"}));
        QCOMPARE(text(view, "mainDescription"), QStringLiteral("Main *text*")); // not markdown
        QCOMPARE(text(view, "secondaryDescription"), QString());
    }

    // The rule over the copyright line is half a point high: one device
    // pixel row at twice the density, a half-covered row at one.
    void ruleIsHalfAPointHigh_data()
    {
        QTest::addColumn<int>("ratio");
        QTest::addColumn<double>("coverage"); // of the first device pixel row
        QTest::newRow("twice the density") << 2 << 1.0;
        QTest::newRow("one") << 1 << 0.5;
    }

    void ruleIsHalfAPointHigh()
    {
        QFETCH(int, ratio);
        QFETCH(double, coverage);
        const AboutDelegate delegate;
        AboutView view(&delegate, bundleWith({}));
        view.resize(AboutController::preferredSize);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *rule = view.findChild<QWidget *>(QStringLiteral("rule"));
        QVERIFY(rule);
        QVERIFY(rule->width() > 100);
        QImage drawn(rule->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        drawn.setDevicePixelRatio(ratio);
        drawn.fill(Qt::transparent);
        rule->render(&drawn, QPoint(), QRegion(), QWidget::RenderFlags());
        const int full = AppStyle::tertiary(rule->palette()).alpha();
        QList<int> rows; // the strongest alpha of each device pixel row
        for (int y = 0; y < drawn.height(); ++y) {
            int strongest = 0;
            for (int x = 0; x < drawn.width(); ++x)
                strongest = std::max(strongest, qAlpha(drawn.pixel(x, y)));
            rows << strongest;
        }
        QVERIFY2(std::abs(rows.first() - coverage * full) <= 2, qPrintable(QString::number(rows.first())));
        QCOMPARE(rows.mid(1), QList<int>(drawn.height() - 1, 0));
    }

    // The stack keeps its spacing of 2 on both sides of the 20-point
    // spacer: the descriptions begin 24 points below the title row, and
    // so do their first painted pixels.
    void descriptionsBegin24PointsBelowTheTitleRow()
    {
        const AboutDelegate delegate;
        AboutView view(&delegate, bundleWith({}));
        view.resize(AboutController::preferredSize);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto *titleRow = view.findChild<QWidget *>(QStringLiteral("titleRow"));
        auto *description = view.findChild<QLabel *>(QStringLiteral("mainDescription"));
        const int titleBottom = titleRow->mapTo(&view, QPoint(0, titleRow->height())).y();
        const QRect described(description->mapTo(&view, QPoint(0, 0)), description->size());
        QCOMPARE(described.top() - titleBottom, 24);

        const QColor background = view.palette().color(QPalette::Window);
        const auto firstInkRow = [&](const QImage &image, int from, int left, int right) {
            for (int y = from; y < image.height(); ++y) {
                for (int x = left; x <= right; ++x) {
                    if (image.pixelColor(x, y) != background)
                        return y;
                }
            }
            return -1;
        };
        const QImage own = description->grab().toImage();
        const int inkInLabel = firstInkRow(own, 0, 0, own.width() - 1);
        QVERIFY(inkInLabel >= 0);
        const QImage drawn = view.grab().toImage();
        QCOMPARE(firstInkRow(drawn, titleBottom, described.left(), described.right()),
                 titleBottom + 24 + inkInLabel);
    }

    void userGuideButtonClosesThenOpensTheGuide()
    {
        TestDelegate delegate;
        delegate.guide = QUrl(QStringLiteral("https://example.org/guide"));
        QList<QUrl> opened;
        bool visibleWhenOpened = true;
        AboutController controller(&delegate, bundleWith({}));
        UrlCatcher catcher([&](const QUrl &url) {
            opened << url;
            visibleWhenOpened = controller.isVisible();
        });
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        controller.show();
        QVERIFY(QTest::qWaitForWindowExposed(&controller));
        QVERIFY(controller.helpButton());
        QCOMPARE(controller.helpButton()->text(), QStringLiteral("User Guide"));
        QCOMPARE(controller.helpButton()->geometry().right(), controller.width() - 8 - 1);
        QTest::mouseClick(controller.helpButton(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(opened, QList<QUrl>{*delegate.guide});
        QVERIFY(!visibleWhenOpened);
    }

    void appIcon_data()
    {
        QTest::addColumn<QString>("iconFile");
        QTest::addColumn<bool>("found");
        QTest::newRow("named without extension") << "Icon" << true;
        QTest::newRow("missing file: placeholder") << "Other" << false;
    }

    void appIcon()
    {
        QFETCH(QString, iconFile);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(dir.filePath(QStringLiteral("Icon.png"))));
        const AppIcon icon(bundleWith({{"CFBundleIconFile", iconFile}}, dir.path()));
        QCOMPARE(bool(icon.image()), found);
        // Either way something is drawn.
        const QImage drawn = const_cast<AppIcon &>(icon).grab().toImage();
        QVERIFY(std::any_of(drawn.constBits(), drawn.constBits() + drawn.sizeInBytes(), [](uchar b) { return b; }));
    }

    void sharedWindowIsMadeOnceAndKeptWhereTheUserLeftIt()
    {
        AboutWindowController &about = AboutWindowController::shared();
        NSWindowController &controller = about.windowController();
        QCOMPARE(&about.windowController(), &controller);
        QWidget *window = controller.window();
        QMenuBar bar;
        bar.addMenu(QStringLiteral("Veloran"))->addAction(QStringLiteral("Check for Updates…"));
        QAction *command = installAboutCommand(&bar);
        const QList<QAction *> items = bar.actions().first()->menu()->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0], command);
        QCOMPARE(command->text(), QStringLiteral("About Veloran"));
        command->trigger();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(window->size(), AboutController::preferredSize);
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(window->windowTitle().isEmpty());
        QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(window->frameGeometry().center(), window->screen()->availableGeometry().center());
        const QPoint moved = window->pos() + QPoint(37, 23);
        window->move(moved);
        window->close();
        QVERIFY(!window->isVisible());
        command->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(controller.window(), window);
        QCOMPARE(window->pos(), moved);
    }
};

QTEST_MAIN(AboutBoxTest)
#include "tst_aboutbox.moc"
