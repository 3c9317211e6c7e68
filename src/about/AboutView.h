#pragma once

#include "foundation/Bundle.h"

#include <QWidget>

class AboutDelegateProtocol;
class NSTrackingArea;
class QLabel;

// The About window's content: the icon, and beside it the application's
// name and version (the build number and date while the pointer rests on
// them), the delegate's descriptions and the copyright line; outside
// components are listed under the icon. Texts from the bundle and the
// descriptions are shown as written; only the outside components are read
// as markdown, so their links can be followed.
class AboutView : public QWidget {
    Q_OBJECT
public:
    explicit AboutView(const AboutDelegateProtocol *delegate, const Bundle &bundle = Bundle::main(),
                       QWidget *parent = nullptr);
    ~AboutView() override;

    const AboutDelegateProtocol *delegate() const { return m_delegate; }
    bool showBuildNumber() const { return m_showBuildNumber; }

private:
    void setShowBuildNumber(bool show);
    void showVersionLine();

    const AboutDelegateProtocol *m_delegate;
    Bundle m_bundle;
    bool m_showBuildNumber = false;
    QLabel *m_title = nullptr;
    QLabel *m_version = nullptr;
    NSTrackingArea *m_hover = nullptr;
};
