#pragma once

#include "appkit/NSViewController.h"
#include "foundation/Bundle.h"

#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QWidget>

class AboutDelegateProtocol;
class AboutView;

// The About window: hosts an AboutView for its delegate. On its first
// appearance it sets the window up: 600 by 240 points, not resizable, no
// title, no minimise or maximise button, centred on the screen of the main
// window (the primary screen without one), and with a "User Guide" button
// at its top right when the delegate names a user guide. Closing only hides
// it, and it shows again where the user left it. The delegate is not owned.
class AboutController : public QWidget, public NSViewController {
    Q_OBJECT
public:
    explicit AboutController(const AboutDelegateProtocol *delegate, const Bundle &bundle = Bundle::main(),
                             QWidget *parent = nullptr);

    static constexpr QSize preferredSize{600, 240};

    const AboutDelegateProtocol *delegate() const { return m_delegate; }
    // Shows the new delegate's texts at once, in a fresh view.
    void setDelegate(const AboutDelegateProtocol *delegate);

    AboutView *rootView() const { return m_rootView; }
    // The "User Guide" button; none when the delegate has no user guide.
    QPushButton *helpButton() const { return m_helpButton; }

public slots:
    // Closes the window, then opens the user guide in the browser; nothing
    // without a user guide.
    void showUserGuide();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void configureWindow();
    void placeHelpButton();

    const AboutDelegateProtocol *m_delegate;
    Bundle m_bundle;
    AboutView *m_rootView = nullptr;
    QPointer<QPushButton> m_helpButton;
    bool m_hasConfiguredWindow = false;
};
