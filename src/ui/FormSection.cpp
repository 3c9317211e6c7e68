#include "ui/FormSection.h"

#include "ui/AppStyle.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// The rounded box behind a section's rows.
class SectionBox final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(AppStyle::quaternary(palette()));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(box, 8, 8);
    }
};

} // namespace

FormSection::FormSection(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    m_box = new SectionBox(this);
    m_rows = new QVBoxLayout(m_box);
    m_rows->setContentsMargins(12, 10, 12, 10);
    m_rows->setSpacing(8);
    layout->addWidget(m_box);
    m_footer = new QLabel(this);
    m_footer->setFont(AppStyle::footnote());
    m_footer->setWordWrap(true);
    m_footer->setTextFormat(Qt::PlainText);
    m_footer->setContentsMargins(12, 0, 12, 0);
    m_footer->hide();
    AppStyle::makeSecondary(*m_footer);
    layout->addWidget(m_footer);
}

void FormSection::addRow(QWidget *row)
{
    m_rows->addWidget(row);
}

void FormSection::addRow(QLayout *row)
{
    m_rows->addLayout(row);
}

void FormSection::setFooter(const QString &text)
{
    m_footer->setText(text);
    m_footer->setVisible(!text.isEmpty());
}

QString FormSection::footer() const
{
    return m_footer->text();
}
