#pragma once

#include "foundation/Bundle.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

// Named colours of the application's colour catalogue: the bundle resource
// "Colors.json", a table of names, each with a light and an optional dark
// value written as "#RRGGBB" or "#AARRGGBB":
//
//     { "AccentColor": { "light": "#FF9500", "dark": "#FF9F0A" } }
//
// A colour without a dark value shows its light one in both appearances.
struct NSColor {
    // The catalogue's colour of that name for the palette's appearance (light
    // or dark); `fallBack` when the catalogue has no such name or it cannot be
    // read.
    static QColor assetNamed(const QString &name, const QColor &fallBack, const Bundle &bundle = Bundle::main(),
                             const QPalette &palette = QGuiApplication::palette());
    // The desktop's orange, in its light and dark forms.
    static QColor systemOrange(const QPalette &palette = QGuiApplication::palette());
};
