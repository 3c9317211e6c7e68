#include "browser/LibrarySidebar.h"

#include "archive/LibraryArchiveSource.h"
#include "browser/LibraryEmptyStates.h"
#include "browser/LibraryFilterControls.h"
#include "browser/LibraryRow.h"
#include "browser/LibrarySidebarModel.h"
#include "browser/RowSwipe.h"
#include "browser/SyncPauseSource.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/SpringAnimation.h"
#include "ui/SystemSymbol.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QAction>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The library list: right-clicking opens the row's menu without touching
// the selection, and the view tells whether the user's last selection
// command replaced the selection or extended it.
class SidebarListView final : public QListView {
public:
    SidebarListView(LibrarySidebar *sidebar, QWidget *parent)
        : QListView(parent)
        , m_sidebar(sidebar)
    {
    }

    mutable bool replacesSelection = false;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index, const QEvent *event) const override
    {
        const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
        if (flags & QItemSelectionModel::Clear)
            replacesSelection = true;
        return flags;
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::RightButton) {
            setFocus(Qt::MouseFocusReason);
            event->accept();
            return;
        }
        replacesSelection = false;
        QListView::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::RightButton) {
            event->accept();
            return;
        }
        QListView::mouseReleaseEvent(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        replacesSelection = false;
        QListView::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        const QModelIndex index =
            event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
        if (!index.isValid())
            return;
        QPoint position = event->globalPos();
        if (event->reason() != QContextMenuEvent::Mouse)
            position = viewport()->mapToGlobal(visualRect(index).center());
        m_sidebar->showContextMenu(index.row(), position);
        event->accept();
    }

private:
    LibrarySidebar *m_sidebar;
};

class SymbolLabel final : public QWidget {
public:
    SymbolLabel(const QString &symbol, QWidget *parent)
        : QWidget(parent)
        , m_symbol(symbol)
    {
    }
    QSize sizeHint() const override
    {
        const int side = fontMetrics().height();
        return QSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        SystemSymbol::paint(painter, m_symbol, rect(), palette().color(QPalette::WindowText));
    }

private:
    QString m_symbol;
};

QString decimal(qint64 value)
{
    return QString::number(value);
}

} // namespace

LibrarySidebar::LibrarySidebar(SyncPauseSource &syncPause, QWidget *parent)
    : QWidget(parent)
    , m_syncPause(syncPause)
{
    setMinimumWidth(220);
    buildLayout();
    connect(&m_syncPause, &SyncPauseSource::syncPauseChanged, this, &LibrarySidebar::updateBanner);
    updateFilterPanel();
    updateEmptyState();
    updateBanner();
}

LibrarySidebar::~LibrarySidebar() = default;

void LibrarySidebar::buildLayout()
{
    QPalette sidebarPalette = palette();
    const QColor background = AppStyle::sidebarBackground(sidebarPalette);
    sidebarPalette.setColor(QPalette::Window, background);
    sidebarPalette.setColor(QPalette::Base, background);
    setPalette(sidebarPalette);
    setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Search field.
    auto *searchBar = new QWidget(this);
    auto *searchLayout = new QHBoxLayout(searchBar);
    searchLayout->setContentsMargins(10, 10, 10, 8);
    m_searchField = new QLineEdit(searchBar);
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->addAction(SystemSymbol::icon(QStringLiteral("magnifyingglass"),
                                                AppStyle::secondary(palette())),
                             QLineEdit::LeadingPosition);
    QPalette fieldPalette = m_searchField->palette();
    fieldPalette.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    m_searchField->setPalette(fieldPalette);
    searchLayout->addWidget(m_searchField);
    layout->addWidget(searchBar);
    connect(m_searchField, &QLineEdit::textEdited, this, &LibrarySidebar::searchTextChanged);

    // Filter panel and its divider.
    m_filterPanel = new QWidget(this);
    m_filterPanel->hide();
    m_filterPanel->setFont(AppStyle::callout());
    auto *panelLayout = new QVBoxLayout(m_filterPanel);
    panelLayout->setContentsMargins(12, 8, 12, 8);
    panelLayout->setSpacing(6);
    m_filterControls = new LibraryFilterControls(m_filterPanel);
    for (int row = 0; row < 5; ++row) {
        AppStyle::makeSecondary(*m_filterControls->label(row));
        m_filterControls->picker(row)->setAttribute(Qt::WA_MacSmallSize);
    }
    panelLayout->addWidget(m_filterControls);
    m_clearFilters = new QPushButton(SystemSymbol::icon(QStringLiteral("xmark.circle"),
                                                        AppStyle::secondary(palette())),
                                     QStringLiteral("Clear Filters"), m_filterPanel);
    m_clearFilters->setFlat(true);
    AppStyle::makeSecondary(*m_clearFilters);
    connect(m_clearFilters, &QPushButton::clicked, this, &LibrarySidebar::clearFiltersRequested);
    panelLayout->addWidget(m_clearFilters, 0, Qt::AlignRight);
    layout->addWidget(m_filterPanel);
    m_filterOpening = new SpringAnimation(filterSpringResponse, filterSpringDampingFraction, 0, this);
    m_filterOpening->setRestDistance(0.001); // of the panel's height: its last overshoot is still drawn
    connect(m_filterOpening, &SpringAnimation::valueChanged, this, &LibrarySidebar::layOutFilterPanel);
    m_filterDivider = new QFrame(this);
    m_filterDivider->hide();
    m_filterDivider->setFrameShape(QFrame::HLine);
    m_filterDivider->setFrameShadow(QFrame::Plain);
    QPalette dividerPalette = m_filterDivider->palette();
    dividerPalette.setColor(QPalette::WindowText, AppStyle::quaternary(palette()).darker(130));
    m_filterDivider->setPalette(dividerPalette);
    layout->addWidget(m_filterDivider);

    // The list with the empty state over it.
    auto *listArea = new QWidget(this);
    auto *stack = new QGridLayout(listArea);
    stack->setContentsMargins(0, 0, 0, 0);
    auto *list = new SidebarListView(this, listArea);
    m_list = list;
    m_model = new LibrarySidebarModel(this);
    list->setModel(m_model);
    auto *rows = new LibraryRowDelegate(list);
    list->setItemDelegate(rows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::NoFrame);
    list->setResizeMode(QListView::Adjust);
    // Thousands of rows are measured a batch per turn of the event loop,
    // not all in one.
    list->setLayoutMode(QListView::Batched);
    list->setBatchSize(100);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setAttribute(Qt::WA_MacShowFocusRect, false);
    list->setSpacing(0);
    list->setContentsMargins(0, 4, 0, 4);
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LibrarySidebar::listSelectionChanged);
    m_rowSwipe = new RowSwipeActions(list, [this](const QModelIndex &index) {
        const LibraryEntry *entry = m_model->entryAt(index.row());
        return entry ? swipeActions(*entry) : QList<SwipeAction>();
    });
    rows->contentShift = [swipe = QPointer<RowSwipeActions>(m_rowSwipe)](const QModelIndex &index) {
        return swipe ? swipe->contentShift(index) : 0.0;
    };
    stack->addWidget(list, 0, 0);
    m_emptyState = new ContentUnavailableView(listArea);
    connect(m_emptyState, &ContentUnavailableView::actionTriggered, this, [this] {
        // "Import Images" while the library is empty, else "Clear Filters".
        if (!m_hasContent)
            emit importRequested();
        else
            emit clearFiltersRequested();
    });
    stack->addWidget(m_emptyState, 0, 0);
    layout->addWidget(listArea, 1);

    // The banner at the bottom.
    m_banner = new QWidget(this);
    m_banner->setFont(AppStyle::footnote());
    m_banner->setAutoFillBackground(true);
    QPalette bannerPalette = m_banner->palette();
    bannerPalette.setColor(QPalette::Window, AppStyle::barBackground(palette()));
    bannerPalette.setColor(QPalette::WindowText, AppStyle::secondary(palette()));
    m_banner->setPalette(bannerPalette);
    auto *bannerLayout = new QHBoxLayout(m_banner);
    bannerLayout->setContentsMargins(12, 6, 12, 6);
    bannerLayout->setSpacing(6);
    bannerLayout->addWidget(new SymbolLabel(QStringLiteral("icloud.slash"), m_banner));
    bannerLayout->addWidget(new QLabel(QStringLiteral("iCloud sync paused"), m_banner), 1);
    layout->addWidget(m_banner);

    // The window's commands: Ctrl+F searches, Ctrl+Alt+F shows or hides the
    // filters.
    m_searchAction = new QAction(QStringLiteral("Search"), this);
    m_searchAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(m_searchAction, &QAction::triggered, this, [this] {
        m_searchField->setFocus(Qt::ShortcutFocusReason);
        m_searchField->selectAll();
    });
    m_filtersAction = new QAction(QStringLiteral("Filters"), this);
    m_filtersAction->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    connect(m_filtersAction, &QAction::triggered, this, &LibrarySidebar::toggleFilters);
    addActions({m_searchAction, m_filtersAction});
}

void LibrarySidebar::setEntries(const QList<LibraryEntry> &entries)
{
    // Other rows replace those that differ: the list keeps its scroll
    // position.
    const int scrolled = m_list->verticalScrollBar()->value();
    m_applyingSelection = true;
    m_model->setEntries(entries);
    m_applyingSelection = false;
    applySelectionToList();
    m_list->doItemsLayout();
    m_list->verticalScrollBar()->setValue(scrolled);
    updateEmptyState();
    updateBanner();
}

const QList<LibraryEntry> &LibrarySidebar::entries() const
{
    return m_model->entries();
}

void LibrarySidebar::setHasContent(bool hasContent)
{
    m_hasContent = hasContent;
    updateFilterPanel();
    updateEmptyState();
}

void LibrarySidebar::setHasActiveFilters(bool hasActiveFilters)
{
    m_hasActiveFilters = hasActiveFilters;
    updateFilterPanel();
    updateEmptyState();
}

void LibrarySidebar::setSearching(bool searching)
{
    m_searching = searching;
    updateEmptyState();
}

void LibrarySidebar::setSelection(const QSet<LibraryEntryID> &selection)
{
    if (selection == m_selection)
        return;
    m_selection = selection;
    applySelectionToList();
}

QString LibrarySidebar::searchText() const
{
    return m_searchField->text();
}

void LibrarySidebar::setSearchText(const QString &text)
{
    if (text != m_searchField->text())
        m_searchField->setText(text);
}

void LibrarySidebar::setFiltersExpanded(bool expanded)
{
    m_isFiltersExpanded = expanded;
    updateFilterPanel();
}

void LibrarySidebar::toggleFilters()
{
    setFiltersExpanded(!m_isFiltersExpanded);
    emit filtersExpandedChanged(m_isFiltersExpanded);
}

bool LibrarySidebar::isFilterPanelShown() const
{
    return m_hasContent && m_isFiltersExpanded;
}

void LibrarySidebar::applySelectionToList()
{
    QItemSelection selection;
    const QList<LibraryEntry> &listed = m_model->entries();
    int first = -1;
    for (int row = 0; row < listed.size(); ++row) {
        if (!m_selection.contains(listed.at(row).entryID()))
            continue;
        // Runs of rows become one range.
        int last = row;
        while (last + 1 < listed.size() && m_selection.contains(listed.at(last + 1).entryID()))
            ++last;
        selection.select(m_model->index(row), m_model->index(last));
        if (first < 0)
            first = row;
        row = last;
    }
    m_applyingSelection = true;
    QItemSelectionModel *model = m_list->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first >= 0 && !model->isSelected(model->currentIndex()))
        model->setCurrentIndex(m_model->index(first), QItemSelectionModel::NoUpdate);
    m_applyingSelection = false;
}

void LibrarySidebar::listSelectionChanged()
{
    if (m_applyingSelection)
        return;
    auto *list = static_cast<SidebarListView *>(m_list);
    QSet<LibraryEntryID> selection;
    if (!list->replacesSelection) {
        // Extending or shrinking the selection keeps what the list hides.
        selection = m_selection;
        for (const LibraryEntry &entry : m_model->entries())
            selection.remove(entry.entryID());
    }
    list->replacesSelection = false;
    for (const QModelIndex &index : m_list->selectionModel()->selectedIndexes()) {
        if (const LibraryEntry *entry = m_model->entryAt(index.row()))
            selection.insert(entry->entryID());
    }
    if (selection == m_selection)
        return;
    m_selection = selection;
    emit selectionChanged(m_selection);
}

void LibrarySidebar::updateFilterPanel()
{
    const bool shown = isFilterPanelShown();
    m_clearFilters->setVisible(m_hasActiveFilters);
    if (shown == m_filterPanelOpen)
        return;
    m_filterPanelOpen = shown;
    if (!isVisible()) {
        m_filterOpening->jumpTo(shown ? 1 : 0);
    } else {
        // The panel slides open and closed, from where it is.
        m_filterOpening->setTarget(shown ? 1 : 0);
    }
    layOutFilterPanel();
}

void LibrarySidebar::layOutFilterPanel()
{
    // The divider after the panel shows exactly while some of it does.
    if (m_filterOpening->isSettled()) {
        m_filterPanel->setVisible(m_filterPanelOpen);
        m_filterPanel->setMaximumHeight(QWIDGETSIZE_MAX);
        m_filterDivider->setVisible(m_filterPanelOpen);
        return;
    }
    const double opening = std::max(m_filterOpening->value(), 0.0);
    const int height = int(std::lround(opening * m_filterPanel->sizeHint().height()));
    m_filterPanel->setMaximumHeight(height);
    m_filterPanel->show();
    m_filterDivider->setVisible(height > 0);
}

QString LibrarySidebar::emptyStateTitle() const
{
    return m_emptyState->isVisibleTo(this) ? m_emptyState->title() : QString();
}

void LibrarySidebar::updateEmptyState()
{
    if (!m_hasContent) {
        m_emptyState->setContent(LibraryEmptyStates::noImages());
        m_emptyState->show();
    } else if (m_model->entries().isEmpty()) {
        m_emptyState->setContent(m_searching ? LibraryEmptyStates::searching()
                                             : LibraryEmptyStates::noMatches(m_hasActiveFilters));
        m_emptyState->show();
    } else {
        m_emptyState->hide();
    }
}

bool LibrarySidebar::isSyncPausedBannerShown() const
{
    return m_syncPause.isSyncPaused();
}

void LibrarySidebar::updateBanner()
{
    m_banner->setVisible(isSyncPausedBannerShown());
}

QList<LibraryEntry> LibrarySidebar::actionTargets(const LibraryEntry &entry) const
{
    if (m_selection.size() >= 2 && m_selection.contains(entry.entryID())) {
        QList<LibraryEntry> targets;
        for (const LibraryEntry &listed : m_model->entries()) {
            if (m_selection.contains(listed.entryID()))
                targets.append(listed);
        }
        return targets;
    }
    return {entry};
}

QList<SwipeAction> LibrarySidebar::swipeActions(const LibraryEntry &entry)
{
    // Each acts on its row alone, whatever is selected.
    const QList<LibraryEntry> target{entry};
    QList<SwipeAction> actions{{QStringLiteral("Delete"), QStringLiteral("trash"), SwipeAction::destructiveTint(), true,
                                [this, target] { emit deleteRequested(target); }}};
    if (AtlasImage *image = entry.imageValue()) {
        actions.append({QStringLiteral("Edit"), QStringLiteral("info.circle"), SwipeAction::blue(), false,
                        [this, image] { emit editRequested(image); }});
    } else {
        Series *series = entry.seriesGroup()->series;
        actions.append({QStringLiteral("Rename"), QStringLiteral("pencil"), SwipeAction::blue(), false,
                        [this, series] { emit renameRequested(series); }});
    }
    return actions;
}

QString LibrarySidebar::exportMenuTitle(const QList<LibraryEntry> &targets)
{
    if (targets.size() != 1)
        return QStringLiteral("Export ") + decimal(int(targets.size())) + QStringLiteral(" Items…");
    return targets.first().isSeries() ? QStringLiteral("Export Series…") : QStringLiteral("Export…");
}

QString LibrarySidebar::deleteMenuTitle(const QList<LibraryEntry> &targets)
{
    if (targets.size() != 1)
        return QStringLiteral("Delete ") + decimal(int(targets.size())) + QStringLiteral(" Items");
    return targets.first().isSeries() ? QStringLiteral("Delete Series") : QStringLiteral("Delete");
}

QMenu *LibrarySidebar::contextMenu(const LibraryEntry &entry, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    const auto addItem = [&](const QString &title, const QString &symbol, auto request, auto target) {
        QAction *item = SystemSymbol::addMenuItem(*menu, title, symbol);
        connect(item, &QAction::triggered, this, [this, request, target] { (this->*request)(target); });
    };
    if (AtlasImage *image = entry.imageValue()) {
        addItem(QStringLiteral("Edit"), QStringLiteral("info.circle"), &LibrarySidebar::editRequested, image);
        addItem(QStringLiteral("Duplicate"), QStringLiteral("doc.on.doc"), &LibrarySidebar::duplicateImageRequested,
                image);
    } else {
        Series *series = entry.seriesGroup()->series;
        addItem(QStringLiteral("Rename"), QStringLiteral("pencil"), &LibrarySidebar::renameRequested, series);
        addItem(QStringLiteral("Duplicate Series"), QStringLiteral("doc.on.doc"),
                &LibrarySidebar::duplicateSeriesRequested, series);
    }
    const QList<LibraryEntry> targets = actionTargets(entry);
    menu->addSeparator();
    addItem(exportMenuTitle(targets), QStringLiteral("square.and.arrow.up"), &LibrarySidebar::exportRequested,
            targets);
    menu->addMenu(shareMenu(targets, menu));
    menu->addSeparator();
    addItem(deleteMenuTitle(targets), QStringLiteral("trash"), &LibrarySidebar::deleteRequested, targets);
    return menu;
}

QMenu *LibrarySidebar::shareMenu(const QList<LibraryEntry> &targets, QWidget *parent)
{
    auto *menu = new QMenu(QStringLiteral("Share"), parent);
    menu->setIcon(SystemSymbol::icon(QStringLiteral("square.and.arrow.up")));
    // What is shared, as a share sheet previews it: not an action.
    menu->addAction(defaultArchiveFilename(targets))->setEnabled(false);
    menu->addSeparator();
    for (const SharingService::Target target : SharingService::availableTargets()) {
        QAction *item = menu->addAction(shareTargetTitle(target));
        connect(item, &QAction::triggered, this, [this, targets, target] { emit shareRequested(targets, target); });
    }
    return menu;
}

QString LibrarySidebar::shareTargetTitle(SharingService::Target target)
{
    switch (target) {
    case SharingService::Target::email:
        return QStringLiteral("Email…");
    case SharingService::Target::showInFolder:
        return QStringLiteral("Show in Folder");
    case SharingService::Target::copy:
        return QStringLiteral("Copy");
    }
    return {};
}

void LibrarySidebar::showContextMenu(int row, const QPoint &globalPosition)
{
    const LibraryEntry *entry = m_model->entryAt(row);
    if (!entry)
        return;
    QMenu *menu = contextMenu(*entry, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    m_model->setMenuTargetRow(row);
    QPointer<LibrarySidebarModel> model(m_model);
    connect(menu, &QMenu::aboutToHide, this, [model] {
        if (model)
            model->setMenuTargetRow(-1);
    });
    menu->popup(globalPosition);
}

const std::array<QString, 4> &LibrarySidebar::sexInitials()
{
    static const std::array<QString, 4> initials{QStringLiteral("M"), QStringLiteral("F"), QStringLiteral("U"),
                                                 QStringLiteral("U")};
    return initials;
}

QString LibrarySidebar::sexInitial(Sex sex)
{
    const auto &cases = MetadataEnumTraits<Sex>::cases;
    const auto position = std::find(cases.begin(), cases.end(), sex);
    return sexInitials().at(std::size_t(position - cases.begin()));
}

QString LibrarySidebar::ageCaption(const AgeSpec &age)
{
    switch (age.kindRaw) {
    case 2:
        return age.value ? decimal(*age.value) + QStringLiteral("w") : QStringLiteral("Fetal");
    case 3:
        return QStringLiteral("Neo");
    case 4:
        return age.value ? decimal(*age.value) + QStringLiteral("mo") : QStringLiteral("mo");
    case 5:
        return age.value ? decimal(*age.value) + QStringLiteral("y") : QStringLiteral("y");
    default:
        return QStringLiteral("-");
    }
}

QString LibrarySidebar::imageCaption(const AtlasImage &image)
{
    const QString separator = QStringLiteral(" | ");
    return title(image.modality()) + separator + title(image.region()) + separator + title(image.plane()) + separator
           + ageCaption(image.age()) + QLatin1Char(' ') + sexInitial(image.sex());
}

QString LibrarySidebar::seriesCaption(const QList<AtlasImage *> &images)
{
    if (images.isEmpty())
        return QStringLiteral("No images");
    const QString mixed = QStringLiteral("Mixed");
    // One pass over the images (a series may hold thousands), until every
    // value is mixed.
    const AtlasImage &first = *images.first();
    const Modality firstModality = first.modality();
    const Region firstRegion = first.region();
    const Plane firstPlane = first.plane();
    const AgeSpec firstAge = first.age();
    const Sex firstSex = first.sex();
    bool sameModality = true, sameRegion = true, samePlane = true, sameAge = true, sameSex = true;
    for (qsizetype i = 1; i < images.size() && (sameModality || sameRegion || samePlane || sameAge || sameSex); ++i) {
        const AtlasImage &image = *images.at(i);
        sameModality = sameModality && image.modality() == firstModality;
        sameRegion = sameRegion && image.region() == firstRegion;
        samePlane = samePlane && image.plane() == firstPlane;
        sameAge = sameAge && image.age() == firstAge;
        sameSex = sameSex && image.sex() == firstSex;
    }

    QString ageSex;
    if (sameAge && sameSex)
        ageSex = ageCaption(firstAge) + QLatin1Char(' ') + sexInitial(firstSex);
    else if (sameAge)
        ageSex = ageCaption(firstAge) + QLatin1Char(' ') + mixed;
    else if (sameSex)
        ageSex = mixed + QLatin1Char(' ') + sexInitial(firstSex);
    else
        ageSex = mixed;

    const QString separator = QStringLiteral(" | ");
    return (sameModality ? title(firstModality) : mixed) + separator + (sameRegion ? title(firstRegion) : mixed)
           + separator + (samePlane ? title(firstPlane) : mixed) + separator + ageSex;
}
