#pragma once

#include <QString>

// A failed file-system operation, thrown by the helpers that the system's
// own file operations can fail in: the file's path and what went wrong.
struct FileError {
    QString path;
    QString description;
    int systemError = 0; // errno of the failure, 0 when none

    // "<what failed>: <the system's text for errorNumber>".
    static FileError fromSystemError(const QString &path, const QString &operation, int errorNumber);
};
