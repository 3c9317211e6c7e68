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
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new PaneHeader(this);
    m_header->contentLayout()->addStretch(1);
    m_filtersCommand = new QAction(QStringLiteral("Filters"), this);
    m_filters = m_header->addButton(m_filtersCommand);
    m_importCommand = new QAction(SystemSymbol::icon(QStringLiteral("plus")), QStringLiteral("Import images"), this);
    m_import = m_header->addButton(m_importCommand);
    layout->addWidget(m_header);
    auto *syncPause = new CloudSyncPause(appState, defaults);
    m_sidebar = new LibrarySidebar(*syncPause, this);
    syncPause->setParent(m_sidebar); // goes with the sidebar
    layout->addWidget(m_sidebar, 1);
    setMinimumWidth(m_sidebar->minimumWidth());

    connect(m_filtersCommand, &QAction::triggered, m_sidebar, &LibrarySidebar::toggleFilters);
    connect(m_importCommand, &QAction::triggered, this, [this] {
        if (onImport)
            onImport();
    });
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
    m_filtersCommand->setIcon(m_hasActiveFilters
                           ? SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle.fill"), filterTint)
                           : SystemSymbol::icon(QStringLiteral("line.3.horizontal.decrease.circle")));
    m_filters->setAccessibleDescription(filtersButtonValue());
}
