#pragma once

#include <QStandardPaths>
#include <QString>

class QFileDialog;

// Where the file dialogs of one kind open: in the folder of the file last
// picked with one of them in this run (or the folder a cancelled one
// showed), else in a standard folder, else in the home folder.
class FileDialogFolder {
public:
    explicit FileDialogFolder(QStandardPaths::StandardLocation fallback) : m_fallback(fallback) {}

    // Opens the dialog where this kind of dialog was left, and keeps the
    // folder when the dialog finishes.
    void follow(QFileDialog &dialog);

private:
    QString start() const;

    QStandardPaths::StandardLocation m_fallback;
    QString m_last;
};
