#include "support/AlertButtons.h"
#include "support/FocusRings.h"
#include "ui/AlertDialog.h"
#include "ui/FocusRingStyle.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

using Role = AlertDialog::Role;
Q_DECLARE_METATYPE(QList<AlertDialog::Button>)

// Which button an alert's keys press, and that an alert answers once.
class AlertDialogTest : public QObject {
    Q_OBJECT
private slots:
    void keysPressTheirButton_data()
    {
        QTest::addColumn<QList<AlertDialog::Button>>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("pressed"); // -1: none
        QTest::addColumn<int>("result");

        const QList<AlertDialog::Button> rename{{"Cancel", Role::cancel}, {"Rename", Role::plain}};
        const QList<AlertDialog::Button> deletion{{"Delete", Role::destructive}, {"Cancel", Role::cancel}};
        const QList<AlertDialog::Button> ok{{"OK", Role::cancel}};
        const QList<AlertDialog::Button> noCancel{{"Yes", Role::plain}, {"No", Role::plain}};
        const int accepted = QDialog::Accepted;
        const int rejected = QDialog::Rejected;
        QTest::newRow("Return: first non-cancel") << rename << int(Qt::Key_Return) << 1 << accepted;
        QTest::newRow("Escape: the cancel button") << rename << int(Qt::Key_Escape) << 0 << rejected;
        QTest::newRow("Return: never the destructive button") << deletion << int(Qt::Key_Return) << 1 << rejected;
        QTest::newRow("Escape: cancel second") << deletion << int(Qt::Key_Escape) << 1 << rejected;
        QTest::newRow("Return: a lone cancel button") << ok << int(Qt::Key_Return) << 0 << rejected;
        QTest::newRow("Escape without a cancel button") << noCancel << int(Qt::Key_Escape) << -1 << rejected;
    }

    void keysPressTheirButton()
    {
        QFETCH(QList<AlertDialog::Button>, buttons);
        QFETCH(int, key);
        QFETCH(int, pressed);
        QFETCH(int, result);
        AlertDialog alert(QStringLiteral("Title"), QStringLiteral("Message"), buttons);
        QSignalSpy answers(&alert, &AlertDialog::buttonPressed);
        alert.show();
        QVERIFY(QTest::qWaitForWindowExposed(&alert));
        QTest::keyClick(&alert, Qt::Key(key));
        QVERIFY(!alert.isVisible());
        QCOMPARE(alert.result(), result);
        QCOMPARE(answers.count(), pressed < 0 ? 0 : 1);
        if (pressed >= 0)
            QCOMPARE(answers.first().first().toInt(), pressed);
    }

    // Each of its Tab stops shows the accent ring: the field, the release
    // notes and the buttons.
    void everyTabStopShowsTheRing()
    {
        FocusRingStyle::install();
        AlertDialog alert(QStringLiteral("A new version is available"), QStringLiteral("Message"),
                          {{QStringLiteral("Later"), AlertDialog::Role::cancel}, {QStringLiteral("Install")}});
        alert.addTextField(QStringLiteral("Name"), QStringLiteral("Brain"));
        alert.addDetails(QStringLiteral("Faster thumbnails.\nFewer surprises."));
        alert.show();
        alert.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&alert));
        const QList<QWidget *> stops = tabStops(alert.textField());
        QVERIFY(stops.contains(alert.findChild<QPlainTextEdit *>()));
        QCOMPARE(stops.size(), 4);
        for (QWidget *stop : stops)
            QVERIFY2(FocusLook(stop).ringed(stop->rect(), AppStyle::accent(stop->palette()), 2),
                     stop->metaObject()->className());
    }

    // The confirming button goes last, the cancel buttons before it; Return
    // never presses a destructive button.
    void buttonsInTheDesktopOrder_data()
    {
        QTest::addColumn<QList<AlertDialog::Button>>("buttons");
        QTest::addColumn<QStringList>("laidOut");
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("delete") << QList<AlertDialog::Button>{{"Delete", Role::destructive}, {"Cancel", Role::cancel}}
                                << QStringList{"Cancel", "Delete"} << "Cancel";
        QTest::newRow("label") << QList<AlertDialog::Button>{{"Save", Role::plain}, {"Cancel", Role::cancel}}
                               << QStringList{"Cancel", "Save"} << "Save";
        QTest::newRow("rename") << QList<AlertDialog::Button>{{"Cancel", Role::cancel}, {"Rename", Role::plain}}
                                << QStringList{"Cancel", "Rename"} << "Rename";
        QTest::newRow("a lone OK") << QList<AlertDialog::Button>{{"OK", Role::cancel}} << QStringList{"OK"} << "OK";
        QTest::newRow("a lone destructive button")
            << QList<AlertDialog::Button>{{"Erase", Role::destructive}} << QStringList{"Erase"} << QString();
        QTest::newRow("no cancel") << QList<AlertDialog::Button>{{"OK", Role::plain}, {"Show in Folder", Role::plain}}
                                   << QStringList{"Show in Folder", "OK"} << "OK";
        QTest::newRow("three") << QList<AlertDialog::Button>{{"Replace", Role::plain},
                                                             {"Cancel", Role::cancel},
                                                             {"Keep Both", Role::plain},
                                                             {"Stop", Role::destructive}}
                               << QStringList{"Keep Both", "Stop", "Cancel", "Replace"} << "Replace";
    }
    void buttonsInTheDesktopOrder()
    {
        QFETCH(QList<AlertDialog::Button>, buttons);
        AlertDialog alert(QStringLiteral("Title"), QString(), buttons);
        alert.show();
        QVERIFY(QTest::qWaitForWindowExposed(&alert));
        QTEST(laidOutButtonTitles(alert), "laidOut");
        QTEST(defaultButtonTitle(alert), "defaultButton");
        // The buttons still answer with their place in the given list.
        QSignalSpy answers(&alert, &AlertDialog::buttonPressed);
        alert.buttons().last()->click();
        QCOMPARE(answers.value(0).value(0).toInt(), buttons.size() - 1);
    }

    // A window-modal sheet at the top of its window, clear of what it keeps in sight.
    void aSheetOfItsWindow()
    {
        QWidget window;
        window.setGeometry(100, 80, 900, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        AlertDialog alert(QStringLiteral("Annotation label"), QString(),
                          {{"Save", Role::plain}, {"Cancel", Role::cancel}}, &window);
        alert.addTextField(QStringLiteral("Label"), QString());
        alert.open();
        QVERIFY(QTest::qWaitForWindowExposed(&alert));
        QCOMPARE(alert.windowModality(), Qt::WindowModal);
        QCOMPARE(alert.frameGeometry().top(), window.geometry().top());
        QCOMPARE(alert.frameGeometry().center().x(), window.geometry().center().x());
        const QPoint point = window.geometry().topLeft() + QPoint(450, 20);
        alert.keepUncovered(QRect(point, QSize(1, 1)));
        QVERIFY(!alert.frameGeometry().contains(point));
        QVERIFY(window.geometry().contains(alert.frameGeometry()));
        QTest::keyClick(&alert, Qt::Key_Escape);
        QVERIFY(!alert.isVisible());
    }

    void answersOnceAndNotWhenClosedByItsOwner()
    {
        AlertDialog alert(QStringLiteral("Title"), QString(), {{"Delete", Role::destructive}, {"Cancel", Role::cancel}});
        QSignalSpy answers(&alert, &AlertDialog::buttonPressed);
        alert.show();
        QTest::mouseClick(alert.button(QStringLiteral("Delete")), Qt::LeftButton);
        alert.reject();
        QCOMPARE(answers.count(), 1);
        QCOMPARE(answers.first().first().toInt(), 0);

        AlertDialog dismissed(QStringLiteral("Title"), QString(), {{"OK", Role::cancel}});
        QSignalSpy none(&dismissed, &AlertDialog::buttonPressed);
        dismissed.show();
        dismissed.done(QDialog::Rejected);
        QCOMPARE(none.count(), 0);
    }
};

QTEST_MAIN(AlertDialogTest)
#include "tst_alertdialog.moc"
