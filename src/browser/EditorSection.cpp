#include "browser/EditorSection.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

// The section's title: its symbol beside the text, in the headline font.
class SectionTitle final : public QWidget {
public:
    SectionTitle(const QString &title, const QString &symbol, QWidget *parent)
        : QWidget(parent)
        , m_symbol(symbol)
    {
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        const int side = QFontMetrics(AppStyle::headline()).height();
        layout->addSpacing(side + 6);
        auto *label = new QLabel(title, this);
        label->setFont(AppStyle::headline());
        layout->addWidget(label);
        layout->addStretch(1);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const int side = QFontMetrics(AppStyle::headline()).height();
        SystemSymbol::paint(painter, m_symbol, QRectF(0, (height() - side) / 2.0, side, side),
                            AppStyle::accent(palette()));
    }

private:
    QString m_symbol;
};

} // namespace

EditorSection::EditorSection(const QString &title, const QString &systemImage, QWidget *parent)
    : QWidget(parent)
    , m_title(title)
    , m_systemImage(systemImage)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(new SectionTitle(title, systemImage, this));
    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);
    layout->addLayout(m_content);
    layout->addStretch(1);
}

void EditorSection::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(frame, 8, 8);
    painter.fillPath(path, palette().color(QPalette::Window));
    QColor separator = palette().color(QPalette::Mid);
    separator.setAlphaF(0.7f);
    painter.setPen(QPen(separator, 1));
    painter.drawPath(path);
}
