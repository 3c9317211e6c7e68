#pragma once

#include <QList>
#include <QUrl>

#include <optional>

class QMimeData;

struct NSDraggingInfo {
    // The URLs a drag carries, in order; none when it carries nothing or
    // any entry is not a URL.
    static std::optional<QList<QUrl>> draggedURLs(const QMimeData &data);
};
