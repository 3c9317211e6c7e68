#pragma once

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryImportSummary.h"
#include "platform/Result.h"
#include "platform/objectstore/ModelStoreError.h"

class ModelContext;

// Merges an archive that has been read into the library, adding only what
// the library lacks.
class LibraryArchiveImporter {
public:
    // Adds every series and image of `contents` whose identifier the library
    // doesn't hold yet (a record repeated in the archive counts as skipped),
    // with their annotations and links, keeping the archive's identifiers,
    // dates and sort indices; an image joins the series of its seriesID,
    // whether it was in the library or came with the archive. Ends with one
    // save of `context`; when that fails the context is rolled back, nothing
    // of the archive stays in the library, and the save's error is given.
    // Once the save is done no imported bytes keep `contents`' buffer in
    // memory. Main thread.
    static Result<LibraryImportSummary, ModelStoreError> importContents(LibraryArchiveContents contents,
                                                                       ModelContext &context);

    // The bytes of the images that importContents() would add to the
    // library as it is now, for their files to be written ahead
    // (changeOncePrepared). Main thread.
    static QList<QByteArray> newImageBytes(const LibraryArchiveContents &contents, ModelContext &context);

private:
    LibraryArchiveImporter() = delete;
};
