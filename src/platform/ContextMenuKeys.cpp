#include "platform/ContextMenuKeys.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>

namespace {

class ContextMenuKeys final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Seen once per press, as the window gets it; the window hands the
        // menu event to its focused widget.
        if (event->type() != QEvent::KeyPress || !watched->isWindowType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier)
            return false;
        auto *window = static_cast<QWindow *>(watched);
        const QPoint centre(window->width() / 2, window->height() / 2);
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, centre, window->mapToGlobal(centre));
        QCoreApplication::sendEvent(window, &menu);
        return true;
    }
};

} // namespace

void installContextMenuKeys()
{
    static QPointer<QObject> installed;
    if (installed)
        return;
    installed = new ContextMenuKeys(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(installed);
}
