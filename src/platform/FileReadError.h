#pragma once

#include <QString>

// Why a file could not be read into memory, with the user-facing text that
// an "… Failed" alert shows.
struct FileReadError {
    enum class Reason {
        noSuchFile,
        noPermission,
        notRegularFile, // a folder, pipe, socket or device: refused without opening it for reading
        readFailed,     // any other failure of opening or reading
        changed,        // written, cut short, grown or replaced while it was read
    };

    Reason reason = Reason::readFailed;
    QString fileName;   // the file's name, as shown to the user
    int systemError = 0; // errno of the failure, 0 when none

    static FileReadError fromSystemError(int errorNumber, const QString &fileName);

    QString localizedDescription() const;

    friend bool operator==(const FileReadError &, const FileReadError &) = default;
};
