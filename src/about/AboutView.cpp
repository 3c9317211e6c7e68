#include "about/AboutView.h"

#include "about/AboutDelegateProtocol.h"
#include "about/AboutTexts.h"
#include "about/AppIcon.h"
#include "appkit/NSTrackingArea.h"
#include "ui/AppStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

constexpr int iconWidth = 120;
constexpr int iconShift = 6;

// A hairline across the column, half a point high, in the tertiary colour:
// one device pixel on a screen of twice the density, a half-covered pixel
// row on an ordinary one. It takes the top of a one-point slot.
class Rule : public QWidget {
public:
    static constexpr double lineHeight = 0.5;

    explicit Rule(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("rule"));
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(QRectF(0, 0, width(), lineHeight), AppStyle::tertiary(palette()));
    }
};

QLabel *label(const QString &name, const QString &text, const QFont &font, QWidget *parent,
              Qt::TextFormat format = Qt::PlainText)
{
    auto *result = new QLabel(parent);
    result->setObjectName(name);
    result->setTextFormat(format);
    result->setText(text);
    result->setFont(font);
    return result;
}

} // namespace

AboutView::AboutView(const AboutDelegateProtocol *delegate, const Bundle &bundle, QWidget *parent)
    : QWidget(parent), m_delegate(delegate), m_bundle(bundle)
{
    // The icon sits 6 points up and to the left of its place in the left
    // column; everything else keeps its place, so the other margins make
    // up for the shift.
    auto *root = new QHBoxLayout(this);
    root->setContentsMargins(20 - iconShift, 16 - iconShift, 0, 10);
    root->setSpacing(0);

    // Left: the icon, and at the bottom the outside components.
    auto *left = new QVBoxLayout;
    auto *icon = new AppIcon(bundle, this);
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(iconWidth, iconWidth);
    left->addWidget(icon);
    left->addStretch(1);
    const QStringList components = AboutTexts::poweredBy(delegate);
    if (!components.isEmpty()) {
        auto *list = new QVBoxLayout;
        list->setContentsMargins(iconShift, 0, 0, 0);
        const QFont caption = AppStyle::caption();
        list->addWidget(label(QStringLiteral("poweredBy"), QStringLiteral("Powered by"), caption, this));
        for (const QString &component : components) {
            QLabel *entry = label(QStringLiteral("component"), component, caption, this, Qt::MarkdownText);
            entry->setOpenExternalLinks(true);
            list->addWidget(entry);
        }
        for (int i = 0; i < list->count(); ++i)
            AppStyle::makeSecondary(*list->itemAt(i)->widget());
        left->addLayout(list);
    }
    root->addLayout(left);
    root->addSpacing(20 + iconShift);

    // Right: name and version, the descriptions, the copyright line.
    auto *right = new QVBoxLayout;
    right->setContentsMargins(0, iconShift, 0, 0);
    right->setSpacing(2);
    auto *titleRow = new QWidget(this);
    titleRow->setObjectName(QStringLiteral("titleRow"));
    auto *titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setSpacing(5);
    m_title = label(QStringLiteral("title"), AboutTexts::title(bundle),
                    AppStyle::withWeight(AppStyle::largeTitle(), QFont::Medium), titleRow);
    m_version = label(QStringLiteral("version"), QString(), QFont(), titleRow);
    titleLayout->addWidget(m_title, 0, Qt::AlignBottom);
    titleLayout->addWidget(m_version, 0, Qt::AlignBottom);
    right->addWidget(titleRow, 0, Qt::AlignLeft);
    // A spacer 20 points high, with the stack's spacing on both sides of it
    // as any item of the stack has; Qt lays no spacing before a spacer
    // item, so that one is made part of it.
    right->addSpacing(right->spacing() + 20);

    auto *descriptions = new QVBoxLayout;
    descriptions->setSpacing(16);
    descriptions->addWidget(label(QStringLiteral("mainDescription"),
                                  delegate ? delegate->mainDescription() : QString(), AppStyle::body(), this));
    QLabel *secondary = label(QStringLiteral("secondaryDescription"),
                              delegate ? delegate->secondaryDescription().value_or(QString()) : QString(),
                              AppStyle::body(), this);
    secondary->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    AppStyle::makeSecondary(*secondary);
    descriptions->addWidget(secondary);
    auto *centred = new QHBoxLayout;
    centred->addStretch(1);
    centred->addLayout(descriptions);
    centred->addStretch(1);
    right->addLayout(centred);

    auto *footer = new QVBoxLayout;
    footer->setSpacing(5);
    footer->addWidget(new Rule(this));
    auto *copyrightRow = new QHBoxLayout;
    if (const auto copyright = bundle.copyright()) {
        QLabel *line = label(QStringLiteral("copyright"), *copyright, AppStyle::body(), this);
        AppStyle::makeSecondary(*line);
        copyrightRow->addWidget(line);
    }
    copyrightRow->addStretch(1);
    footer->addLayout(copyrightRow);
    right->addLayout(footer);
    right->addStretch(1);
    root->addLayout(right, 1);

    AppStyle::makeSecondary(*m_version);
    showVersionLine();
    // The build shows while the pointer rests on the title row, whether or
    // not the window is the active one.
    m_hover = new NSTrackingArea(*titleRow, NSTrackingArea::mouseEnteredAndExited | NSTrackingArea::activeAlways);
    connect(m_hover, &NSTrackingArea::mouseEntered, this, [this] { setShowBuildNumber(true); });
    connect(m_hover, &NSTrackingArea::mouseExited, this, [this] { setShowBuildNumber(false); });
}

// The title row is hidden as the children go, after the bundle has gone:
// its pointer leaving is no longer this view's business.
AboutView::~AboutView()
{
    disconnect(m_hover, nullptr, this, nullptr);
}

void AboutView::setShowBuildNumber(bool show)
{
    if (show == m_showBuildNumber)
        return;
    m_showBuildNumber = show;
    showVersionLine();
}

void AboutView::showVersionLine()
{
    const bool build = AboutTexts::showsBuild(m_bundle, m_showBuildNumber);
    const QFont font = AppStyle::withWeight(build ? AppStyle::body() : AppStyle::title2(), QFont::Light);
    m_version->setFont(font);
    m_version->setText(AboutTexts::versionLine(m_bundle, m_showBuildNumber));
    // Both texts sit on one baseline: the smaller one is raised by the
    // difference of the two fonts' descents.
    const int raise = QFontMetrics(m_title->font()).descent() - QFontMetrics(font).descent();
    m_version->setContentsMargins(0, 0, 0, std::max(0, raise));
}
