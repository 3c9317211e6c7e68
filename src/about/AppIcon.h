#pragma once

#include "foundation/Bundle.h"

#include <QImage>
#include <QWidget>

#include <optional>

// The application's icon, fitted into the widget keeping its proportions;
// a dashed square with a question mark when the bundle has no icon.
class AppIcon : public QWidget {
    Q_OBJECT
public:
    explicit AppIcon(const Bundle &bundle, QWidget *parent = nullptr);

    // The icon shown; none while the placeholder is shown.
    const std::optional<QImage> &image() const { return m_image; }

    static constexpr const char *placeholderSymbol = "questionmark.square.dashed";

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::optional<QImage> m_image;
};
