#include "about/AboutController.h"

#include "about/AboutDelegateProtocol.h"
#include "about/AboutView.h"
#include "appkit/NSApplication.h"
#include "appkit/NSWindowController.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

AboutController::AboutController(const AboutDelegateProtocol *delegate, const Bundle &bundle, QWidget *parent)
    : QWidget(parent), m_delegate(delegate), m_bundle(bundle)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setDelegate(delegate);
    resize(preferredSize);
}

void AboutController::setDelegate(const AboutDelegateProtocol *delegate)
{
    m_delegate = delegate;
    auto *view = new AboutView(delegate, m_bundle, this);
    if (m_rootView)
        delete layout()->replaceWidget(m_rootView, view);
    else
        layout()->addWidget(view);
    delete m_rootView;
    m_rootView = view;
    if (m_helpButton)
        m_helpButton->raise();
}

void AboutController::showUserGuide()
{
    const auto url = m_delegate ? m_delegate->userGuideURL() : std::nullopt;
    if (!url)
        return;
    window()->close();
    QDesktopServices::openUrl(*url);
}

void AboutController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_hasConfiguredWindow)
        return;
    m_hasConfiguredWindow = true;
    configureWindow();
}

void AboutController::configureWindow()
{
    QWidget *window = this->window();
    window->setFixedSize(preferredSize);
    window->setWindowTitle(QString());
    // Only a close button: the window cannot be minimised or resized. The
    // window is about to appear, so its flags go straight to the window
    // system instead of re-creating it.
    const Qt::WindowFlags flags = (window->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                   | Qt::WindowCloseButtonHint)
                                  & ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    window->overrideWindowFlags(flags);
    if (QWindow *handle = window->windowHandle())
        handle->setFlags(flags);

    if (m_delegate && m_delegate->userGuideURL()) {
        m_helpButton = new QPushButton(QStringLiteral("User Guide"), this);
        m_helpButton->setObjectName(QStringLiteral("helpButton"));
        QFont small = m_helpButton->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        m_helpButton->setFont(small);
        m_helpButton->resize(m_helpButton->sizeHint());
        connect(m_helpButton, &QPushButton::clicked, this, &AboutController::showUserGuide);
        placeHelpButton();
        m_helpButton->show();
        m_helpButton->raise();
    }

    // On the screen the user works on.
    NSWindow::centre(*window, NSApplication::mainWindow(), NSWindow::Placement::onScreen);
}

void AboutController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeHelpButton();
}

void AboutController::placeHelpButton()
{
    // 8 points from the right edge and 1 from the top.
    if (m_helpButton)
        m_helpButton->move(width() - 8 - m_helpButton->width(), 1);
}
