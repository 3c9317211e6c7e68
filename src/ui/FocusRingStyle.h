#pragma once

#include <QProxyStyle>

// The application's style: the desktop's own, but for where the keyboard
// focus is. A focused text field, pop-up button, spin box, push button or
// tool button (a toolbar's too) shows the accent ring of AppStyle just
// inside its outline; a check box or radio button shows it round its box
// and label, and a tab bar round its current tab. The outline or faint box
// the desktop's style draws for the focus goes. Lists show their focus
// through their selection; widgets that paint themselves draw their own
// ring, or none.
class FocusRingStyle final : public QProxyStyle {
    Q_OBJECT
public:
    // The corners of the ring round a control.
    static constexpr double cornerRadius = 4;

    // Over `base`, the desktop's style when none is given; takes it over.
    explicit FocusRingStyle(QStyle *base = nullptr);

    // Makes it the application's style, over the one in use; once.
    static void install();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;
};
