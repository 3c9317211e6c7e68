#pragma once

#include <QColor>
#include <QFont>

class QPainter;
class QPalette;
class QRectF;
class QWidget;

// The application's type ramp and colour roles, derived from the
// application's font and palette so that they follow the desktop's
// settings. Sizes are relative to the body font.
struct AppStyle {
    static QFont body();
    static QFont headline();    // body size, bold
    static QFont subheadline(); // a little smaller than the body
    static QFont callout();
    static QFont footnote();
    static QFont caption();
    static QFont caption2();
    static QFont title();       // large symbols and empty-state titles
    static QFont title2();      // a second-level title, between body and title
    static QFont largeTitle();
    static QFont withWeight(QFont font, QFont::Weight weight);
    // The font with digits of one width, so that a number keeps its places
    // as it changes: the font itself when its digits share a width, else
    // the system's fixed-pitch font at its size and weight.
    static QFont withMonospacedDigits(const QFont &font);

    static QColor primary(const QPalette &palette);
    static QColor secondary(const QPalette &palette);   // about half as strong as the text
    static QColor tertiary(const QPalette &palette);
    static QColor quaternary(const QPalette &palette);  // faint fills
    static QColor accent(const QPalette &palette);
    // The colour of annotations, their leader lines and link badges.
    static QColor orange();
    // The background of bars laid over content (banners).
    static QColor barBackground(const QPalette &palette);
    // The background of the sidebar column.
    static QColor sidebarBackground(const QPalette &palette);

    // The colour `amount` of the way from `from` to `to` (0 to 1), channel
    // by channel, alpha included.
    static QColor blended(const QColor &from, const QColor &to, double amount);

    // Where the keyboard focus is: a ring of the accent colour lying just
    // inside `outline`, a rectangle with corners of `radius`. Every place
    // the focus can stop shows it this way (the desktop's own controls
    // through FocusRingStyle), but for the sidebar's list and the library
    // grid, whose selection shows where the keys go, and the image screen
    // with its canvas, viewed or edited.
    static constexpr double focusRingWidth = 3;
    static void paintFocusRing(QPainter &painter, const QRectF &outline, double radius, const QPalette &palette);

    // Gives the widget's text the secondary colour.
    static void makeSecondary(QWidget &widget);
};
