#pragma once

#include "editor/FloatingBar.h"

#include <QList>

// The bar in the editing canvas's top-leading corner: the three tools as
// one segmented picker (the chosen one tinted), and, while the region tool
// is on, "Close" and "Cancel" of the region being drawn. Each button shows
// its command's symbol; the commands belong to the editor.
class EditorToolBar : public FloatingBar {
    Q_OBJECT
public:
    EditorToolBar(const QList<QAction *> &tools, QAction *closeDraft, QAction *cancelDraft, QWidget *parent = nullptr);

    void setShowsDraftCommands(bool shows);
    bool showsDraftCommands() const;
    ProminentButton *buttonFor(QAction *command) const;

private:
    QList<ProminentButton *> m_buttons;
    ProminentButton *m_close = nullptr;
    ProminentButton *m_cancel = nullptr;
};
