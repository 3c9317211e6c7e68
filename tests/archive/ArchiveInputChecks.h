#pragma once

// Consistency checks on arbitrary input bytes, shared by the fuzz target
// and the test that replays the inputs which once found a fault.

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveManifest.h"
#include "archive/ZipArchiveReader.h"
#include "ZipTestSupport.h"

#include <QByteArray>
#include <QString>

// Empty when every check holds, else what went wrong.
inline QString checkArchiveInput(const QByteArray &input)
{
    // Reading everything and reading while keeping nothing must agree on
    // success and on the error.
    const auto all = ZipArchiveReader::entries(input);
    const auto none = ZipArchiveReader::entries(input, [](const QString &) { return false; });
    if (all.ok() != none.ok())
        return QStringLiteral("keeping entries changed the outcome");
    if (!all.ok() && !(all.error() == none.error()))
        return QStringLiteral("keeping entries changed the error: %1 / %2")
            .arg(all.error().description(), none.error().description());
    if (all.ok()) {
        if (!none.value().isEmpty())
            return QStringLiteral("entries kept against the filter");
        for (auto it = all.value().constBegin(); it != all.value().constEnd(); ++it) {
            if (ZipArchiveReader::lookUp(input, it.key()) != it.value())
                return QStringLiteral("lookUp disagrees for %1").arg(it.key());
        }
    }

    // Checking every entry and reading in pieces agree with the whole read.
    if (const QString problem = piecewiseDisagreement(input, all); !problem.isEmpty())
        return problem;

    // Contents that read write again and read back the same.
    const auto contents = LibraryArchiveContents::fromArchiveData(input);
    if (contents.ok()) {
        if (!all.ok())
            return QStringLiteral("contents read from a damaged zip");
        const auto written = contents.value().archiveData();
        if (!written.ok())
            return QStringLiteral("contents don't write: %1").arg(errorDescription(written.error()));
        const auto again = LibraryArchiveContents::fromArchiveData(written.value());
        if (!again.ok())
            return QStringLiteral("written contents don't read: %1").arg(errorDescription(again.error()));
        if (!(again.value() == contents.value()))
            return QStringLiteral("contents changed through writing");
    }

    // The input taken as "library.json" itself.
    const auto manifest = LibraryArchiveManifest::decoded(input);
    if (manifest.ok()) {
        const auto json = manifest.value().encoded();
        if (!json.ok())
            return QStringLiteral("manifest doesn't encode: %1").arg(json.error().description());
        const auto back = LibraryArchiveManifest::decoded(json.value());
        if (!back.ok())
            return QStringLiteral("encoded manifest doesn't decode: %1").arg(back.error().description());
        if (!(back.value() == manifest.value()))
            return QStringLiteral("manifest changed through encoding");
    }
    return QString();
}
