#pragma once

#include <QString>

class QFileDevice;

// Why a file could not be written, with the user-facing text that an
// "… Failed" alert shows.
struct FileWriteError {
    QString fileName; // the file's name, as shown to the user
    QString reason;   // the system's words, such as "File too large" (see below)

    QString description() const
    {
        return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be saved: %2.").arg(fileName, reason);
    }

    // Why a write that failed with the system's error `errorNumber` failed,
    // in the user's words: "There isn’t enough space on the disk" when the
    // disk is full, else the system's own text for the error ("File too
    // large", "Read-only file system"). No closing full stop.
    static QString reasonFor(int errorNumber);
    // The same for the last failure of `file`, from the system's text that
    // it holds.
    static QString reasonFor(const QFileDevice &file);
    // `reason` as a sentence of its own: a capital first letter and a
    // closing full stop.
    static QString sentence(const QString &reason);

    friend bool operator==(const FileWriteError &, const FileWriteError &) = default;
};
