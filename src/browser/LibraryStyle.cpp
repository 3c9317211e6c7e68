#include "browser/LibraryStyle.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace {

QFont scaled(double factor)
{
    QFont font = QApplication::font();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPointSizeF(points * factor);
    return font;
}

QColor withAlpha(QColor colour, double alpha)
{
    colour.setAlphaF(float(alpha));
    return colour;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

} // namespace

QFont LibraryStyle::body()
{
    return scaled(1.0);
}

QFont LibraryStyle::headline()
{
    return withWeight(scaled(1.0), QFont::Bold);
}

QFont LibraryStyle::subheadline()
{
    return scaled(0.9);
}

QFont LibraryStyle::callout()
{
    return scaled(0.94);
}

QFont LibraryStyle::footnote()
{
    return scaled(0.86);
}

QFont LibraryStyle::caption()
{
    return scaled(0.86);
}

QFont LibraryStyle::caption2()
{
    return scaled(0.8);
}

QFont LibraryStyle::title()
{
    return scaled(1.6);
}

QFont LibraryStyle::largeTitle()
{
    return scaled(2.0);
}

QFont LibraryStyle::withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QColor LibraryStyle::primary(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor LibraryStyle::secondary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.55 : 0.5);
}

QColor LibraryStyle::tertiary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.35 : 0.3);
}

QColor LibraryStyle::quaternary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.12 : 0.08);
}

QColor LibraryStyle::accent(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor LibraryStyle::barBackground(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(125) : window.darker(106);
}

QColor LibraryStyle::sidebarBackground(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(112) : window.darker(103);
}

void LibraryStyle::makeSecondary(QWidget &widget)
{
    QPalette palette = widget.palette();
    const QColor colour = secondary(palette);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}
