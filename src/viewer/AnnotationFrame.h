#pragma once

#include "viewer/AnnotationCallout.h"
#include "viewer/AnnotationScene.h"
#include "viewer/CanvasGeometry.h"

#include <QFont>
#include <QList>
#include <QRectF>
#include <QStringList>
#include <QUuid>

#include <optional>

// The text of callout labels: caption-2 at semibold weight. A label shows
// one line, cut short with an ellipsis; the highlighted label shows all of
// its text, wrapped to the label's width.
class CalloutLabelText {
public:
    CalloutLabelText();
    explicit CalloutLabelText(const QFont &font);

    const QFont &font() const { return m_font; }
    double lineHeight() const { return m_lineHeight; }
    // One line, at most `width` wide.
    QString elided(const QString &label, double width) const;
    // The one line of a mark of `scene` (its index among the points and
    // then the regions), at most `width` wide; remembered while the scene
    // and the width stay.
    QStringList line(const AnnotationScene &scene, qsizetype mark, double width) const;
    // Lines of at most `width`, broken between words where possible.
    QStringList wrapped(const QString &label, double width) const;

private:
    QFont m_font;
    double m_lineHeight = 0;
    mutable QList<QStringList> m_lines;
    mutable quint64 m_linesScene = 0;
    mutable double m_linesWidth = -1;
};

// Where one callout label is drawn, in view coordinates.
struct CalloutLabelBox {
    QRectF frame;   // the whole label: the text capsule and, when shown, the link button
    QRectF capsule; // the text with its padding: background and tap area
    QRectF text;
    std::optional<QRectF> linkButton;
    QStringList lines; // the text as shown
    bool highlighted = false;
};

// What one paint of the overlay shows, in view coordinates: the geometry it
// was made for, the laid-out callouts and their label boxes.
struct AnnotationFrame {
    CanvasGeometry geometry{FittedImage({}, {}), {}};
    std::optional<QUuid> highlightedID;
    QList<AnnotationCallout> callouts; // none when callouts are off
    QList<CalloutLabelBox> labels;     // one per callout
};

AnnotationFrame makeAnnotationFrame(const AnnotationScene &scene, const CanvasGeometry &geometry,
                                    const std::optional<QUuid> &highlightedID, bool showsCallouts,
                                    const CalloutMetrics &metrics, const CalloutLabelText &text);

// What lies under a view point of a frame, topmost first: the highlighted
// label's link button, the highlighted label, the other labels (later over
// earlier), then the marks (see AnnotationScene::markAt).
struct AnnotationHit {
    enum class Part { background, linkButton, label, mark };
    Part part = Part::background;
    QUuid id;
};

AnnotationHit hitTest(const AnnotationFrame &frame, const AnnotationScene &scene, const QPointF &viewPoint,
                      const CalloutMetrics &metrics);
