#pragma once

#include <QString>

// Why a file could not be written, with the user-facing text that an
// "… Failed" alert shows.
struct FileWriteError {
    QString fileName; // the file's name, as shown to the user
    QString reason;   // the system's words, such as "No space left on device"

    QString description() const
    {
        return QStringLiteral("The file \u201C%1\u201D couldn\u2019t be saved: %2.").arg(fileName, reason);
    }

    friend bool operator==(const FileWriteError &, const FileWriteError &) = default;
};
