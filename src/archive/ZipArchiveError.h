#pragma once

#include <QString>

// A failure of the zip reader or writer; the description is the text shown
// to the user in the "Import Failed" or "Export Failed" alert.
struct ZipArchiveError {
    enum class Kind {
        unsupportedCompression,
        checksumMismatch,
        notAZipArchive,
        truncated,
        unsupportedZip64,
        archiveTooLarge,
    };

    Kind kind = Kind::truncated;
    quint16 method = 0; // unsupportedCompression only
    QString path;       // checksumMismatch only

    static ZipArchiveError unsupportedCompression(quint16 method) { return {Kind::unsupportedCompression, method, {}}; }
    static ZipArchiveError checksumMismatch(const QString &path) { return {Kind::checksumMismatch, 0, path}; }
    static ZipArchiveError notAZipArchive() { return {Kind::notAZipArchive, 0, {}}; }
    static ZipArchiveError truncated() { return {Kind::truncated, 0, {}}; }
    static ZipArchiveError unsupportedZip64() { return {Kind::unsupportedZip64, 0, {}}; }
    static ZipArchiveError archiveTooLarge() { return {Kind::archiveTooLarge, 0, {}}; }

    QString description() const;

    friend bool operator==(const ZipArchiveError &, const ZipArchiveError &) = default;
};
