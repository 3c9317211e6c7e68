#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// The file dialogs of library archives: the save dialog of an export and
// the open dialog of an import. Both offer only library archives (the
// archive's MIME type, or its extension where the desktop doesn't know the
// type), open where the last of them was left in this run (else the
// Documents folder, else the home folder), and are window-modal over
// `parent`'s window. They delete themselves when closed.
struct LibraryArchiveFileDialog {
    // Proposes `filename` as a shared archive would be named
    // (LibraryArchiveTransfer::archiveFilename), with the archive's
    // extension, which it adds to a typed name that has none; asks before
    // replacing a file.
    static QFileDialog *makeSaveDialog(const QString &filename, QWidget *parent);
    // One existing archive file.
    static QFileDialog *makeOpenDialog(QWidget *parent);
};
