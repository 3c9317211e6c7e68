#include "appkit/NSDraggingInfo.h"

#include <QMimeData>

std::optional<QList<QUrl>> NSDraggingInfo::draggedURLs(const QMimeData &data)
{
    const QByteArray list = data.data(QStringLiteral("text/uri-list"));
    QList<QUrl> urls;
    for (const QByteArray &rawLine : list.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty())
            return std::nullopt;
        urls.append(url);
    }
    if (urls.isEmpty())
        return std::nullopt;
    return urls;
}
