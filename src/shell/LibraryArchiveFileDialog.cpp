#include "shell/LibraryArchiveFileDialog.h"

#include "archive/LibraryArchiveTransfer.h"
#include "archive/VeloranLibraryType.h"
#include "shell/FileDialogFolder.h"

#include <QFileDialog>
#include <QMimeDatabase>

namespace {

QFileDialog *makeDialog(QWidget *parent)
{
    // The archives' dialogs, export and import alike, open where the last one was left.
    static FileDialogFolder folder(QStandardPaths::DocumentsLocation);
    auto *dialog = new QFileDialog(parent ? parent->window() : nullptr);
    folder.follow(*dialog);
    const QString mimeType(VeloranLibraryType::mimeType);
    if (QMimeDatabase().mimeTypeForName(mimeType).isValid()) {
        dialog->setMimeTypeFilters({mimeType});
    } else {
        dialog->setNameFilter(QStringLiteral("Veloran library archive (*.") + VeloranLibraryType::fileExtension
                              + QLatin1Char(')'));
    }
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

} // namespace

QFileDialog *LibraryArchiveFileDialog::makeSaveDialog(const QString &filename, QWidget *parent)
{
    QFileDialog *dialog = makeDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(VeloranLibraryType::fileExtension);
    dialog->selectFile(LibraryArchiveTransfer::archiveFilename(filename));
    return dialog;
}

QFileDialog *LibraryArchiveFileDialog::makeOpenDialog(QWidget *parent)
{
    QFileDialog *dialog = makeDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return dialog;
}
