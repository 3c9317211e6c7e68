#include "appkit/NSAlert.h"

#include <QMessageBox>
#include <QPushButton>

QMessageBox *NSAlert::makeInfoAlert(const QString &message, const std::optional<QString> &information, QWidget *parent)
{
    auto *alert = new QMessageBox(parent);
    alert->setText(message);
    if (information)
        alert->setInformativeText(*information);
    alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    return alert;
}

void NSAlert::showModalInfoAlert(const QString &message, const std::optional<QString> &information, QWidget *parent)
{
    QMessageBox *alert = makeInfoAlert(message, information, parent);
    alert->exec();
    delete alert;
}

QPushButton *NSAlert::addDeleteButton(QMessageBox &alert)
{
    return alert.addButton(QStringLiteral("Delete"), QMessageBox::DestructiveRole);
}
