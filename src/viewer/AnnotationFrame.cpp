#include "viewer/AnnotationFrame.h"

#include "ui/AppStyle.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Padding of the label text inside its capsule.
constexpr double paddingX = 6;
constexpr double paddingY = 3;

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

bool containsPoint(const QRectF &circleBox, const QPointF &point)
{
    const QPointF delta = point - circleBox.center();
    const double radius = circleBox.width() / 2;
    return QPointF::dotProduct(delta, delta) <= radius * radius;
}

} // namespace

CalloutLabelText::CalloutLabelText() : CalloutLabelText(AppStyle::withWeight(AppStyle::caption2(), QFont::DemiBold)) {}

CalloutLabelText::CalloutLabelText(const QFont &font) : m_font(font), m_lineHeight(QFontMetricsF(font).height()) {}

QString CalloutLabelText::elided(const QString &label, double width) const
{
    return QFontMetricsF(m_font).elidedText(oneLine(label), Qt::ElideRight, width);
}

QStringList CalloutLabelText::line(const AnnotationScene &scene, qsizetype mark, double width) const
{
    const QList<AnnotationMark> &points = scene.points();
    const QList<AnnotationMark> &regions = scene.regions();
    if (scene.generation() != m_linesScene || width != m_linesWidth) {
        m_lines = QList<QStringList>(points.size() + regions.size());
        m_linesScene = scene.generation();
        m_linesWidth = width;
    }
    QStringList &line = m_lines[mark];
    if (line.isEmpty()) {
        const AnnotationMark &shown = mark < points.size() ? points[mark] : regions[mark - points.size()];
        line = QStringList{elided(shown.label, width)};
    }
    return line;
}

QStringList CalloutLabelText::wrapped(const QString &label, double width) const
{
    QString text = label;
    text.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(text, m_font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines.append(QString());
    return lines;
}

AnnotationFrame makeAnnotationFrame(const AnnotationScene &scene, const CanvasGeometry &geometry,
                                    const std::optional<QUuid> &highlightedID, bool showsCallouts,
                                    const CalloutMetrics &metrics, const CalloutLabelText &text)
{
    AnnotationFrame frame;
    frame.geometry = geometry;
    frame.highlightedID = highlightedID;
    if (!showsCallouts)
        return frame;
    // The labels are laid out for the height their font gives them.
    CalloutMetrics laidOut = metrics;
    laidOut.labelHeight = text.lineHeight() + 2 * paddingY;
    frame.callouts = scene.callouts(geometry, laidOut);
    frame.labels.reserve(frame.callouts.size());
    const double viewHeight = geometry.fitted.viewportSize.height();
    for (const AnnotationCallout &callout : std::as_const(frame.callouts)) {
        CalloutLabelBox box;
        box.highlighted = highlightedID && callout.id == *highlightedID;
        const bool button = box.highlighted && callout.hasLinks;
        const double textWidth = metrics.labelWidth - (button ? metrics.linkButtonSize : 0);
        box.lines = box.highlighted ? text.wrapped(callout.label, textWidth)
                                    : text.line(scene, callout.mark, textWidth);
        const QSizeF capsule(textWidth + 2 * paddingX, text.lineHeight() * box.lines.size() + 2 * paddingY);
        const double height = std::max(capsule.height(), button ? metrics.linkButtonSize : 0.0);
        const double width = capsule.width() + (button ? metrics.linkButtonSize : 0);
        double top = callout.labelCenter.y() - height / 2;
        // A label taller than the room between its centre and the view's
        // edge is moved in, so that all of it shows.
        if (top + height > viewHeight)
            top = viewHeight - height;
        top = std::max(top, 0.0);
        box.frame = QRectF(callout.labelCenter.x() - width / 2, top, width, height);
        const bool buttonFirst = callout.side == AnnotationSide::left;
        const double capsuleLeft = button && buttonFirst ? box.frame.left() + metrics.linkButtonSize : box.frame.left();
        box.capsule = QRectF(QPointF(capsuleLeft, box.frame.center().y() - capsule.height() / 2), capsule);
        box.text = box.capsule.adjusted(paddingX, paddingY, -paddingX, -paddingY);
        if (button) {
            const double buttonLeft = buttonFirst ? box.frame.left() : box.capsule.right();
            box.linkButton = QRectF(buttonLeft, box.frame.center().y() - metrics.linkButtonSize / 2,
                                    metrics.linkButtonSize, metrics.linkButtonSize);
        }
        frame.labels.append(box);
    }
    return frame;
}

AnnotationHit hitTest(const AnnotationFrame &frame, const AnnotationScene &scene, const QPointF &viewPoint,
                      const CalloutMetrics &metrics)
{
    using Part = AnnotationHit::Part;
    for (qsizetype i = 0; i < frame.labels.size(); ++i) {
        const CalloutLabelBox &box = frame.labels[i];
        if (!box.highlighted)
            continue;
        if (box.linkButton && containsPoint(*box.linkButton, viewPoint))
            return {Part::linkButton, frame.callouts[i].id};
        if (box.capsule.contains(viewPoint))
            return {Part::label, frame.callouts[i].id};
    }
    for (qsizetype i = frame.labels.size() - 1; i >= 0; --i) {
        if (frame.labels[i].capsule.contains(viewPoint))
            return {Part::label, frame.callouts[i].id};
    }
    if (const std::optional<QUuid> mark = scene.markAt(viewPoint, frame.geometry, metrics))
        return {Part::mark, *mark};
    return {};
}
