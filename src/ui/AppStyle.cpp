#include "ui/AppStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include <algorithm>

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

QFont AppStyle::body()
{
    return scaled(1.0);
}

QFont AppStyle::headline()
{
    return withWeight(scaled(1.0), QFont::Bold);
}

QFont AppStyle::subheadline()
{
    return scaled(0.9);
}

QFont AppStyle::callout()
{
    return scaled(0.94);
}

QFont AppStyle::footnote()
{
    return scaled(0.86);
}

QFont AppStyle::caption()
{
    return scaled(0.86);
}

QFont AppStyle::caption2()
{
    return scaled(0.8);
}

QFont AppStyle::title()
{
    return scaled(1.6);
}

QFont AppStyle::title2()
{
    return scaled(1.3);
}

QFont AppStyle::largeTitle()
{
    return scaled(2.0);
}

QFont AppStyle::withWeight(QFont font, QFont::Weight weight)
{
    font.setWeight(weight);
    return font;
}

QFont AppStyle::withMonospacedDigits(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    bool oneWidth = true;
    for (char digit = '1'; digit <= '9' && oneWidth; ++digit)
        oneWidth = metrics.horizontalAdvance(QLatin1Char(digit)) == zero;
    if (oneWidth)
        return font;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font.pixelSize() > 0)
        fixed.setPixelSize(font.pixelSize());
    else
        fixed.setPointSizeF(font.pointSizeF());
    fixed.setWeight(font.weight());
    return fixed;
}

QColor AppStyle::primary(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor AppStyle::secondary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.55 : 0.5);
}

QColor AppStyle::tertiary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.35 : 0.3);
}

QColor AppStyle::quaternary(const QPalette &palette)
{
    return withAlpha(palette.color(QPalette::WindowText), isDark(palette) ? 0.12 : 0.08);
}

QColor AppStyle::blended(const QColor &from, const QColor &to, double amount)
{
    const auto mix = [amount](float a, float b) { return float(a + (b - a) * amount); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
}

QColor AppStyle::accent(const QPalette &palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor AppStyle::orange()
{
    return QColor(255, 149, 0);
}

QColor AppStyle::barBackground(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(125) : window.darker(106);
}

QColor AppStyle::sidebarBackground(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Window);
    return isDark(palette) ? window.lighter(112) : window.darker(103);
}

void AppStyle::paintFocusRing(QPainter &painter, const QRectF &outline, double radius, const QPalette &palette)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(accent(palette), focusRingWidth));
    painter.setBrush(Qt::NoBrush);
    const double inset = focusRingWidth / 2;
    const double corner = std::max(0.0, radius - inset);
    painter.drawRoundedRect(outline.adjusted(inset, inset, -inset, -inset), corner, corner);
    painter.restore();
}

void AppStyle::makeSecondary(QWidget &widget)
{
    QPalette palette = widget.palette();
    const QColor colour = secondary(palette);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget.setPalette(palette);
}
