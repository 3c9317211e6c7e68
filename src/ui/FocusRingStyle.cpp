#include "ui/FocusRingStyle.h"

#include "ui/AppStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

// Draws the control as the base style does without the focus, then, when
// it has the focus and `ringed`, the ring over it, round `outline` when
// given, else round the whole control.
template <typename Option, typename Base, typename Draw>
void drawRinged(const Base *option, QPainter *painter, bool ringed, Draw draw, QRect outline = {})
{
    const auto *typed = qstyleoption_cast<const Option *>(option);
    if (!typed || !(typed->state & QStyle::State_HasFocus)) {
        draw(option);
        return;
    }
    Option unfocused = *typed;
    unfocused.state &= ~QStyle::State_HasFocus;
    draw(&unfocused);
    if (ringed) {
        AppStyle::paintFocusRing(*painter, QRectF(outline.isNull() ? typed->rect : outline), FocusRingStyle::cornerRadius,
                                 typed->palette);
    }
}

} // namespace

FocusRingStyle::FocusRingStyle(QStyle *base) : QProxyStyle(base) {}

void FocusRingStyle::install()
{
    if (qobject_cast<FocusRingStyle *>(QApplication::style()))
        return;
    QApplication::setStyle(new FocusRingStyle(QStyleFactory::create(QApplication::style()->name())));
}

void FocusRingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                   const QWidget *widget) const
{
    switch (element) {
    case PE_FrameFocusRect:
        // The controls below draw the ring themselves; the current item of
        // a list shows the focus through the selection.
        return;
    case PE_PanelLineEdit: {
        // Only a field with a frame of its own: an editor inside a list's
        // row or a spin box is the larger control's.
        const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
        drawRinged<QStyleOptionFrame>(option, painter, frame && frame->lineWidth > 0,
                                      [&](const QStyleOption *drawn) {
                                          QProxyStyle::drawPrimitive(element, drawn, painter, widget);
                                      });
        return;
    }
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    const auto draw = [&](const QStyleOption *drawn) { QProxyStyle::drawControl(element, drawn, painter, widget); };
    switch (element) {
    case CE_PushButton:
        drawRinged<QStyleOptionButton>(option, painter, true, draw);
        return;
    case CE_CheckBox:
    case CE_RadioButton: {
        // Round the box and its label, not the rest of a row it stretches across.
        const bool box = element == CE_CheckBox;
        QRect outline;
        if (option && option->state & State_HasFocus) {
            const int margin = int(AppStyle::focusRingWidth) + 1;
            outline = (subElementRect(box ? SE_CheckBoxIndicator : SE_RadioButtonIndicator, option, widget)
                       | subElementRect(box ? SE_CheckBoxFocusRect : SE_RadioButtonFocusRect, option, widget))
                          .adjusted(-margin, -margin, margin, margin)
                      & option->rect;
        }
        drawRinged<QStyleOptionButton>(option, painter, true, draw, outline);
        return;
    }
    case CE_TabBarTab:
        drawRinged<QStyleOptionTab>(option, painter, true, draw);
        return;
    default:
        QProxyStyle::drawControl(element, option, painter, widget);
    }
}

void FocusRingStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                        const QWidget *widget) const
{
    const auto draw = [&](const QStyleOptionComplex *drawn) {
        QProxyStyle::drawComplexControl(control, drawn, painter, widget);
    };
    switch (control) {
    case CC_ToolButton:
        drawRinged<QStyleOptionToolButton>(option, painter, true, draw);
        return;
    case CC_ComboBox:
        drawRinged<QStyleOptionComboBox>(option, painter, true, draw);
        return;
    case CC_SpinBox:
        drawRinged<QStyleOptionSpinBox>(option, painter, true, draw);
        return;
    default:
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
}
