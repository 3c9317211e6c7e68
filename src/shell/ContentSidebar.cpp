#include "shell/ContentSidebar.h"

#include "browser/LibrarySidebar.h"
#include "platform/UserDefaults.h"
#include "shell/CloudSyncPause.h"
#include "ui/AppStyle.h"
#include "ui/PaneHeader.h"
#include "ui/SystemSymbol.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The property of a bar button that holds its accessible value.
constexpr char valueProperty[] = "veloranAccessibleValue";

// A bar button that says a state as its value ("Filters": "Active" or
// "Off"), both as its value text and through the value interface, and is
// pressed as any button is.
class ValuedButtonAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ValuedButtonAccessible(QToolButton *button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return value();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = button()->isDown();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &actionName) override
    {
        if (actionName != pressAction()) {
            QAccessibleWidget::doAction(actionName);
            return;
        }
        if (button()->isEnabled())
            button()->click();
    }

    // The value is a state in words: it has no range and is not set here.
    QVariant currentValue() const override { return value(); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return {}; }
    QVariant minimumValue() const override { return {}; }
    QVariant minimumStepSize() const override { return {}; }

private:
    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }
    QString value() const { return button()->property(valueProperty).toString(); }
};

QAccessibleInterface *accessibleValuedButton(const QString &className, QObject *object)
{
    if (className == QLatin1String("QToolButton") && object && object->property(valueProperty).isValid())
        return new ValuedButtonAccessible(static_cast<QToolButton *>(object));
    return nullptr;
}

// Gives `button` the accessible value `value`, and tells assistive
// technologies when it changes.
void setAccessibleValue(QToolButton *button, const QString &value)
{
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(accessibleValuedButton);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    const QVariant was = button->property(valueProperty);
    if (was.isValid() && was.toString() == value)
        return;
    button->setProperty(valueProperty, value);
    if (!was.isValid()) {
        // An interface made for the button before it had a value (as its
        // bar set it up) gives way to one that has it.
        QAccessibleInterface *made = QAccessible::queryAccessibleInterface(button);
        if (made && !dynamic_cast<ValuedButtonAccessible *>(made))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    QAccessibleValueChangeEvent changed(button, value);
    QAccessible::updateAccessibility(&changed);
}

} // namespace

ContentSidebar::ContentSidebar(AppState &appState, QWidget *parent)
    : ContentSidebar(appState, UserDefaults::standard(), parent)
{
}

ContentSidebar::ContentSidebar(AppState &appState, UserDefaults &defaults, QWidget *parent)
    : QWidget(parent)
{
    // The list is made first for its "Filters" command, and joins the
    // column after the bar, so that the bar's buttons come first in the
    // tab order.
    auto *syncPause = new CloudSyncPause(appState, defaults);
    m_sidebar = new LibrarySidebar(*syncPause);
    syncPause->setParent(m_sidebar); // goes with the list

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new PaneHeader(this);
    m_header->contentLayout()->addStretch(1);
    m_filters = m_header->addButton(m_sidebar->filtersAction());
    m_importCommand = new QAction(SystemSymbol::icon(QStringLiteral("plus")), QStringLiteral("Import images"), this);
    m_import = m_header->addButton(m_importCommand);
    layout->addWidget(m_header);
    layout->addWidget(m_sidebar, 1);
    setMinimumWidth(m_sidebar->minimumWidth());
    updateFiltersButton();
}

void ContentSidebar::setHasContent(bool hasContent)
{
    m_hasContent = hasContent;
    updateFiltersButton();
}

void ContentSidebar::setHasActiveFilters(bool hasActiveFilters)
{
    m_hasActiveFilters = hasActiveFilters;
    updateFiltersButton();
}

QString ContentSidebar::filtersButtonValue() const
{
    return m_hasActiveFilters ? QStringLiteral("Active") : QStringLiteral("Off");
}

void ContentSidebar::updateFiltersButton()
{
    m_filters->setVisible(m_hasContent);
    m_sidebar->filtersAction()->setIcon(m_hasActiveFilters
                           ? SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle.fill"),
                                                AppStyle::orange())
                           : SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle")));
    setAccessibleValue(m_filters, filtersButtonValue());
}
