#include "browser/ContentUnavailableView.h"

#include "browser/LibraryStyle.h"
#include "browser/SystemSymbol.h"

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
        SystemSymbol::paint(painter, symbol, rect(), LibraryStyle::secondary(palette()));
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
        if (m_content.action && m_content.action->handler)
            m_content.action->handler();
    });
    layout->addWidget(m_button, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    applyStyle();
    setContent({});
}

ContentUnavailableView::Content ContentUnavailableView::noImages(std::function<void()> onImport)
{
    return {QStringLiteral("No Images"), QStringLiteral("photo.on.rectangle.angled"),
            QStringLiteral("Import images to start building the atlas."),
            Action{QStringLiteral("Import Images"), QStringLiteral("plus"), std::move(onImport)}};
}

ContentUnavailableView::Content ContentUnavailableView::noMatches(bool hasActiveFilters,
                                                                  std::function<void()> onClearFilters)
{
    Content content{QStringLiteral("No Matches"), QStringLiteral("line.3.horizontal.decrease.circle"),
                    QStringLiteral("Adjust the search or filters to show images."), std::nullopt};
    if (hasActiveFilters)
        content.action = Action{QStringLiteral("Clear Filters"), QStringLiteral("xmark.circle"), std::move(onClearFilters)};
    return content;
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
    m_title->setFont(LibraryStyle::withWeight(LibraryStyle::title(), QFont::DemiBold));
    m_description->setFont(LibraryStyle::body());
    QPalette palette = m_description->palette();
    // Over a base-coloured background labels draw with the text role.
    const QColor secondary = LibraryStyle::secondary(this->palette());
    palette.setColor(QPalette::WindowText, secondary);
    palette.setColor(QPalette::Text, secondary);
    m_description->setPalette(palette);
}
