#include "ui/ContentUnavailableView.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class SymbolView final : public QWidget {
public:
    explicit SymbolView(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(44, 44);
    }
    QString symbol;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        SystemSymbol::paint(painter, symbol, rect(), AppStyle::secondary(palette()));
    }
};

} // namespace

ContentUnavailableView::ContentUnavailableView(QWidget *parent)
    : QWidget(parent)
{
    // A column of limited width, centred.
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);
    auto *column = new QWidget(this);
    column->setMaximumWidth(340);
    column->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    outer->addWidget(column, 3);
    outer->addStretch(1);

    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    auto *symbol = new SymbolView(column);
    m_symbol = symbol;
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    m_title = new QLabel(column);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);
    layout->addSpacing(6);
    m_description = new QLabel(column);
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    layout->addWidget(m_description);
    layout->addSpacing(14);
    m_button = new QPushButton(column);
    m_button->setAutoDefault(false);
    m_button->setFocusPolicy(Qt::TabFocus);
    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_content.action)
            emit actionTriggered();
    });
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    applyStyle();
    setContent({});
}

void ContentUnavailableView::setContent(const Content &content)
{
    m_content = content;
    static_cast<SymbolView *>(m_symbol)->symbol = content.symbol;
    m_symbol->update();
    m_title->setText(content.title);
    m_description->setText(content.description);
    m_description->setVisible(!content.description.isEmpty());
    if (content.action) {
        m_button->setText(content.action->title);
        m_button->setIcon(SystemSymbol::icon(content.action->symbol));
        m_button->show();
    } else {
        m_button->hide();
    }
}

QString ContentUnavailableView::title() const
{
    return m_content.title;
}

QString ContentUnavailableView::description() const
{
    return m_content.description;
}

QPushButton *ContentUnavailableView::actionButton() const
{
    return m_content.action ? m_button : nullptr;
}

void ContentUnavailableView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange)
        applyStyle();
}

void ContentUnavailableView::applyStyle()
{
    m_title->setFont(AppStyle::withWeight(AppStyle::title(), QFont::DemiBold));
    m_description->setFont(AppStyle::body());
    QPalette palette = m_description->palette();
    // Over a base-coloured background labels draw with the text role.
    const QColor secondary = AppStyle::secondary(this->palette());
    palette.setColor(QPalette::WindowText, secondary);
    palette.setColor(QPalette::Text, secondary);
    m_description->setPalette(palette);
}
