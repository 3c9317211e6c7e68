#include "updates/UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

class UpdateCommandTest : public QObject {
    Q_OBJECT

private slots:
    void commandSitsInTheApplicationMenu()
    {
        QMenuBar bar;
        QAction *first = installUpdateCommands(&bar);
        QCOMPARE(first->text(), QStringLiteral("Check for Updates…"));
        QCOMPARE(bar.actions().size(), 1);
        QCOMPARE(bar.actions().first()->text(), QStringLiteral("Veloran"));
        QVERIFY(bar.actions().first()->menu()->actions().contains(first));
    }

    void withoutAFeedTheCommandSaysSo()
    {
        if (!Bundle::main().stringForKey(QStringLiteral("SUFeedURL")).value_or(QString()).isEmpty())
            QSKIP("this build has an update feed");
        QMenuBar bar;
        QAction *check = installUpdateCommands(&bar);
        check->trigger();
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = [] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *found = qobject_cast<QMessageBox *>(widget); found && found->isVisible())
                    return found;
            }
            return static_cast<QMessageBox *>(nullptr);
        }()));
        QCOMPARE(box->windowTitle(), QStringLiteral("Updates Are Not Available"));
        QVERIFY(box->informativeText().contains(QStringLiteral("no update feed")));
        QCOMPARE(int(UpdaterController::shared().controller()->updater()->lastResult()->kind),
                 int(SPUUpdateResult::Kind::NoFeed));
        box->close();
    }
};

QTEST_MAIN(UpdateCommandTest)
#include "tst_updatecommand.moc"
