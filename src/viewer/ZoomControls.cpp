#include "viewer/ZoomControls.h"

#include "ui/ProminentButton.h"
#include "ui/SystemSymbol.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QHBoxLayout>

namespace {

// The bar is one group holding its three buttons.
QAccessibleInterface *accessibleControls(const QString &className, QObject *object)
{
    if (className == QLatin1String("ZoomControls") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Grouping);
    return nullptr;
}

} // namespace

ZoomControls::ZoomControls(QWidget *parent) : QWidget(parent)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleControls);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setAccessibleName(tr("Zoom"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    m_zoomOut = addCommand(tr("Zoom out"), QStringLiteral("minus.magnifyingglass"),
                           {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    m_reset = addCommand(tr("Reset zoom"), QStringLiteral("1.magnifyingglass"), {QKeySequence(Qt::CTRL | Qt::Key_0)});
    // Ctrl++ is the one shown; Ctrl+= works the same without Shift. On a
    // keyboard whose + is Shift and =, the desktop offers that press both as
    // Ctrl++ and as Ctrl+Shift+=: it reaches Ctrl++, and Ctrl+Shift+= must
    // not be a shortcut of its own, or the press would match twice and do
    // nothing.
    m_zoomIn = addCommand(tr("Zoom in"), QStringLiteral("plus.magnifyingglass"),
                          {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    for (QAction *action : {m_zoomOut, m_reset, m_zoomIn}) {
        auto *button = new ProminentButton(this);
        button->setDefaultAction(action);
        button->setFocusPolicy(Qt::NoFocus);
        row->addWidget(button);
    }
    setZoom(ZoomPan());
}

QAction *ZoomControls::addCommand(const QString &title, const QString &symbol, const QList<QKeySequence> &shortcuts)
{
    auto *action = new QAction(SystemSymbol::icon(symbol, Qt::white), title, this);
    action->setShortcuts(shortcuts);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(title, shortcuts.first().toString(QKeySequence::NativeText)));
    return action;
}

void ZoomControls::setZoom(const ZoomPan &zoom)
{
    m_zoomOut->setEnabled(zoom.canZoomOut());
    m_reset->setEnabled(!zoom.isIdentity());
    m_zoomIn->setEnabled(zoom.canZoomIn());
}
