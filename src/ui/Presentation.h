#pragma once

#include <QDialog>
#include <QPointer>

// What views share in presenting their dialogs, sheets and alerts.
namespace Presentation {

// Closes the dialog that a view presents, without reporting a button, and
// forgets it; nothing when none is presented.
template<class Dialog>
void dismiss(QPointer<Dialog> &dialog)
{
    if (!dialog)
        return;
    Dialog *closing = dialog;
    dialog = nullptr;
    closing->done(QDialog::Rejected);
    closing->deleteLater();
}

} // namespace Presentation
