// Shows the library sidebar and the thumbnail grid on a small generated
// library and saves pictures of them (and of their empty states and menus)
// as PNG files, to look at them as a user would.
//
//   build/bench/browser/preview_widgets [folder]   (default /tmp/veloran-preview)

#include "SampleLibrary.h"

#include "browser/LibraryFilterControls.h"
#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "browser/LibrarySidebar.h"
#include "browser/LibraryThumbnail.h"
#include "browser/ThumbnailCache.h"
#include "platform/CloudAccountService.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/CloudSyncPause.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QListView>
#include <QMenu>
#include <QSplitter>
#include <QTimer>

#include <cstdio>

namespace {

class StillAccountService final : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion) override {}
};

void save(QWidget &widget, const QString &folder, const QString &name)
{
    QApplication::processEvents();
    ThumbnailCache::shared().waitForIdle();
    // Let arriving thumbnails finish fading in.
    QEventLoop settle;
    QTimer::singleShot(LibraryThumbnail::fadeMilliseconds + 100, &settle, &QEventLoop::quit);
    settle.exec();
    const QString path = QDir(folder).filePath(name);
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/veloran-preview");
    QDir().mkpath(folder);

    sample::Library library;
    quint32 seed = 1;
    auto jpeg = [&seed](QSize size) { return sample::encoded(sample::scanPicture(size, seed++), "JPEG"); };

    Series *brain = library.addSeries(QStringLiteral("Brain MRI"));
    for (int i = 0; i < 7; ++i) {
        library.addImage(QStringLiteral("Slice %1").arg(i + 1), Modality::mr, Region::head, Plane::axial,
                         AgeSpec{5, 34}, Sex::male, jpeg(QSize(640, 640)), brain, i);
    }
    Series *chest = library.addSeries(QStringLiteral("Chest CT"));
    library.addImage(QStringLiteral("Chest CT"), Modality::ct, Region::thorax, Plane::axial, AgeSpec{5, 61},
                     Sex::female, jpeg(QSize(800, 600)), chest, 0);
    library.addImage(QStringLiteral("Mediastinum"), Modality::ct, Region::thorax, Plane::coronal, AgeSpec{5, 61},
                     Sex::female, jpeg(QSize(600, 800)), chest, 1);
    library.addSeries(QString());
    AtlasImage *knee = library.addImage(QStringLiteral("Knee, lateral"), Modality::dx, Region::lowerLimb,
                                        Plane::sagittal, AgeSpec{4, 9}, Sex::unspecified, jpeg(QSize(500, 700)));
    AtlasImage *fetal = library.addImage(QStringLiteral("Fetal head"), Modality::us, Region::head, Plane::unspecified,
                                         AgeSpec{2, 20}, Sex::unknown, jpeg(QSize(720, 540)));
    library.addImage(QString(), Modality::unknown, Region::unknown, Plane::unknown, AgeSpec{0, std::nullopt},
                     Sex::unknown, std::nullopt);

    QList<LibraryEntry> entries;
    entries << LibraryEntry::image(knee) << LibraryEntry::image(fetal)
            << LibraryEntry::image(library.images.back().get());
    for (const auto &series : library.series)
        entries << LibraryEntry::series(LibrarySeriesGroup{series.get(), series->images()});

    UserDefaults defaults({{QStringLiteral("cloudSyncEnabled"), true}});
    StillAccountService accounts;
    AppState appState(defaults, accounts);
    CloudSyncPause syncPause(appState, defaults);

    QWidget window;
    window.resize(1180, 720);
    auto *splitter = new QSplitter(&window);
    splitter->setChildrenCollapsible(false);
    auto *sidebar = new LibrarySidebar(syncPause, splitter);
    auto *grid = new LibraryGrid(splitter);
    splitter->addWidget(sidebar);
    splitter->addWidget(grid);
    splitter->setSizes({290, 890});
    splitter->setGeometry(window.rect());

    sidebar->setHasContent(true);
    sidebar->setEntries(entries);
    const LibraryEntry brainEntry = entries.at(3);
    sidebar->setSelection({brainEntry.entryID()});
    QList<AtlasImage *> images = brainEntry.seriesGroup()->images;
    grid->setHasImages(true);
    grid->setHasSelection(true);
    grid->setCanAddImages(true);
    grid->setCanReorder(true);
    grid->setImages(images);
    grid->setSelectedImage(images.at(2));
    window.show();
    save(window, folder, QStringLiteral("01-library.png"));

    // Filters open with one set, and the sync banner.
    appState.setCloudAccountStatus(CloudAccountStatus::noAccount);
    sidebar->setFiltersExpanded(true);
    sidebar->filterControls()->setModalityFilter(Modality::ct);
    sidebar->setHasActiveFilters(true);
    sidebar->setEntries({entries.at(4)});
    sidebar->setSelection({entries.at(4).entryID(), brainEntry.entryID()});
    grid->setImages(entries.at(4).seriesGroup()->images);
    grid->setSelectedImage(nullptr);
    grid->setCanReorder(false);
    save(window, folder, QStringLiteral("02-filters-banner.png"));

    // Several rows selected, menus.
    appState.setCloudAccountStatus(CloudAccountStatus::available);
    sidebar->setFiltersExpanded(false);
    sidebar->setHasActiveFilters(false);
    sidebar->setEntries(entries);
    sidebar->setSelection({entries.at(0).entryID(), entries.at(1).entryID(), entries.at(4).entryID()});
    sidebar->listView()->setFocus();
    save(window, folder, QStringLiteral("03-multiple-selection.png"));
    {
        std::unique_ptr<QMenu> menu(sidebar->contextMenu(entries.at(1)));
        menu->adjustSize();
        menu->show();
        save(*menu, folder, QStringLiteral("04-sidebar-menu.png"));
        menu->hide();
    }
    {
        grid->setCanReorder(true);
        grid->canMoveImage = [](AtlasImage *, int offset) { return offset > 0; };
        std::unique_ptr<QMenu> menu(grid->contextMenu(images.at(0)));
        menu->adjustSize();
        menu->show();
        save(*menu, folder, QStringLiteral("05-grid-menu.png"));
        menu->hide();
    }

    // Empty states.
    sidebar->setHasContent(false);
    sidebar->setEntries({});
    grid->setImages({});
    grid->setCanAddImages(false);
    grid->setHasImages(false);
    save(window, folder, QStringLiteral("06-empty-library.png"));

    sidebar->setHasContent(true);
    sidebar->setHasActiveFilters(true);
    grid->setHasImages(true);
    grid->setHasSelection(true);
    grid->setHasActiveFilters(true);
    save(window, folder, QStringLiteral("07-no-matches.png"));

    grid->setHasSelection(false);
    sidebar->setSearchText(QStringLiteral("zebra"));
    sidebar->setHasActiveFilters(false);
    save(window, folder, QStringLiteral("08-no-selection.png"));

    // Add Images only, highlighted as under a drag; a narrow window.
    grid->setHasSelection(true);
    grid->setCanAddImages(true);
    grid->view()->setDropTargeted(true);
    window.resize(760, 560);
    splitter->setGeometry(window.rect());
    save(window, folder, QStringLiteral("09-add-images-drop.png"));
    return 0;
}
