#include "shell/FileDialogFolder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString FileDialogFolder::start() const
{
    if (!m_last.isEmpty() && QDir(m_last).exists())
        return m_last;
    const QString standard = QStandardPaths::writableLocation(m_fallback);
    return !standard.isEmpty() && QDir(standard).exists() ? standard : QDir::homePath();
}

void FileDialogFolder::follow(QFileDialog &dialog)
{
    dialog.setDirectory(start());
    // The picked file's folder: a typed path may name another than the one shown.
    QObject::connect(&dialog, &QFileDialog::finished, &dialog, [this, &dialog](int result) {
        const QStringList files = dialog.selectedFiles();
        m_last = result == QDialog::Accepted && !files.isEmpty() ? QFileInfo(files.first()).absolutePath()
                                                                 : dialog.directory().absolutePath();
    });
}
