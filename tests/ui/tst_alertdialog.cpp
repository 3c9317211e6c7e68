#include "ui/AlertDialog.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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
