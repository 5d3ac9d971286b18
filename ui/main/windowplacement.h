#pragma once

class QWidget;

namespace zim {
// Puts a secondary window where it helps: beside the main window (right, else left), vertically
// centred on it, so the keypad stays in sight. Where neither side has room (a 1024×768 screen
// with the phone in the middle) the phone moves towards the roomier edge just far enough; only
// on a screen too narrow for both is the window centred on the phone. Centred on the screen
// while the main window is hidden. Always inside the available screen area (never under a task
// bar).
void place_beside(QWidget* window, QWidget* main_window);
// Shows a secondary window in front: placed beside the main window when it was hidden.
void bring_up(QWidget* window, QWidget* main_window);
} // namespace zim
