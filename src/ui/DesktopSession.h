#pragma once

/// Under Wayland only the focused client hears of clipboard changes, and while a game runs the
/// emulator has the focus; through XWayland the program is told of every change. So when a session
/// offers both (WAYLAND_DISPLAY and DISPLAY set) and the user chose no Qt platform (neither
/// QT_QPA_PLATFORM nor a -platform argument), this sets QT_QPA_PLATFORM to "xcb;wayland": X11
/// first, and Wayland itself when the X server cannot be reached. Call it before the application
/// object exists. Returns whether it did.
bool UseXWaylandForClipboard(int argc, char** argv);
