#pragma once

#include "viewer/ZoomPan.h"

#include <QWidget>

class QAction;

// The bar of three zoom buttons in the top-trailing corner of a canvas:
// zoom out (Ctrl+-), reset (Ctrl+0) and zoom in (Ctrl++, also Ctrl+=; a
// plus typed as Shift and = is Ctrl++). Its commands are QActions, live in the window while the bar
// is visible; the canvas connects them to its zoom and tells the bar the
// committed zoom, which enables and disables them (a gesture in progress
// does not count). The bar itself never changes a zoom. Assistive
// technologies see it as one group, "Zoom", of the three buttons.
class ZoomControls : public QWidget {
    Q_OBJECT
public:
    explicit ZoomControls(QWidget *parent = nullptr);

    QAction *zoomOutAction() const { return m_zoomOut; }
    QAction *resetAction() const { return m_reset; }
    QAction *zoomInAction() const { return m_zoomIn; }

    void setZoom(const ZoomPan &zoom);

private:
    QAction *addCommand(const QString &title, const QString &symbol, const QList<QKeySequence> &shortcuts);

    QAction *m_zoomOut = nullptr;
    QAction *m_reset = nullptr;
    QAction *m_zoomIn = nullptr;
};
