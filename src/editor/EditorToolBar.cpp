#include "editor/EditorToolBar.h"

#include "ui/ProminentButton.h"
#include "ui/SegmentedPicker.h"

#include <QAction>
#include <QHBoxLayout>

namespace {

const QColor grey(0x8e, 0x8e, 0x93);

} // namespace

EditorToolBar::EditorToolBar(QActionGroup *tools, QAction *closeDraft, QAction *cancelDraft, QWidget *parent)
    : FloatingBar(QMargins(6, 6, 6, 6), parent)
{
    m_picker = new SegmentedPicker(tr("Annotations"), tools, this);
    m_picker->setTint(grey);
    row()->addWidget(m_picker);
    m_close = addButton(closeDraft, grey);
    m_cancel = addButton(cancelDraft, grey);
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

QAbstractButton *EditorToolBar::buttonFor(QAction *command) const
{
    if (QAbstractButton *segment = m_picker->segmentFor(command))
        return segment;
    for (ProminentButton *button : {m_close, m_cancel}) {
        if (button->defaultAction() == command)
            return button;
    }
    return nullptr;
}
