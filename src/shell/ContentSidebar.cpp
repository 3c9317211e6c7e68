#include "shell/ContentSidebar.h"

#include "browser/LibrarySidebar.h"
#include "platform/UserDefaults.h"
#include "shell/CloudSyncPause.h"
#include "ui/PaneHeader.h"
#include "ui/SystemSymbol.h"

#include <QAction>
#include <QHBoxLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QColor filterTint(242, 140, 40); // orange

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
                           ? SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle.fill"), filterTint)
                           : SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle")));
    m_filters->setAccessibleDescription(filtersButtonValue());
}
