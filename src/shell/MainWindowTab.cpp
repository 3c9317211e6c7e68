#include "shell/MainWindowTab.h"

#include "shell/ContentDetail.h"
#include "shell/ContentView.h"
#include "shell/ContentViewModel.h"

#include <QVBoxLayout>

MainWindowTab::MainWindowTab(ModelContext &context, AppState &appState, const MainWindowState &state,
                             UserDefaults &defaults, ThumbnailCache &cache, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_model(std::make_unique<ContentViewModel>(context, appState))
{
    m_model->setSelectedImageID(state.selectedImageID);
    m_model->setThumbnailCache(&cache);
    connect(m_model.get(), &ContentViewModel::selectedImageIDChanged, this,
            [this](const QString &text) { m_state.selectedImageID = text; });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_content = new ContentView(*m_model, defaults, cache, this);
    layout->addWidget(m_content);
    // The detail pane's title names the tab.
    setWindowTitle(m_content->contentDetail()->title());
    connect(m_content->contentDetail(), &ContentDetail::titleChanged, this, &QWidget::setWindowTitle);
}

MainWindowTab::~MainWindowTab()
{
    // The view and its presentations call into the model: they go first.
    delete m_content;
}

void MainWindowTab::setState(const MainWindowState &state)
{
    m_state = state;
    m_model->setSelectedImageID(state.selectedImageID);
}
