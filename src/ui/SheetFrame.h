#pragma once

class QWidget;

// The frame a sheet of a window asks the window manager for: a title bar
// alone, with no button to close, minimise or maximise it and no window
// menu; a border, with resize handles only while the sheet can be resized.
// The sheet is ended by its own buttons and keys.
//
// Qt's window flags cannot ask for that on X11: a title bar with no button
// goes out as a hint of functions alone (move and resize), which leaves the
// decorations to the window manager, and any button flag brings its
// decoration, or the close function, along. So the sheet gets Qt's flags
// for a title bar alone, and on an X11 display the Motif hints
// (_MOTIF_WM_HINTS) are written over Qt's each time the sheet is shown,
// before its window is mapped. On other platforms the flags alone apply.
namespace SheetFrame {

// Gives `sheet` (a dialog over its parent's window) the frame above, from
// now on. Once for each sheet.
void install(QWidget &sheet);

} // namespace SheetFrame
