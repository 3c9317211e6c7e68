#include "shell/LibraryArchiveFileDialog.h"

#include "archive/VeloranLibraryType.h"

#include <QDir>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace {

// The folder that an archive dialog showed last, for this run.
QString &lastFolder()
{
    static QString folder;
    return folder;
}

QString startFolder()
{
    if (!lastFolder().isEmpty() && QDir(lastFolder()).exists())
        return lastFolder();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

QFileDialog *makeDialog(QWidget *parent)
{
    auto *dialog = new QFileDialog(parent ? parent->window() : nullptr);
    dialog->setDirectory(startFolder());
    const QString mimeType(VeloranLibraryType::mimeType);
    if (QMimeDatabase().mimeTypeForName(mimeType).isValid()) {
        dialog->setMimeTypeFilters({mimeType});
    } else {
        dialog->setNameFilter(QStringLiteral("Veloran library archive (*.") + VeloranLibraryType::fileExtension
                              + QLatin1Char(')'));
    }
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::finished, dialog,
                     [dialog] { lastFolder() = dialog->directory().absolutePath(); });
    return dialog;
}

} // namespace

QFileDialog *LibraryArchiveFileDialog::makeSaveDialog(const QString &filename, QWidget *parent)
{
    QFileDialog *dialog = makeDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(VeloranLibraryType::fileExtension);
    dialog->selectFile(filename + QLatin1Char('.') + VeloranLibraryType::fileExtension);
    return dialog;
}

QFileDialog *LibraryArchiveFileDialog::makeOpenDialog(QWidget *parent)
{
    QFileDialog *dialog = makeDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    return dialog;
}
