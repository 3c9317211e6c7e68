#pragma once

#include "platform/FileReadError.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The whole content of a file, or why it could not be read.
struct RegularFileContents {
    QByteArray data;
    std::optional<FileReadError> error;
};

// Reads regular files only. A folder, named pipe, socket or device is refused
// before anything is read from it, so a pipe named like a picture cannot
// block the caller waiting for a writer that never comes.
class RegularFile {
public:
    // Reads the whole file at `path`; errors name the file as `displayName`.
    static RegularFileContents readAll(const QString &path, const QString &displayName);
};
