#pragma once

#include <QString>

class QTextCursor;

struct NSTextView {
    // The selected text, with paragraph breaks as line feeds.
    static QString selectedString(const QTextCursor &cursor);
};
