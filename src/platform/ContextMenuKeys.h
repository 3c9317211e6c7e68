#pragma once

// Shift+F10 opens the context menu of what has the keyboard focus, as the
// Menu key does: the desktops' convention, which Qt on Linux leaves to the
// Menu key alone. The press reaches the focused widget as a keyboard
// context-menu event, the one the Menu key sends, and goes no further.
// Installed once on the application (more calls change nothing); main
// thread.
void installContextMenuKeys();
