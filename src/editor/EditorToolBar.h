#pragma once

#include "editor/FloatingBar.h"

#include <QList>

class QAbstractButton;
class QActionGroup;
class SegmentedPicker;

// The bar in the editing canvas's top-leading corner: the three tools as
// one segmented picker, "Annotations" (the chosen one tinted), and, while
// the region tool is on, "Close" and "Cancel" of the region being drawn.
// Each button shows its command's symbol; the commands belong to the
// editor.
class EditorToolBar : public FloatingBar {
    Q_OBJECT
public:
    EditorToolBar(QActionGroup *tools, QAction *closeDraft, QAction *cancelDraft, QWidget *parent = nullptr);

    void setShowsDraftCommands(bool shows);
    bool showsDraftCommands() const;
    SegmentedPicker *toolPicker() const { return m_picker; }
    // The button of a command: a tool's segment, "Close" or "Cancel".
    QAbstractButton *buttonFor(QAction *command) const;

private:
    SegmentedPicker *m_picker = nullptr;
    ProminentButton *m_close = nullptr;
    ProminentButton *m_cancel = nullptr;
};
