#pragma once

// Asks an X window to close the way a window manager does for Alt+F4 or a taskbar's close: a
// WM_DELETE_WINDOW message to the window itself (the test display has no window manager).
// False when the display cannot be opened or the message cannot be sent.
bool close_as_window_manager(unsigned long window);
