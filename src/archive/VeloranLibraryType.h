#pragma once

#include <QLatin1StringView>

// The file type of a library archive: a zip archive of our own kind with the
// extension "veloran". The shared MIME-info description installed with the
// application (data/mime/veloran-library.xml) declares the same type.
struct VeloranLibraryType {
    static constexpr QLatin1StringView mimeType{"application/x-veloran-library"};
    static constexpr QLatin1StringView identifier{"app.veloran.library"};
    static constexpr QLatin1StringView parentMimeType{"application/zip"};
    static constexpr QLatin1StringView fileExtension{"veloran"};
};
