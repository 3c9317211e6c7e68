#include "editor/EditorToolBar.h"

#include "ui/AppStyle.h"
#include "ui/ProminentButton.h"

#include <QAction>

namespace {

const QColor grey(0x8e, 0x8e, 0x93);

} // namespace

EditorToolBar::EditorToolBar(const QList<QAction *> &tools, QAction *closeDraft, QAction *cancelDraft,
                             QWidget *parent)
    : FloatingBar(QMargins(6, 6, 6, 6), parent)
{
    for (QAction *tool : tools) {
        ProminentButton *button = addButton(tool, grey);
        const auto tint = [this, button](bool chosen) {
            button->setTint(chosen ? AppStyle::accent(palette()) : grey);
        };
        tint(tool->isChecked());
        connect(tool, &QAction::toggled, button, tint);
        m_buttons.append(button);
    }
    m_close = addButton(closeDraft, grey);
    m_cancel = addButton(cancelDraft, grey);
    m_buttons << m_close << m_cancel;
    setShowsDraftCommands(false);
}

void EditorToolBar::setShowsDraftCommands(bool shows)
{
    m_close->setVisible(shows);
    m_cancel->setVisible(shows);
}

bool EditorToolBar::showsDraftCommands() const
{
    return !m_close->isHidden();
}

ProminentButton *EditorToolBar::buttonFor(QAction *command) const
{
    for (ProminentButton *button : m_buttons) {
        if (button->defaultAction() == command)
            return button;
    }
    return nullptr;
}
