#include "editor/EditorSelectionBar.h"

#include "ui/AppStyle.h"
#include "ui/ProminentButton.h"
#include "ui/SystemSymbol.h"

#include <QAction>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>

namespace {

constexpr int titleWidth = 160;

} // namespace

EditorSelectionBar::EditorSelectionBar(const Commands &commands, QWidget *parent)
    : FloatingBar(QMargins(20, 6, 20, 6), parent)
    , m_commands(commands)
{
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(AppStyle::withWeight(AppStyle::callout(), QFont::Medium));
    QPalette palette = m_title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    m_title->setPalette(palette);
    m_title->setMaximumWidth(titleWidth);
    row()->addWidget(m_title);

    addButton(commands.rename, bordered());
    auto *groups = new ProminentButton(this);
    groups->setIcon(SystemSymbol::icon(QStringLiteral("tag"), Qt::white));
    groups->setToolTip(tr("Groups"));
    groups->setAccessibleName(tr("Groups"));
    groups->setTint(bordered());
    groups->setFocusPolicy(Qt::NoFocus);
    groups->setPopupMode(QToolButton::InstantPopup);
    m_groupsMenu = new QMenu(groups);
    groups->setMenu(m_groupsMenu);
    connect(m_groupsMenu, &QMenu::aboutToShow, this, &EditorSelectionBar::groupsMenuRequested);
    row()->addWidget(groups);
    m_groups = groups;
    addButton(commands.links, bordered());
    m_deleteVertex = addButton(commands.deleteVertex, bordered());
    addButton(commands.deleteAnnotation, bordered());
}

void EditorSelectionBar::setSelection(const QString &title, bool resolves, EditorSelection::Kind kind)
{
    m_title->setText(QFontMetrics(m_title->font()).elidedText(title, Qt::ElideRight, titleWidth));
    m_title->setToolTip(title);
    m_groups->setVisible(resolves);
    m_deleteVertex->setVisible(kind == EditorSelection::Kind::vertex);
}

QString EditorSelectionBar::title() const
{
    return m_title->toolTip();
}

QWidget *EditorSelectionBar::groupsButton() const
{
    return m_groups;
}

bool EditorSelectionBar::showsVertexDelete() const
{
    return !m_deleteVertex->isHidden();
}

void EditorSelectionBar::setGroups(const QStringList &names, const QSet<QString> &on)
{
    m_groupsMenu->clear();
    for (const QString &name : names) {
        // A name is shown as it is, ampersands included.
        QAction *toggle = m_groupsMenu->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
        toggle->setCheckable(true);
        toggle->setChecked(on.contains(name));
        connect(toggle, &QAction::toggled, this, [this, name](bool enabled) { emit groupToggled(name, enabled); });
    }
    if (!names.isEmpty())
        m_groupsMenu->addSeparator();
    m_groupsMenu->addAction(m_commands.newGroup);
}
